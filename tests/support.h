#pragma once

// Stand-ins for the world outside the window, shared by the window's tests and benchmarks.

#include "app/tavola.h"
#include "drill/randomsource.h"
#include "narrator/narrator.h"
#include "platform/datadirectory.h"
#include "platform/dialogs.h"

#include <QStringList>
#include <deque>
#include <functional>

namespace calvenza::testing {

// Keeps every request, in the order issued, as NarratorRequest::toString() writes it.
class RecordingCharacters : public Characters, public Character
{
public:
    bool Load(const QString &id, const QString &) override
    {
        log << QStringLiteral("Load ") + id;
        return !refuse;
    }
    Character *Item(const QString &id) override { return id == u"Merlin" ? this : nullptr; }
    QString errorString() const override { return QStringLiteral("personaggio non disponibile"); }
    void stopAll() override { stopped = true; }
    void Show() override { log << NarratorRequest::show().toString(); }
    void MoveTo(int x, int y) override { log << NarratorRequest::moveTo(x, y).toString(); }
    void Play(const QString &name) override { log << NarratorRequest::play(name).toString(); }
    void Height(int px) override { log << NarratorRequest::height(px).toString(); }
    void Speak(const QString &text) override { log << NarratorRequest::speak(text).toString(); }

    QStringList log;
    bool refuse = false;
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
    void messageBox(QWidget *parent, const QString &text, const QString &title) override
    {
        parents << parent;
        log << text;
        if (title != u"Calvenza")
            log << QStringLiteral("<wrong title>");
        if (onMessage)
            onMessage(text);
    }
    QString answer;
    QStringList log;
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

// r in [0, 1) that draws the whole number n (1..10).
inline double drawing(int n)
{
    return (n - 1) / 10.0 + 0.05;
}

struct Harness
{
    explicit Harness(const QString &dataDir, int table = defaultTable)
    {
        TavolaServices s;
        s.narrator.reset(narrator = new RecordingCharacters);
        s.dialogs.reset(dialogs = new ScriptedDialogs);
        s.random.reset(random = new ScriptedRandom);
        s.dataDirectory = std::make_unique<FixedDataDirectory>(dataDir);
        tavola = std::make_unique<Tavola>(std::move(s), table);
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
    RecordingCharacters *narrator;
    ScriptedDialogs *dialogs;
    ScriptedRandom *random;
    std::unique_ptr<Tavola> tavola;
};

} // namespace calvenza::testing
