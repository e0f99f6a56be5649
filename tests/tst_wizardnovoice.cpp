#include "wizard/wizardnarrator.h"
#include "wizard/wizardwindow.h"

#include <QApplication>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace calvenza;

// espeak-ng sets itself up once per process, so the missing voice data has its own test program.
class WizardNoVoiceTest : public QObject
{
    Q_OBJECT
private slots:
    void wordsStillShowAtAReadingPaceWhenTheVoiceCannotLoad()
    {
        QTemporaryDir noData; // a data directory without espeak-ng's files
        auto clock = std::make_shared<SteppedClock>();
        WizardNarrator narrator({.voice = {.dataPath = noData.path()}, .clock = clock});
        narrator.summon();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Voce.*fumetto")));
        auto *window = qobject_cast<WizardWindow *>(QApplication::topLevelWidgets().value(0));
        QSignalSpy shown(&window->balloon(), &Balloon::textChanged);
        QSignalSpy done(&narrator, &Narrator::scriptDone);
        QTest::qWait(300); // his voice has tried to load, on its own thread and in real time
        narrator.perform({NarratorRequest::speak(QStringLiteral("uno due tre quattro"))});
        qint64 took = 0;
        for (; done.isEmpty() && took < 10000; took += 10)
            clock->advance(10);
        QVERIFY2(took >= 1680 && took <= 1750, qPrintable(QString::number(took))); // 420 ms a word
        QCOMPARE(shown.size(), 4); // word by word
        QCOMPARE(shown.last().first().toString(), QStringLiteral("uno due tre quattro"));
    }
};

QTEST_MAIN(WizardNoVoiceTest)
#include "tst_wizardnovoice.moc"
