#include "challenge/challengeclock.h"

#include <QByteArray>

#include <algorithm>
#include <cmath>

namespace calvenza {

void ChallengeClock::arm(int totalSeconds)
{
    hours = qint16(totalSeconds / 3600);
    minutes = qint16(totalSeconds / 60 % 60);
    seconds = float(totalSeconds % 60);
    secondsLeft = qint16(totalSeconds);
}

int challengeSecondsFromEnvironment()
{
#ifdef CALVENZA_TEST_HOOKS
    // Digits only: no sign, spaces, octal or hexadecimal forms.
    const QByteArray text = qgetenv("CALVENZA_CHALLENGE_SECONDS");
    if (!text.isEmpty() && text.size() <= 3
        && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const int seconds = text.toInt();
        if (seconds >= 1 && seconds <= challengeSeconds)
            return seconds;
    }
#endif
    return challengeSeconds;
}

void ChallengeClock::countDown()
{
    // Once at zero the clock stays there: the window may tick once more before it stops the timer.
    if (hours <= 0 && minutes <= 0 && seconds <= 0) {
        hours = 0;
        minutes = 0;
        seconds = 0;
        secondsLeft = 0;
        return;
    }
    if (seconds <= 0) {
        if (minutes > 0) {
            minutes -= 1;
            seconds = 60;
        } else if (hours > 0) {
            hours -= 1;
            minutes = 59;
            seconds = 60;
        }
    }
    seconds -= 1; // at least 1 here: zero returned above, or just borrowed
    secondsLeft = std::max<qint16>(qint16(secondsLeft - 1), 0);
}

QString ChallengeClock::text() const
{
    const QChar zero = u'0';
    return QStringLiteral("%1:%2:%3")
        .arg(hours, 2, 10, zero)
        .arg(minutes, 2, 10, zero)
        .arg(static_cast<int>(std::lround(seconds)), 2, 10, zero);
}

} // namespace calvenza
