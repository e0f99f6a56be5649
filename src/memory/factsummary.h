#pragma once

#include "drill/answer.h"

#include <QList>
#include <QString>
#include <array>

namespace calvenza {

// What the history says of one fact for one pupil.
struct FactSummary
{
    // How many of the latest answers the colour looks at.
    static constexpr int recentLength = 5;
    struct Answer
    {
        bool right = false;
        qint64 msTaken = -1;
    };

    int asked = 0;
    int right = 0;
    QList<Answer> recent; // the latest answers, oldest first, at most recentLength

    // Answers must come oldest first.
    void add(bool isRight, qint64 msTaken);
};

// How well a fact is known, as the picture colours it.
enum class FactStanding { NeverAsked, MostlyWrong, Learning, Known };

// Known: right the last knownStreak times, each quickly. MostlyWrong: fewer than half of the latest
// answers right. Learning: in between.
inline constexpr int knownStreak = 3;
[[nodiscard]] FactStanding standingOf(const FactSummary &summary);

// The legend's words for a standing, as the picture and a screen reader give them.
[[nodiscard]] QString standingWords(FactStanding standing);

// What a screen reader says of a cell: "8 per 7 fa 56: 5 risposte giuste su 6, l'ultima giusta
// in 2 secondi"; a wrong last answer is said as such.
[[nodiscard]] QString factSpokenText(const Fact &fact, const FactSummary &summary);

// The ten tables by ten factors of one pupil.
class FactTable
{
public:
    // Answers oldest first; answers outside the tavola are left out.
    [[nodiscard]] static FactTable fromAnswers(const QList<AnswerRecord> &answers);

    void add(int table, int factor, bool isRight, qint64 msTaken);
    void set(int table, int factor, const FactSummary &summary);
    [[nodiscard]] const FactSummary &at(int table, int factor) const;

private:
    std::array<FactSummary, factCount> m_facts;
};

} // namespace calvenza
