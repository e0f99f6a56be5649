#pragma once

#include "school/schoolserver.h"

#include <QObject>
#include <QThread>
#include <memory>

namespace calvenza {

class HistoryWriter;
class SenderWorker;

struct SenderTiming
{
    int firstRetryMs = 1000; // after a failure, doubled at each one after it
    int longestRetryMs = 60000;
    int batchSize = 500;
    int rosterRefreshMs = 5 * 60 * 1000; // the class lists, read again while linked
};

// Copies to the school's server the answers this machine has that the server has not got, on
// its own thread with its own connections, so the drill never waits for the network. A failure
// (server down, a connection cut mid-batch, a refused password, a newer layout) leaves the
// answers in the local history, says so once on the console and is tried again later, waiting
// longer each time. It sends when started, when the history writer commits, and after a wait.
// Once linked it also copies the school's class lists to the machine, and again every few
// minutes; a failed read leaves the old copy.
class SchoolSender : public QObject
{
    Q_OBJECT
public:
    explicit SchoolSender(
        const QString &dataDirectory, SenderTiming timing = {}, QObject *parent = nullptr);
    // Sends one last batch if the server is there, then stops the thread.
    ~SchoolSender() override;

    // Nothing at all (no thread, no driver) unless the school's service is defined.
    [[nodiscard]] static std::unique_ptr<SchoolSender> startIfConfigured(
        const QString &dataDirectory);

    // Sends whenever the writer has committed something.
    void follow(HistoryWriter *writer);
    // Sends now, unless it is waiting after a failure.
    void nudge();

signals:
    void linkChanged(calvenza::LinkState state);

private:
    QThread m_thread;
    SenderWorker *m_worker; // lives on m_thread; deleted after it stops
};

} // namespace calvenza
