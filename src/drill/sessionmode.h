#pragma once

#include "drill/answer.h"
#include "drill/exercise.h"
#include "drill/verdict.h"
#include "narrator/narrator.h"
#include "platform/problem.h"

#include <QList>
#include <QObject>
#include <optional>

namespace calvenza {

class RandomSource;

// After a wrong answer: the verdict line the pupil reads and what the wizard does.
struct Correction
{
    QString verdict;
    NarratorScript script;
};

// One way of drilling: how the exercises are chosen, what the clock's panel counts, how a miss is
// corrected and what the end keeps. The drill session asks it what comes next and knows no mode
// of its own, so another way of drilling is one more of these.
class SessionMode : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // How the history files the answers given in this mode.
    [[nodiscard]] virtual DrillMode kind() const = 0;
    // What the pupil is called when he types no name.
    [[nodiscard]] virtual QString nameWhenNoneTyped() const { return QStringLiteral("Amico"); }
    // The table named in the window's title and menu.
    [[nodiscard]] virtual int table() const = 0;
    [[nodiscard]] virtual QString introduction() const = 0;

    // The pupil is known. What could not be read is returned, to be told in one box with the
    // other problems of the start.
    [[nodiscard]] virtual QList<Problem> begin(const QString &pupil, const QString &dataDirectory)
        = 0;
    // Whether the first exercise can be chosen; a mode still waiting for what it needs (the
    // pupil's answers from the school's server) emits ready() later.
    [[nodiscard]] virtual bool isReady() const { return true; }
    // The pupil has read the boxes of the start: that time was not his to lose.
    virtual void warningsRead() { }
    virtual void firstExerciseShown() = 0;
    // nullopt when there is nothing more to ask.
    [[nodiscard]] virtual std::optional<Exercise> next(RandomSource &random) = 0;
    [[nodiscard]] virtual Correction correct(const Exercise &exercise) const = 0;
    virtual void answered(bool right, qint64 msTaken)
    {
        Q_UNUSED(right);
        Q_UNUSED(msTaken);
    }
    // Nothing more to ask: what the wizard says to close.
    [[nodiscard]] virtual NarratorScript closing(const Counters &counters)
    {
        Q_UNUSED(counters);
        return {};
    }
    // The farewell: the mode keeps what it keeps of the pupil's score and says so.
    virtual void keep(const QString &pupil, const Counters &counters)
    {
        Q_UNUSED(pupil);
        Q_UNUSED(counters);
    }
    virtual void stop() { }

    [[nodiscard]] virtual std::optional<int> secondsLeft() const { return std::nullopt; }
    [[nodiscard]] virtual std::optional<int> questionsLeft() const { return std::nullopt; }

signals:
    void ready();
    void clockChanged(const QString &caption);
    void timeUp();
    void questionsLeftChanged(int left);
    // Points exactly as stored, and the holder's name.
    void recordChanged(const QString &points, const QString &name);
    void challengeEnded(const ChallengeRecord &challenge);
    // These facts went up today, as the summary he says tells.
    void lessonFinished(const QList<Fact> &movedUp, const QString &summary);
    void message(const QString &text, const QString &details);
};

} // namespace calvenza
