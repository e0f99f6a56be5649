#include "app/commandline.h"
#include "drill/exercise.h"
#include "drill/lesson.h"
#include "drill/timestable.h"
#include "drill/verdict.h"
#include "school/roster.h"

#include <QTest>
#include <limits>

using namespace calvenza;

namespace {

QStringList spoken(const NarratorScript &script)
{
    QStringList l;
    for (const NarratorRequest &r : script)
        if (r.kind != NarratorRequest::Kind::Show && r.kind != NarratorRequest::Kind::MoveTo
            && r.kind != NarratorRequest::Kind::Height)
            l << r.toString();
    return l;
}

} // namespace

class DrillTest : public QObject
{
    Q_OBJECT
private slots:
    // Shape: E Esatto, G Giusto, N the name, P the product; then the praise level, if any.
    void praiseLadderByScoreBeforeTheAnswer_data()
    {
        QTest::addColumn<int>("score");
        QTest::addColumn<QString>("shape");
        QTest::addColumn<QString>("praise");
        QTest::newRow("2") << 2 << "EP"
                           << "congratulate|Sei grande";
        QTest::newRow("3") << 3 << "ENP"
                           << "";
        QTest::newRow("5") << 5 << "EP"
                           << "domagic1|Sei forte";
        QTest::newRow("9") << 9 << "EP"
                           << "";
        QTest::newRow("10") << 10 << "P"
                            << "congratulate|Sei sulla buona strada per diventare cavaliere";
        QTest::newRow("11") << 11 << "GP"
                            << "";
        QTest::newRow("12") << 12 << "GNP"
                            << "";
        QTest::newRow("13") << 13 << "GP"
                            << "domagic2|Sei in gamba";
        QTest::newRow("14") << 14 << "GP"
                            << "congratulate|Sei eccezionale";
        QTest::newRow("18") << 18 << "GP"
                            << "congratulate|Sei insuperabile";
        QTest::newRow("21") << 21 << "GNP"
                            << "";
        QTest::newRow("23") << 23 << "GP"
                            << "congratulate|Ti nomino cavaliere della tabellina, il massimo "
                               "ordine per un eroe";
        QTest::newRow("26") << 26 << "GNP"
                            << "";
        QTest::newRow("27") << 27 << "GP"
                            << "congratulate|Hai lavorato bene mio leale campione: sei invincibile";
        QTest::newRow("28") << 28 << "GP"
                            << "";
        QTest::newRow("32767") << 32767 << "GP"
                               << "";
    }
    void praiseLadderByScoreBeforeTheAnswer()
    {
        QFETCH(int, score);
        QFETCH(QString, shape);
        QFETCH(QString, praise);
        QStringList expected;
        for (QChar c : shape)
            expected << QStringLiteral("Speak ")
                    + (c == u'E'        ? u"Esatto"_qs
                            : c == u'G' ? u"Giusto"_qs
                            : c == u'N' ? u"Ugo"_qs
                                        : u"56"_qs);
        if (!praise.isEmpty())
            expected << QStringLiteral("Play ") + praise.section(u'|', 0, 0)
                     << QStringLiteral("Speak ") + praise.section(u'|', 1);
        QCOMPARE(
            spoken(reactionToRight(score, QStringLiteral("Ugo"), QStringLiteral("56"))), expected);
        // Without a name (a ripasso's pupil who typed none) the name is left out, not said empty.
        expected.removeAll(QStringLiteral("Speak Ugo"));
        QCOMPARE(spoken(reactionToRight(score, QString(), QStringLiteral("56"))), expected);
    }

    void wrongAnswerBowsAndGivesTheProduct()
    {
        QCOMPARE(spoken(reactionToWrong(QStringLiteral("48"))).join(u'|'),
            QStringLiteral("Play Greet|Speak Sbagliato|Speak 48"));
    }

    void countersStopAtTheirLimit()
    {
        Counters c;
        c.right = Counters::limit - 1;
        c.wrong = Counters::limit;
        c.addRight();
        c.addRight();
        c.addWrong();
        QCOMPARE(c.right, Counters::limit);
        QCOMPARE(c.wrong, Counters::limit);
        QCOMPARE(c.total(), Counters::limit);
    }

