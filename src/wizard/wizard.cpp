#include "wizard/wizard.h"

#include "wizard/speech.h"
#include "wizard/wizardwindow.h"

namespace calvenza {

Wizard::Wizard(const WizardOptions &options, QObject *parent)
    : QObject(parent)
    , m_clock(options.clock)
    , m_window(std::make_unique<WizardWindow>(*m_clock, options.translucencyWorks()))
    , m_speech(std::make_unique<Speech>(options.voice, options.audio, *m_clock, *m_window))
{
    connect(&m_queue, &RequestQueue::scriptDone, this, &Wizard::scriptDone);
    connect(m_speech.get(), &Speech::audioStarted, this, &Wizard::speechAudioStarted);
}

Wizard::~Wizard()
{
    // Silent and still, without telling anyone: nobody is listening any more.
    m_queue.disconnect(this);
    stopAll();
}

quint64 Wizard::perform(const NarratorScript &script, Narrator::Pending pending)
{
    if (pending == Narrator::Pending::Drop) {
        // The pupil has moved on: what has not begun goes, and an introduction stops mid-word.
        // Other speech under way finishes its words; a motion under way ends as it would.
        const bool cutShort = m_speech->isInterruptible();
        if (cutShort) {
            ++m_generation;
            m_speech->stop(Speech::Balloon::Clear);
        }
        m_queue.drop(
            cutShort ? RequestQueue::Dropping::WaitingAndCurrent : RequestQueue::Dropping::Waiting);
    }
    const quint64 id = m_queue.add(script);
    scheduleNext();
    return id;
}

void Wizard::stopAll()
{
    ++m_generation;
    m_speech->stop(Speech::Balloon::LetGo);
    m_window->stopAll();
    m_queue.drop(RequestQueue::Dropping::WaitingAndCurrent);
}

void Wizard::scheduleNext()
{
    // Always from the event loop: callers return at once, and a finishing motion is never
    // re-entered by the next one.
    if (m_scheduled || m_queue.current() || !m_queue.hasWaiting())
        return;
    m_scheduled = true;
    QMetaObject::invokeMethod(this, &Wizard::runNext, Qt::QueuedConnection);
}

std::function<void()> Wizard::finisher()
{
    return [this, generation = m_generation] {
        if (generation == m_generation)
            finishCurrent();
    };
}

void Wizard::runNext()
{
    m_scheduled = false;
    if (m_queue.current() || !m_queue.hasWaiting())
        return;
    const NarratorRequest &r = m_queue.begin().request;
    if (r.kind != NarratorRequest::Kind::Speak)
        m_speech->startFreshBalloon();
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
        m_speech->say(r.text, r.interruptible, finisher());
        break;
    }
}

void Wizard::finishCurrent()
{
    m_queue.finishCurrent();
    scheduleNext();
}

} // namespace calvenza
