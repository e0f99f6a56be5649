#include "challenge/recordstore.h"
#include "support.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

using namespace calvenza;
using namespace calvenza::testing;

namespace {

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

const QString greetingTail = QStringLiteral(" vediamo se sei un vero campione  ");
const QString farewell = QStringLiteral("Ciao. Ti aspetto per la prossima sfida ");
const QString recordSaved = QStringLiteral("Ok ho registrato il tuo record, C A M P I O N E\"");

} // namespace

class ChallengeTest : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_dir;

    QString points() const { return m_dir->filePath(QStringLiteral("atabkesr8.txt")); }
    QString names() const { return m_dir->filePath(QStringLiteral("ntabkesr8.txt")); }
    std::unique_ptr<Harness> start(const QString &name, const QString &dir = {})
    {
        auto h = std::make_unique<Harness>(dir.isEmpty() ? m_dir->path() : dir);
        h->startUp(name);
        return h;
    }
    // Plays right answers to reach a score, without going through the dialogs again.
    static void score(Harness &h, int rights)
    {
        for (int i = 0; i < rights; ++i) {
            h.random->values = {drawing(1), drawing(9)};
            h.tavola->cmdNext_Click();
            h.control<QLineEdit>("Text3")->setText(QStringLiteral("72"));
            h.tavola->Command3_Click();
        }
    }

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void cleanup() { m_dir.reset(); }

    void startUpAsksGreetsAndIntroduces_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("shownName");
        QTest::newRow("name") << QStringLiteral("Luca") << QStringLiteral("Luca");
        QTest::newRow("empty or cancelled") << QString() << QStringLiteral("Amico");
        QTest::newRow("spaces only") << QStringLiteral("   ") << QStringLiteral("   ");
        QTest::newRow("accented") << QStringLiteral("Niccolò") << QStringLiteral("Niccolò");
    }
    void startUpAsksGreetsAndIntroduces()
    {
        QFETCH(QString, answer);
        QFETCH(QString, shownName);
        auto h = start(answer);
        QCOMPARE(h->dialogs->log,
            (QStringList {QStringLiteral("input|Come ti chiami?|Calvenza"),
                QStringLiteral("message| ") + answer + greetingTail
                    + QStringLiteral("|Calvenza")}));
        QCOMPARE(h->control<QLabel>("lblnome1")->text(), shownName);
        QCOMPARE(h->control<QLineEdit>("Txtnome1")->text(), shownName);
        QCOMPARE(h->agent->log(),
            (QStringList {QStringLiteral("Load Merlin"), QStringLiteral("Show"),
                QStringLiteral("MoveTo 250,175"), QStringLiteral("Play Announce"),
                QStringLiteral("Height 205"), QStringLiteral("Speak ") + introduction}));
        QCOMPARE(h->tavola->clock().secrestanti, 420);
        QCOMPARE(h->tavola->clock().minuti, 7);
        // First run: both record files now exist, empty, and the record shows empty.
        QCOMPARE(bytesOf(points()), QByteArray());
        QCOMPARE(bytesOf(names()), QByteArray());
        QCOMPARE(h->control<QLabel>("lblpunti")->text(), QString());
        QCOMPARE(h->control<QLabel>("lblnome")->text(), QString());
        QVERIFY(h->tavola->dirwindows().endsWith(u'/'));
    }

    void activationStartsTheFirstExerciseOnce()
    {
        auto h = start(QStringLiteral("Eva"));
        h->random->values = {drawing(2), drawing(5)};
        h->agent->clear();
        h->tavola->show();
        QVERIFY(QTest::qWaitForWindowExposed(h->tavola.get()));
        QTRY_COMPARE(h->control<QLineEdit>("Text7")->text(), QStringLiteral("40"));
        QCOMPARE(h->agent->log().last(), QStringLiteral("Speak cinque"));
        QCOMPARE(h->control<QLabel>("lblconto")->text(), QStringLiteral("00.07.00"));
        QCOMPARE(h->tavola->counters().numesatte, 0);
        // Showing the window again, or another window taking and giving back the activation,
        // does not run the first exercise again.
        const int requests = h->agent->log().size();
        h->tavola->hide();
        h->tavola->show();
        QWidget other;
        other.show();
        other.activateWindow();
        QTest::qWait(50);
        h->tavola->activateWindow();
        QTest::qWait(50);
        QCOMPARE(h->agent->log().size(), requests);
    }

    void clockCountsDownByTick_data()
    {
        QTest::addColumn<int>("ticks");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("remaining");
        QTest::newRow("0") << 0 << QStringLiteral("00.07.00") << 420;
        QTest::newRow("1") << 1 << QStringLiteral("00:06:59") << 419;
        QTest::newRow("60") << 60 << QStringLiteral("00:06:00") << 360;
        QTest::newRow("61") << 61 << QStringLiteral("00:05:59") << 359;
        QTest::newRow("420") << 420 << QStringLiteral("00:00:00") << 0;
    }
    void clockCountsDownByTick()
    {
        QFETCH(int, ticks);
        QFETCH(QString, shown);
        QFETCH(int, remaining);
        auto h = start(QStringLiteral("Eva"));
        h->tavola->Form_Activate();
        QSignalSpy ended(h->tavola.get(), &Tavola::programEnded);
        for (int i = 0; i < ticks; ++i)
            h->tavola->Timer1_Timer();
        QCOMPARE(h->control<QLabel>("lblconto")->text(), shown);
        QCOMPARE(h->tavola->clock().secrestanti, remaining);
        QCOMPARE(ended.count(), 0);
        QVERIFY(!h->dialogs->messages.contains(farewell));
    }

    void tickAfterZeroSaysGoodbyeOnce()
    {
        auto h = start(QStringLiteral("Eva"));
        h->tavola->Form_Activate();
        score(*h, 2);
        QSignalSpy ended(h->tavola.get(), &Tavola::programEnded);
        int farewells = 0;
        // Ticks and clicks arriving while the farewell box is open are held back.
        h->dialogs->onMessage = [&](const QString &text) {
            if (text == farewell) {
                ++farewells;
                h->tavola->Timer1_Timer();
                h->tavola->cmdExit1_Click();
            }
        };
        for (int i = 0; i < 421; ++i)
            h->tavola->Timer1_Timer();
        QCOMPARE(farewells, 1);
        QCOMPARE(ended.count(), 1);
        QVERIFY(h->tavola->hasEnded());
        QCOMPARE(bytesOf(points()), QByteArray("2\r\n"));
        QCOMPARE(bytesOf(names()), QByteArray("Eva\r\n"));
        // Nothing runs after the end.
        h->tavola->Timer1_Timer();
        h->tavola->cmdNext_Click();
        QCOMPARE(h->control<QLabel>("lblconto")->text(), QStringLiteral("00:00:00"));
        QCOMPARE(h->agent->stopped(), true);
    }

    void farewellStoresOnlyABeatenRecord_data()
    {
        QTest::addColumn<QByteArray>("storedPoints");
        QTest::addColumn<QByteArray>("storedName");
        QTest::addColumn<QString>("pupil");
        QTest::addColumn<int>("rights");
        QTest::addColumn<bool>("beaten");
        QTest::newRow("no record, score 0")
            << QByteArray() << QByteArray() << QStringLiteral("Eva") << 0 << false;
        QTest::newRow("no record, score 1")
            << QByteArray() << QByteArray() << QStringLiteral("Eva") << 1 << true;
        QTest::newRow("nameless pupil") << QByteArray() << QByteArray() << QString() << 1 << true;
        QTest::newRow("equal") << QByteArray("12\r\n") << QByteArray("Ada\r\n")
                               << QStringLiteral("Eva") << 12 << false;
        QTest::newRow("one more") << QByteArray("12\r\n") << QByteArray("Ada\r\n")
                                  << QStringLiteral("Eva") << 13 << true;
        QTest::newRow("spaced digits")
            << QByteArray("1 2") << QByteArray("Ada") << QStringLiteral("Eva") << 12 << false;
        QTest::newRow("text counts 0")
            << QByteArray("tanti") << QByteArray("Ada") << QStringLiteral("Eva") << 1 << true;
        QTest::newRow("binary garbage")
            << QByteArray("\xff\xfe\x00\x01\x80", 5) << QByteArray("\x00", 1)
            << QStringLiteral("Eva") << 1 << true;
    }
    void farewellStoresOnlyABeatenRecord()
    {
        QFETCH(QByteArray, storedPoints);
        QFETCH(QByteArray, storedName);
        QFETCH(QString, pupil);
        QFETCH(int, rights);
        QFETCH(bool, beaten);
        writeBytes(points(), storedPoints);
        writeBytes(names(), storedName);
        auto h = start(pupil);
        h->tavola->Form_Activate();
        score(*h, rights);
        QSignalSpy ended(h->tavola.get(), &Tavola::programEnded);
        h->dialogs->messages.clear();
        h->tavola->cmdExit1_Click();
        QCOMPARE(ended.count(), 1);
        const QString name = pupil.isEmpty() ? QStringLiteral("Amico") : pupil;
        if (beaten) {
            QCOMPARE(h->dialogs->messages, (QStringList {farewell, recordSaved}));
            QCOMPARE(bytesOf(points()), QByteArray::number(rights) + "\r\n");
            QCOMPARE(bytesOf(names()), name.toUtf8() + "\r\n");
        } else {
            QCOMPARE(h->dialogs->messages, QStringList {farewell});
            QCOMPARE(bytesOf(points()), storedPoints);
            QCOMPARE(bytesOf(names()), storedName);
        }
    }

    // The record set by one pupil is what the next start shows, accents and line end included.
    void recordIsShownOnTheNextStart()
    {
        {
            auto h = start(QStringLiteral("Niccolò"));
            h->tavola->Form_Activate();
            score(*h, 3);
            h->tavola->cmdExit1_Click();
        }
        auto next = start(QStringLiteral("Eva"));
        QCOMPARE(next->control<QLabel>("lblpunti")->text(), QStringLiteral("3\r\n"));
        QCOMPARE(next->control<QLabel>("lblnome")->text(), QStringLiteral("Niccolò\r\n"));
    }

    // A data directory that cannot hold files (here: it is a plain file) never stops the drill.
    void unusableDataDirectoryLeavesTheDrillWorking()
    {
        const QString blocked = m_dir->filePath(QStringLiteral("blocked"));
        writeBytes(blocked, "not a directory");
        auto h = start(QStringLiteral("Eva"), blocked);
        QCOMPARE(h->dialogs->messages.size(), 2);
        QVERIFY(h->dialogs->messages.at(1).startsWith(QStringLiteral("Non riesco a conservare")));
        QCOMPARE(h->control<QLabel>("lblpunti")->text(), QString());
        h->tavola->Form_Activate();
        score(*h, 1);
        QCOMPARE(h->control<QLabel>("lblScore")->text(), QStringLiteral("1"));
        h->tavola->cmdExit1_Click();
        QCOMPARE(h->dialogs->messages.size(), 4);
        QVERIFY(h->dialogs->messages.at(3).startsWith(QStringLiteral("Mi dispiace")));
        QVERIFY(h->tavola->hasEnded());
    }

    // The name file cannot be replaced: the farewell says so and both old files stay whole.
    void failedSaveKeepsTheOldRecordWhole()
    {
        writeBytes(points(), "4\r\n");
        writeBytes(names(), "Ada\r\n");
        auto h = start(QStringLiteral("Eva"));
        h->tavola->Form_Activate();
        score(*h, 5);
        QVERIFY(QFile::remove(names()));
        QVERIFY(QDir().mkdir(names()));
        h->tavola->cmdExit1_Click();
        QCOMPARE(h->dialogs->messages.last().section(u'\n', 0, 0),
            QStringLiteral("Mi dispiace, non sono riuscito a salvare il tuo record: il "
                           "record di prima resta com'era."));
        QCOMPARE(bytesOf(points()), QByteArray("4\r\n"));
    }

    void missingNarratorIsToldAndTheDrillGoesOn()
    {
        Harness h(m_dir->path());
        h.agent->refusedIds << QStringLiteral("Merlin");
        h.startUp(QStringLiteral("Eva"));
        QVERIFY(
            h.dialogs->messages.last().startsWith(QStringLiteral("Il mago oggi non può venire")));
        h.tavola->Form_Activate();
        QCOMPARE(h.control<QLineEdit>("Text7")->text().isEmpty(), false);
        QVERIFY(h.agent->log() == QStringList {});
    }

    void closingTheWindowEndsWithoutFarewell()
    {
        auto h = start(QStringLiteral("Eva"));
        h->tavola->show();
        QVERIFY(QTest::qWaitForWindowExposed(h->tavola.get()));
        score(*h, 3);
        h->dialogs->messages.clear();
        QSignalSpy ended(h->tavola.get(), &Tavola::programEnded);
        h->tavola->close();
        QCOMPARE(ended.count(), 1);
        QCOMPARE(h->dialogs->messages, QStringList());
        QCOMPARE(bytesOf(points()), QByteArray());
        QVERIFY(h->agent->stopped());
    }
};

QTEST_MAIN(ChallengeTest)
#include "tst_challenge.moc"
