#include "memory/historywriter.h"

#include "memory/historydatabase.h"

#include <QElapsedTimer>
#include <cstdio>
#include <variant>

namespace calvenza {

namespace {

// Kept in memory, to be tried again with the next answer, while the disk refuses them; a
// bound, so a drill that runs for days on a full disk does not grow without end.
constexpr qsizetype unsavedLimit = 100000;
// A history that could not be opened is tried again with an answer, but not more often.
constexpr qint64 reopenAfterMs = 5000;

qint64 storedTime(const QDateTime &when)
{
    return (when.isValid() ? when : QDateTime::currentDateTimeUtc()).toMSecsSinceEpoch();
}

// For the grown-up at the console: the pupil was told once already.
void tellConsole(const QString &text)
{
    std::fputs((QStringLiteral("calvenza: ") + text + u'\n').toLocal8Bit().constData(), stderr);
}

} // namespace

// Everything here runs on the writer's thread.
class HistoryWorker : public QObject
{
public:
    using Entry = std::variant<AnswerRecord, ChallengeRecord>;

    // The writer outlives this thread: its destructor waits for it.
    HistoryWorker(HistoryWriter *writer, const QString &dataDirectory)
        : m_writer(writer)
        , m_dataDirectory(dataDirectory)
    {
    }

    void submit(const Entry &entry)
    {
        if (m_unsaved.size() < unsavedLimit)
            m_unsaved.append(entry);
        else if (m_dropped++ == 0)
            tellConsole(QStringLiteral("la storia delle risposte non si scrive da %1 risposte: "
                                       "le prossime non sono più tenute in memoria e vanno perse.")
                            .arg(unsavedLimit));
        reportIfAny(writeUnsaved());
    }

    void reportIfAny(const Problem &problem)
    {
        if (!problem.isEmpty())
            QMetaObject::invokeMethod(
                m_writer, [writer = m_writer, problem] { writer->report(problem); });
    }

    Problem open()
    {
        m_lastOpening.start();
        m_db = std::make_unique<HistoryDatabase>(m_dataDirectory, HistoryDatabase::Access::Write);
        if (!m_db->isOpen()) {
            m_problem = m_db->problem();
            m_db.reset();
            return m_problem;
        }
        return {};
    }

    // The problem when what is kept could not be written, else empty.
    Problem writeUnsaved()
    {
        if (m_unsaved.isEmpty())
            return {};
        if (!m_db
            && ((m_lastOpening.isValid() && m_lastOpening.elapsed() < reopenAfterMs)
                || !open().isEmpty()))
            return m_problem;
        if (!m_db->beginWrite())
            return m_problem = m_db->problem();
        for (const Entry &e : std::as_const(m_unsaved)) {
            const bool written = std::visit([this](const auto &r) { return insert(r); }, e);
            if (!written) {
                m_problem = m_db->problem();
                m_db->rollback();
                return m_problem;
            }
        }
        if (!m_db->commit()) {
            m_problem = m_db->problem();
            m_db->rollback();
            return m_problem;
        }
        m_unsaved.clear();
        emit m_writer->committed();
        return {};
    }

    // The last try, when the program ends; what is still unwritten is said on the console.
    void close()
    {
        m_lastOpening.invalidate();
        writeUnsaved();
        if (!m_unsaved.isEmpty())
            tellConsole(QStringLiteral("risposte e sfide perse, che non si sono potute scrivere "
                                       "nella storia: %1. %2")
                            .arg(m_unsaved.size())
                            .arg(m_problem.details));
        if (m_dropped > 0)
            tellConsole(QStringLiteral("altre risposte e sfide perse, oltre le %2 tenute in "
                                       "memoria: %1.")
                            .arg(m_dropped)
                            .arg(unsavedLimit));
        m_db.reset();
    }

private:
    qint64 pupilId(const QString &typedName, const QString &pupilClass)
    {
        QSqlQuery q = m_db->query();
        q.prepare(QStringLiteral("INSERT INTO pupil (name, name_key, class_name) VALUES (?, ?, ?)"
                                 " ON CONFLICT (name_key, class_name) DO NOTHING"));
        q.addBindValue(pupilName(typedName));
        q.addBindValue(pupilKey(typedName));
        q.addBindValue(pupilClass.isNull() ? QStringLiteral("") : pupilClass); // NULL otherwise
        return m_db->exec(q) ? m_db->pupilId(pupilLabel(pupilName(typedName), pupilClass)) : -1;
    }

