#include "wizard/sinkfeeder.h"

#include "wizard/voice.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QTimer>
#include <QtDebug>

namespace calvenza {

namespace {
// 100 ms. The first sound is not held back by it: a whole utterance is at hand at once and
// fills it straight away. 40 ms underran on a loaded machine even when fed from its own thread.
constexpr int sinkBufferBytes = 4410;
constexpr int feedIntervalMs = 10;
// A device that stops consuming is given this long past the end before we stop waiting for it.
constexpr qint64 stallGraceUs = 1'500'000;
} // namespace

SinkFeeder::SinkFeeder(QAudioDevice device)
    : m_device(std::move(device))
{
}

SinkFeeder::~SinkFeeder() = default;

SinkFeeder::Progress SinkFeeder::progress() const
{
    std::lock_guard lock(m_progressMutex);
    return m_progress;
}

void SinkFeeder::publish(qint64 processedUs)
{
    std::lock_guard lock(m_progressMutex);
    m_progress = {m_utterance, processedUs};
}

void SinkFeeder::open()
{
    QAudioFormat format;
    format.setSampleRate(speechSampleRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    m_sink = std::make_unique<QAudioSink>(m_device, format);
    m_sink->setBufferSize(sinkBufferBytes);
    connect(m_sink.get(), &QAudioSink::stateChanged, this, [this](QAudio::State state) {
        if (m_io && state == QAudio::StoppedState && m_sink->error() != QAudio::NoError)
            fail();
    });
    m_feedTimer = new QTimer(this);
    m_feedTimer->setTimerType(Qt::PreciseTimer);
    m_feedTimer->setInterval(feedIntervalMs);
    connect(m_feedTimer, &QTimer::timeout, this, [this] {
        // Kept as we go: a sink that has just failed reports 0.
        m_lastDeviceUs = qMax(m_lastDeviceUs, m_sink->processedUSecs());
        publish(qMin(m_lastDeviceUs, m_totalUs));
        feed();
        check();
    });
}

void SinkFeeder::begin(quint64 utterance)
{
    stop();
    m_utterance = utterance;
    publish(0);
    if (m_failed)
        return; // lost servers do not come back in this run
    m_io = m_sink->start();
    if (!m_io) {
        fail();
        return;
    }
    m_started.start();
    m_feedTimer->start();
}

void SinkFeeder::append(quint64 utterance, const QByteArray &pcm)
{
    if (utterance != m_utterance || !m_io)
        return;
    m_totalUs += pcmDurationUs(pcm.size());
    m_pending += pcm;
    feed();
}

void SinkFeeder::endOfInput(quint64 utterance)
{
    if (utterance != m_utterance || !m_io)
        return;
    m_inputEnded = true;
    check();
}

void SinkFeeder::stop()
{
    if (m_feedTimer)
        m_feedTimer->stop();
    if (m_io)
        m_sink->stop();
    m_io = nullptr;
    m_pending.clear();
    m_totalUs = 0;
    m_lastDeviceUs = 0;
    m_inputEnded = false;
    m_announced = false;
}

void SinkFeeder::close()
{
    stop();
    delete m_feedTimer;
    m_feedTimer = nullptr;
    m_sink.reset();
}

void SinkFeeder::feed()
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
            emit firstAudioWritten(m_utterance);
        }
    }
}

void SinkFeeder::check()
{
    if (!m_io || !m_inputEnded)
        return;
    const bool played = m_pending.isEmpty()
        && (m_sink->processedUSecs() >= m_totalUs || m_sink->state() == QAudio::IdleState);
    // A device that stops taking data or reporting progress must not hold the queue: past the
    // end by a margin, the utterance counts as heard. The device itself is kept; a real failure
    // shows as an error state and is handled there.
    if (played || m_started.nsecsElapsed() / 1000 > m_totalUs + stallGraceUs) {
        const quint64 utterance = m_utterance;
        stop();
        publish(0);
        emit drained(utterance);
    }
}

void SinkFeeder::fail()
{
    const qint64 heard = m_io ? qMin(qMax(m_lastDeviceUs, m_sink->processedUSecs()), m_totalUs) : 0;
    m_failed = true;
    m_sink->disconnect(this);
    stop();
    emit failed(m_utterance, heard);
}

} // namespace calvenza
