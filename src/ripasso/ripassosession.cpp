#include "ripasso/ripassosession.h"

#include "drill/randomsource.h"
#include "drill/timestable.h"

#include <algorithm>
#include <cmath>

namespace calvenza {

RipassoSession::RipassoSession(
    const QList<AnswerRecord> &history, QDate today, QList<int> tables, RandomSource &random)
    : m_boxes(history)
    , m_today(today)
    , m_random(random)
{
    std::sort(tables.begin(), tables.end());
    tables.erase(std::unique(tables.begin(), tables.end()), tables.end());
    tables.removeIf([](int table) { return !isTable(table); });
    m_tables = tables.isEmpty() ? practisedTables(history) : tables;
    if (!history.isEmpty())
        m_lastAsked = Fact {history.last().table, history.last().factor};
    m_random.reseed();
    plan();
}

void RipassoSession::plan()
{
    QList<Fact> missed, fresh, dueKnown, settling;
    for (int table : std::as_const(m_tables))
        for (int factor = 1; factor <= 10; ++factor) {
            const Fact fact {table, factor};
            const FactProgress &p = m_boxes.progress(fact);
            if (p.box == 0)
                fresh << fact;
            else if (p.box == 1)
                missed << fact;
            else if (p.isDue(m_today))
                dueKnown << fact;
            else if (p.box <= 3)
                settling << fact; // boxes 4 and 5 wait until they are due
        }
    for (QList<Fact> *facts : {&missed, &fresh, &dueKnown, &settling})
        shuffle(*facts);
    const auto progress = [this](Fact fact) { return m_boxes.progress(fact); };
    std::stable_sort(missed.begin(), missed.end(),
        [&](Fact a, Fact b) { return progress(a).lastMissedOn > progress(b).lastMissedOn; });
    std::stable_sort(dueKnown.begin(), dueKnown.end(), [&](Fact a, Fact b) {
        return std::pair(progress(a).dueOn, progress(a).box)
            < std::pair(progress(b).dueOn, progress(b).box);
    });
    std::stable_sort(settling.begin(), settling.end(),
        [&](Fact a, Fact b) { return progress(a).dueOn < progress(b).dueOn; });

    QList<Fact> known = dueKnown + settling;
    QList<Fact> weak = missed + fresh.mid(0, newFactsPerSession);
    const int weakPlaces = std::max(
        qRound(double(ripassoLength) / (knownPerWeakFact + 1)), ripassoLength - int(known.size()));
    weak.resize(std::min(weakPlaces, int(weak.size())));
    known.resize(std::min(int(known.size()), ripassoLength - int(weak.size())));
    shuffle(known);

    // The weak facts in the middle of equal stretches of known ones.
    const int planned = int(weak.size() + known.size());
    QList<std::optional<Fact>> places(planned);
    for (int i = 0; i < weak.size(); ++i)
        places[(2 * i + 1) * planned / (2 * int(weak.size()))] = weak[i];
    auto nextKnown = known.cbegin();
    for (std::optional<Fact> &place : places)
        m_planned << (place ? *place : *nextKnown++);

    // Few facts to review: the same ones again, each at most a few times.
    m_queue = m_planned;
    for (int round = 1; round < plannedAppearancesPerFact && m_planned.size() > 1
         && m_queue.size() < ripassoLength;
         ++round) {
        QList<Fact> again = m_planned;
        shuffle(again);
        m_queue += again.mid(0, ripassoLength - m_queue.size());
    }
    m_plannedLength = int(m_queue.size());
}

std::optional<Fact> RipassoSession::next()
{
    if (m_current)
        return m_current;
    std::optional<Fact> chosen = retryAt(m_asked);
    if (chosen) {
        m_retries.removeIf([this](const Retry &r) { return r.question == m_asked; });
    } else {
        // A fact waiting for its retry is in neither the queue nor the fillers, so it cannot come
        // right before its retry either.
        auto it = std::find_if(
            m_queue.cbegin(), m_queue.cend(), [this](Fact fact) { return fact != m_lastAsked; });
        // The last answer before the session is only avoided when something else can come first.
        if (it == m_queue.cend() && m_asked == 0)
            it = m_queue.cbegin();
        if (it != m_queue.cend()) {
            chosen = *it;
            m_queue.erase(it);
        } else if (!m_queue.isEmpty() || !m_retries.isEmpty()) {
            chosen = filler();
        }
    }
    if (!chosen) {
        m_queue.clear();
        m_retries.clear();
        return std::nullopt;
    }
    m_current = chosen;
    m_lastAsked = chosen;
    ++m_asked;
    return m_current;
}

void RipassoSession::recordAnswer(bool right, qint64 msTaken)
{
    if (!m_current)
        return;
    const Fact answered = *m_current;
    m_current.reset();
    m_boxes.record(answered, m_today, right, msTaken);
    m_answeredRight[factIndex(answered)] = m_answeredRight[factIndex(answered)] || right;
    if (!right)
        bringBack(answered);
}

void RipassoSession::bringBack(Fact missed)
{
    // The retry stands in for any later planned asking of the same fact.
    m_queue.removeAll(missed);
    int &retries = m_retryCount[factIndex(missed)];
    // Two or three other questions in between: it was question m_asked - 1.
    const int limit = m_plannedLength + overtime;
    int question = m_asked + 2 + randomBelow(2);
    if (retryAt(question) || question >= limit)
        question = question == m_asked + 2 ? m_asked + 3 : m_asked + 2;
    if (retries >= retriesPerFact || question >= limit || retryAt(question))
        return;
    ++retries;
    m_retries << Retry {question, missed};

    // The session keeps its length: the retry takes the place of the last planned question,
    // unless the retries would then run past the end.
    int lastRetry = 0;
    for (const Retry &r : std::as_const(m_retries))
        lastRetry = std::max(lastRetry, r.question);
    while (m_asked + m_queue.size() + m_retries.size() > m_plannedLength
        && m_asked + m_queue.size() - 1 + m_retries.size() > lastRetry)
        m_queue.removeLast();
}

int RipassoSession::questionsLeft() const
{
    int left = int(m_queue.size() + m_retries.size());
    for (const Retry &r : m_retries)
        left = std::max(left, r.question - m_asked + 1);
    return left + (m_current ? 1 : 0);
}

QList<Fact> RipassoSession::movedUp() const
{
    return m_boxes.movedUpOn(m_today);
}

std::optional<int> RipassoSession::retryOf(Fact fact) const
{
    for (const Retry &r : m_retries)
        if (r.fact == fact)
            return r.question;
    return std::nullopt;
}

std::optional<Fact> RipassoSession::retryAt(int question) const
{
    for (const Retry &r : m_retries)
        if (r.question == question)
            return r.fact;
    return std::nullopt;
}

std::optional<Fact> RipassoSession::filler()
{
    // Rather a fact the pupil got right in this session; never one waiting for its retry, which
    // must not come sooner, unless nothing else is left.
    QList<Fact> gotRight, others;
    for (Fact fact : std::as_const(m_planned)) {
        if (fact == m_lastAsked || retryOf(fact))
            continue;
        (m_answeredRight[factIndex(fact)] ? gotRight : others) << fact;
    }
    const QList<Fact> &candidates = gotRight.isEmpty() ? others : gotRight;
    if (!candidates.isEmpty())
        return candidates[randomBelow(int(candidates.size()))];
    const auto soonest = std::min_element(m_retries.begin(), m_retries.end(),
        [](const Retry &a, const Retry &b) { return a.question < b.question; });
    if (soonest == m_retries.end() || soonest->fact == m_lastAsked)
        return std::nullopt;
    const Fact advanced = soonest->fact;
    m_retries.erase(soonest);
    return advanced;
}

void RipassoSession::shuffle(QList<Fact> &facts)
{
    for (qsizetype i = facts.size() - 1; i > 0; --i)
        facts.swapItemsAt(i, randomBelow(int(i + 1)));
}

int RipassoSession::randomBelow(int n)
{
    // Kept in range whatever the source gives, NaN included.
    const double whole = std::floor(m_random.next() * n);
    if (!(whole >= 0.0))
        return 0;
    return int(std::min(whole, double(n - 1)));
}

} // namespace calvenza
