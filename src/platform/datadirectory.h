#pragma once

#include <QString>

namespace calvenza {

// The one writable directory shared by all runs, where the record is kept.
class DataDirectory
{
public:
    virtual ~DataDirectory() = default;
    // The directory with a trailing separator; created when missing (creation may fail: the
    // record files then fail to open, and the caller reports it).
    [[nodiscard]] virtual QString location() const = 0;
};

// The per-user data directory (follows XDG_DATA_HOME).
class UserDataDirectory : public DataDirectory
{
public:
    [[nodiscard]] QString location() const override;
};

// A directory given by path, as tests and benchmarks use.
class FixedDataDirectory : public DataDirectory
{
public:
    explicit FixedDataDirectory(QString path)
        : m_path(std::move(path))
    {
    }
    [[nodiscard]] QString location() const override;

private:
    QString m_path;
};

} // namespace calvenza
