#pragma once

#include "drill/answer.h"
#include "platform/problem.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace calvenza {

// The layout of the history this build writes; PRAGMA user_version carries it.
inline constexpr int historySchemaVersion = 3;

// The history's file in the data directory, beside the record files.
[[nodiscard]] QString historyFileName();

// The folder of the history of a data directory, chosen once per run. A data directory on the
// network, shared by every lab machine that logs in with one account, and whose locks may not
// work, at a school with a server: this machine's own folder, since the pupils' histories are
// on the server; unless the history there still holds answers the server has not got, which
// stay there, and are sent from there, until it has them all. Anywhere else, the data directory.
[[nodiscard]] QString historyFolder(const QString &dataDirectory);
// The same choice, with the place of the data directory given and no memory of it.
[[nodiscard]] QString chooseHistoryFolder(
    const QString &dataDirectory, bool networkAtSchool, const QString &machineFolderBase);

// One connection to the history of a data directory, for the thread that opens it (a
// QSqlDatabase belongs to its thread).
// Write (the writer's): creates the file (0600, folder 0700), moves a file that is not a database
// aside and begins a new one, brings an older layout up to date in one transaction, turns on WAL.
// ReadOnly (every reader's): opens an existing file read-only and changes nothing at all; a file
// that is not a database, or of another layout, is reported, never moved or upgraded.
// A history from a newer Calvenza is left untouched by both.
class HistoryDatabase
{
public:
    enum class Access { Write, ReadOnly };
    HistoryDatabase(const QString &dataDirectory, Access access);
    ~HistoryDatabase();
    HistoryDatabase(const HistoryDatabase &) = delete;
    HistoryDatabase &operator=(const HistoryDatabase &) = delete;

    // False when there is no history to read (ReadOnly and no file, or nothing written yet) or it
    // cannot be used; problem() then says why, or is empty when there is simply nothing yet.
    [[nodiscard]] bool isOpen() const { return m_open; }
    [[nodiscard]] const Problem &problem() const { return m_problem; }
    [[nodiscard]] QString path() const { return m_path; }
    [[nodiscard]] QSqlQuery query() const;

    // Runs a prepared query; on failure problem() carries SQLite's own words and the file.
    bool exec(QSqlQuery &query);
    bool exec(const QString &statement);
    // BEGIN IMMEDIATE: the write lock is taken at once, so two programs wait for each other
    // (busy timeout) instead of failing when a reader turns into a writer.
    bool beginWrite();
    // BEGIN: what several queries read is one moment of the history.
    bool beginRead();
    bool commit();
    void rollback();

    // The id of a pupil by his label ("Marco · 3A", or a name alone for one with no class), or
    // -1 when he never answered.
    [[nodiscard]] qint64 pupilId(const QString &label);

    // The sentence a reader gives when the history cannot be read; SQLite's words and the path
    // go in the details.
    [[nodiscard]] Problem readProblem(const QString &why) const;

private:
    bool open();
    bool openConnection();
    bool upgrade(int fromVersion);
    bool fail(const QString &why);

    QString m_connectionName;
    QString m_path;
    Access m_access;
    Problem m_problem;
    bool m_open = false;
};

// A statement run through SQLite's own calls on the connection Qt SQL opened, for the reads of
// thousands of rows: a QVariant for every field would cost more than the reading itself.
class RawRows
{
public:
    RawRows(const HistoryDatabase &db, const char *sql);
    ~RawRows();
    RawRows(const RawRows &) = delete;
    RawRows &operator=(const RawRows &) = delete;

    void bind(int place, qint64 value);
    // Back to the start, to run again with new values bound.
    void reset();
    // False at the end, or on a failure that problem() then tells.
    bool next();
    [[nodiscard]] bool failed() const;
    [[nodiscard]] Problem problem() const;
    [[nodiscard]] qint64 integer(int column) const;
    [[nodiscard]] QByteArrayView text(int column) const;

private:
    const HistoryDatabase &m_db;
    sqlite3 *m_connection = nullptr;
    sqlite3_stmt *m_statement = nullptr;
    int m_step = 0;
};

// Which file a path names: device and inode, so a path can be checked to still name it.
struct FileIdentity
{
    quint64 device = 0;
    quint64 inode = 0;
    friend bool operator==(const FileIdentity &, const FileIdentity &) = default;
};
[[nodiscard]] std::optional<FileIdentity> fileIdentity(const QString &path);

// Renames a history found not to be a database to storia.sqlite.rovinata-DATE (its -wal and
// -shm too), under a lock on a sibling file that every Calvenza takes for it, and only when the
// path still names the file inspected and that file is still not a database: a program that
// looked at the same bad file never moves the new history another has begun meanwhile.
enum class MoveAside { Moved, LeftInPlace, Failed };
[[nodiscard]] MoveAside moveBadHistoryAside(
    const QString &path, const FileIdentity &inspected, QString *details = nullptr);

} // namespace calvenza
