#pragma once

#include "narrator/narrator.h"
#include "wizard/audioout.h"
#include "wizard/voice.h"
#include "wizard/wizardclock.h"
#include "wizard/x11compositor.h"

#include <QObject>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace calvenza {

class WizardWindow;

struct WizardOptions
{
    VoiceSettings voice;
    // How the voice is played; by default a sound device unless CALVENZA_SILENT_AUDIO=1.
    AudioOut::Mode audio = AudioOut::modeFromEnvironment();
    // What his timers and motions run on.
    std::shared_ptr<const WizardClock> clock = std::make_shared<WizardClock>();
    // Asked when his window is built: whether see-through windows blend with what is under them.
    std::function<bool()> translucencyWorks = &calvenza::translucencyWorks;
};

// Our wizard, Merlin: a window of his own, a voice, and one queue of requests carried out in the
// order they were made while the program goes on.
class WizardCharacter : public QObject
{
    Q_OBJECT
public:
    explicit WizardCharacter(const WizardOptions &options = {}, QObject *parent = nullptr);
    ~WizardCharacter() override;

    void Show();
    void MoveTo(int x, int y);
    void Play(const QString &animation);
    void Height(int pixels);
    void Speak(const QString &text);

    // Drops the queue and silences him at once; he stays where he is.
    void stopAll();

    [[nodiscard]] WizardWindow *window() const { return m_window.get(); }
    [[nodiscard]] const Voice &voice() const { return *m_voice; }
    [[nodiscard]] const AudioOut &audio() const { return *m_audio; }
    [[nodiscard]] bool isBusy() const { return m_current.has_value() || !m_queue.empty(); }

signals:
    // Each request as NarratorRequest::toString() gives it, when it starts and when it is done.
    void requestStarted(const QString &request);
    void requestFinished(const QString &request);
    // Emitted when the last queued request is done.
    void idle();
    // The first sound of an utterance has been handed to the audio output.
    void speechAudioStarted();

private:
    void enqueue(const NarratorRequest &request);
    void scheduleNext();
    void runNext();
    void finishCurrent();
    [[nodiscard]] std::function<void()> finisher();

    void startSpeech(const QString &text, bool followsSpeech);
    void speakWithoutVoice();
    void speechTick();
    void endSpeech();
    [[nodiscard]] QString heardText(qint64 ms) const;

    std::shared_ptr<const WizardClock> m_clock;
    std::unique_ptr<WizardWindow> m_window;
    std::unique_ptr<AudioOut> m_audio;
    std::unique_ptr<Voice> m_voice;

    std::deque<NarratorRequest> m_queue;
    std::optional<NarratorRequest> m_current;
    NarratorRequest::Kind m_lastKind = NarratorRequest::Kind::Show;
    bool m_scheduled = false;
    quint64 m_generation = 0;

    // The utterance under way.
    quint64 m_speechId = 0;
    QString m_text;
    QString m_balloonBefore;
    QList<SpeechWord> m_words;
    QList<float> m_levels;
    bool m_voiceless = false;
    qint64 m_voicelessStartMs = 0;
    qint64 m_voicelessMs = 0;
    ClockTimer m_speechTick;
};

// The narrator the program talks to: our one wizard, built ahead while the pupil types a name.
class WizardNarrator : public Narrator
{
    Q_OBJECT
public:
    explicit WizardNarrator(WizardOptions options = {}, QObject *parent = nullptr);
    ~WizardNarrator() override;

    // Builds the wizard (window, voice, sound connection) before summon(), which then finds
    // him ready.
    void prepare();
    bool summon() override;
    QString errorString() const override { return {}; }
    quint64 perform(const NarratorScript &script, Pending pending = Pending::Keep) override;
    void stopAll() override;

    // The wizard once summoned, with his signals and window, for tests and tools.
    [[nodiscard]] WizardCharacter *wizard() const { return m_summoned ? m_wizard.get() : nullptr; }

private:
    WizardOptions m_options;
    std::unique_ptr<WizardCharacter> m_wizard;
    bool m_summoned = false;
    quint64 m_lastScript = 0;
    quint64 m_lastDone = 0;
};

} // namespace calvenza
