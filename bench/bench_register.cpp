// The class register over a history of 1,000,000 answers (25 pupils over a school year, the last
// one this morning): the class's figures read (its queries and the counting), and the window
// opened and painted.
#include "benchreport.h"
#include "memory/historydatabase.h"
#include "register/classsource.h"
#include "register/registerwindow.h"

#include <QApplication>
#include <QDir>
#include <QTest>

using namespace calvenza;
using namespace calvenza::bench;

namespace {

constexpr int pupils = 25;
constexpr qint64 answers = 1000000;

// Built once and kept beside the benchmark: generating takes longer than measuring.
bool ensureHistory(const QString &folder)
{
    {
        HistoryDatabase db(folder, HistoryDatabase::Access::ReadOnly);
        QSqlQuery q = db.query();
        if (db.isOpen() && q.exec(QStringLiteral("SELECT count(*) FROM answer")) && q.next()
            && q.value(0).toLongLong() == answers
            && q.exec(QStringLiteral("SELECT max(answered_at) FROM answer")) && q.next()
            && QDateTime::currentMSecsSinceEpoch() - q.value(0).toLongLong() < 3600 * 1000)
            return true; // built within the hour: this week's figures are not empty
    }
    QDir(folder).removeRecursively();
    HistoryDatabase db(folder, HistoryDatabase::Access::Write);
    if (!db.isOpen() || !db.beginWrite())
        return std::fprintf(stderr, "%s\n", qPrintable(db.problem().fullText())), false;
    for (int i = 0; i < pupils; ++i) {
        QSqlQuery q = db.query();
        q.prepare(QStringLiteral("INSERT INTO pupil (id, name, name_key) VALUES (?, ?, ?)"));
        const QString name = QStringLiteral("Alunno %1").arg(i + 1);
        q.addBindValue(i + 1);
        q.addBindValue(name);
        q.addBindValue(pupilKey(name));
        if (!db.exec(q))
            return std::fprintf(stderr, "%s\n", qPrintable(db.problem().fullText())), false;
    }
    // A year back to now, one answer every 31.5 s across the class; four in five right.
    const qint64 start = QDateTime::currentMSecsSinceEpoch() - answers * 31500;
    const QString answersSql = QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %1),"
        " drawn AS (SELECT i, 1 + abs(random()) % 10 AS t, 1 + abs(random()) % 10 AS f,"
        " abs(random()) % 5 <> 0 AS ok FROM n)"
        " INSERT INTO answer (pupil_id, times_table, factor, answered_at, seq, typed, is_right,"
        " ms_taken, mode)"
        " SELECT 1 + i % %2, t, f, %3 + i * 31500, 0,"
        " CAST(t * f + (1 - ok) AS TEXT), ok, 800 + abs(random()) % 9000, abs(random()) % 4 = 0"
        " FROM drawn")
                                   .arg(answers - 1)
                                   .arg(pupils)
                                   .arg(start);
    const QString factsSql = QStringLiteral(
        "INSERT INTO fact SELECT pupil_id, times_table, factor, count(*), sum(is_right)"
        " FROM answer GROUP BY pupil_id, times_table, factor");
    if (!db.exec(answersSql) || !db.exec(factsSql) || !db.commit())
        return std::fprintf(stderr, "%s\n", qPrintable(db.problem().fullText())), false;
    return db.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString folder
        = QCoreApplication::applicationDirPath() + QStringLiteral("/history-register-1M");
    const auto generating = Clock::now();
    if (!ensureHistory(folder)) {
        std::fprintf(
            stderr, "bench_register: cannot build the history in %s\n", qPrintable(folder));
        return 1;
    }
    std::printf("history ready in %.1f s\n", microsecondsSince(generating) / 1e6);

    LocalClassSource source(folder);
    const SchoolClass schoolClass = source.classes().constFirst();
    std::vector<double> read;
    for (int i = 0; i < 10; ++i) {
        const auto start = Clock::now();
        Problem problem;
        const ClassReport report
            = source.report(schoolClass, QDateTime::currentDateTimeUtc(), &problem);
        read.push_back(microsecondsSince(start) / 1000);
        if (report.pupils.size() != pupils || report.pupils.constFirst().answersThisWeek == 0)
            return std::fprintf(stderr, "bench_register: the class was not read: %s\n",
                       qPrintable(problem.fullText())),
                   1;
    }
    const double readMedian = quantile(read, 0.5);
    reportRow("a class of 25 over 1,000,000 answers: its figures read (median of 10)",
        format("%.0f ms", readMedian), "≤ 100 ms", readMedian <= 100);

    std::vector<double> painted;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        RegisterWindow window(source, {});
        window.resize(1500, 800);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            return std::fprintf(stderr, "bench_register: the register was never shown\n"), 1;
        QCoreApplication::processEvents();
        painted.push_back(microsecondsSince(start) / 1000);
    }
    const double paintMedian = quantile(painted, 0.5);
    reportRow("the register of a class of 25: asked for → shown and painted (median of 5)",
        format("%.0f ms", paintMedian), "≤ 200 ms", paintMedian <= 200);
    return 0;
}
