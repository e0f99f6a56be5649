#pragma once

// The school's benchmarks run inside a throwaway PostgreSQL cluster of their own
// (tests/school/pgcluster.sh), which is always stopped after them.

#include "benchreport.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <cstdlib>
#include <vector>

namespace calvenza::bench {

// Outside a cluster: runs this program again inside one and gives its status, or reports the
// rows as not run (status 0) without PostgreSQL. Inside one: -1, the benchmark goes on.
inline int runInOwnCluster(const std::vector<std::pair<std::string, std::string>> &rows)
{
    if (!qEnvironmentVariableIsEmpty("CALVENZA_PGCLUSTER"))
        return -1;
    const int status = QProcess::execute(QStringLiteral("bash"),
        {QStringLiteral(CALVENZA_PGCLUSTER_SCRIPT), QStringLiteral("run"),
            QStringLiteral(CALVENZA_SCHOOL_SQL), QCoreApplication::applicationFilePath()});
    if (status == 77) {
        for (const auto &[measure, target] : rows)
            reportRow(measure, "not run: PostgreSQL is not installed", target, false);
        return 0;
    }
    return status;
}

// The cluster's superuser, through the socket; a failed statement stops the benchmark.
class AdminLink
{
public:
    AdminLink()
        : m_db(QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("bench-admin")))
    {
        m_db.setConnectOptions(QStringLiteral("service=calvenza_admin"));
        if (!m_db.open())
            fail(m_db.lastError().text());
    }
    QVariant value(const QString &statement)
    {
        QSqlQuery q(m_db);
        if (!q.exec(statement))
            fail(statement + u' ' + q.lastError().text());
        return q.next() ? q.value(0) : QVariant();
    }
    QStringList lines(const QString &statement)
    {
        QSqlQuery q(m_db);
        if (!q.exec(statement))
            fail(statement + u' ' + q.lastError().text());
        QStringList out;
        while (q.next())
            out << q.value(0).toString();
        return out;
    }

private:
    [[noreturn]] static void fail(const QString &why)
    {
        std::fprintf(stderr, "bench: %s\n", qPrintable(why));
        std::exit(1);
    }
    QSqlDatabase m_db;
};

// CPU seconds (user and system) the cluster's processes have used so far: the server, its
// living backends and those already gone (counted in the server's children's time).
inline double clusterCpuSeconds()
{
    QFile pidFile(
        qEnvironmentVariable("CALVENZA_PGCLUSTER") + QStringLiteral("/data/postmaster.pid"));
    if (!pidFile.open(QIODevice::ReadOnly))
        return 0;
    const qint64 server = pidFile.readLine().trimmed().toLongLong();
    const double tick = 100.0; // USER_HZ on Linux
    const auto fields = [](qint64 pid) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            return QList<QByteArray>();
        const QByteArray line = stat.readAll();
        // After the command's closing parenthesis: state is field 3.
        return line.mid(line.lastIndexOf(')') + 2).split(' ');
    };
    double total = 0;
    if (const QList<QByteArray> own = fields(server); own.size() > 14)
        total += (own[11].toDouble() + own[12].toDouble() + own[13].toDouble() + own[14].toDouble())
            / tick;
    QProcess children;
    children.start(QStringLiteral("pgrep"), {QStringLiteral("-P"), QString::number(server)});
    children.waitForFinished();
    for (const QByteArray &pid : children.readAllStandardOutput().split('\n')) {
        if (const QList<QByteArray> f = fields(pid.toLongLong()); !pid.isEmpty() && f.size() > 12)
            total += (f[11].toDouble() + f[12].toDouble()) / tick;
    }
    return total;
}

} // namespace calvenza::bench
