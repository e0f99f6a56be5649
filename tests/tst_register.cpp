#include "memory/historydatabase.h"
#include "memory/historywriter.h"
#include "progress/factmodel.h"
#include "register/classlist.h"
#include "register/classsource.h"
#include "register/registermodels.h"
#include "register/registerprint.h"
#include "register/registerwindow.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSortFilterProxyModel>
#include <QStringListModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace calvenza;
using namespace Qt::StringLiterals;

namespace {

// A Wednesday at noon: every answer below is days away from a week's edge in any time zone.
const QDateTime now(QDate(2026, 12, 9), QTime(12, 0), Qt::UTC);

// rights: one letter per answer, oldest first: G right and quick, L right and slow, S wrong.
void answer(HistoryWriter &writer, const QString &pupil, const Fact &fact, const QString &rights,
    int daysAgo)
{
    for (qsizetype i = 0; i < rights.size(); ++i) {
        AnswerRecord a;
        a.pupil = pupil;
        a.table = fact.table;
        a.factor = fact.factor;
        a.right = rights.at(i) != u'S';
        a.typed = QString::number(fact.table * fact.factor + (a.right ? 0 : 1));
        a.msTaken = rights.at(i) == u'G' ? 2000 : 9000;
        a.answeredAt = now.addDays(-daysAgo).addSecs(i * 10 - 3600);
        writer.record(a);
    }
}

} // namespace

class RegisterTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    ClassReport m_report;

    const PupilFigures &pupil(QStringView name) const
    {
        for (const PupilFigures &p : m_report.pupils)
            if (p.name == name)
                return p;
        qFatal("no pupil %s", qPrintable(name.toString()));
    }

