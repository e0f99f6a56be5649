#pragma once

#include <QString>
#include <optional>

namespace calvenza {

// Each times table keeps its record in two one-line text files in the data directory:
// "atabkesr8.txt" holds the points, "ntabkesr8.txt" the pupil's name.
[[nodiscard]] QString pointsFileName(int table);
[[nodiscard]] QString nameFileName(int table);

// Files larger than this are read only this far: a stray huge file must not stall the start.
inline constexpr qint64 recordReadLimit = qint64(64) * 1024;

// The whole content of a file (line ends kept, up to recordReadLimit bytes), decoded from the
// system's 8-bit encoding without failing on invalid bytes. nullopt when it cannot be read;
// error then says why, naming the file.
[[nodiscard]] std::optional<QString> readWholeFile(const QString &path, QString *error = nullptr);

// The record as a number: the number at the start of the text, spaces, tabs and line feeds
// ignored anywhere, a period as the decimal point; a text that does not begin with a number is 0.
[[nodiscard]] double recordValue(const QString &text);

// The record as read back: both files' contents, as readWholeFile gives them.
struct Record
{
    QString points;
    QString name;
};

class RecordStore
{
public:
    RecordStore(QString directory, int table);

    [[nodiscard]] QString pointsPath() const;
    [[nodiscard]] QString namePath() const;
    // Held around every pair write and pair read of this table, so other instances wait for a
    // whole record; each table has its own.
    [[nodiscard]] QString lockPath() const;

    // Creates each file empty when missing, points file first; existing files are untouched.
    [[nodiscard]] bool ensureFilesExist(QString *error = nullptr) const;

    enum class Outcome { Stored, NotBeaten, Failed };
    // Replaces both files with one line each (text then CR LF) only when the points beat the
    // record on disk now, read under the lock: another program may have stored a higher one since
    // this one started. Either both files hold the new record or both keep the old one, also
    // when the program dies midway (the next read or store puts the old pair back); concurrent
    // writers never leave a mixed or torn pair. NotBeaten writes nothing; Failed keeps the old
    // pair and says why in error.
    [[nodiscard]] Outcome storeIfBeaten(
        const QString &points, const QString &name, QString *error = nullptr) const;

    // Both files read under the lock, so the pair always belongs together, after undoing a
    // write cut short. nullopt when either
    // cannot be read (error says which).
    [[nodiscard]] std::optional<Record> read(QString *error = nullptr) const;

private:
    QString m_directory;
    int m_table;
};

} // namespace calvenza
