#pragma once

#include <QString>
#include <QtGlobal>

namespace calvenza {

inline constexpr int challengeSeconds = 7 * 60;

// The seven-minute challenge clock as the window keeps it: hours, minutes, seconds and the
// seconds remaining, moving in step one second per tick.
struct ChallengeClock
{
    qint16 hours = 0;
    qint16 minutes = 0;
    float seconds = 0;
    qint16 secondsLeft = 0;

    // Seven minutes by default: 0 h, 7 min, 0 s, 420 s remaining.
    void arm(int seconds = challengeSeconds);
    // One second down, borrowing from minutes and hours; never below zero.
    void countDown();
    // "hh:mm:ss", each field at least two digits.
    [[nodiscard]] QString text() const;
};

// CALVENZA_CHALLENGE_SECONDS shortens the challenge in test builds (none in the package): a whole
// number from 1 to the usual seven minutes; anything else, or nothing, gives the seven minutes.
[[nodiscard]] int challengeSecondsFromEnvironment();

// The caption shown from arming until the first tick.
inline const QString clockStartText = QStringLiteral("00.07.00");

} // namespace calvenza