private slots:
    void initTestCase()
    {
        {
            HistoryWriter writer(m_dir.path());
            // Ada: 2 × 3 learnt this week, stuck on 8 × 7, worse than last week (all right).
            answer(writer, QStringLiteral("Ada"), {2, 3}, QStringLiteral("GGG"), 1);
            answer(writer, QStringLiteral("Ada"), {8, 7}, QStringLiteral("SSGS"), 0);
            answer(writer, QStringLiteral("Ada"), {8, 6}, QStringLiteral("GGGGGG"), 8);
            // Bruno: nothing this week; 8 × 7 known since a month ago.
            answer(writer, QStringLiteral("Bruno"), {8, 7}, QStringLiteral("SGGG"), 40);
            answer(writer, QStringLiteral("Bruno"), {2, 3}, QStringLiteral("LL"), 9);
            // Ugo, typed two ways: one pupil, better than last week.
            answer(writer, QStringLiteral("Ugo"), {8, 7}, QStringLiteral("SSGSS"), 9);
            answer(writer, QStringLiteral("ugo"), {3, 3}, QStringLiteral("SGGGGG"), 2);
        }
        LocalClassSource source(m_dir.path());
        Problem problem;
        m_report = source.report(source.classes().constFirst(), now, &problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem.fullText()));
        QCOMPARE(m_report.className, QStringLiteral("Tutti gli alunni di questo computer"));
    }

    void pupilsFiguresComeFromTheirHistory_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("answersThisWeek");
        QTest::addColumn<QString>("known");
        QTest::addColumn<QString>("percent");
        QTest::addColumn<QString>("median");
        QTest::addColumn<int>("trend");
        QTest::addColumn<QString>("attention");
        QTest::addColumn<QString>("advice");
        QTest::newRow("stuck and falling")
            << "Ada" << 7 << "2 su 20"
            << "77%"
            << "2,0 s" << int(Trend::Falling) << "sbaglia di continuo 8 per 7"
            << "Da esercitare: 8 per 7.";
        // The answer of 40 days ago counts for the facts, not for the weeks' figures.
        QTest::newRow("silent this week")
            << "Bruno" << 0 << "1 su 20"
            << "100%"
            << "9,0 s" << int(Trend::Unknown) << "nessuna risposta questa settimana"
            << "Quasi imparate: 2 per 3.";
        QTest::newRow("one pupil typed two ways")
            << "Ugo" << 6 << "1 su 20"
            << "55%"
            << "2,0 s" << int(Trend::Rising) << "sbaglia di continuo 8 per 7"
            << "Da esercitare: 8 per 7.";
    }
    void pupilsFiguresComeFromTheirHistory()
    {
        QFETCH(QString, name);
        const PupilFigures &p = pupil(name);
        PupilTableModel model;
        model.setReport(m_report);
        QTEST(p.answersThisWeek, "answersThisWeek");
        QTEST(model.cellText(p, PupilTableModel::FactsKnown), "known");
        QTEST(model.cellText(p, PupilTableModel::PercentRight), "percent");
        QTEST(model.cellText(p, PupilTableModel::MedianTime), "median");
        QTEST(int(p.trend()), "trend");
        QTEST(attentionText(p), "attention");
        QFETCH(QString, advice);
        QVERIFY2(practiceAdvice(p).startsWith(advice.chopped(1)), qPrintable(practiceAdvice(p)));
    }

    void classGridSaysWhoKnowsAndWhoMisses()
    {
        ClassFactModel model;
        model.setReport(m_report);
        const QModelIndex eightSeven = model.index(7, 6);
        QCOMPARE(eightSeven.data(Qt::AccessibleTextRole).toString(),
            QStringLiteral("8 per 7: la sa 1 bambino su 3; la sbagliano spesso Ada e Ugo"));
        QCOMPARE(eightSeven.data(Qt::BackgroundRole).value<QColor>(),
            standingColour(FactStanding::MostlyWrong));
        QCOMPARE(model.index(2, 2).data(Qt::BackgroundRole).value<QColor>(),
            standingColour(FactStanding::Known));
        QCOMPARE(model.index(0, 0).data(Qt::AccessibleTextRole).toString(),
            QStringLiteral("1 per 1: mai chiesta"));
        QCOMPARE(m_report.missedMost(), (QList<Fact> {{8, 7}}));
        QCOMPARE(missedFactText({8, 7}, m_report.fact({8, 7}), 3),
            QStringLiteral("8 per 7 fa 56: la sbagliano spesso 2 bambini su 3 (Ada e Ugo)"));
    }

    void pupilsSortAndStandOutInColourAndWords()
    {
        PupilTableModel model;
        model.setReport(m_report);
        QSortFilterProxyModel proxy;
        proxy.setSourceModel(&model);
        proxy.setSortRole(PupilTableModel::SortRole);
        proxy.sort(PupilTableModel::PercentRight, Qt::DescendingOrder);
        QStringList order;
        for (int row = 0; row < proxy.rowCount(); ++row)
            order << proxy.index(row, PupilTableModel::Name).data().toString();
        QCOMPARE(order, (QStringList {u"Bruno"_s, u"Ada"_s, u"Ugo"_s}));
        proxy.sort(PupilTableModel::LastPractice, Qt::AscendingOrder);
        QCOMPARE(proxy.index(0, PupilTableModel::Name).data().toString(), QStringLiteral("Bruno"));

        const QModelIndex bruno = model.index(1, PupilTableModel::AnswersThisWeek);
        QCOMPARE(bruno.data(Qt::BackgroundRole).value<QColor>(), attentionColour(pupil(u"Bruno")));
        QVERIFY(bruno.data(Qt::BackgroundRole).value<QColor>().isValid());
        QCOMPARE(bruno.data(Qt::AccessibleTextRole).toString(),
            QStringLiteral("Bruno, risposte questa settimana: 0"));
        QCOMPARE(bruno.data(Qt::AccessibleDescriptionRole).toString(),
            QStringLiteral("nessuna risposta questa settimana"));
        QVERIFY(attentionColour(pupil(u"Ada")) != attentionColour(pupil(u"Bruno")));
    }

    void classListsOfEveryShapeAreRead_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("pupils"); // "class|name surname"
        QTest::addColumn<QStringList>("problems");
        QTest::newRow("header in any order, BOM, CRLF")
            << QByteArray("\xEF\xBB\xBFNome;Classe;Cognome;Nato il\r\nMarco;3A;Rossi;1/2/2018\r\n"
                          "\r\nAda;3B;Bianchi;\r\n")
            << QStringList {u"3A|Marco Rossi"_s, u"3B|Ada Bianchi"_s} << QStringList();
        QTest::newRow("no header, commas, quoted")
            << QByteArray("3A,\"D'Annunzio, jr\",Gabriele\n3A,Rossi,\"Marco \"\"Ciccio\"\"\"\n")
            << QStringList {u"3A|Gabriele D'Annunzio, jr"_s, u"3A|Marco \"Ciccio\" Rossi"_s}
            << QStringList();
        QTest::newRow("tabs, Windows-1252")
            << QByteArray("CLASSE\tcognome\tNome\n3A\tNiccol\xf2\tLuca \x80\n")
            << QStringList {u"3A|Luca € Niccolò"_s} << QStringList();
        QTest::newRow("lines that cannot be read")
            << QByteArray("Classe;Cognome;Nome\n3A;Rossi\n;Verdi;Anna\n3A;;\n3A;ROSSI;marco\n"
                          "3A;Rossi;Marco\n")
            << QStringList {u"3A|marco ROSSI"_s}
            << QStringList {u"riga 2: ha 2 colonne, ne servono almeno 3"_s,
                   u"riga 3: manca la classe"_s, u"riga 4: mancano il cognome e il nome"_s,
                   u"riga 6: Marco Rossi della 3A c'è già in una riga prima"_s};
        QTest::newRow("header without a column")
            << QByteArray("Classe;Nome\n3A;Marco\n") << QStringList()
            << QStringList {u"riga 1: nell'intestazione manca la colonna «cognome»"_s};
    }
    void classListsOfEveryShapeAreRead()
    {
        QFETCH(QByteArray, content);
        const ClassList list = parseClassList(content);
        QStringList pupils;
        for (const ClassListRow &row : list.rows)
            pupils << row.className + u'|' + row.pupil();
        QTEST(pupils, "pupils");
        QTEST(list.problems, "problems");
    }

    void tablesAreReadFromWhatTheTeacherTypes()
    {
        QCOMPARE(parseTables(u" 8 6;6,7 "_s), (QList<int> {6, 7, 8}));
        QCOMPARE(parseTables(QString()), QList<int>());
        QVERIFY(!parseTables(u"6, 11"_s));
        QVERIFY(!parseTables(u"sei"_s));
    }

    void theClassIsExportedForASpreadsheet()
    {
        const QString path = m_dir.filePath(u"classe.csv"_s);
        QVERIFY(exportClass(m_report, path));
        QFile csv(path);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(csv.permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        const QList<QByteArray> lines = csv.readAll().split('\n');
        QVERIFY(lines.first().startsWith("\xEF\xBB\xBF"
                                         "Alunno;"));
        QCOMPARE(lines.size(), 5); // the header, three pupils, the last line's end
        QVERIFY(lines.at(1).startsWith("Ada;oggi;"));
        QVERIFY(!exportClass(m_report, m_dir.filePath(u"manca/classe.csv"_s)));
    }

    void silentLabComputersStandOut_data()
    {
        QTest::addColumn<QDateTime>("now"); // local time
        QTest::addColumn<int>("minutesAgo");
        QTest::addColumn<QString>("state");
        const QDate wednesday(2026, 12, 9);
        QTest::newRow("lesson, just heard")
            << QDateTime(wednesday, QTime(10, 0)) << 3 << QStringLiteral("in contatto");
        QTest::newRow("lesson, cable out")
            << QDateTime(wednesday, QTime(10, 0)) << 25 << "in silenzio da 25 minuti";
        QTest::newRow("evening") << QDateTime(wednesday, QTime(20, 0)) << 60 << "in contatto";
        QTest::newRow("Sunday") << QDateTime(wednesday.addDays(4), QTime(10, 0)) << 60
                                << "in contatto";
    }
    void silentLabComputersStandOut()
    {
        QFETCH(QDateTime, now);
        QFETCH(int, minutesAgo);
        QFETCH(QString, state);
        const MachineContact machine {
            u"8f0c3a52-5d0e"_s, u"laboratorio"_s, now.toUTC().addSecs(-60 * minutesAgo)};
        MachineTableModel model;
        model.setMachines({machine}, now.toUTC());
        const QModelIndex cell = model.index(0, MachineTableModel::State);
        QCOMPARE(cell.data().toString(), state);
        QCOMPARE(cell.data(Qt::BackgroundRole).isValid(), state != u"in contatto");
        QVERIFY(model.index(0, 0)
                    .data(Qt::AccessibleTextRole)
                    .toString()
                    .startsWith(u"laboratorio (8f0c3a52), ultimo contatto"));
    }

    void enterOnAPupilOpensHisTavola()
    {
        LocalClassSource source(m_dir.path());
        QStringList opened;
        RegisterWindow window(source, [&](QWidget *, const PupilFigures &p) { opened << p.name; });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_COMPARE(window.pupilModel()->rowCount(), 3); // read aside, the window never waits
        QTableView *view = window.pupilView();
        QVERIFY(view->hasFocus());
        QTest::keyClick(view, Qt::Key_Down);
        QTest::keyClick(view, Qt::Key_Return);
        QCOMPARE(opened, QStringList {QStringLiteral("Bruno")});
        QVERIFY(window.missedModel()->stringList().constFirst().startsWith(u"8 per 7 fa 56"));
    }

    void unreadableHistoryIsToldAndLeftAlone()
    {
        QTemporaryDir dir;
        QFile bad(QDir(dir.path()).filePath(historyFileName()));
        QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write("non un database") > 0);
        bad.close();
        LocalClassSource source(dir.path());
        Problem problem;
        QVERIFY(source.report(source.classes().constFirst(), now, &problem).pupils.isEmpty());
        QVERIFY2(problem.sentence.startsWith(u"Non riesco a leggere la storia"),
            qPrintable(problem.sentence));
        QVERIFY(problem.details.contains(historyFileName()));
        QVERIFY(bad.open(QIODevice::ReadOnly) && bad.readAll() == "non un database");
    }

    // Two pages for the class (its tavola, its pupils), one for each pupil; a PDF that cannot be
    // written is said so.
    void pdfHasAPagePerPupil()
    {
        LocalClassSource source(m_dir.path());
        const QString path = m_dir.filePath(QStringLiteral("registro.pdf"));
        QString error;
        QVERIFY2(saveRegisterPdf(path, m_report, source, &error), qPrintable(error));
        QFile pdf(path);
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        const QString text = QString::fromLatin1(pdf.readAll());
        QCOMPARE(text.count(QRegularExpression(QStringLiteral("/Type\\s*/Page[^s]"))), 5);

        const QString nowhere = m_dir.filePath(QStringLiteral("manca/registro.pdf"));
        QVERIFY(!saveRegisterPdf(nowhere, m_report, source, &error));
        QVERIFY2(error.startsWith(u"Non riesco a salvare il PDF"), qPrintable(error));
        QVERIFY(!QFile::exists(nowhere));
    }
};

QTEST_MAIN(RegisterTest)
#include "tst_register.moc"
