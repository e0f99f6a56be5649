#include "memory/historydatabase.h"

#include <QAtomicInteger>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QThread>
#include <QVariant>

namespace calvenza {

namespace {

// SQLite's own result codes for a file that is not (or no longer) a database.
const QString sqliteNotADatabase = QStringLiteral("26");
const QString sqliteCorrupt = QStringLiteral("11");
const QString sqliteBusy = QStringLiteral("5");
const QString sqliteLocked = QStringLiteral("6");

QString nextConnectionName()
{
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("calvenza-history-%1").arg(counter.fetchAndAddRelaxed(1));
}

// Each step takes the layout from version N to N + 1.
const char *const upgradeSteps[][5] = {
    {
        "CREATE TABLE pupil (id INTEGER PRIMARY KEY, name TEXT NOT NULL,"
        " name_key TEXT NOT NULL UNIQUE)",
        // Kept in the order the picture and the ripasso read it: one pupil's answers fact by
        // fact, oldest first, with no index beside it. seq tells apart two answers of one pupil
        // to one fact in the same millisecond.
        "CREATE TABLE answer (pupil_id INTEGER NOT NULL REFERENCES pupil,"
        " times_table INTEGER NOT NULL, factor INTEGER NOT NULL, answered_at INTEGER NOT NULL,"
        " seq INTEGER NOT NULL, typed TEXT NOT NULL, is_right INTEGER NOT NULL,"
        " ms_taken INTEGER NOT NULL, mode INTEGER NOT NULL,"
        " PRIMARY KEY (pupil_id, times_table, factor, answered_at, seq)) WITHOUT ROWID",
        // The counts of each fact, kept with every answer, so the picture need not count
        // thousands of answers.
        "CREATE TABLE fact (pupil_id INTEGER NOT NULL REFERENCES pupil,"
        " times_table INTEGER NOT NULL, factor INTEGER NOT NULL, asked INTEGER NOT NULL,"
        " right_count INTEGER NOT NULL, PRIMARY KEY (pupil_id, times_table, factor))"
        " WITHOUT ROWID",
        "CREATE TABLE challenge (id INTEGER PRIMARY KEY, pupil_id INTEGER NOT NULL REFERENCES"
        " pupil, times_table INTEGER NOT NULL, ended_at INTEGER NOT NULL,"
        " right_count INTEGER NOT NULL, wrong_count INTEGER NOT NULL, set_record INTEGER NOT NULL)",
        "CREATE INDEX challenge_by_pupil ON challenge (pupil_id, ended_at, times_table,"
        " right_count, wrong_count, set_record)",
    },
    {
        // The school's server keys each answer by this machine and the answer's place here, so
        // a batch sent twice adds nothing; the history's own answers are numbered by time.
        "ALTER TABLE answer ADD COLUMN local_seq INTEGER",
        "UPDATE answer SET local_seq = numbered.n FROM (SELECT pupil_id AS p, times_table AS t,"
        " factor AS f, answered_at AS a, seq AS s, row_number() OVER (ORDER BY answered_at,"
        " pupil_id, times_table, factor, seq) AS n FROM answer) AS numbered WHERE pupil_id = p"
        " AND times_table = t AND factor = f AND answered_at = a AND seq = s",
        "CREATE UNIQUE INDEX answer_by_local_seq ON answer (local_seq)",
        // One row: this machine's random id (a version 4 UUID), made once, and the last local
        // sequence the server has confirmed.
        "CREATE TABLE outbox (only_row INTEGER PRIMARY KEY CHECK (only_row = 1),"
        " machine_id TEXT NOT NULL, sent_upto INTEGER NOT NULL)",
        "INSERT INTO outbox VALUES (1, lower(hex(randomblob(4)) || '-' || hex(randomblob(2))"
        " || '-4' || substr(hex(randomblob(2)), 2) || '-' || substr('89ab', 1 + abs(random() % 4),"
        " 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))), 0)",
    },
};
static_assert(std::size(upgradeSteps) == historySchemaVersion);

} // namespace

QString historyFileName()
{
    return QStringLiteral("storia.sqlite");
}

HistoryDatabase::HistoryDatabase(const QString &dataDirectory, Missing missing)
    : m_connectionName(nextConnectionName())
    , m_path(QDir(dataDirectory).filePath(historyFileName()))
{
    m_open = open(missing);
    if (!m_open && QSqlDatabase::contains(m_connectionName))
        QSqlDatabase::database(m_connectionName, false).close();
}

HistoryDatabase::~HistoryDatabase()
{
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

QSqlQuery HistoryDatabase::query() const
{
    return QSqlQuery(QSqlDatabase::database(m_connectionName, false));
}

bool HistoryDatabase::fail(const QString &what, const QString &why)
{
    m_error = QStringLiteral("%1 «%2»: %3.").arg(what, QDir::toNativeSeparators(m_path), why);
    return false;
}

bool HistoryDatabase::exec(QSqlQuery &query)
{
    if (query.exec())
        return true;
    return fail(
        QStringLiteral("Non riesco a usare la storia delle risposte"), query.lastError().text());
}

bool HistoryDatabase::exec(const QString &statement)
{
    QSqlQuery q = query();
    if (q.exec(statement))
        return true;
    return fail(
        QStringLiteral("Non riesco a usare la storia delle risposte"), q.lastError().text());
}

bool HistoryDatabase::beginWrite()
{
    return exec(QStringLiteral("BEGIN IMMEDIATE"));
}

bool HistoryDatabase::commit()
{
    return exec(QStringLiteral("COMMIT"));
}

void HistoryDatabase::rollback()
{
    QSqlQuery q = query();
    q.exec(QStringLiteral("ROLLBACK")); // nothing else to do if even this fails
}

qint64 HistoryDatabase::pupilId(const QString &typedName)
{
    QSqlQuery q = query();
    q.prepare(QStringLiteral("SELECT id FROM pupil WHERE name_key = ?"));
    q.addBindValue(pupilKey(typedName));
    if (!exec(q) || !q.next())
        return -1;
    return q.value(0).toLongLong();
}

bool HistoryDatabase::openConnection()
{
    QSqlDatabase db = QSqlDatabase::contains(m_connectionName)
        ? QSqlDatabase::database(m_connectionName, false)
        : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    if (!db.isValid())
        return fail(QStringLiteral("Non riesco ad aprire la storia delle risposte"),
            QStringLiteral("manca il driver SQLite di Qt (pacchetto libqt6sql6-sqlite)"));
    db.setDatabaseName(m_path);
    // Another Calvenza may be writing: wait for it rather than fail.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open())
        return fail(
            QStringLiteral("Non riesco ad aprire la storia delle risposte"), db.lastError().text());
    return true;
}

bool HistoryDatabase::moveAside(const QString &why)
{
    QSqlDatabase::database(m_connectionName, false).close();
    const QString stamp
        = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        const QString from = m_path + suffix;
        if (QFile::exists(from)
            && !QFile::rename(from, m_path + QStringLiteral(".rovinata-") + stamp + suffix))
            return fail(QStringLiteral("La storia delle risposte non si legge e non riesco a "
                                       "metterla da parte"),
                why);
    }
    return true;
}

bool HistoryDatabase::open(Missing missing)
{
    const QString folder = QFileInfo(m_path).absolutePath();
    if (missing == Missing::Create) {
        if (!QDir().mkpath(folder))
            return fail(
                QStringLiteral("Non riesco a creare la cartella della storia delle risposte"),
                QStringLiteral("la cartella non si può creare"));
        QFile::setPermissions(
            folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); // best effort
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!QFile::exists(m_path)) {
            if (missing == Missing::LeaveAlone)
                return false;
            // Created here so that it is private from its first byte; SQLite gives the
            // journal files the same permissions.
            QFile file(m_path);
            if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
                file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
            else if (!QFile::exists(m_path)) // another Calvenza may have just made it
                return fail(QStringLiteral("Non riesco a creare la storia delle risposte"),
                    file.errorString());
        }
        if (!openConnection())
            return false;
        QSqlQuery q = query();
        if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
            const QSqlError error = q.lastError();
            const QString code = error.nativeErrorCode();
            q.finish();
            if ((code == sqliteNotADatabase || code == sqliteCorrupt) && attempt == 0) {
                if (!moveAside(error.text()))
                    return false;
                continue;
            }
            return fail(
                QStringLiteral("Non riesco a leggere la storia delle risposte"), error.text());
        }
        const int version = q.value(0).toInt();
        q.finish();
        if (version > historySchemaVersion)
            return fail(QStringLiteral("La storia delle risposte"),
                QStringLiteral("è stata scritta da una versione più nuova di Calvenza, e la "
                               "lascio com'è"));
        if (missing == Missing::Create)
            QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner);
        // Turning to WAL needs the file alone for a moment, and SQLite does not wait for it.
        for (int tries = 0;; ++tries) {
            QSqlQuery wal = query();
            if (wal.exec(QStringLiteral("PRAGMA journal_mode=WAL")))
                break;
            const QString code = wal.lastError().nativeErrorCode();
            if (tries == 100 || (code != sqliteBusy && code != sqliteLocked))
                return fail(QStringLiteral("Non riesco a usare la storia delle risposte"),
                    wal.lastError().text());
            QThread::msleep(20);
        }
        if (!exec(QStringLiteral("PRAGMA synchronous=NORMAL")))
            return false;
        return version == historySchemaVersion || upgrade(version);
    }
    return false;
}

bool HistoryDatabase::upgrade(int fromVersion)
{
    if (!beginWrite())
        return false;
    // Another program may have upgraded it while this one waited for the lock.
    QSqlQuery q = query();
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
        rollback();
        return fail(
            QStringLiteral("Non riesco a leggere la storia delle risposte"), q.lastError().text());
    }
    fromVersion = q.value(0).toInt();
    q.finish();
    for (int version = fromVersion; version < historySchemaVersion; ++version) {
        for (const char *statement : upgradeSteps[version]) {
            if (statement && !exec(QString::fromLatin1(statement))) {
                rollback();
                return false;
            }
        }
    }
    if (fromVersion < historySchemaVersion
        && !exec(QStringLiteral("PRAGMA user_version = %1").arg(historySchemaVersion))) {
        rollback();
        return false;
    }
    if (!commit()) {
        rollback();
        return false;
    }
    return true;
}

} // namespace calvenza
