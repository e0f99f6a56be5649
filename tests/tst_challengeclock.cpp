#include "challenge/challengeclock.h"

#include <QTest>

using namespace calvenza;

class ChallengeClockTest : public QObject
{
    Q_OBJECT
private slots:
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
