#include "drill/verdict.h"
#include "support.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace calvenza;
using namespace calvenza::testing;

namespace {

// The reaction to a right answer at score P, in the words of the praise table: "E" Esatto,
// "G" Giusto, "N" name, "P" product, then the animation and praise when a level fires.
QStringList expectedRight(
    const QString &shape, const QString &animation = {}, const QString &praise = {})
{
    QStringList s {
        QStringLiteral("Show"), QStringLiteral("MoveTo 250,175"), QStringLiteral("Height 205")};
    for (QChar c : shape) {
        if (c == u'E')
            s << QStringLiteral("Speak Esatto");
        else if (c == u'G')
            s << QStringLiteral("Speak Giusto");
        else if (c == u'N')
            s << QStringLiteral("Speak Ugo");
        else if (c == u'P')
            s << QStringLiteral("Speak 56");
    }
    if (!animation.isEmpty())
        s << QStringLiteral("Play ") + animation << QStringLiteral("Speak ") + praise;
    return s;
}

QStringList asLog(const NarratorScript &script)
{
    QStringList l;
    for (const NarratorRequest &r : script)
        l << r.toString();
    return l;
}

} // namespace

class DrillTest : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Harness> h;

    QLineEdit *answerBox() const { return h->control<QLineEdit>("Text3"); }
    QString caption(const char *name) const { return h->control<QLabel>(name)->text(); }
    void newExercise(int factor)
    {
        h->random->values = {drawing(5), drawing(factor)};
        h->tavola->cmdNext_Click();
    }
    // QtTest types ASCII only; other characters are entered as an input method would.
    void type(const QString &text)
    {
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (c.unicode() < 128) {
                QTest::keyClick(answerBox(), c.toLatin1());
                continue;
            }
            const qsizetype n = c.isHighSurrogate() ? 2 : 1;
            QTest::sendKeyEvent(
                QTest::Click, answerBox(), Qt::Key_unknown, text.mid(i, n), Qt::NoModifier);
            i += n - 1;
        }
    }
    void answer(const QString &typed)
    {
        type(typed);
        QTest::keyClick(answerBox(), Qt::Key_Return);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        h = std::make_unique<Harness>(m_dir->path());
        h->startUp(QStringLiteral("Ugo"), true);
        QVERIFY(QTest::qWaitForWindowActive(h->tavola.get()));
        QTRY_COMPARE(QApplication::focusWidget(), answerBox());
    }
    void cleanup()
    {
        h.reset();
        m_dir.reset();
    }

    void praiseLadderByScore_data()
    {
        QTest::addColumn<int>("score");
        QTest::addColumn<QStringList>("expected");
        const QString cong = QStringLiteral("congratulate");
        for (int p : {0, 1, 4, 6, 8, 9})
            QTest::addRow("P=%d", p) << p << expectedRight(QStringLiteral("EP"));
        QTest::newRow("P=2") << 2
                             << expectedRight(
                                    QStringLiteral("EP"), cong, QStringLiteral("Sei grande"));
        for (int p : {3, 7})
            QTest::addRow("P=%d", p) << p << expectedRight(QStringLiteral("ENP"));
        QTest::newRow("P=5") << 5
                             << expectedRight(QStringLiteral("EP"), QStringLiteral("domagic1"),
                                    QStringLiteral("Sei forte"));
        QTest::newRow("P=10") << 10
                              << expectedRight(QStringLiteral("P"), cong,
                                     QStringLiteral("Sei sulla buona strada per "
                                                    "diventare cavaliere"));
        for (int p : {11, 15, 16, 17, 19, 20, 22, 24, 25, 28, 29, 30})
            QTest::addRow("P=%d", p) << p << expectedRight(QStringLiteral("GP"));
        for (int p : {12, 21, 26})
            QTest::addRow("P=%d", p) << p << expectedRight(QStringLiteral("GNP"));
        QTest::newRow("P=13") << 13
                              << expectedRight(QStringLiteral("GP"), QStringLiteral("domagic2"),
                                     QStringLiteral("Sei in gamba"));
        QTest::newRow("P=14") << 14
                              << expectedRight(
                                     QStringLiteral("GP"), cong, QStringLiteral("Sei eccezionale"));
        QTest::newRow("P=18") << 18
                              << expectedRight(QStringLiteral("GP"), cong,
                                     QStringLiteral("Sei insuperabile"));
        QTest::newRow("P=23") << 23
                              << expectedRight(QStringLiteral("GP"), cong,
                                     QStringLiteral(
                                         "Ti nomino cavaliere della tabellina, il massimo "
                                         "ordine per un eroe"));
        QTest::newRow("P=27") << 27
                              << expectedRight(QStringLiteral("GP"), cong,
                                     QStringLiteral(
                                         "Hai lavorato bene mio leale campione: sei invincibile"));
    }
    void praiseLadderByScore()
    {
        QFETCH(int, score);
        QFETCH(QStringList, expected);
        QCOMPARE(
            asLog(reactionToRight(score, QStringLiteral("Ugo"), QStringLiteral("56"))), expected);
    }

    void wrongAnswerReactionIgnoresTheScore()
    {
        const QStringList expected {QStringLiteral("Show"), QStringLiteral("MoveTo 250,175"),
            QStringLiteral("Play Greet"), QStringLiteral("Height 205"),
            QStringLiteral("Speak Sbagliato"), QStringLiteral("Speak 48")};
        QCOMPARE(asLog(reactionToWrong(QStringLiteral("48"))), expected);
    }

    void verdictComparesTextExactly_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("right");
        QTest::newRow("48") << QStringLiteral("48") << true;
        QTest::newRow("048") << QStringLiteral("048") << false;
        QTest::newRow("leading blank") << QStringLiteral(" 48") << false;
        QTest::newRow("trailing blank") << QStringLiteral("48 ") << false;
        QTest::newRow("in words") << QStringLiteral("quarantotto") << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("other product") << QStringLiteral("56") << false;
        QTest::newRow("emoji") << QStringLiteral("😀48") << false;
    }
    void verdictComparesTextExactly()
    {
        QFETCH(QString, typed);
        QFETCH(bool, right);
        newExercise(6);
        h->agent->clear();
        answer(typed);
        auto *message = h->control<QLabel>("lblMessage");
        QCOMPARE(answerBox()->text(), typed); // the answer stays as typed
        if (right) {
            QCOMPARE(message->text(), QStringLiteral("Esatto. Sei forte!!!"));
            QCOMPARE(message->palette().color(QPalette::WindowText), QColor(0, 0, 255));
            QCOMPARE(caption("lblScore"), QStringLiteral("1"));
            QCOMPARE(caption("lblScore1"), QStringLiteral("0"));
            QCOMPARE(h->agent->log().value(3), QStringLiteral("Speak Esatto"));
        } else {
            QCOMPARE(message->text(), QStringLiteral("Sbagliato!! 48"));
            QCOMPARE(message->palette().color(QPalette::WindowText), QColor(255, 0, 0));
            QCOMPARE(caption("lblScore"), QStringLiteral("0"));
            QCOMPARE(caption("lblScore1"), QStringLiteral("1"));
            QCOMPARE(h->agent->log().mid(4),
                (QStringList {QStringLiteral("Speak Sbagliato"), QStringLiteral("Speak 48")}));
        }
        QCOMPARE(caption("lblScore2"), QStringLiteral("1"));
        QVERIFY(h->control("cmdNext")->isEnabled());
        QCOMPARE(QApplication::focusWidget(), h->control("cmdNext"));
    }

    void factorsShowWhileTypingAndHideOnEnter()
    {
        newExercise(3);
        for (const char *l : {"lblNum1", "Label10", "lblNum2"})
            QVERIFY(!h->control(l)->isVisible());
        QTest::keyClick(answerBox(), Qt::Key_Backspace); // any key, even one that types nothing
        for (const char *l : {"lblNum1", "Label10", "lblNum2"})
            QVERIFY2(h->control(l)->isVisible(), l);
        QCOMPARE(caption("lblNum1"), QStringLiteral("8"));
        QCOMPARE(caption("lblNum2"), QStringLiteral("3"));
        QTest::keyClick(answerBox(), Qt::Key_Return);
        for (const char *l : {"lblNum1", "Label10", "lblNum2"})
            QVERIFY(!h->control(l)->isVisible());
    }

    // Enter answers, a second Enter (or the keypad's) asks the next exercise.
    void enterRoundTripBringsTheNextExercise_data()
    {
        QTest::addColumn<int>("nextKey");
        QTest::newRow("Return") << int(Qt::Key_Return);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
    }
    void enterRoundTripBringsTheNextExercise()
    {
        QFETCH(int, nextKey);
        newExercise(4);
        answer(QStringLiteral("32"));
        QCOMPARE(QApplication::focusWidget(), h->control("cmdNext"));
        h->random->values = {drawing(2), drawing(9)};
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(nextKey));
        QCOMPARE(h->control<QLineEdit>("Text7")->text(), QStringLiteral("72"));
        QCOMPARE(answerBox()->text(), QString());
        QCOMPARE(QApplication::focusWidget(), answerBox());
        QCOMPARE(caption("lblMessage"), QString());
    }

    // Going back to the answer box and pressing Enter again counts the same exercise again.
    void answeringTwiceCountsTwice()
    {
        newExercise(7);
        answer(QStringLiteral("56"));
        answerBox()->setFocus();
        QTest::keyClick(answerBox(), Qt::Key_Return);
        QCOMPARE(caption("lblScore"), QStringLiteral("2"));
        QCOMPARE(caption("lblScore2"), QStringLiteral("2"));
    }

    // Drives a mixed run through the window: the ladder counts right answers only, and the
    // total always equals right plus wrong.
    void mixedRunKeepsTheCountersAndTheLadder()
    {
        int rights = 0, wrongs = 0;
        QStringList praises;
        for (int i = 0; i < 40; ++i) {
            newExercise(7);
            h->agent->clear();
            const bool right = (i % 3 != 1);
            answer(right ? QStringLiteral("56") : QStringLiteral("55"));
            right ? ++rights : ++wrongs;
            if (right) {
                const QStringList log = h->agent->log();
                // P is the score before this answer.
                QCOMPARE(log,
                    asLog(
                        reactionToRight(rights - 1, QStringLiteral("Ugo"), QStringLiteral("56"))));
                for (const QString &line : log) {
                    if (line.startsWith(QStringLiteral("Play ")))
                        praises << QStringLiteral("%1:%2").arg(rights).arg(line.mid(5));
                }
            }
            QCOMPARE(caption("lblScore").toInt(), rights);
            QCOMPARE(caption("lblScore1").toInt(), wrongs);
            QCOMPARE(caption("lblScore2").toInt(),
                caption("lblScore").toInt() + caption("lblScore1").toInt());
        }
        QCOMPARE(praises,
            (QStringList {QStringLiteral("3:congratulate"), QStringLiteral("6:domagic1"),
                QStringLiteral("11:congratulate"), QStringLiteral("14:domagic2"),
                QStringLiteral("15:congratulate"), QStringLiteral("19:congratulate"),
                QStringLiteral("24:congratulate")}));
    }

    void countersStopAtTheirLimit()
    {
        Counters c;
        c.numesatte = Counters::limit - 1;
        c.numerrate = Counters::limit;
        c.addRight();
        c.addRight();
        c.addWrong();
        QCOMPARE(c.numesatte, Counters::limit);
        QCOMPARE(c.numerrate, Counters::limit);
        QCOMPARE(c.total(), Counters::limit);
    }

    void everyCharacterIsAcceptedUpToTheLimit()
    {
        newExercise(2);
        const QString absurd = QString(300, u'x') + QStringLiteral("ç€");
        type(absurd);
        QCOMPARE(answerBox()->text().size(), 250);
        QTest::keyClick(answerBox(), Qt::Key_Return);
        QCOMPARE(caption("lblMessage"), QStringLiteral("Sbagliato!! 16"));
    }
};

QTEST_MAIN(DrillTest)
#include "tst_drill.moc"
