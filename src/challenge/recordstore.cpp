#include "challenge/recordstore.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QThread>

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <string>
#include <unistd.h>

namespace calvenza {

namespace {

// The lock and the backup live beside the pair they guard.
QString lockFileName(int table)
{
    return QStringLiteral("tabkesr%1.lock").arg(table);
}
const QString backupSuffix = QStringLiteral(".old");

void setError(QString *error, const QString &message)
{
    if (error)
        *error = message;
}

QString lastSystemError()
{
    return qt_error_string(errno);
}

bool renameOver(const QString &from, const QString &to)
{
    // QFile::rename refuses to replace an existing file; POSIX rename swaps it in atomically.
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

// Writes the new content of one record file beside it, ready to be renamed into place.
bool stage(QTemporaryFile &staged, const QString &target, const QString &text, QString *error)
{
    QString line = text;
    // One line per file, whatever the caller hands in.
    line.replace(u'\r', u' ').replace(u'\n', u' ');
    const QByteArray bytes = line.toLocal8Bit() + "\r\n";

    staged.setFileTemplate(target + QStringLiteral(".XXXXXX"));
    if (!staged.open() || staged.write(bytes) != bytes.size() || !staged.flush()
        || ::fsync(staged.handle()) != 0) {
        setError(error,
            QStringLiteral("Non riesco a scrivere il file «%1»: %2.")
                .arg(target, staged.errorString()));
        return false;
    }
    // A temporary file is private to its owner; the record keeps the permissions it had.
    const QFileInfo existing(target);
    staged.setPermissions(existing.isFile() ? existing.permissions()
                                            : QFileDevice::ReadOwner | QFileDevice::WriteOwner
                | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    staged.close();
    return true;
}

QString lockFailureText(QLockFile::LockError reason, const QString &lockPath)
{
    switch (reason) {
    case QLockFile::LockFailedError:
        return QStringLiteral(
            "Non riesco a salvare il record: un'altra Calvenza lo sta salvando da "
            "troppo tempo (file di blocco «%1»).")
            .arg(lockPath);
    case QLockFile::PermissionError:
        return QStringLiteral("Non riesco a salvare il record: non posso creare il file di blocco "
                              "«%1» (la cartella manca o non è scrivibile).")
            .arg(lockPath);
    case QLockFile::NoError:
    case QLockFile::UnknownError:
        break;
    }
    return QStringLiteral("Non riesco a salvare il record: errore sconosciuto con il file di "
                          "blocco «%1».")
        .arg(lockPath);
}

// Another instance writes a whole pair in milliseconds; a lock older than this is left over.
constexpr int staleLockMs = 10'000;
constexpr int lockWaitMs = 3'000;

// QLockFile::tryLock(timeout) sleeps longer and longer between tries, so a waiter can keep losing
// to newcomers; short even polls keep several instances finishing at once fair.
bool acquire(QLockFile &lock)
{
    lock.setStaleLockTime(staleLockMs);
    const QDeadlineTimer deadline(lockWaitMs);
    while (!lock.tryLock(0)) {
        if (lock.error() != QLockFile::LockFailedError || deadline.hasExpired())
            return false;
        QThread::msleep(5);
    }
    return true;
}

// Makes the folder's entries (renames, removals) survive a power cut, not only the files' bytes.
bool syncDirectory(const QString &directory)
{
    const int fd = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

// A copy of one record file beside it, made whole before it appears: a hard link, or where the
// folder has none (some shared folders) a synced copy. A missing file is kept as an empty one,
// which reads as no record, as on a first run.
bool keepBackup(const QString &target, QString *error)
{
    const QString backup = target + backupSuffix;
    QFile::remove(backup);
    const bool exists = QFileInfo(target).isFile();
    if (exists
        && ::link(QFile::encodeName(target).constData(), QFile::encodeName(backup).constData())
            == 0)
        return true;
    QFile old(target);
    QSaveFile copy(backup);
    QByteArray bytes;
    if (exists) {
        if (!old.open(QIODevice::ReadOnly)) {
            setError(error,
                QStringLiteral("Non riesco a salvare una copia del file «%1»: %2.")
                    .arg(target, old.errorString()));
            return false;
        }
        bytes = old.readAll();
    }
    if (!copy.open(QIODevice::WriteOnly) || copy.write(bytes) != bytes.size() || !copy.commit()) {
        setError(error,
            QStringLiteral("Non riesco a salvare una copia del file «%1»: %2.")
                .arg(target, copy.errorString()));
        return false;
    }
    return true;
}

// The points file's backup marks a pair write in progress: it is made last before the renames
// and removed first after them. The name file's backup is made before it and removed after it.
struct PairPaths
{
    QString directory;
    QString points;
    QString name;
    QString pointsBackup() const { return points + backupSuffix; }
    QString nameBackup() const { return name + backupSuffix; }
};

// Puts a new pair in place of the old one, both or neither; the caller holds the lock.
bool replacePair(const PairPaths &pair, const QString &points, const QString &name, QString *error)
{
    QTemporaryFile stagedPoints;
    QTemporaryFile stagedName;
    if (!stage(stagedPoints, pair.points, points, error)
        || !stage(stagedName, pair.name, name, error))
        return false;

    const bool hadPoints = QFileInfo(pair.points).isFile();
    const bool backedUp = keepBackup(pair.name, error) && keepBackup(pair.points, error);
    if (!backedUp || !syncDirectory(pair.directory)) {
        if (backedUp)
            setError(error,
                QStringLiteral("Non riesco a salvare il record nella cartella «%1»: %2.")
                    .arg(pair.directory, lastSystemError()));
        QFile::remove(pair.pointsBackup());
        QFile::remove(pair.nameBackup());
        return false;
    }

    if (!renameOver(stagedPoints.fileName(), pair.points)) {
        setError(error,
            QStringLiteral("Non riesco a scrivere il file «%1»: %2.")
                .arg(pair.points, lastSystemError()));
        QFile::remove(pair.pointsBackup());
        QFile::remove(pair.nameBackup());
        return false;
    }
    stagedPoints.setAutoRemove(false);

#ifdef CALVENZA_TEST_HOOKS
    // Lets a test stop a writer exactly where a crash or a power cut tears the pair.
    if (qEnvironmentVariableIsSet("CALVENZA_TEST_DIE_BETWEEN_RENAMES"))
        ::raise(SIGKILL);
#endif

    if (!renameOver(stagedName.fileName(), pair.name)) {
        QString message = QStringLiteral("Non riesco a scrivere il file «%1»: %2.")
                              .arg(pair.name, lastSystemError());
        // A backup that cannot be put back stays, for the next start to try again.
        const bool restored = hadPoints
            ? renameOver(pair.pointsBackup(), pair.points)
            : QFile::remove(pair.points) && QFile::remove(pair.pointsBackup());
        if (!restored)
            message += QStringLiteral(" Anche il file «%1» non è tornato com'era: %2.")
                           .arg(pair.points, lastSystemError());
        QFile::remove(pair.nameBackup());
        setError(error, message);
        return false;
    }
    stagedName.setAutoRemove(false);
    syncDirectory(pair.directory);
    QFile::remove(pair.pointsBackup());
    QFile::remove(pair.nameBackup());
    syncDirectory(pair.directory);
    return true;
}

// A write cut short (the program killed, the power lost) leaves the points backup behind: the old
// pair goes back whole, whichever of the renames had happened. Staged files left behind are
// removed; none can be in use, as every write stages under the lock the caller holds.
bool undoUnfinishedWrite(const PairPaths &pair, QString *error)
{
    const QDir folder(pair.directory.isEmpty() ? QStringLiteral(".") : pair.directory);
    const QStringList staged
        = folder.entryList({QFileInfo(pair.points).fileName() + QStringLiteral(".??????"),
                               QFileInfo(pair.name).fileName() + QStringLiteral(".??????")},
            QDir::Files | QDir::Hidden | QDir::System);
    const bool unfinished = QFileInfo::exists(pair.pointsBackup());
    if (!unfinished && staged.isEmpty() && !QFileInfo::exists(pair.nameBackup()))
        return true;

    // Before the renames the name backup may not have reached the disk; the name is then unchanged.
    const bool nameBackedUp = QFileInfo::exists(pair.nameBackup());
    if (unfinished
        && ((nameBackedUp && !renameOver(pair.nameBackup(), pair.name))
            || !renameOver(pair.pointsBackup(), pair.points))) {
        setError(error,
            QStringLiteral("Non riesco a rimettere a posto il record rimasto a metà in «%1»: %2.")
                .arg(pair.points, lastSystemError()));
        return false;
    }
    // Without the points backup the pair was whole: only leftovers go.
    QFile::remove(pair.nameBackup());
    for (const QString &file : staged)
        QFile::remove(folder.filePath(file));
    syncDirectory(pair.directory);
    return true;
}

bool isIgnorable(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Walks the text skipping spaces, tabs and line feeds, as the record has always been read.
class ValueScanner
{
public:
    explicit ValueScanner(const QString &text)
        : m_text(text)
    {
    }
    QChar peek()
    {
        while (m_pos < m_text.size() && isIgnorable(m_text.at(m_pos)))
            ++m_pos;
        return m_pos < m_text.size() ? m_text.at(m_pos) : QChar();
    }
    void take() { ++m_pos; }
    qsizetype position() const { return m_pos; }
    void rewind(qsizetype pos) { m_pos = pos; }

private:
    const QString &m_text;
    qsizetype m_pos = 0;
};

QString filePath(const QString &directory, const QString &fileName)
{
    if (directory.isEmpty() || directory.endsWith(u'/'))
        return directory + fileName;
    return directory + u'/' + fileName;
}

} // namespace

QString pointsFileName(int table)
{
    return QStringLiteral("atabkesr%1.txt").arg(table);
}

QString nameFileName(int table)
{
    return QStringLiteral("ntabkesr%1.txt").arg(table);
}

std::optional<QString> readWholeFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error,
            QStringLiteral("Non riesco a leggere il file «%1»: %2.").arg(path, file.errorString()));
        return std::nullopt;
    }
    // Reading at most the limit keeps a stray huge file from stalling the start or filling memory.
    const QByteArray bytes = file.read(recordReadLimit);
    if (file.error() != QFileDevice::NoError) {
        setError(error,
            QStringLiteral("Non riesco a leggere il file «%1»: %2.").arg(path, file.errorString()));
        return std::nullopt;
    }
    // Invalid bytes, and a sequence cut by the limit, become U+FFFD replacement marks.
    return QString::fromLocal8Bit(bytes);
}

double recordValue(const QString &text)
{
    ValueScanner scan(text);
    bool negative = false;
    if (scan.peek() == u'+' || scan.peek() == u'-') {
        negative = scan.peek() == u'-';
        scan.take();
    }

    std::string intDigits;
    std::string fracDigits;
    while (isDigit(scan.peek())) {
        intDigits += char(scan.peek().unicode());
        scan.take();
    }
    if (scan.peek() == u'.') {
        scan.take();
        while (isDigit(scan.peek())) {
            fracDigits += char(scan.peek().unicode());
            scan.take();
        }
    }
    if (intDigits.empty() && fracDigits.empty())
        return 0;

    // An exponent counts only when digits follow it: "12e" and "12ex" are 12.
    long long exponent = 0;
    const qsizetype beforeExponent = scan.position();
    if (scan.peek() == u'e' || scan.peek() == u'E') {
        scan.take();
        bool negativeExponent = false;
        if (scan.peek() == u'+' || scan.peek() == u'-') {
            negativeExponent = scan.peek() == u'-';
            scan.take();
        }
        if (!isDigit(scan.peek())) {
            scan.rewind(beforeExponent);
        } else {
            // Saturate: anything past this is out of range for a double either way.
            constexpr long long exponentCap = 100'000'000;
            while (isDigit(scan.peek())) {
                exponent = std::min(exponent * 10 + (scan.peek().unicode() - u'0'), exponentCap);
                scan.take();
            }
            if (negativeExponent)
                exponent = -exponent;
        }
    }

    const std::string number = (intDigits.empty() ? std::string("0") : intDigits) + '.' + fracDigits
        + 'e' + std::to_string(exponent);
    double value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    Q_UNUSED(end);
    if (ec == std::errc::result_out_of_range) {
        // Decimal position of the first significant digit decides overflow from underflow.
        const auto firstInt = intDigits.find_first_not_of('0');
        const long long magnitude = firstInt != std::string::npos
            ? static_cast<long long>(intDigits.size() - firstInt)
            : -static_cast<long long>(fracDigits.find_first_not_of('0'));
        value = magnitude + exponent > 0 ? std::numeric_limits<double>::max() : 0.0;
    } else if (ec != std::errc()) {
        value = 0;
    }
    // "-0" and underflows read as a plain 0, never shown as "-0".
    if (value == 0)
        return 0;
    return negative ? -value : value;
}

RecordStore::RecordStore(QString directory, int table)
    : m_directory(std::move(directory))
    , m_table(table)
{
}

QString RecordStore::pointsPath() const
{
    return filePath(m_directory, pointsFileName(m_table));
}

QString RecordStore::namePath() const
{
    return filePath(m_directory, nameFileName(m_table));
}

QString RecordStore::lockPath() const
{
    return filePath(m_directory, lockFileName(m_table));
}

bool RecordStore::ensureFilesExist(QString *error) const
{
    for (const QString &path : {pointsPath(), namePath()}) {
        QFile file(path);
        if (!file.open(QIODevice::Append)) {
            setError(error,
                QStringLiteral("Non riesco a creare o aprire il file «%1»: %2.")
                    .arg(path, file.errorString()));
            return false;
        }
    }
    return true;
}

RecordStore::Outcome RecordStore::storeIfBeaten(
    const QString &points, const QString &name, QString *error) const
{
    QLockFile lock(lockPath());
    if (!acquire(lock)) {
        setError(error, lockFailureText(lock.error(), lockPath()));
        return Outcome::Failed;
    }
    const PairPaths pair {m_directory, pointsPath(), namePath()};
    if (!undoUnfinishedWrite(pair, error))
        return Outcome::Failed;
    // A points file that is not there holds no record yet; one that cannot be read might hold a
    // higher one, so nothing is written over it.
    QString stored;
    if (QFileInfo::exists(pair.points)) {
        const auto text = readWholeFile(pair.points, error);
        if (!text)
            return Outcome::Failed;
        stored = *text;
    }
    if (!(recordValue(stored) < recordValue(points)))
        return Outcome::NotBeaten;
    return replacePair(pair, points, name, error) ? Outcome::Stored : Outcome::Failed;
}

std::optional<Record> RecordStore::read(QString *error) const
{
    // Without the lock (a read-only shared folder, a writer stuck elsewhere) the record is still
    // worth showing; only the guarantee that the pair belongs together is lost.
    // A write cut short is undone first; a folder that cannot be mended is read as it is.
    QLockFile lock(lockPath());
    if (acquire(lock))
        (void)undoUnfinishedWrite({m_directory, pointsPath(), namePath()}, nullptr);

    const auto points = readWholeFile(pointsPath(), error);
    if (!points)
        return std::nullopt;
    const auto name = readWholeFile(namePath(), error);
    if (!name)
        return std::nullopt;
    return Record {*points, *name};
}

} // namespace calvenza
