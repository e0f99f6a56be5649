#include "challenge/challengeclock.h"

#include <QTest>

using namespace calvenza;

class ChallengeClockTest : public QObject
{
    Q_OBJECT
private slots:
    // After the last tick the window may tick again before it stops the timer.
    void countsDownOneSecondPerTick_data()
    {
        QTest::addColumn<int>("ticks");
        QTest::addColumn<QString>("text");
        const std::pair<int, const char *> rows[] = {{1, "00:06:59"}, {60, "00:06:00"},
            {61, "00:05:59"}, {419, "00:00:01"}, {420, "00:00:00"}, {423, "00:00:00"}};
        for (const auto &[ticks, text] : rows)
            QTest::addRow("%d ticks", ticks) << ticks << QString::fromLatin1(text);
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
        QCOMPARE(int(clock.secondsLeft), std::max(420 - ticks, 0));
    }
};

QTEST_GUILESS_MAIN(ChallengeClockTest)
#include "tst_challengeclock.moc"
