#include "wizard/voice.h"

#include <QSignalSpy>
#include <QTest>

using namespace calvenza;

const QString introduction = QStringLiteral(
    "Ciao! Io sono Merlino, il mago delle tabelline. Oggi giochiamo insieme con la tabellina "
    "dell'otto: io ti dico una moltiplicazione, tu scrivi il risultato e premi Invio. Se sbagli "
    "non importa, riproviamo insieme. Hai sette minuti per fare più punti che puoi. Sei pronto? "
    "Allora cominciamo!");

// What the voice streams for one text: its chunks and word marks.
struct Spoken
{
    QList<QByteArray> chunks;
    QList<SpeechWord> words;
    bool ok = false;
    [[nodiscard]] qint64 durationMs() const
    {
        qint64 bytes = 0;
        for (const QByteArray &chunk : chunks)
            bytes += chunk.size();
        return pcmDurationUs(bytes) / 1000;
    }
};

static Spoken speak(Voice &voice, const QString &text)
{
    Spoken spoken;
    const quint64 id = voice.speak(text);
    const QMetaObject::Connection chunks
        = QObject::connect(&voice, &Voice::chunk, [&](quint64 of, const QByteArray &pcm) {
              spoken.chunks << (of == id ? pcm : QByteArray());
          });
    const QMetaObject::Connection words
        = QObject::connect(&voice, &Voice::word, [&](quint64 of, const SpeechWord &w) {
              if (of == id)
                  spoken.words << w;
          });
    QSignalSpy finished(&voice, &Voice::finished);
    while (finished.isEmpty() || finished.last().first().toULongLong() != id)
        if (!finished.wait(10000))
            break;
    spoken.ok = !finished.isEmpty() && finished.last().at(1).toBool();
    QObject::disconnect(chunks);
    QObject::disconnect(words);
    return spoken;
}

class WizardVoiceTest : public QObject
{
    Q_OBJECT
private slots:
    // 19.7 s at his rate, 140; espeak's default would give 16 s. Markup is read as words, never
    // obeyed (a nine-second pause here).
    void voiceStreamsWhatItSaysInManyPiecesUnhurried()
    {
        Voice voice;
        const Spoken whole = speak(voice, introduction);
        QVERIFY(whole.ok && whole.durationMs() > 18000 && whole.durationMs() < 23000);
        QVERIFY2(whole.chunks.size() > 50, "streamed, not in one piece");
        QVERIFY(speak(voice, QStringLiteral("<break time=\"9s\"/>")).durationMs() < 4000);
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
        QVERIFY(pcmDurationUs(streamed.size()) < 18'000'000 / 4);
    }

    // Positions count characters, not bytes: the accent must not shift the words after it.
    void wordMarksPointAtTheWordsInOrder()
    {
        Voice voice;
        const QString text = QStringLiteral("Esatto Niccolò, bravissimo!");
        QStringList said;
        for (const SpeechWord &w : speak(voice, text).words)
            said << text.mid(w.textStart, w.textLength);
        QCOMPARE(said, QStringLiteral("Esatto Niccolò bravissimo").split(u' '));
    }
};

QTEST_GUILESS_MAIN(WizardVoiceTest)
#include "tst_wizardvoice.moc"
