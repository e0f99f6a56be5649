#include "register/serverclasssource.h"

#include "school/schoolserver.h"
#include "school/serviceconfig.h"

#include <QAtomicInteger>
#include <QCollator>
#include <QFile>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>
#include <QVariant>
#include <algorithm>

namespace calvenza {

namespace {

const QString listened = QStringLiteral("calvenza_risposte");
constexpr int retryMs = 5000;

QString nextConnectionName()
{
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("calvenza-register-%1").arg(counter.fetchAndAddRelaxed(1));
}

QString serverWords(const QSqlError &error)
{
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.left(text.indexOf(QLatin1String("CONTEXT:"))).simplified();
}

// "{t,f,t}" and "{2000,-1}", as the driver gives PostgreSQL's arrays.
QStringList arrayItems(const QVariant &value)
{
    QString text = value.toString();
    if (text.size() < 2)
        return {};
    text = text.mid(1, text.size() - 2);
    return text.isEmpty() ? QStringList() : text.split(u',');
}

QString idArray(const QStringList &ids)
{
    return u'{' + ids.join(u',') + u'}';
}

QVariant classIdValue(const QString &classId)
{
    return classId.isEmpty() ? QVariant(QMetaType::fromType<qlonglong>()) : QVariant(classId);
}

} // namespace

QString registerServiceName()
{
    for (const char *service : {"calvenza-registro", schoolServiceName}) {
        for (const QString &path : serviceFiles()) {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly)
                && serviceFileDefines(file.read(1 << 20), QLatin1String(service)))
                return QLatin1String(service);
        }
    }
    return {};
}

QString registerConnectOptions(const QString &service, int connectSeconds)
{
    return QStringLiteral("service=%1;connect_timeout=%2;tcp_user_timeout=%3;keepalives_idle=30;"
                          "keepalives_interval=10;keepalives_count=3")
        .arg(service)
        .arg(connectSeconds)
        .arg(connectSeconds * 2000);
}

// Every statement the register sends; on its own thread.
class ServerWorker : public QObject
{
    Q_OBJECT
public:
    explicit ServerWorker(const QString &options)
        : m_options(options)
        , m_name(nextConnectionName())
        , m_retry(new QTimer(this))
    {
        m_retry->setSingleShot(true);
        m_retry->setInterval(retryMs);
        connect(m_retry, &QTimer::timeout, this, [this] {
            if (open(nullptr))
                emit arrived();
        });
    }
    ~ServerWorker() override
    {
        SchoolServer::forgetConnection(std::exchange(m_socket, -1));
        if (QSqlDatabase::contains(m_name)) {
            QSqlDatabase::database(m_name, false).close();
            QSqlDatabase::removeDatabase(m_name);
        }
    }

    [[nodiscard]] QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

    void closeConnection()
    {
        // Forgotten first, so that no file opened later under its number is ever cut.
        SchoolServer::forgetConnection(std::exchange(m_socket, -1));
        db().close();
    }

    // Connected and listening, or false with why.
    bool open(Problem *problem)
    {
        if (QSqlDatabase::contains(m_name) && db().isOpen())
            return true;
        QSqlDatabase connection = QSqlDatabase::contains(m_name)
            ? db()
            : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
        if (!connection.isValid())
            return fail(problem,
                QStringLiteral("Manca il driver PostgreSQL di Qt (pacchetto libqt6sql6-psql): il "
                               "registro non può leggere il server della scuola."),
                {});
        connection.setConnectOptions(m_options);
        if (!connection.open()) {
            const QString words = serverWords(connection.lastError());
            switch (connectionFailure(connection.lastError().databaseText())) {
            case LinkState::WrongPassword:
                return fail(problem,
                    QStringLiteral("Il server della scuola non accetta la password "
                                   "dell'insegnante (file .pgpass)."),
                    words);
            case LinkState::NoService:
                return fail(problem,
                    QStringLiteral("Il servizio del server della scuola non è definito in "
                                   "pg_service.conf."),
                    words);
            default:
                m_retry->start();
                return fail(problem, unreachable(), words);
            }
        }
        m_socket = SchoolServer::watchConnection(connection);
        QSqlQuery q(connection);
        if (!q.exec(QStringLiteral("SET statement_timeout = '10s'"))
            || !q.exec(QStringLiteral(
                "SELECT version, pg_has_role(session_user, 'calvenza_macchina', 'MEMBER'),"
                " pg_has_role(session_user, 'calvenza_insegnante', 'MEMBER')"
                " FROM calvenza.version"))
            || !q.next()) {
            Problem why = queryProblem(q.lastError());
            q.finish();
            closeConnection();
            return fail(problem, why.sentence, why.details);
        }
        const int version = q.value(0).toInt();
        const bool machine = q.value(1).toBool();
        const bool teacher = q.value(2).toBool();
        q.finish();
        if (version > schoolSchemaVersion) {
            closeConnection();
            return fail(problem,
                QStringLiteral("Il server della scuola è di una versione più nuova di Calvenza: "
                               "aggiorna Calvenza su questo computer."),
                QStringLiteral("versione %1").arg(version));
        }
        if (machine && !teacher) {
            closeConnection();
            return fail(problem,
                QStringLiteral("I risultati della classe sono dell'insegnante: questo computer "
                               "entra nel server della scuola come computer del laboratorio "
                               "(ruolo calvenza_macchina). Il registro si apre sul computer "
                               "dell'insegnante, con il suo accesso."),
                {});
        }
        // A server restart drops the subscription with the connection: made again each time.
        QSqlDriver *driver = connection.driver();
        driver->subscribeToNotification(listened);
        connect(
            driver, &QSqlDriver::notification, this, &ServerWorker::arrived, Qt::UniqueConnection);
        return true;
    }

