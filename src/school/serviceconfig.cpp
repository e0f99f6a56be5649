#include "school/serviceconfig.h"

#include <QDir>
#include <QFile>

namespace calvenza {

QString schoolConnectOptions(int connectSeconds)
{
    // A link that dies without a word (a switch turned off) is given up within seconds, not the
    // minutes TCP would wait, so the program never waits long for its sender at the end.
    return QStringLiteral("service=%1;connect_timeout=%2;tcp_user_timeout=%3;keepalives_idle=30;"
                          "keepalives_interval=10;keepalives_count=3")
        .arg(QLatin1String(schoolServiceName))
        .arg(connectSeconds)
        .arg(connectSeconds * 2000);
}

QStringList serviceFiles()
{
    QStringList files;
    if (const QString user = qEnvironmentVariable("PGSERVICEFILE"); !user.isEmpty())
        files << user;
    else
        files << QDir::home().filePath(QStringLiteral(".pg_service.conf"));
    if (const QString system = qEnvironmentVariable("PGSYSCONFDIR"); !system.isEmpty())
        files << QDir(system).filePath(QStringLiteral("pg_service.conf"));
    else
        files << QStringLiteral("/etc/postgresql-common/pg_service.conf");
    return files;
}

bool serviceFileDefines(const QByteArray &content, const QString &service)
{
    const QByteArray header = '[' + service.toUtf8() + ']';
    for (const QByteArray &line : content.split('\n')) {
        if (line.trimmed() == header)
            return true;
    }
    return false;
}

bool schoolServiceDefined()
{
    for (const QString &path : serviceFiles()) {
        QFile file(path);
        // A service file is a few lines; a huge one is not worth reading on the way up.
        if (file.open(QIODevice::ReadOnly)
            && serviceFileDefines(file.read(1 << 20), QLatin1String(schoolServiceName)))
            return true;
    }
    return false;
}

} // namespace calvenza
