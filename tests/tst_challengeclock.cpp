#include "challenge/challengeclock.h"

#include <QTest>

using namespace calvenza;

class ChallengeClockTest : public QObject
{
    Q_OBJECT
private slots:
    void showsTimeLeftAfterTicksFromArming_data()
    {
        QTest::addColumn<int>("ticks");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("left");
        QTest::newRow("armed") << 0 << QStringLiteral("00:07:00") << 420;
        QTest::newRow("first second") << 1 << QStringLiteral("00:06:59") << 419;
        QTest::newRow("one minute") << 60 << QStringLiteral("00:06:00") << 360;
        QTest::newRow("past a minute") << 61 << QStringLiteral("00:05:59") << 359;
        QTest::newRow("last second") << 419 << QStringLiteral("00:00:01") << 1;
        QTest::newRow("end") << 420 << QStringLiteral("00:00:00") << 0;
        // The window may tick once more before it stops; the clock must not go negative.
        QTest::newRow("after end") << 421 << QStringLiteral("00:00:00") << 0;
        QTest::newRow("long after end") << 1000 << QStringLiteral("00:00:00") << 0;
    }
    void showsTimeLeftAfterTicksFromArming()
    {
        QFETCH(int, ticks);
        QFETCH(QString, text);
        QFETCH(int, left);
        ChallengeClock clock;
        clock.arm();
        for (int i = 0; i < ticks; ++i)
            clock.countDown();
        QCOMPARE(clock.text(), text);
        QCOMPARE(clock.secrestanti, left);
    }

    void remainingSecondsMatchTheFieldsAfterEveryTick_data()
    {
        QTest::addColumn<int>("ore");
        QTest::addColumn<int>("minuti");
        QTest::addColumn<int>("total");
        QTest::newRow("seven minutes") << 0 << 7 << 420;
        QTest::newRow("an hour and a half") << 1 << 30 << 5400;
    }
    void remainingSecondsMatchTheFieldsAfterEveryTick()
    {
        QFETCH(int, ore);
        QFETCH(int, minuti);
        QFETCH(int, total);
        ChallengeClock clock;
        clock.ore = qint16(ore);
        clock.minuti = qint16(minuti);
        clock.secrestanti = qint16(total);
        for (int expected = total - 1; expected >= 0; --expected) {
            clock.countDown();
            QCOMPARE(clock.secrestanti, expected);
            QCOMPARE(3600 * clock.ore + 60 * clock.minuti + clock.secondi, clock.secrestanti);
            QVERIFY2(clock.minuti < 60 && clock.secondi < 60, qPrintable(clock.text()));
        }
        QCOMPARE(clock.text(), clockEndText);
    }

    void borrowsFromMinutesAndHours_data()
    {
        QTest::addColumn<int>("ore");
        QTest::addColumn<int>("minuti");
        QTest::addColumn<float>("secondi");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("left");
        QTest::newRow("hour") << 1 << 0 << 0.0f << QStringLiteral("00:59:59") << 3599;
        QTest::newRow("two hours") << 2 << 0 << 0.0f << QStringLiteral("01:59:59") << 7199;
        QTest::newRow("minute within an hour")
            << 1 << 30 << 0.0f << QStringLiteral("01:29:59") << 5399;
        QTest::newRow("no borrow") << 1 << 30 << 15.0f << QStringLiteral("01:30:14") << 5414;
        QTest::newRow("to zero") << 0 << 0 << 1.0f << QStringLiteral("00:00:00") << 0;
        QTest::newRow("at zero") << 0 << 0 << 0.0f << QStringLiteral("00:00:00") << 0;
        QTest::newRow("negative seconds") << 0 << 0 << -5.0f << QStringLiteral("00:00:00") << 0;
    }
    void borrowsFromMinutesAndHours()
    {
        QFETCH(int, ore);
        QFETCH(int, minuti);
        QFETCH(float, secondi);
        QFETCH(QString, text);
        QFETCH(int, left);
        ChallengeClock clock;
        clock.ore = qint16(ore);
        clock.minuti = qint16(minuti);
        clock.secondi = secondi;
        clock.secrestanti = qint16(qMax(0.0f, 3600 * ore + 60 * minuti + secondi));
        clock.countDown();
        QCOMPARE(clock.text(), text);
        QCOMPARE(clock.secrestanti, left);
    }

    void padsEachFieldToTwoDigits_data()
    {
        QTest::addColumn<int>("ore");
        QTest::addColumn<int>("minuti");
        QTest::addColumn<float>("secondi");
        QTest::addColumn<QString>("text");
        QTest::newRow("zeros") << 0 << 0 << 0.0f << QStringLiteral("00:00:00");
        QTest::newRow("single digits") << 1 << 2 << 3.0f << QStringLiteral("01:02:03");
        QTest::newRow("two digits") << 12 << 34 << 56.0f << QStringLiteral("12:34:56");
        QTest::newRow("three-digit hours") << 100 << 5 << 9.0f << QStringLiteral("100:05:09");
    }
    void padsEachFieldToTwoDigits()
    {
        QFETCH(int, ore);
        QFETCH(int, minuti);
        QFETCH(float, secondi);
        QFETCH(QString, text);
        ChallengeClock clock;
        clock.ore = qint16(ore);
        clock.minuti = qint16(minuti);
        clock.secondi = secondi;
        QCOMPARE(clock.text(), text);
    }
};

QTEST_GUILESS_MAIN(ChallengeClockTest)
#include "tst_challengeclock.moc"