    // Why a statement failed; a lost connection is tried again by itself.
    Problem queryProblem(const QSqlError &error)
    {
        const QString words = serverWords(error);
        if (error.nativeErrorCode() == QLatin1String("23505"))
            return {QStringLiteral("In quella classe c'è già un alunno con questo nome: se è lo "
                                   "stesso bambino, unisci i due alunni."),
                words};
        switch (statementFailure(error, db().isOpen())) {
        case LinkState::NoSchema:
            return {QStringLiteral("Sul server della scuola manca lo schema di Calvenza "
                                   "(calvenza-scuola.sql): il tecnico lo applichi di nuovo."),
                words};
        case LinkState::NotAllowed:
            return {QStringLiteral("Il server della scuola non lo permette: la classe o "
                                   "l'alunno non sono tra quelli dell'insegnante."),
                words};
        case LinkState::Unreachable:
            closeConnection();
            m_retry->start();
            return {unreachable(), words};
        default:
            break;
        }
        return {QStringLiteral("Il server della scuola ha rifiutato la richiesta."), words};
    }

    // Runs one statement with its values; false with why.
    bool run(QSqlQuery &q, const QString &statement, const QVariantList &values, Problem *problem)
    {
        if (!open(problem))
            return false;
        q = QSqlQuery(db());
        q.setForwardOnly(true);
        // A statement with no values is sent as it is: a transaction's own cannot be prepared.
        bool done = false;
        if (values.isEmpty()) {
            done = q.exec(statement);
        } else {
            q.prepare(statement);
            for (const QVariant &value : values)
                q.addBindValue(value);
            done = q.exec();
        }
        if (done)
            return true;
        const Problem why = queryProblem(q.lastError());
        return fail(problem, why.sentence, why.details);
    }

    QList<SchoolClass> classes(Problem *problem)
    {
        QSqlQuery q;
        QList<SchoolClass> found;
        if (!run(q, QStringLiteral("SELECT id, name FROM calvenza.classes ORDER BY name"), {},
                problem))
            return found;
        while (q.next())
            found.append({q.value(0).toString(), q.value(1).toString()});
        found.append({QLatin1String(noClassId), QStringLiteral("Alunni senza classe")});
        return found;
    }

