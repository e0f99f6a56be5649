#include "memory/historydatabase.h"

#include "platform/networkfolder.h"
#include "school/serviceconfig.h"

#include <QAtomicInteger>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QMutex>
#include <QSqlDriver>
#include <QSqlError>
#include <QThread>
#include <QVariant>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace calvenza {

namespace {

// SQLite's own result codes for a file that is not (or no longer) a database.
const QString sqliteNotADatabase = QStringLiteral("26");
const QString sqliteCorrupt = QStringLiteral("11");
const QString sqliteBusy = QStringLiteral("5");
const QString sqliteLocked = QStringLiteral("6");

const QString cannotKeep = QStringLiteral("Oggi non riesco a ricordare le tue risposte, ma puoi "
                                          "giocare lo stesso. Avvisa la maestra o il maestro.");
const QString cannotRead
    = QStringLiteral("Non riesco a leggere le risposte di prima. Avvisa la maestra o il maestro.");

QString nextConnectionName()
{
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("calvenza-history-%1").arg(counter.fetchAndAddRelaxed(1));
}

// Each step takes the layout from version N to N + 1.
const char *const upgradeSteps[][6] = {
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
    {
        // A pupil is a name within a class, so Marco of 3A and Marco of 3B stay two children.
        // SQLite cannot drop the old uniqueness: the table is made again, with the same ids.
        "CREATE TABLE pupil_v3 (id INTEGER PRIMARY KEY, name TEXT NOT NULL,"
        " name_key TEXT NOT NULL, class_name TEXT NOT NULL DEFAULT '',"
        " UNIQUE (name_key, class_name))",
        "INSERT INTO pupil_v3 (id, name, name_key) SELECT id, name, name_key FROM pupil",
        "DROP TABLE pupil",
        "ALTER TABLE pupil_v3 RENAME TO pupil",
        // The school's class lists and the tables each class's ripasso covers ("6,7,8"), as
        // last read from its server: the name box offers them without waiting on the network.
        "CREATE TABLE roster (class_name TEXT NOT NULL, pupil_name TEXT NOT NULL,"
        " name_key TEXT NOT NULL, PRIMARY KEY (class_name, name_key)) WITHOUT ROWID",
        "CREATE TABLE roster_tables (class_name TEXT PRIMARY KEY, tables TEXT NOT NULL)"
        " WITHOUT ROWID",
    },
};
static_assert(std::size(upgradeSteps) == historySchemaVersion);

// What SQLite makes of a file, asked read-only on a connection of its own, so that nothing is
// created or changed: false only when it is certainly not a database.
bool looksLikeADatabase(const QString &path)
{
    sqlite3 *db = nullptr;
    bool database = true;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr)
        == SQLITE_OK) {
        const int rc
            = sqlite3_exec(db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
        database = rc != SQLITE_NOTADB && rc != SQLITE_CORRUPT;
    }
    sqlite3_close(db);
    return database;
}

QString lastSystemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

QString historyFileName()
{
    return QStringLiteral("storia.sqlite");
}

namespace {

// Whether a history holds answers its outbox has not seen confirmed; true when it cannot say.
bool holdsUnsentAnswers(const QString &path)
{
    if (!QFileInfo::exists(path))
        return false;
    bool unsent = true;
    const QString name = nextConnectionName();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"));
        QSqlQuery q(db);
        if (db.open()
            && q.exec(QStringLiteral("SELECT EXISTS (SELECT 1 FROM answer, outbox"
                                     " WHERE answer.local_seq > outbox.sent_upto)"))
            && q.next())
            unsent = q.value(0).toBool();
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return unsent;
}

} // namespace

QString chooseHistoryFolder(
    const QString &dataDirectory, bool networkAtSchool, const QString &machineFolderBase)
{
    if (!networkAtSchool)
        return dataDirectory;
    QString why;
    QString own = machineOwnFolder(machineFolderBase, &why);
    if (own.isEmpty()) {
        qInfo(
            "calvenza: la storia resta nella cartella dei dati in rete: %s.", qUtf8Printable(why));
        return dataDirectory;
    }
    if (holdsUnsentAnswers(QDir(dataDirectory).filePath(historyFileName()))) {
        qInfo("calvenza: la storia nella cartella dei dati in rete ha risposte non ancora sul "
              "server della scuola: resta lì finché non le avrà tutte.");
        return dataDirectory;
    }
    qInfo("calvenza: la cartella dei dati è in rete: la storia di questo computer è in «%s», "
          "quella di ogni alunno sul server della scuola.",
        qUtf8Printable(own));
    return own;
}