    void drawsStayBetweenOneAndTen_data()
    {
        QTest::addColumn<double>("r");
        QTest::addColumn<int>("drawn");
        QTest::newRow("0") << 0.0 << 1;
        QTest::newRow("0.0999") << 0.0999 << 1;
        QTest::newRow("0.1") << 0.1 << 2;
        QTest::newRow("just below 1") << 0.99999999 << 10;
        QTest::newRow("1") << 1.0 << 10;
        QTest::newRow("negative") << -0.5 << 1;
        QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << 1;
    }
    void drawsStayBetweenOneAndTen()
    {
        QFETCH(double, r);
        QFETCH(int, drawn);
        QCOMPARE(drawOneToTen(r), drawn);
    }

    void gradientRedComesFromTheTable()
    {
        QCOMPARE(bandColour(8, 3, 7), QColor(160, 60, 7));
        QCOMPARE(bandColour(10, 10, 255), QColor(200, 200, 255));
    }

    void everyTableIsNamedWithItsArticle()
    {
        QCOMPARE(tableWithArticle(1), QStringLiteral("dell'uno"));
        QCOMPARE(introduction(8),
            QStringLiteral("Allora attenzione, iniziamo la nostra avventura con la tabellina "
                           "dell'otto. Io detto e tu scrivi il risultato nello spazio sotto di me. "
                           "Mi raccomando inserisci il risultato e premi invio e poi aspetta che "
                           "io finisca di parlare e premi ancora invio per avere la domanda "
                           "successiva"));
        QVERIFY(introduction(7).contains(QStringLiteral("con la tabellina del sette. Io")));
    }

    // The ripasso's last words name at most three of the facts known better, then count the rest.
    void lessonSummaryNamesWhatImprovedAndWhatToPractise()
    {
        const QString end = QStringLiteral("Abbiamo finito il ripasso. ");
        QCOMPARE(lessonSummary(20, {}, std::nullopt),
            end + u"Hai lavorato bene: ogni ripasso ti aiuta a ricordare."_qs);
        QCOMPARE(lessonSummary(20, {{8, 7}}, Fact {6, 9}),
            end
                + u"Ottimo lavoro! Adesso conosci meglio 8 per sette. Esercitati ancora un po' su "
                  u"6 per nove."_qs);
        const QList<Fact> five {{8, 7}, {6, 3}, {1, 10}, {2, 2}, {3, 3}};
        QVERIFY(
            lessonSummary(20, five.first(4), std::nullopt).endsWith(u"1 per dieci e un'altra."));
        QVERIFY(lessonSummary(20, five, std::nullopt)
                    .endsWith(u"sette, 6 per tre, 1 per dieci e altre 2."));
        QVERIFY(lessonSummary(0, five, std::nullopt).startsWith(u"Oggi non c'è niente"));
    }

