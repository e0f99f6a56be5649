#include "memory/historyreader.h"

#include "memory/historydatabase.h"

#include <QCollator>
#include <QVariant>
#include <algorithm>
#include <optional>

namespace calvenza {

namespace {

void setProblem(Problem *problem, const Problem &given)
{
    if (problem)
        *problem = given;
}

// Opens for reading; false (with the reason, if any) when there is nothing to read.
bool openForReading(HistoryDatabase &db, Problem *problem)
{
    setProblem(problem, db.problem());
    return db.isOpen();
}

QDateTime fromStoredTime(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

QList<AnswerRecord> answersAfter(const QString &dataDirectory, const QString &pupil,
    std::optional<qint64> afterLocalSeq, Problem *problem)
{
    HistoryDatabase db(dataDirectory, HistoryDatabase::Access::ReadOnly);
    QList<AnswerRecord> answers;
    if (!openForReading(db, problem))
        return answers;
    const qint64 id = db.pupilId(pupil);
    if (id < 0) {
        setProblem(problem, db.problem());
        return answers;
    }
    const QString name = [&] {
        QSqlQuery q = db.query();
        q.prepare(QStringLiteral("SELECT name FROM pupil WHERE id = ?"));
        q.addBindValue(id);
        return db.exec(q) && q.next() ? q.value(0).toString() : pupilName(pupil);
    }();
    RawRows rows(db,
        afterLocalSeq ? "SELECT times_table, factor, typed, is_right, ms_taken, answered_at, mode"
                        " FROM answer WHERE pupil_id = ? AND local_seq > ? ORDER BY answered_at,"
                        " seq"
                      : "SELECT times_table, factor, typed, is_right, ms_taken, answered_at, mode"
                        " FROM answer WHERE pupil_id = ? ORDER BY answered_at, seq");
    rows.bind(1, id);
    if (afterLocalSeq)
        rows.bind(2, *afterLocalSeq);
    while (rows.next()) {
        AnswerRecord a;
        a.pupil = name;
        a.pupilClass = splitPupilLabel(pupil).pupilClass;
        a.table = int(rows.integer(0));
        a.factor = int(rows.integer(1));
        a.typed = QString::fromUtf8(rows.text(2));
        a.right = rows.integer(3) != 0;
        a.msTaken = rows.integer(4);
        a.answeredAt = fromStoredTime(rows.integer(5));
        a.mode = rows.integer(6) == int(DrillMode::Ripasso) ? DrillMode::Ripasso
                                                            : DrillMode::Challenge;
        answers << a;
    }
    if (rows.failed()) {
        setProblem(problem, rows.problem());
        return {};
    }
    return answers;
}

} // namespace

QStringList knownPupils(const QString &dataDirectory, Problem *problem)
{
    HistoryDatabase db(dataDirectory, HistoryDatabase::Access::ReadOnly);
    QStringList names;
    if (!openForReading(db, problem))
        return names;
    QSqlQuery q = db.query();
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT name, class_name FROM pupil"));
    if (!db.exec(q)) {
        setProblem(problem, db.problem());
        return names;
    }
    while (q.next())
        names << pupilLabel(q.value(0).toString(), q.value(1).toString());
    QCollator collator {QLocale(QLocale::Italian, QLocale::Italy)};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(names.begin(), names.end(), collator);
    return names;
}

QList<AnswerRecord> answersOf(const QString &dataDirectory, const QString &pupil, Problem *problem)
{
    return answersAfter(dataDirectory, pupil, std::nullopt, problem);
}

QList<AnswerRecord> answersOf(
    const QString &dataDirectory, const QString &pupil, qint64 afterLocalSeq, Problem *problem)
{
    return answersAfter(dataDirectory, pupil, afterLocalSeq, problem);
}

FactTable factsOf(const QString &dataDirectory, const QString &pupil, Problem *problem)
{
    HistoryDatabase db(dataDirectory, HistoryDatabase::Access::ReadOnly);
    FactTable facts;
    if (!openForReading(db, problem))
        return facts;
    const qint64 id = db.pupilId(pupil);
    if (id < 0) {
        setProblem(problem, db.problem());
        return facts;
    }
    QSqlQuery counts = db.query();
    counts.setForwardOnly(true);
    counts.prepare(QStringLiteral(
        "SELECT times_table, factor, asked, right_count FROM fact WHERE pupil_id = ?"));
    counts.addBindValue(id);
    // The latest answers of each fact: a few rows at the end of its range of the table.
    QSqlQuery latest = db.query();
    latest.setForwardOnly(true);
    latest.prepare(QStringLiteral("SELECT is_right, ms_taken FROM answer WHERE pupil_id = ? AND "
                                  "times_table = ? AND factor = ? ORDER BY answered_at DESC, "
                                  "seq DESC LIMIT %1")
                       .arg(FactSummary::recentLength));
    if (!db.exec(counts)) {
        setProblem(problem, db.problem());
        return facts;
    }
    while (counts.next()) {
        const int table = counts.value(0).toInt();
        const int factor = counts.value(1).toInt();
        FactSummary summary;
        summary.asked = counts.value(2).toInt();
        summary.right = counts.value(3).toInt();
        latest.bindValue(0, id);
        latest.bindValue(1, table);
        latest.bindValue(2, factor);
        if (!db.exec(latest)) {
            setProblem(problem, db.problem());
            return facts;
        }
        while (latest.next())
            summary.recent.prepend({latest.value(0).toBool(), latest.value(1).toLongLong()});
        facts.set(table, factor, summary);
    }
    return facts;
}

QList<ChallengeRecord> challengesOf(
    const QString &dataDirectory, const QString &pupil, Problem *problem)
{
    HistoryDatabase db(dataDirectory, HistoryDatabase::Access::ReadOnly);
    QList<ChallengeRecord> challenges;
    if (!openForReading(db, problem))
        return challenges;
    const qint64 id = db.pupilId(pupil);
    if (id < 0) {
        setProblem(problem, db.problem());
        return challenges;
    }
    QSqlQuery q = db.query();
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT times_table, ended_at, right_count, wrong_count, set_record "
                             "FROM challenge WHERE pupil_id = ? ORDER BY ended_at"));
    q.addBindValue(id);
    if (!db.exec(q)) {
        setProblem(problem, db.problem());
        return challenges;
    }
    while (q.next()) {
        ChallengeRecord c;
        c.pupil = pupilName(splitPupilLabel(pupil).name);
        c.pupilClass = splitPupilLabel(pupil).pupilClass;
        c.table = q.value(0).toInt();
        c.endedAt = fromStoredTime(q.value(1).toLongLong());
        c.right = q.value(2).toInt();
        c.wrong = q.value(3).toInt();
        c.setRecord = q.value(4).toBool();
        challenges << c;
    }
    return challenges;
}

} // namespace calvenza
