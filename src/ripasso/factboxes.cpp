#include "ripasso/factboxes.h"

#include "drill/timestable.h"

#include <QTimeZone>
#include <algorithm>
#include <bitset>

namespace calvenza {

FactBoxes::FactBoxes(const QList<AnswerRecord> &history)
{
    // Finding the local day is the costly part of the fold; answers come in bursts, and a zone's
    // offset only changes on a quarter hour, so one look-up serves a whole burst.
    const QTimeZone zone = QTimeZone::systemTimeZone();
    constexpr qint64 quarterHourMs = 15LL * 60 * 1000;
    qint64 lastQuarter = -1;
    QDate day;
    for (const AnswerRecord &answer : history) {
        if (!answer.answeredAt.isValid())
            continue;
        const qint64 quarter = answer.answeredAt.toMSecsSinceEpoch() / quarterHourMs;
        if (quarter != lastQuarter || !day.isValid()) {
            day = localDay(answer.answeredAt, zone);
            lastQuarter = quarter;
        }
        record({answer.table, answer.factor}, day, answer.right, answer.msTaken);
    }
}

void FactBoxes::record(Fact fact, QDate day, bool right, qint64 msTaken)
{
    if (!isFact(fact) || !day.isValid())
        return;
    FactProgress &progress = m_progress[factIndex(fact)];
    if (!right) {
        progress.box = 1;
        progress.dueOn = day;
        progress.lastMissedOn = day;
        return;
    }
    if (progress.box == 0) {
        progress.box = 1;
        progress.dueOn = day;
    }
    if (!isQuick(msTaken) || progress.movedUpOn == day || progress.lastMissedOn == day)
        return;
    if (progress.box < boxCount) {
        ++progress.box;
        progress.movedUpOn = day;
    }
    progress.dueOn = day.addDays(boxIntervalDays[progress.box - 1]);
}

const FactProgress &FactBoxes::progress(Fact fact) const
{
    static const FactProgress neverAnswered;
    return isFact(fact) ? m_progress[factIndex(fact)] : neverAnswered;
}

QList<Fact> FactBoxes::movedUpOn(QDate day) const
{
    QList<Fact> moved;
    for (int table = 1; table <= 10; ++table)
        for (int factor = 1; factor <= 10; ++factor) {
            const FactProgress &p = progress({table, factor});
            if (p.movedUpOn == day && p.lastMissedOn != day)
                moved << Fact {table, factor};
        }
    return moved;
}

QList<int> practisedTables(const QList<AnswerRecord> &history)
{
    std::bitset<lastTable + 1> seen;
    for (const AnswerRecord &answer : history)
        if (isTable(answer.table))
            seen.set(answer.table);
    QList<int> tables;
    for (int table = firstTable; table <= lastTable; ++table)
        if (seen.test(table))
            tables << table;
    if (tables.isEmpty())
        tables << defaultTable;
    return tables;
}

} // namespace calvenza
