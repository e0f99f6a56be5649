#pragma once

#include "memory/factsummary.h"
#include "platform/problem.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace calvenza {

// One answer as a class's figures count it.
struct TimedAnswer
{
    qint64 answeredAtMs = 0; // UTC, milliseconds since the epoch
    bool right = false;
    qint64 msTaken = -1;
};

// What the history holds of one pupil for the class register.
struct PupilHistory
{
    QString name; // as first typed
    FactTable facts; // counts and latest answers of every fact
    QDateTime lastAnswer; // UTC; invalid when none
    QList<TimedAnswer> since; // every answer from the moment asked for on, in no order
};

// Every pupil of the history of a data directory, in alphabetical order, read in one moment
// through one read-only connection. With no history yet: nothing and no problem.
[[nodiscard]] QList<PupilHistory> classHistory(
    const QString &dataDirectory, const QDateTime &since, Problem *problem = nullptr);

} // namespace calvenza
