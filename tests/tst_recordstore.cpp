#include "challenge/recordstore.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <cmath>
#include <limits>

using namespace calvenza;
using namespace Qt::StringLiterals;
using Outcome = RecordStore::Outcome;

namespace {

// First argument of a child copy of this program, which then only stores records and exits.
const QString writerFlag = u"--writer"_s;
const QStringList contenders {u"Anna"_s, u"Bruno"_s, u"Carla"_s, u"Niccolò"_s};

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void putFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QStringList entries(const QTemporaryDir &dir)
{
    return QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
}

// mode "write" or "beat": the child stores each of the points in turn under one name.
void startWriter(QProcess &child, const QTemporaryDir &dir, const QString &mode,
    const QString &name, const QStringList &points)
{
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
        QStringList {writerFlag, dir.path(), mode, name} + points);
}

enum Fault { PointsIsDirectory, NameIsDirectory, LockHeld };

} // namespace

class RecordStoreTest : public QObject
{
    Q_OBJECT
private slots:
    void firstRunCreatesMissingFilesAndKeepsExistingOnes()
    {
        QTemporaryDir dir;
        const RecordStore store(dir.path() + u'/');
        QCOMPARE(store.pointsPath(), dir.filePath(u"atabkesr8.txt"_s));
        putFile(store.namePath(), "Amico\r\n");
        QString error;
        QVERIFY2(store.ensureFilesExist(&error), qPrintable(error));
        QCOMPARE(contents(store.pointsPath()), QByteArray());
        QCOMPARE(contents(store.namePath()), QByteArray("Amico\r\n"));
    }

    void writeLeavesExactlyOneLineInEachFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("accented") << u"Niccolò"_s << QByteArray("Niccol\xc3\xb2\r\n");
        QTest::newRow("line breaks inside") << u"Anna\r\nMaria"_s << QByteArray("Anna  Maria\r\n");
    }
    void writeLeavesExactlyOneLineInEachFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const RecordStore store(dir.path());
        // A longer old record must not leave a tail behind.
        QVERIFY(store.write(u"999999"_s, u"Un nome molto lungo"_s));
        QString error;
        QVERIFY2(store.write(u"40"_s, name, &error), qPrintable(error));
        QCOMPARE(contents(store.pointsPath()) + contents(store.namePath()), "40\r\n" + bytes);
        QCOMPARE(store.read().value_or(Record {}).name, QString::fromUtf8(bytes));
        // No staging copies, backup or lock left behind.
        QCOMPARE(entries(dir), (QStringList {pointsFileName(8), nameFileName(8)}));
    }

    void readingKeepsLineEndsAndSurvivesInvalidBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("line ends kept") << QByteArray("12\r\n99\n") << u"12\r\n99\n"_s;
        QTest::newRow("invalid bytes") << QByteArray("\xff\xfe"
                                                     "12")
                                       << u"\uFFFD\uFFFD12"_s;
        // The limit falls between the two bytes of "ò": nothing past it is read.
        QTest::newRow("huge file")
            << QByteArray(recordReadLimit - 1, 'a') + "\xc3\xb2" + QByteArray(1 << 22, 'b')
            << QString(recordReadLimit - 1, u'a') + QChar(0xFFFD);
    }
    void readingKeepsLineEndsAndSurvivesInvalidBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QTemporaryDir dir;
        putFile(dir.filePath(u"f.txt"_s), bytes);
        QCOMPARE(readWholeFile(dir.filePath(u"f.txt"_s)).value_or(u"<none>"_s), text);
    }

    void recordValueReadsTheLeadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("crlf") << u"12\r\n"_s << 12.0;
        QTest::newRow("space inside") << u"1 2"_s << 12.0;
        QTest::newRow("blanks anywhere") << u" \t1\n3 .5"_s << 13.5;
        QTest::newRow("only the first line") << u"12\r\n99"_s << 12.0;
        QTest::newRow("cr first") << u"\r\n12"_s << 0.0;
        QTest::newRow("not a number") << u"Anna 12"_s << 0.0;
        QTest::newRow("empty") << QString() << 0.0;
        QTest::newRow("second point ends it") << u"1.2.3"_s << 1.2;
        QTest::newRow("negative") << u"-3x"_s << -3.0;
        QTest::newRow("minus zero") << u"-0"_s << 0.0;
        QTest::newRow("exponent") << u"2.5E2"_s << 250.0;
        QTest::newRow("overflow") << u"1e400"_s << std::numeric_limits<double>::max();
    }
    void recordValueReadsTheLeadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(recordValue(text), value);
        QCOMPARE(std::signbit(recordValue(text)), std::signbit(value)); // never shown as "-0"
    }

    void dataDirectoryThatIsAFileFailsWithAnItalianMessage()
    {
        QTemporaryDir dir;
        const QString notADir = dir.filePath(u"notadir"_s);
        putFile(notADir, "x");
        const RecordStore store(notADir);
        QString error;
        QVERIFY(!store.ensureFilesExist(&error));
        QVERIFY2(error.startsWith(
                     u"Non riesco a creare o aprire il file «%1»"_s.arg(store.pointsPath())),
            qPrintable(error));
        QVERIFY(!store.read(&error).has_value());
        QVERIFY2(error.contains(store.pointsPath()), qPrintable(error));
        QVERIFY(!store.write(u"12"_s, u"Amico"_s, &error));
        QVERIFY2(error.contains(notADir), qPrintable(error));
        error.clear();
        QCOMPARE(store.storeIfBeaten(u"12"_s, u"Amico"_s, &error), Outcome::Failed);
        QVERIFY2(error.startsWith(u"Non riesco a salvare il record"_s), qPrintable(error));
        QCOMPARE(contents(notADir), QByteArray("x"));
    }

    void failedWriteKeepsTheOldPair_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<bool>("hadRecord");
        QTest::newRow("points path a directory") << int(PointsIsDirectory) << true;
        // The points file is already in place when the name fails, and must be put back.
        QTest::newRow("name path a directory") << int(NameIsDirectory) << true;
        QTest::newRow("name path a directory, first record") << int(NameIsDirectory) << false;
        QTest::newRow("lock held by another writer") << int(LockHeld) << true;
    }
    void failedWriteKeepsTheOldPair()
    {
        QFETCH(int, fault);
        QFETCH(bool, hadRecord);
        QTemporaryDir dir;
        const RecordStore store(dir.path());
        if (hadRecord)
            QVERIFY(store.write(u"12"_s, u"Amico"_s));
        QLockFile other(store.lockPath());
        QString named = store.lockPath();
        if (fault == LockHeld) {
            QVERIFY(other.tryLock());
        } else {
            named = fault == PointsIsDirectory ? store.pointsPath() : store.namePath();
            QFile::remove(named);
            QVERIFY(QDir().mkdir(named));
        }
        const QByteArray before = contents(store.pointsPath()) + contents(store.namePath());
        QString error;
        QVERIFY(!store.write(u"99"_s, u"Zeno"_s, &error));
        QVERIFY2(error.contains(named), qPrintable(error));
        error.clear();
        QCOMPARE(store.storeIfBeaten(u"99"_s, u"Zeno"_s, &error), Outcome::Failed);
        QVERIFY2(error.contains(named), qPrintable(error));
        QCOMPARE(contents(store.pointsPath()) + contents(store.namePath()), before);
        other.unlock();
        QCOMPARE(entries(dir).size(), hadRecord ? 2 : 1);
    }

    // The window compares with the record it read at start; another program may have stored a
    // higher one since.
    void lowerScoreNeverReplacesAHigherOne_data()
    {
        QTest::addColumn<QStringList>("scores"); // Anna's, then Bruno's
        QTest::addColumn<QList<int>>("outcomes");
        QTest::addColumn<QByteArray>("pair");
        const int stored = int(Outcome::Stored);
        const int notBeaten = int(Outcome::NotBeaten);
        QTest::newRow("higher first") << QStringList {u"3"_s, u"1"_s} << QList {stored, notBeaten}
                                      << QByteArray("3\r\nAnna\r\n");
        QTest::newRow("lower first") << QStringList {u"1"_s, u"3"_s} << QList {stored, stored}
                                     << QByteArray("3\r\nBruno\r\n");
        QTest::newRow("a tie keeps the first")
            << QStringList {u"3"_s, u"3"_s} << QList {stored, notBeaten}
            << QByteArray("3\r\nAnna\r\n");
    }
    void lowerScoreNeverReplacesAHigherOne()
    {
        QFETCH(QStringList, scores);
        QFETCH(QList<int>, outcomes);
        QFETCH(QByteArray, pair);
        QTemporaryDir dir;
        for (int i = 0; i < 2; ++i) {
            QProcess child;
            startWriter(child, dir, u"beat"_s, contenders[i], {scores[i]});
            QVERIFY(child.waitForFinished());
            QCOMPARE(child.exitCode(), outcomes[i]);
        }
        const RecordStore store(dir.path());
        QCOMPARE(contents(store.pointsPath()) + contents(store.namePath()), pair);
    }

    // Writer w stores w + 1, w + 5, w + 9...: the points tell whose name belongs with them.
    void concurrentProgramsNeverLeaveAMixedOrLowerPair_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("write") << u"write"_s;
        QTest::newRow("store if beaten") << u"beat"_s;
    }
    void concurrentProgramsNeverLeaveAMixedOrLowerPair()
    {
        QFETCH(QString, mode);
        QTemporaryDir dir;
        const RecordStore store(dir.path());
        std::array<QProcess, 4> children;
        for (int w = 0; w < 4; ++w) {
            QStringList points;
            for (int i = 0; i < 20; ++i)
                points << QString::number(4 * i + w + 1);
            startWriter(children[w], dir, mode, contenders[w], points);
        }
        QStringList faults;
        double highest = 0;
        const auto running = [&children] {
            return std::count_if(children.begin(), children.end(), [](QProcess &c) {
                return !c.waitForFinished(1) && c.state() != QProcess::NotRunning;
            });
        };
        for (const QDeadlineTimer deadline(120'000); running() > 0 && !deadline.hasExpired();) {
            // The name is renamed into place second: once it exists, both do.
            const auto r = QFile::exists(store.namePath()) ? store.read() : std::nullopt;
            if (!r)
                continue;
            const qsizetype who = contenders.indexOf(r->name.chopped(qMin(2, r->name.size())));
            const double value = recordValue(r->points);
            if (who < 0 || !r->name.endsWith(u"\r\n"_s) || !r->points.endsWith(u"\r\n"_s)
                || (int(value) - who - 1) % 4 != 0 || (mode == u"beat"_s && value < highest))
                faults << r->points + u'/' + r->name;
            highest = std::max(highest, value);
        }
        for (QProcess &c : children) {
            QVERIFY(c.state() == QProcess::NotRunning || c.waitForFinished(10'000));
            QVERIFY(c.exitStatus() == QProcess::NormalExit && c.exitCode() != int(Outcome::Failed));
        }
        QCOMPARE(faults, QStringList());
        if (mode == u"beat"_s)
            QCOMPARE(store.read().value_or(Record {}).name, u"Niccolò\r\n"_s);
    }

    void eachTableKeepsItsOwnPair()
    {
        QTemporaryDir dir;
        const RecordStore eight(dir.path()), seven(dir.path(), 7), ten(dir.path(), 10);
        QVERIFY(eight.write(u"50"_s, u"Anna"_s));
        // Another table's higher record is no record to beat here.
        QCOMPARE(ten.storeIfBeaten(u"5"_s, u"Bruno"_s), Outcome::Stored);
        // A writer busy on the eight does not hold up the seven.
        QLockFile busy(eight.lockPath());
        QVERIFY(busy.tryLock());
        QVERIFY(seven.write(u"7"_s, u"Carla"_s));
        QCOMPARE(entries(dir),
            (QStringList {u"atabkesr10.txt"_s, u"atabkesr7.txt"_s, u"atabkesr8.txt"_s,
                u"ntabkesr10.txt"_s, u"ntabkesr7.txt"_s, u"ntabkesr8.txt"_s, u"tabkesr8.lock"_s}));
        QCOMPARE(contents(eight.pointsPath()) + contents(eight.namePath()), "50\r\nAnna\r\n");
        QCOMPARE(contents(ten.pointsPath()) + contents(ten.namePath()), "5\r\nBruno\r\n");
        QCOMPARE(contents(seven.pointsPath()) + contents(seven.namePath()), "7\r\nCarla\r\n");
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == writerFlag) {
        const RecordStore store(args.value(2));
        int last = 0;
        for (const QString &points : args.mid(5)) {
            QString error;
            last = args.value(3) == u"write"_s
                ? (store.write(points, args.value(4), &error) ? 0 : int(Outcome::Failed))
                : int(store.storeIfBeaten(points, args.value(4), &error));
            if (last == int(Outcome::Failed)) {
                fprintf(stderr, "%s\n", qPrintable(error));
                return last;
            }
        }
        return last;
    }
    RecordStoreTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recordstore.moc"
