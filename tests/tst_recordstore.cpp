#include "challenge/recordstore.h"

#include <QDir>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

using namespace calvenza;
using namespace Qt::StringLiterals;
using Outcome = RecordStore::Outcome;

static const QStringList contenders {u"Anna"_s, u"Bruno"_s, u"Carla"_s, u"Niccolò"_s};

static QByteArray pairOf(const RecordStore &store)
{
    QFile points(store.pointsPath()), name(store.namePath());
    return (points.open(QIODevice::ReadOnly) ? points.readAll() : "<unreadable>")
        + (name.open(QIODevice::ReadOnly) ? name.readAll() : "<unreadable>");
}

class RecordStoreTest : public QObject
{
    Q_OBJECT
private slots:
    // Invalid bytes become replacement characters, line ends stay, and the limit falls between
    // the two bytes of "ò": nothing past it is read.
    void readingSurvivesInvalidBytesAndStopsAtTheLimit()
    {
        QTemporaryFile file;
        const QByteArray head = "\xff\xfe\x31\x32\r\n" + QByteArray(recordReadLimit - 7, 'a');
        QVERIFY(file.open() && file.write(head + "\xc3\xb2" + QByteArray(1 << 22, 'b'))
            && file.flush());
        QCOMPARE(readWholeFile(file.fileName()).value_or(u"<none>"_s),
            u"\uFFFD\uFFFD"_s + QString::fromLatin1(head.mid(2)) + QChar(0xFFFD));
    }

