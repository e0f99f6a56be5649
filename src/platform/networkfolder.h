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

// This machine's own folder for a user's files, under base (/var/tmp, which outlives a reboot):
// base/calvenza-UID, made 0700. Empty, with why, when it cannot be trusted: not a folder of
// this user's (another made it first, or a link), or not made.
[[nodiscard]] QString machineOwnFolder(const QString &base, QString *why = nullptr);

} // namespace calvenza
