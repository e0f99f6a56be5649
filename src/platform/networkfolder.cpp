#include "platform/networkfolder.h"

#include <QDir>
#include <QFileInfo>
#include <linux/magic.h>
#include <sys/vfs.h>

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

} // namespace calvenza