    bool insert(const AnswerRecord &a)
    {
        const qint64 pupil = pupilId(a.pupil, a.pupilClass);
        if (pupil < 0)
            return false;
        QSqlQuery q = m_db->query();
        q.prepare(QStringLiteral(
            "INSERT INTO answer (pupil_id, times_table, factor, answered_at, seq, typed, is_right,"
            " ms_taken, mode, local_seq) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?,"
            " (SELECT coalesce(max(local_seq), 0) + 1 FROM answer)) ON CONFLICT DO NOTHING"));
        // Counted up in the unlikely case that the same millisecond already holds one.
        qint64 seq = 0;
        do {
            q.bindValue(0, pupil);
            q.bindValue(1, a.table);
            q.bindValue(2, a.factor);
            q.bindValue(3, storedTime(a.answeredAt));
            q.bindValue(4, seq++);
            q.bindValue(5, a.typed.isNull() ? QStringLiteral("") : a.typed);
            q.bindValue(6, int(a.right));
            q.bindValue(7, a.msTaken < 0 ? qint64(-1) : a.msTaken);
            q.bindValue(8, int(a.mode));
            if (!m_db->exec(q))
                return false;
        } while (q.numRowsAffected() == 0);
        QSqlQuery counts = m_db->query();
        counts.prepare(
            QStringLiteral("INSERT INTO fact (pupil_id, times_table, factor, asked, right_count)"
                           " VALUES (?, ?, ?, 1, ?) ON CONFLICT DO UPDATE SET asked = asked + 1,"
                           " right_count = right_count + excluded.right_count"));
        counts.addBindValue(pupil);
        counts.addBindValue(a.table);
        counts.addBindValue(a.factor);
        counts.addBindValue(int(a.right));
        return m_db->exec(counts);
    }

    bool insert(const ChallengeRecord &c)
    {
        const qint64 pupil = pupilId(c.pupil, c.pupilClass);
        if (pupil < 0)
            return false;
        QSqlQuery q = m_db->query();
        q.prepare(
            QStringLiteral("INSERT INTO challenge (pupil_id, times_table, ended_at,"
                           " right_count, wrong_count, set_record) VALUES (?, ?, ?, ?, ?, ?)"));
        q.addBindValue(pupil);
        q.addBindValue(c.table);
        q.addBindValue(storedTime(c.endedAt));
        q.addBindValue(c.right);
        q.addBindValue(c.wrong);
        q.addBindValue(int(c.setRecord));
        return m_db->exec(q);
    }

    HistoryWriter *m_writer;
    QString m_dataDirectory;
    std::unique_ptr<HistoryDatabase> m_db;
    QElapsedTimer m_lastOpening;
    Problem m_problem; // the latest
    QList<Entry> m_unsaved;
    qsizetype m_dropped = 0;
};

HistoryWriter::HistoryWriter(const QString &dataDirectory, QObject *parent)
    : QObject(parent)
    , m_worker(new HistoryWorker(this, dataDirectory))
{
    m_thread.setObjectName(QStringLiteral("calvenza-history"));
    m_worker->moveToThread(&m_thread);
    m_opening = std::make_shared<std::promise<Problem>>();
    m_opened = m_opening->get_future().share();
    m_dataDirectory = dataDirectory;
    m_thread.start(QThread::LowPriority);
}

void HistoryWriter::startOpening()
{
    if (!m_opening)
        return;
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, opened = std::exchange(m_opening, {})] {
        const Problem problem = worker->open();
        opened->set_value(problem);
        worker->reportIfAny(problem);
    });
}

HistoryWriter::~HistoryWriter()
{
    // Queued after every record, so they are all written before the thread stops.
    QMetaObject::invokeMethod(m_worker, [worker = m_worker] {
        worker->close();
        QThread::currentThread()->quit();
    });
    m_thread.wait();
    delete m_worker;
}

void HistoryWriter::record(const AnswerRecord &answer)
{
    startOpening();
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, answer] { worker->submit(answer); });
}

void HistoryWriter::record(const ChallengeRecord &challenge)
{
    startOpening();
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, challenge] { worker->submit(challenge); });
}

Problem HistoryWriter::openError()
{
    startOpening();
    Problem problem = m_opened.get();
    if (!problem.isEmpty())
        m_reported = true;
    return problem;
}

void HistoryWriter::whenWritten(QObject *context, std::function<void()> done)
{
    startOpening();
    const quint64 ticket = ++m_lastTicket;
    m_waiting.insert(ticket, {context, std::move(done)});
    // Queued behind every record before it, and back to this thread when they are done.
    QMetaObject::invokeMethod(m_worker, [writer = this, ticket] {
        QMetaObject::invokeMethod(writer, [writer, ticket] { writer->written(ticket); });
    });
}

void HistoryWriter::written(quint64 ticket)
{
    const auto waiting = m_waiting.take(ticket);
    if (waiting.first && waiting.second)
        waiting.second();
}

void HistoryWriter::flush()
{
    startOpening();
    QMetaObject::invokeMethod(
        m_worker, [] {}, Qt::BlockingQueuedConnection);
}

void HistoryWriter::report(const Problem &problem)
{
    if (m_reported)
        return;
    m_reported = true;
    emit unavailable(problem);
}

} // namespace calvenza
