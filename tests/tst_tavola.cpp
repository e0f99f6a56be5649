#include "app/controls.h"
#include "challenge/recordstore.h"
#include "support.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace calvenza;
using namespace calvenza::testing;

namespace {

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void put(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

const QString farewell = QStringLiteral("Ciao. Ti aspetto per la prossima sfida ");
const QString recordSaved = QStringLiteral("Ok ho registrato il tuo record, C A M P I O N E\"");

} // namespace

class TavolaTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Harness> h;

    QString file(const char *name) const { return m_dir->filePath(QLatin1String(name)); }
    QString caption(const char *name) const { return h->control<QLabel>(name)->text(); }
    void start(const QString &name = QStringLiteral("Ugo"), int table = defaultTable)
    {
        h = std::make_unique<Harness>(m_dir->path(), table);
        h->startUp(name);
        h->tavola->show();
        QTRY_VERIFY(h->narrator->log.contains(QStringLiteral("Speak per")));
    }
    // The pupil types and presses Enter, then Enter again on the next-exercise button.
    void answer(const QString &typed, int nextFactor = 7)
    {
        QTest::keyClicks(h->control("answerBox"), typed);
        QTest::keyClick(h->control("answerBox"), Qt::Key_Return);
        h->random->values = {drawing(3), drawing(nextFactor)};
        QTest::keyClick(h->tavola->focusWidget(), Qt::Key_Return);
    }
    void score(int rights)
    {
        for (int i = 0; i < rights; ++i)
            answer(QString::number(h->tavola->exercise().product));
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        h.reset();
    }

