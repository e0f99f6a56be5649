#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <atomic>
#include <memory>

class QThread;

namespace calvenza {

// espeak-ng speaks 16-bit mono PCM at this rate.
inline constexpr int speechSampleRate = 22050;
inline constexpr int speechBytesPerSecond = speechSampleRate * 2;

[[nodiscard]] constexpr qint64 pcmDurationUs(qint64 bytes)
{
    return bytes * 1'000'000 / speechBytesPerSecond;
}

// A word as the voice reaches it: when (ms from the start of the utterance) and where in the
// text (0-based, in QChars).
struct SpeechWord
{
    int audioMs = 0;
    int textStart = 0;
    int textLength = 0;
};

// How the wizard sounds: unhurried and low for a young listener.
struct VoiceSettings
{
    QString dataPath; // espeak-ng data directory; empty for the system's
    QString language = QStringLiteral("it");
    int rate = 140;
    int pitch = 38;
    int range = 60;
};

// Loudness of each frame of PCM (root mean square, 0..1 of full scale).
[[nodiscard]] QList<float> pcmLevels(const QByteArray &pcm, int frameSamples);

// Lives on the voice thread and talks to espeak-ng there.
class VoiceWorker : public QObject
{
    Q_OBJECT
public:
    explicit VoiceWorker(VoiceSettings settings);
    // Utterances with an id below this are dropped, even mid-synthesis.
    std::atomic<quint64> firstLiveId {0};

public slots:
    void start();
    void speak(quint64 id, const QString &text);

signals:
    void ready(bool ok, const QString &error);
    void chunk(quint64 id, const QByteArray &pcm);
    void word(quint64 id, calvenza::SpeechWord word);
    void finished(quint64 id, bool ok);

private:
    VoiceSettings m_settings;
    bool m_ok = false;
};

// The wizard's voice: synthesis on a thread of its own, streamed back chunk by chunk.
class Voice : public QObject
{
    Q_OBJECT
public:
    explicit Voice(VoiceSettings settings = {}, QObject *parent = nullptr);
    ~Voice() override;

    enum class State { Starting, Ready, Unavailable };
    [[nodiscard]] State state() const { return m_state; }

    // Queues the text; chunks, words and finished() carry the returned id.
    quint64 speak(const QString &text);
    // Drops every utterance asked so far, including the one being synthesised.
    void cancelAll();

signals:
    void chunk(quint64 id, const QByteArray &pcm);
    void word(quint64 id, calvenza::SpeechWord word);
    void finished(quint64 id, bool ok);

private:
    [[nodiscard]] bool isLive(quint64 id) const;

    std::unique_ptr<QThread> m_thread;
    std::unique_ptr<VoiceWorker> m_worker;
    quint64 m_nextId = 1;
    State m_state = State::Starting;
};

} // namespace calvenza

Q_DECLARE_METATYPE(calvenza::SpeechWord)
