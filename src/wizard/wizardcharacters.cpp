#include "wizard/wizardcharacters.h"

#include "wizard/wizardwindow.h"

namespace calvenza {

namespace {
// Frames of loudness the mouth follows: 20 ms of audio each.
constexpr int levelFrameSamples = speechSampleRate / 50;
constexpr int speechTickMs = 40;
// Without a voice, words still come at a child's reading pace.
constexpr int voicelessMsPerWord = 420;
constexpr int voicelessMinimumMs = 700;
} // namespace

WizardCharacter::WizardCharacter(const WizardOptions &options, QObject *parent)
    : QObject(parent)
    , m_clock(options.clock)
    , m_window(std::make_unique<WizardWindow>(*m_clock, options.translucencyWorks()))
    , m_audio(std::make_unique<AudioOut>(options.audio, *m_clock))
    , m_voice(std::make_unique<Voice>(options.voice))
    , m_speechTick(*m_clock)
{
    m_speechTick.setInterval(speechTickMs);
    connect(&m_speechTick, &ClockTimer::timeout, this, &WizardCharacter::speechTick);

    connect(m_voice.get(), &Voice::chunk, this, [this](quint64 id, const QByteArray &pcm) {
        if (id != m_speechId)
            return;
        m_levels += pcmLevels(pcm, levelFrameSamples);
        m_audio->append(pcm);
    });
    connect(m_voice.get(), &Voice::word, this, [this](quint64 id, const SpeechWord &w) {
        if (id == m_speechId)
            m_words << w;
    });
    connect(m_voice.get(), &Voice::finished, this, [this](quint64 id, bool ok) {
        if (id != m_speechId)
            return;
        if (!ok && m_audio->queuedUs() == 0) {
            // No voice after all: the words still go up in the balloon.
            m_audio->stop();
            speakWithoutVoice();
            return;
        }
        m_audio->endOfInput();
    });
    connect(m_audio.get(), &AudioOut::firstAudioQueued, this, &WizardCharacter::speechAudioStarted);
    connect(m_audio.get(), &AudioOut::drained, this, &WizardCharacter::endSpeech);
}

WizardCharacter::~WizardCharacter()
{
    stopAll();
}

void WizardCharacter::Show()
{
    enqueue(NarratorRequest::show());
}

void WizardCharacter::MoveTo(int x, int y)
{
    enqueue(NarratorRequest::moveTo(x, y));
}

void WizardCharacter::Play(const QString &animation)
{
    enqueue(NarratorRequest::play(animation));
}

void WizardCharacter::Height(int pixels)
{
    enqueue(NarratorRequest::height(pixels));
}

void WizardCharacter::Speak(const QString &text)
{
    enqueue(NarratorRequest::speak(text));
}

void WizardCharacter::stopAll()
{
    ++m_generation;
    m_queue.clear();
    m_current.reset();
    m_lastKind = NarratorRequest::Kind::Show;
    m_speechId = 0;
    m_voiceless = false;
    m_speechTick.stop();
    m_voice->cancelAll();
    m_audio->stop();
    m_window->stopAll();
}

void WizardCharacter::enqueue(const NarratorRequest &request)
{
    m_queue.push_back(request);
    scheduleNext();
}

void WizardCharacter::scheduleNext()
{
    // Always from the event loop: callers return at once, and a finishing motion is never
    // re-entered by the next one.
    if (m_scheduled || m_current)
        return;
    m_scheduled = true;
    QMetaObject::invokeMethod(this, &WizardCharacter::runNext, Qt::QueuedConnection);
}

std::function<void()> WizardCharacter::finisher()
{
    return [this, generation = m_generation] {
        if (generation == m_generation)
            finishCurrent();
    };
}

void WizardCharacter::runNext()
{
    m_scheduled = false;
    if (m_current || m_queue.empty())
        return;
    m_current = m_queue.front();
    m_queue.pop_front();
    const NarratorRequest &r = *m_current;
    const bool followsSpeech = std::exchange(m_lastKind, r.kind) == NarratorRequest::Kind::Speak;
    emit requestStarted(r.toString());
    switch (r.kind) {
    case NarratorRequest::Kind::Show:
        m_window->appear(finisher());
        break;
    case NarratorRequest::Kind::MoveTo:
        m_window->glideTo(QPoint(r.x, r.y), finisher());
        break;
    case NarratorRequest::Kind::Play:
        if (const auto animation = animationByName(r.text))
            m_window->play(*animation, finisher());
        else
            finishCurrent(); // a name he does not know is skipped
        break;
    case NarratorRequest::Kind::Height:
        m_window->setWizardHeight(r.y);
        finishCurrent();
        break;
    case NarratorRequest::Kind::Speak:
        startSpeech(r.text, followsSpeech);
        break;
    }
}

void WizardCharacter::finishCurrent()
{
    if (!m_current)
        return;
    const QString done = m_current->toString();
    m_current.reset();
    emit requestFinished(done);
    if (m_queue.empty() && !m_current)
        emit idle();
    else
        scheduleNext();
}

void WizardCharacter::startSpeech(const QString &text, bool followsSpeech)
{
    m_text = text.simplified();
    m_words.clear();
    m_levels.clear();
    m_voiceless = false;
    if (m_text.isEmpty()) {
        finishCurrent();
        return;
    }
    // The pieces of one dictation ("8", "per", "sette"), said one right after another, build up
    // in one balloon; anything else he says starts a fresh one.
    m_balloonBefore = followsSpeech && m_window->balloonLingering() ? m_window->balloonText() + u' '
                                                                    : QString();
    m_window->setSpeaking(true);
    if (m_voice->state() == Voice::State::Unavailable) {
        speakWithoutVoice();
        return;
    }
    m_audio->begin();
    m_speechId = m_voice->speak(m_text);
    m_speechTick.start();
}

void WizardCharacter::speakWithoutVoice()
{
    m_speechId = 0;
    m_voiceless = true;
    const auto words = m_text.split(u' ', Qt::SkipEmptyParts);
    m_voicelessMs = qMax<qint64>(voicelessMinimumMs, qint64(words.size()) * voicelessMsPerWord);
    // Evenly spread word marks, so the balloon fills as if he were speaking.
    m_words.clear();
    int from = 0;
    for (int i = 0; i < words.size(); ++i) {
        const int start = int(m_text.indexOf(words[i], from));
        m_words << SpeechWord {int(m_voicelessMs * i / words.size()), start, int(words[i].size())};
        from = start + int(words[i].size());
    }
    m_voicelessStartMs = m_clock->nowMs();
    m_speechTick.start();
    speechTick();
}

QString WizardCharacter::heardText(qint64 ms) const
{
    int end = 0;
    for (const SpeechWord &w : m_words) {
        if (w.audioMs > ms)
            break;
        end = qMax(end, w.textStart + w.textLength);
    }
    // Punctuation stuck to the word goes up with it.
    while (end < m_text.size() && !m_text.at(end).isSpace())
        ++end;
    return m_text.left(end);
}

void WizardCharacter::speechTick()
{
    qint64 ms;
    float level = 0;
    if (m_voiceless) {
        ms = m_clock->nowMs() - m_voicelessStartMs;
        // Without sound the mouth simply opens and closes on each word.
        level = (ms / 160) % 2 ? 0.1f : 0.03f;
        if (ms >= m_voicelessMs) {
            endSpeech();
            return;
        }
    } else {
        ms = m_audio->positionUs() / 1000;
        const qsizetype frame = ms * 50 / 1000;
        if (frame < m_levels.size())
            level = m_levels.at(frame);
    }
    m_window->setVoiceLevel(level);
    const QString heard = heardText(ms);
    if (!heard.isEmpty())
        m_window->setBalloonText(m_balloonBefore + heard);
}

void WizardCharacter::endSpeech()
{
    if (!m_current || m_current->kind != NarratorRequest::Kind::Speak)
        return;
    m_speechTick.stop();
    m_speechId = 0;
    m_voiceless = false;
    m_window->setSpeaking(false);
    m_window->setBalloonText(m_balloonBefore + m_text);
    m_window->setBalloonText(QString()); // lingers, then goes unless he goes on talking
    finishCurrent();
}

WizardNarrator::WizardNarrator(WizardOptions options, QObject *parent)
    : Narrator(parent)
    , m_options(std::move(options))
{
}

WizardNarrator::~WizardNarrator()
{
    WizardNarrator::stopAll();
}

void WizardNarrator::prepare()
{
    if (m_wizard)
        return;
    m_wizard = std::make_unique<WizardCharacter>(m_options);
    connect(m_wizard.get(), &WizardCharacter::idle, this, [this] {
        // Every script handed in so far is done.
        while (m_lastDone < m_lastScript)
            emit scriptDone(++m_lastDone);
    });
}

bool WizardNarrator::summon()
{
    prepare();
    m_summoned = true;
    return true;
}

quint64 WizardNarrator::perform(const NarratorScript &script, Pending)
{
    if (!m_summoned)
        return 0;
    for (const NarratorRequest &r : script) {
        switch (r.kind) {
        case NarratorRequest::Kind::Show:
            m_wizard->Show();
            break;
        case NarratorRequest::Kind::MoveTo:
            m_wizard->MoveTo(r.x, r.y);
            break;
        case NarratorRequest::Kind::Play:
            m_wizard->Play(r.text);
            break;
        case NarratorRequest::Kind::Height:
            m_wizard->Height(r.y);
            break;
        case NarratorRequest::Kind::Speak:
            m_wizard->Speak(r.text);
            break;
        }
    }
    return ++m_lastScript;
}

void WizardNarrator::stopAll()
{
    if (m_wizard)
        m_wizard->stopAll();
}

} // namespace calvenza
