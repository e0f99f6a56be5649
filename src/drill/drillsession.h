#pragma once

#include "challenge/challengeclock.h"
#include "drill/answer.h"
#include "drill/exercise.h"
#include "drill/lessonplan.h"
#include "drill/timestable.h"
#include "drill/verdict.h"
#include "narrator/narrator.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QTimer;

namespace calvenza {

class RandomSource;

// What the pupil sees after Enter: the verdict line and the counters.
struct Judgement
{
    bool right = false;
    QString verdict;
    Counters counters;
};

// One pupil's drill from the name to the farewell: the exercise, the counters, the challenge
// clock, the record read at start and where the drill stands. It decides; its view shows what
// it is told and forwards the pupil's keys and clicks; the narrator is told what to say.
class DrillSession : public QObject
{
    Q_OBJECT
public:
    enum class State {
        NotStarted,
        // Name known, record read, the wizard summoned; the window is not on screen yet.
        WaitingForWindow,
        // The window is up and the first exercise is on its way.
        Beginning,
        Asking,
        Judged,
        // A ripasso has asked all it had to ask; only the farewell is left.
        LessonOver,
        SayingGoodbye,
        Ended,
    };
    Q_ENUM(State)

    DrillSession(Narrator &narrator, RandomSource &random, int table = defaultTable,
        QObject *parent = nullptr);
    ~DrillSession() override;

    // Makes this session a ripasso: no clock and no record; the pupil's lesson, made once his
    // name is known, chooses every fact. Before start().
    using LessonMaker = std::function<std::unique_ptr<LessonPlan>(const QString &pupil)>;
    void teachWith(LessonMaker makeLesson);
    [[nodiscard]] bool isRipasso() const { return bool(m_makeLesson); }

    // Arms the clock, reads the record from dataDirectory, summons the wizard and has him
    // introduce the drill. Problems are told as messages and the drill goes on; a history that
    // cannot be kept shares one box with a record that cannot be kept.
    void start(
        const QString &typedName, const QString &dataDirectory, const QString &historyProblem = {});
    // The window is on screen: the first exercise follows from the event loop.
    void windowOnScreen();
    // The window has been painted: the wizard, held until then, comes in.
    void releaseNarrator();
    void newExercise();
    void checkAnswer(const QString &typed);
    // Says goodbye, stores a beaten record and ends.
    void sayGoodbye();
    void onClockTick();
    // The window was closed: the end, without farewell and without storing the record.
    void end();

    [[nodiscard]] State state() const { return m_state; }
    [[nodiscard]] bool hasEnded() const { return m_state == State::Ended; }
    // Whether keys typed in the answer box count: from start to farewell.
    [[nodiscard]] bool takesAnswers() const
    {
        return m_state != State::NotStarted && m_state < State::LessonOver;
    }
    [[nodiscard]] int table() const { return m_table; }
    [[nodiscard]] const Exercise &exercise() const { return m_exercise; }
    [[nodiscard]] const Counters &counters() const { return m_counters; }
    [[nodiscard]] const ChallengeClock &clock() const { return m_clock; }
    [[nodiscard]] const QString &pupilName() const { return m_pupilName; }

signals:
    void pupilNameChanged(const QString &name);
    // Points exactly as stored, and the holder's name.
    void recordChanged(const QString &points, const QString &name);
    void exerciseChanged(const Exercise &exercise);
    void answerJudged(const Judgement &judgement);
    void clockChanged(const QString &caption);
    // How many questions the ripasso has left, after each answer.
    void questionsLeftChanged(int left);
    // The ripasso is over; these facts went up a box today, as the summary he says tells.
    void lessonFinished(const QList<Fact> &movedUp, const QString &summary);
    // A box the pupil must read before the drill goes on; the view shows it at once. details:
    // the system's own words, for a grown-up.
    void message(const QString &text, const QString &details = {});
    void answered(const AnswerRecord &answer);
    void challengeEnded(const ChallengeRecord &challenge);
    // Nothing more happens after this.
    void ended();

private:
    void startLesson(const QString &historyProblem);
    // Summons him and queues his introduction; false, after saying so, when he cannot come.
    bool summonWizard(const QString &introduction);
    void beginChallenge();
    // The next exercise; nullopt when a ripasso has nothing more to ask.
    [[nodiscard]] std::optional<Exercise> nextExercise();
    void finishLesson();
    void armClock();
    void showClock(const QString &caption);
    void present(const NarratorScript &script, Narrator::Pending pending, bool dictation = false);
    void onScriptDone(quint64 id);
    [[nodiscard]] qint64 msSinceExerciseKnown() const;

    Narrator &m_narrator;
    RandomSource &m_random;
    QTimer *m_clockTimer = nullptr;
    const int m_table;
    State m_state = State::NotStarted;

    QString m_pupilName;
    QString m_dataDirectory;
    Exercise m_exercise;
    Counters m_counters;
    ChallengeClock m_clock;
    LessonMaker m_makeLesson;
    std::unique_ptr<LessonPlan> m_lesson;

    // Until the window's first paint his scripts wait, in order: appearing in the same instant,
    // his window held the drill's first paint back by several milliseconds.
    enum class Wizard { Absent, HeldUntilPaint, Present };
    Wizard m_wizard = Wizard::Absent;
    struct HeldScript
    {
        NarratorScript script;
        bool dictation;
    };
    QList<HeldScript> m_held;

    // Since when the pupil could know the exercise: his dictation heard in full, or the
    // exercise drawn when he is silent.
    quint64 m_dictationScript = 0;
    QElapsedTimer m_exerciseKnown;
};

} // namespace calvenza
