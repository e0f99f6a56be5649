#include "challenge/recordstore.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cmath>
#include <limits>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

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

QString dirOf(const QTemporaryDir &dir)
{
    return dir.path() + u'/';
}

struct Pair
{
    QString points;
    QString name;
};

const QList<Pair> contenders = {{QStringLiteral("11"), QStringLiteral("Anna")},
    {QStringLiteral("22"), QStringLiteral("Bruno")},
    {QStringLiteral("33"), QStringLiteral("Carla")},
    {QStringLiteral("44"), QStringLiteral("Niccolò")}};

// Empty (never written yet) or one of the contenders, line ends and all, points and name together.
bool isWholePair(const Record &r)
{
    if (r.points.isEmpty() && r.name.isEmpty())
        return true;
    for (const Pair &p : contenders) {
        if (r.points == p.points + QStringLiteral("\r\n")
            && r.name == p.name + QStringLiteral("\r\n"))
            return true;
    }
    return false;
}

int runWriterChild(const QString &dir, int contender, int rounds)
{
    const RecordStore store(dir);
    for (int i = 0; i < rounds; ++i) {
        QString error;
        if (!store.write(contenders[contender].points, contenders[contender].name, &error)) {
            fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }
    return 0;
}

} // namespace

class RecordStoreTest : public QObject
{
    Q_OBJECT
private slots:
    void recordFilesSitDirectlyInTheDataDirectory_data()
    {
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("path");
        QTest::newRow("points") << QStringLiteral("/d/") << pointsFileName
                                << QStringLiteral("/d/atabkesr8.txt");
        QTest::newRow("name") << QStringLiteral("/d/") << nameFileName
                              << QStringLiteral("/d/ntabkesr8.txt");
        QTest::newRow("no trailing slash")
            << QStringLiteral("/d") << pointsFileName << QStringLiteral("/d/atabkesr8.txt");
        QTest::newRow("plain name")
            << QStringLiteral("/d/") << QStringLiteral("x.txt") << QStringLiteral("/d/x.txt");
    }
    void recordFilesSitDirectlyInTheDataDirectory()
    {
        QFETCH(QString, dir);
        QFETCH(QString, name);
        QFETCH(QString, path);
        QCOMPARE(recordFilePath(dir, name), path);
    }

    void firstRunCreatesBothFilesEmpty()
    {
        QTemporaryDir dir;
        const RecordStore store(dirOf(dir));
        QString error;
        QVERIFY2(store.ensureFilesExist(&error), qPrintable(error));
        QCOMPARE(store.pointsPath(), dir.filePath(QStringLiteral("atabkesr8.txt")));
        QCOMPARE(store.namePath(), dir.filePath(QStringLiteral("ntabkesr8.txt")));
        for (const QString &path : {store.pointsPath(), store.namePath()}) {
            QVERIFY(QFile::exists(path));
            const auto text = Leggifiletxt(path, &error);
            QVERIFY2(text.has_value(), qPrintable(error));
            QCOMPARE(*text, QString());
            QCOMPARE(recordValue(*text), 0.0);
        }
    }

    void existingFilesAreLeftUntouched()
    {
        QTemporaryDir dir;
        const RecordStore store(dirOf(dir));
        putFile(store.pointsPath(), "12\r\n");
        putFile(store.namePath(), "Amico\r\n");
        QVERIFY(store.ensureFilesExist());
        QCOMPARE(contents(store.pointsPath()), QByteArray("12\r\n"));
        QCOMPARE(contents(store.namePath()), QByteArray("Amico\r\n"));
    }

