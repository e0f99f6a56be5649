#pragma once

#include "memory/factsummary.h"
#include "platform/problem.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

namespace calvenza {

// One answer as a class's figures count it.
struct TimedAnswer
{
    qint64 answeredAtMs = 0; // UTC, milliseconds since the epoch
    bool right = false;
    qint64 msTaken = -1;
};

// A pupil's answers of the register's weeks, counted.
struct WeeksCounts
{
    int answersThisWeek = 0;
    int rightThisWeek = 0;
    qint64 msThisWeek = 0; // each answer's time up to a minute
    int answersLastWeek = 0;
    int rightLastWeek = 0;
    int recentAnswers = 0; // this week and the three before
    int recentRight = 0;
    qint64 recentMedianMs = -1; // of the answers whose time is known; -1: none
};

// What the history holds of one pupil for the class register.
struct PupilHistory
{
    QString name; // as first typed
    FactTable facts; // counts and latest answers of every fact
    QDateTime lastAnswer; // UTC; invalid when none
    QList<TimedAnswer> since; // every answer from the moment asked for on, in no order
    std::optional<WeeksCounts> counted; // counted by the school's server instead of since
};

// Every pupil of the history of a data directory, in alphabetical order, read in one moment
// through one read-only connection. With no history yet: nothing and no problem.
[[nodiscard]] QList<PupilHistory> classHistory(
    const QString &dataDirectory, const QDateTime &since, Problem *problem = nullptr);

} // namespace calvenza