    ClassReport report(const SchoolClass &schoolClass, const QDateTime &now, Problem *problem)
    {
        ClassReport report {schoolClass.name, now, {}};
        QSqlQuery q;
        // One moment of the server for the whole class.
        if (!run(q, QStringLiteral("START TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY"),
                {}, problem))
            return report;
        QList<PupilHistory> pupils;
        QStringList ids;
        const ClassPeriods periods = classPeriods(now);
        const bool read = readClass(schoolClass.id, periods, pupils, ids, problem);
        if (db().isOpen())
            QSqlQuery(db()).exec(read ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK"));
        if (!read)
            return report;
        for (qsizetype i = 0; i < pupils.size(); ++i) {
            report.pupils << pupilFigures(pupils.at(i), periods);
            report.pupils.last().id = ids.at(i);
        }
        QCollator collator {QLocale(QLocale::Italian, QLocale::Italy)};
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        std::sort(report.pupils.begin(), report.pupils.end(),
            [&](const PupilFigures &a, const PupilFigures &b) { return collator(a.name, b.name); });
        return report;
    }

    bool readClass(const QString &classId, const ClassPeriods &periods, QList<PupilHistory> &pupils,
        QStringList &ids, Problem *problem)
    {
        QSqlQuery q;
        const bool placed = !classId.isEmpty();
        if (!run(q,
                placed ? QStringLiteral("SELECT id, name FROM calvenza.pupils WHERE class_id ="
                                        " ?::bigint")
                       : QStringLiteral("SELECT id, name FROM calvenza.pupils WHERE class_id IS"
                                        " NULL"),
                placed ? QVariantList {classId} : QVariantList {}, problem))
            return false;
        QHash<qint64, qsizetype> placeOf;
        while (q.next()) {
            placeOf.insert(q.value(0).toLongLong(), pupils.size());
            ids << q.value(0).toString();
            pupils.append({q.value(1).toString(), {}, {}, {}, {}});
        }
        if (pupils.isEmpty())
            return true;

        // Each fact's counts and its latest answers, newest first, kept by the server as the
        // answers arrive.
        if (!run(q,
                QStringLiteral("SELECT pupil_id, times_table, factor, asked, right_count,"
                               " latest_right, latest_ms,"
                               " (extract(epoch FROM latest_at[1]) * 1000)::bigint"
                               " FROM calvenza.pupil_facts WHERE pupil_id = ANY(?::bigint[])"),
                {idArray(ids)}, problem))
            return false;
        while (q.next()) {
            const qsizetype place = placeOf.value(q.value(0).toLongLong(), -1);
            const int table = q.value(1).toInt();
            const int factor = q.value(2).toInt();
            if (place < 0 || !isFact({table, factor}))
                continue;
            PupilHistory &pupil = pupils[place];
            FactSummary summary;
            summary.asked = q.value(3).toInt();
            summary.right = q.value(4).toInt();
            const QStringList rights = arrayItems(q.value(5));
            const QStringList times = arrayItems(q.value(6));
            for (qsizetype i = 0; i < rights.size() && i < times.size(); ++i)
                summary.recent.prepend({rights.at(i) == u't', times.at(i).toLongLong()});
            pupil.facts.set(table, factor, summary);
            const QDateTime last = QDateTime::fromMSecsSinceEpoch(q.value(7).toLongLong(), Qt::UTC);
            if (!pupil.lastAnswer.isValid() || pupil.lastAnswer < last)
                pupil.lastAnswer = last;
        }
        if (q.lastError().isValid())
            return fail(problem, queryProblem(q.lastError()).sentence, serverWords(q.lastError()));

        // The weeks' figures counted here, as weeksCounts() counts them: a class's month is
        // some twenty thousand answers, which Qt would take longer to hand over than the
        // server takes to count.
        const qint64 week = periods.weekStart.toMSecsSinceEpoch();
        const qint64 lastWeek = periods.lastWeekStart.toMSecsSinceEpoch();
        if (!run(q,
                QStringLiteral(
                    "SELECT pupil_id, count(*) FILTER (WHERE answered_at >= w.this_week),"
                    " count(*) FILTER (WHERE answered_at >= w.this_week AND is_right),"
                    " coalesce(sum(least(greatest(ms_taken, 0), ?)) FILTER (WHERE answered_at"
                    " >= w.this_week), 0),"
                    " count(*) FILTER (WHERE answered_at >= w.last_week AND answered_at"
                    " < w.this_week),"
                    " count(*) FILTER (WHERE answered_at >= w.last_week AND answered_at"
                    " < w.this_week AND is_right),"
                    " count(*), count(*) FILTER (WHERE is_right),"
                    " coalesce((array_agg(ms_taken ORDER BY ms_taken) FILTER (WHERE ms_taken"
                    " >= 0))[count(*) FILTER (WHERE ms_taken >= 0) / 2 + 1], -1)"
                    " FROM calvenza.answers, (SELECT to_timestamp(?::bigint / 1000.0) AS this_week,"
                    " to_timestamp(?::bigint / 1000.0) AS last_week) AS w"
                    " WHERE pupil_id = ANY(?::bigint[])"
                    " AND answered_at >= to_timestamp(?::bigint / 1000.0)"
                    " AND answered_at <= to_timestamp(?::bigint / 1000.0) GROUP BY pupil_id"),
                {longestCountedMs, week, lastWeek, idArray(ids),
                    periods.recentStart.toMSecsSinceEpoch(), periods.now.toMSecsSinceEpoch()},
                problem))
            return false;
        for (PupilHistory &pupil : pupils)
            pupil.counted = WeeksCounts {};
        while (q.next()) {
            const qsizetype place = placeOf.value(q.value(0).toLongLong(), -1);
            if (place >= 0)
                pupils[place].counted = WeeksCounts {q.value(1).toInt(), q.value(2).toInt(),
                    q.value(3).toLongLong(), q.value(4).toInt(), q.value(5).toInt(),
                    q.value(6).toInt(), q.value(7).toInt(), q.value(8).toLongLong()};
        }
        if (q.lastError().isValid())
            return fail(problem, queryProblem(q.lastError()).sentence, serverWords(q.lastError()));
        return true;
    }

    QList<MachineContact> machines(Problem *problem)
    {
        QSqlQuery q;
        QList<MachineContact> found;
        if (!run(q,
                QStringLiteral("SELECT id::text, login, (extract(epoch FROM last_seen) * 1000)"
                               "::bigint FROM calvenza.machines ORDER BY login, id"),
                {}, problem))
            return found;
        while (q.next())
            found.append({q.value(0).toString(), q.value(1).toString(),
                QDateTime::fromMSecsSinceEpoch(q.value(2).toLongLong(), Qt::UTC)});
        return found;
    }

    // A statement that must change exactly one row.
    bool changeOne(const QString &statement, const QVariantList &values, Problem *problem)
    {
        QSqlQuery q;
        if (!run(q, statement, values, problem))
            return false;
        if (q.numRowsAffected() == 1)
            return true;
        return fail(problem,
            QStringLiteral("L'alunno non c'è più, o non è tra quelli delle classi "
                           "dell'insegnante: aggiorna il registro."),
            {});
    }

signals:
    void arrived();

private:
    static QString unreachable()
    {
        return QStringLiteral("Il server della scuola non risponde: riprovo da solo tra poco (o "
                              "F5 per riprovare subito).");
    }
    static bool fail(Problem *problem, const QString &sentence, const QString &details)
    {
        if (problem)
            *problem = {sentence, details};
        return false;
    }

    QString m_options;
    QString m_name;
    int m_socket = -1; // cut by a window that closes while the server does not answer
    QTimer *m_retry;
};

ServerClassSource::ServerClassSource(const QString &connectOptions, QObject *parent)
    : QObject(parent)
    , m_worker(new ServerWorker(connectOptions))
{
    m_thread.setObjectName(QStringLiteral("calvenza-registro"));
    m_worker->moveToThread(&m_thread);
    connect(m_worker, &ServerWorker::arrived, this, &ServerClassSource::answersArrived);
    m_thread.start();
    // Connects and listens at once, so the first answer after the window opens is heard.
    QMetaObject::invokeMethod(m_worker, [worker = m_worker] { worker->open(nullptr); });
}

ServerClassSource::~ServerClassSource()
{
    // The connection is closed on the thread that made it.
    QMetaObject::invokeMethod(m_worker, [worker = m_worker] {
        delete worker;
        QThread::currentThread()->quit();
    });
    // A server that stopped answering in the middle of a reading must not keep the window
    // from closing.
    if (!m_thread.wait(QDeadlineTimer(3000))) {
        SchoolServer::cutEveryConnection();
        m_thread.wait();
    }
}

void ServerClassSource::onWorker(const std::function<void()> &call)
{
    if (QThread::currentThread() == &m_thread)
        call();
    else
        QMetaObject::invokeMethod(m_worker, call, Qt::BlockingQueuedConnection);
}

QList<SchoolClass> ServerClassSource::classes(Problem *problem)
{
    QList<SchoolClass> found;
    onWorker([&] { found = m_worker->classes(problem); });
    return found;
}

ClassReport ServerClassSource::report(
    const SchoolClass &schoolClass, const QDateTime &now, Problem *problem)
{
    if (problem)
        *problem = {};
    ClassReport found;
    onWorker([&] { found = m_worker->report(schoolClass, now, problem); });
    return found;
}

QList<ChallengeRecord> ServerClassSource::challengesOf(const PupilFigures &, Problem *problem)
{
    if (problem)
        *problem = {};
    return {};
}

QList<MachineContact> ServerClassSource::machines(Problem *problem)
{
    if (problem)
        *problem = {};
    QList<MachineContact> found;
    onWorker([&] { found = m_worker->machines(problem); });
    return found;
}

bool ServerClassSource::addPupil(const QString &classId, const QString &name, Problem *problem)
{
    bool done = false;
    onWorker([&] {
        QSqlQuery q;
        done = m_worker->run(q,
            QStringLiteral("INSERT INTO calvenza.pupils (name, name_key, class_id) VALUES (?, ?,"
                           " ?::bigint) ON CONFLICT DO NOTHING"),
            {pupilName(name), pupilKey(name), classIdValue(classId)}, problem);
        if (done && q.numRowsAffected() == 0) {
            done = false;
            if (problem)
                *problem = {QStringLiteral("%1 è già in questa classe.").arg(pupilName(name)), {}};
        }
    });
    return done;
}

bool ServerClassSource::renamePupil(const QString &pupilId, const QString &name, Problem *problem)
{
    bool done = false;
    onWorker([&] {
        done = m_worker->changeOne(
            QStringLiteral(
                "UPDATE calvenza.pupils SET name = ?, name_key = ? WHERE id = ?::bigint"),
            {pupilName(name), pupilKey(name), pupilId}, problem);
    });
    return done;
}

bool ServerClassSource::movePupil(const QString &pupilId, const QString &classId, Problem *problem)
{
    bool done = false;
    onWorker([&] {
        done = m_worker->changeOne(
            QStringLiteral("UPDATE calvenza.pupils SET class_id = ?::bigint WHERE id = ?::bigint"),
            {classIdValue(classId), pupilId}, problem);
    });
    return done;
}

bool ServerClassSource::mergePupils(const QString &staying, const QString &going, Problem *problem)
{
    bool done = false;
    onWorker([&] {
        QSqlQuery q;
        done
            = m_worker->run(q, QStringLiteral("SELECT calvenza.merge_pupils(?::bigint, ?::bigint)"),
                {staying, going}, problem);
    });
    return done;
}

QString ServerClassSource::takeClass(const QString &name, Problem *problem)
{
    QString id;
    onWorker([&] {
        QSqlQuery q;
        if (m_worker->run(
                q, QStringLiteral("SELECT calvenza.take_class(?)"), {name.trimmed()}, problem)
            && q.next())
            id = q.value(0).toString();
    });
    return id;
}

std::optional<int> ServerClassSource::importClassList(
    const QList<ClassListRow> &rows, Problem *problem)
{
    std::optional<int> added;
    onWorker([&] {
        QSqlQuery q;
        if (!m_worker->run(q, QStringLiteral("BEGIN"), {}, problem))
            return;
        QHash<QString, QString> classIds;
        int count = 0;
        bool done = true;
        for (const ClassListRow &row : rows) {
            if (!classIds.contains(row.className)) {
                done = m_worker->run(q, QStringLiteral("SELECT calvenza.take_class(?)"),
                           {row.className}, problem)
                    && q.next();
                if (!done)
                    break;
                classIds.insert(row.className, q.value(0).toString());
            }
            done = m_worker->run(q,
                QStringLiteral("INSERT INTO calvenza.pupils (name, name_key, class_id) VALUES"
                               " (?, ?, ?::bigint) ON CONFLICT DO NOTHING"),
                {row.pupil(), pupilKey(row.pupil()), classIds.value(row.className)}, problem);
            if (!done)
                break;
            count += q.numRowsAffected();
        }
        if (m_worker->db().isOpen())
            QSqlQuery(m_worker->db())
                .exec(done ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK"));
        if (done)
            added = count;
    });
    return added;
}

QList<int> ServerClassSource::classTables(const QString &classId, Problem *problem)
{
    QList<int> tables;
    onWorker([&] {
        QSqlQuery q;
        if (m_worker->run(q,
                QStringLiteral("SELECT tables FROM calvenza.class_tables WHERE class_id ="
                               " ?::bigint"),
                {classId}, problem)
            && q.next()) {
            for (const QString &table : arrayItems(q.value(0)))
                tables << table.toInt();
        }
    });
    return tables;
}

bool ServerClassSource::setClassTables(
    const QString &classId, const QList<int> &tables, Problem *problem)
{
    QStringList numbers;
    for (const int table : tables)
        numbers << QString::number(table);
    bool done = false;
    onWorker([&] {
        QSqlQuery q;
        done = m_worker->run(q,
            QStringLiteral("INSERT INTO calvenza.class_tables (class_id, tables) VALUES"
                           " (?::bigint, ?::smallint[]) ON CONFLICT (class_id) DO UPDATE SET"
                           " tables = excluded.tables, set_at = now()"),
            {classId, idArray(numbers)}, problem);
    });
    return done;
}

} // namespace calvenza

#include "serverclasssource.moc"
