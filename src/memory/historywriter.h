#pragma once

#include "drill/answer.h"
#include "platform/problem.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <functional>
#include <future>

namespace calvenza {

class HistoryWorker;

// Keeps every answer and challenge in the history of a data directory. record() returns at
// once: the writing happens on the writer's own thread, through its own connection, so a slow
// or stalled disk never delays the drill. When the history cannot be kept (a read-only folder,
// a full disk, a history from a newer Calvenza) the drill goes on and unavailable() says so,
// once; what could not be written stays in memory (up to a bound) and is tried again with every
// new answer and a last time when the writer is destroyed. Whatever is lost in the end is said
// on the console.
class HistoryWriter : public QObject
{
    Q_OBJECT
public:
    // The history is opened on the writer's thread, by startOpening() or by the first call
    // that needs it.
    explicit HistoryWriter(const QString &dataDirectory, QObject *parent = nullptr);
    // Writes what was recorded before, then stops the thread.
    ~HistoryWriter() override;

    void record(const AnswerRecord &answer);
    void record(const ChallengeRecord &challenge);

    // Begins opening the history on the writer's thread, once; the program calls it when the
    // start-up has nothing better to do, so the disk is not touched on the way to the first box.
    void startOpening();

    // Waits for the opening and gives its problem, empty when the history is kept. A problem
    // given here is not repeated by unavailable(), so a start-up box can carry it together with
    // other warnings.
    [[nodiscard]] Problem openError();

    // Calls done on this object's thread, without waiting, once everything recorded so far has
    // been committed (or has failed to be); not at all if context is gone by then.
    void whenWritten(QObject *context, std::function<void()> done);

    // Waits until everything recorded so far has been written (or has failed).
    void flush();

signals:
    void unavailable(const calvenza::Problem &problem);
    // Something was committed to the history; emitted from the writer's thread.
    void committed();

private:
    friend class HistoryWorker;
    void report(const Problem &problem);
    void written(quint64 ticket);

    QThread m_thread;
    HistoryWorker *m_worker; // lives on m_thread; deleted after it stops
    std::shared_future<Problem> m_opened;
    std::shared_ptr<std::promise<Problem>> m_opening; // until the opening is queued
    QString m_dataDirectory;
    QHash<quint64, std::pair<QPointer<QObject>, std::function<void()>>> m_waiting;
    quint64 m_lastTicket = 0;
    bool m_reported = false;
};

} // namespace calvenza
