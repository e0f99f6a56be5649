#include "wizard/audioout.h"

#include "wizard/voice.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#include <QtDebug>

namespace calvenza {

namespace {
// About 40 ms: the smallest buffer that did not underrun with both cores busy.
constexpr int sinkBufferBytes = 1764;
constexpr int feedIntervalMs = 10;
// A device that stops consuming is given this long past the end before we stop waiting for it.
constexpr qint64 stallGraceUs = 1'500'000;
} // namespace

AudioOut::AudioOut(Mode wanted, const WizardClock &clock, QObject *parent)
    : QObject(parent)
    , m_mode(Mode::Silent)
    , m_clock(clock)
    , m_feedTimer(clock)
    , m_silentEnd(clock)
{
    m_feedTimer.setTimerType(Qt::PreciseTimer);
    m_feedTimer.setInterval(feedIntervalMs);
    connect(&m_feedTimer, &ClockTimer::timeout, this, [this] {
        // Kept as we go: a sink that has just failed reports 0.
        m_lastDeviceUs = qMax(m_lastDeviceUs, m_sink->processedUSecs());
        feed();
        check();
    });
    m_silentEnd.setSingleShot(true);
    m_silentEnd.setTimerType(Qt::PreciseTimer);
    connect(&m_silentEnd, &ClockTimer::timeout, this, &AudioOut::check);

    if (wanted != Mode::Device)
        return;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return;
    QAudioFormat format;
    format.setSampleRate(speechSampleRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    m_sink = std::make_unique<QAudioSink>(device, format);
    m_sink->setBufferSize(sinkBufferBytes);
    connect(m_sink.get(), &QAudioSink::stateChanged, this, [this](QAudio::State state) {
        if (m_active && state == QAudio::StoppedState && m_sink->error() != QAudio::NoError)
            fallBackToSilence("il dispositivo audio si è fermato");
    });
    m_mode = Mode::Device;
}

AudioOut::~AudioOut()
{
    if (m_sink)
        m_sink->stop();
}

AudioOut::Mode AudioOut::modeFromEnvironment()
{
    return qEnvironmentVariableIntValue("CALVENZA_SILENT_AUDIO") == 1 ? Mode::Silent : Mode::Device;
}

void AudioOut::begin()
{
    stop();
    m_active = true;
    m_silentBaseUs = 0;
    m_startUs = m_clock.nowUs();
    if (m_mode == Mode::Device) {
        m_io = m_sink->start();
        if (!m_io) {
            fallBackToSilence("il dispositivo audio non si apre");
            return;
        }
        m_feedTimer.start();
    }
}

void AudioOut::append(const QByteArray &pcm)
{
    if (!m_active || pcm.isEmpty())
        return;
    // The silent clock starts with the first sound, as a device would.
    if (m_total == 0 && m_mode == Mode::Silent)
        m_startUs = m_clock.nowUs();
    m_total += pcm.size();
    if (m_mode == Mode::Device) {
        m_pending += pcm;
        feed();
    } else if (!m_announced) {
        m_announced = true;
        emit firstAudioQueued();
    }
    if (m_mode == Mode::Silent && m_inputEnded)
        scheduleSilentEnd();
}

void AudioOut::endOfInput()
{
    if (!m_active)
        return;
    m_inputEnded = true;
    if (m_mode == Mode::Silent)
        scheduleSilentEnd();
    else
        check();
}

void AudioOut::stop()
{
    m_feedTimer.stop();
    m_silentEnd.stop();
    if (m_sink && m_io)
        m_sink->stop();
    m_io = nullptr;
    m_pending.clear();
    m_total = 0;
    m_lastDeviceUs = 0;
    m_active = false;
    m_inputEnded = false;
    m_announced = false;
}

qint64 AudioOut::positionUs() const
{
    if (!m_active)
        return 0;
    if (m_mode == Mode::Device && m_io)
        return qMin(m_sink->processedUSecs(), queuedUs());
    if (m_total == 0)
        return 0;
    return qMin(m_silentBaseUs + sinceStartUs(), queuedUs());
}

qint64 AudioOut::queuedUs() const
{
    return pcmDurationUs(m_total);
}

void AudioOut::feed()
{
    if (!m_io || m_pending.isEmpty())
        return;
    const qint64 room = m_sink->bytesFree();
    if (room <= 0)
        return;
    const qint64 n = m_io->write(m_pending.constData(), qMin<qint64>(room, m_pending.size()));
    if (n > 0) {
        m_pending.remove(0, n);
        if (!m_announced) {
            m_announced = true;
            emit firstAudioQueued();
        }
    }
}

void AudioOut::check()
{
    if (!m_active || !m_inputEnded)
        return;
    bool done = false;
    if (m_mode == Mode::Device) {
        const qint64 total = queuedUs();
        done = m_pending.isEmpty()
            && (m_sink->processedUSecs() >= total || m_sink->state() == QAudio::IdleState);
        // A device that stops taking data or reporting progress must not hold the queue: past
        // the end by a margin, the utterance counts as heard. The device itself is kept; a real
        // failure shows as an error state and is handled there.
        done = done || sinceStartUs() > total + stallGraceUs;
    } else {
        done = positionUs() >= queuedUs();
    }
    if (done) {
        stop();
        emit drained();
    }
}

void AudioOut::fallBackToSilence(const char *why)
{
    if (m_mode == Mode::Silent)
        return;
    qWarning("Audio: %s; il mago continua senza suono.", why);
    const qint64 heard
        = m_io ? qMin(qMax(m_lastDeviceUs, m_sink->processedUSecs()), queuedUs()) : 0;
    m_mode = Mode::Silent;
    m_feedTimer.stop();
    m_pending.clear();
    m_io = nullptr;
    // Lost servers do not come back in this run: stay silent from here on.
    m_sink->disconnect(this);
    m_sink->stop();
    if (!m_active)
        return;
    m_silentBaseUs = heard;
    m_startUs = m_clock.nowUs();
    if (!m_announced && m_total > 0) {
        m_announced = true;
        emit firstAudioQueued();
    }
    if (m_inputEnded)
        scheduleSilentEnd();
}

void AudioOut::scheduleSilentEnd()
{
    const qint64 leftUs = queuedUs() - positionUs();
    m_silentEnd.start(int(qMax<qint64>(0, (leftUs + 999) / 1000)));
}

} // namespace calvenza
