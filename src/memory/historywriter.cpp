#include "memory/historywriter.h"

#include "memory/historydatabase.h"

#include <variant>

namespace calvenza {

namespace {

// Kept in memory, to be tried again with the next answer, while the disk refuses them; a
// bound, so a drill that runs for days on a full disk does not grow without end.
constexpr qsizetype unsavedLimit = 100000;

const QString goingOnWithout
    = QStringLiteral("\nGli esercizi continuano, ma queste risposte non saranno ricordate.");

qint64 storedTime(const QDateTime &when)
{
    return (when.isValid() ? when : QDateTime::currentDateTimeUtc()).toMSecsSinceEpoch();
}

} // namespace

// Everything here runs on the writer's thread.
class HistoryWorker : public QObject
{
public:
    using Entry = std::variant<AnswerRecord, ChallengeRecord>;

    // The writer outlives this thread: its destructor waits for it.
    explicit HistoryWorker(HistoryWriter *writer)
        : m_writer(writer)
    {
    }

    void submit(const Entry &entry) { reportIfAny(write(entry)); }

    void reportIfAny(const QString &error)
    {
        if (!error.isEmpty())
            QMetaObject::invokeMethod(
                m_writer, [writer = m_writer, error] { writer->report(error); });
    }

    QString open(const QString &dataDirectory)
    {
        m_db = std::make_unique<HistoryDatabase>(dataDirectory, HistoryDatabase::Missing::Create);
        if (!m_db->isOpen()) {
            const QString error = m_db->error();
            m_db.reset();
            return error + goingOnWithout;
        }
        return {};
    }

    // The message to give when the entry could not be written, else empty.
    QString write(const Entry &entry)
    {
        if (!m_db)
            return {};
        if (m_unsaved.size() < unsavedLimit)
            m_unsaved.append(entry);
        if (!m_db->beginWrite())
            return m_db->error() + goingOnWithout;
        for (const Entry &e : std::as_const(m_unsaved)) {
            const bool written = std::visit([this](const auto &r) { return insert(r); }, e);
            if (!written) {
                const QString error = m_db->error();
                m_db->rollback();
                return error + goingOnWithout;
            }
        }
        if (!m_db->commit()) {
            const QString error = m_db->error();
            m_db->rollback();
            return error + goingOnWithout;
        }
        m_unsaved.clear();
        emit m_writer->written();
        return {};
    }

    void close() { m_db.reset(); }

private:
    qint64 pupilId(const QString &typedName)
    {
        QSqlQuery q = m_db->query();
        q.prepare(QStringLiteral("INSERT INTO pupil (name, name_key) VALUES (?, ?) "
                                 "ON CONFLICT (name_key) DO NOTHING"));
        q.addBindValue(pupilName(typedName));
        q.addBindValue(pupilKey(typedName));
        return m_db->exec(q) ? m_db->pupilId(typedName) : -1;
    }

    bool insert(const AnswerRecord &a)
    {
        const qint64 pupil = pupilId(a.pupil);
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
        const qint64 pupil = pupilId(c.pupil);
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
    std::unique_ptr<HistoryDatabase> m_db;
    QList<Entry> m_unsaved;
};

HistoryWriter::HistoryWriter(const QString &dataDirectory, QObject *parent)
    : QObject(parent)
    , m_worker(new HistoryWorker(this))
{
    m_thread.setObjectName(QStringLiteral("calvenza-history"));
    m_worker->moveToThread(&m_thread);
    m_opening = std::make_shared<std::promise<QString>>();
    m_opened = m_opening->get_future().share();
    m_dataDirectory = dataDirectory;
    m_thread.start(QThread::LowPriority);
}

void HistoryWriter::startOpening()
{
    if (!m_opening)
        return;
    QMetaObject::invokeMethod(m_worker,
        [worker = m_worker, opened = std::exchange(m_opening, {}), dir = m_dataDirectory] {
            const QString error = worker->open(dir);
            opened->set_value(error);
            worker->reportIfAny(error);
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

QString HistoryWriter::openError()
{
    startOpening();
    QString error = m_opened.get();
    if (!error.isEmpty())
        m_reported = true;
    return error;
}

void HistoryWriter::flush()
{
    startOpening();
    QMetaObject::invokeMethod(
        m_worker, [] {}, Qt::BlockingQueuedConnection);
}

void HistoryWriter::report(const QString &message)
{
    if (m_reported)
        return;
    m_reported = true;
    emit unavailable(message);
}

} // namespace calvenza
