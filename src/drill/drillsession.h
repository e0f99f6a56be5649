#pragma once

#include "drill/answer.h"
#include "drill/exercise.h"
#include "drill/sessionmode.h"
#include "drill/verdict.h"
#include "narrator/narrator.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <memory>

namespace calvenza {

class RandomSource;

// What the pupil sees after Enter: the verdict line and the counters.
struct Judgement
{
    bool right = false;
    QString verdict;
    Counters counters;
};

// One pupil's drill from the name to the farewell: the exercise, the counters, the pupil's name
// and where the drill stands. Its mode chooses the exercises and keeps the clock and the record;
// the session decides the flow; its view shows what it is told and forwards the pupil's keys and
// clicks; the narrator is told what to say.
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
        // The mode has asked all it had to ask; only the farewell is left.
        LessonOver,
        SayingGoodbye,
        Ended,
    };
    Q_ENUM(State)

    DrillSession(Narrator &narrator, RandomSource &random, std::unique_ptr<SessionMode> mode,
        QObject *parent = nullptr);
    ~DrillSession() override;

    // Lets the mode read what it keeps, summons the wizard and has him introduce the drill.
    // Problems are told in one box and the drill goes on; historyProblem joins them. pupilClass:
    // the class the pupil's answers go to, empty for none; never said or shown.
    void start(const QString &typedName, const QString &dataDirectory,
        const Problem &historyProblem = {}, const QString &pupilClass = {});
    // The window is on screen: the first exercise follows from the event loop.
    void windowOnScreen();
    // The window has been painted: the wizard, held until then, comes in.
    void releaseNarrator();
    void newExercise();
    // Judges the exercise on screen, once: a second Enter before the next exercise is ignored.
    void checkAnswer(const QString &typed);
    // Says goodbye, lets the mode keep what it keeps and ends.
    void sayGoodbye();
    // The window was closed: the end, without farewell and without storing the record.
    void end();

    [[nodiscard]] State state() const { return m_state; }
    [[nodiscard]] bool hasEnded() const { return m_state == State::Ended; }
    // Whether keys typed in the answer box count: while an exercise waits for its answer.
    [[nodiscard]] bool takesAnswers() const { return m_state == State::Asking; }
    [[nodiscard]] SessionMode &mode() const { return *m_mode; }
    [[nodiscard]] int table() const { return m_mode->table(); }
    [[nodiscard]] const Exercise &exercise() const { return m_exercise; }
    [[nodiscard]] const Counters &counters() const { return m_counters; }
    [[nodiscard]] const QString &pupilName() const { return m_pupilName; }
    [[nodiscard]] const QString &pupilClass() const { return m_pupilClass; }

signals:
    void pupilNameChanged(const QString &name);
    // Points exactly as stored, and the holder's name.
    void recordChanged(const QString &points, const QString &name);
    void exerciseChanged(const Exercise &exercise);
    void answerJudged(const Judgement &judgement);
    void clockChanged(const QString &caption);
    // How many questions the ripasso has left, after each answer.
    void questionsLeftChanged(int left);
    // Nothing more to ask; these facts went up today, as the summary he says tells.
    void lessonFinished(const QList<Fact> &movedUp, const QString &summary);
    // A box the pupil must read before the drill goes on; the view shows it at once. details:
    // the system's own words, for a grown-up.
    void message(const QString &text, const QString &details = {});
    void answered(const AnswerRecord &answer);
    void challengeEnded(const ChallengeRecord &challenge);
    // Nothing more happens after this.
    void ended();

private:
    // Summons him and queues his introduction.
    void summonWizard();
    void beginDrill();
    void finishLesson();
    enum class Role { Other, Introduction };
    void present(const NarratorScript &script, Narrator::Pending pending, Role role = Role::Other);
    void onScriptDone(quint64 id);
    // From the exercise on screen to Enter; -1 when he answered before he could know it.
    [[nodiscard]] qint64 msTaken() const;

    Narrator &m_narrator;
    RandomSource &m_random;
    std::unique_ptr<SessionMode> m_mode;
    State m_state = State::NotStarted;

    QString m_pupilName;
    QString m_pupilClass;
    Exercise m_exercise;
    Counters m_counters;

    // Until the window's first paint his scripts wait, in order: appearing in the same instant,
    // his window held the drill's first paint back by several milliseconds.
    enum class Wizard { Absent, HeldUntilPaint, Present };
    Wizard m_wizard = Wizard::Absent;
    struct HeldScript
    {
        NarratorScript script;
        Role role;
    };
    QList<HeldScript> m_held;

    // While he introduces the drill, the first exercise on screen is not yet asked: its time
    // counts from the end of the introduction.
    bool m_introducing = false;
    quint64 m_introductionScript = 0;
    QElapsedTimer m_exerciseShown;
};

} // namespace calvenza
