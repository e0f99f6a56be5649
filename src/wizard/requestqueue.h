#pragma once

#include "narrator/narrator.h"

#include <QObject>
#include <deque>
#include <map>
#include <optional>
#include <vector>

namespace calvenza {

// The wizard's requests in the order they were made, each with the script it came from. A
// script is done once none of its requests is waiting or under way: carried out or dropped.
class RequestQueue : public QObject
{
    Q_OBJECT
public:
    struct Entry
    {
        NarratorRequest request;
        quint64 script = 0;
    };

    using QObject::QObject;

    // Returns the script's id. An empty script is done at once, from the event loop.
    quint64 add(const NarratorScript &script);
    [[nodiscard]] bool hasWaiting() const { return !m_waiting.empty(); }
    [[nodiscard]] const std::optional<Entry> &current() const { return m_current; }

    // The next waiting request becomes the current one.
    const Entry &begin();
    // The current request has been carried out.
    void finishCurrent();
    // Requests not yet begun go, except the rest of the script under way, which is one piece;
    // with WaitingAndCurrent the request under way has been cut short and its script goes whole.
    // Scripts are told done once the queue is settled, so a script performed in answer stays.
    enum class Dropping { Waiting, WaitingAndCurrent };
    void drop(Dropping what);

signals:
    void scriptDone(quint64 id);

private:
    // One request fewer for the script; true when that was its last.
    [[nodiscard]] bool settle(quint64 script);

    std::deque<Entry> m_waiting;
    std::optional<Entry> m_current;
    std::map<quint64, int> m_requestsLeft; // by script
    quint64 m_lastScript = 0;
};

} // namespace calvenza
