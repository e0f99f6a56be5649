#pragma once

#include "drill/drillsession.h"

#include <QString>

namespace calvenza {

// What a screen reader says of the window. It reads the name and description of the control
// that takes the focus and nothing that changes elsewhere, so what a sighted pupil sees change
// (the exercise, the verdict, the counters, the clock, the record) is put into the description
// of the control that takes the focus next. Nothing here is seen on screen.

// The exercise as the wizard dictates it: "8 per sette".
[[nodiscard]] QString spokenExercise(const Exercise &exercise);

// "Tempo restante 6 minuti e 5 secondi", "Tempo restante 1 minuto", "Tempo restante 40 secondi".
[[nodiscard]] QString spokenTimeLeft(int secondsLeft);

// In a ripasso: "Domande rimaste 12", the one being asked included; "Ultima domanda".
[[nodiscard]] QString spokenQuestionsLeft(int questionsLeft);

// The answer box's, on each new exercise: the exercise, what is left (spokenTimeLeft() in a
// challenge, spokenQuestionsLeft() in a ripasso), and the first time what to do, the only hint a
// blind pupil gets (the tooltips name a key he does not have).
[[nodiscard]] QString answerBoxDescription(
    const Exercise &exercise, const QString &whatIsLeft, bool firstTime);

// The next-exercise button's, after Enter: the verdict with the whole fact, the wizard's words
// for the answer beyond the verdict (the name, a praise), the three counters, and after the
// first answer what to do next.
[[nodiscard]] QString judgementDescription(
    const Judgement &judgement, const Exercise &exercise, const QString &pupilName, bool firstTime);

// The window's, read with its title when it first takes the focus: the record line.
[[nodiscard]] QString recordDescription(const QString &points, const QString &name);

} // namespace calvenza
