#include "wizard/audioout.h"

#include "wizard/sinkfeeder.h"
#include "wizard/voice.h"

#include <QMediaDevices>
#include <QThread>
#include <QtDebug>

namespace calvenza {

AudioOut::AudioOut(Mode wanted, const WizardClock &clock, QObject *parent)
    : QObject(parent)
    , m_mode(Mode::Silent)
    , m_clock(clock)
    , m_silentEnd(clock)
{
    m_silentEnd.setSingleShot(true);
    m_silentEnd.setTimerType(Qt::PreciseTimer);
    connect(&m_silentEnd, &ClockTimer::timeout, this, &AudioOut::checkSilentEnd);

    if (wanted != Mode::Device)
        return;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return;
    // The sink is created, fed and stopped on its own thread: Qt's sinks belong to one thread.
    m_soundThread = std::make_unique<QThread>();
    m_soundThread->setObjectName(QStringLiteral("suono"));
    m_feeder = std::make_unique<SinkFeeder>(device);
    m_feeder->moveToThread(m_soundThread.get());
    connect(m_feeder.get(), &SinkFeeder::firstAudioWritten, this, [this](quint64 utterance) {
        if (utterance == m_utterance && m_active)
            announce();
    });
    connect(m_feeder.get(), &SinkFeeder::drained, this, [this](quint64 utterance) {
        if (utterance != m_utterance || !m_active)
            return;
        stop();
        emit drained();
    });
    connect(m_feeder.get(), &SinkFeeder::failed, this, &AudioOut::fallBackToSilence);
    m_soundThread->start();
    QMetaObject::invokeMethod(m_feeder.get(), &SinkFeeder::open, Qt::QueuedConnection);
    m_mode = Mode::Device;
}

AudioOut::~AudioOut()
{
    if (!m_soundThread)
        return;
    QMetaObject::invokeMethod(m_feeder.get(), &SinkFeeder::close, Qt::BlockingQueuedConnection);
    m_soundThread->quit();
    m_soundThread->wait();
}

AudioOut::Mode AudioOut::modeFromEnvironment()
{
#ifdef CALVENZA_TEST_HOOKS
    if (qEnvironmentVariableIntValue("CALVENZA_SILENT_AUDIO") == 1)
        return Mode::Silent;
#endif
    return Mode::Device;
}

void AudioOut::begin()
{
    stop();
    m_active = true;
    m_silentBaseUs = 0;
    m_startUs = m_clock.nowUs();
    if (m_mode == Mode::Device) {
        QMetaObject::invokeMethod(m_feeder.get(),
            [feeder = m_feeder.get(), utterance = m_utterance] { feeder->begin(utterance); });
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
        QMetaObject::invokeMethod(
            m_feeder.get(), [feeder = m_feeder.get(), utterance = m_utterance, pcm] {
                feeder->append(utterance, pcm);
            });
        return;
    }
    announce();
    if (m_inputEnded)
        scheduleSilentEnd();
}

void AudioOut::endOfInput()
{
    if (!m_active)
        return;
    m_inputEnded = true;
    if (m_mode == Mode::Silent) {
        scheduleSilentEnd();
        return;
    }
    QMetaObject::invokeMethod(m_feeder.get(),
        [feeder = m_feeder.get(), utterance = m_utterance] { feeder->endOfInput(utterance); });
}

void AudioOut::stop()
{
    m_silentEnd.stop();
    if (m_active && m_mode == Mode::Device)
        QMetaObject::invokeMethod(m_feeder.get(), &SinkFeeder::stop);
    // Whatever the sound thread still says of the old utterance is ignored from here.
    ++m_utterance;
    m_total = 0;
    m_active = false;
    m_inputEnded = false;
    m_announced = false;
}

qint64 AudioOut::positionUs() const
{
    if (!m_active)
        return 0;
    if (m_mode == Mode::Device) {
        const SinkFeeder::Progress progress = m_feeder->progress();
        return progress.utterance == m_utterance ? qMin(progress.processedUs, queuedUs()) : 0;
    }
    if (m_total == 0)
        return 0;
    return qMin(m_silentBaseUs + (m_clock.nowUs() - m_startUs), queuedUs());
}

qint64 AudioOut::queuedUs() const
{
    return pcmDurationUs(m_total);
}

void AudioOut::announce()
{
    if (m_announced)
        return;
    m_announced = true;
    emit firstAudioQueued();
}

void AudioOut::fallBackToSilence(quint64 utterance, qint64 heardUs)
{
    if (m_mode == Mode::Silent)
        return;
    qWarning("Audio: il dispositivo audio non funziona; il mago continua senza suono.");
    // Lost servers do not come back in this run: stay silent from here on.
    m_mode = Mode::Silent;
    if (!m_active || utterance != m_utterance)
        return;
    m_silentBaseUs = heardUs;
    m_startUs = m_clock.nowUs();
    if (m_total > 0)
        announce();
    if (m_inputEnded)
        scheduleSilentEnd();
}

void AudioOut::scheduleSilentEnd()
{
    const qint64 leftUs = queuedUs() - positionUs();
    m_silentEnd.start(int(qMax<qint64>(0, (leftUs + 999) / 1000)));
}

void AudioOut::checkSilentEnd()
{
    if (m_active && m_inputEnded && positionUs() >= queuedUs()) {
        stop();
        emit drained();
    }
}

} // namespace calvenza
