#pragma once

#include "wizard/wizardclock.h"

#include <QByteArray>
#include <QObject>
#include <memory>

class QThread;

namespace calvenza {

class SinkFeeder;

// Plays the voice's PCM one utterance at a time and keeps its clock. A sound device is fed from
// a thread of its own, so a busy GUI thread is never heard. Without a sound device (none found,
// CALVENZA_SILENT_AUDIO=1, or the server gone mid-run) the clock still runs, on the wizard's
// clock, so everything paced by it looks the same, silently.
class AudioOut : public QObject
{
    Q_OBJECT
public:
    enum class Mode { Device, Silent };
    // Device mode is tried only when asked and when a default output exists.
    explicit AudioOut(Mode wanted, const WizardClock &clock, QObject *parent = nullptr);
    ~AudioOut() override;

    // Mode wanted by default: silent under CALVENZA_SILENT_AUDIO=1 (test and benchmark builds).
    [[nodiscard]] static Mode modeFromEnvironment();

    // A new utterance: the clock restarts at 0.
    void begin();
    void append(const QByteArray &pcm);
    // No more PCM for this utterance: drained() follows once it has all been heard.
    void endOfInput();
    // Silence at once and forget the utterance; drained() is not emitted.
    void stop();

    // How much of the utterance has been heard, in microseconds.
    [[nodiscard]] qint64 positionUs() const;
    [[nodiscard]] qint64 queuedUs() const;

signals:
    void firstAudioQueued();
    void drained();

private:
    void fallBackToSilence(quint64 utterance, qint64 heardUs);
    void scheduleSilentEnd();
    void checkSilentEnd();
    void announce();

    Mode m_mode;
    const WizardClock &m_clock;
    std::unique_ptr<QThread> m_soundThread;
    std::unique_ptr<SinkFeeder> m_feeder;
    ClockTimer m_silentEnd;
    quint64 m_utterance = 0;
    qint64 m_startUs = 0;
    qint64 m_total = 0; // bytes of this utterance
    qint64 m_silentBaseUs = 0;
    bool m_active = false;
    bool m_inputEnded = false;
    bool m_announced = false;
};

} // namespace calvenza
