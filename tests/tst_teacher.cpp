// The teacher's register against a real PostgreSQL: run by tests/school/pgcluster.sh, whose
// "calvenza" service is a lab computer and "calvenza_admin" the superuser over the socket.

#include "register/registermodels.h"
#include "register/registerprint.h"
#include "register/registerwindow.h"
#include "register/serverclasssource.h"
#include "school/serviceconfig.h"

#include <QFile>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

using namespace calvenza;

namespace {

QString teacherOptions(const QString &login)
{
    return QStringLiteral("service=calvenza_admin;user=%1;connect_timeout=5").arg(login);
}

} // namespace

class TestTeacher : public QObject
{
    Q_OBJECT

    QSqlDatabase m_admin;
    QSqlDatabase m_machine;
    qint64 m_seq = 0;

    QVariant admin(const QString &statement)
    {
        QSqlQuery q(m_admin);
        if (!q.exec(statement))
            qWarning() << statement << q.lastError().text();
        return q.next() ? q.value(0) : QVariant();
    }

    // count answers of a lab computer's pupil, the class as the machine names it ("": none),
    // the last one given minutesAgo.
    void machineAnswers(
        const QString &className, const QString &pupil, bool right, int count, int minutesAgo = 0)
    {
        QSqlQuery q(m_machine);
        q.prepare(QStringLiteral(
            "SELECT calvenza.add_answers('8f0c3a52-5d0e-4c57-9d43-1b6a1c1e0a01'::uuid,"
            " array_agg(s), array_agg(?::text), array_agg(?::text), array_agg(NULLIF(?, '')),"
            " array_agg(8), array_agg(7), array_agg((extract(epoch FROM now()) * 1000)::bigint"
            " - 1000 * (? - s + 60 * ?)), array_agg('56'::text), array_agg(?::boolean),"
            " array_agg((1000 + s * 733 % 4000)::integer), array_agg(1))"
            " FROM generate_series(?::bigint, ?::bigint) AS s"));
        for (const QVariant &value : QVariantList {pupil, pupilKey(pupil), className, m_seq + count,
                 minutesAgo, right, m_seq + 1, m_seq + count})
            q.addBindValue(value);
        QVERIFY2(q.exec() && q.next(), qPrintable(q.lastError().text()));
        QCOMPARE(q.value(0).toInt(), count);
        m_seq += count;
    }

