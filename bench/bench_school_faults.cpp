// Enter in the answer box to the verdict painted (bench_verdict's way, the real window) while
// the machine's sender talks to a school's server that is slow, unreachable or stalled in the
// middle of the lesson, against no server at all; then Enter to the reaction heard in the three
// faults (bench_enter_to_sound's own measure). The faults are made by a TCP proxy in front
// of a throwaway cluster (tc's netem is not available on every machine, this one included).
#include "benchreport.h"
#include "benchwait.h"
#include "school/schoolsender.h"
#include "schoolcluster.h"
#include "schoolproxy.h"
#include "support.h"
#include "verdicttiming.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace calvenza;
using namespace calvenza::bench;

namespace {

enum class Link { None, Linked, Slow, NeverAnswers, StalledMidLesson };

struct Condition
{
    Link link;
    const char *words;
};

// Enter → verdict painted over rounds answers, in microseconds; the answers go to the history
// and from there to the sender, if any.
std::vector<double> verdicts(testing::Harness &h, int rounds)
{
    auto *answerBox = h.control<QLineEdit>("answerBox");
    PaintWatch watch;
    h.control<QLabel>("verdictLabel")->installEventFilter(&watch);
    std::vector<double> samples;
    for (int i = 0; i < rounds; ++i) {
        samples.push_back(enterToVerdictUs(h, answerBox, watch, i));
        // A pupil's pace, so that the sender has each answer to send on its own.
        QTest::qWait(20);
    }
    return samples;
}

// Enter → the reaction heard, measured by bench_enter_to_sound itself (six rounds) with a sender
// of its own; its table's row without a server is the one to compare with.
void heardWith(const Condition &c, SchoolProxy *proxy)
{
    const QString program
        = QCoreApplication::applicationDirPath() + QStringLiteral("/bench_enter_to_sound");
    if (!QFile::exists(program))
        return;
    proxy->swallow(c.link == Link::NeverAnswers);
    QProcess heard;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CALVENZA_BENCH_SENDER"), QStringLiteral("1"));
    environment.insert(QStringLiteral("CALVENZA_BENCH_ROUNDS"), QStringLiteral("6"));
    environment.remove(QStringLiteral("CALVENZA_SILENT_AUDIO"));
    heard.setProcessEnvironment(environment);
    heard.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    heard.start(program);
    // Its sender links within the second; the measure begins after the introduction.
    if (c.link == Link::StalledMidLesson) {
        QTest::qWait(1500);
        proxy->swallow(true);
    }
    // Once it has measured: its sender's thread waits for a swallowed batch until the connection
    // is cut, and the program's end waits for that thread.
    QByteArray rows;
    QElapsedTimer waited;
    waited.start();
    while (heard.state() != QProcess::NotRunning && !rows.contains("after the bow")
        && waited.elapsed() < 240000) {
        heard.waitForReadyRead(200);
        rows += heard.readAllStandardOutput();
    }
    proxy->cutAll();
    heard.waitForFinished(30000);
    rows += heard.readAllStandardOutput();
    for (const QByteArray &line : rows.split('\n')) {
        const QList<QByteArray> cells = line.split('\t');
        if (cells.size() == 5 && cells[1].startsWith("Enter on a right answer"))
            std::printf("bench-row\t%s, %s\t%s\t%s\t%s\n", cells[1].constData(), c.words,
                cells[2].constData(), cells[3].constData(), cells[4].constData());
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const std::vector<Condition> conditions {{Link::None, "no server"},
        {Link::Linked, "server linked"}, {Link::Slow, "server slow (250 ms each way)"},
        {Link::NeverAnswers, "server unreachable (takes the connection, never answers)"},
        {Link::StalledMidLesson, "server stalled mid-lesson (every byte swallowed)"}};
    const auto measure = [](const Condition &c) {
        return std::string("Enter → verdict painted, ") + c.words + " (median / 95th pct of 100)";
    };
    std::vector<std::pair<std::string, std::string>> rows;
    for (const Condition &c : conditions)
        rows.emplace_back(measure(c), "unchanged");
    if (const int status = runInOwnCluster(rows); status >= 0)
        return status;

    QFile clusterServices(qEnvironmentVariable("PGSERVICEFILE"));
    if (!clusterServices.open(QIODevice::ReadOnly))
        return std::fputs("bench_school_faults: no service file\n", stderr), 1;
    const quint16 serverPort = QRegularExpression(QStringLiteral("port=(\\d+)"))
                                   .match(QString::fromUtf8(clusterServices.readAll()))
                                   .captured(1)
                                   .toUShort();
    QTemporaryDir work;
    // The proxy's port is not the cluster's: a password for any port.
    const QString pgpass = work.filePath(QStringLiteral("pgpass"));
    {
        QFile file(pgpass);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write("127.0.0.1:*:*:macchina:" + qgetenv("CALVENZA_MACHINE_PASSWORD") + '\n');
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    qputenv("PGPASSFILE", pgpass.toLocal8Bit());

    double noServerP95 = 0;
    for (const Condition &c : conditions) {
        std::unique_ptr<SchoolProxy> proxy;
        if (c.link != Link::None && c.link != Link::Linked)
            proxy = std::make_unique<SchoolProxy>(serverPort, c.link == Link::Slow ? 250 : 0);
        if (proxy && c.link == Link::NeverAnswers)
            proxy->swallow(true);
        const QString services = work.filePath(QStringLiteral("pg_service.conf"));
        {
            QFile file(services);
            if (!file.open(QIODevice::WriteOnly))
                return 1;
            file.write(QStringLiteral("[calvenza]\nhost=127.0.0.1\ndbname=calvenza\nuser=macchina\n"
                                      "port=%1\n")
                           .arg(proxy ? proxy->port() : serverPort)
                           .toUtf8());
        }
        qputenv("PGSERVICEFILE", services.toLocal8Bit());

        QTemporaryDir data;
        testing::Harness h(data.path(), defaultTable, testing::Harness::History::Kept);
        h.startUp(QStringLiteral("Bench"));
        h.tavola->show();
        if (!QTest::qWaitForWindowExposed(h.tavola.get()))
            return std::fputs("bench_school_faults: the window never appeared\n", stderr), 1;
        std::unique_ptr<SchoolSender> sender;
        if (c.link != Link::None) {
            sender = std::make_unique<SchoolSender>(data.path());
            sender->follow(h.writer);
            std::optional<LinkState> state;
            QObject::connect(sender.get(), &SchoolSender::linkChanged, &app,
                [&state](LinkState s) { state = s; });
            // Linked first, then the link stalls; the others as they come.
            if (c.link == Link::StalledMidLesson) {
                if (!QTest::qWaitFor([&state] { return state == LinkState::Linked; }, 10000))
                    return std::fputs("bench_school_faults: never linked\n", stderr), 1;
                proxy->swallow(true);
            }
        }
        settle();
        std::vector<double> samples = verdicts(h, 100);
        const double median = quantile(samples, 0.5) / 1000.0;
        const double p95 = quantile(samples, 0.95) / 1000.0;
        if (c.link == Link::None)
            noServerP95 = p95;
        // The sender's thread waits for a swallowed batch until its connection is cut.
        if (proxy)
            proxy->cutAll();
        sender.reset();
        reportRow(measure(c), format("%.2f ms", median) + format(" / %.2f ms", p95),
            c.link == Link::None ? std::string("< 16 ms")
                                 : format("no server's p95 (%.2f ms) + 2 ms", noServerP95),
            p95 < 16.0 && p95 <= noServerP95 + 2.0);
        if (c.link == Link::Slow || c.link == Link::NeverAnswers
            || c.link == Link::StalledMidLesson)
            heardWith(c, proxy.get());
    }
    return 0;
}
