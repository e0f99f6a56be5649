#pragma once

#include "drill/drillsession.h"

#include <QString>
#include <optional>

namespace calvenza {

// What a screen reader says of the window. It reads the name and description of the control
// that takes the focus and nothing that changes elsewhere, so what a sighted pupil sees change
// (the exercise, the verdict, the counters, the clock, the record) is put into the description
// of the control that takes the focus next. Nothing here is seen on screen.

// The exercise as the wizard dictates it: "8 per sette".
[[nodiscard]] QString spokenExercise(const Exercise &exercise);

// "Tempo restante 6 minuti e 5 secondi", "Tempo restante 1 minuto", "Tempo restante 40 secondi".
[[nodiscard]] QString spokenTimeLeft(int secondsLeft);

// The answer box's, on each new exercise: the exercise, the time left when there is a clock, and
// the first time the box's tooltip, the only hint a blind pupil gets.
[[nodiscard]] QString answerBoxDescription(
    const Exercise &exercise, std::optional<int> secondsLeft, const QString &hint);

// The next-exercise button's, after Enter: the verdict with the whole fact, the wizard's words
// for the answer beyond the verdict (the name, a praise), the three counters, and after the
// first answer the button's tooltip.
[[nodiscard]] QString judgementDescription(const Judgement &judgement, const Exercise &exercise,
    const QString &pupilName, const QString &hint);

// The window's, read with its title when it first takes the focus: the record line.
[[nodiscard]] QString recordDescription(const QString &points, const QString &name);

} // namespace calvenza
