#include "wizard/voice.h"

#include <QSignalSpy>
#include <QTest>

using namespace calvenza;

const QString introduction = QStringLiteral(
    "Ciao! Io sono Merlino, il mago delle tabelline. Oggi giochiamo insieme con la tabellina "
    "dell'otto: io ti dico una moltiplicazione, tu scrivi il risultato e premi Invio. Se sbagli "
    "non importa, riproviamo insieme. Hai sette minuti per fare più punti che puoi. Sei pronto? "
    "Allora cominciamo!");

class WizardVoiceTest : public QObject
{
    Q_OBJECT
private slots:
    // 19.7 s at his rate, 140; espeak's default would give 16 s. Markup is read as words, never
    // obeyed (a nine-second pause here).
    void voiceStreamsWhatItWouldSayInOnePieceUnhurried()
    {
        const auto whole = synthesizeSpeech(introduction);
        QVERIFY(whole && whole->durationMs() > 18000 && whole->durationMs() < 23000);
        QVERIFY(synthesizeSpeech(QStringLiteral("<break time=\"9s\"/>"))->durationMs() < 4000);
        Voice voice;
        QSignalSpy chunks(&voice, &Voice::chunk);
        QSignalSpy finished(&voice, &Voice::finished);
        const quint64 id = voice.speak(introduction);
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.first(), (QVariantList {QVariant::fromValue(id), true}));
        QVERIFY2(chunks.size() > 50, "streamed, not in one piece");
        qsizetype streamed = 0;
        for (const QVariantList &chunk : std::as_const(chunks))
            streamed += chunk.at(1).toByteArray().size();
        // espeak's output may differ by a few samples from one run to the next.
        QVERIFY(std::abs(streamed - whole->pcm.size()) < whole->pcm.size() / 100);
    }

    void cancellingStopsAnUtteranceMidwayAndDropsTheQueuedOnes()
    {
        Voice voice;
        QByteArray streamed;
        connect(&voice, &Voice::chunk, this, [&](quint64, const QByteArray &pcm) {
            if (streamed.isEmpty())
                voice.cancelAll();
            streamed += pcm;
        });
        QSignalSpy finished(&voice, &Voice::finished);
        voice.speak(introduction);
        const quint64 later = voice.speak(QStringLiteral("otto"));
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 5000);
        QVERIFY(!finished.at(0).at(1).toBool()); // what was asked before the cancel goes too
        QCOMPARE(finished.at(1), (QVariantList {QVariant::fromValue(later), false}));
        QVERIFY(streamed.size() < synthesizeSpeech(introduction)->pcm.size() / 4);
    }

    // Positions count characters, not bytes: the accent must not shift the words after it.
    void wordMarksPointAtTheWordsInOrder()
    {
        const QString text = QStringLiteral("Esatto Niccolò, bravissimo!");
        const auto audio = synthesizeSpeech(text);
        QStringList said;
        for (const SpeechWord &w : audio->words)
            said << text.mid(w.textStart, w.textLength);
        QCOMPARE(said, QStringLiteral("Esatto Niccolò bravissimo").split(u' '));
    }
};

QTEST_GUILESS_MAIN(WizardVoiceTest)
#include "tst_wizardvoice.moc"
