#pragma once

#include "drill/answer.h"

#include <QDate>
#include <QList>
#include <array>

namespace calvenza {

inline constexpr int boxCount = 5;
// Days from the answer that put a fact in box 1..5 to the day it is due again.
inline constexpr std::array<int, boxCount> boxIntervalDays {0, 1, 3, 7, 21};

// Where one fact stands; box 0 is a fact never answered.
struct FactProgress
{
    int box = 0;
    QDate dueOn;
    QDate lastMissedOn;
    QDate movedUpOn;

    [[nodiscard]] bool isDue(QDate day) const { return box > 0 && dueOn <= day; }
};

// The box of every fact, as a fold over a pupil's answers (oldest first).
class FactBoxes
{
public:
    FactBoxes() = default;
    explicit FactBoxes(const QList<AnswerRecord> &history);

    // A wrong answer sends the fact to box 1, due at once. A quick right answer
    // moves it up one box (the top box stays), at most once a day and never on a day it was
    // missed, so a race that draws 8 × 7 five times, or a retry after a miss, cannot rush it up.
    // A slower right answer, or one of unknown time, leaves it where it is.
    void record(Fact fact, QDate day, bool right, qint64 msTaken);

    [[nodiscard]] const FactProgress &progress(Fact fact) const;
    // The facts that went up a box on that day and were not missed since, table by table.
    [[nodiscard]] QList<Fact> movedUpOn(QDate day) const;

private:
    std::array<FactProgress, factCount> m_progress {};
};

// The tables the pupil has practised, in order; the eight for a newcomer.
[[nodiscard]] QList<int> practisedTables(const QList<AnswerRecord> &history);

} // namespace calvenza
