#include "wizard/voice.h"

#include <QSignalSpy>
#include <QTest>
#include <cmath>

using namespace calvenza;

namespace {
const QString introduction = QStringLiteral(
    "Ciao! Io sono Merlino, il mago delle tabelline. Oggi giochiamo insieme con la tabellina "
    "dell'otto: io ti dico una moltiplicazione, tu scrivi il risultato e premi Invio. Se "
    "sbagli non importa, riproviamo insieme. Hai sette minuti per fare più punti che puoi. "
    "Sei pronto? Allora cominciamo!");

SpeechAudio speech(const QString &text)
{
    QString error;
    const auto audio = synthesizeSpeech(text, {}, &error);
    if (!audio)
        qFatal("voice unavailable: %s", qPrintable(error));
    return *audio;
}

} // namespace

class WizardVoiceTest : public QObject
{
    Q_OBJECT
private slots:
    void knownTextsLastAsLongAsAnUnhurriedVoice_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("minMs");
        QTest::addColumn<int>("maxMs");
        QTest::newRow("otto") << QStringLiteral("otto") << 250 << 1200;
        // 19.7 s at rate 140; the default rate (175) would give 16 s.
        QTest::newRow("introduction") << introduction << 18000 << 23000;
        // Read aloud as words; obeyed, it would be a nine-second pause.
        QTest::newRow("markup") << QStringLiteral("<break time=\"9s\"/>") << 500 << 4000;
    }
    void knownTextsLastAsLongAsAnUnhurriedVoice()
    {
        QFETCH(QString, text);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);
        const SpeechAudio audio = speech(text);
        QVERIFY2(audio.durationMs() >= minMs && audio.durationMs() <= maxMs,
            qPrintable(QStringLiteral("%1 ms").arg(audio.durationMs())));
        // Clearly audible, never clipped all the way.
        const double level = pcmLevels(audio.pcm, int(audio.pcm.size() / 2)).value(0);
        QVERIFY2(level > 0.03 && level < 0.7, qPrintable(QString::number(level)));
    }

    void digitsAreReadAsItalianNumbers_data()
    {
        QTest::addColumn<QString>("digits");
        QTest::addColumn<QString>("words");
        QTest::newRow("8") << QStringLiteral("8") << QStringLiteral("otto");
        QTest::newRow("56") << QStringLiteral("56") << QStringLiteral("cinquantasei");
    }
    void digitsAreReadAsItalianNumbers()
    {
        QFETCH(QString, digits);
        QFETCH(QString, words);
        const qint64 a = speech(digits).durationMs();
        const qint64 b = speech(words).durationMs();
        QVERIFY2(std::abs(a - b) <= qMax<qint64>(120, b / 6),
            qPrintable(QStringLiteral("%1 ms against %2 ms").arg(a).arg(b)));
    }

    // Positions count characters, not bytes: the accent must not shift the words after it.
    void wordMarksPointAtTheWordsInOrder()
    {
        const QString text = QStringLiteral("Esatto Niccolò, bravissimo!");
        const SpeechAudio audio = speech(text);
        QStringList said;
        int lastMs = -1;
        for (const SpeechWord &w : audio.words) {
            QVERIFY(w.audioMs >= lastMs && w.audioMs <= audio.durationMs());
            lastMs = w.audioMs;
            said << text.mid(w.textStart, w.textLength);
        }
        QCOMPARE(said,
            (QStringList {QStringLiteral("Esatto"), QStringLiteral("Niccolò"),
                QStringLiteral("bravissimo")}));
    }

    void workerStreamsTheSameAudioInChunks()
    {
        Voice voice;
        QSignalSpy ready(&voice, &Voice::ready);
        QVERIFY(ready.wait(5000) && ready.first().first().toBool());
        QByteArray streamed;
        int chunks = 0;
        connect(&voice, &Voice::chunk, this, [&](quint64, const QByteArray &pcm) {
            streamed += pcm;
            ++chunks;
        });
        QSignalSpy finished(&voice, &Voice::finished);
        const quint64 id = voice.speak(introduction);
        QVERIFY(finished.wait(10000));
        const int chunksAtEnd = chunks;
        QCOMPARE(finished.first().at(0).value<quint64>(), id);
        QVERIFY(finished.first().at(1).toBool());
        QVERIFY2(chunks > 50, "streamed, not in one piece");
        // The same speech as in one piece (espeak's output may differ by a few samples).
        const qsizetype whole = speech(introduction).pcm.size();
        QVERIFY(std::abs(streamed.size() - whole) < whole / 100);
        QTest::qWait(50);
        QCOMPARE(chunks, chunksAtEnd);
    }

    void cancellingStopsAnUtteranceMidway()
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
        QCOMPARE(finished.at(0).at(1).toBool(), false);
        // What was asked before the cancel is dropped too.
        QCOMPARE(finished.at(1).at(0).value<quint64>(), later);
        QCOMPARE(finished.at(1).at(1).toBool(), false);
        QVERIFY(streamed.size() < speech(introduction).pcm.size() / 4);
    }

    void levelsMeasureEachFrame_data()
    {
        QTest::addColumn<QList<qint16>>("samples");
        QTest::addColumn<int>("frame");
        QTest::addColumn<QList<float>>("levels");
        QTest::newRow("full square")
            << QList<qint16> {-32768, -32768, -32768, -32768} << 4 << QList<float> {1};
        QTest::newRow("half then quiet")
            << QList<qint16> {16384, -16384, 0, 0, 0} << 2 << QList<float> {0.5f, 0, 0};
    }
    void levelsMeasureEachFrame()
    {
        QFETCH(QList<qint16>, samples);
        QFETCH(int, frame);
        QFETCH(QList<float>, levels);
        const QByteArray pcm(
            reinterpret_cast<const char *>(samples.constData()), samples.size() * 2);
        const QList<float> got = pcmLevels(pcm, frame);
        QCOMPARE(got.size(), levels.size());
        for (int i = 0; i < got.size(); ++i)
            QVERIFY(std::abs(got[i] - levels[i]) < 0.001f);
    }
};

QTEST_GUILESS_MAIN(WizardVoiceTest)
#include "tst_wizardvoice.moc"
