#include "school/schoolsender.h"

#include "memory/historydatabase.h"
#include "memory/historywriter.h"
#include "school/outbox.h"
#include "school/roster.h"
#include "school/serviceconfig.h"

#include <QTimer>
#include <optional>

namespace calvenza {

// Everything here runs on the sender's thread.
class SenderWorker : public QObject
{
public:
    SenderWorker(SchoolSender *sender, const QString &dataDirectory, SenderTiming timing)
        : m_sender(sender)
        , m_dataDirectory(dataDirectory)
        , m_timing(timing)
        , m_delay(timing.firstRetryMs)
        , m_retry(this)
        , m_rosterRefresh(this)
    {
        m_retry.setSingleShot(true);
        connect(&m_retry, &QTimer::timeout, this, [this] { sendWaiting(); });
        connect(&m_rosterRefresh, &QTimer::timeout, this, [this] { refreshRoster(); });
    }

    void nudge()
    {
        if (!m_retry.isActive() && !m_moreQueued)
            sendWaiting();
    }

    void finish()
    {
        m_rosterRefresh.stop();
        m_retry.stop();
        m_finished = true;
        if (m_server && m_server->isOpen())
            sendWaiting();
        m_retry.stop();
        m_server.reset();
        m_history.reset();
    }

    void sendWaiting()
    {
        m_moreQueued = false;
        if (m_finished && !(m_server && m_server->isOpen()))
            return;
        if (!m_history) {
            // Written too: how far the server has confirmed.
            m_history = std::make_unique<HistoryDatabase>(
                m_dataDirectory, HistoryDatabase::Access::Write);
            if (!m_history->isOpen()) {
                m_history.reset();
                return;
            }
        }
        if (!m_server)
            m_server = std::make_unique<SchoolServer>();
        if (!m_server->isOpen()) {
            const LinkStatus status = m_server->open();
            if (!status.linked())
                return failed(status);
            report(status);
            if (!m_finished) {
                refreshRoster();
                m_rosterRefresh.start(m_timing.rosterRefreshMs);
            }
        }
        const std::optional<OutboxBatch> batch = unsentAnswers(*m_history, m_timing.batchSize);
        if (!batch) {
            m_history.reset(); // tried again with the next answer
            return;
        }
        if (batch->size() == 0)
            return;
        LinkStatus failure;
        if (!m_server->send(*batch, &failure)) {
            m_server->close();
            return failed(failure);
        }
        // Committed on the server; should this not be kept, the batch is sent again, harmlessly.
        markSent(*m_history, batch->lastSeq);
        m_delay = m_timing.firstRetryMs;
        if (batch->size() == m_timing.batchSize && !m_finished) {
            // The rest in turns, so that stopping the program does not wait for all of it.
            m_moreQueued = true;
            QMetaObject::invokeMethod(
                this, [this] { sendWaiting(); }, Qt::QueuedConnection);
        }
    }

private:
    // The connection, if broken, is found so by the next batch, which then waits and retries.
    void refreshRoster()
    {
        if (!m_history || !m_server || !m_server->isOpen())
            return;
        LinkStatus failure;
        if (const std::optional<Roster> roster = m_server->classLists(&failure))
            replaceRoster(*m_history, *roster);
        else
            qInfo("calvenza: non riesco a leggere gli elenchi delle classi dal server della "
                  "scuola: resta la copia di prima (%s).",
                qUtf8Printable(failure.detail));
    }

    void failed(const LinkStatus &status)
    {
        report(status);
        m_retry.start(m_delay);
        m_delay = std::min(m_delay * 2, m_timing.longestRetryMs);
    }

    void report(const LinkStatus &status)
    {
        if (m_state == status.state)
            return;
        m_state = status.state;
        const QByteArray note = (QStringLiteral("calvenza: ") + describe(status)).toUtf8();
        if (status.linked())
            qInfo("%s", note.constData());
        else
            qWarning("%s", note.constData());
        QMetaObject::invokeMethod(m_sender,
            [sender = m_sender, state = status.state] { emit sender->linkChanged(state); });
    }

    SchoolSender *m_sender;
    QString m_dataDirectory;
    SenderTiming m_timing;
    int m_delay;
    QTimer m_retry;
    QTimer m_rosterRefresh;
    bool m_moreQueued = false;
    bool m_finished = false;
    std::optional<LinkState> m_state;
    std::unique_ptr<HistoryDatabase> m_history;
    std::unique_ptr<SchoolServer> m_server;
};

SchoolSender::SchoolSender(const QString &dataDirectory, SenderTiming timing, QObject *parent)
    : QObject(parent)
    , m_worker(new SenderWorker(this, dataDirectory, timing))
{
    m_thread.setObjectName(QStringLiteral("calvenza-school"));
    m_worker->moveToThread(&m_thread);
    m_thread.start(QThread::LowPriority);
    QMetaObject::invokeMethod(m_worker, [worker = m_worker] { worker->sendWaiting(); });
}

SchoolSender::~SchoolSender()
{
    QMetaObject::invokeMethod(m_worker, [worker = m_worker] {
        worker->finish();
        QThread::currentThread()->quit();
    });
    // The last batch takes milliseconds; a server that stopped answering in the middle of one
    // must not keep the program from ending. What is unsent stays in the history.
    if (!m_thread.wait(QDeadlineTimer(3000))) {
        SchoolServer::cutEveryConnection();
        m_thread.wait();
    }
    delete m_worker;
}

std::unique_ptr<SchoolSender> SchoolSender::startIfConfigured(const QString &dataDirectory)
{
    if (!schoolServiceDefined())
        return nullptr;
    return std::make_unique<SchoolSender>(dataDirectory);
}

void SchoolSender::follow(HistoryWriter *writer)
{
    connect(writer, &HistoryWriter::committed, m_worker, [worker = m_worker] { worker->nudge(); });
}

void SchoolSender::nudge()
{
    QMetaObject::invokeMethod(m_worker, [worker = m_worker] { worker->nudge(); });
}

} // namespace calvenza