    void writeLeavesExactlyOneLineInEachFile_data()
    {
        QTest::addColumn<QString>("points");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("pointsBytes");
        QTest::addColumn<QByteArray>("nameBytes");
        QTest::newRow("plain") << QStringLiteral("12") << QStringLiteral("Amico")
                               << QByteArray("12\r\n") << QByteArray("Amico\r\n");
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
        const RecordStore store(dirOf(dir));
        QVERIFY(store.write(QStringLiteral("999999"), QStringLiteral("Un nome molto lungo")));
        QString error;
        QVERIFY2(store.write(points, name, &error), qPrintable(error));
        QCOMPARE(contents(store.pointsPath()), pointsBytes);
        QCOMPARE(contents(store.namePath()), nameBytes);
        const auto record = store.read(&error);
        QVERIFY2(record.has_value(), qPrintable(error));
        QCOMPARE(record->points, QString::fromUtf8(pointsBytes));
        QCOMPARE(record->name, QString::fromUtf8(nameBytes));
        // Nothing but the two files is left behind: no staging copies, backup or lock.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
            (QStringList {QStringLiteral("atabkesr8.txt"), QStringLiteral("ntabkesr8.txt")}));
    }

    void readingKeepsLineEndsAndSurvivesInvalidBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("crlf kept") << QByteArray("12\r\n") << QStringLiteral("12\r\n");
        QTest::newRow("several lines") << QByteArray("12\r\n99\n") << QStringLiteral("12\r\n99\n");
        QTest::newRow("utf-8") << QByteArray("Niccol\xc3\xb2\r\n") << QStringLiteral("Niccolò\r\n");
        QTest::newRow("invalid bytes") << QByteArray("\xff\xfe"
                                                     "12")
                                       << QStringLiteral("\uFFFD\uFFFD12");
        QTest::newRow("latin-1 accent")
            << QByteArray("Niccol\xf2") << QStringLiteral("Niccol\uFFFD");
        QTest::newRow("nul inside") << QByteArray("1\0"
                                                  "2",
            3) << QString(QStringLiteral("1") + QChar(0) + u'2');
    }
    void readingKeepsLineEndsAndSurvivesInvalidBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("f.txt"));
        putFile(path, bytes);
        const auto read = Leggifiletxt(path);
        QVERIFY(read.has_value());
        QCOMPARE(*read, text);
    }

    void hugeFileIsReadOnlyUpToTheLimit_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<qsizetype>("length");
        QTest::addColumn<QString>("lastChar");
        QTest::newRow("10 MiB") << qint64(10) * 1024 * 1024 << QByteArray() << recordReadLimit
                                << QStringLiteral("a");
        QTest::newRow("exactly the limit")
            << recordReadLimit << QByteArray() << recordReadLimit << QStringLiteral("a");
        // The limit falls between the two bytes of "ò": a replacement character, no crash.
        QTest::newRow("cut inside a character") << recordReadLimit - 1 << QByteArray("\xc3\xb2rest")
                                                << recordReadLimit << QStringLiteral("\uFFFD");
    }
    void hugeFileIsReadOnlyUpToTheLimit()
    {
        QFETCH(qint64, size);
        QFETCH(QByteArray, tail);
        QFETCH(qsizetype, length);
        QFETCH(QString, lastChar);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("big.txt"));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            const QByteArray chunk(1024 * 1024, 'a');
            for (qint64 left = size; left > 0; left -= chunk.size())
                QVERIFY(file.write(chunk.constData(), qMin<qint64>(left, chunk.size())) > 0);
            QCOMPARE(file.write(tail), tail.size());
        }
        const auto text = Leggifiletxt(path);
        QVERIFY(text.has_value());
        QCOMPARE(text->size(), length);
        QCOMPARE(text->first(1), QStringLiteral("a"));
        QCOMPARE(text->last(1), lastChar);
    }

    void recordValueReadsTheLeadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("crlf") << QStringLiteral("12\r\n") << 12.0;
        QTest::newRow("space inside") << QStringLiteral("1 2") << 12.0;
        QTest::newRow("leading blanks") << QStringLiteral(" \t12") << 12.0;
        QTest::newRow("line feed inside") << QStringLiteral("1\n2") << 12.0;
        QTest::newRow("tab and lf") << QStringLiteral("\t3\n4") << 34.0;
        QTest::newRow("leading space") << QStringLiteral(" 7") << 7.0;
        QTest::newRow("several lines count the first") << QStringLiteral("12\r\n99\r\n") << 12.0;
        QTest::newRow("letters end it") << QStringLiteral("12abc") << 12.0;
        QTest::newRow("letters") << QStringLiteral("abc") << 0.0;
        QTest::newRow("empty") << QString() << 0.0;
        QTest::newRow("blanks only") << QStringLiteral(" \t\n") << 0.0;
        QTest::newRow("cr first") << QStringLiteral("\r\n12") << 0.0;
        QTest::newRow("decimal point") << QStringLiteral("12.5") << 12.5;
        QTest::newRow("leading point") << QStringLiteral(".5") << 0.5;
        QTest::newRow("negative fraction") << QStringLiteral("-.25") << -0.25;
        QTest::newRow("trailing point") << QStringLiteral("7.") << 7.0;
        QTest::newRow("second point ends it") << QStringLiteral("1.2.3") << 1.2;
        QTest::newRow("plus") << QStringLiteral("+5") << 5.0;
        QTest::newRow("minus") << QStringLiteral("-3") << -3.0;
        QTest::newRow("sign then space") << QStringLiteral("- 3") << -3.0;
        QTest::newRow("two signs") << QStringLiteral("+-5") << 0.0;
        QTest::newRow("sign alone") << QStringLiteral("-") << 0.0;
        QTest::newRow("point alone") << QStringLiteral(".") << 0.0;
        QTest::newRow("sign and point") << QStringLiteral("-.") << 0.0;
        QTest::newRow("comma ends it") << QStringLiteral("1,5") << 1.0;
        QTest::newRow("no thousands separator") << QStringLiteral("1.000,5") << 1.0;
        QTest::newRow("arabic digit") << QStringLiteral("٣") << 0.0;
        QTest::newRow("fullwidth digit") << QStringLiteral("１2") << 0.0;
        QTest::newRow("no-break space ends it") << QStringLiteral("1\u00A02") << 1.0;
        QTest::newRow("leading zeros") << QStringLiteral("007") << 7.0;
        QTest::newRow("exponent") << QStringLiteral("1e3") << 1000.0;
        QTest::newRow("capital exponent") << QStringLiteral("2.5E2") << 250.0;
        QTest::newRow("signed exponent") << QStringLiteral("15e-1") << 1.5;
        QTest::newRow("exponent with spaces") << QStringLiteral("1 e +2") << 100.0;
        QTest::newRow("bare e") << QStringLiteral("12e") << 12.0;
        QTest::newRow("e then letter") << QStringLiteral("12ex") << 12.0;
        QTest::newRow("e then sign") << QStringLiteral("12e+") << 12.0;
        QTest::newRow("e first") << QStringLiteral("e5") << 0.0;
        QTest::newRow("overflow") << QStringLiteral("1e400") << std::numeric_limits<double>::max();
        QTest::newRow("negative overflow")
            << QStringLiteral("-9e99999999999999999999") << -std::numeric_limits<double>::max();
        QTest::newRow("underflow") << QStringLiteral("1e-400") << 0.0;
        QTest::newRow("negative underflow") << QStringLiteral("-1e-400") << 0.0;
        QTest::newRow("minus zero") << QStringLiteral("-0") << 0.0;
        QTest::newRow("huge digit run") << QString(400, u'9') << std::numeric_limits<double>::max();
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
        for (int round = 0; round < 5000; ++round) {
            QString text;
            const int length = random.bounded(40);
            for (int i = 0; i < length; ++i)
                text += alphabet.at(random.bounded(alphabet.size()));
            if (round % 10 == 0)
                text += QString(random.bounded(2000), u'9');
            const double value = recordValue(text);
            QVERIFY2(std::isfinite(value), qPrintable(text));
        }
    }

    void dataDirectoryThatIsAFileFailsWithAClearMessage()
    {
        QTemporaryDir dir;
        const QString notADir = dir.filePath(QStringLiteral("notadir"));
        putFile(notADir, "x");
        const RecordStore store(notADir + u'/');
        QString error;
        QVERIFY(!store.ensureFilesExist(&error));
        QVERIFY2(error.contains(store.pointsPath()), qPrintable(error));
        QVERIFY2(error.startsWith(QStringLiteral("Non riesco")), qPrintable(error));
        error.clear();
        QVERIFY(!Leggifiletxt(store.pointsPath(), &error).has_value());
        QVERIFY2(error.contains(store.pointsPath()), qPrintable(error));
        error.clear();
        QVERIFY(!store.write(QStringLiteral("12"), QStringLiteral("Amico"), &error));
        QVERIFY2(error.contains(dir.path()), qPrintable(error));
        QVERIFY(!store.read().has_value());
        QCOMPARE(contents(notADir), QByteArray("x"));
    }

    void pointsPathThatIsADirectoryFailsAndKeepsTheName()
    {
        QTemporaryDir dir;
        const RecordStore store(dirOf(dir));
        QVERIFY(QDir().mkdir(store.pointsPath()));
        putFile(store.namePath(), "Vecchio\r\n");
        QString error;
        QVERIFY(!store.ensureFilesExist(&error));
        QVERIFY2(error.contains(store.pointsPath()), qPrintable(error));
        error.clear();
        QVERIFY(!Leggifiletxt(store.pointsPath(), &error).has_value());
        QVERIFY2(error.contains(store.pointsPath()), qPrintable(error));
        error.clear();
        QVERIFY(!store.write(QStringLiteral("12"), QStringLiteral("Amico"), &error));
        QVERIFY2(error.contains(store.pointsPath()), qPrintable(error));
        QVERIFY(QFileInfo(store.pointsPath()).isDir());
        QCOMPARE(contents(store.namePath()), QByteArray("Vecchio\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
            (QStringList {QStringLiteral("atabkesr8.txt"), QStringLiteral("ntabkesr8.txt")}));
    }

    void recordIsKeptWhenNameFileCannotBeWritten_data()
    {
        QTest::addColumn<bool>("hadRecord");
        QTest::newRow("old record") << true;
        QTest::newRow("first record") << false;
    }
    void recordIsKeptWhenNameFileCannotBeWritten()
    {
        QFETCH(bool, hadRecord);
        QTemporaryDir dir;
        const RecordStore store(dirOf(dir));
        if (hadRecord)
            QVERIFY(store.write(QStringLiteral("12"), QStringLiteral("Amico")));
        QFile::remove(store.namePath());
        // The points file is already in place when the name cannot follow: it must be put back.
        QVERIFY(QDir().mkdir(store.namePath()));
        QString error;
        QVERIFY(!store.write(QStringLiteral("99"), QStringLiteral("Zeno"), &error));
        QVERIFY2(error.contains(store.namePath()), qPrintable(error));
        if (hadRecord)
            QCOMPARE(contents(store.pointsPath()), QByteArray("12\r\n"));
        else
            QVERIFY(!QFile::exists(store.pointsPath()));
        QVERIFY(QFileInfo(store.namePath()).isDir());
        QStringList expected {QStringLiteral("ntabkesr8.txt")};
        if (hadRecord)
            expected.prepend(QStringLiteral("atabkesr8.txt"));
        QCOMPARE(
            QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot), expected);
    }

    void readOnlyDirectoryKeepsTheRecord()
    {
        if (::geteuid() == 0)
            QSKIP("root writes into read-only directories");
        QTemporaryDir dir;
        const RecordStore store(dirOf(dir));
        QVERIFY(store.write(QStringLiteral("12"), QStringLiteral("Amico")));
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        QString error;
        const bool written = store.write(QStringLiteral("99"), QStringLiteral("Zeno"), &error);
        QFile::setPermissions(
            dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(!written);
        QVERIFY(!error.isEmpty());
        QCOMPARE(contents(store.pointsPath()), QByteArray("12\r\n"));
        QCOMPARE(contents(store.namePath()), QByteArray("Amico\r\n"));
    }

    void leftoverLockOfAVanishedWriterIsTakenOver()
    {
        QTemporaryDir dir;
        const RecordStore store(dirOf(dir));
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

    void recordHeldByAnotherWriterFailsWithAClearMessage()
    {
        QTemporaryDir dir;
        const RecordStore store(dirOf(dir));
        QVERIFY(store.write(QStringLiteral("12"), QStringLiteral("Amico")));
        QLockFile other(store.lockPath());
        QVERIFY(other.tryLock());
        QString error;
        QVERIFY(!store.write(QStringLiteral("99"), QStringLiteral("Zeno"), &error));
        QVERIFY2(error.contains(store.lockPath()), qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("un'altra Calvenza")), qPrintable(error));
        QCOMPARE(contents(store.pointsPath()), QByteArray("12\r\n"));
        QCOMPARE(contents(store.namePath()), QByteArray("Amico\r\n"));
    }

    void concurrentThreadsNeverLeaveAMixedPair()
    {
        QTemporaryDir dir;
        const RecordStore store(dirOf(dir));
        QVERIFY(store.ensureFilesExist());
        std::atomic<int> failures = 0;
        std::atomic<bool> writing = true;
        std::mutex seenLock;
        QStringList mixed;
        std::vector<std::thread> writers;
        for (int w = 0; w < int(contenders.size()); ++w) {
            writers.emplace_back([&store, &failures, w] {
                for (int i = 0; i < 25; ++i) {
                    if (!store.write(contenders[w].points, contenders[w].name))
                        ++failures;
                }
            });
        }
        std::thread reader([&] {
            while (writing) {
                const auto record = store.read();
                if (!record || !isWholePair(*record)) {
                    const std::lock_guard guard(seenLock);
                    mixed << (record ? record->points + u'/' + record->name
                                     : QStringLiteral("<unreadable>"));
                }
            }
        });
        for (std::thread &t : writers)
            t.join();
        writing = false;
        reader.join();
        QCOMPARE(failures.load(), 0);
        QCOMPARE(mixed, QStringList());
        const auto last = store.read();
        QVERIFY(last && isWholePair(*last) && !last->points.isEmpty());
    }

    void concurrentProgramsNeverLeaveAMixedPair()
    {
        QTemporaryDir dir;
        const RecordStore store(dirOf(dir));
        std::vector<std::unique_ptr<QProcess>> children;
        for (int w = 0; w < int(contenders.size()); ++w) {
            auto child = std::make_unique<QProcess>();
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QString::fromLatin1(writerDirVariable), dirOf(dir));
            child->setProcessEnvironment(env);
            child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child->start(QCoreApplication::applicationFilePath(),
                {QString::number(w), QStringLiteral("20")});
            QVERIFY(child->waitForStarted());
            children.push_back(std::move(child));
        }
        QStringList mixed;
        const auto running = [&children] {
            return std::any_of(children.begin(), children.end(),
                [](const auto &c) { return c->state() != QProcess::NotRunning; });
        };
        QDeadlineTimer deadline(120'000);
        while (running() && !deadline.hasExpired()) {
            if (QFile::exists(store.pointsPath()) && QFile::exists(store.namePath())) {
                const auto record = store.read();
                if (!record || !isWholePair(*record))
                    mixed << (record ? record->points + u'/' + record->name
                                     : QStringLiteral("<unreadable>"));
            }
            for (const auto &c : children)
                c->waitForFinished(1);
        }
        for (const auto &c : children) {
            QVERIFY(c->state() == QProcess::NotRunning || c->waitForFinished(10'000));
            QCOMPARE(c->exitStatus(), QProcess::NormalExit);
            QCOMPARE(c->exitCode(), 0);
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
        const QStringList args = app.arguments();
        const int contender = args.value(1).toInt();
        if (args.size() < 3 || contender < 0 || contender >= int(contenders.size()))
            return 2;
        return runWriterChild(
            qEnvironmentVariable(writerDirVariable), contender, args.value(2).toInt());
    }
    RecordStoreTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recordstore.moc"
