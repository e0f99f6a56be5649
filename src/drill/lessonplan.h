#pragma once

#include "drill/answer.h"

#include <QList>
#include <optional>

namespace calvenza {

// What a ripasso asks next and learns from each answer; the drill session drives it and knows
// nothing of how it chooses.
class LessonPlan
{
public:
    virtual ~LessonPlan() = default;
    // The next fact to ask, or nullopt when the lesson is over.
    [[nodiscard]] virtual std::optional<Fact> next() = 0;
    // The answer to the fact last given by next().
    virtual void recordAnswer(bool right, qint64 msTaken) = 0;
    [[nodiscard]] virtual int questionsLeft() const = 0;
    // The facts that went up a box today, in this lesson or earlier the same day.
    [[nodiscard]] virtual QList<Fact> movedUp() const = 0;
};

} // namespace calvenza