    // given: the tables, the pupil, the file to export, or a part of the message.
    void commandLineChoosesTheTablesAndTheMode_data()
    {
        QTest::addColumn<QString>("arguments"); // separated by |
        QTest::addColumn<int>("action");
        QTest::addColumn<bool>("ripasso");
        QTest::addColumn<QString>("given");
        using A = CommandLine::Action;
        QTest::newRow("none") << "" << int(A::Run) << false << "";
        QTest::newRow("--tabellina 7") << "--tabellina|7" << int(A::Run) << false << "7";
        QTest::newRow("-t 10") << "-t|10" << int(A::Run) << false << "10";
        QTest::newRow("--tabellina=1") << "--tabellina=1" << int(A::Run) << false << "1";
        QTest::newRow("11") << "-t|11" << int(A::Refuse) << false << "da 1 a 10";
        QTest::newRow("0") << "-t|0" << int(A::Refuse) << false << "da 1 a 10";
        QTest::newRow("sette") << "-t|sette" << int(A::Refuse) << false << "«sette»";
        QTest::newRow("no value") << "-t" << int(A::Refuse) << false << "manca il numero";
        QTest::newRow("unknown") << "--otto" << int(A::Refuse) << false
                                 << "opzione sconosciuta «--otto»";
        QTest::newRow("help") << "--help" << int(A::ShowHelp) << false << "--esporta FILE.csv";
        QTest::newRow("version") << "-v" << int(A::ShowVersion) << false << "calvenza 1.";
        QTest::newRow("ripasso") << "--ripasso" << int(A::Run) << true << "";
        QTest::newRow("ripasso list") << "-t|6,7,8,7|-r" << int(A::Run) << true << "6,7,8";
        QTest::newRow("ripasso one") << "-r|--tabellina=9" << int(A::Run) << true << "9";
        QTest::newRow("list without ripasso")
            << "-t|6,7" << int(A::Refuse) << false << "«6,7» è un elenco";
        QTest::newRow("list out of range")
            << "-r|-t|6,11" << int(A::Refuse) << false << "«11» non c'è";
        QTest::newRow("list with a hole")
            << "-r|-t|6,,7" << int(A::Refuse) << false << "«» non c'è";
        QTest::newRow("progress chooser") << "--progressi" << int(A::ShowProgress) << false << "";
        QTest::newRow("progress of a name")
            << "--progressi|Anna Maria" << int(A::ShowProgress) << false << "Anna Maria";
        QTest::newRow("progress then an option")
            << "--progressi|-t|7" << int(A::ShowProgress) << false << "";
        QTest::newRow("progress=") << "--progressi=-Ugo" << int(A::ShowProgress) << false << "-Ugo";
        QTest::newRow("export") << "--esporta|a b.csv" << int(A::Export) << false << "a b.csv";
        QTest::newRow("export without a file")
            << "--esporta" << int(A::Refuse) << false << "manca il nome del file";
        QTest::newRow("ripasso with export")
            << "-r|--esporta=x.csv" << int(A::Refuse) << false << "--ripasso non va insieme";
        QTest::newRow("register") << "--registro" << int(A::ShowRegister) << false << "";
        QTest::newRow("server check") << "--verifica-server" << int(A::CheckServer) << false << "";
        QTest::newRow("register with ripasso")
            << "--registro|-r" << int(A::Refuse) << false << "--registro.";
        QTest::newRow("class") << "--classe|3A" << int(A::Run) << false << "|3A";
        QTest::newRow("class= trimmed") << "-r|--classe= 4B |-t|6" << int(A::Run) << true << "6|4B";
        QTest::newRow("class empty") << "--classe=" << int(A::Refuse) << false << "--classe 3A";
        QTest::newRow("class then an option")
            << "--classe|-r" << int(A::Refuse) << false << "--classe 3A";
        QTest::newRow("progress of a name in a class")
            << "--classe|3A|--progressi| Marco " << int(A::ShowProgress) << false
            << "Marco \u00B7 3A";
        QTest::newRow("progress of a label, class given")
            << "--progressi|Marco \u00B7 3B|--classe|3A" << int(A::ShowProgress) << false
            << "Marco \u00B7 3B";
        QTest::newRow("class with the register")
            << "--classe|3A|--registro" << int(A::Refuse) << false << "per tutte le classi";
        QTest::newRow("class too long") << QStringLiteral("--classe|") + QString(41, u'x')
                                        << int(A::Refuse) << false << "al massimo 40";
    }
    void commandLineChoosesTheTablesAndTheMode()
    {
        QFETCH(QString, arguments);
        QFETCH(int, action);
        QFETCH(bool, ripasso);
        QFETCH(QString, given);
        const CommandLine line = parseCommandLine(arguments.split(u'|', Qt::SkipEmptyParts));
        QCOMPARE(int(line.action), action);
        QCOMPARE(line.ripasso, ripasso);
        QStringList tables;
        for (const int t : line.tables)
            tables << QString::number(t);
        switch (CommandLine::Action(action)) {
        case CommandLine::Action::ShowProgress:
            QCOMPARE(line.pupil, given);
            break;
        case CommandLine::Action::Export:
            QCOMPARE(line.exportPath, given);
            break;
        case CommandLine::Action::Refuse:
            QVERIFY(line.message.endsWith(QStringLiteral("per sapere come si usa.\n")));
            [[fallthrough]];
        case CommandLine::Action::ShowHelp:
        case CommandLine::Action::ShowVersion:
            QVERIFY2(line.message.contains(given), qPrintable(line.message));
            break;
        default:
            QCOMPARE(tables.join(u',')
                    + (line.pupilClass.isEmpty() ? QString() : u'|' + line.pupilClass),
                given);
            QCOMPARE(line.table, line.tables.value(0, 8));
        }
    }

