#include "wizard/wizardcharacters.h"
#include "wizard/wizardwindow.h"

#include <QTemporaryDir>
#include <QTest>

using namespace calvenza;

// espeak-ng sets itself up once per process, so the missing voice data has its own test program.
class WizardNoVoiceTest : public QObject
{
    Q_OBJECT
private slots:
    void wordsStillShowWhenTheVoiceCannotLoad()
    {
        QTemporaryDir noData; // a data directory without espeak-ng's files
        auto clock = std::make_shared<SteppedClock>();
        WizardOptions options;
        options.voice.dataPath = noData.path();
        options.clock = clock;
        WizardCharacters agent(options);
        QVERIFY(agent.Load(QStringLiteral("Merlin"), {}));
        WizardCharacter *wizard = agent.wizard(QStringLiteral("Merlin"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Voce.*fumetto")));
        QStringList shown;
        connect(wizard->window(), &WizardWindow::balloonTextChanged, this,
            [&](const QString &s) { shown << s; });
        wizard->Show();
        while ((wizard->isBusy() || wizard->voice().state() == Voice::State::Starting)
            && clock->nowMs() < 10000)
            clock->advance(10);
        const QString text = QStringLiteral("uno due tre quattro");
        wizard->Speak(text);
        const qint64 start = clock->nowMs();
        while (wizard->isBusy())
            clock->advance(10);
        const qint64 took = clock->nowMs() - start;

        QVERIFY(!wizard->voice().errorString().isEmpty());
        QVERIFY(wizard->window()->isVisible());
        // Paced like a child reading, word by word.
        QVERIFY2(took >= 1680 && took <= 1750, qPrintable(QString::number(took)));
        QCOMPARE(shown,
            (QStringList {QStringLiteral("uno"), QStringLiteral("uno due"),
                QStringLiteral("uno due tre"), text}));
    }
};

QTEST_MAIN(WizardNoVoiceTest)
#include "tst_wizardnovoice.moc"
