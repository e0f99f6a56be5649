#include "challenge/recordstore.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <cmath>
#include <limits>
#include <unistd.h>

using namespace calvenza;

namespace {

// Set in a child copy of this test program, which then only writes records and exits.
const char writerDirVariable[] = "TST_RECORDSTORE_WRITER_DIR";

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

enum Fault { PointsIsDirectory, NameIsDirectory, LockHeld, ReadOnly };

const QStringList bothFiles {QStringLiteral("atabkesr8.txt"), QStringLiteral("ntabkesr8.txt")};

// Each writer puts its own pair: points 11 with Anna, 22 with Bruno, and so on.
const QStringList contenders {QStringLiteral("Anna"), QStringLiteral("Bruno"),
    QStringLiteral("Carla"), QStringLiteral("Niccolò")};

QString pointsOf(qsizetype contender)
{
    return QString::number(11 * (contender + 1));
}

// Empty (never written yet) or one contender's points and name together, line ends and all.
bool isWholePair(const Record &r)
{
    const qsizetype who = contenders.indexOf(r.name.chopped(qMin(2, r.name.size())));
    return (r.points.isEmpty() && r.name.isEmpty())
        || (who >= 0 && r.name.endsWith(QStringLiteral("\r\n"))
            && r.points == pointsOf(who) + QStringLiteral("\r\n"));
}

} // namespace

class RecordStoreTest : public QObject
{
    Q_OBJECT
private slots:
    void firstRunCreatesMissingFilesAndKeepsExistingOnes()
    {
        QCOMPARE(
            recordFilePath(QStringLiteral("/d"), nameFileName), QStringLiteral("/d/ntabkesr8.txt"));
        QTemporaryDir dir;
        const RecordStore store(dir.path() + u'/');
        QCOMPARE(store.pointsPath(), dir.filePath(QStringLiteral("atabkesr8.txt")));
        putFile(store.namePath(), "Amico\r\n");
        QString error;
        QVERIFY2(store.ensureFilesExist(&error), qPrintable(error));
        QCOMPARE(contents(store.pointsPath()), QByteArray());
        QCOMPARE(contents(store.namePath()), QByteArray("Amico\r\n"));
    }

    void writeLeavesExactlyOneLineInEachFile_data()
    {
        QTest::addColumn<QString>("points");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("pointsBytes");
        QTest::addColumn<QByteArray>("nameBytes");
        QTest::newRow("accented") << QStringLiteral("40") << QStringLiteral("Niccolò")
                                  << QByteArray("40\r\n") << QByteArray("Niccol\xc3\xb2\r\n");
        QTest::newRow("empty") << QString() << QString() << QByteArray("\r\n")
                               << QByteArray("\r\n");
        QTest::newRow("line breaks inside")
            << QStringLiteral("1\r\n2") << QStringLiteral("Anna\nMaria") << QByteArray("1  2\r\n")
            << QByteArray("Anna Maria\r\n");
    }
    void writeLeavesExactlyOneLineInEachFile()
    {
        QFETCH(QString, points);
        QFETCH(QString, name);
        QFETCH(QByteArray, pointsBytes);
        QFETCH(QByteArray, nameBytes);
        QTemporaryDir dir;
        const RecordStore store(dir.path());
        // A longer old record must not leave a tail behind.
        QVERIFY(store.write(QStringLiteral("999999"), QStringLiteral("Un nome molto lungo")));
        QString error;
        QVERIFY2(store.write(points, name, &error), qPrintable(error));
        QCOMPARE(contents(store.pointsPath()), pointsBytes);
        QCOMPARE(contents(store.namePath()), nameBytes);
        const auto record = store.read(&error);
        QVERIFY2(record.has_value(), qPrintable(error));
        QCOMPARE(record->name, QString::fromUtf8(nameBytes));
        // No staging copies, backup or lock left behind.
        QCOMPARE(entries(dir), bothFiles);
    }