    // Marco is in 3A and in 3B, Anna in 3A, Luca in 3B. choices: separated by |.
    void theNameTypedFindsThePupilOfAClass_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("ownClass");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("pupilClass");
        QTest::addColumn<QString>("choices");
        const QString marcoA = QStringLiteral("Marco \u00B7 3A");
        const QString marcoB = QStringLiteral("Marco \u00B7 3B");
        QTest::newRow("in one class") << "anna"
                                      << ""
                                      << "Anna"
                                      << "3A"
                                      << "";
        QTest::newRow("chosen from the list") << marcoB << ""
                                              << "Marco"
                                              << "3B"
                                              << "";
        QTest::newRow("class in any case") << "marco \u00B7 3b"
                                           << ""
                                           << "Marco"
                                           << "3B"
                                           << "";
        QTest::newRow("in two classes") << " Marco"
                                        << ""
                                        << " Marco"
                                        << "" << marcoA + u'|' + marcoB;
        QTest::newRow("machine's class") << "MARCO"
                                         << "3a"
                                         << "Marco"
                                         << "3A"
                                         << "";
        QTest::newRow("not in the machine's class") << "Luca"
                                                    << "3A"
                                                    << "Luca"
                                                    << ""
                                                    << "";
        QTest::newRow("without the dot") << "luca 3B"
                                         << ""
                                         << "Luca"
                                         << "3B"
                                         << "";
        QTest::newRow("a new name") << "Lucia"
                                    << ""
                                    << "Lucia"
                                    << ""
                                    << "";
        QTest::newRow("a class nobody has") << "Marco \u00B7 5C"
                                            << ""
                                            << "Marco"
                                            << ""
                                            << "";
        QTest::newRow("no name") << ""
                                 << "3A"
                                 << ""
                                 << ""
                                 << "";
    }
    void theNameTypedFindsThePupilOfAClass()
    {
        QFETCH(QString, typed);
        QFETCH(QString, ownClass);
        Roster roster;
        for (const auto &[pupilClass, name] :
            {std::pair {"3A", "Anna"}, {"3A", "Marco"}, {"3B", "Luca"}, {"3B", "Marco"}})
            roster.pupils.append({QLatin1String(pupilClass), QLatin1String(name),
                QString::fromLatin1(name).toCaseFolded()});
        const ResolvedPupil pupil = resolvePupil(typed, roster, ownClass);
        QTEST(pupil.name, "name");
        QTEST(pupil.pupilClass, "pupilClass");
        QTEST(pupil.choices.join(u'|'), "choices");
    }

    // --progressi --classe 3A offers 3A's pupils only.
    void aClassKeepsItsOwnPupils_data()
    {
        QTest::addColumn<QString>("pupilClass");
        QTest::addColumn<QString>("kept");
        QTest::newRow("one class") << "3A" << QStringLiteral("Marco \u00B7 3A|Anna \u00B7 3A");
        QTest::newRow("any case, spaces") << " 3b " << QStringLiteral("Luca \u00B7 3B");
        QTest::newRow("a class nobody has") << "5C"
                                            << "";
        QTest::newRow("no class") << ""
                                  << "Lucia|Ugo 3A";
    }
    void aClassKeepsItsOwnPupils()
    {
        QFETCH(QString, pupilClass);
        const QStringList known {QStringLiteral("Marco \u00B7 3A"),
            QStringLiteral("Luca \u00B7 3B"), QStringLiteral("Lucia"),
            QStringLiteral("Anna \u00B7 3A"), QStringLiteral("Ugo 3A")};
        QTEST(pupilsOfClass(known, pupilClass).join(u'|'), "kept");
    }
};

QTEST_APPLESS_MAIN(DrillTest)
#include "tst_drill.moc"
