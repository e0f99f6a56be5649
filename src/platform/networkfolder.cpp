#include "platform/networkfolder.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace calvenza {

bool isNetworkFileSystem(unsigned long fileSystemType)
{
    // The magic numbers are 32 bits; a 32-bit system may give them sign-extended.
    switch (quint32(fileSystemType)) {
    case NFS_SUPER_MAGIC:
    case SMB_SUPER_MAGIC:
    case CIFS_SUPER_MAGIC:
    case SMB2_SUPER_MAGIC:
    case FUSE_SUPER_MAGIC:
    case V9FS_MAGIC:
    case CEPH_SUPER_MAGIC:
    case AFS_SUPER_MAGIC:
    case AFS_FS_MAGIC:
    case CODA_SUPER_MAGIC:
        return true;
    default:
        return false;
    }
}

bool onNetworkFileSystem(const QString &folder)
{
    QString path = QFileInfo(folder).absoluteFilePath();
    while (!QFileInfo::exists(path)) {
        const QString parent = QFileInfo(path).absolutePath();
        if (parent == path)
            return false;
        path = parent;
    }
    struct statfs info
    {
    };
    return statfs(QFile::encodeName(path).constData(), &info) == 0
        && isNetworkFileSystem(static_cast<unsigned long>(info.f_type));
}

QString machineOwnFolder(const QString &base, QString *why)
{
    QString folder = QDir(base).filePath(QStringLiteral("calvenza-%1").arg(::getuid()));
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        if (why)
            *why = QString::fromLocal8Bit(std::strerror(errno));
        return {};
    }
    // In a folder everyone may write to, a name can be taken by someone else first.
    struct stat info = {};
    if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode)
        || info.st_uid != ::getuid()) {
        if (why)
            *why = QStringLiteral("«%1» non è una cartella di questo utente").arg(folder);
        return {};
    }
    if ((info.st_mode & 077) != 0 && ::chmod(path.constData(), 0700) != 0) {
        if (why)
            *why = QString::fromLocal8Bit(std::strerror(errno));
        return {};
    }
    return folder;
}

} // namespace calvenza