    void startUpAsksGreetsIntroducesAndShowsTheRecord_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("shownName");
        QTest::newRow("name") << QStringLiteral("Luca") << QStringLiteral("Luca");
        QTest::newRow("empty or cancelled") << QString() << QStringLiteral("Amico");
        QTest::newRow("markup stays text")
            << QStringLiteral("<b>Ugo</b>") << QStringLiteral("<b>Ugo</b>");
    }
    void startUpAsksGreetsIntroducesAndShowsTheRecord()
    {
        QFETCH(QString, answer);
        QFETCH(QString, shownName);
        put(file("atabkesr8.txt"), "<i>9</i>\r\n");
        Harness h(m_dir->path());
        h.startUp(answer);
        QCOMPARE(h.dialogs->log,
            (QStringList {QStringLiteral("Come ti chiami?"),
                QStringLiteral(" ") + answer
                    + QStringLiteral(" vediamo se sei un vero campione  ")}));
        QVERIFY(!h.dialogs->parents.contains(nullptr)); // every box opens over the window
        QCOMPARE(h.control<QLabel>("pupilNameLabel")->text(), shownName);
        QCOMPARE(h.control<QLabel>("recordPointsLabel")->text(), QStringLiteral("<i>9</i>\r\n"));
        for (const QLabel *label : h.tavola->findChildren<CaptionLabel *>())
            QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(bytesOf(file("ntabkesr8.txt")), QByteArray()); // a missing file is created empty
        QCOMPARE(h.narrator->log, QStringList {QStringLiteral("Summon")});
        h.tavola->show(); // he comes in once the window is up
        QTRY_VERIFY(h.narrator->log.size() > 6);
        QCOMPARE(h.narrator->log.first(6),
            (QStringList {QStringLiteral("Summon"), QStringLiteral("Show"),
                QStringLiteral("MoveTo 250,175"), QStringLiteral("Play Announce"),
                QStringLiteral("Height 205"), QStringLiteral("Speak ") + introduction(8)}));
        QCOMPARE(h.tavola->clock().secondsLeft, 420);
    }

    // Showing again, or activation coming and going, never dictates the first exercise again.
    void firstExerciseComesOnceWhenTheWindowFirstShows()
    {
        start();
        const qsizetype requests = h->narrator->log.size();
        QCOMPARE(caption("clockLabel"), QStringLiteral("00.07.00"));
        h->tavola->hide();
        h->tavola->show();
        QWidget other;
        other.show();
        other.activateWindow();
        h->tavola->activateWindow();
        QTest::qWait(50);
        QCOMPARE(h->narrator->log.size(), requests);
    }

    void exerciseIsDictatedAndJudged_data()
    {
        QTest::addColumn<int>("table");
        QTest::addColumn<int>("factor");
        QTest::addColumn<QString>("words");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("verdict");
        const QString right = QStringLiteral("Esatto. Sei forte!!!");
        QTest::newRow("8x7") << 8 << 7 << "sette"
                             << "56" << right;
        QTest::newRow("8x10") << 8 << 10 << "dieci"
                              << "80" << right;
        QTest::newRow("leading blank") << 8 << 7 << "sette"
                                       << " 56"
                                       << "Sbagliato!! 56";
        QTest::newRow("leading zero") << 8 << 7 << "sette"
                                      << "056"
                                      << "Sbagliato!! 56";
        QTest::newRow("not a number") << 8 << 1 << "uno"
                                      << "otto"
                                      << "Sbagliato!! 8";
        QTest::newRow("7x3") << 7 << 3 << "tre"
                             << "21" << right;
        QTest::newRow("10x10") << 10 << 10 << "dieci"
                               << "99"
                               << "Sbagliato!! 100";
        QTest::newRow("1x8") << 1 << 8 << "otto"
                             << "8" << right;
    }
    void exerciseIsDictatedAndJudged()
    {
        QFETCH(int, table);
        QFETCH(int, factor);
        QFETCH(QString, words);
        QFETCH(QString, typed);
        QFETCH(QString, verdict);
        start(QStringLiteral("Ugo"), table);
        h->random->values = {drawing(4), drawing(factor)};
        h->narrator->log.clear();
        h->tavola->newExercise();
        const QString n = QString::number(table);
        QCOMPARE(h->narrator->log.mid(4),
            (QStringList {QStringLiteral("Speak ") + n, QStringLiteral("Speak per"),
                QStringLiteral("Speak ") + words}));
        QCOMPARE(h->tavola->exercise().greenShade, 4);
        QTest::keyClicks(h->control("answerBox"), typed);
        QVERIFY(h->control("secondFactorLabel")->isVisible()); // the factors show while typing
        QCOMPARE(caption("firstFactorLabel"), n);
        QTest::keyClick(h->control("answerBox"), Qt::Key_Return);
        QVERIFY(!h->control("secondFactorLabel")->isVisible());
        QCOMPARE(caption("verdictLabel"), verdict);
        const bool isRight = verdict.startsWith(u'E');
        QCOMPARE(caption("rightCountLabel"), QString::number(int(isRight)));
        QCOMPARE(caption("wrongCountLabel"), QString::number(int(!isRight)));
        QCOMPARE(caption("totalCountLabel"), QStringLiteral("1"));
        QCOMPARE(h->narrator->log.last(), QStringLiteral("Speak %1").arg(table * factor));
        QCOMPARE(h->tavola->focusWidget(), h->control("nextButton"));
    }

    // The ladder counts from the score before each answer; wrong answers leave it alone.
    void praiseFollowsTheScoreThroughAMixedRun()
    {
        start();
        score(2);
        answer(QStringLiteral("1"));
        h->narrator->log.clear();
        score(1); // score 2 before this answer
        QVERIFY(h->narrator->log.contains(QStringLiteral("Speak Sei grande")));
        QCOMPARE(caption("totalCountLabel"), QStringLiteral("4"));
        QCOMPARE(caption("wrongCountLabel"), QStringLiteral("1"));
    }

    void clockRunsDownAndTheTickAfterZeroSaysGoodbyeOnce()
    {
        start();
        const QStringList expected {QStringLiteral("00:06:59"), QStringLiteral("00:06:00"),
            QStringLiteral("00:05:59"), QStringLiteral("00:00:00")};
        QStringList shown;
        for (int tick = 1; tick <= 420; ++tick) {
            h->tavola->onClockTick();
            if (tick == 1 || tick == 60 || tick == 61 || tick == 420)
                shown << caption("clockLabel");
        }
        QCOMPARE(shown, expected);
        QVERIFY(!h->tavola->hasEnded());
        QSignalSpy ended(h->tavola.get(), &Tavola::programEnded);
        h->dialogs->log.clear();
        h->dialogs->onMessage = [this](const QString &) { h->tavola->onClockTick(); };
        h->tavola->onClockTick();
        h->tavola->onClockTick();
        QCOMPARE(h->dialogs->log, QStringList {farewell});
        QCOMPARE(ended.count(), 1);
    }

    void startUpWarningsTakeNothingFromTheSevenMinutes()
    {
        put(file("blocked"), "a file, not a folder");
        Harness h(file("blocked"));
        h.narrator->refuse = true;
        // Seconds pass while the pupil reads each warning (the clock runs from before them).
        h.dialogs->onMessage = [&h](const QString &text) {
            for (int i = 0; i < 5 && !text.contains(u"campione"); ++i)
                h.tavola->onClockTick();
        };
        h.startUp(QStringLiteral("Eva"));
        QVERIFY2(h.dialogs->log.size() == 4, qPrintable(h.dialogs->log.join(u"|")));
        QVERIFY(
            h.dialogs->log.at(2).startsWith(QStringLiteral("Non riesco a conservare il record")));
        QVERIFY(h.dialogs->log.at(3).startsWith(QStringLiteral("Il mago oggi non può venire")));
        QCOMPARE(h.tavola->clock().secondsLeft, 420);
        h.dialogs->onMessage = nullptr;
        h.tavola->show();
        // The drill goes on, silent.
        QTRY_COMPARE(h.control<QLabel>("clockLabel")->text(), QStringLiteral("00.07.00"));
        h.tavola->onClockTick();
        QCOMPARE(h.control<QLabel>("clockLabel")->text(), QStringLiteral("00:06:59"));
    }

    void farewellStoresOnlyABeatenRecord_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("rights");
        QTest::addColumn<bool>("beaten");
        QTest::newRow("no record yet") << QByteArray() << 1 << true;
        QTest::newRow("no answers") << QByteArray() << 0 << false;
        QTest::newRow("equal") << QByteArray("3\r\n") << 3 << false;
        QTest::newRow("one more") << QByteArray("3\r\n") << 4 << true;
        QTest::newRow("not a number") << QByteArray("tre\r\n") << 1 << true;
        QTest::newRow("spaced digits") << QByteArray("1 2\r\n") << 5 << false;
    }
    void farewellStoresOnlyABeatenRecord()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, rights);
        QFETCH(bool, beaten);
        put(file("atabkesr8.txt"), stored);
        start(QStringLiteral("Niccolò"));
        score(rights);
        h->dialogs->log.clear();
        h->tavola->sayGoodbye();
        const QStringList boxes
            = beaten ? QStringList {farewell, recordSaved} : QStringList {farewell};
        QCOMPARE(h->dialogs->log, boxes);
        QCOMPARE(
            bytesOf(file("atabkesr8.txt")), beaten ? QByteArray::number(rights) + "\r\n" : stored);
        QVERIFY(h->tavola->hasEnded() && h->narrator->stopped);
    }

    // Another program raised the record after this one started: a lower score keeps it.
    void recordRaisedMeanwhileIsNotOverwritten()
    {
        start();
        score(2);
        QVERIFY(RecordStore(m_dir->path(), 8).write(QStringLiteral("5"), QStringLiteral("Ada")));
        h->dialogs->log.clear();
        h->tavola->sayGoodbye();
        QCOMPARE(h->dialogs->log, QStringList {farewell});
        QCOMPARE(bytesOf(file("ntabkesr8.txt")), QByteArray("Ada\r\n"));
    }

    void failedSaveIsToldAndKeepsTheOldRecord()
    {
        put(file("atabkesr8.txt"), "4\r\n");
        start();
        score(5);
        QVERIFY(QFile::remove(file("ntabkesr8.txt")) && QDir().mkdir(file("ntabkesr8.txt")));
        h->tavola->sayGoodbye();
        QVERIFY(h->dialogs->log.last().startsWith(
            QStringLiteral("Mi dispiace, non sono riuscito a salvare il tuo record")));
        QCOMPARE(bytesOf(file("atabkesr8.txt")), QByteArray("4\r\n"));
    }

    void eachTableKeepsItsOwnRecord()
    {
        put(file("atabkesr8.txt"), "9\r\n");
        start(QStringLiteral("Eva"), 7);
        QCOMPARE(caption("recordPointsLabel"), QString());
        QVERIFY(
            h->tavola->windowTitle().endsWith(QStringLiteral("CALVENZA - tabellina del sette")));
        score(1);
        h->tavola->sayGoodbye();
        QCOMPARE(bytesOf(file("atabkesr7.txt")), QByteArray("1\r\n"));
        QCOMPARE(bytesOf(file("ntabkesr7.txt")), QByteArray("Eva\r\n"));
        QCOMPARE(bytesOf(file("atabkesr8.txt")), QByteArray("9\r\n"));
        QCOMPARE(bytesOf(file("ntabkesr8.txt")), QByteArray("<missing>"));
    }

    void closingTheWindowEndsWithoutFarewell()
    {
        start();
        score(3);
        h->dialogs->log.clear();
        QSignalSpy ended(h->tavola.get(), &Tavola::programEnded);
        h->tavola->close();
        QCOMPARE(ended.count(), 1);
        QCOMPARE(h->dialogs->log, QStringList());
        QCOMPARE(bytesOf(file("atabkesr8.txt")), QByteArray());
    }

    // Fusion draws button text in the window's light drawing colour unless told otherwise.
    void buttonCaptionsAreDarkOnTheirFaces()
    {
        start();
        answer(QStringLiteral("1"));
        for (const char *name : {"nextButton", "exitButton"}) {
            const QImage image = h->control(name)->grab().toImage();
            int dark = 0;
            for (int y = 40; y < image.height() - 4; ++y)
                for (int x = 10; x < image.width() - 10; ++x)
                    dark += qGray(image.pixel(x, y)) < 60;
            QVERIFY2(dark > 20, name);
        }
    }
};

QTEST_MAIN(TavolaTest)
#include "tst_tavola.moc"
