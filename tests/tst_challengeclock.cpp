#include "challenge/challengeclock.h"

#include <QTest>

using namespace calvenza;

// The seven-minute run itself is checked through the window in tst_challenge; these are the
// cases it never reaches.
class ChallengeClockTest : public QObject
{
    Q_OBJECT
private slots:
    void fieldsMatchRemainingSecondsDownToZeroAndStayThere()
    {
        ChallengeClock clock;
        clock.ore = 1;
        clock.minuti = 30;
        clock.secrestanti = 5400;
        for (int expected = 5399; expected >= 0; --expected) {
            clock.countDown();
            QCOMPARE(clock.secrestanti, expected);
            QCOMPARE(3600 * clock.ore + 60 * clock.minuti + clock.secondi, clock.secrestanti);
            QVERIFY2(clock.minuti < 60 && clock.secondi < 60, qPrintable(clock.text()));
        }
        // The window may tick once more before it stops.
        clock.countDown();
        QCOMPARE(clock.secrestanti, 0);
        QCOMPARE(clock.text(), clockEndText);
    }

    void oneTickShowsPaddedFields_data()
    {
        QTest::addColumn<int>("ore");
        QTest::addColumn<int>("minuti");
        QTest::addColumn<float>("secondi");
        QTest::addColumn<QString>("text");
        QTest::newRow("hour borrow") << 2 << 0 << 0.0f << QStringLiteral("01:59:59");
        QTest::newRow("single digits") << 1 << 2 << 4.0f << QStringLiteral("01:02:03");
        QTest::newRow("three-digit hours") << 100 << 5 << 10.0f << QStringLiteral("100:05:09");
        QTest::newRow("negative seconds") << 0 << 0 << -5.0f << QStringLiteral("00:00:00");
    }
    void oneTickShowsPaddedFields()
    {
        QFETCH(int, ore);
        QFETCH(int, minuti);
        QFETCH(float, secondi);
        QFETCH(QString, text);
        ChallengeClock clock;
        clock.ore = qint16(ore);
        clock.minuti = qint16(minuti);
        clock.secondi = secondi;
        clock.countDown();
        QCOMPARE(clock.text(), text);
    }
};

QTEST_GUILESS_MAIN(ChallengeClockTest)
#include "tst_challengeclock.moc"
