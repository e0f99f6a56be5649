#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace calvenza {

// The libpq service a machine of a school is given by its technician; nothing else configures
// the school's server.
inline constexpr char schoolServiceName[] = "calvenza";

// The connection options for Qt's PostgreSQL driver: the service, and a connection that cannot
// hang on a server that drops packets, neither when it opens (connectSeconds) nor later.
[[nodiscard]] QString schoolConnectOptions(int connectSeconds = 5);

// The service files libpq reads, in its order: the user's (PGSERVICEFILE, else
// ~/.pg_service.conf), then the system's (PGSYSCONFDIR/pg_service.conf, else Debian's
// /etc/postgresql-common/pg_service.conf).
[[nodiscard]] QStringList serviceFiles();

// Whether a service file's text has a [service] section.
[[nodiscard]] bool serviceFileDefines(const QByteArray &content, const QString &service);

// Whether the school's service is defined, read without loading libpq, so a machine with no
// school loads nothing more than before.
[[nodiscard]] bool schoolServiceDefined();

} // namespace calvenza
