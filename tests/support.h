#pragma once

// Stand-ins for the world outside the window, shared by the window's tests and benchmarks.

#include "app/tavola.h"
#include "drill/drillsession.h"
#include "drill/lessonplan.h"
#include "drill/randomsource.h"
#include "narrator/narrator.h"
#include "platform/datadirectory.h"
#include "platform/dialogs.h"

#include <QFile>
#include <QStringList>
#include <QTest>
#include <deque>
#include <functional>

namespace calvenza::testing {

// Keeps every request, in the order performed, as NarratorRequest::toString() writes it, and
// where in that log a script asked for the stale requests before it to be dropped.
class RecordingNarrator : public Narrator
{
public:
    void summon() override { log << QStringLiteral("Summon"); }
    quint64 perform(const NarratorScript &script, Pending pending) override
    {
        if (pending == Pending::Drop)
            dropsAt << log.size();
        for (const NarratorRequest &r : script)
            log << r.toString();
        return ++performed;
    }
    void stopAll() override { stopped = true; }

    QStringList log;
    QList<qsizetype> dropsAt;
    quint64 performed = 0;
    bool stopped = false;
};

class ScriptedDialogs : public Dialogs
{
public:
    QString inputBox(QWidget *parent, const QString &prompt, const QString &) override
    {
        parents << parent;
        log << prompt;
        return std::exchange(answer, QString());
    }
    void messageBox(
        QWidget *parent, const QString &text, const QString &title, const QString &details) override
    {
        parents << parent;
        log << text;
        this->details << details;
        if (title != u"Calvenza")
            log << QStringLiteral("<wrong title>");
        if (onMessage)
            onMessage(text);
    }
    QString answer;
    QStringList log;
    QStringList details; // one per message box
    QList<QWidget *> parents;
    std::function<void(const QString &)> onMessage;
};

// Gives the queued numbers in turn, then repeats the last.
class ScriptedRandom : public RandomSource
{
public:
    void reseed() override { }
    double next() override
    {
        if (!values.empty()) {
            last = values.front();
            values.pop_front();
        }
        return last;
    }
    std::deque<double> values;
    double last = 0.0;
};

// A lesson that asks the given facts in turn and keeps the answers it was told.
class ScriptedLesson : public LessonPlan
{
public:
    std::optional<Fact> next() override
    {
        if (facts.isEmpty())
            return std::nullopt;
        return facts.takeFirst();
    }
    void recordAnswer(bool right, qint64 msTaken) override { answers << qMakePair(right, msTaken); }
    int questionsLeft() const override { return int(facts.size()); }
    QList<Fact> movedUp() const override { return risen; }

    QList<Fact> facts;
    QList<Fact> risen;
    QList<QPair<bool, qint64>> answers;
};

// A file's bytes, "<missing>" when it cannot be read.
inline QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline void put(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

inline const QString farewell = QStringLiteral("Ciao. Ti aspetto per la prossima sfida ");
inline const QString recordSaved
    = QStringLiteral("Ok ho registrato il tuo record, C A M P I O N E\"");

// r in [0, 1) that draws the whole number n (1..10).
inline double drawing(int n)
{
    return (n - 1) / 10.0 + 0.05;
}

struct Harness
{
    enum class History { None, Kept };
    explicit Harness(const QString &dataDir, int table = defaultTable,
        History history = History::None, std::unique_ptr<SessionMode> mode = {})
    {
        TavolaServices s;
        if (history == History::Kept)
            s.history.reset(writer = new HistoryWriter(dataDir));
        s.narrator.reset(narrator = new RecordingNarrator);
        s.dialogs.reset(dialogs = new ScriptedDialogs);
        s.random.reset(random = new ScriptedRandom);
        s.dataDirectory = std::make_unique<FixedDataDirectory>(dataDir);
        tavola = mode ? std::make_unique<Tavola>(std::move(s), std::move(mode))
                      : std::make_unique<Tavola>(std::move(s), table);
    }
    void startUp(const QString &name)
    {
        dialogs->answer = name;
        tavola->startUp();
    }
    template<typename T = QWidget> T *control(const char *name) const
    {
        return tavola->findChild<T *>(QLatin1String(name));
    }
    HistoryWriter *writer = nullptr;
    RecordingNarrator *narrator;
    ScriptedDialogs *dialogs;
    ScriptedRandom *random;
    std::unique_ptr<Tavola> tavola;
};

} // namespace calvenza::testing
