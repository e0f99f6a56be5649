#include "platform/datadirectory.h"

#include <QDir>
#include <QStandardPaths>

namespace calvenza {

namespace {
QString withTrailingSeparator(QString path)
{
    QDir().mkpath(path);
    if (!path.endsWith(u'/'))
        path += u'/';
    return path;
}
} // namespace

QString UserDataDirectory::location() const
{
    return withTrailingSeparator(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

QString FixedDataDirectory::location() const
{
    return withTrailingSeparator(m_path);
}

} // namespace calvenza
