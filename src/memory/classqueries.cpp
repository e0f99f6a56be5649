#include "memory/classqueries.h"

#include "memory/historydatabase.h"

#include <QCollator>
#include <QHash>
#include <algorithm>

namespace calvenza {

namespace {

bool failWith(Problem *problem, const Problem &given)
{
    if (problem)
        *problem = given;
    return false;
}

bool readAll(
    HistoryDatabase &db, const QDateTime &since, QList<PupilHistory> &pupils, Problem *problem)
{
    QHash<qint64, qsizetype> placeOf;
    // Named as every reader names them: Marco of 3A and Marco of 3B are two rows.
    RawRows names(db, "SELECT id, name, class_name FROM pupil");
    while (names.next()) {
        placeOf.insert(names.integer(0), pupils.size());
        pupils.append(
            {pupilLabel(QString::fromUtf8(names.text(1)), QString::fromUtf8(names.text(2))), {}, {},
                {}, {}});
    }
    if (names.failed())
        return failWith(problem, names.problem());

    // The counts come from the table kept beside the answers; the latest answers of each fact
    // are a few rows at the end of its range of the answers' key.
    RawRows facts(db, "SELECT pupil_id, times_table, factor, asked, right_count FROM fact");
    RawRows latest(db,
        "SELECT is_right, ms_taken, answered_at FROM answer WHERE pupil_id = ? AND"
        " times_table = ? AND factor = ? ORDER BY answered_at DESC, seq DESC LIMIT 5");
    static_assert(FactSummary::recentLength == 5);
    while (facts.next()) {
        const auto place = placeOf.value(facts.integer(0), -1);
        const int table = int(facts.integer(1));
        const int factor = int(facts.integer(2));
        if (place < 0 || !isFact({table, factor}))
            continue;
        PupilHistory &pupil = pupils[place];
        FactSummary summary;
        summary.asked = int(facts.integer(3));
        summary.right = int(facts.integer(4));
        latest.reset();
        latest.bind(1, facts.integer(0));
        latest.bind(2, table);
        latest.bind(3, factor);
        while (latest.next()) {
            summary.recent.prepend({latest.integer(0) != 0, latest.integer(1)});
            const qint64 at = latest.integer(2);
            if (!pupil.lastAnswer.isValid() || pupil.lastAnswer.toMSecsSinceEpoch() < at)
                pupil.lastAnswer = QDateTime::fromMSecsSinceEpoch(at, Qt::UTC);
        }
        if (latest.failed())
            return failWith(problem, latest.problem());
        pupil.facts.set(table, factor, summary);
    }
    if (facts.failed())
        return failWith(problem, facts.problem());

    // CROSS JOIN keeps the facts outside: each fact's answers since the moment are one range of
    // the answers' key, so a long history is not read whole.
    RawRows recent(db,
        "SELECT f.pupil_id, a.answered_at, a.is_right, a.ms_taken FROM fact AS f CROSS JOIN"
        " answer AS a ON a.pupil_id = f.pupil_id AND a.times_table = f.times_table AND"
        " a.factor = f.factor AND a.answered_at >= ?");
    recent.bind(1, since.toMSecsSinceEpoch());
    while (recent.next()) {
        const auto place = placeOf.value(recent.integer(0), -1);
        if (place >= 0)
            pupils[place].since.append(
                {recent.integer(1), recent.integer(2) != 0, recent.integer(3)});
    }
    if (recent.failed())
        return failWith(problem, recent.problem());
    return true;
}

} // namespace

QList<PupilHistory> classHistory(
    const QString &dataDirectory, const QDateTime &since, Problem *problem)
{
    HistoryDatabase db(dataDirectory, HistoryDatabase::Access::ReadOnly);
    if (problem)
        *problem = db.problem();
    QList<PupilHistory> pupils;
    if (!db.isOpen())
        return pupils;
    // One moment of the history, even while a pupil answers on this computer.
    if (!db.beginRead() || !readAll(db, since, pupils, problem)) {
        if (problem && problem->isEmpty())
            *problem = db.problem();
        db.rollback();
        return {};
    }
    db.commit();
    QCollator collator {QLocale(QLocale::Italian, QLocale::Italy)};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(pupils.begin(), pupils.end(),
        [&](const PupilHistory &a, const PupilHistory &b) { return collator(a.name, b.name); });
    return pupils;
}

} // namespace calvenza
