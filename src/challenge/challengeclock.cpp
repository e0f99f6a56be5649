#include "challenge/challengeclock.h"

#include <algorithm>
#include <cmath>

namespace calvenza {

void ChallengeClock::arm()
{
    ore = 0;
    minuti = 7;
    secondi = 0;
    secrestanti = 420;
}

void ChallengeClock::countDown()
{
    // Once at zero the clock stays there: the window may tick once more before it stops the timer.
    if (ore <= 0 && minuti <= 0 && secondi <= 0) {
        ore = 0;
        minuti = 0;
        secondi = 0;
        secrestanti = 0;
        return;
    }
    if (secondi <= 0) {
        if (minuti > 0) {
            minuti -= 1;
            secondi = 60;
        } else if (ore > 0) {
            ore -= 1;
            minuti = 59;
            secondi = 60;
        }
    }
    secondi -= 1; // at least 1 here: zero returned above, or just borrowed
    secrestanti = std::max<qint16>(qint16(secrestanti - 1), 0);
}

QString ChallengeClock::text() const
{
    const QChar zero = u'0';
    return QStringLiteral("%1:%2:%3")
        .arg(ore, 2, 10, zero)
        .arg(minuti, 2, 10, zero)
        .arg(static_cast<int>(std::lround(secondi)), 2, 10, zero);
}

} // namespace calvenza
