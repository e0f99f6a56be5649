#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace calvenza {

// The record kept between runs: two one-line text files in the data directory.
inline const QString pointsFileName = QStringLiteral("\\atabkesr8.txt");
inline const QString nameFileName = QStringLiteral("\\ntabkesr8.txt");

// Files larger than this are read only this far: a stray huge file must not stall the start.
inline constexpr qint64 recordReadLimit = qint64(64) * 1024;

// Joins the data directory and one of the names above; the leading backslash of the name is a
// separator, so the file on disk is e.g. "atabkesr8.txt".
[[nodiscard]] QString recordFilePath(const QString &dirwindows, const QString &fileName);

// The whole content of a file (line ends kept, up to recordReadLimit bytes), decoded from the
// system's 8-bit encoding without failing on invalid bytes. nullopt when it cannot be read;
// error then says why, naming the file.
[[nodiscard]] std::optional<QString> Leggifiletxt(
    const QString &nomefile, QString *error = nullptr);

// The record as a number: the number at the start of the text, spaces, tabs and line feeds
// ignored anywhere, a period as the decimal point; a text that does not begin with a number is 0.
[[nodiscard]] double recordValue(const QString &text);

// The record as read back: both files' contents, as Leggifiletxt gives them.
struct Record
{
    QString points;
    QString name;
};

class RecordStore
{
public:
    explicit RecordStore(QString dirwindows);

    [[nodiscard]] QString pointsPath() const;
    [[nodiscard]] QString namePath() const;
    // Held around every pair write and pair read, so other instances wait for a whole record.
    [[nodiscard]] QString lockPath() const;

    // Creates each file empty when missing, points file first; existing files are untouched.
    [[nodiscard]] bool ensureFilesExist(QString *error = nullptr) const;

    // Replaces both files with one line each (text then CR LF). Either both files hold the new
    // record or both keep the old one; concurrent writers never leave a mixed or torn pair.
    [[nodiscard]] bool write(
        const QString &points, const QString &name, QString *error = nullptr) const;

    // Both files read under the lock, so the pair always belongs together. nullopt when either
    // cannot be read (error says which).
    [[nodiscard]] std::optional<Record> read(QString *error = nullptr) const;

private:
    QString m_dir;
};

} // namespace calvenza
