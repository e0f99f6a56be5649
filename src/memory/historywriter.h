#pragma once

#include "drill/answer.h"

#include <QObject>
#include <QThread>
#include <future>

namespace calvenza {

class HistoryWorker;

// Keeps every answer and challenge in the history of a data directory. record() returns at
// once: the writing happens on the writer's own thread, through its own connection, so a slow
// or stalled disk never delays the drill. When the history cannot be kept (a read-only folder,
// a full disk, a history from a newer Calvenza) the drill goes on without it and unavailable()
// says so, once.
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

    // Waits for the opening and gives its Italian message, empty when the
    // history is kept. A message given here is not repeated by unavailable(), so a start-up box
    // can carry it together with other warnings.
    [[nodiscard]] QString openError();

    // Waits until everything recorded so far has been written (or has failed).
    void flush();

signals:
    void unavailable(const QString &italianMessage);
    // Something was committed to the history; emitted from the writer's thread.
    void written();

private:
    friend class HistoryWorker;
    void report(const QString &message);

    QThread m_thread;
    HistoryWorker *m_worker; // lives on m_thread; deleted after it stops
    std::shared_future<QString> m_opened;
    std::shared_ptr<std::promise<QString>> m_opening; // until the opening is queued
    QString m_dataDirectory;
    bool m_reported = false;
};

} // namespace calvenza
