#include "drill/drillsession.h"

#include "challenge/recordstore.h"
#include "drill/lesson.h"
#include "drill/randomsource.h"
#include "narrator/numberwords.h"

#include <QTimer>

namespace calvenza {

DrillSession::DrillSession(Narrator &narrator, RandomSource &random, int table, QObject *parent)
    : QObject(parent)
    , m_narrator(narrator)
    , m_random(random)
    , m_clockTimer(new QTimer(this))
    , m_table(isTable(table) ? table : defaultTable)
{
    m_clockTimer->setInterval(1000);
    connect(m_clockTimer, &QTimer::timeout, this, &DrillSession::onClockTick);
    connect(&m_narrator, &Narrator::scriptDone, this, &DrillSession::onScriptDone);
}

DrillSession::~DrillSession() = default;

void DrillSession::teachWith(LessonMaker makeLesson)
{
    if (m_state == State::NotStarted)
        m_makeLesson = std::move(makeLesson);
}

void DrillSession::start(
    const QString &typedName, const QString &dataDirectory, const QString &historyProblem)
{
    if (m_state != State::NotStarted)
        return;
    m_state = State::WaitingForWindow;
    m_counters = {};
    m_pupilName = typedName.isEmpty() ? QStringLiteral("Amico") : typedName;
    emit pupilNameChanged(m_pupilName);
    m_dataDirectory = dataDirectory;
    if (isRipasso()) {
        startLesson(historyProblem);
        return;
    }

    armClock();
    bool warned = false;

    // A record that cannot be kept must not end the drill: say so, show it empty, go on.
    const RecordStore store(m_dataDirectory, m_table);
    QString error;
    std::optional<Record> record;
    if (store.ensureFilesExist(&error))
        record = store.read(&error); // under the lock: points and name of the same pupil
    QStringList problems;
    if (!record)
        problems << QStringLiteral("Non riesco a conservare il record su questo computer: si "
                                   "gioca lo stesso, ma il record non potrà essere salvato.\n\n")
                + error;
    if (!historyProblem.isEmpty())
        problems << historyProblem;
    if (!problems.isEmpty()) {
        emit message(problems.join(QStringLiteral("\n\n")));
        warned = true;
    }
    emit recordChanged(record ? record->points : QString(), record ? record->name : QString());

    if (!summonWizard(introduction(m_table)))
        warned = true;
    // The seconds spent reading a warning are not taken from the pupil's seven minutes.
    if (warned)
        armClock();
}

bool DrillSession::summonWizard(const QString &introduction)
{
    const bool came = m_narrator.summon();
    if (came)
        m_wizard = Wizard::HeldUntilPaint;
    else
        emit message(QStringLiteral("Il mago oggi non può venire: gli esercizi si leggono sullo "
                                    "schermo.\n\n")
            + m_narrator.errorString());
    present({NarratorRequest::show(), NarratorRequest::moveTo(narratorX, narratorY),
                NarratorRequest::play(QStringLiteral("Announce")),
                NarratorRequest::height(narratorHeight),
                NarratorRequest::speakInterruptibly(introduction)},
        Narrator::Pending::Keep);
    return came;
}

void DrillSession::startLesson(const QString &historyProblem)
{
    m_lesson = m_makeLesson(calvenza::pupilName(m_pupilName));
    if (!historyProblem.isEmpty())
        emit message(historyProblem);
    summonWizard(lessonIntroduction());
}

void DrillSession::windowOnScreen()
{
    // Only the first showing begins the challenge; the wizard's window or the window shown
    // again must never start it twice.
    if (m_state != State::WaitingForWindow)
        return;
    m_state = State::Beginning;
    QMetaObject::invokeMethod(this, &DrillSession::beginChallenge, Qt::QueuedConnection);
}

void DrillSession::beginChallenge()
{
    if (m_state != State::Beginning)
        return;
    newExercise();
    m_counters = {};
    if (m_lesson)
        emit questionsLeftChanged(m_lesson->questionsLeft());
    else
        showClock(clockStartText);
}

std::optional<Exercise> DrillSession::nextExercise()
{
    if (!m_lesson)
        return drawExercise(m_random, m_table);
    const std::optional<Fact> fact = m_lesson->next();
    if (!fact)
        return std::nullopt;
    // The background still changes with every exercise.
    m_random.reseed();
    Exercise e;
    e.table = qint16(fact->table);
    e.factor = qint16(fact->factor);
    e.product = qint16(fact->table * fact->factor);
    e.greenShade = drawOneToTen(m_random.next());
    return e;
}

void DrillSession::finishLesson()
{
    m_state = State::LessonOver;
    const QList<Fact> movedUp = m_lesson->movedUp();
    const QString summary = lessonSummary(m_counters.total(), int(movedUp.size()));
    present(
        {NarratorRequest::show(), NarratorRequest::moveTo(narratorX, narratorY),
            NarratorRequest::play(QStringLiteral("congratulate")), NarratorRequest::speak(summary)},
        Narrator::Pending::Drop);
    emit lessonFinished(movedUp, summary);
}

void DrillSession::releaseNarrator()
{
    if (m_wizard != Wizard::HeldUntilPaint)
        return;
    m_wizard = Wizard::Present;
    for (const HeldScript &held : std::exchange(m_held, {}))
        present(held.script, Narrator::Pending::Keep, held.dictation);
}

void DrillSession::present(const NarratorScript &script, Narrator::Pending pending, bool dictation)
{
    switch (m_wizard) {
    case Wizard::Absent:
        return;
    case Wizard::HeldUntilPaint:
        if (pending == Narrator::Pending::Drop)
            m_held.clear(); // none of them has begun
        m_held.append({script, dictation});
        return;
    case Wizard::Present:
        break;
    }
    const quint64 id = m_narrator.perform(script, pending);
    if (dictation)
        m_dictationScript = id;
}

void DrillSession::onScriptDone(quint64 id)
{
    if (id != 0 && id == m_dictationScript) {
        m_dictationScript = 0;
        m_exerciseKnown.start();
    }
}

qint64 DrillSession::msSinceExerciseKnown() const
{
    // Answered while he was still dictating: the pupil knew it at once.
    if (m_dictationScript != 0 || !m_exerciseKnown.isValid())
        return 0;
    return m_exerciseKnown.elapsed();
}

void DrillSession::newExercise()
{
    if (m_state == State::NotStarted || m_state >= State::LessonOver)
        return;
    // The first exercise waits behind the introduction; any later one is the pupil moving on,
    // and what the wizard has not yet begun is stale.
    const auto pending
        = m_state == State::Beginning ? Narrator::Pending::Keep : Narrator::Pending::Drop;
    const std::optional<Exercise> exercise = nextExercise();
    if (!exercise) {
        finishLesson();
        return;
    }
    m_state = State::Asking;
    m_exercise = *exercise;
    m_dictationScript = 0;
    m_exerciseKnown.start();
    present(dictation(
                QString::number(m_exercise.table), numlett(Currency::fromWhole(m_exercise.factor))),
        pending, m_wizard != Wizard::Absent);
    emit exerciseChanged(m_exercise);
}

void DrillSession::checkAnswer(const QString &typed)
{
    if (!takesAnswers())
        return;
    m_state = State::Judged;
    Judgement judgement;
    const QString product = QString::number(m_exercise.product);
    judgement.right = isRightAnswer(typed, product);
    if (judgement.right) {
        judgement.verdict = verdictRight;
        // The praise ladder counts from the score before this answer.
        const int scoreBefore = m_counters.right;
        m_counters.addRight();
        present(reactionToRight(scoreBefore, m_pupilName, product), Narrator::Pending::Keep);
    } else if (m_lesson) {
        // A ripasso teaches: the whole fact, said and shown.
        judgement.verdict = correctionLine(m_exercise);
        m_counters.addWrong();
        present(correction(m_exercise), Narrator::Pending::Keep);
    } else {
        judgement.verdict = verdictWrong(product);
        m_counters.addWrong();
        present(reactionToWrong(product), Narrator::Pending::Keep);
    }
    judgement.counters = m_counters;
    const qint64 msTaken = msSinceExerciseKnown();
    if (m_lesson) {
        m_lesson->recordAnswer(judgement.right, msTaken);
        emit questionsLeftChanged(m_lesson->questionsLeft());
    }
    emit answerJudged(judgement);
    emit answered({calvenza::pupilName(m_pupilName), m_exercise.table, m_exercise.factor, typed,
        judgement.right, msTaken, QDateTime::currentDateTimeUtc(),
        m_lesson ? DrillMode::Ripasso : DrillMode::Challenge});
}

void DrillSession::sayGoodbye()
{
    // One farewell only: a tick or a second click while its box is open is held back.
    if (m_state == State::NotStarted || m_state >= State::SayingGoodbye)
        return;
    m_state = State::SayingGoodbye;
    m_clockTimer->stop();

    emit message(QStringLiteral("Ciao. Ti aspetto per la prossima sfida "));
    if (m_lesson) { // a ripasso keeps no record
        end();
        return;
    }
    // Compared with the record stored now, under the store's lock: another program on this
    // computer may have raised it since start-up. No right answer is no record, and no reason to
    // touch the files.
    QString error;
    const auto outcome = m_counters.right > 0
        ? RecordStore(m_dataDirectory, m_table)
              .storeIfBeaten(QString::number(m_counters.right), m_pupilName, &error)
        : RecordStore::Outcome::NotBeaten;
    emit challengeEnded({calvenza::pupilName(m_pupilName), m_table, QDateTime::currentDateTimeUtc(),
        m_counters.right, m_counters.wrong, outcome == RecordStore::Outcome::Stored});
    switch (outcome) {
    case RecordStore::Outcome::Stored:
        emit message(QStringLiteral("Ok ho registrato il tuo record, C A M P I O N E\""));
        break;
    case RecordStore::Outcome::Failed:
        emit message(QStringLiteral("Mi dispiace, non sono riuscito a salvare il tuo record: il "
                                    "record di prima resta com'era.\n\n")
            + error);
        break;
    case RecordStore::Outcome::NotBeaten:
        break;
    }
    end();
}

void DrillSession::onClockTick()
{
    if (m_state == State::NotStarted || m_state >= State::SayingGoodbye)
        return;
    // The tick after the clock has shown zero ends the challenge.
    if (m_clock.secondsLeft <= 0) {
        sayGoodbye();
        return;
    }
    m_clock.countDown();
    showClock(m_clock.text());
}

void DrillSession::armClock()
{
    m_clockTimer->start();
    m_clock.arm(challengeSecondsFromEnvironment());
}

void DrillSession::showClock(const QString &caption)
{
    emit clockChanged(caption);
}

void DrillSession::end()
{
    if (m_state == State::Ended)
        return;
    m_state = State::Ended;
    m_clockTimer->stop();
    m_narrator.stopAll();
    emit ended();
}

} // namespace calvenza
