#include "wizard/speech.h"

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

Speech::Speech(const VoiceSettings &voice, AudioOut::Mode audio, const WizardClock &clock,
    WizardWindow &window, QObject *parent)
    : QObject(parent)
    , m_clock(clock)
    , m_window(window)
    , m_audio(std::make_unique<AudioOut>(audio, clock))
    , m_voice(std::make_unique<Voice>(voice))
    , m_tick(clock)
{
    m_tick.setInterval(speechTickMs);
    connect(&m_tick, &ClockTimer::timeout, this, &Speech::tick);

    const auto isCurrent = [this](quint64 id) { return m_current && id == m_current->voiceId; };
    connect(
        m_voice.get(), &Voice::chunk, this, [this, isCurrent](quint64 id, const QByteArray &pcm) {
            if (!isCurrent(id))
                return;
            m_current->levels += pcmLevels(pcm, levelFrameSamples);
            m_audio->append(pcm);
        });
    connect(m_voice.get(), &Voice::word, this, [this, isCurrent](quint64 id, const SpeechWord &w) {
        if (isCurrent(id))
            m_current->words << w;
    });
    connect(m_voice.get(), &Voice::finished, this, [this, isCurrent](quint64 id, bool ok) {
        if (!isCurrent(id))
            return;
        if (!ok && m_audio->queuedUs() == 0) {
            // No voice after all: the words still go up in the balloon.
            m_audio->stop();
            speakWithoutVoice();
            return;
        }
        m_audio->endOfInput();
    });
    connect(m_audio.get(), &AudioOut::firstAudioQueued, this, &Speech::audioStarted);
    connect(m_audio.get(), &AudioOut::drained, this, &Speech::finish);
}

Speech::~Speech() = default;

void Speech::say(const QString &text, bool interruptible, std::function<void()> done)
{
    Utterance utterance;
    utterance.text = text.simplified();
    utterance.interruptible = interruptible;
    utterance.done = std::move(done);
    if (utterance.text.isEmpty()) {
        utterance.done();
        return;
    }
    // The pieces of one dictation ("8", "per", "sette"), said one right after another, build up
    // in one balloon; anything else he says starts a fresh one.
    if (m_last && m_last->mayBeJoinedAt(m_clock.nowMs()))
        utterance.balloonBefore = m_last->text + u' ';
    m_last.reset();
    m_current = std::move(utterance);
    m_window.setSpeaking(true);
    if (m_voice->state() == Voice::State::Unavailable) {
        speakWithoutVoice();
        return;
    }
    m_audio->begin();
    m_current->voiceId = m_voice->speak(m_current->text);
    m_tick.start();
}

void Speech::stop(Balloon balloon)
{
    m_tick.stop();
    m_current.reset();
    m_last.reset();
    m_voice->cancelAll();
    m_audio->stop();
    m_window.setSpeaking(false);
    if (balloon == Balloon::Clear)
        m_window.balloon().clear();
    else
        m_window.balloon().letGo();
}

void Speech::speakWithoutVoice()
{
    Utterance &u = *m_current;
    u.voiceId = 0;
    u.voiceless = true;
    const auto words = u.text.split(u' ', Qt::SkipEmptyParts);
    u.voicelessMs = qMax<qint64>(voicelessMinimumMs, qint64(words.size()) * voicelessMsPerWord);
    // Evenly spread word marks, so the balloon fills as if he were speaking.
    u.words.clear();
    int from = 0;
    for (int i = 0; i < words.size(); ++i) {
        const int start = int(u.text.indexOf(words[i], from));
        u.words << SpeechWord {int(u.voicelessMs * i / words.size()), start, int(words[i].size())};
        from = start + int(words[i].size());
    }
    u.voicelessStartMs = m_clock.nowMs();
    m_tick.start();
    tick();
}

QString Speech::Utterance::heard(qint64 ms) const
{
    int end = 0;
    for (const SpeechWord &w : words) {
        if (w.audioMs > ms)
            break;
        end = qMax(end, w.textStart + w.textLength);
    }
    // Punctuation stuck to the word goes up with it.
    while (end < text.size() && !text.at(end).isSpace())
        ++end;
    return text.left(end);
}

bool Speech::SaidBalloon::mayBeJoinedAt(qint64 nowMs) const
{
    return nowMs - endedMs < balloonLingerMs;
}

void Speech::tick()
{
    if (!m_current)
        return;
    const Utterance &u = *m_current;
    qint64 ms;
    float level = 0;
    if (u.voiceless) {
        ms = m_clock.nowMs() - u.voicelessStartMs;
        // Without sound the mouth simply opens and closes on each word.
        level = (ms / 160) % 2 ? 0.1f : 0.03f;
        if (ms >= u.voicelessMs) {
            finish();
            return;
        }
    } else {
        ms = m_audio->positionUs() / 1000;
        const qsizetype frame = ms * 50 / 1000;
        if (frame < u.levels.size())
            level = u.levels.at(frame);
    }
    m_window.setVoiceLevel(level);
    const QString heard = u.heard(ms);
    if (!heard.isEmpty())
        m_window.balloon().setText(u.balloonBefore + heard);
}

void Speech::finish()
{
    if (!m_current)
        return;
    m_tick.stop();
    Utterance done = std::move(*m_current);
    m_current.reset();
    m_window.setSpeaking(false);
    const QString balloon = done.balloonBefore + done.text;
    m_window.balloon().setText(balloon);
    m_window.balloon().letGo(); // lingers, then goes unless he goes on talking
    m_last = SaidBalloon {balloon, m_clock.nowMs()};
    done.done();
}

} // namespace calvenza
