#include "memory/historydatabase.h"
#include "memory/historyexport.h"
#include "memory/historyreader.h"
#include "memory/historywriter.h"
#include "platform/networkfolder.h"
#include "support.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>
#include <unistd.h>

using namespace calvenza;
using calvenza::testing::bytesOf;
using calvenza::testing::put;

namespace {

// "r1500 w900 r" : right in 1.5 s, wrong in 0.9 s, right in an unknown time.
QList<AnswerRecord> answersFrom(const QString &script)
{
    QList<AnswerRecord> answers;
    for (const QString &token : script.split(u' ', Qt::SkipEmptyParts)) {
        AnswerRecord a;
        a.table = 8;
        a.factor = 7;
        a.right = token.front() == u'r';
        a.msTaken = token.size() > 1 ? token.sliced(1).toLongLong() : -1;
        answers << a;
    }
    return answers;
}

AnswerRecord answerOf(const QString &pupil, int factor, bool right = true)
{
    AnswerRecord a;
    a.pupil = pupil;
    a.factor = factor;
    a.typed = QString::number(8 * factor + (right ? 0 : 1));
    a.right = right;
    a.msTaken = 2100;
    a.answeredAt = QDateTime::currentDateTimeUtc().addSecs(factor);
    return a;
}

const QString childVariable = QStringLiteral("CALVENZA_HISTORY_CHILD");

// A database of another layout: only its user_version.
void makeDatabase(const QString &path, int version)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), path);
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("PRAGMA user_version = %1").arg(version)));
    }
    QSqlDatabase::removeDatabase(path);
}

// Every file of a folder with its bytes, to tell that nothing was created, moved or changed; but
// for the shared-memory index and the empty log SQLite opens beside a WAL database to read it.
QMap<QString, QByteArray> contentsOf(const QString &folder)
{
    QMap<QString, QByteArray> files;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        const QByteArray bytes = bytesOf(QDir(folder).filePath(name));
        if (!name.endsWith(u"-shm") && !(name.endsWith(u"-wal") && bytes.isEmpty()))
            files.insert(name, bytes);
    }
    return files;
}

const QString cannotKeep = QStringLiteral("Oggi non riesco a ricordare le tue risposte, ma puoi "
                                          "giocare lo stesso. Avvisa la maestra o il maestro.");

} // namespace

class HistoryTest : public QObject
{
    Q_OBJECT
private slots:
    void standingFollowsTheLatestAnswers_data()
    {
        QTest::addColumn<QString>("answers");
        QTest::addColumn<int>("standing");
        using S = FactStanding;
        QTest::newRow("never") << "" << int(S::NeverAsked);
        QTest::newRow("one wrong") << "w900" << int(S::MostlyWrong);
        QTest::newRow("one right is not yet known") << "r900" << int(S::Learning);
        QTest::newRow("three right, quick") << "r900 r4000 r6000" << int(S::Known);
        // The ripasso's boxes do not count these as known either.
        QTest::newRow("one slow") << "r900 r6001 r900" << int(S::Learning);
        QTest::newRow("unknown times") << "r r r" << int(S::Learning);
        QTest::newRow("old mistakes forgiven") << "w w w w r1 r1 r1" << int(S::Known);
        QTest::newRow("last one wrong") << "r1 r1 r1 r1 w1" << int(S::Learning);
    }
    void standingFollowsTheLatestAnswers()
    {
        QFETCH(QString, answers);
        QFETCH(int, standing);
        const FactTable facts = FactTable::fromAnswers(answersFrom(answers));
        QCOMPARE(int(standingOf(facts.at(8, 7))), standing);
    }