    void recordValueReadsTheLeadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        const std::pair<const char *, double> rows[]
            = {{"12\r\n", 12}, {"1 2", 12}, {" \t1\n3 .5", 13.5}, {"12\r\n99", 12}, {"\r\n12", 0},
                {"Anna 12", 0}, {"", 0}, {"1.2.3", 1.2}, {"-3x", -3}, {"2.5E2", 250}};
        for (const auto &[text, value] : rows)
            QTest::newRow(text) << QString::fromUtf8(text) << value;
    }
    void recordValueReadsTheLeadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(recordValue(text), value);
    }

    void dataDirectoryThatIsAFileFailsWithAnItalianMessage()
    {
        QTemporaryFile file;
        QVERIFY(file.open());
        const RecordStore store(file.fileName(), 8);
        QString error;
        QVERIFY(!store.ensureFilesExist(&error));
        QCOMPARE(error.section(u':', 0, 0),
            u"Non riesco a creare o aprire il file «%1»"_s.arg(store.pointsPath()));
        QVERIFY(!store.read(&error) && error.contains(store.pointsPath()));
        QCOMPARE(store.storeIfBeaten(u"12"_s, u"Amico"_s, &error), Outcome::Failed);
        QVERIFY2(error.startsWith(u"Non riesco a salvare il record"_s), qPrintable(error));
    }

    void failedWriteKeepsTheOldPair_data()
    {
        QTest::addColumn<QString>("blocked"); // made a directory, or the lock held elsewhere
        QTest::addColumn<bool>("hadRecord");
        QTest::newRow("points file") << pointsFileName(8) << true;
        // The points file is already in place when the name fails, and must be put back.
        QTest::newRow("name file") << nameFileName(8) << true;
        QTest::newRow("name file, first record") << nameFileName(8) << false;
        QTest::newRow("lock") << u"tabkesr8.lock"_s << true;
    }
    void failedWriteKeepsTheOldPair()
    {
        QFETCH(QString, blocked);
        QFETCH(bool, hadRecord);
        QTemporaryDir dir;
        const RecordStore store(dir.path(), 8);
        QVERIFY(!hadRecord || store.storeIfBeaten(u"12"_s, u"Amico"_s) == Outcome::Stored);
        const QString path = dir.filePath(blocked);
        QLockFile other(path);
        QFile::remove(path); // a record file makes way for a directory
        QVERIFY(path == store.lockPath() ? other.tryLock() : QDir().mkdir(path));
        const QByteArray before = pairOf(store);
        QString error;
        QCOMPARE(store.storeIfBeaten(u"99"_s, u"Zeno"_s, &error), Outcome::Failed);
        QVERIFY2(error.contains(path), qPrintable(error));
        QCOMPARE(pairOf(store), before);
        // No backups or staged copies left behind.
        QCOMPARE(QDir(dir.path()).entryList({u"*.old"_s, u"*.txt.??????"_s}), QStringList());
    }

    // Programs finishing at once on one folder. Writer w stores w + 1, w + 5, w + 9... under its
    // own name, so the points tell whose name goes with them; the record never goes down.
    void concurrentProgramsNeverLeaveAMixedOrLowerPair()
    {
        QTemporaryDir dir;
        const RecordStore store(dir.path(), 8);
        QProcess children[5];
        const auto start = [&](int w, int first, int count) {
            children[w].start(QCoreApplication::applicationFilePath(),
                {u"--writer"_s, dir.path(), contenders[w % 4], QString::number(first),
                    QString::number(count)});
        };
        for (int w = 0; w < 4; ++w)
            start(w, w + 1, 20);
        double highest = 0;
        for (int running = 4; running > 0;) {
            if (const auto r = store.read()) { // none before the first pair is in place
                const qsizetype who = contenders.indexOf(r->name.chopped(2));
                const double value = recordValue(r->points);
                QVERIFY2(who >= 0 && r->points.endsWith(u"\r\n"_s)
                        && (int(value) - who - 1) % 4 == 0 && value >= highest,
                    qPrintable(r->points + u'/' + r->name));
                highest = value;
            }
            running = int(std::count_if(children, children + 4, [](QProcess &c) {
                return !c.waitForFinished(1) && c.state() != QProcess::NotRunning;
            }));
        }
        // Then a lower score, as program B after A.
        start(4, 3, 1);
        QVERIFY(children[4].waitForFinished());
        for (QProcess &c : children)
            QVERIFY(c.exitStatus() == QProcess::NormalExit && c.exitCode() != int(Outcome::Failed));
        QCOMPARE(children[4].exitCode(), int(Outcome::NotBeaten));
        QCOMPARE(pairOf(store), "80\r\nNiccol\xc3\xb2\r\n");
    }

    // "Secondo" scores 3 over "Primo"'s 2 and dies between the renames; the next program must
    // find a pair one pupil really scored, and a torn write never counts as a record to beat.
    void writeCutShortBetweenTheRenamesIsUndoneNextTime_data()
    {
        QTest::addColumn<bool>("hadRecord");
        QTest::addColumn<bool>("readFirst");
        QTest::newRow("read at start") << true << true;
        QTest::newRow("store at once") << true << false;
        QTest::newRow("first record") << false << true;
    }
    void writeCutShortBetweenTheRenamesIsUndoneNextTime()
    {
        QFETCH(bool, hadRecord);
        QFETCH(bool, readFirst);
        QTemporaryDir dir;
        const RecordStore store(dir.path(), 8);
        QVERIFY(store.ensureFilesExist());
        QVERIFY(!hadRecord || store.storeIfBeaten(u"2"_s, u"Primo"_s) == Outcome::Stored);
        const QByteArray old = pairOf(store);
        QProcess writer;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"CALVENZA_TEST_DIE_BETWEEN_RENAMES"_s, u"1"_s);
        writer.setProcessEnvironment(environment);
        writer.start(QCoreApplication::applicationFilePath(),
            {u"--writer"_s, dir.path(), u"Secondo"_s, u"3"_s, u"1"_s});
        QVERIFY(writer.waitForFinished() && writer.exitStatus() == QProcess::CrashExit);
        QCOMPARE(pairOf(store), "3\r\n" + old.mid(old.indexOf('\n') + 1)); // torn as it died

        if (readFirst) {
            const auto record = store.read();
            QVERIFY(record);
            QCOMPARE((record->points + record->name).toUtf8(), old);
        }
        QCOMPARE(store.storeIfBeaten(u"3"_s, u"Terzo"_s), Outcome::Stored);
        QCOMPARE(pairOf(store), "3\r\nTerzo\r\n");
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
            (QStringList {u"atabkesr8.txt"_s, u"ntabkesr8.txt"_s}));
    }

    void eachTableKeepsItsOwnPairFromTheFirstRun()
    {
        QTemporaryDir dir;
        const RecordStore eight(dir.path() + u'/', 8), seven(dir.path(), 7), ten(dir.path(), 10);
        // A longer old record must not leave a tail behind; line breaks become spaces.
        QCOMPARE(eight.storeIfBeaten(u"0000009"_s, u"Un nome molto lungo"_s), Outcome::Stored);
        QCOMPARE(eight.storeIfBeaten(u"50"_s, u"Anna\r\nNiccolò"_s), Outcome::Stored);
        // A first run creates the files empty; existing ones are left as they are.
        QVERIFY(seven.ensureFilesExist() && eight.ensureFilesExist());
        // A writer busy on the eight holds up no other table, where its record is none to beat.
        QLockFile busy(eight.lockPath());
        QVERIFY(busy.tryLock());
        QCOMPARE(ten.storeIfBeaten(u"5"_s, u"Bruno"_s), Outcome::Stored);
        QCOMPARE(ten.storeIfBeaten(u"5"_s, u"Carla"_s), Outcome::NotBeaten); // a tie is no record
        // No staging copies or backups are left behind.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
            (QStringList {u"atabkesr10.txt"_s, u"atabkesr7.txt"_s, u"atabkesr8.txt"_s,
                u"ntabkesr10.txt"_s, u"ntabkesr7.txt"_s, u"ntabkesr8.txt"_s, u"tabkesr8.lock"_s}));
        QCOMPARE(pairOf(eight) + pairOf(seven) + pairOf(ten),
            "50\r\nAnna  Niccol\xc3\xb2\r\n5\r\nBruno\r\n");
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) != u"--writer"_s) {
        RecordStoreTest test;
        return QTest::qExec(&test, argc, argv);
    }
    // A child writer: stores points first, first + 4... and exits with the last outcome.
    Outcome last = Outcome::NotBeaten;
    for (int i = 0; i < args.value(5).toInt() && last != Outcome::Failed; ++i) {
        const QString points = QString::number(args.value(4).toInt() + 4 * i);
        last = RecordStore(args.value(2), 8).storeIfBeaten(points, args.value(3));
    }
    return int(last);
}

#include "tst_recordstore.moc"
