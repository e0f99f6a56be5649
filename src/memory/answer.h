#pragma once

#include <QDateTime>
#include <QString>

namespace calvenza {

// One fact of the tables, table times factor, both 1..10; 8 × 7 and 7 × 8 are two facts.
struct Fact
{
    int table = 8;
    int factor = 1;
    friend bool operator==(const Fact &, const Fact &) = default;
};

// How an answer was asked for: in the timed challenge or in the ripasso that teaches.
enum class DrillMode { Challenge, Ripasso };

// One judged answer, as the history keeps it.
struct AnswerRecord
{
    QString pupil; // the name as typed, trimmed; "Amico" when none was typed
    int table = 8;
    int factor = 1;
    QString typed; // exactly as typed
    bool right = false;
    // From the moment the exercise could be known (heard in full, or drawn when he is silent)
    // to Enter; -1 when unknown.
    qint64 msTaken = -1;
    QDateTime answeredAt; // UTC
    DrillMode mode = DrillMode::Challenge;
};

// One challenge, as it ended.
struct ChallengeRecord
{
    QString pupil;
    int table = 8;
    QDateTime endedAt; // UTC
    int right = 0;
    int wrong = 0;
    bool setRecord = false;
};

// The pupil as the history names him: the name as typed, trimmed; "Amico" when none was typed.
[[nodiscard]] inline QString pupilName(const QString &typedName)
{
    const QString trimmed = typedName.trimmed();
    return trimmed.isEmpty() ? QStringLiteral("Amico") : trimmed;
}

// What tells pupils apart: "Ugo" and "ugo" are one pupil.
[[nodiscard]] inline QString pupilKey(const QString &typedName)
{
    return pupilName(typedName).toCaseFolded();
}

} // namespace calvenza
