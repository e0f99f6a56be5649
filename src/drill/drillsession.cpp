#include "drill/drillsession.h"

#include "drill/randomsource.h"
#include "narrator/numberwords.h"

namespace calvenza {

DrillSession::DrillSession(
    Narrator &narrator, RandomSource &random, std::unique_ptr<SessionMode> mode, QObject *parent)
    : QObject(parent)
    , m_narrator(narrator)
    , m_random(random)
    , m_mode(std::move(mode))
{
    m_mode->setParent(nullptr); // owned here, not by a QObject parent
    connect(&m_narrator, &Narrator::scriptDone, this, &DrillSession::onScriptDone);
    SessionMode *m = m_mode.get();
    connect(m, &SessionMode::timeUp, this, &DrillSession::sayGoodbye);
    connect(m, &SessionMode::clockChanged, this, &DrillSession::clockChanged);
    connect(m, &SessionMode::questionsLeftChanged, this, &DrillSession::questionsLeftChanged);
    connect(m, &SessionMode::recordChanged, this, &DrillSession::recordChanged);
    connect(m, &SessionMode::challengeEnded, this, [this](ChallengeRecord challenge) {
        challenge.pupilClass = m_pupilClass;
        emit challengeEnded(challenge);
    });
    connect(m, &SessionMode::lessonFinished, this, &DrillSession::lessonFinished);
    connect(m, &SessionMode::message, this, &DrillSession::message);
}

DrillSession::~DrillSession() = default;

void DrillSession::start(const QString &typedName, const QString &dataDirectory,
    const Problem &historyProblem, const QString &pupilClass)
{
    if (m_state != State::NotStarted)
        return;
    m_state = State::WaitingForWindow;
    m_counters = {};
    m_pupilName = typedName.isEmpty() ? m_mode->nameWhenNoneTyped() : typedName;
    m_pupilClass = pupilClass;
    emit pupilNameChanged(m_pupilName);

    QList<Problem> problems
        = m_mode->begin(pupilLabel(calvenza::pupilName(m_pupilName), m_pupilClass), dataDirectory);
    if (!historyProblem.isEmpty())
        problems << historyProblem;
    if (!problems.isEmpty()) {
        QStringList sentences, details;
        for (const Problem &p : std::as_const(problems)) {
            sentences << p.sentence;
            if (!p.details.isEmpty())
                details << p.details;
        }
        emit message(sentences.join(u'\n'), details.join(u'\n'));
        m_mode->warningsRead();
    }
    summonWizard();
}

void DrillSession::summonWizard()
{
    m_narrator.summon();
    m_wizard = Wizard::HeldUntilPaint;
    present({NarratorRequest::show(), NarratorRequest::moveTo(narratorX, narratorY),
                NarratorRequest::play(QStringLiteral("Announce")),
                NarratorRequest::height(narratorHeight),
                NarratorRequest::speakInterruptibly(m_mode->introduction())},
        Narrator::Pending::Keep, Role::Introduction);
}

void DrillSession::windowOnScreen()
{
    // Only the first showing begins the drill; the wizard's window or the window shown again
    // must never start it twice.
    if (m_state != State::WaitingForWindow)
        return;
    m_state = State::Beginning;
    QMetaObject::invokeMethod(this, &DrillSession::beginDrill, Qt::QueuedConnection);
}

void DrillSession::beginDrill()
{
    if (m_state != State::Beginning)
        return;
    // The wizard goes on introducing meanwhile; the event loop keeps turning.
    if (!m_mode->isReady()) {
        connect(m_mode.get(), &SessionMode::ready, this, &DrillSession::beginDrill,
            Qt::SingleShotConnection);
        return;
    }
    newExercise();
    m_counters = {};
    m_mode->firstExerciseShown();
}

void DrillSession::finishLesson()
{
    m_state = State::LessonOver;
    present(m_mode->closing(m_counters), Narrator::Pending::Drop);
}

void DrillSession::releaseNarrator()
{
    if (m_wizard != Wizard::HeldUntilPaint)
        return;
    m_wizard = Wizard::Present;
    for (const HeldScript &held : std::exchange(m_held, {}))
        present(held.script, Narrator::Pending::Keep, held.role);
}

void DrillSession::present(const NarratorScript &script, Narrator::Pending pending, Role role)
{
    // Whatever the pupil moves on to, the introduction gives way to it.
    if (pending == Narrator::Pending::Drop) {
        m_introducing = false;
        m_introductionScript = 0;
    }
    switch (m_wizard) {
    case Wizard::Absent:
        return;
    case Wizard::HeldUntilPaint:
        if (pending == Narrator::Pending::Drop)
            m_held.clear(); // none of them has begun
        m_held.append({script, role});
        if (role == Role::Introduction)
            m_introducing = true;
        return;
    case Wizard::Present:
        break;
    }
    const quint64 id = m_narrator.perform(script, pending);
    if (role == Role::Introduction) {
        m_introducing = true;
        m_introductionScript = id;
    }
}

void DrillSession::onScriptDone(quint64 id)
{
    if (id == 0 || id != m_introductionScript || !m_introducing)
        return;
    m_introductionScript = 0;
    m_introducing = false;
    // The exercise that waited behind the introduction is asked only now.
    if (m_state == State::Asking)
        m_exerciseShown.start();
}

qint64 DrillSession::msTaken() const
{
    if (m_introducing || !m_exerciseShown.isValid())
        return -1;
    return m_exerciseShown.elapsed();
}

void DrillSession::newExercise()
{
    if (m_state == State::NotStarted || m_state >= State::LessonOver)
        return;
    // The first exercise waits behind the introduction; any later one is the pupil moving on,
    // and what the wizard has not yet begun is stale.
    const auto pending
        = m_state == State::Beginning ? Narrator::Pending::Keep : Narrator::Pending::Drop;
    const std::optional<Exercise> exercise = m_mode->next(m_random);
    if (!exercise) {
        finishLesson();
        return;
    }
    m_state = State::Asking;
    m_exercise = *exercise;
    m_exerciseShown.start();
    present(dictation(
                QString::number(m_exercise.table), numlett(Currency::fromWhole(m_exercise.factor))),
        pending);
    emit exerciseChanged(m_exercise);
}

void DrillSession::checkAnswer(const QString &typed)
{
    // One verdict per exercise: Enter again in the answer box before the next exercise counts
    // nothing, says nothing and stores nothing.
    if (m_state != State::Asking)
        return;
    m_state = State::Judged;
    const qint64 ms = msTaken();
    Judgement judgement;
    const QString product = QString::number(m_exercise.product);
    judgement.right = isRightAnswer(typed, product);
    // His next words are about this answer: the introduction gives way, and the dictation of
    // this exercise goes if it has not begun.
    if (judgement.right) {
        judgement.verdict = verdictRight;
        // The praise ladder counts from the score before this answer.
        const int scoreBefore = m_counters.right;
        m_counters.addRight();
        present(reactionToRight(scoreBefore, m_pupilName, product), Narrator::Pending::Drop);
    } else {
        const Correction correction = m_mode->correct(m_exercise);
        judgement.verdict = correction.verdict;
        m_counters.addWrong();
        present(correction.script, Narrator::Pending::Drop);
    }
    judgement.counters = m_counters;
    m_mode->answered(judgement.right, ms);
    emit answerJudged(judgement);
    emit answered({calvenza::pupilName(m_pupilName), m_exercise.table, m_exercise.factor, typed,
        judgement.right, ms, QDateTime::currentDateTimeUtc(), m_mode->kind(), m_pupilClass});
}

void DrillSession::sayGoodbye()
{
    // One farewell only: a tick or a second click while its box is open is held back.
    if (m_state == State::NotStarted || m_state >= State::SayingGoodbye)
        return;
    m_state = State::SayingGoodbye;
    m_mode->stop();
    emit message(QStringLiteral("Ciao. Ti aspetto per la prossima sfida "));
    // Compared with what is stored now: another program on this computer may have raised the
    // record since start-up.
    m_mode->keep(m_pupilName, m_counters);
    end();
}

void DrillSession::end()
{
    if (m_state == State::Ended)
        return;
    m_state = State::Ended;
    m_mode->stop();
    m_narrator.stopAll();
    emit ended();
}

} // namespace calvenza
