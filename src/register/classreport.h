#pragma once

#include "memory/classqueries.h"
#include "memory/factsummary.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimeZone>

namespace calvenza {

// The weeks a class's figures are counted in, as UTC moments. Weeks begin on Monday at midnight,
// local time, as the school's do.
struct ClassPeriods
{
    QDateTime now;
    QDateTime weekStart;
    QDateTime lastWeekStart;
    QDateTime recentStart; // this week and the three before: right answers and median time
};
[[nodiscard]] ClassPeriods classPeriods(
    const QDateTime &now, const QTimeZone &zone = QTimeZone::systemTimeZone());

enum class Trend { Unknown, Rising, Steady, Falling };

// A week's percentage of right answers counts with this many answers at least, and a change
// smaller than trendMargin points is no change.
inline constexpr int trendMinimumAnswers = 5;
inline constexpr int trendMargin = 5;

// Stuck on a fact: at least 3 of its last 4 answers wrong.
[[nodiscard]] bool isStuck(const FactSummary &summary);

// One pupil's line in the register.
struct PupilFigures
{
    QString id; // what the source knows him by
    QString name;
    FactTable facts;
    QDateTime lastPractice; // UTC; invalid when never
    int answersThisWeek = 0;
    int minutesThisWeek = 0; // time spent answering, each answer counted a minute at most
    int factsKnown = 0; // of the tables he practised
    int factsOfTablesPractised = 0;
    int recentAnswers = 0;
    int recentRight = 0;
    qint64 medianMs = -1; // of the recent answers with a known time; -1 when none
    int percentThisWeek = -1; // -1: too few answers to tell
    int percentLastWeek = -1;
    QList<Fact> stuckOn;

    [[nodiscard]] bool practisedThisWeek() const { return answersThisWeek > 0; }
    [[nodiscard]] int percentRight() const; // recent; -1 when none
    [[nodiscard]] Trend trend() const;
};

// What the register shows of a pupil's answers of its weeks; the school's server counts the
// same with one statement (serverclasssource.cpp). An answer left on screen through the break
// is not a lesson's minutes: each counts up to longestCountedMs.
inline constexpr qint64 longestCountedMs = 60'000;
[[nodiscard]] WeeksCounts weeksCounts(
    const QList<TimedAnswer> &answers, const ClassPeriods &periods);
[[nodiscard]] PupilFigures pupilFigures(const PupilHistory &history, const ClassPeriods &periods);

// What the class's answers say of one fact.
struct ClassFact
{
    int asked = 0; // pupils who answered it
    int known = 0;
    QStringList missedOften; // the pupils for whom it stands as mostly wrong
    int wrongAnswers = 0;
};

// How the class grid colours a fact: known by at least 4 in 5 of the pupils who answered it,
// by fewer than 2 in 5, or in between.
[[nodiscard]] FactStanding classStanding(const ClassFact &fact);
[[nodiscard]] QString classStandingWords(FactStanding standing);

struct ClassReport
{
    QString className;
    QDateTime at;
    QList<PupilFigures> pupils;

    [[nodiscard]] ClassFact fact(const Fact &fact) const;
    // The facts that pupils miss often, the most pupils first, then the most wrong answers.
    [[nodiscard]] QList<Fact> missedMost(int limit = 10) const;
};

// "8 per 7: la sanno 12 bambini su 23; la sbagliano spesso Ugo, Ada, Marta"
[[nodiscard]] QString classFactSpokenText(const Fact &fact, const ClassFact &figures, int pupils);
// "8 per 7 fa 56: la sbagliano spesso 3 bambini su 23 (Ugo, Ada, Marta)"
[[nodiscard]] QString missedFactText(const Fact &fact, const ClassFact &figures, int pupils);
// What makes a pupil stand out, in words; empty when nothing does.
[[nodiscard]] QString attentionText(const PupilFigures &pupil);
// For his page at the parents' meeting: what to practise next.
[[nodiscard]] QString practiceAdvice(const PupilFigures &pupil);
// "oggi", "ieri", "lunedì 30/11", "mai"
[[nodiscard]] QString lastPracticeText(const QDateTime &lastPractice, const QDateTime &now,
    const QTimeZone &zone = QTimeZone::systemTimeZone());
[[nodiscard]] QString trendText(Trend trend);

} // namespace calvenza
