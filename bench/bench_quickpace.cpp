// A quick pupil with the real wizard: Enter every 0.3 s for 30 exercises. The window's scripts
// in the order it sends them: the introduction and the first dictation, then for each exercise
// its reaction and, 0.3 s later, the next dictation. The figure runs from the request of a
// dictation to its first word handed to the audio output (a sound device, or the silent clock
// at the voice's own pace).
// --keep: every script waits its turn, as before; --drop: each dictation the pupil asks for
// drops what has not begun, and the introduction may be cut. Without either, both in turn.
// Then two moments of one pupil: a wrong answer 3 s into the introduction (Enter → the first
// word of his correction), and Enter on the next exercise 0.15 s into a dictation (whether each
// dictation is heard whole). --reactions-wait has the reactions wait their turn, as the window's
// did before it dropped what the pupil had left behind.
#include "benchreport.h"
#include "benchwait.h"
#include "drill/exercise.h"
#include "drill/timestable.h"
#include "drill/verdict.h"
#include "narrator/numberwords.h"
#include "wizard/wizardnarrator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <map>
#include <set>

using namespace calvenza;
using namespace calvenza::bench;

namespace {

constexpr int exercises = 30;
constexpr int stepMs = 300;

struct Pace
{
    double lastDelayS = -1; // the dictation the pupil is left waiting for
    std::vector<double> lastSpokenS; // the last few dictations that were spoken
    int spoken = 0;
    int dictations = 0;
};

Pace run(Narrator::Pending pending)
{
    WizardNarrator narrator;
    Pace pace;
    narrator.summon();
    Wizard *wizard = narrator.wizard();
    // Scripts run in order, so a voice starting belongs to the oldest script not yet done.
    std::set<quint64> undone;
    std::map<quint64, qint64> dictationAskedMs; // by script
    std::map<quint64, qint64> firstWordMs;
    QElapsedTimer clock;
    QObject::connect(
        &narrator, &Narrator::scriptDone, &narrator, [&](quint64 id) { undone.erase(id); });
    QObject::connect(wizard, &Wizard::speechAudioStarted, &narrator, [&] {
        if (undone.empty())
            return;
        const quint64 id = *undone.begin();
        if (dictationAskedMs.count(id) && !firstWordMs.count(id))
            firstWordMs[id] = clock.elapsed();
    });
    const auto perform = [&](const NarratorScript &script, Narrator::Pending p, bool dictation) {
        const quint64 id = narrator.perform(script, p);
        undone.insert(id);
        if (dictation)
            dictationAskedMs[id] = clock.elapsed();
        return id;
    };
    const auto dictationOf = [](int exercise) {
        const int factor = exercise * 7 % 10 + 1;
        return dictation(QString::number(defaultTable), numlett(Currency::fromWhole(factor)));
    };
    const bool dropping = pending == Narrator::Pending::Drop;
    const QString intro = introduction(defaultTable);
    clock.start();
    perform(
        {NarratorRequest::show(), NarratorRequest::moveTo(narratorX, narratorY),
            NarratorRequest::play(QStringLiteral("Announce")),
            NarratorRequest::height(narratorHeight),
            dropping ? NarratorRequest::speakInterruptibly(intro) : NarratorRequest::speak(intro)},
        Narrator::Pending::Keep, false);
    perform(dictationOf(0), Narrator::Pending::Keep, true);
    quint64 last = 0;
    for (int i = 1; i <= exercises; ++i) {
        const int factor = (i - 1) * 7 % 10 + 1;
        const QString product = QString::number(factor * defaultTable);
        QTimer::singleShot((2 * i - 1) * stepMs, Qt::PreciseTimer, &narrator, [&, i, product] {
            perform(i % 4 == 0 ? reactionToWrong(product)
                               : reactionToRight(i, QStringLiteral("Bench"), product),
                Narrator::Pending::Keep, false);
        });
        QTimer::singleShot(2 * i * stepMs, Qt::PreciseTimer, &narrator,
            [&, i] { last = perform(dictationOf(i), pending, true); });
    }
    QElapsedTimer waited;
    waited.start();
    while ((last == 0 || undone.count(last)) && waited.elapsed() < 600'000)
        waitFor(20);
    for (const auto &[id, asked] : dictationAskedMs) {
        const auto heard = firstWordMs.find(id);
        if (heard == firstWordMs.end())
            continue;
        ++pace.spoken;
        pace.lastSpokenS.push_back(double(heard->second - asked) / 1000);
        if (id == last)
            pace.lastDelayS = pace.lastSpokenS.back();
    }
    if (pace.lastSpokenS.size() > 5)
        pace.lastSpokenS.erase(pace.lastSpokenS.begin(), pace.lastSpokenS.end() - 5);
    pace.dictations = int(dictationAskedMs.size());
    return pace;
}

// Which script each voice start belongs to: scripts run in order, so the oldest not yet done.
struct Attribution
{
    std::set<quint64> undone;
    std::map<quint64, std::vector<qint64>> startsMs; // by script
};

NarratorScript dictationOfFactor(int factor)
{
    return dictation(QString::number(defaultTable), numlett(Currency::fromWhole(factor)));
}

void attribute(WizardNarrator &narrator, Attribution &a, const QElapsedTimer &clock)
{
    QObject::connect(
        &narrator, &Narrator::scriptDone, &narrator, [&a](quint64 id) { a.undone.erase(id); });
    QObject::connect(narrator.wizard(), &Wizard::speechAudioStarted, &narrator, [&a, &clock] {
        if (!a.undone.empty())
            a.startsMs[*a.undone.begin()].push_back(clock.elapsed());
    });
}

void waitUntilDone(const Attribution &a, quint64 id)
{
    QElapsedTimer waited;
    waited.start();
    while (a.undone.count(id) && waited.elapsed() < 120'000)
        waitFor(20);
}

// Seconds from Enter to the first word of the correction; -1 when it never came.
double correctionDuringIntroduction(Narrator::Pending reactions)
{
    WizardNarrator narrator;
    narrator.summon();
    Attribution a;
    QElapsedTimer clock;
    attribute(narrator, a, clock);
    clock.start();
    const auto perform = [&](const NarratorScript &script, Narrator::Pending p) {
        const quint64 id = narrator.perform(script, p);
        a.undone.insert(id);
        return id;
    };
    perform({NarratorRequest::show(), NarratorRequest::moveTo(narratorX, narratorY),
                NarratorRequest::play(QStringLiteral("Announce")),
                NarratorRequest::height(narratorHeight),
                NarratorRequest::speakInterruptibly(introduction(defaultTable))},
        Narrator::Pending::Keep);
    perform(dictationOfFactor(7), Narrator::Pending::Keep);
    waitFor(3000);
    const qint64 enterMs = clock.elapsed();
    const quint64 reaction = perform(reactionToWrong(QStringLiteral("56")), reactions);
    waitUntilDone(a, reaction);
    const auto heard = a.startsMs.find(reaction);
    return heard == a.startsMs.end() ? -1 : double(heard->second.front() - enterMs) / 1000;
}

// The words of each of the two dictations that were heard: 3 and 3 when both are whole.
std::pair<int, int> movingOnMidDictation()
{
    WizardNarrator narrator;
    narrator.summon();
    Attribution a;
    QElapsedTimer clock;
    attribute(narrator, a, clock);
    clock.start();
    const quint64 first = narrator.perform(dictationOfFactor(7), Narrator::Pending::Keep);
    a.undone.insert(first);
    QElapsedTimer waited;
    waited.start();
    while (a.startsMs[first].empty() && waited.elapsed() < 60'000)
        waitFor(5);
    waitFor(150);
    const quint64 second = narrator.perform(dictationOfFactor(3), Narrator::Pending::Drop);
    a.undone.insert(second);
    waitUntilDone(a, second);
    return {int(a.startsMs[first].size()), int(a.startsMs[second].size())};
}

void report(const char *name, const Pace &pace, bool isTarget)
{
    std::string last;
    for (double s : pace.lastSpokenS)
        last += (last.empty() ? "" : ", ") + format("%.1f", s);
    const std::string figure = pace.lastDelayS < 0
        ? std::string("the last dictation was never spoken")
        : format("last dictation %.1f s", pace.lastDelayS) + " (last spoken: " + last + " s; "
            + format("%.0f", pace.spoken) + format(" of %.0f dictations spoken)", pace.dictations);
    reportRow(std::string("Quick pupil, Enter every 0.3 s for 30 exercises: dictation asked → "
                          "its first word to the sink, ")
            + name,
        figure, isTarget ? "≤ 5 s" : "for comparison",
        !isTarget || (pace.lastDelayS >= 0 && pace.lastDelayS <= 5.0));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool keep = !args.contains(QStringLiteral("--drop"));
    const bool drop = !args.contains(QStringLiteral("--keep"));
    if (keep)
        report("before (every script kept)", run(Narrator::Pending::Keep), false);
    if (drop)
        report("after (pending dropped)", run(Narrator::Pending::Drop), true);
    const bool reactionsWait = args.contains(QStringLiteral("--reactions-wait"));
    const char *how = reactionsWait ? " (reactions wait their turn)" : "";
    const double correctionS = correctionDuringIntroduction(
        reactionsWait ? Narrator::Pending::Keep : Narrator::Pending::Drop);
    reportRow(std::string("Wrong first answer 3 s into the introduction: Enter → the first word "
                          "of his correction")
            + how,
        correctionS < 0 ? std::string("never heard") : format("%.2f s", correctionS), "≤ 3 s",
        correctionS >= 0 && correctionS <= 3.0);
    const auto [oldWords, newWords] = movingOnMidDictation();
    reportRow(std::string("Enter on the next exercise 0.15 s into a dictation: words heard of "
                          "the old dictation, of the new")
            + how,
        format("%.0f of 3, ", oldWords) + format("%.0f of 3", newWords),
        "each 0 or 3 of 3, the new one 3", (oldWords == 0 || oldWords == 3) && newWords == 3);
    return 0;
}
