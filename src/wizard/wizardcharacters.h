#pragma once

#include "narrator/narrator.h"
#include "wizard/audioout.h"
#include "wizard/voice.h"
#include "wizard/wizardclock.h"
#include "wizard/x11compositor.h"

#include <QHash>
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
class WizardCharacter : public QObject, public Character
{
    Q_OBJECT
public:
    explicit WizardCharacter(const WizardOptions &options = {}, QObject *parent = nullptr);
    ~WizardCharacter() override;

    void Show() override;
    void MoveTo(int x, int y) override;
    void Play(const QString &animation) override;
    void Height(int pixels) override;
    void Speak(const QString &text) override;

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

// The narrator's collection: the one character it knows is Merlin, our wizard.
class WizardCharacters : public Characters
{
public:
    explicit WizardCharacters(WizardOptions options = {});
    ~WizardCharacters() override;

    // Ids match whatever their case, here and in prepare(), Item() and wizard().
    bool Load(const QString &id, const QString &loadKey) override;
    // Builds the wizard (window, voice, sound connection) ahead of Load, while the program waits
    // for the pupil anyway; Load then finds him ready. An unknown id is ignored here.
    void prepare(const QString &id);
    Character *Item(const QString &id) override;
    QString errorString() const override { return m_error; }
    void stopAll() override;

    // The same character as Item(), with its signals and window, for tests and tools.
    [[nodiscard]] WizardCharacter *wizard(const QString &id) const;

private:
    WizardOptions m_options;
    QHash<QString, std::shared_ptr<WizardCharacter>> m_loaded; // by case-folded id
    std::shared_ptr<WizardCharacter> m_prepared; // built ahead, not yet loaded
    QString m_error;
};

} // namespace calvenza