    static const PupilFigures *pupilIn(const ClassReport &report, const QString &name)
    {
        for (const PupilFigures &pupil : report.pupils)
            if (pupil.name == name)
                return &pupil;
        return nullptr;
    }

private slots:
    void initTestCase()
    {
        m_admin = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("admin"));
        m_admin.setConnectOptions(QStringLiteral("service=calvenza_admin"));
        QVERIFY2(m_admin.open(), qPrintable(m_admin.lastError().text()));
        m_machine = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("machine"));
        m_machine.setConnectOptions(schoolConnectOptions());
        QVERIFY2(m_machine.open(), qPrintable(m_machine.lastError().text()));
        admin(QStringLiteral("CREATE ROLE rossi LOGIN IN ROLE calvenza_insegnante"));
        admin(QStringLiteral("CREATE ROLE bianchi LOGIN IN ROLE calvenza_insegnante"));
    }

    void init()
    {
        admin(QStringLiteral("TRUNCATE calvenza.answers, calvenza.pupils, calvenza.machines,"
                             " calvenza.classes, calvenza.teachers, calvenza.pupil_facts CASCADE"));
    }

    // Each teacher reads and keeps her own classes, and the pupils no class has taken yet.
    void twoTeachersEachSeeTheirOwnClass()
    {
        ServerClassSource rossi(teacherOptions(QStringLiteral("rossi")));
        ServerClassSource bianchi(teacherOptions(QStringLiteral("bianchi")));
        Problem problem;
        const QString threeA = rossi.takeClass(QStringLiteral("3A"), &problem);
        const QString threeB = bianchi.takeClass(QStringLiteral("3B"));
        QVERIFY2(!threeA.isEmpty() && !threeB.isEmpty(), qPrintable(problem.fullText()));
        QVERIFY(bianchi.takeClass(QStringLiteral("3A"), &problem).isEmpty());
        QVERIFY(problem.details.contains(u"un'altra insegnante"));
        QVERIFY(rossi.addPupil(threeA, QStringLiteral("Ugo")));
        QVERIFY(!rossi.addPupil(threeA, QStringLiteral(" ugo "), &problem));
        QCOMPARE(problem.sentence, QStringLiteral("ugo è già in questa classe."));
        QVERIFY(bianchi.addPupil(threeB, QStringLiteral("Ada")));
        QVERIFY(!bianchi.addPupil(threeA, QStringLiteral("Intruso"), &problem));
        machineAnswers(QStringLiteral("3A"), QStringLiteral("Ugo"), false, 4);
        // Sent late by a computer that was offline: older than the answers above.
        machineAnswers(QStringLiteral("3A"), QStringLiteral("Ugo"), true, 2, 60);
        machineAnswers(QStringLiteral("3B"), QStringLiteral("Ada"), true, 3);
        machineAnswers({}, QStringLiteral("Zeno"), true, 2);

        const QList<SchoolClass> classes = rossi.classes(&problem);
        QCOMPARE(classes.size(), 2);
        QCOMPARE(classes.first().name, QStringLiteral("3A"));
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const ClassReport report = rossi.report(classes.first(), now, &problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem.fullText()));
        QCOMPARE(report.pupils.size(), 1);
        const PupilFigures &ugo = report.pupils.first();
        const FactSummary &eightSeven = ugo.facts.at(8, 7);
        QCOMPARE(eightSeven.asked, 6);
        QCOMPARE(eightSeven.recent.size(), 5);
        QVERIFY(eightSeven.recent.first().right && !eightSeven.recent.last().right);
        QCOMPARE(ugo.answersThisWeek, 6);
        // The weeks as the server counts them are the weeks as the machine counts the answers.
        machineAnswers(QStringLiteral("3A"), QStringLiteral("Ugo"), false, 7, 60 * 24 * 9);
        machineAnswers(QStringLiteral("3A"), QStringLiteral("Ugo"), true, 5, 60 * 24 * 20);
        machineAnswers(QStringLiteral("3A"), QStringLiteral("Ugo"), true, 3, 60 * 24 * 40);
        const ClassPeriods periods = classPeriods(now);
        const PupilFigures counted
            = rossi.report(classes.first(), now, &problem).pupils.constFirst();
        PupilHistory answers {ugo.name, ugo.facts, {}, {}, {}};
        QSqlQuery rows(m_admin);
        QVERIFY(rows.exec(
            QStringLiteral("SELECT (extract(epoch FROM answered_at) * 1000)::bigint,"
                           " is_right, ms_taken FROM calvenza.answers a JOIN calvenza.pupils p"
                           " ON p.id = a.pupil_id WHERE p.name = 'Ugo'")));
        while (rows.next())
            if (rows.value(0).toLongLong() >= periods.recentStart.toMSecsSinceEpoch())
                answers.since.append({rows.value(0).toLongLong(), rows.value(1).toBool(),
                    rows.value(2).toLongLong()});
        const PupilFigures expected = pupilFigures(answers, periods);
        QCOMPARE(counted.recentAnswers, 18);
        for (const auto &[field, name] : {std::pair {&PupilFigures::answersThisWeek, "week"},
                 {&PupilFigures::minutesThisWeek, "minutes"}, {&PupilFigures::percentThisWeek, "%"},
                 {&PupilFigures::percentLastWeek, "% before"},
                 {&PupilFigures::recentRight, "right"}})
            QVERIFY2(counted.*field == expected.*field, name);
        QCOMPARE(counted.medianMs, expected.medianMs);
        QCOMPARE(ugo.stuckOn, (QList<Fact> {Fact {8, 7}}));
        QCOMPARE(report.missedMost(), (QList<Fact> {Fact {8, 7}}));
        QVERIFY(pupilIn(rossi.report(classes.last(), now), QStringLiteral("Zeno")));
        // Another teacher's pupil can be neither read nor taken.
        QVERIFY(!pupilIn(rossi.report({threeB, {}}, now), QStringLiteral("Ada")));
        QVERIFY(
            !rossi.movePupil(pupilIn(bianchi.report({threeB, {}}, now), QStringLiteral("Ada"))->id,
                threeA, &problem));
        QSqlDatabase direct
            = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("rossi"));
        direct.setConnectOptions(teacherOptions(QStringLiteral("rossi")));
        QVERIFY(direct.open());
        {
            QSqlQuery q(direct);
            QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM calvenza.answers")) && q.next());
            QCOMPARE(q.value(0).toInt(), 21 + 2); // Ugo's and Zeno's, not Ada's
            QVERIFY(!q.exec(QStringLiteral("UPDATE calvenza.answers SET is_right = true")));
            QCOMPARE(q.lastError().nativeErrorCode(), QStringLiteral("42501"));
        }
        direct.close();
        QSqlDatabase::removeDatabase(QStringLiteral("rossi"));
        QCOMPARE(rossi.machines().size(), 1);
    }

    void theLabComputerIsToldTheResultsAreTheTeachers()
    {
        ServerClassSource lab(schoolConnectOptions());
        Problem problem;
        QVERIFY(lab.classes(&problem).isEmpty());
        QVERIFY2(problem.sentence.startsWith(u"I risultati della classe sono dell'insegnante:"),
            qPrintable(problem.sentence));
        // Its window says so once, and does not ask again and again.
        RegisterWindow window(lab, {});
        QTest::qWait(300);
        QVERIFY(!window.isReading() && window.pupilModel()->rowCount() == 0);
    }

    // A typo'd name merged keeps every answer; the class list changes as the teacher says.
    void theClassListIsKeptAndAMergeLosesNothing()
    {
        ServerClassSource rossi(teacherOptions(QStringLiteral("rossi")));
        const QString threeA = rossi.takeClass(QStringLiteral("3A"));
        const QString fourA = rossi.takeClass(QStringLiteral("4A"));
        QVERIFY(rossi.addPupil(threeA, QStringLiteral("Ugo")));
        machineAnswers(QStringLiteral("3A"), QStringLiteral("Ugo"), true, 3);
        machineAnswers(QStringLiteral("3A"), QStringLiteral("Ugoo"), false, 2);
        const QDateTime now = QDateTime::currentDateTimeUtc();
        ClassReport unplaced = rossi.report({QLatin1String(noClassId), {}}, now);
        QCOMPARE(unplaced.pupils.size(), 1);
        const QString ugoo = unplaced.pupils.first().id;
        const QString ugo = pupilIn(rossi.report({threeA, {}}, now), QStringLiteral("Ugo"))->id;
        QVERIFY(rossi.movePupil(ugoo, threeA));
        QVERIFY(rossi.mergePupils(ugo, ugoo));
        ClassReport report = rossi.report({threeA, {}}, now);
        QCOMPARE(report.pupils.size(), 1);
        QCOMPARE(report.pupils.first().facts.at(8, 7).asked, 5);
        QCOMPARE(report.pupils.first().facts.at(8, 7).right, 3);

        QVERIFY(rossi.renamePupil(ugo, QStringLiteral("Ugo Foscolo")));
        QVERIFY(rossi.movePupil(ugo, fourA));
        QVERIFY(pupilIn(rossi.report({fourA, {}}, now), QStringLiteral("Ugo Foscolo")));
        QVERIFY(rossi.addPupil(fourA, QStringLiteral("Ada")));
        Problem problem;
        QVERIFY(!rossi.renamePupil(ugo, QStringLiteral("ADA"), &problem));
        QVERIFY(problem.sentence.contains(u"unisci i due alunni"));

        QVERIFY(rossi.setClassTables(fourA, {6, 7, 8}));
        QCOMPARE(rossi.classTables(fourA), (QList<int> {6, 7, 8}));
        QVERIFY(!rossi.setClassTables(fourA, {11}, &problem));
        QCOMPARE(rossi.classTables(fourA), (QList<int> {6, 7, 8}));
    }

    // Imported twice, a list adds nobody twice; a list with another teacher's class adds nothing.
    void aClassListIsImportedOnce()
    {
        ServerClassSource rossi(teacherOptions(QStringLiteral("rossi")));
        ServerClassSource bianchi(teacherOptions(QStringLiteral("bianchi")));
        const ClassList list = parseClassList("Classe;Cognome;Nome\n3A;Rossi;Marco\n3A;Neri;Ada\n"
                                              "4A;Bruni;Ugo\n");
        QCOMPARE(rossi.importClassList(list.rows), 3);
        QCOMPARE(rossi.importClassList(list.rows), 0);
        QCOMPARE(rossi.classes().size(), 3);
        Problem problem;
        QVERIFY(!bianchi.importClassList(
            parseClassList("5B;Verdi;Anna\n3A;Gialli;Bea\n").rows, &problem));
        QVERIFY(problem.details.contains(u"un'altra insegnante"));
        QCOMPARE(admin(QStringLiteral("SELECT count(*) FROM calvenza.pupils")).toInt(), 3);
        QCOMPARE(bianchi.classes().size(), 1);
    }

    // A lab computer's answer shows in the open register with nobody touching anything.
    void theOpenRegisterShowsANewAnswerLive()
    {
        ServerClassSource rossi(teacherOptions(QStringLiteral("rossi")));
        QVERIFY(rossi.addPupil(rossi.takeClass(QStringLiteral("3A")), QStringLiteral("Ugo")));
        RegisterWindow window(rossi, {});
        connect(&rossi, &ServerClassSource::answersArrived, &window, &RegisterWindow::refresh);
        QTRY_COMPARE(window.pupilModel()->rowCount(), 1);
        QCOMPARE(window.report().pupils.first().answersThisWeek, 0);
        machineAnswers(QStringLiteral("3A"), QStringLiteral("Ugo"), true, 2);
        QTRY_COMPARE_WITH_TIMEOUT(window.report().pupils.first().answersThisWeek, 2, 2000);
        // For the parents' meeting, from the server: the class's pages and Ugo's.
        QTemporaryDir dir;
        QString error;
        QVERIFY2(
            saveRegisterPdf(dir.filePath(QStringLiteral("3A.pdf")), window.report(), rossi, &error),
            qPrintable(error));
        QFile pdf(dir.filePath(QStringLiteral("3A.pdf")));
        QVERIFY(pdf.open(QIODevice::ReadOnly) && pdf.read(5) == "%PDF-");
        QVERIFY(registerDocument(window.report(), rossi)->toPlainText().contains(u"Ugo"));
    }
};

QTEST_MAIN(TestTeacher)
#include "tst_teacher.moc"