QString historyFolder(const QString &dataDirectory)
{
    // Once per run: the writer, the readers and the sender must all find the same history.
    static QMutex lock;
    static QHash<QString, QString> chosen;
    const QMutexLocker locker(&lock);
    if (const auto found = chosen.constFind(dataDirectory); found != chosen.constEnd())
        return *found;
    QString folder = chooseHistoryFolder(dataDirectory,
        onNetworkFileSystem(dataDirectory) && schoolServiceDefined(), QStringLiteral("/var/tmp"));
    chosen.insert(dataDirectory, folder);
    return folder;
}

std::optional<FileIdentity> fileIdentity(const QString &path)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return FileIdentity {quint64(info.st_dev), quint64(info.st_ino)};
}

MoveAside moveBadHistoryAside(const QString &path, const FileIdentity &inspected, QString *details)
{
    const auto failed = [&](const QString &why) {
        if (details)
            *details = QStringLiteral("«%1»: %2").arg(QDir::toNativeSeparators(path), why);
        return MoveAside::Failed;
    };
    // Every Calvenza takes it for this, so nobody renames between the checks and the rename.
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.tryLock(10000))
        return failed(QStringLiteral("non è un database SQLite e non riesco a prendere il file "
                                     "di blocco per metterlo da parte"));
    if (fileIdentity(path) != inspected || looksLikeADatabase(path))
        return MoveAside::LeftInPlace;
    const QString stamp
        = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    // A journal left beside it would be rolled back into the new history: it goes too.
    for (const QString &suffix :
        {QString(), QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")}) {
        const QString from = path + suffix;
        const QString to = path + QStringLiteral(".rovinata-") + stamp + suffix;
        if (QFile::exists(from)
            && ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData())
                != 0)
            return failed(QStringLiteral("non è un database SQLite e non riesco a rinominarlo "
                                         "«%1»: %2")
                              .arg(QDir::toNativeSeparators(to), lastSystemError()));
    }
    return MoveAside::Moved;
}

RawRows::RawRows(const HistoryDatabase &db, const char *sql)
    : m_db(db)
    , m_step(SQLITE_DONE)
{
    const QVariant handle = db.query().driver()->handle();
    if (qstrcmp(handle.typeName(), "sqlite3*") == 0)
        m_connection = *static_cast<sqlite3 *const *>(handle.constData());
    if (m_connection)
        sqlite3_prepare_v2(m_connection, sql, -1, &m_statement, nullptr);
}

RawRows::~RawRows()
{
    sqlite3_finalize(m_statement);
}

void RawRows::bind(int place, qint64 value)
{
    sqlite3_bind_int64(m_statement, place, value);
}

void RawRows::reset()
{
    sqlite3_reset(m_statement);
    m_step = SQLITE_DONE;
}

bool RawRows::next()
{
    m_step = sqlite3_step(m_statement);
    return m_step == SQLITE_ROW;
}

bool RawRows::failed() const
{
    return !m_statement || m_step != SQLITE_DONE;
}

Problem RawRows::problem() const
{
    return m_db.readProblem(m_connection ? QString::fromUtf8(sqlite3_errmsg(m_connection))
                                         : QStringLiteral("il driver SQLite di Qt non dà la "
                                                          "sua connessione"));
}

qint64 RawRows::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

QByteArrayView RawRows::text(int column) const
{
    return {reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column)),
        sqlite3_column_bytes(m_statement, column)};
}

