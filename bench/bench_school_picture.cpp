// One pupil's picture read from a school's server that holds a school year: 5,000,000 answers of
// 500 pupils from 30 machines, filled on the server itself and vacuumed, as a server that has run
// for a year is. The machine's own query (SchoolServer::answersOfPupil), 10,000 answers a pupil;
// then the plan of one reading, as the server's auto_explain logs it.
#include "benchreport.h"
#include "school/schoolserver.h"
#include "schoolcluster.h"

#include <QRegularExpression>

using namespace calvenza;
using namespace calvenza::bench;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const std::string measure = "one pupil's picture read from a server holding 5,000,000 answers "
                                "(median / 95th pct of 50 pupils)";
    const std::string planMeasure = "that reading's plan on the server";
    if (const int status = runInOwnCluster({{measure, "≤ 20 ms"}, {planMeasure, "index only"}});
        status >= 0)
        return status;
    AdminLink admin;
    const Clock::time_point filling = Clock::now();
    admin.value(QStringLiteral(
        "INSERT INTO calvenza.machines (id, login) SELECT ('00000000-0000-0000-0000-' ||"
        " lpad(m::text, 12, '0'))::uuid, 'macchina' FROM generate_series(1, 30) m"));
    admin.value(QStringLiteral("INSERT INTO calvenza.pupils (name, name_key) SELECT 'Alunno ' || p,"
                               " 'alunno ' || p FROM generate_series(1, 500) p"));
    // A year of practice, an answer every 5 s somewhere in the school.
    admin.value(QStringLiteral(
        "INSERT INTO calvenza.answers (machine_id, local_seq, pupil_id, times_table, factor,"
        " answered_at, typed, is_right, ms_taken, mode) SELECT ('00000000-0000-0000-0000-' ||"
        " lpad((1 + i % 30)::text, 12, '0'))::uuid, i, (SELECT min(id) FROM calvenza.pupils) +"
        " i % 500, 1 + i % 10, 1 + i / 10 % 10, now() - interval '300 days' + i * interval '5 s',"
        " (1 + i % 10) * (1 + i / 10 % 10), i % 5 <> 0, 1000 + i % 4000, i % 2"
        " FROM generate_series(1, 5000000) i"));
    admin.value(QStringLiteral("VACUUM ANALYZE calvenza.answers"));
    std::fprintf(
        stderr, "bench_school_picture: filled in %.0f s\n", microsecondsSince(filling) / 1e6);

    const QString otherMachine = QStringLiteral("ffffffff-0000-0000-0000-000000000000");
    std::vector<double> samples;
    qsizetype rows = 0;
    {
        SchoolServer server;
        if (const LinkStatus status = server.open(); !status.linked())
            return std::fprintf(stderr, "bench_school_picture: %s\n", qPrintable(describe(status))),
                   1;
        LinkStatus failure;
        for (int round = 0; round < 2; ++round) { // the first round warms the server's cache
            for (int pupil = 1; pupil <= 50; ++pupil) {
                const Clock::time_point start = Clock::now();
                const auto answers = server.answersOfPupil(
                    QStringLiteral("alunno %1").arg(pupil), QString(), otherMachine, 0, &failure);
                if (!answers)
                    return std::fprintf(
                               stderr, "bench_school_picture: %s\n", qPrintable(describe(failure))),
                           1;
                if (round == 1)
                    samples.push_back(microsecondsSince(start) / 1000.0);
                rows = answers->size();
            }
        }
    }
    const double median = quantile(samples, 0.5);
    const double p95 = quantile(samples, 0.95);
    reportRow(measure,
        format("%.1f ms", median) + format(" / %.1f ms", p95)
            + format(" (%.0f answers each)", double(rows)),
        "≤ 20 ms", p95 <= 20.0 && rows == 10000);

    // The plan of one more reading, from a session that logs it.
    admin.value(
        QStringLiteral("ALTER ROLE macchina SET session_preload_libraries = 'auto_explain'"));
    admin.value(QStringLiteral("ALTER ROLE macchina SET auto_explain.log_min_duration = 0"));
    admin.value(QStringLiteral("ALTER ROLE macchina SET auto_explain.log_analyze = on"));
    {
        SchoolServer server;
        LinkStatus failure;
        if (!server.open().linked()
            || !server.answersOfPupil(
                QStringLiteral("alunno 7"), QString(), otherMachine, 0, &failure))
            return std::fputs("bench_school_picture: the logged reading failed\n", stderr), 1;
    }
    QFile log(qEnvironmentVariable("CALVENZA_PGCLUSTER") + QStringLiteral("/log"));
    if (!log.open(QIODevice::ReadOnly))
        return std::fputs("bench_school_picture: no server log\n", stderr), 1;
    const QString text = QString::fromUtf8(log.readAll());
    const qsizetype plan = text.lastIndexOf(QLatin1String("answers_by_pupil"));
    const QString scan
        = text.mid(text.lastIndexOf(u'>', plan) + 1, plan - text.lastIndexOf(u'>', plan) - 1)
              .trimmed();
    const QRegularExpressionMatch fetches
        = QRegularExpression(QStringLiteral("Heap Fetches: (\\d+)")).match(text, plan);
    std::fprintf(
        stderr, "%s\n", qPrintable(text.mid(text.lastIndexOf(QLatin1String("Query Text"), plan))));
    const bool indexOnly = scan.startsWith(QLatin1String("Index Only Scan"));
    reportRow(planMeasure,
        (scan + QStringLiteral(" answers_by_pupil, Heap Fetches: ")
            + (fetches.hasMatch() ? fetches.captured(1) : QStringLiteral("-")))
            .toStdString(),
        "index only, 0 heap fetches",
        indexOnly && fetches.hasMatch() && fetches.captured(1) == u"0");
    return 0;
}
