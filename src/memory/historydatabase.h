#pragma once

#include "drill/answer.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

namespace calvenza {

// The layout of the history this build writes; PRAGMA user_version carries it.
inline constexpr int historySchemaVersion = 2;

// The history's file in the data directory, beside the record files.
[[nodiscard]] QString historyFileName();

// One connection to the history of a data directory, for the thread that opens it (a
// QSqlDatabase belongs to its thread). Opening creates the file (0600, folder 0700) when Create
// is asked, moves a file that is not a database aside and begins a new one, and brings an older
// layout up to date in one transaction; a history from a newer Calvenza is left untouched.
class HistoryDatabase
{
public:
    enum class Missing { Create, LeaveAlone };
    HistoryDatabase(const QString &dataDirectory, Missing missing);
    ~HistoryDatabase();
    HistoryDatabase(const HistoryDatabase &) = delete;
    HistoryDatabase &operator=(const HistoryDatabase &) = delete;

    // False when there is no history to read (LeaveAlone and no file) or it cannot be used;
    // error() then says why in Italian, or is empty when there is simply nothing yet.
    [[nodiscard]] bool isOpen() const { return m_open; }
    [[nodiscard]] QString error() const { return m_error; }
    [[nodiscard]] QString path() const { return m_path; }
    [[nodiscard]] QSqlQuery query() const;

    // Runs a prepared query; on failure error() names the file and SQLite's own words.
    bool exec(QSqlQuery &query);
    bool exec(const QString &statement);
    // BEGIN IMMEDIATE: the write lock is taken at once, so two programs wait for each other
    // (busy timeout) instead of failing when a reader turns into a writer.
    bool beginWrite();
    bool commit();
    void rollback();

    // The id of a pupil by key, or -1 when he never answered.
    [[nodiscard]] qint64 pupilId(const QString &typedName);

private:
    bool open(Missing missing);
    bool openConnection();
    bool upgrade(int fromVersion);
    bool moveAside(const QString &why);
    bool fail(const QString &what, const QString &why);

    QString m_connectionName;
    QString m_path;
    QString m_error;
    bool m_open = false;
};

} // namespace calvenza
