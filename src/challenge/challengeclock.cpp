#include "challenge/challengeclock.h"

#include <algorithm>
#include <cmath>

namespace calvenza {

void ChallengeClock::arm()
{
    hours = 0;
    minutes = 7;
    seconds = 0;
    secondsLeft = 420;
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