    void csvFieldsShowAsTypedInASpreadsheet_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("field");
        QTest::newRow("comma") << "Ugo, Anna" << QByteArray("\"Ugo, Anna\"");
        QTest::newRow("semicolon") << "Ugo; Anna" << QByteArray("\"Ugo; Anna\"");
        QTest::newRow("quotes") << "il \"mago\"" << QByteArray("\"il \"\"mago\"\"\"");
        QTest::newRow("line break") << "a\nb" << QByteArray("\"a\nb\"");
        QTest::newRow("formula") << "=1+1" << QByteArray("'=1+1");
        QTest::newRow("minus") << "-5" << QByteArray("'-5");
        QTest::newRow("formula after spaces") << "  =1+1" << QByteArray("'  =1+1");
        QTest::newRow("formula after a tab") << " \t-2" << QByteArray("' \t-2");
        QTest::newRow("tab") << "\tx" << QByteArray("'\tx");
        QTest::newRow("carriage return") << "\rx" << QByteArray("\"'\rx\"");
        QTest::newRow("formula with separator") << "=A1;\"x\"" << QByteArray("\"'=A1;\"\"x\"\"\"");
        QTest::newRow("inner equals") << "a = b" << QByteArray("a = b");
        QTest::newRow("only spaces") << "  " << QByteArray("  ");
        QTest::newRow("utf-8") << "Zoë 😀" << QStringLiteral("Zoë 😀").toUtf8();
    }
    void csvFieldsShowAsTypedInASpreadsheet()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, field);
        QCOMPARE(csvField(text), field);
    }

    void namesOfEveryKindAreKeptAsTyped_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("quotes") << "D'Amico \"Ugo\"";
        QTest::newRow("sql") << "x'); DROP TABLE answer; --";
        QTest::newRow("markup") << "<b>Anna</b>";
        QString emoji;
        for (int i = 0; i < 250; ++i)
            emoji += QStringLiteral("🧙");
        QTest::newRow("250 emoji") << emoji;
        QTest::newRow("control characters") << QStringLiteral("a\u0001b\u001bc\u007f");
    }
    void namesOfEveryKindAreKeptAsTyped()
    {
        QFETCH(QString, name);
        QTemporaryDir dir;
        {
            HistoryWriter writer(dir.path());
            QVERIFY(writer.openError().isEmpty());
            writer.record(answerOf(name, 3));
            writer.record(answerOf(name.toUpper(), 4, false)); // the same pupil
            ChallengeRecord challenge;
            challenge.pupil = name;
            challenge.right = 12;
            writer.record(challenge);
        }
        QCOMPARE(knownPupils(dir.path()), QStringList {name});
        const QList<AnswerRecord> answers = answersOf(dir.path(), name);
        QCOMPARE(answers.size(), 2);
        QCOMPARE(answers.at(0).pupil, name);
        QCOMPARE(answers.at(1).typed, QStringLiteral("33"));
        QCOMPARE(answers.at(1).right, false);
        QCOMPARE(factsOf(dir.path(), name).at(8, 3).right, 1);
        const QList<ChallengeRecord> challenges = challengesOf(dir.path(), name);
        QCOMPARE(challenges.size(), 1);
        QCOMPARE(challenges.at(0).right, 12);
        // Private to the user.
        QCOMPARE(QFile::permissions(dir.filePath(historyFileName())) & 0x0077, 0);
        QCOMPARE(QFile::permissions(dir.path()) & 0x0077, 0);
    }

    // Two programs may find the same bad file: the second must not move what is there now, be it
    // another file or the history the first has begun over the bad one.
    void onlyAFileStillBadIsMovedAside_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<int>("outcome");
        QTest::newRow("still bad") << "" << int(MoveAside::Moved);
        QTest::newRow("a database written over it") << "rewritten" << int(MoveAside::LeftInPlace);
        QTest::newRow("replaced by another bad file") << "other" << int(MoveAside::LeftInPlace);
    }
    void onlyAFileStillBadIsMovedAside()
    {
        QFETCH(QString, meanwhile);
        QFETCH(int, outcome);
        QTemporaryDir dir;
        const QString path = dir.filePath(historyFileName());
        put(path, QByteArray(5000, '\x5a'));
        const FileIdentity inspected = fileIdentity(path).value();
        // Made while the bad file still exists, so it cannot get the same inode.
        const QString good = dir.filePath(QStringLiteral("good"));
        makeDatabase(good, historySchemaVersion);
        const QString otherBad = dir.filePath(QStringLiteral("bad"));
        put(otherBad, QByteArray(700, '?'));
        if (meanwhile == u"rewritten")
            put(path, bytesOf(good)); // the same inode
        else if (meanwhile == u"other")
            QVERIFY(std::rename(qPrintable(otherBad), qPrintable(path)) == 0);
        const QByteArray before = bytesOf(path);
        QCOMPARE(int(moveBadHistoryAside(path, inspected)), outcome);
        const QStringList aside
            = QDir(dir.path()).entryList({historyFileName() + QStringLiteral(".rovinata-*")});
        QCOMPARE(aside.size(), outcome == int(MoveAside::Moved) ? 1 : 0);
        QCOMPARE(bytesOf(outcome == int(MoveAside::Moved) ? dir.filePath(aside.value(0)) : path),
            before);
    }

    // A reader (the picture, the list of pupils, the export) never creates, moves, upgrades or
    // changes the history; what it cannot read it reports.
    void readersLeaveTheHistoryAsItIs_data()
    {
        QTest::addColumn<QString>("problem");
        QTest::newRow("none") << "";
        QTest::newRow("garbage") << "non è un database";
        QTest::newRow("newer") << "versione più nuova";
        QTest::newRow("made but not laid out") << "";
        QTest::newRow("kept") << "";
    }
    void readersLeaveTheHistoryAsItIs()
    {
        QFETCH(QString, problem);
        const QLatin1String history(QTest::currentDataTag());
        QTemporaryDir dir;
        const QString path = dir.filePath(historyFileName());
        if (history == u"garbage")
            put(path, QByteArray(5000, '\x5a'));
        else if (history == u"newer" || history.startsWith(u"made"))
            makeDatabase(path, history == u"newer" ? 99 : 0);
        else if (history == u"kept")
            HistoryWriter(dir.path()).record(answerOf(QStringLiteral("Ugo"), 2));
        const QMap<QString, QByteArray> before = contentsOf(dir.path());
        const QString csv = dir.filePath(QStringLiteral("sub/risposte.csv"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        Problem pupils, answers, facts, exported;
        const int kept = history == u"kept" ? 1 : 0;
        QCOMPARE(knownPupils(dir.path(), &pupils).size(), kept);
        QCOMPARE(answersOf(dir.path(), QStringLiteral("Ugo"), &answers).size(), kept);
        (void)factsOf(dir.path(), QStringLiteral("Ugo"), &facts);
        QCOMPARE(exportAnswers(dir.path(), csv, &exported), problem.isEmpty());
        QCOMPARE(contentsOf(dir.path()), before);
        for (const Problem *p : {&pupils, &answers, &facts, &exported}) {
            QCOMPARE(p->isEmpty(), problem.isEmpty());
            QVERIFY2(p->details.contains(problem), qPrintable(p->details));
            QVERIFY(!p->sentence.contains(dir.path())); // the path is for the details
        }
        QCOMPARE(QFile::exists(csv), problem.isEmpty());
    }

    void historyOfANewerCalvenzaIsLeftUntouched()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(historyFileName());
        makeDatabase(path, 99);
        const QByteArray before = bytesOf(path);
        {
            HistoryWriter writer(dir.path());
            QSignalSpy unavailable(&writer, &HistoryWriter::unavailable);
            const Problem problem = writer.openError();
            QCOMPARE(problem.sentence, cannotKeep);
            QVERIFY(problem.details.contains(QStringLiteral("versione più nuova")));
            writer.record(answerOf(QStringLiteral("Ugo"), 2));
            writer.flush();
            QCoreApplication::processEvents();
            QCOMPARE(unavailable.count(), 0); // already told by openError()
        }
        QCOMPARE(bytesOf(path), before);
    }

    // An older history: its answers are numbered by time, the machine gets its random id, every
    // pupil keeps his answers, and a name may then be a pupil in several classes.
    void upgradeKeepsEveryAnswerAndTellsClassesApart()
    {
        QTemporaryDir dir;
        {
            HistoryWriter writer(dir.path());
            for (int factor : {5, 2, 9})
                writer.record(answerOf(QStringLiteral("Ugo"), factor)); // at now + factor s
            writer.record(answerOf(QStringLiteral("Marco"), 1));
        }
        {
            HistoryDatabase older(dir.path(), HistoryDatabase::Access::Write);
            for (const char *undo : {"CREATE TABLE p (id INTEGER PRIMARY KEY, name TEXT NOT NULL,"
                                     " name_key TEXT NOT NULL UNIQUE)",
                     "INSERT INTO p SELECT id, name, name_key FROM pupil", "DROP TABLE pupil",
                     "ALTER TABLE p RENAME TO pupil", "DROP TABLE roster",
                     "DROP TABLE roster_tables", "DROP INDEX answer_by_local_seq",
                     "DROP TABLE outbox", "ALTER TABLE answer DROP COLUMN local_seq",
                     "PRAGMA user_version = 1"})
                QVERIFY(older.exec(QLatin1String(undo)));
        }
        {
            HistoryDatabase history(dir.path(), HistoryDatabase::Access::Write);
            QSqlQuery q = history.query();
            QVERIFY(q.exec(QStringLiteral("SELECT group_concat(factor), (SELECT machine_id FROM"
                                          " outbox) FROM (SELECT factor FROM answer WHERE"
                                          " pupil_id = 1 ORDER BY local_seq)"))
                && q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("2,5,9"));
            const QUuid machine = QUuid::fromString(q.value(1).toString());
            QVERIFY(machine.version() == QUuid::Random && machine.variant() == QUuid::DCE);
        }
        {
            HistoryWriter writer(dir.path());
            for (const QString &pupilClass : {QStringLiteral("3A"), QStringLiteral("3B")}) {
                AnswerRecord a = answerOf(QStringLiteral("marco"), 3);
                a.pupilClass = pupilClass;
                writer.record(a);
            }
        }
        QCOMPARE(knownPupils(dir.path()),
            QStringList({QStringLiteral("Marco"), QStringLiteral("marco \u00B7 3A"),
                QStringLiteral("marco \u00B7 3B"), QStringLiteral("Ugo")}));
        QCOMPARE(answersOf(dir.path(), QStringLiteral("MARCO")).constFirst().factor, 1);
        QCOMPARE(factsOf(dir.path(), QStringLiteral("marco \u00B7 3A")).at(8, 3).asked, 1);
    }

    // A file where the folder should be: the drill goes on, told once; the answers wait in
    // memory and are written at the end if the folder can be made by then.
    void unwritableFolderLeavesTheDrillGoing()
    {
        QTemporaryDir dir;
        QFile blocker(dir.filePath(QStringLiteral("dati")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        const QString folder = blocker.fileName() + QStringLiteral("/calvenza");
        {
            HistoryWriter writer(folder);
            QSignalSpy unavailable(&writer, &HistoryWriter::unavailable);
            writer.record(answerOf(QStringLiteral("Ugo"), 2));
            writer.record(answerOf(QStringLiteral("Ugo"), 3));
            QVERIFY(unavailable.wait());
            QTest::qWait(50);
            QCOMPARE(unavailable.count(), 1);
            const auto problem = unavailable.at(0).at(0).value<Problem>();
            QCOMPARE(problem.sentence, cannotKeep);
            QVERIFY(problem.details.contains(folder));
            QVERIFY(blocker.remove());
        }
        QCOMPARE(answersOf(folder, QStringLiteral("Ugo")).size(), 2);
    }

    void networkFileSystemsAreToldApart_data()
    {
        QTest::addColumn<unsigned long>("type"); // statfs's f_type
        QTest::addColumn<bool>("network");
        QTest::newRow("nfs") << 0x6969UL << true;
        QTest::newRow("smb") << 0x517BUL << true;
        QTest::newRow("cifs") << 0xFF534D42UL << true;
        QTest::newRow("cifs, sign-extended")
            << static_cast<unsigned long>(qint32(0xFF534D42)) << true;
        QTest::newRow("fuse (sshfs)") << 0x65735546UL << true;
        QTest::newRow("ext4") << 0xEF53UL << false;
        QTest::newRow("tmpfs") << 0x01021994UL << false;
        QTest::newRow("overlay") << 0x794C7630UL << false;
    }

    void networkFileSystemsAreToldApart()
    {
        QFETCH(unsigned long, type);
        QFETCH(bool, network);
        QCOMPARE(isNetworkFileSystem(type), network);
    }

    // A network folder shared by a lab's machines keeps no history, once the server has all of
    // it; this machine's own folder is one nobody else can have made.
    void aNetworkFolderAtSchoolLeavesTheHistoryToTheMachine_data()
    {
        QTest::addColumn<bool>("networkAtSchool");
        QTest::addColumn<int>("answersThere"); // -1: no history there
        QTest::addColumn<bool>("allSent");
        QTest::addColumn<bool>("folderTaken");
        QTest::addColumn<bool>("onMachine");
        QTest::newRow("a folder of this machine") << false << 3 << false << false << false;
        QTest::newRow("network, no history there") << true << -1 << false << false << true;
        QTest::newRow("network, answers not on the server") << true << 3 << false << false << false;
        QTest::newRow("network, all on the server") << true << 3 << true << false << true;
        QTest::newRow("network, the machine's folder taken")
            << true << -1 << false << true << false;
    }
    void aNetworkFolderAtSchoolLeavesTheHistoryToTheMachine()
    {
        QFETCH(bool, networkAtSchool);
        QFETCH(int, answersThere);
        QFETCH(bool, allSent);
        QFETCH(bool, folderTaken);
        QFETCH(bool, onMachine);
        QTemporaryDir home;
        QTemporaryDir machine;
        if (answersThere >= 0) {
            HistoryWriter writer(home.path());
            for (int i = 0; i < answersThere; ++i)
                writer.record({QStringLiteral("Ugo"), 8, i + 1, QStringLiteral("8"), true, 900,
                    QDateTime::currentDateTimeUtc()});
            writer.flush();
        }
        if (allSent) {
            HistoryDatabase db(home.path(), HistoryDatabase::Access::Write);
            QVERIFY(db.exec(QStringLiteral(
                "UPDATE outbox SET sent_upto = (SELECT max(local_seq) FROM answer)")));
        }
        const QString own = machine.filePath(QStringLiteral("calvenza-%1").arg(::getuid()));
        if (folderTaken)
            QVERIFY(QFile::link(home.path(), own));
        const QString chosen = chooseHistoryFolder(home.path(), networkAtSchool, machine.path());
        QCOMPARE(chosen, onMachine ? own : home.path());
        if (onMachine)
            QCOMPARE(QFileInfo(own).permissions() & 0x0077, 0);
    }

    // This machine's folders, one not made yet included, keep the history in WAL.
    void ownFoldersAreNotOnTheNetwork()
    {
        QTemporaryDir dir;
        QVERIFY(!onNetworkFileSystem(dir.filePath(QStringLiteral("non/ancora"))));
        HistoryDatabase db(dir.path(), HistoryDatabase::Access::Write);
        QSqlQuery q = db.query();
        QVERIFY(q.exec(QStringLiteral("PRAGMA journal_mode")) && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("wal"));
    }

    void twoProgramsWritingAtOnceKeepEveryAnswer_data()
    {
        QTest::addColumn<bool>("badFileFirst");
        QTest::newRow("new history") << false;
        // Both find it bad: one moves it aside, and neither moves the other's new history.
        QTest::newRow("a bad file first") << true;
    }
    void twoProgramsWritingAtOnceKeepEveryAnswer()
    {
        QFETCH(bool, badFileFirst);
        QTemporaryDir dir;
        if (badFileFirst)
            put(dir.filePath(historyFileName()), QByteArray(5000, '\x5a'));
        QList<QProcess *> children;
        for (int i = 0; i < 2; ++i) {
            auto *child = new QProcess(this);
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(childVariable, dir.path());
            child->setProcessEnvironment(env);
            child->start(QCoreApplication::applicationFilePath(), {});
            children << child;
        }
        for (QProcess *child : children) {
            QVERIFY(child->waitForFinished(60000));
            QVERIFY2(child->exitCode() == 0, child->readAllStandardError().constData());
        }
        QCOMPARE(answersOf(dir.path(), QStringLiteral("Ugo")).size(), 2 * 300);
        QCOMPARE(knownPupils(dir.path()).size(), 1);
        QCOMPARE(factsOf(dir.path(), QStringLiteral("ugo")).at(8, 1).asked, 2 * 30);
        QCOMPARE(
            QDir(dir.path()).entryList({historyFileName() + QStringLiteral(".rovinata-*")}).size(),
            badFileFirst ? 1 : 0);
    }

    void exportHasEveryAnswerOfEveryPupilInTimeOrder()
    {
        QTemporaryDir dir;
        {
            HistoryWriter writer(dir.path());
            writer.record(answerOf(QStringLiteral("=HYPERLINK(\"x\")"), 7));
            writer.record(answerOf(QStringLiteral("Anna; la \"prima\""), 9, false));
            AnswerRecord ripasso = answerOf(QStringLiteral("Ugo"), 2);
            ripasso.mode = DrillMode::Ripasso;
            ripasso.msTaken = -1;
            writer.record(ripasso);
        }
        const QString csv = dir.filePath(QStringLiteral("risposte.csv"));
        Problem problem;
        QVERIFY2(exportAnswers(dir.path(), csv, &problem), qPrintable(problem.fullText()));
        QCOMPARE(QFile::permissions(csv) & 0x0077, 0);
        const QList<QByteArray> lines = bytesOf(csv).split('\n');
        QCOMPARE(lines.size(), 5); // header, three answers, the end of the last line
        QCOMPARE(lines.at(0),
            QByteArray("\xEF\xBB\xBF"
                       "alunno;classe;data e ora;modo;tabellina;fattore;risposta;"
                       "giusta;tempo in millisecondi\r"));
        // Answered 2, 7 and 9 seconds from now, recorded in another order.
        QVERIFY(lines.at(1).startsWith("Ugo;") && lines.at(1).endsWith(";ripasso;8;2;16;sì;\r"));
        QVERIFY(lines.at(2).startsWith("\"'=HYPERLINK(\"\"x\"\")\";")
            && lines.at(2).endsWith(";sfida;8;7;56;sì;2100\r"));
        QVERIFY(lines.at(3).startsWith("\"Anna; la \"\"prima\"\"\";")
            && lines.at(3).endsWith(";sfida;8;9;73;no;2100\r"));

        const QString nowhere = dir.filePath(QStringLiteral("no/such/a.csv"));
        QVERIFY(!exportAnswers(dir.path(), nowhere, &problem));
        QVERIFY(!problem.sentence.isEmpty());
        QVERIFY(problem.details.contains(nowhere));
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // One of the two programs of twoProgramsWritingAtOnceKeepEveryAnswer.
    if (qEnvironmentVariableIsSet("CALVENZA_HISTORY_CHILD")) {
        HistoryWriter writer(qEnvironmentVariable("CALVENZA_HISTORY_CHILD"));
        bool failed = false;
        const auto fail = [&failed](const QString &why) {
            std::fputs(qPrintable(why), stderr);
            failed = true;
        };
        QObject::connect(&writer, &HistoryWriter::unavailable,
            [&](const Problem &problem) { fail(problem.fullText()); });
        if (const Problem problem = writer.openError(); !problem.isEmpty())
            fail(problem.fullText());
        for (int i = 0; i < 300; ++i)
            writer.record(
                answerOf(i % 2 ? QStringLiteral("Ugo") : QStringLiteral("UGO"), 1 + i % 10));
        writer.flush();
        QCoreApplication::processEvents();
        return failed ? 1 : 0;
    }
    HistoryTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_history.moc"
