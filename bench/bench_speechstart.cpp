// Time from Speak() to the first chunk of his voice handed to the audio output (a sound device
// when there is one, else the silent clock), for a short word and for the introduction; and how
// long the GUI thread is held while the voice starts up.
// With --say TEXT it only speaks TEXT and exits once he is done (for end-to-end runs).
#include "app/tavola.h"
#include "benchreport.h"
#include "benchwait.h"
#include "wizard/wizardnarrator.h"

#include <QApplication>
#include <QAudioDevice>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMediaDevices>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

using namespace calvenza;
using calvenza::bench::waitFor;
using calvenza::bench::waitForSignal;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();

    QElapsedTimer construct;
    construct.start();
    WizardNarrator agent;
    agent.summon();
    const double constructMs = construct.nsecsElapsed() / 1e6;
    Wizard *wizard = agent.wizard();
    const char *mode = AudioOut::modeFromEnvironment() == AudioOut::Mode::Device
            && !QMediaDevices::defaultAudioOutput().isNull()
        ? "device"
        : "silent";

    const int sayAt = int(args.indexOf(QStringLiteral("--say")));
    if (sayAt > 0 && sayAt + 1 < args.size()) {
        // A stand-in for the program's window: the pupil's answer box must keep the keyboard
        // while the wizard appears, speaks and is clicked.
        QWidget entry;
        entry.setWindowTitle(QStringLiteral("Tavola"));
        auto *edit = new QLineEdit(&entry);
        (new QVBoxLayout(&entry))->addWidget(edit);
        entry.setGeometry(600, 450, 400, 100);
        entry.show();
        entry.activateWindow();
        edit->setFocus();
        for (int i = 0; i < 30 && !entry.isActiveWindow(); ++i)
            waitFor(100);
        QElapsedTimer t;
        agent.perform({NarratorRequest::show(), NarratorRequest::moveTo(narratorX, narratorY),
            NarratorRequest::height(narratorHeight)});
        waitForSignal(&agent, &Narrator::scriptDone, 10000);
        t.start();
        agent.perform({NarratorRequest::speak(args.at(sayAt + 1))});
        waitForSignal(&agent, &Narrator::scriptDone, 60000);
        std::printf("spoke for %lld ms (%s audio)\n", t.elapsed(), mode);
        waitFor(300); // the last of the sound leaves the server
        std::printf("focus kept: %s\ntyped: %s\n",
            entry.isActiveWindow() && edit->hasFocus() ? "yes" : "no", qPrintable(edit->text()));
        std::fflush(stdout);
        return 0;
    }

    // His voice loads while he appears.
    agent.perform({NarratorRequest::show()});
    waitForSignal(&agent, &Narrator::scriptDone, 5000);

    std::printf("voice start-up: GUI thread held %.2f ms while the wizard and his voice were "
                "created; voice loaded on its own thread\n",
        constructMs);
    for (const QString &text : {QStringLiteral("otto"), introduction(defaultTable)}) {
        QList<double> ms;
        for (int i = 0; i < 7; ++i) {
            QElapsedTimer t;
            t.start();
            agent.perform({NarratorRequest::speak(text)});
            if (!waitForSignal(wizard, &Wizard::speechAudioStarted, 5000))
                return 2;
            ms << t.nsecsElapsed() / 1e6;
            wizard->stopAll();
            waitFor(50);
        }
        std::sort(ms.begin(), ms.end());
        std::printf("Speak -> first audio chunk (%s, %lld chars, %s): median %.2f ms, worst %.2f "
                    "ms (floor 5 ms)\n",
            text == introduction(defaultTable) ? "introduction" : "short word",
            qlonglong(text.size()), mode, ms.at(ms.size() / 2), ms.last());
        calvenza::bench::reportRow(std::string("Speak → first audio chunk handed to the sink, ")
                + (text == introduction(defaultTable) ? "the introduction" : "a short word") + " ("
                + mode + ")",
            calvenza::bench::format("median %.2f ms", ms.at(ms.size() / 2))
                + calvenza::bench::format(", worst %.2f ms", ms.last()),
            "≤ 5 ms", ms.at(ms.size() / 2) <= 5.0);
    }
    calvenza::bench::reportRow("Voice start-up: GUI thread held while he is created",
        calvenza::bench::format("%.1f ms", constructMs), "voice loads on its own thread",
        constructMs < 50);
    return 0;
}
