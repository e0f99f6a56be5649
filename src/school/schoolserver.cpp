#include "school/schoolserver.h"

#include "school/outbox.h"
#include "school/serviceconfig.h"

#include <QAtomicInteger>
#include <QMutex>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QVariant>

#include <dlfcn.h>
#include <sys/socket.h>

namespace calvenza {

namespace {

QString nextConnectionName()
{
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("calvenza-school-%1").arg(counter.fetchAndAddRelaxed(1));
}

// PostgreSQL's array literals, so a whole batch travels as a dozen bound values.
QString textArray(const QStringList &values)
{
    QString out = QStringLiteral("{");
    for (const QString &value : values) {
        if (out.size() > 1)
            out += u',';
        out += u'"';
        for (const QChar c : value) {
            if (c == u'"' || c == u'\\')
                out += u'\\';
            // The server's text cannot hold a NUL.
            out += c.isNull() ? QChar(QChar::ReplacementCharacter) : c;
        }
        out += u'"';
    }
    return out + u'}';
}

template<typename Number> QString numberArray(const QList<Number> &values)
{
    QString out = QStringLiteral("{");
    for (const Number value : values) {
        if (out.size() > 1)
            out += u',';
        if constexpr (std::is_same_v<Number, bool>)
            out += value ? u't' : u'f';
        else
            out += QString::number(value);
    }
    return out + u'}';
}

// The server's words on one line, without the statement it quotes back.
QString serverWords(const QSqlError &error)
{
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.left(text.indexOf(QLatin1String("CONTEXT:"))).simplified();
}

// The sockets of the open connections. A server that stops answering in the middle of a
// statement (stopped, or a link that swallows packets) holds its thread for ever: the server's
// statement timeout cannot fire, and its kernel still answers keepalives. Only cutting the
// socket frees the thread, which a program that is ending does.
QMutex openSocketsLock;
QSet<int> openSockets;

int socketOf(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (qstrcmp(handle.typeName(), "pg_conn*") != 0) // libpq's PGconn, as Qt names it
        return -1;
    void *connection = *static_cast<void *const *>(handle.constData());
    // libpq is loaded already, by Qt's driver: asked for its socket, not linked again.
    using SocketFunction = int (*)(const void *);
    static const SocketFunction pqSocket = [] {
        void *libpq = dlopen("libpq.so.5", RTLD_LAZY | RTLD_NOLOAD);
        return libpq ? reinterpret_cast<SocketFunction>(dlsym(libpq, "PQsocket")) : nullptr;
    }();
    return connection && pqSocket ? pqSocket(connection) : -1;
}

} // namespace

QString describe(const LinkStatus &status)
{
    QString text;
    switch (status.state) {
    case LinkState::Linked:
        text = QStringLiteral("Calvenza è collegato al server della scuola.");
        break;
    case LinkState::NoService:
        text = QStringLiteral("Il servizio «calvenza» non è definito in pg_service.conf: le "
                              "risposte restano su questo computer.");
        break;
    case LinkState::NoDriver:
        text = QStringLiteral("Manca il driver PostgreSQL di Qt (pacchetto libqt6sql6-psql): le "
                              "risposte restano su questo computer.");
        break;
    case LinkState::Unreachable:
        text = QStringLiteral("Il server della scuola non risponde: le risposte restano su questo "
                              "computer e partiranno quando tornerà.");
        break;
    case LinkState::WrongPassword:
        text = QStringLiteral("Il server della scuola non accetta la password di questo computer "
                              "(.pgpass): le risposte restano su questo computer.");
        break;
    case LinkState::NoSchema:
        text = QStringLiteral("Sul server della scuola manca lo schema di Calvenza "
                              "(calvenza-scuola.sql): le risposte restano su questo computer.");
        break;
    case LinkState::NewerSchema:
        text = QStringLiteral("Il server della scuola è di una versione più nuova di Calvenza: le "
                              "risposte restano su questo computer.");
        break;
    case LinkState::NotAllowed:
        text = QStringLiteral("Il server della scuola non permette a questo computer di scrivere "
                              "le risposte (ruolo calvenza_macchina): restano su questo computer.");
        break;
    case LinkState::Failed:
        text = QStringLiteral("Il server della scuola ha rifiutato le risposte: restano su questo "
                              "computer.");
        break;
    }
    const QString detail = status.detail.trimmed();
    return detail.isEmpty() ? text : QStringLiteral("%1 (%2)").arg(text, detail);
}

LinkState connectionFailure(const QString &libpqMessage)
{
    static const char *const passwordRefused[] = {
        "password authentication failed",
        "autenticazione con password fallita",
        "no password supplied",
        "password retrieved from file",
        "password ottenuta dal file",
    };
    for (const char *words : passwordRefused) {
        if (libpqMessage.contains(QLatin1String(words), Qt::CaseInsensitive))
            return LinkState::WrongPassword;
    }
    if (libpqMessage.contains(QLatin1String("definition of service"))
        || libpqMessage.contains(QLatin1String("definizione di servizio")))
        return LinkState::NoService;
    return LinkState::Unreachable;
}

SchoolServer::SchoolServer()
    : m_connectionName(nextConnectionName())
{
}

SchoolServer::~SchoolServer()
{
    forgetSocket();
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

bool SchoolServer::isOpen() const
{
    return QSqlDatabase::contains(m_connectionName)
        && QSqlDatabase::database(m_connectionName, false).isOpen();
}

int SchoolServer::watchConnection(const QSqlDatabase &db)
{
    const int socket = socketOf(db);
    if (socket >= 0) {
        const QMutexLocker locker(&openSocketsLock);
        openSockets.insert(socket);
    }
    return socket;
}

void SchoolServer::forgetConnection(int socket)
{
    const QMutexLocker locker(&openSocketsLock);
    openSockets.remove(socket);
}

void SchoolServer::forgetSocket()
{
    forgetConnection(std::exchange(m_socket, -1));
}

void SchoolServer::cutEveryConnection()
{
    const QMutexLocker locker(&openSocketsLock);
    for (const int socket : std::as_const(openSockets))
        ::shutdown(socket, SHUT_RDWR);
}

void SchoolServer::close()
{
    // Forgotten before libpq closes it, so no other file ever gets this number cut.
    forgetSocket();
    if (QSqlDatabase::contains(m_connectionName))
        QSqlDatabase::database(m_connectionName, false).close();
}

LinkState statementFailure(const QSqlError &error, bool stillOpen)
{
    const QString code = error.nativeErrorCode();
    if (!stillOpen || error.type() == QSqlError::ConnectionError || code.isEmpty()
        || code.startsWith(QLatin1String("08")) || code.startsWith(QLatin1String("57")))
        return LinkState::Unreachable;
    if (code == QLatin1String("42P01") || code == QLatin1String("3F000")
        || code == QLatin1String("42883"))
        return LinkState::NoSchema;
    if (code == QLatin1String("42501"))
        return LinkState::NotAllowed;
    return LinkState::Failed;
}

LinkStatus SchoolServer::queryFailure(const QSqlError &error) const
{
    return {statementFailure(error, isOpen()), serverWords(error)};
}

LinkStatus SchoolServer::open(int connectSeconds, int statementSeconds)
{
    // A connection left by a server restart is dead: Qt does not reconnect by itself.
    close();
    QSqlDatabase db = QSqlDatabase::contains(m_connectionName)
        ? QSqlDatabase::database(m_connectionName, false)
        : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connectionName);
    if (!db.isValid())
        return {LinkState::NoDriver, {}};
    db.setConnectOptions(schoolConnectOptions(connectSeconds));
    if (!db.open())
        return {connectionFailure(db.lastError().databaseText()), serverWords(db.lastError())};
    m_socket = watchConnection(db);
    // A batch takes milliseconds; one held by a lock on the server must not hold the program's
    // end with it. A prepared statement must be gone before a failure closes the connection.
    const QSqlError untimed = [&] {
        QSqlQuery timeout(db);
        timeout.prepare(QStringLiteral("SELECT set_config('statement_timeout', ?, false)"));
        timeout.addBindValue(QStringLiteral("%1s").arg(statementSeconds));
        return timeout.exec() ? QSqlError() : timeout.lastError();
    }();
    QSqlQuery q(db);
    if (untimed.isValid() || !q.exec(QStringLiteral("SELECT version FROM calvenza.version"))
        || !q.next()) {
        LinkStatus failure = queryFailure(untimed.isValid() ? untimed : q.lastError());
        q.finish();
        close();
        return failure;
    }
    const int version = q.value(0).toInt();
    q.finish();
    if (version > schoolSchemaVersion) {
        close();
        return {LinkState::NewerSchema,
            QStringLiteral("versione %1, questo Calvenza conosce la %2")
                .arg(version)
                .arg(schoolSchemaVersion)};
    }
    return {};
}

std::optional<qint64> SchoolServer::send(const OutboxBatch &batch, LinkStatus *failure)
{
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.prepare(QStringLiteral(
        "SELECT calvenza.add_answers(?::uuid, ?::bigint[], ?::text[], ?::text[], ?::text[],"
        " ?::integer[], ?::integer[], ?::bigint[], ?::text[], ?::boolean[], ?::integer[],"
        " ?::integer[])"));
    q.addBindValue(batch.machineId);
    q.addBindValue(numberArray(batch.localSeqs));
    q.addBindValue(textArray(batch.names));
    q.addBindValue(textArray(batch.nameKeys));
    q.addBindValue(textArray(batch.classNames)); // empty: the pupils with no class
    q.addBindValue(numberArray(batch.tables));
    q.addBindValue(numberArray(batch.factors));
    q.addBindValue(numberArray(batch.answeredMs));
    q.addBindValue(textArray(batch.typed));
    q.addBindValue(numberArray(batch.rights));
    q.addBindValue(numberArray(batch.msTaken));
    q.addBindValue(numberArray(batch.modes));
    if (!q.exec() || !q.next()) {
        *failure = queryFailure(q.lastError());
        return std::nullopt;
    }
    return q.value(0).toLongLong();
}

std::optional<QList<AnswerRecord>> SchoolServer::answersOfPupil(const QString &pupilKey,
    const QString &pupilClass, const QString &machineId, qint64 sentUpto, LinkStatus *failure)
{
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.setForwardOnly(true);
    // The pupil of that class, else the one with no class, as add_answers chooses.
    q.prepare(QStringLiteral(
        "SELECT a.times_table, a.factor, a.typed, a.is_right, a.ms_taken,"
        " (extract(epoch FROM a.answered_at) * 1000)::bigint, a.mode"
        " FROM calvenza.answers a WHERE a.pupil_id = coalesce("
        "(SELECT p.id FROM calvenza.pupils p JOIN calvenza.classes c ON c.id = p.class_id"
        " WHERE p.name_key = ? AND c.name = ?),"
        " (SELECT p.id FROM calvenza.pupils p WHERE p.name_key = ? AND p.class_id IS NULL))"
        " AND NOT (a.machine_id = ?::uuid AND a.local_seq > ?)"
        " ORDER BY a.answered_at, a.machine_id, a.local_seq"));
    q.addBindValue(pupilKey);
    q.addBindValue(pupilClass);
    q.addBindValue(pupilKey);
    q.addBindValue(machineId);
    q.addBindValue(sentUpto);
    if (!q.exec()) {
        *failure = queryFailure(q.lastError());
        return std::nullopt;
    }
    QList<AnswerRecord> answers;
    while (q.next()) {
        AnswerRecord a;
        a.table = q.value(0).toInt();
        a.factor = q.value(1).toInt();
        a.typed = q.value(2).toString();
        a.right = q.value(3).toBool();
        a.msTaken = q.value(4).toLongLong();
        a.answeredAt = QDateTime::fromMSecsSinceEpoch(q.value(5).toLongLong(), Qt::UTC);
        a.mode = q.value(6).toInt() == int(DrillMode::Ripasso) ? DrillMode::Ripasso
                                                               : DrillMode::Challenge;
        answers << a;
    }
    // A connection cut while the rows arrive ends them early.
    if (q.lastError().isValid()) {
        *failure = queryFailure(q.lastError());
        return std::nullopt;
    }
    return answers;
}

std::optional<Roster> SchoolServer::classLists(LinkStatus *failure)
{
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.setForwardOnly(true);
    Roster roster;
    // One moment of the lists: a teacher moving a pupil meanwhile is seen whole or not at all.
    const bool read = q.exec(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"))
        && q.exec(QStringLiteral("SELECT c.name, p.name, p.name_key FROM calvenza.pupils p"
                                 " JOIN calvenza.classes c ON c.id = p.class_id"
                                 " ORDER BY c.name, p.name"))
        &&
        [&] {
            while (q.next())
                roster.pupils.append(
                    {q.value(0).toString(), q.value(1).toString(), q.value(2).toString()});
            return !q.lastError().isValid();
        }()
        && q.exec(QStringLiteral("SELECT c.name, array_to_string(t.tables, ',')"
                                 " FROM calvenza.class_tables t"
                                 " JOIN calvenza.classes c ON c.id = t.class_id"))
        && [&] {
               while (q.next()) {
                   if (const QList<int> tables = tablesFromText(q.value(1).toString());
                       !tables.isEmpty())
                       roster.tables.insert(q.value(0).toString(), tables);
               }
               return !q.lastError().isValid();
           }();
    if (!read) {
        *failure = queryFailure(q.lastError());
        QSqlQuery(QSqlDatabase::database(m_connectionName, false)).exec(QStringLiteral("ROLLBACK"));
        return std::nullopt;
    }
    q.exec(QStringLiteral("COMMIT"));
    return roster;
}

QString SchoolServer::serverVersion()
{
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    return q.exec(QStringLiteral("SHOW server_version")) && q.next() ? q.value(0).toString()
                                                                     : QString();
}

std::optional<int> SchoolServer::schemaVersion()
{
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    if (!q.exec(QStringLiteral("SELECT version FROM calvenza.version")) || !q.next())
        return std::nullopt;
    return q.value(0).toInt();
}

std::optional<qint64> SchoolServer::answersOfMachine(const QString &machineId)
{
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.prepare(QStringLiteral("SELECT count(*) FROM calvenza.answers WHERE machine_id = ?::uuid"));
    q.addBindValue(machineId);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return q.value(0).toLongLong();
}

} // namespace calvenza
