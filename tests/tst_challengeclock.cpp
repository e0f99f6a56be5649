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

    // A shortened challenge for tests; anything but a whole number 1..420 is the usual one.
    void shortenedFromTheEnvironment_data()
    {
        QTest::addColumn<QByteArray>("setting");
        QTest::addColumn<QString>("armed");
        const std::pair<const char *, const char *> rows[]
            = {{"5", "00:00:05"}, {"420", "00:07:00"}, {"75", "00:01:15"}, {"0", "00:07:00"},
                {"421", "00:07:00"}, {"-5", "00:07:00"}, {" 5", "00:07:00"}, {"010", "00:00:10"},
                {"5s", "00:07:00"}, {"", "00:07:00"}};
        for (const auto &[setting, armed] : rows)
            QTest::addRow("'%s'", setting) << QByteArray(setting) << QString::fromLatin1(armed);
    }
    void shortenedFromTheEnvironment()
    {
        QFETCH(QByteArray, setting);
        QFETCH(QString, armed);
        qputenv("CALVENZA_CHALLENGE_SECONDS", setting);
        ChallengeClock clock;
        clock.arm(challengeSecondsFromEnvironment());
        QCOMPARE(clock.text(), armed);
        clock.countDown();
        QCOMPARE(int(clock.secondsLeft), armed.right(2).toInt() + 60 * armed.mid(3, 2).toInt() - 1);
    }
};

QTEST_GUILESS_MAIN(ChallengeClockTest)
#include "tst_challengeclock.moc"