HistoryDatabase::HistoryDatabase(const QString &dataDirectory, Access access)
    : m_connectionName(nextConnectionName())
    , m_path(QDir(historyFolder(dataDirectory)).filePath(historyFileName()))
    , m_access(access)
{
    m_open = open();
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

Problem HistoryDatabase::readProblem(const QString &why) const
{
    return {cannotRead, QStringLiteral("«%1»: %2").arg(QDir::toNativeSeparators(m_path), why)};
}

bool HistoryDatabase::fail(const QString &why)
{
    m_problem = readProblem(why);
    if (m_access == Access::Write)
        m_problem.sentence = cannotKeep;
    return false;
}

bool HistoryDatabase::exec(QSqlQuery &query)
{
    return query.exec() || fail(query.lastError().text());
}

bool HistoryDatabase::exec(const QString &statement)
{
    QSqlQuery q = query();
    return q.exec(statement) || fail(q.lastError().text());
}

bool HistoryDatabase::beginWrite()
{
    return exec(QStringLiteral("BEGIN IMMEDIATE"));
}

bool HistoryDatabase::beginRead()
{
    return exec(QStringLiteral("BEGIN"));
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

qint64 HistoryDatabase::pupilId(const QString &label)
{
    const PupilOfClass pupil = splitPupilLabel(label);
    QSqlQuery q = query();
    q.prepare(QStringLiteral("SELECT id FROM pupil WHERE name_key = ? AND class_name = ?"));
    q.addBindValue(pupilKey(pupil.name));
    q.addBindValue(pupil.pupilClass.isNull() ? QStringLiteral("") : pupil.pupilClass);
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
        return fail(QStringLiteral("manca il driver SQLite di Qt (pacchetto libqt6sql6-sqlite)"));
    db.setDatabaseName(m_path);
    // Another Calvenza may be writing: wait for it rather than fail.
    db.setConnectOptions(m_access == Access::ReadOnly
            ? QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000;QSQLITE_OPEN_READONLY")
            : QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    return db.open() || fail(db.lastError().text());
}

bool HistoryDatabase::open()
{
    const QString folder = QFileInfo(m_path).absolutePath();
    if (m_access == Access::Write) {
        if (!QDir().mkpath(folder)) {
            m_problem = {cannotKeep,
                QStringLiteral("«%1»: non riesco a creare la cartella")
                    .arg(QDir::toNativeSeparators(folder))};
            return false;
        }
        QFile::setPermissions(
            folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); // best effort
    }
    // A second look only after a bad file was moved aside, or another program changed it.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!QFile::exists(m_path)) {
            if (m_access == Access::ReadOnly)
                return false;
            // Created here so that it is private from its first byte; SQLite gives the
            // journal files the same permissions.
            QFile file(m_path);
            if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
                file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
            else if (!QFile::exists(m_path)) // another Calvenza may have just made it
                return fail(file.errorString());
        }
        const std::optional<FileIdentity> inspected = fileIdentity(m_path);
        if (!openConnection())
            return false;
        QSqlQuery q = query();
        if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
            const QSqlError error = q.lastError();
            const QString code = error.nativeErrorCode();
            q.finish();
            if (code != sqliteNotADatabase && code != sqliteCorrupt)
                return fail(error.text());
            if (m_access == Access::ReadOnly)
                return fail(QStringLiteral("non è un database SQLite (%1)").arg(error.text()));
            QSqlDatabase::database(m_connectionName, false).close();
            // The path may have been pointed at another file since: only a file seen bad goes.
            if (inspected && fileIdentity(m_path) == inspected) {
                QString details;
                if (moveBadHistoryAside(m_path, *inspected, &details) == MoveAside::Failed) {
                    m_problem = {cannotKeep, details};
                    return false;
                }
            }
            continue;
        }
        const int version = q.value(0).toInt();
        q.finish();
        if (version > historySchemaVersion)
            return fail(QStringLiteral("è stata scritta da una versione più nuova di Calvenza "
                                       "(%1), e la lascio com'è")
                            .arg(version));
        if (m_access == Access::ReadOnly) {
            // Made but not yet laid out by a writer: nothing to read yet.
            if (version == 0)
                return false;
            return version == historySchemaVersion
                || fail(QStringLiteral("è stata scritta da una versione più vecchia di Calvenza "
                                       "(%1): la aggiorna la prossima sfida")
                            .arg(version));
        }
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner);
        // WAL needs memory shared between the programs, which a folder on the network cannot
        // give: there the rollback journal, and every commit on the server's disk.
        const bool network = onNetworkFileSystem(folder);
        if (network) {
            static std::once_flag said;
            std::call_once(said, [&] {
                qInfo("calvenza: la cartella dei dati «%s» è in rete: la storia vi è scritta "
                      "senza WAL (journal_mode=DELETE, synchronous=FULL).",
                    qUtf8Printable(QDir::toNativeSeparators(folder)));
            });
        }
        // Changing the journal needs the file alone for a moment, and SQLite does not wait.
        for (int tries = 0;; ++tries) {
            QSqlQuery journal = query();
            if (journal.exec(network ? QStringLiteral("PRAGMA journal_mode=DELETE")
                                     : QStringLiteral("PRAGMA journal_mode=WAL")))
                break;
            const QString code = journal.lastError().nativeErrorCode();
            if (tries == 100 || (code != sqliteBusy && code != sqliteLocked))
                return fail(journal.lastError().text());
            QThread::msleep(20);
        }
        if (!exec(network ? QStringLiteral("PRAGMA synchronous=FULL")
                          : QStringLiteral("PRAGMA synchronous=NORMAL")))
            return false;
        return version == historySchemaVersion || upgrade(version);
    }
    return fail(
        QStringLiteral("non è un database SQLite, e resta tale dopo averlo messo da parte"));
}

bool HistoryDatabase::upgrade(int fromVersion)
{
    if (!beginWrite())
        return false;
    // Another program may have upgraded it while this one waited for the lock.
    QSqlQuery q = query();
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
        const QString why = q.lastError().text();
        rollback();
        return fail(why);
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
