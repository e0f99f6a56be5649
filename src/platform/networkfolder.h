#pragma once

#include <QString>

namespace calvenza {

// Whether a file system, by the f_type statfs gives, is one reached over the network (NFS,
// SMB/CIFS, FUSE such as sshfs, 9p, Ceph, AFS, Coda), where SQLite's WAL does not work and its
// locks may not either.
[[nodiscard]] bool isNetworkFileSystem(unsigned long fileSystemType);

// Whether a folder is on such a file system; a folder not made yet is judged by the nearest
// one above it that exists. False when the system does not say.
[[nodiscard]] bool onNetworkFileSystem(const QString &folder);

} // namespace calvenza