    void readingKeepsLineEndsAndSurvivesInvalidBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("line ends kept") << QByteArray("12\r\n99\n") << QStringLiteral("12\r\n99\n");
        QTest::newRow("invalid bytes")
            << QByteArray("\xff\xfe") + "12" << QStringLiteral("\uFFFD\uFFFD12");
        QTest::newRow("nul inside") << QByteArray("1\0002", 3) << QStringLiteral("1\u00002");
        // The limit falls between the two bytes of "ò": nothing past it is read, and no crash.
        QTest::newRow("huge file")
            << QByteArray(recordReadLimit - 1, 'a') + "\xc3\xb2" + QByteArray(1 << 22, 'b')
            << QString(recordReadLimit - 1, u'a') + QChar(0xFFFD);
    }
    void readingKeepsLineEndsAndSurvivesInvalidBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("f.txt"));
        putFile(path, bytes);
        QCOMPARE(Leggifiletxt(path).value_or(QStringLiteral("<none>")), text);
    }

    void recordValueReadsTheLeadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        const double max = std::numeric_limits<double>::max();
        QTest::newRow("crlf") << QStringLiteral("12\r\n") << 12.0;
        QTest::newRow("blanks anywhere") << QStringLiteral(" \t1 2\n3") << 123.0;
        QTest::newRow("cr first") << QStringLiteral("\r\n12") << 0.0;
        QTest::newRow("empty") << QString() << 0.0;
        QTest::newRow("second point ends it") << QStringLiteral("1.2.3") << 1.2;
        QTest::newRow("negative fraction") << QStringLiteral("-.25") << -0.25;
        QTest::newRow("sign then space") << QStringLiteral("- 3") << -3.0;
        QTest::newRow("two signs") << QStringLiteral("+-5") << 0.0;
        QTest::newRow("sign and point") << QStringLiteral("-.") << 0.0;
        QTest::newRow("fullwidth digit") << QStringLiteral("１2") << 0.0;
        QTest::newRow("no-break space ends it") << QStringLiteral("1\u00A02") << 1.0;
        QTest::newRow("capital exponent") << QStringLiteral("2.5E2") << 250.0;
        QTest::newRow("exponent with spaces") << QStringLiteral("15 e - 1") << 1.5;
        QTest::newRow("e then sign") << QStringLiteral("12e+") << 12.0;
        QTest::newRow("overflow") << QStringLiteral("1e400") << max;
        QTest::newRow("negative overflow") << QStringLiteral("-9e99999999999999999999") << -max;
        QTest::newRow("negative underflow") << QStringLiteral("-1e-400") << 0.0;
        QTest::newRow("huge digit run") << QString(400, u'9') << max;
        QTest::newRow("long digit run") << QString(300, u'1') + QStringLiteral("x")
                                        << QStringLiteral("1.1111111111111111e299").toDouble();
        QTest::newRow("tiny fraction") << QStringLiteral("0.") + QString(400, u'0') + u'1' << 0.0;
    }
    void recordValueReadsTheLeadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        const double read = recordValue(text);
        QCOMPARE(read, value);
        QCOMPARE(std::signbit(read), std::signbit(value));
    }

    // The record file is whatever is on disk; reading it must give a finite number for anything.
    void recordValueIsFiniteForArbitraryText()
    {
        const QString alphabet = QStringLiteral("0123456789+-.eE \t\r\n,abcò٣\uFFFD");
        QRandomGenerator random(8);
        for (int round = 0; round < 3000; ++round) {
            QString text;
            for (int i = random.bounded(40); i > 0; --i)
                text += alphabet.at(random.bounded(alphabet.size()));
            if (round % 10 == 0)
                text += QString(random.bounded(2000), u'9');
            QVERIFY2(std::isfinite(recordValue(text)), qPrintable(text));
        }
    }

    void dataDirectoryThatIsAFileFailsWithAClearMessage()
    {
        QTemporaryDir dir;
        const QString notADir = dir.filePath(QStringLiteral("notadir"));
        putFile(notADir, "x");
        const RecordStore store(notADir);
        QString error;
        QVERIFY(!store.ensureFilesExist(&error));
        QVERIFY2(error.startsWith(QStringLiteral("Non riesco")), qPrintable(error));
        QVERIFY2(error.contains(store.pointsPath()), qPrintable(error));
        error.clear();
        QVERIFY(!store.write(QStringLiteral("12"), QStringLiteral("Amico"), &error));
        QVERIFY2(error.contains(notADir), qPrintable(error));
        error.clear();
        QVERIFY(!store.read(&error).has_value());
        QVERIFY2(error.contains(store.pointsPath()), qPrintable(error));
        QCOMPARE(contents(notADir), QByteArray("x"));
    }

    void failedWriteKeepsTheOldPair_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<bool>("hadRecord");
        QTest::newRow("points path a directory") << int(PointsIsDirectory) << true;
        QTest::newRow("name path a directory") << int(NameIsDirectory) << true;
        QTest::newRow("name path a directory, first record") << int(NameIsDirectory) << false;
        QTest::newRow("lock held by another writer") << int(LockHeld) << true;
        QTest::newRow("read-only directory") << int(ReadOnly) << true;
    }
    void failedWriteKeepsTheOldPair()
    {
        QFETCH(int, fault);
        QFETCH(bool, hadRecord);
        if (fault == ReadOnly && ::geteuid() == 0)
            QSKIP("root writes into read-only directories");
        QTemporaryDir dir;
        const RecordStore store(dir.path());
        if (hadRecord)
            QVERIFY(store.write(QStringLiteral("12"), QStringLiteral("Amico")));
        QLockFile other(store.lockPath());
        QString named = store.lockPath();
        if (fault == PointsIsDirectory || fault == NameIsDirectory) {
            // With the name blocked, the points file is already in place and must be put back.
            named = fault == PointsIsDirectory ? store.pointsPath() : store.namePath();
            QFile::remove(named);
            QVERIFY(QDir().mkdir(named));
        } else if (fault == LockHeld) {
            QVERIFY(other.tryLock());
        } else {
            QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        }
        QString error;
        const bool written = store.write(QStringLiteral("99"), QStringLiteral("Zeno"), &error);
        QFile::setPermissions(
            dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(!written);
        QVERIFY2(error.contains(named), qPrintable(error));
        QVERIFY2(fault != LockHeld || error.contains(QStringLiteral("un'altra Calvenza")),
            qPrintable(error));
        other.unlock();
        QCOMPARE(entries(dir), hadRecord ? bothFiles : bothFiles.mid(1));
        if (hadRecord && fault != PointsIsDirectory)
            QCOMPARE(contents(store.pointsPath()), QByteArray("12\r\n"));
        if (hadRecord && fault != NameIsDirectory)
            QCOMPARE(contents(store.namePath()), QByteArray("Amico\r\n"));
    }

    void leftoverLockOfAVanishedWriterIsTakenOver()
    {
        QTemporaryDir dir;
        const RecordStore store(dir.path());
        putFile(store.lockPath(), "garbage");
        QFile lock(store.lockPath());
        QVERIFY(lock.open(QIODevice::ReadWrite));
        QVERIFY(lock.setFileTime(
            QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
        lock.close();
        QString error;
        QVERIFY2(
            store.write(QStringLiteral("12"), QStringLiteral("Amico"), &error), qPrintable(error));
        QCOMPARE(contents(store.pointsPath()), QByteArray("12\r\n"));
    }

    // Separate programs, as when two pupils end at once on a shared data folder.
    void concurrentProgramsNeverLeaveAMixedPair()
    {
        QTemporaryDir dir;
        const RecordStore store(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(writerDirVariable), dir.path());
        std::array<QProcess, 4> children;
        for (int w = 0; w < int(children.size()); ++w) {
            children[w].setProcessEnvironment(env);
            children[w].setProcessChannelMode(QProcess::ForwardedErrorChannel);
            children[w].start(QCoreApplication::applicationFilePath(), {QString::number(w)});
            QVERIFY(children[w].waitForStarted());
        }
        QStringList mixed;
        const QDeadlineTimer deadline(120'000);
        for (int running = 1; running > 0 && !deadline.hasExpired();) {
            // The name is renamed into place second: once it exists, both do.
            if (QFile::exists(store.namePath())) {
                const auto record = store.read();
                if (!record || !isWholePair(*record))
                    mixed << (record ? record->points + u'/' + record->name : QStringLiteral("?"));
            }
            running = 0;
            for (QProcess &c : children)
                running += !c.waitForFinished(1) && c.state() != QProcess::NotRunning;
        }
        for (QProcess &c : children) {
            QVERIFY(c.state() == QProcess::NotRunning || c.waitForFinished(10'000));
            QVERIFY(c.exitStatus() == QProcess::NormalExit && c.exitCode() == 0);
        }
        QCOMPARE(mixed, QStringList());
        const auto last = store.read();
        QVERIFY(last && isWholePair(*last) && !last->points.isEmpty());
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(writerDirVariable)) {
        const int w = app.arguments().value(1).toInt();
        const RecordStore store(qEnvironmentVariable(writerDirVariable));
        for (int i = 0; i < 20; ++i) {
            QString error;
            if (!store.write(pointsOf(w), contenders.value(w), &error)) {
                fprintf(stderr, "%s\n", qPrintable(error));
                return 1;
            }
        }
        return 0;
    }
    RecordStoreTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recordstore.moc"
