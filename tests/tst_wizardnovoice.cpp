#include "wizard/wizardcharacters.h"
#include "wizard/wizardwindow.h"

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
        WizardNarrator agent({.voice = {.dataPath = noData.path()}, .clock = clock});
        QVERIFY(agent.summon());
        WizardCharacter *wizard = agent.wizard();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Voce.*fumetto")));
        QSignalSpy shown(wizard->window(), &WizardWindow::balloonTextChanged);
        wizard->Speak(QStringLiteral("uno due tre quattro"));
        qint64 took = 0;
        for (; wizard->isBusy() && took < 10000; took += 10)
            clock->advance(10);
        QVERIFY2(took >= 1680 && took <= 1750, qPrintable(QString::number(took))); // 420 ms a word
        QCOMPARE(shown.size(), 4); // word by word
        QCOMPARE(shown.last().first().toString(), QStringLiteral("uno due tre quattro"));
    }
};

QTEST_MAIN(WizardNoVoiceTest)
#include "tst_wizardnovoice.moc"
