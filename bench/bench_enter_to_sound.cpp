// Enter in the answer box until the wizard's reaction is heard at the sound server: the real
// window and the real wizard, with a recorder on the default sink's monitor (a PulseAudio null
// sink in the benchmark run). Also Enter until his first chunk is handed to the audio output.
#include "benchreport.h"
#include "monitorrecorder.h"
#include "school/schoolsender.h"
#include "support.h"
#include "watchednarrator.h"

#include <QApplication>
#include <QAudioDevice>
#include <QLineEdit>
#include <QMediaDevices>
#include <QTest>

using namespace calvenza;
using namespace calvenza::bench;

namespace {

bool waitUntil(const std::function<bool()> &condition, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > ms)
            return false;
        QTest::qWait(2);
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    qunsetenv("CALVENZA_SILENT_AUDIO");
    QApplication app(argc, argv);
    const std::string measure = "Enter on a right answer → reaction heard at the sound server";
    const std::string target = "≤ 50 ms";
    MonitorRecorder recorder;
    std::string error;
    if (!recorder.start(&error)) {
        reportRow(measure, "not measured: no sound server (" + error + ")", target, false);
        return 0;
    }

    QTemporaryDir dataDir;
    auto agent = std::make_unique<WatchedNarrator>();
    auto dialogs = std::make_unique<testing::ScriptedDialogs>();
    auto random = std::make_unique<testing::ScriptedRandom>();
    WatchedNarrator *wizards = agent.get();
    testing::ScriptedRandom *draws = random.get();
    dialogs->answer = QStringLiteral("Bench");
    auto writer = std::make_unique<HistoryWriter>(dataDir.path());
    // Run by bench_school_faults: the answers also go to the school's server its service names.
    std::unique_ptr<SchoolSender> school;
    if (qEnvironmentVariableIsSet("CALVENZA_BENCH_SENDER")) {
        school = std::make_unique<SchoolSender>(dataDir.path());
        school->follow(writer.get());
    }
    TavolaServices services {std::move(agent), std::move(dialogs), std::move(random),
        std::make_unique<FixedDataDirectory>(dataDir.path()), std::move(writer)};
    Tavola tavola(std::move(services));
    tavola.startUp();
    Wizard *wizard = wizards->wizard();
    if (!wizard || QMediaDevices::defaultAudioOutput().isNull()) {
        reportRow(measure, "not measured: the wizard has no sound device", target, false);
        return 0;
    }
    tavola.show();
    // The introduction, once the window is up, is not what is measured.
    waitUntil([&] { return wizards->isBusy(); }, 3000);
    wizards->stopAll();
    auto *answerBox = tavola.findChild<QLineEdit *>(QStringLiteral("answerBox"));
    std::int64_t handedOver = 0;
    QObject::connect(wizard, &Wizard::speechAudioStarted, &app,
        [&] { handedOver = handedOver ? handedOver : nowNs(); });

    // An idle null sink holds back its first two seconds.
    QTest::qWait(2500);
    // A wrong answer's reaction opens with the bow of "Greet", so its voice comes after it.
    std::vector<double> heard, handed, heardWrong;
    const int rounds = qEnvironmentVariableIntValue("CALVENZA_BENCH_ROUNDS") > 0
        ? qEnvironmentVariableIntValue("CALVENZA_BENCH_ROUNDS")
        : 10;
    for (int i = 0; i < rounds; ++i) {
        draws->values = {0.35, 0.05 + 0.1 * (i % 10)};
        tavola.session().newExercise();
        waitUntil([&] { return !wizards->isBusy(); }, 10000);
        QTest::qWait(400); // the dictation's last sound has left the sink
        const bool wrong = i % 3 == 2;
        answerBox->setText(
            wrong ? QStringLiteral("0") : QString::number(tavola.session().exercise().product));
        handedOver = 0;
        recorder.arm();
        const std::int64_t enter = nowNs();
        QTest::keyClick(answerBox, Qt::Key_Return);
        const bool wasHeard = waitUntil([&] { return recorder.onset() != 0; }, 4000);
        if (wasHeard)
            (wrong ? heardWrong : heard).push_back(double(recorder.onset() - enter) / 1e6);
        if (handedOver && !wrong)
            handed.push_back(double(handedOver - enter) / 1e6);
        waitUntil([&] { return !wizards->isBusy(); }, 10000);
    }
    if (heard.size() < std::size_t(rounds) / 3) {
        reportRow(measure, "not measured: the reaction was not heard", target, false);
        return 1;
    }
    const double median = quantile(heard, 0.5), worst = quantile(heard, 1.0);
    reportRow(measure,
        format("median %.1f ms", median) + format(", worst %.1f ms", worst)
            + format(" (%.0f rounds)", double(heard.size())),
        target, worst <= 50.0);
    const double handedMedian = quantile(handed, 0.5);
    reportRow("Enter → reaction's first audio handed to the sink",
        format("median %.1f ms", handedMedian) + format(", worst %.1f ms", quantile(handed, 1.0)),
        "≤ 50 ms", quantile(handed, 1.0) <= 50.0);
    reportRow("Enter on a wrong answer → \"Sbagliato\" heard, after the bow",
        format("median %.0f ms", quantile(heardWrong, 0.5)), "the bow's length (≈ 1.6 s)",
        !heardWrong.empty());
    return 0;
}
