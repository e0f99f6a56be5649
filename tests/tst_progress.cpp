#include "memory/historywriter.h"
#include "progress/challengechart.h"
#include "progress/factmodel.h"
#include "progress/progresswindow.h"

#include <QImage>
#include <QLabel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace calvenza;

namespace {

void answer(FactTable &facts, const Fact &fact, const QString &rights, qint64 ms = 1200)
{
    for (const QChar c : rights)
        facts.add(fact.table, fact.factor, c == u'r', ms);
}

} // namespace

class ProgressTest : public QObject
{
    Q_OBJECT
private slots:
    void cellsShowProductColourAndWords_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("standing");
        QTest::addColumn<QString>("spoken");
        using S = FactStanding;
        QTest::newRow("known") << 7 << 6 << int(S::Known)
                               << "8 per 7 fa 56: 5 risposte giuste su 6, l'ultima giusta in 1 "
                                  "secondo";
        QTest::newRow("wrong") << 5 << 8 << int(S::MostlyWrong)
                               << "6 per 9 fa 54: 1 risposta giusta su 4, l'ultima sbagliata";
        QTest::newRow("learning") << 2 << 2 << int(S::Learning)
                                  << "3 per 3 fa 9: 1 risposta giusta su 1, l'ultima giusta in 1 "
                                     "secondo, migliorata oggi";
        QTest::newRow("never") << 9 << 9 << int(S::NeverAsked)
                               << "10 per 10 fa 100: ancora da provare";
    }
    void cellsShowProductColourAndWords()
    {
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(int, standing);
        QFETCH(QString, spoken);
        FactTable facts;
        answer(facts, {8, 7}, QStringLiteral("wrrrrr"));
        answer(facts, {6, 9}, QStringLiteral("rwww"));
        answer(facts, {3, 3}, QStringLiteral("r"));
        FactModel model;
        model.setFacts(facts);
        model.setOutlined({{3, 3}});
        const QModelIndex cell = model.index(row, column);
        QCOMPARE(cell.data().toInt(), (row + 1) * (column + 1));
        QCOMPARE(
            cell.data(Qt::BackgroundRole).value<QColor>(), standingColour(FactStanding(standing)));
        QCOMPARE(cell.data(Qt::AccessibleTextRole).toString(), spoken);
        QCOMPARE(cell.data(Qt::AccessibleDescriptionRole).toString(),
            standingWords(FactStanding(standing)));
        QCOMPARE(cell.data(FactModel::OutlinedRole).toBool(), row == 2 && column == 2);
    }

    void pictureShowsThePupilsHistoryAndIsSaved()
    {
        QTemporaryDir dir;
        {
            HistoryWriter writer(dir.path());
            AnswerRecord a;
            a.pupil = QStringLiteral("Ugo");
            a.factor = 7;
            a.typed = QStringLiteral("56");
            a.right = true;
            a.msTaken = 2000;
            writer.record(a);
            ChallengeRecord c;
            c.pupil = QStringLiteral("Ugo");
            c.right = 21;
            writer.record(c);
        }
        ProgressWindow window(dir.path(), QStringLiteral("  ugo "), {{8, 7}});
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.model()->index(7, 6).data(Qt::AccessibleTextRole).toString(),
            QStringLiteral("8 per 7 fa 56: 1 risposta giusta su 1, l'ultima giusta in 2 secondi, "
                           "migliorata oggi"));
        QCOMPARE(window.findChild<ChallengeChart *>()->accessibleDescription(),
            QStringLiteral("Tabellina dell'otto: una sfida, con 21 risposte giuste."));
        QCOMPARE(window.windowTitle(), QStringLiteral("La tavola pitagorica di Ugo"));
        const auto labels = window.findChildren<QLabel *>();
        QVERIFY(std::any_of(labels.begin(), labels.end(),
            [](const QLabel *l) { return l->text() == u"migliorata oggi"; }));

        // The keyboard walks the cells.
        QTableView *view = window.view();
        QVERIFY(view->hasFocus());
        QTest::keyClick(view, Qt::Key_Down);
        QTest::keyClick(view, Qt::Key_Right);
        QCOMPARE(view->currentIndex(), window.model()->index(1, 1));

        const QString png = dir.filePath(QStringLiteral("tavola.png"));
        QVERIFY(window.savePicture(png));
        QCOMPARE(QImage(png).size(), window.findChild<QWidget *>()->size());
        QString error;
        QString details;
        QVERIFY(
            !window.savePicture(dir.filePath(QStringLiteral("no/such/t.png")), &error, &details));
        QVERIFY(error.startsWith(QStringLiteral("Non riesco a salvare l'immagine")));
        QVERIFY(!error.contains(u'/') && details.contains(u"no/such/t.png"));
    }
};

QTEST_MAIN(ProgressTest)
#include "tst_progress.moc"
