#pragma once

#include "narrator/narrator.h"
#include "wizard/audioout.h"
#include "wizard/requestqueue.h"
#include "wizard/voice.h"
#include "wizard/wizardclock.h"
#include "wizard/x11compositor.h"

#include <QObject>
#include <functional>
#include <memory>

namespace calvenza {

class Speech;
class WizardWindow;

struct WizardOptions
{
    VoiceSettings voice;
    // How the voice is played; by default a sound device unless CALVENZA_SILENT_AUDIO=1.
    AudioOut::Mode audio = AudioOut::modeFromEnvironment();
    // What his timers and motions run on.
    std::shared_ptr<const WizardClock> clock = std::make_shared<WizardClock>();
    // Asked when his window is built: whether a see-through window blends with what is under it.
    std::function<bool()> translucencyWorks = &calvenza::translucencyWorks;
};

// Our wizard, Merlin: a window of his own, a voice, and one queue of requests carried out in the
// order they were made while the program goes on.
class Wizard : public QObject
{
    Q_OBJECT
public:
    explicit Wizard(const WizardOptions &options = {}, QObject *parent = nullptr);
    ~Wizard() override;

    // Queues the script and returns its id; see Narrator::perform().
    quint64 perform(const NarratorScript &script, Narrator::Pending pending);
    // Drops the queue and silences him at once; he stays where he is.
    void stopAll();

signals:
    void scriptDone(quint64 id);
    // The first sound of an utterance has been handed to the audio output.
    void speechAudioStarted();

private:
    void scheduleNext();
    void runNext();
    void finishCurrent();
    [[nodiscard]] std::function<void()> finisher();

    std::shared_ptr<const WizardClock> m_clock;
    std::unique_ptr<WizardWindow> m_window;
    std::unique_ptr<Speech> m_speech;
    RequestQueue m_queue;
    bool m_scheduled = false;
    // Bumped whenever the request under way is abandoned: its motion's late callback is ignored.
    quint64 m_generation = 0;
};

} // namespace calvenza
