#include "wizard/voice.h"

#include <QThread>
#include <QtDebug>
#include <cmath>
#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>
#include <functional>
#include <mutex>

namespace calvenza {

namespace {

// espeak-ng keeps one global state per process: every call goes through this lock, and the
// engine is set up once.
std::mutex engineMutex;
bool engineTried = false;
QString engineError;

// Where one espeak_Synth call delivers its audio; passed as the call's user data.
struct SynthSink
{
    std::function<bool(const short *, int)> audio; // false aborts
    std::function<void(const SpeechWord &)> word;
};

int synthCallback(short *wav, int samples, espeak_EVENT *events)
{
    auto *sink = events ? static_cast<SynthSink *>(events->user_data) : nullptr;
    if (!sink)
        return 0;
    for (espeak_EVENT *e = events; e->type != espeakEVENT_LIST_TERMINATED; ++e) {
        if (e->type == espeakEVENT_WORD && sink->word)
            sink->word({e->audio_position, qMax(0, e->text_position - 1), e->length});
    }
    if (wav && samples > 0 && !sink->audio(wav, samples))
        return 1;
    return 0;
}

// Caller holds engineMutex.
bool ensureEngine(const VoiceSettings &settings, QString *error)
{
    if (!engineTried) {
        engineTried = true;
        const QByteArray path = settings.dataPath.toLocal8Bit();
        espeak_ng_InitializePath(path.isEmpty() ? nullptr : path.constData());
        espeak_ng_ERROR_CONTEXT context = nullptr;
        espeak_ng_STATUS status = espeak_ng_Initialize(&context);
        if (status == ENS_OK)
            status = espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 20, nullptr);
        if (status != ENS_OK) {
            char message[512] = {};
            espeak_ng_GetStatusCodeMessage(status, message, sizeof message);
            espeak_ng_ClearErrorContext(&context);
            engineError = QStringLiteral("Voce del mago non disponibile (dati di espeak-ng: %1)")
                              .arg(QString::fromLocal8Bit(message));
        } else if (espeak_SetVoiceByName(settings.language.toLatin1().constData()) != EE_OK) {
            engineError = QStringLiteral("Voce italiana di espeak-ng non trovata (%1)")
                              .arg(settings.language);
        } else {
            espeak_SetSynthCallback(synthCallback);
            espeak_SetParameter(espeakRATE, settings.rate, 0);
            espeak_SetParameter(espeakPITCH, settings.pitch, 0);
            espeak_SetParameter(espeakRANGE, settings.range, 0);
            // Digits and symbols are read, punctuation only paces.
            espeak_SetParameter(espeakPUNCTUATION, espeakPUNCT_NONE, 0);
        }
    }
    if (error)
        *error = engineError;
    return engineError.isEmpty();
}

// Caller holds engineMutex and the engine is up. Plain text only: no espeakSSML, no phoneme
// input, so a name that looks like markup is just read out.
bool synthLocked(const QString &text, SynthSink &sink)
{
    const QByteArray utf8 = text.toUtf8();
    const espeak_ERROR r = espeak_Synth(utf8.constData(), size_t(utf8.size()) + 1, 0, POS_CHARACTER,
        0, espeakCHARS_UTF8, nullptr, &sink);
    return r == EE_OK;
}

} // namespace

QList<float> pcmLevels(const QByteArray &pcm, int frameSamples)
{
    QList<float> levels;
    const auto *samples = reinterpret_cast<const qint16 *>(pcm.constData());
    const qsizetype count = pcm.size() / 2;
    if (frameSamples <= 0)
        return levels;
    levels.reserve(count / frameSamples + 1);
    for (qsizetype start = 0; start < count; start += frameSamples) {
        const qsizetype end = qMin(count, start + frameSamples);
        double sum = 0;
        for (qsizetype i = start; i < end; ++i)
            sum += double(samples[i]) * samples[i];
        levels << float(std::sqrt(sum / double(end - start)) / 32768.0);
    }
    return levels;
}

VoiceWorker::VoiceWorker(VoiceSettings settings)
    : m_settings(std::move(settings))
{
}

void VoiceWorker::start()
{
    QString error;
    {
        std::lock_guard lock(engineMutex);
        m_ok = ensureEngine(m_settings, &error);
    }
    emit ready(m_ok, error);
}

void VoiceWorker::speak(quint64 id, const QString &text)
{
    if (!m_ok || id < firstLiveId.load()) {
        emit finished(id, false);
        return;
    }
    SynthSink sink;
    sink.audio = [this, id](const short *wav, int samples) {
        if (id < firstLiveId.load())
            return false;
        emit chunk(id, QByteArray(reinterpret_cast<const char *>(wav), qsizetype(samples) * 2));
        return true;
    };
    sink.word = [this, id](const SpeechWord &w) { emit word(id, w); };
    bool ok;
    {
        std::lock_guard lock(engineMutex);
        ok = synthLocked(text, sink);
    }
    emit finished(id, ok && id >= firstLiveId.load());
}

Voice::Voice(VoiceSettings settings, QObject *parent)
    : QObject(parent)
    , m_thread(std::make_unique<QThread>())
    , m_worker(std::make_unique<VoiceWorker>(std::move(settings)))
{
    qRegisterMetaType<SpeechWord>();
    m_thread->setObjectName(QStringLiteral("voce"));
    m_worker->moveToThread(m_thread.get());
    connect(m_worker.get(), &VoiceWorker::ready, this, [this](bool ok, const QString &error) {
        m_state = ok ? State::Ready : State::Unavailable;
        if (!ok)
            qWarning().noquote() << error << "- il mago parlerà solo nel fumetto.";
    });
    // Synthesis runs far ahead of playback, so a cancelled utterance may already be on its way
    // here: what arrives for it is dropped on this side too.
    connect(m_worker.get(), &VoiceWorker::chunk, this, [this](quint64 id, const QByteArray &pcm) {
        if (isLive(id))
            emit chunk(id, pcm);
    });
    connect(m_worker.get(), &VoiceWorker::word, this, [this](quint64 id, const SpeechWord &w) {
        if (isLive(id))
            emit word(id, w);
    });
    connect(m_worker.get(), &VoiceWorker::finished, this,
        [this](quint64 id, bool ok) { emit finished(id, ok && isLive(id)); });
    m_thread->start();
    // Loading the voice takes a few ms: never on the GUI thread.
    QMetaObject::invokeMethod(m_worker.get(), &VoiceWorker::start, Qt::QueuedConnection);
}

Voice::~Voice()
{
    cancelAll();
    m_thread->quit();
    m_thread->wait();
    // The worker is destroyed here, on the GUI thread, once its thread has ended.
}

quint64 Voice::speak(const QString &text)
{
    const quint64 id = m_nextId++;
    QMetaObject::invokeMethod(
        m_worker.get(), [worker = m_worker.get(), id, text] { worker->speak(id, text); },
        Qt::QueuedConnection);
    return id;
}

bool Voice::isLive(quint64 id) const
{
    return id >= m_worker->firstLiveId.load();
}

void Voice::cancelAll()
{
    m_worker->firstLiveId.store(m_nextId);
}

} // namespace calvenza
