#pragma once

#include "drill/lessonplan.h"
#include "drill/sessionmode.h"

#include <QFuture>
#include <array>
#include <functional>
#include <memory>

namespace calvenza {

// The ripasso that teaches: its lesson chooses every fact from the pupil's history, the clock's
// panel counts the questions left, a miss is said whole, and no record is kept.
class RipassoMode : public SessionMode
{
    Q_OBJECT
public:
    // Makes the pupil's lesson once his name is known, at once or later (his answers may come
    // from the school's server); a null lesson asks nothing.
    using LessonMaker = std::function<QFuture<std::shared_ptr<LessonPlan>>(const QString &pupil)>;
    explicit RipassoMode(LessonMaker makeLesson, QObject *parent = nullptr);
    ~RipassoMode() override;

    [[nodiscard]] DrillMode kind() const override { return DrillMode::Ripasso; }
    // Words for every child: nobody is called "Amico" in a ripasso.
    [[nodiscard]] QString nameWhenNoneTyped() const override;
    [[nodiscard]] int table() const override;
    [[nodiscard]] QString introduction() const override;
    [[nodiscard]] QList<Problem> begin(const QString &pupil, const QString &dataDirectory) override;
    [[nodiscard]] bool isReady() const override { return !m_waiting; }
    void firstExerciseShown() override;
    [[nodiscard]] std::optional<Exercise> next(RandomSource &random) override;
    [[nodiscard]] Correction correct(const Exercise &exercise) const override;
    void answered(bool right, qint64 msTaken) override;
    [[nodiscard]] NarratorScript closing(const Counters &counters) override;
    [[nodiscard]] std::optional<int> questionsLeft() const override;

private:
    LessonMaker m_makeLesson;
    std::shared_ptr<LessonPlan> m_lesson;
    bool m_waiting = false;
    Fact m_asked;
    std::array<int, factCount> m_misses {};
    std::optional<Fact> m_mostMissed;
};

} // namespace calvenza
