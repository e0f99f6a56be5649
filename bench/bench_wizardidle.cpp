// CPU used by a wizard standing idle on screen (he breathes and blinks now and then), as a
// share of one core. With --shot FILE, also saves his window while he speaks.
#include "benchreport.h"
#include "benchwait.h"
#include "watchednarrator.h"
#include "wizard/wizardwindow.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <sys/resource.h>

using namespace calvenza;
using calvenza::bench::waitFor;
using calvenza::bench::waitForSignal;

namespace {
double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int shotAt = int(args.indexOf(QStringLiteral("--shot")));
    const int seconds = args.contains(QStringLiteral("--short")) ? 6 : 20;

    calvenza::bench::WatchedNarrator agent;
    agent.summon();
    agent.perform({NarratorRequest::show(), NarratorRequest::moveTo(narratorX, narratorY),
        NarratorRequest::height(narratorHeight),
        NarratorRequest::speak(QStringLiteral("Ciao! Io sono Merlino, il mago delle "
                                              "tabelline."))});
    if (shotAt > 0 && shotAt + 1 < args.size()) {
        waitForSignal(agent.wizard(), &Wizard::speechAudioStarted, 5000);
        waitFor(2000);
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<WizardWindow *>(w))
                w->grab().save(args.at(shotAt + 1));
    }
    if (agent.isBusy())
        waitForSignal(&agent, &Narrator::scriptDone, 20000);
    waitFor(2500); // the balloon fades

    const double before = cpuSeconds();
    waitFor(seconds * 1000);
    const double share = (cpuSeconds() - before) / seconds * 100;
    std::printf("idle wizard (%s): %.2f%% of one core over %d s (floor 1%%)\n",
        qPrintable(QGuiApplication::platformName()), share, seconds);
    calvenza::bench::reportRow("Idle wizard, CPU",
        calvenza::bench::format("%.2f %% of one core", share), "< 1 %", share < 1.0);
    return 0;
}
