#include "challenge/challengeclock.h"

#include <QTest>

using namespace calvenza;

class ChallengeClockTest : public QObject
{
    Q_OBJECT
private slots:
    void countsDownOneSecondPerTick_data()
    {
        QTest::addColumn<int>("ticks");
        QTest::addColumn<QString>("text");
        QTest::newRow("first tick") << 1 << QStringLiteral("00:06:59");
        QTest::newRow("minute boundary") << 60 << QStringLiteral("00:06:00");
        QTest::newRow("borrows a minute") << 61 << QStringLiteral("00:05:59");
        QTest::newRow("last second") << 419 << QStringLiteral("00:00:01");
        QTest::newRow("last tick") << 420 << clockEndText;
        // The window may tick again before it stops the timer.
        QTest::newRow("never below zero") << 423 << clockEndText;
    }
    void countsDownOneSecondPerTick()
    {
        QFETCH(int, ticks);
        QFETCH(QString, text);
        ChallengeClock clock;
        clock.arm();
        for (int i = 0; i < ticks; ++i)
            clock.countDown();
        QCOMPARE(clock.text(), text);
        QCOMPARE(int(clock.secrestanti), std::max(420 - ticks, 0));
    }
};

QTEST_GUILESS_MAIN(ChallengeClockTest)
#include "tst_challengeclock.moc"
