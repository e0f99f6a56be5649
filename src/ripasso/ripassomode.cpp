#include "ripasso/ripassomode.h"

#include "drill/lesson.h"
#include "drill/randomsource.h"
#include "drill/timestable.h"

namespace calvenza {

RipassoMode::RipassoMode(LessonMaker makeLesson, QObject *parent)
    : SessionMode(parent)
    , m_makeLesson(std::move(makeLesson))
{
}

RipassoMode::~RipassoMode() = default;

QString RipassoMode::nameWhenNoneTyped() const
{
    return {};
}

int RipassoMode::table() const
{
    return defaultTable;
}

QString RipassoMode::introduction() const
{
    return lessonIntroduction();
}

QList<Problem> RipassoMode::begin(const QString &pupil, const QString &dataDirectory)
{
    Q_UNUSED(dataDirectory);
    if (!m_makeLesson)
        return {};
    m_waiting = true;
    // A lesson made at once is taken here and now.
    m_makeLesson(pupil).then(this, [this](std::shared_ptr<LessonPlan> lesson) {
        m_lesson = std::move(lesson);
        m_waiting = false;
        emit ready();
    });
    return {};
}

void RipassoMode::firstExerciseShown()
{
    emit questionsLeftChanged(questionsLeft().value_or(0));
}

std::optional<Exercise> RipassoMode::next(RandomSource &random)
{
    const std::optional<Fact> fact = m_lesson ? m_lesson->next() : std::nullopt;
    if (!fact)
        return std::nullopt;
    m_asked = *fact;
    // The background still changes with every exercise.
    random.reseed();
    Exercise e;
    e.table = qint16(fact->table);
    e.factor = qint16(fact->factor);
    e.product = qint16(fact->table * fact->factor);
    e.greenShade = drawOneToTen(random.next());
    return e;
}

Correction RipassoMode::correct(const Exercise &exercise) const
{
    // A ripasso teaches: the whole fact, said and shown.
    return {correctionLine(exercise), correction(exercise)};
}

void RipassoMode::answered(bool right, qint64 msTaken)
{
    if (!m_lesson)
        return;
    m_lesson->recordAnswer(right, msTaken);
    if (!right && isFact(m_asked)) {
        int &misses = m_misses[std::size_t(factIndex(m_asked))];
        // The most missed; of two missed as often, the later.
        if (++misses >= m_misses[std::size_t(factIndex(m_mostMissed.value_or(m_asked)))])
            m_mostMissed = m_asked;
    }
    emit questionsLeftChanged(m_lesson->questionsLeft());
}

NarratorScript RipassoMode::closing(const Counters &counters)
{
    const QList<Fact> movedUp = m_lesson ? m_lesson->movedUp() : QList<Fact> {};
    const QString summary = lessonSummary(counters.total(), movedUp, m_mostMissed);
    emit lessonFinished(movedUp, summary);
    return {NarratorRequest::show(), NarratorRequest::moveTo(narratorX, narratorY),
        NarratorRequest::play(QStringLiteral("congratulate")), NarratorRequest::speak(summary)};
}

std::optional<int> RipassoMode::questionsLeft() const
{
    return m_lesson ? m_lesson->questionsLeft() : 0;
}

} // namespace calvenza
