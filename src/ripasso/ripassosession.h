#pragma once

#include "drill/lessonplan.h"
#include "ripasso/factboxes.h"

#include <QDate>
#include <QList>
#include <array>
#include <optional>

namespace calvenza {

class RandomSource;

inline constexpr int ripassoLength = 20;
inline constexpr int newFactsPerSession = 4;
// One weak fact among about eight known ones.
inline constexpr int knownPerWeakFact = 8;
// A fact is asked at most this many times in the planned session, retries aside.
inline constexpr int plannedAppearancesPerFact = 3;
// A missed fact comes back this many times at most in one session, then waits for the next.
inline constexpr int retriesPerFact = 2;
// Retries may lengthen the session by this many questions, so a miss at the end still comes back.
inline constexpr int overtime = 4;

// One ripasso session: which fact comes next, from the pupil's history, the day and a random
// source. A plain object; the window asks next(), then hands back the pupil's answer.
class RipassoSession : public LessonPlan
{
public:
    // history: the pupil's answers, oldest first. tables: the tables to review; an empty list
    // means practisedTables(history). The random source is reseeded once, here.
    RipassoSession(
        const QList<AnswerRecord> &history, QDate today, QList<int> tables, RandomSource &random);

    // The fact to ask now; the same one again until its answer is recorded; none at the end.
    [[nodiscard]] std::optional<Fact> next() override;
    // The answer to the fact last given by next(); ignored when none is waiting.
    void recordAnswer(bool right, qint64 msTaken) override;

    // Counting the one being asked until its answer is recorded: 20 at the start, 0 at the end.
    [[nodiscard]] int questionsLeft() const override;
    // Facts that went up a box today: this session's answers and any earlier ones of today.
    [[nodiscard]] QList<Fact> movedUp() const override;

private:
    struct Retry
    {
        int question = 0; // its place in the session, counting from 0
        Fact fact;
    };

    void plan();
    void bringBack(Fact missed);
    [[nodiscard]] std::optional<Fact> retryAt(int question) const;
    [[nodiscard]] std::optional<int> retryOf(Fact fact) const;
    [[nodiscard]] std::optional<Fact> filler();
    void shuffle(QList<Fact> &facts);
    [[nodiscard]] int randomBelow(int n);

    FactBoxes m_boxes;
    QDate m_today;
    QList<int> m_tables;
    RandomSource &m_random;
    QList<Fact> m_queue; // planned questions not asked yet, in the order they are preferred
    QList<Fact> m_planned; // every fact of the plan, once
    QList<Retry> m_retries; // missed facts waiting for their place
    int m_plannedLength = 0;
    int m_asked = 0;
    std::optional<Fact> m_current;
    std::optional<Fact> m_lastAsked;
    std::array<int, factCount> m_retryCount {};
    std::array<bool, factCount> m_answeredRight {};
};

} // namespace calvenza
