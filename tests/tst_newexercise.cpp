#include "app/controls.h"
#include "drill/exercise.h"
#include "platform/random.h"
#include "support.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace calvenza;
using namespace calvenza::testing;

class NewExerciseTest : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Harness> h;

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        h = std::make_unique<Harness>(m_dir->path());
        h->startUp(QStringLiteral("Luca"), true);
        QVERIFY(QTest::qWaitForWindowActive(h->tavola.get()));
    }
    void cleanup()
    {
        h.reset();
        m_dir.reset();
    }

    void exerciseFillsTheHiddenStoresAndDictates_data()
    {
        QTest::addColumn<int>("colour");
        QTest::addColumn<int>("factor");
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("words");
        QTest::newRow("8x1") << 3 << 1 << QStringLiteral("8") << QStringLiteral("uno");
        QTest::newRow("8x7") << 10 << 7 << QStringLiteral("56") << QStringLiteral("sette");
        QTest::newRow("8x10") << 1 << 10 << QStringLiteral("80") << QStringLiteral("dieci");
    }
    void exerciseFillsTheHiddenStoresAndDictates()
    {
        QFETCH(int, colour);
        QFETCH(int, factor);
        QFETCH(QString, product);
        QFETCH(QString, words);
        h->random->values = {drawing(colour), drawing(factor)};
        h->agent->clear();
        const int reseedsBefore = h->random->reseeds;
        h->tavola->cmdNext_Click();

        QCOMPARE(h->random->reseeds, reseedsBefore + 1);
        QCOMPARE(h->control<QLineEdit>("Text1")->text(), QStringLiteral("8"));
        QCOMPARE(h->control<QLineEdit>("Text6")->text(), words);
        QCOMPARE(h->control<QLineEdit>("Text7")->text(), product);
        QCOMPARE(h->control<QLabel>("lblNum1")->text(), QStringLiteral("8"));
        QCOMPARE(h->control<QLabel>("lblNum2")->text(), QString::number(factor));
        QCOMPARE(h->tavola->exercise().numcolore, colour);
        for (const char *hidden : {"lblNum1", "lblNum2", "Label10", "Text1", "Text6", "Text7"})
            QVERIFY2(!h->control(hidden)->isVisible(), hidden);
        QCOMPARE(h->control<QLabel>("lblMessage")->text(), QString());
        QCOMPARE(h->control<QLineEdit>("Text3")->text(), QString());
        QCOMPARE(QApplication::focusWidget(), h->control("Text3"));
        QCOMPARE(h->agent->log(),
            (QStringList {QStringLiteral("Show"), QStringLiteral("MoveTo 250,175"),
                QStringLiteral("Play Greet"), QStringLiteral("Height 205"),
                QStringLiteral("Speak 8"), QStringLiteral("Speak per"),
                QStringLiteral("Speak ") + words}));
    }

    // Dropping an exercise before answering counts nothing, and the verdict line is cleared.
    void newExerciseLeavesCountersAndClearsVerdict()
    {
        h->random->values = {drawing(1), drawing(6)};
        h->tavola->cmdNext_Click();
        QTest::keyClicks(h->control("Text3"), QStringLiteral("47"));
        QTest::keyClick(h->control("Text3"), Qt::Key_Return);
        QCOMPARE(h->control<QLabel>("lblScore1")->text(), QStringLiteral("1"));
        h->random->values = {drawing(2), drawing(3)};
        h->tavola->cmdNext_Click();
        h->tavola->cmdNext_Click();
        QCOMPARE(h->control<QLabel>("lblScore1")->text(), QStringLiteral("1"));
        QCOMPARE(h->control<QLabel>("lblScore2")->text(), QStringLiteral("1"));
        QCOMPARE(h->control<QLabel>("lblMessage")->text(), QString());
    }

    void gradientIsPaintedInBandsAndPersists()
    {
        h->random->values = {drawing(4), drawing(2)};
        h->tavola->cmdNext_Click();
        ClientArea *area = h->tavola->clientArea();
        QVERIFY(area->hasDrawing());
        // A column right of the counters and left of the clock: nothing covers it but the bands.
        const QImage shot = area->grab().toImage();
        const int x = 240;
        int lastBlue = -1;
        for (int y = 1; y < shot.height() - 1; y += 9) {
            if (y > 300 && y < 520)
                continue; // the answer box and the buttons lie across the column there
            const QColor c = shot.pixelColor(x, y);
            QCOMPARE(c.red(), 160);
            QCOMPARE(c.green(), 80);
            QVERIFY2(c.blue() > lastBlue, qPrintable(QStringLiteral("y=%1").arg(y)));
            QVERIFY(qAbs(c.blue() - y * 256 / shot.height()) <= 2);
            lastBlue = c.blue();
        }
        // Being painted again (exposure) keeps it; a key typed in the answer box clears it.
        area->repaint();
        QCOMPARE(area->grab().toImage().pixelColor(x, 100).red(), 160);
        QTest::keyClick(h->control("Text3"), Qt::Key_4);
        QVERIFY(!area->hasDrawing());
        QVERIFY(area->grab().toImage().pixelColor(x, 100).red() != 160);
    }

    void drawsAreUniformAndReseedingDoesNotRepeatThem()
    {
        // The real generator, reseeded before every draw as the program does.
        SystemRandom random;
        std::array<int, 11> factors {};
        std::array<int, 11> colours {};
        constexpr int draws = 20000;
        for (int i = 0; i < draws; ++i) {
            const Exercise e = drawExercise(random);
            QVERIFY(e.num2 >= 1 && e.num2 <= 10);
            QCOMPARE(e.prodotto, 8 * e.num2);
            ++factors[e.num2];
            ++colours[e.numcolore];
        }
        // 2000 expected each; the bound is about eight standard deviations.
        for (int n = 1; n <= 10; ++n) {
            QVERIFY2(qAbs(factors[n] - draws / 10) < 350, qPrintable(QString::number(n)));
            QVERIFY2(qAbs(colours[n] - draws / 10) < 350, qPrintable(QString::number(n)));
        }
    }

    void oneToTenStaysInRange_data()
    {
        QTest::addColumn<double>("r");
        QTest::addColumn<int>("n");
        QTest::newRow("0") << 0.0 << 1;
        QTest::newRow("0.0999") << 0.0999 << 1;
        QTest::newRow("0.1") << 0.1 << 2;
        QTest::newRow("0.95") << 0.95 << 10;
        QTest::newRow("just below 1") << std::nextafter(1.0, 0.0) << 10;
        QTest::newRow("1 (bad generator)") << 1.0 << 10;
        QTest::newRow("negative (bad generator)") << -0.5 << 1;
        QTest::newRow("NaN (bad generator)") << std::nan("") << 1;
    }
    void oneToTenStaysInRange()
    {
        QFETCH(double, r);
        QFETCH(int, n);
        QCOMPARE(drawOneToTen(r), n);
    }

    // Names and file contents are shown as typed, never rendered as markup.
    void labelsShowMarkupAsPlainText()
    {
        for (QLabel *l : h->tavola->findChildren<QLabel *>())
            QVERIFY2(l->textFormat() == Qt::PlainText || l->objectName() == u"Image1",
                qPrintable(l->objectName()));
        QTemporaryDir dir;
        QFile points(dir.filePath(QStringLiteral("atabkesr8.txt")));
        QVERIFY(points.open(QIODevice::WriteOnly));
        points.write("<b>9</b>\r\n");
        points.close();
        Harness other(dir.path());
        // Markup and control characters, as a pasted name may carry them.
        const QString name = QStringLiteral("<h1>Luca</h1>\u0007\u001b[1m&lt;");
        other.startUp(name);
        QCOMPARE(other.control<QLabel>("lblnome1")->text(), name);
        QCOMPARE(other.control<QLabel>("lblpunti")->text(), QStringLiteral("<b>9</b>\r\n"));
        // A label rendering markup would size itself to the shorter rendered text.
        QVERIFY(other.control<QLabel>("lblnome1")->width()
            > other.control<QLabel>("lblnome1")
                    ->fontMetrics()
                    .horizontalAdvance(QStringLiteral("Luca"))
                * 2);
    }

    void windowIsCreatedAsDesigned()
    {
        QCOMPARE(h->tavola->windowTitle(), QString(83, u' ') + QStringLiteral("CALVENZA"));
        QCOMPARE(h->tavola->clientArea()->size(), QSize(785, 556));
        auto *text3 = h->control<QLineEdit>("Text3");
        QCOMPARE(text3->geometry(), QRect(208, 336, 457, 75));
        QCOMPARE(text3->maxLength(), 250);
        QCOMPARE(text3->toolTip(),
            QStringLiteral("Scrivi il numero e poi premi  il tasto Return (Invio)"));
        QCOMPARE(h->control("cmdExit1")->toolTip(),
            QStringLiteral("Ti prego resta ancora, forse riuscirai a farmi uscire "));
        QCOMPARE(h->control("lblScore")->toolTip(),
            QStringLiteral("Questo è il tuo punteggio. Forza con il  record"));
        QVERIFY(!h->control("cmdNext")->isEnabled());
        QCOMPARE(h->control<QLabel>("Label12")->text(), QStringLiteral("Il record  è di "));
        QCOMPARE(h->control<QLabel>("lblconto")->text(), QStringLiteral("00.07.00"));
        // Auto-size labels fit their captions; fixed ones keep their place.
        auto *heading = h->control<QLabel>("Label6");
        QVERIFY(heading->width() >= heading->sizeHint().width());
        QCOMPARE(heading->pos(), QPoint(24, 16));
        // The hidden stores never take the keyboard.
        for (const char *store : {"Txtnome1", "Text7", "Text6", "Text1", "Command3"})
            QCOMPARE(h->control(store)->focusPolicy(), Qt::NoFocus);
        // Before start-up moves it, the focus is on the exit button, lowest in the tab order.
        Harness fresh(m_dir->path());
        QCOMPARE(fresh.tavola->focusWidget(), fresh.control("cmdExit1"));
    }

    // The captions under the pictures must stay readable on the buttons' bright faces, enabled
    // or not.
    void buttonCaptionsAreReadable()
    {
        const auto inkPixels = [](QWidget *button, int darkerThan) {
            const QImage shot = button->grab().toImage();
            int ink = 0;
            for (int y = shot.height() - 20; y < shot.height() - 4; ++y)
                for (int x = 4; x < shot.width() - 4; ++x)
                    ink += qGray(shot.pixel(x, y)) < darkerThan;
            return ink;
        };
        QVERIFY(inkPixels(h->control("cmdNext"), 150) > 30); // disabled
        QVERIFY(inkPixels(h->control("cmdExit1"), 80) > 30);
        QTest::keyClick(h->control("Text3"), Qt::Key_Return);
        QVERIFY(h->control("cmdNext")->isEnabled());
        QVERIFY(inkPixels(h->control("cmdNext"), 80) > 30);
    }

    void accessKeysFollowTheButtonsState()
    {
        int farewells = 0;
        h->dialogs->onMessage
            = [&](const QString &t) { farewells += t.startsWith(QStringLiteral("Ciao")); };
        QSignalSpy ended(h->tavola.get(), &Tavola::programEnded);
        h->random->values = {drawing(1), drawing(2)};
        const QString before = h->control<QLineEdit>("Text7")->text();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_N, Qt::AltModifier);
        QTest::qWait(300);
        QCOMPARE(h->control<QLineEdit>("Text7")->text(), before); // disabled: nothing
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_X, Qt::AltModifier);
        QTRY_COMPARE(farewells, 1); // access keys click after a short press animation
        QCOMPARE(ended.count(), 1);
    }
};

QTEST_MAIN(NewExerciseTest)
#include "tst_newexercise.moc"
