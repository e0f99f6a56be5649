#pragma once

#include "wizard/audioout.h"
#include "wizard/voice.h"
#include "wizard/wizardclock.h"

#include <QObject>
#include <functional>
#include <memory>
#include <optional>

namespace calvenza {

class WizardWindow;

// What he says, from text to sound: the voice synthesises it, the audio output plays it, and
// as it is heard the words go up in his balloon and his mouth follows its loudness. Without a
// voice the words still come, at a child's reading pace.
class Speech : public QObject
{
    Q_OBJECT
public:
    Speech(const VoiceSettings &voice, AudioOut::Mode audio, const WizardClock &clock,
        WizardWindow &window, QObject *parent = nullptr);
    ~Speech() override;

    // Says the text; done is called once it has all been heard.
    void say(const QString &text, bool interruptible, std::function<void()> done);
    [[nodiscard]] bool isSpeaking() const { return m_current.has_value(); }
    [[nodiscard]] bool isInterruptible() const { return m_current && m_current->interruptible; }
    // Something other than speech came in between: the next words start a fresh balloon.
    void startFreshBalloon() { m_last.reset(); }
    // Silences him at once; done is not called. The balloon goes at once, or lingers.
    enum class Balloon { Clear, LetGo };
    void stop(Balloon balloon);

signals:
    // The first sound of an utterance has been handed to the audio output.
    void audioStarted();

private:
    // One utterance, from the first word asked to the last heard.
    struct Utterance
    {
        QString text;
        QString balloonBefore; // earlier words of the same balloon
        bool interruptible = false;
        std::function<void()> done;
        quint64 voiceId = 0;
        QList<SpeechWord> words;
        QList<float> levels; // loudness of each 20 ms of its audio
        bool voiceless = false;
        qint64 voicelessStartMs = 0;
        qint64 voicelessMs = 0;

        [[nodiscard]] QString heard(qint64 ms) const;
    };
    // What an utterance left in the balloon: the next words join it while it is still up.
    struct SaidBalloon
    {
        QString text;
        qint64 endedMs = 0;
        [[nodiscard]] bool mayBeJoinedAt(qint64 nowMs) const;
    };

    void speakWithoutVoice();
    void tick();
    void finish();

    const WizardClock &m_clock;
    WizardWindow &m_window;
    std::unique_ptr<AudioOut> m_audio;
    std::unique_ptr<Voice> m_voice;
    ClockTimer m_tick;
    std::optional<Utterance> m_current;
    std::optional<SaidBalloon> m_last;
};

} // namespace calvenza
