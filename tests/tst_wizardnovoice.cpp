#include "wizard/wizardcharacters.h"
#include "wizard/wizardwindow.h"

#include <QElapsedTimer>
#include <QSignalSpy>
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
        WizardOptions options;
        options.voice.dataPath = noData.path();
        WizardCharacters agent(options);
        QVERIFY(agent.Load(QStringLiteral("Merlin"), {}));
        WizardCharacter *wizard = agent.wizard(QStringLiteral("Merlin"));

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Voce.*fumetto")));
        QStringList shown;
        connect(wizard->window(), &WizardWindow::balloonTextChanged, this,
            [&](const QString &s) { shown << s; });
        QSignalSpy idle(wizard, &WizardCharacter::idle);
        wizard->Show();
        QVERIFY(idle.wait(10000));
        const QString text = QStringLiteral("uno due tre quattro");
        QElapsedTimer t;
        t.start();
        wizard->Speak(text);
        QVERIFY(idle.wait(10000));
        const qint64 took = t.elapsed();

        QCOMPARE(wizard->voice().state(), Voice::State::Unavailable);
        QVERIFY(!wizard->voice().errorString().isEmpty());
        QVERIFY(wizard->window()->isVisible());
        // Paced like a child reading, word by word.
        QVERIFY2(took >= 1200 && took <= 2500, qPrintable(QString::number(took)));
        QVERIFY(shown.size() >= 3);
        QCOMPARE(shown.first(), QStringLiteral("uno"));
        QCOMPARE(shown.last(), text);
    }
};

QTEST_MAIN(WizardNoVoiceTest)
#include "tst_wizardnovoice.moc"
