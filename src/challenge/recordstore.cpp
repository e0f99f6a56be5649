#include "challenge/recordstore.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryFile>
#include <QThread>

#include <cerrno>
#include <charconv>
#include <cstdio>
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

// Puts a new pair in place of the old one, both or neither; the caller holds the lock.
bool replacePair(const QString &pointsTarget, const QString &nameTarget, const QString &points,
    const QString &name, QString *error)
{
    QTemporaryFile stagedPoints;
    QTemporaryFile stagedName;
    if (!stage(stagedPoints, pointsTarget, points, error)
        || !stage(stagedName, nameTarget, name, error))
        return false;

    // Keep the old points file reachable so it can be put back if the name cannot follow.
    const QString backup = pointsTarget + backupSuffix;
    const bool hadPoints = QFileInfo(pointsTarget).isFile();
    if (hadPoints) {
        QFile::remove(backup);
        const bool linked = ::link(QFile::encodeName(pointsTarget).constData(),
                                QFile::encodeName(backup).constData())
            == 0;
        // Some shared folders have no hard links; a copy serves the same purpose.
        QFile old(pointsTarget);
        if (!linked && !old.copy(backup)) {
            setError(error,
                QStringLiteral("Non riesco a salvare una copia del file «%1»: %2.")
                    .arg(pointsTarget, old.errorString()));
            return false;
        }
    }

    if (!renameOver(stagedPoints.fileName(), pointsTarget)) {
        setError(error,
            QStringLiteral("Non riesco a scrivere il file «%1»: %2.")
                .arg(pointsTarget, lastSystemError()));
        if (hadPoints)
            QFile::remove(backup);
        return false;
    }
    stagedPoints.setAutoRemove(false);

    if (!renameOver(stagedName.fileName(), nameTarget)) {
        QString message = QStringLiteral("Non riesco a scrivere il file «%1»: %2.")
                              .arg(nameTarget, lastSystemError());
        const bool restored
            = hadPoints ? renameOver(backup, pointsTarget) : QFile::remove(pointsTarget);
        if (!restored)
            message += QStringLiteral(" Anche il file «%1» non è tornato com'era: %2.")
                           .arg(pointsTarget, lastSystemError());
        setError(error, message);
        return false;
    }
    stagedName.setAutoRemove(false);
    if (hadPoints)
        QFile::remove(backup);
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
    // Invalid bytes, and a sequence cut by the limit, become replacement characters.
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

bool RecordStore::write(const QString &points, const QString &name, QString *error) const
{
    return store(points, name, false, error) == Outcome::Stored;
}

RecordStore::Outcome RecordStore::storeIfBeaten(
    const QString &points, const QString &name, QString *error) const
{
    return store(points, name, true, error);
}

RecordStore::Outcome RecordStore::store(
    const QString &points, const QString &name, bool onlyIfBeaten, QString *error) const
{
    QLockFile lock(lockPath());
    if (!acquire(lock)) {
        setError(error, lockFailureText(lock.error(), lockPath()));
        return Outcome::Failed;
    }
    if (onlyIfBeaten) {
        // A points file that is not there holds no record yet; one that cannot be read might
        // hold a higher one, so nothing is written over it.
        QString stored;
        if (QFileInfo::exists(pointsPath())) {
            const auto text = readWholeFile(pointsPath(), error);
            if (!text)
                return Outcome::Failed;
            stored = *text;
        }
        if (!(recordValue(stored) < recordValue(points)))
            return Outcome::NotBeaten;
    }
    return replacePair(pointsPath(), namePath(), points, name, error) ? Outcome::Stored
                                                                      : Outcome::Failed;
}

std::optional<Record> RecordStore::read(QString *error) const
{
    // Without the lock (a read-only shared folder, a writer stuck elsewhere) the record is still
    // worth showing; only the guarantee that the pair belongs together is lost.
    QLockFile lock(lockPath());
    const bool locked = acquire(lock);
    Q_UNUSED(locked);

    const auto points = readWholeFile(pointsPath(), error);
    if (!points)
        return std::nullopt;
    const auto name = readWholeFile(namePath(), error);
    if (!name)
        return std::nullopt;
    return Record {*points, *name};
}

} // namespace calvenza
