#pragma once

#include <QAudioDevice>
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <memory>
#include <mutex>

class QAudioSink;
class QIODevice;
class QTimer;

namespace calvenza {

// Owns the sound device's sink on the sound thread and keeps it fed from there; the utterance
// number tells each answer apart from those of an utterance already forgotten.
class SinkFeeder : public QObject
{
    Q_OBJECT
public:
    explicit SinkFeeder(QAudioDevice device);
    ~SinkFeeder() override;

    struct Progress
    {
        quint64 utterance = 0;
        qint64 processedUs = 0;
    };
    // From any thread: how far the sink has played.
    [[nodiscard]] Progress progress() const;

    // On the sound thread, asked from the GUI thread.
    void open();
    void begin(quint64 utterance);
    void append(quint64 utterance, const QByteArray &pcm);
    void endOfInput(quint64 utterance);
    void stop();
    void close();

signals:
    void firstAudioWritten(quint64 utterance);
    void drained(quint64 utterance);
    // The device has gone; heardUs of the utterance had been played.
    void failed(quint64 utterance, qint64 heardUs);

private:
    void feed();
    void check();
    void fail();
    void publish(qint64 processedUs);

    QAudioDevice m_device;
    std::unique_ptr<QAudioSink> m_sink;
    QIODevice *m_io = nullptr;
    QTimer *m_feedTimer = nullptr;
    QElapsedTimer m_started;
    QByteArray m_pending;
    qint64 m_totalUs = 0;
    qint64 m_lastDeviceUs = 0;
    quint64 m_utterance = 0;
    bool m_inputEnded = false;
    bool m_announced = false;
    bool m_failed = false;

    mutable std::mutex m_progressMutex;
    Progress m_progress;
};

} // namespace calvenza
