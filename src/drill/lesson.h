#pragma once

#include "drill/exercise.h"
#include "narrator/narrator.h"

#include <QString>

namespace calvenza {

// What the wizard says before the first question of a ripasso.
[[nodiscard]] QString lessonIntroduction();

// After a wrong answer in a ripasso he says the whole fact ("8 per sette fa 56") with his gesture
// for a wrong answer; the verdict line shows it too.
[[nodiscard]] NarratorScript correction(const Exercise &exercise);
[[nodiscard]] QString correctionLine(const Exercise &exercise);

// At the end: how many facts went up a box today; or that nothing was due.
[[nodiscard]] QString lessonSummary(int questionsAsked, int factsMovedUp);

} // namespace calvenza
