#include "wizard/requestqueue.h"

namespace calvenza {

quint64 RequestQueue::add(const NarratorScript &script)
{
    const quint64 id = ++m_lastScript;
    if (script.isEmpty()) {
        // Never from inside perform(): the caller has not even got the id yet.
        QMetaObject::invokeMethod(
            this, [this, id] { emit scriptDone(id); }, Qt::QueuedConnection);
        return id;
    }
    m_requestsLeft[id] = int(script.size());
    for (const NarratorRequest &request : script)
        m_waiting.push_back({request, id});
    return id;
}

const RequestQueue::Entry &RequestQueue::begin()
{
    Q_ASSERT(!m_current && !m_waiting.empty());
    m_current = std::move(m_waiting.front());
    m_waiting.pop_front();
    return *m_current;
}

void RequestQueue::finishCurrent()
{
    if (!m_current)
        return;
    const quint64 script = m_current->script;
    m_current.reset();
    if (settle(script))
        emit scriptDone(script);
}

void RequestQueue::drop(Dropping what)
{
    std::vector<quint64> done;
    // A script under way is one piece: "8 per" is never left without its factor. Only speech
    // that may be cut short (the introduction) goes with the rest.
    std::optional<quint64> underWay;
    if (what == Dropping::WaitingAndCurrent && m_current) {
        if (settle(m_current->script))
            done.push_back(m_current->script);
        m_current.reset();
    } else if (m_current) {
        underWay = m_current->script;
    }
    std::deque<Entry> kept;
    for (Entry &entry : std::exchange(m_waiting, {})) {
        if (entry.script == underWay && !entry.request.interruptible)
            kept.push_back(std::move(entry));
        else if (settle(entry.script))
            done.push_back(entry.script);
    }
    m_waiting = std::move(kept);
    for (const quint64 script : done)
        emit scriptDone(script);
}

bool RequestQueue::settle(quint64 script)
{
    const auto left = m_requestsLeft.find(script);
    if (left == m_requestsLeft.end() || --left->second > 0)
        return false;
    m_requestsLeft.erase(left);
    return true;
}

} // namespace calvenza
