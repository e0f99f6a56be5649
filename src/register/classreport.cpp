#include "register/classreport.h"

#include "drill/timestable.h"

#include <algorithm>

namespace calvenza {

namespace {

int percent(int part, int whole)
{
    return whole > 0 ? int((part * 100 + whole / 2) / whole) : -1;
}

QString factWords(const Fact &fact)
{
    return QStringLiteral("%1 per %2").arg(fact.table).arg(fact.factor);
}

// "a", "a e b", "a, b e c"; past limit, "a, b, c e altre 4".
QString listed(const QStringList &items, int limit = 5, const QString &others = {})
{
    // "e altre 1" says less than the one item it stands for.
    if (items.size() == limit + 1)
        ++limit;
    QStringList shown = items.mid(0, limit);
    if (items.size() > limit)
        shown << others.arg(items.size() - limit);
    if (shown.size() < 2)
        return shown.join(QString());
    return shown.mid(0, shown.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" e ")
        + shown.constLast();
}

QStringList factList(const QList<Fact> &facts)
{
    QStringList words;
    for (const Fact &fact : facts)
        words << factWords(fact);
    return words;
}

QString children(int n)
{
    return n == 1 ? QStringLiteral("1 bambino") : QStringLiteral("%1 bambini").arg(n);
}

} // namespace

ClassPeriods classPeriods(const QDateTime &now, const QTimeZone &zone)
{
    const QDate today = localDay(now, zone);
    const QDate monday = today.addDays(1 - today.dayOfWeek());
    const auto midnight = [&](const QDate &day) {
        return (zone.isValid() ? QDateTime(day, QTime(0, 0), zone) : QDateTime(day, QTime(0, 0)))
            .toUTC();
    };
    return {
        now.toUTC(), midnight(monday), midnight(monday.addDays(-7)), midnight(monday.addDays(-21))};
}

bool isStuck(const FactSummary &summary)
{
    const auto last = summary.recent.mid(std::max<qsizetype>(0, summary.recent.size() - 4));
    return std::count_if(last.begin(), last.end(), [](const FactSummary::Answer &a) {
        return !a.right;
    }) >= 3;
}

int PupilFigures::percentRight() const
{
    return percent(recentRight, recentAnswers);
}

Trend PupilFigures::trend() const
{
    if (percentThisWeek < 0 || percentLastWeek < 0)
        return Trend::Unknown;
    if (percentThisWeek >= percentLastWeek + trendMargin)
        return Trend::Rising;
    if (percentThisWeek <= percentLastWeek - trendMargin)
        return Trend::Falling;
    return Trend::Steady;
}

WeeksCounts weeksCounts(const QList<TimedAnswer> &answers, const ClassPeriods &periods)
{
    const qint64 weekStart = periods.weekStart.toMSecsSinceEpoch();
    const qint64 lastWeekStart = periods.lastWeekStart.toMSecsSinceEpoch();
    const qint64 recentStart = periods.recentStart.toMSecsSinceEpoch();
    const qint64 now = periods.now.toMSecsSinceEpoch();
    WeeksCounts c;
    QList<qint64> times;
    for (const TimedAnswer &a : answers) {
        if (a.answeredAtMs > now)
            continue;
        if (a.answeredAtMs >= weekStart) {
            ++c.answersThisWeek;
            c.rightThisWeek += a.right ? 1 : 0;
            c.msThisWeek += std::clamp<qint64>(a.msTaken, 0, longestCountedMs);
        } else if (a.answeredAtMs >= lastWeekStart) {
            ++c.answersLastWeek;
            c.rightLastWeek += a.right ? 1 : 0;
        }
        if (a.answeredAtMs >= recentStart) {
            ++c.recentAnswers;
            c.recentRight += a.right ? 1 : 0;
            if (a.msTaken >= 0)
                times << a.msTaken;
        }
    }
    if (!times.isEmpty()) {
        const auto middle = times.begin() + times.size() / 2;
        std::nth_element(times.begin(), middle, times.end());
        c.recentMedianMs = *middle;
    }
    return c;
}

PupilFigures pupilFigures(const PupilHistory &history, const ClassPeriods &periods)
{
    PupilFigures p;
    p.id = history.name;
    p.name = history.name;
    p.facts = history.facts;
    p.lastPractice = history.lastAnswer;

    for (int table = 1; table <= 10; ++table) {
        bool practised = false;
        int known = 0;
        for (int factor = 1; factor <= 10; ++factor) {
            const FactSummary &summary = history.facts.at(table, factor);
            practised = practised || summary.asked > 0;
            known += standingOf(summary) == FactStanding::Known ? 1 : 0;
            if (isStuck(summary))
                p.stuckOn << Fact {table, factor};
        }
        if (practised) {
            p.factsOfTablesPractised += 10;
            p.factsKnown += known;
        }
    }

    const WeeksCounts counts
        = history.counted ? *history.counted : weeksCounts(history.since, periods);
    p.answersThisWeek = counts.answersThisWeek;
    p.recentAnswers = counts.recentAnswers;
    p.recentRight = counts.recentRight;
    p.medianMs = counts.recentMedianMs;
    p.minutesThisWeek = int((counts.msThisWeek + 30'000) / 60'000);
    if (p.answersThisWeek >= trendMinimumAnswers)
        p.percentThisWeek = percent(counts.rightThisWeek, p.answersThisWeek);
    if (counts.answersLastWeek >= trendMinimumAnswers)
        p.percentLastWeek = percent(counts.rightLastWeek, counts.answersLastWeek);
    return p;
}

FactStanding classStanding(const ClassFact &fact)
{
    if (fact.asked == 0)
        return FactStanding::NeverAsked;
    if (fact.known * 5 >= fact.asked * 4)
        return FactStanding::Known;
    return fact.known * 5 < fact.asked * 2 ? FactStanding::MostlyWrong : FactStanding::Learning;
}

QString classStandingWords(FactStanding standing)
{
    switch (standing) {
    case FactStanding::NeverAsked:
        return QStringLiteral("mai chiesta");
    case FactStanding::MostlyWrong:
        return QStringLiteral("la sanno pochi di quelli che l'hanno provata");
    case FactStanding::Learning:
        return QStringLiteral("la sanno alcuni di quelli che l'hanno provata");
    case FactStanding::Known:
        return QStringLiteral("la sanno quasi tutti quelli che l'hanno provata");
    }
    return {};
}

ClassFact ClassReport::fact(const Fact &fact) const
{
    ClassFact figures;
    for (const PupilFigures &pupil : pupils) {
        const FactSummary &summary = pupil.facts.at(fact.table, fact.factor);
        if (summary.asked == 0)
            continue;
        ++figures.asked;
        figures.wrongAnswers += summary.asked - summary.right;
        switch (standingOf(summary)) {
        case FactStanding::Known:
            ++figures.known;
            break;
        case FactStanding::MostlyWrong:
            figures.missedOften << pupil.name;
            break;
        default:
            break;
        }
    }
    return figures;
}

QList<Fact> ClassReport::missedMost(int limit) const
{
    struct Missed
    {
        Fact fact;
        ClassFact figures;
    };
    QList<Missed> missed;
    for (int table = 1; table <= 10; ++table)
        for (int factor = 1; factor <= 10; ++factor) {
            ClassFact figures = fact({table, factor});
            if (!figures.missedOften.isEmpty())
                missed.append({{table, factor}, std::move(figures)});
        }
    std::stable_sort(missed.begin(), missed.end(), [](const Missed &a, const Missed &b) {
        if (a.figures.missedOften.size() != b.figures.missedOften.size())
            return a.figures.missedOften.size() > b.figures.missedOften.size();
        return a.figures.wrongAnswers > b.figures.wrongAnswers;
    });
    QList<Fact> facts;
    for (const Missed &m : missed.mid(0, limit))
        facts << m.fact;
    return facts;
}

QString classFactSpokenText(const Fact &fact, const ClassFact &figures, int pupils)
{
    if (figures.asked == 0)
        return factWords(fact) + QStringLiteral(": mai chiesta");
    QString text = factWords(fact)
        + (figures.known == 1 ? QStringLiteral(": la sa %1 su %2")
                              : QStringLiteral(": la sanno %1 su %2"))
              .arg(children(figures.known))
              .arg(pupils);
    if (!figures.missedOften.isEmpty())
        text += QStringLiteral("; la sbagliano spesso ")
            + listed(figures.missedOften, 8, QStringLiteral("altri %1"));
    return text;
}

QString missedFactText(const Fact &fact, const ClassFact &figures, int pupils)
{
    const auto count = int(figures.missedOften.size());
    return QStringLiteral("%1 fa %2: %3 spesso %4 su %5 (%6)")
        .arg(factWords(fact))
        .arg(fact.table * fact.factor)
        .arg(count == 1 ? QStringLiteral("la sbaglia") : QStringLiteral("la sbagliano"),
            children(count))
        .arg(pupils)
        .arg(listed(figures.missedOften, 8, QStringLiteral("altri %1")));
}

QString attentionText(const PupilFigures &pupil)
{
    QStringList notes;
    if (!pupil.practisedThisWeek())
        notes << QStringLiteral("nessuna risposta questa settimana");
    if (!pupil.stuckOn.isEmpty())
        notes << QStringLiteral("sbaglia di continuo ")
                + listed(factList(pupil.stuckOn), 4, QStringLiteral("altre %1"));
    return notes.join(QStringLiteral("; "));
}

QString practiceAdvice(const PupilFigures &pupil)
{
    QList<Fact> wrong;
    QList<Fact> learning;
    QList<int> tables;
    for (int table = 1; table <= 10; ++table)
        for (int factor = 1; factor <= 10; ++factor) {
            const FactStanding standing = standingOf(pupil.facts.at(table, factor));
            if (standing == FactStanding::MostlyWrong)
                wrong << Fact {table, factor};
            else if (standing == FactStanding::Learning)
                learning << Fact {table, factor};
            if (standing != FactStanding::NeverAsked && !tables.contains(table))
                tables << table;
        }
    // The most missed first: a parent reads the first few.
    const auto missed = [&](const Fact &fact) {
        const FactSummary &summary = pupil.facts.at(fact.table, fact.factor);
        return summary.asked - summary.right;
    };
    const auto mostMissedFirst
        = [&](const Fact &a, const Fact &b) { return missed(a) > missed(b); };
    std::stable_sort(wrong.begin(), wrong.end(), mostMissedFirst);
    std::stable_sort(learning.begin(), learning.end(), mostMissedFirst);
    if (tables.isEmpty())
        return QStringLiteral("%1 non ha ancora risposto a nessuna moltiplicazione: può "
                              "cominciare da una sfida sulla tabellina dell'otto.")
            .arg(pupil.name);
    if (!wrong.isEmpty())
        return QStringLiteral("Da esercitare: %1. Il ripasso di Calvenza gliele ripropone "
                              "finché non le sa.")
            .arg(listed(factList(wrong), 6, QStringLiteral("altre %1")));
    if (!learning.isEmpty())
        return QStringLiteral("Quasi imparate: %1. Ancora qualche ripasso e le dirà in fretta.")
            .arg(listed(factList(learning), 6, QStringLiteral("altre %1")));
    QStringList names;
    for (int table : tables)
        names << tableWithArticle(table);
    return (names.size() == 1 ? QStringLiteral("Sa bene la tabellina %1: può provarne una nuova.")
                              : QStringLiteral("Sa bene le tabelline %1: può provarne una nuova."))
        .arg(listed(names, 10));
}

QString lastPracticeText(const QDateTime &lastPractice, const QDateTime &now, const QTimeZone &zone)
{
    if (!lastPractice.isValid())
        return QStringLiteral("mai");
    const QDate day = localDay(lastPractice, zone);
    const qint64 daysAgo = day.daysTo(localDay(now, zone));
    if (daysAgo == 0)
        return QStringLiteral("oggi");
    if (daysAgo == 1)
        return QStringLiteral("ieri");
    return QLocale(QLocale::Italian, QLocale::Italy)
        .toString(day, daysAgo > 180 ? QStringLiteral("d/M/yyyy") : QStringLiteral("dddd d/M"));
}

QString trendText(Trend trend)
{
    switch (trend) {
    case Trend::Unknown:
        return QStringLiteral("non si sa");
    case Trend::Rising:
        return QStringLiteral("▲ in salita");
    case Trend::Steady:
        return QStringLiteral("= stabile");
    case Trend::Falling:
        return QStringLiteral("▼ in discesa");
    }
    return {};
}

} // namespace calvenza
