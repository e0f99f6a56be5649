#pragma once

#include "drill/answer.h"
#include "drill/exercise.h"
#include "narrator/narrator.h"

#include <QList>
#include <QString>
#include <optional>

namespace calvenza {

// What the wizard says before the first question of a ripasso.
[[nodiscard]] QString lessonIntroduction();

// After a wrong answer in a ripasso he says the whole fact ("8 per sette fa 56") with his gesture
// for a wrong answer; the verdict line shows it too.
[[nodiscard]] NarratorScript correction(const Exercise &exercise);
[[nodiscard]] QString correctionLine(const Exercise &exercise);

// At the end, as a teacher says it: the facts he now knows better (improved: up a box today), the
// one to practise (the most missed of this lesson), or that nothing was due.
[[nodiscard]] QString lessonSummary(
    int questionsAsked, const QList<Fact> &improved, std::optional<Fact> toPractise);

} // namespace calvenza
