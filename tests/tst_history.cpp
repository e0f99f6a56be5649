#include "memory/historydatabase.h"
#include "memory/historyreader.h"
#include "memory/historywriter.h"
#include "support.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlError>
#include <QTemporaryDir>
#include <QTest>

using namespace calvenza;
using calvenza::testing::bytesOf;

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
        QTest::newRow("plain") << "Ugo" << QByteArray("Ugo");
        QTest::newRow("comma") << "Ugo, Anna" << QByteArray("\"Ugo, Anna\"");
        QTest::newRow("quotes") << "il \"mago\"" << QByteArray("\"il \"\"mago\"\"\"");
        QTest::newRow("line break") << "a\nb" << QByteArray("\"a\nb\"");
        QTest::newRow("formula") << "=1+1" << QByteArray("'=1+1");
        QTest::newRow("plus") << "+39" << QByteArray("'+39");
        QTest::newRow("minus") << "-5" << QByteArray("'-5");
        QTest::newRow("at") << "@SOMMA(A1)" << QByteArray("'@SOMMA(A1)");
        QTest::newRow("tab") << "\tx" << QByteArray("'\tx");
        QTest::newRow("carriage return") << "\rx" << QByteArray("\"'\rx\"");
        QTest::newRow("formula with comma") << "=A1,\"x\"" << QByteArray("\"'=A1,\"\"x\"\"\"");
        QTest::newRow("inner equals") << "a=b" << QByteArray("a=b");
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
            QCOMPARE(writer.openError(), QString());
            writer.record(answerOf(name, 3));
            writer.record(answerOf(name.toUpper(), 4, false)); // the same pupil
            ChallengeRecord challenge;
            challenge.pupil = name;
            challenge.right = 12;
            challenge.wrong = 2;
            challenge.setRecord = true;
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
        QVERIFY(challenges.at(0).setRecord);
        // Private to the user.
        QCOMPARE(QFile::permissions(dir.filePath(historyFileName())) & 0x0077, 0);
        QCOMPARE(QFile::permissions(dir.path()) & 0x0077, 0);
    }

    void garbageIsMovedAsideAndANewHistoryBegins()
    {
        QTemporaryDir dir;
        const QByteArray garbage(5000, '\x5a');
        QFile file(dir.filePath(historyFileName()));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(garbage);
        file.close();
        {
            HistoryWriter writer(dir.path());
            QCOMPARE(writer.openError(), QString());
            writer.record(answerOf(QStringLiteral("Ugo"), 2));
        }
        QCOMPARE(answersOf(dir.path(), QStringLiteral("ugo")).size(), 1);
        const QStringList aside
            = QDir(dir.path()).entryList({historyFileName() + QStringLiteral(".rovinata-*")});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(bytesOf(dir.filePath(aside.first())), garbage);
    }

    void historyOfANewerCalvenzaIsLeftUntouched()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(historyFileName());
        {
            QSqlDatabase db
                = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("newer"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("CREATE TABLE future (x)")));
            QVERIFY(q.exec(QStringLiteral("PRAGMA user_version = 99")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("newer"));
        const QByteArray before = bytesOf(path);
        {
            HistoryWriter writer(dir.path());
            QSignalSpy unavailable(&writer, &HistoryWriter::unavailable);
            QVERIFY(writer.openError().contains(QStringLiteral("versione più nuova")));
            writer.record(answerOf(QStringLiteral("Ugo"), 2));
            writer.flush();
            QCoreApplication::processEvents();
            QCOMPARE(unavailable.count(), 0); // already told by openError()
        }
        {
            HistoryWriter writer(dir.path());
            QSignalSpy unavailable(&writer, &HistoryWriter::unavailable);
            writer.record(answerOf(QStringLiteral("Ugo"), 2));
            QVERIFY(unavailable.wait());
            QTest::qWait(50);
            QCOMPARE(unavailable.count(), 1);
        }
        QCOMPARE(bytesOf(path), before);
        QString error;
        QCOMPARE(answersOf(dir.path(), QStringLiteral("Ugo"), &error).size(), 0);
        QVERIFY(error.contains(QStringLiteral("versione più nuova")));
    }

    // An older history: its answers are numbered by time, and the machine gets its random id.
    void upgradeNumbersTheAnswersByTime()
    {
        QTemporaryDir dir;
        {
            HistoryWriter writer(dir.path());
            for (int factor : {5, 2, 9})
                writer.record(answerOf(QStringLiteral("Ugo"), factor)); // at now + factor s
        }
        {
            HistoryDatabase older(dir.path(), HistoryDatabase::Missing::LeaveAlone);
            for (const char *undo : {"DROP INDEX answer_by_local_seq", "DROP TABLE outbox",
                     "ALTER TABLE answer DROP COLUMN local_seq", "PRAGMA user_version = 1"})
                QVERIFY(older.exec(QLatin1String(undo)));
        }
        HistoryDatabase history(dir.path(), HistoryDatabase::Missing::LeaveAlone);
        QSqlQuery q = history.query();
        QVERIFY(q.exec(QStringLiteral("SELECT group_concat(factor), (SELECT machine_id FROM outbox)"
                                      " FROM (SELECT factor FROM answer ORDER BY local_seq)")));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("2,5,9"));
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab]"
                                                  "[0-9a-f]{3}-[0-9a-f]{12}$"))
                    .match(q.value(1).toString())
                    .hasMatch());
    }

    // A file where the folder should be: the drill goes on, told once, and nothing is written.
    void unwritableFolderLeavesTheDrillGoing()
    {
        QTemporaryDir dir;
        QFile blocker(dir.filePath(QStringLiteral("dati")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        const QString folder = blocker.fileName() + QStringLiteral("/calvenza");
        HistoryWriter writer(folder);
        QSignalSpy unavailable(&writer, &HistoryWriter::unavailable);
        writer.record(answerOf(QStringLiteral("Ugo"), 2));
        writer.record(answerOf(QStringLiteral("Ugo"), 3));
        QVERIFY(unavailable.wait());
        QTest::qWait(50);
        QCOMPARE(unavailable.count(), 1);
        QVERIFY(unavailable.at(0).at(0).toString().contains(QStringLiteral("continuano")));
        QVERIFY(!QFile::exists(QDir(folder).filePath(historyFileName())));
    }

    void twoProgramsWritingAtOnceKeepEveryAnswer()
    {
        QTemporaryDir dir;
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
        int asked = 0;
        const FactTable facts = factsOf(dir.path(), QStringLiteral("ugo"));
        for (int factor = 1; factor <= 10; ++factor)
            asked += facts.at(8, factor).asked;
        QCOMPARE(asked, 2 * 300);
    }

    void exportHasEveryAnswerOfEveryPupil()
    {
        QTemporaryDir dir;
        {
            HistoryWriter writer(dir.path());
            writer.record(answerOf(QStringLiteral("=HYPERLINK(\"x\")"), 7));
            writer.record(answerOf(QStringLiteral("Anna, la \"prima\""), 9, false));
            AnswerRecord ripasso = answerOf(QStringLiteral("Ugo"), 2);
            ripasso.mode = DrillMode::Ripasso;
            ripasso.msTaken = -1;
            writer.record(ripasso);
        }
        const QString csv = dir.filePath(QStringLiteral("risposte.csv"));
        QString error;
        QVERIFY2(exportAnswers(dir.path(), csv, &error), qPrintable(error));
        const QList<QByteArray> lines = bytesOf(csv).split('\n');
        QCOMPARE(lines.size(), 5); // header, three answers, the end of the last line
        QCOMPARE(lines.at(0),
            QByteArray("alunno,data e ora,modo,tabellina,fattore,risposta,"
                       "giusta,tempo in millisecondi\r"));
        const QByteArray all = bytesOf(csv);
        QVERIFY(all.contains(",sfida,8,7,56,sì,2100\r\n"));
        QVERIFY(all.contains(",sfida,8,9,73,no,2100\r\n"));
        QVERIFY(all.contains(",ripasso,8,2,16,sì,\r\n"));

        QVERIFY(!exportAnswers(dir.path(), dir.filePath(QStringLiteral("no/such/a.csv")), &error));
        QVERIFY(error.startsWith(QStringLiteral("non riesco a scrivere «")));
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
        QObject::connect(&writer, &HistoryWriter::unavailable, fail);
        if (const QString why = writer.openError(); !why.isEmpty())
            fail(why);
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
