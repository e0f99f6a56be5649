#include "memory/factsummary.h"

#include <algorithm>

namespace calvenza {

void FactSummary::add(bool isRight, qint64 msTaken)
{
    ++asked;
    if (isRight)
        ++right;
    if (recent.size() == recentLength)
        recent.removeFirst();
    recent.append({isRight, msTaken});
}

FactStanding standingOf(const FactSummary &summary)
{
    if (summary.asked == 0)
        return FactStanding::NeverAsked;
    const auto &recent = summary.recent;
    if (recent.size() >= knownStreak
        && std::all_of(recent.end() - knownStreak, recent.end(),
            [](const FactSummary::Answer &a) { return a.right && isQuick(a.msTaken); }))
        return FactStanding::Known;
    const auto rightOnes
        = std::count_if(recent.begin(), recent.end(), [](const auto &a) { return a.right; });
    return rightOnes * 2 < recent.size() ? FactStanding::MostlyWrong : FactStanding::Learning;
}

QString standingWords(FactStanding standing)
{
    switch (standing) {
    case FactStanding::NeverAsked:
        return QStringLiteral("ancora da provare");
    case FactStanding::MostlyWrong:
        return QStringLiteral("da ripassare: spesso sbagliata");
    case FactStanding::Learning:
        return QStringLiteral("quasi imparata");
    case FactStanding::Known:
        return QStringLiteral("imparata: giusta le ultime volte, e in fretta");
    }
    return {};
}

QString factSpokenText(const Fact &fact, const FactSummary &summary)
{
    QString text = QStringLiteral("%1 per %2 fa %3: ")
                       .arg(fact.table)
                       .arg(fact.factor)
                       .arg(fact.table * fact.factor);
    if (summary.asked == 0)
        return text + standingWords(FactStanding::NeverAsked);
    if (summary.right == 0)
        text += QStringLiteral("nessuna risposta giusta su %1").arg(summary.asked);
    else if (summary.right == 1)
        text += QStringLiteral("1 risposta giusta su %1").arg(summary.asked);
    else
        text += QStringLiteral("%1 risposte giuste su %2").arg(summary.right).arg(summary.asked);
    // A count kept without its answers (a history mended by hand) has no last answer to tell.
    if (summary.recent.isEmpty())
        return text;
    // How long a wrong answer took says nothing.
    const FactSummary::Answer &last = summary.recent.constLast();
    if (!last.right)
        return text + QStringLiteral(", l'ultima sbagliata");
    text += QStringLiteral(", l'ultima giusta");
    if (last.msTaken < 0)
        return text;
    const qint64 seconds = (last.msTaken + 500) / 1000;
    if (seconds == 0)
        return text + QStringLiteral(" in meno di un secondo");
    return text
        + QStringLiteral(" in %1 %2")
              .arg(seconds)
              .arg(seconds == 1 ? QStringLiteral("secondo") : QStringLiteral("secondi"));
}

FactTable FactTable::fromAnswers(const QList<AnswerRecord> &answers)
{
    FactTable facts;
    for (const AnswerRecord &a : answers)
        facts.add(a.table, a.factor, a.right, a.msTaken);
    return facts;
}

void FactTable::add(int table, int factor, bool isRight, qint64 msTaken)
{
    if (isFact({table, factor}))
        m_facts[std::size_t(factIndex({table, factor}))].add(isRight, msTaken);
}

void FactTable::set(int table, int factor, const FactSummary &summary)
{
    if (isFact({table, factor}))
        m_facts[std::size_t(factIndex({table, factor}))] = summary;
}

const FactSummary &FactTable::at(int table, int factor) const
{
    static const FactSummary none;
    return isFact({table, factor}) ? m_facts[std::size_t(factIndex({table, factor}))] : none;
}

} // namespace calvenza
