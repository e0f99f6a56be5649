#pragma once

// Scripted stand-ins for the world outside the window, shared by the window's tests.

#include "app/tavola.h"
#include "drill/randomsource.h"
#include "platform/datadirectory.h"
#include "platform/dialogs.h"
#include "recordingnarrator.h"

#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <functional>

namespace calvenza::testing {

class ScriptedDialogs : public Dialogs
{
public:
    QString inputBox(const QString &prompt, const QString &title) override
    {
        log << QStringLiteral("input|%1|%2").arg(prompt, title);
        if (answers.empty())
            return {};
        QString a = answers.front();
        answers.pop_front();
        return a;
    }
    void messageBox(const QString &text, const QString &title) override
    {
        log << QStringLiteral("message|%1|%2").arg(text, title);
        messages << text;
        if (onMessage)
            onMessage(text);
    }
    std::deque<QString> answers;
    QStringList log;
    QStringList messages;
    std::function<void(const QString &)> onMessage;
};

// Gives the queued numbers in turn, then repeats the last; counts the reseeds.
class ScriptedRandom : public RandomSource
{
public:
    void reseed() override { ++reseeds; }
    double next() override
    {
        if (values.empty())
            return last;
        last = values.front();
        values.pop_front();
        return last;
    }
    std::deque<double> values;
    double last = 0.0;
    int reseeds = 0;
};

// r in [0, 1) that draws the whole number n (1..10).
inline double drawing(int n)
{
    return (n - 1) / 10.0 + 0.05;
}

struct Harness
{
    explicit Harness(const QString &dataDir)
    {
        auto a = std::make_unique<RecordingCharacters>();
        auto d = std::make_unique<ScriptedDialogs>();
        auto r = std::make_unique<ScriptedRandom>();
        agent = a.get();
        dialogs = d.get();
        random = r.get();
        TavolaServices s;
        s.agent = std::move(a);
        s.dialogs = std::move(d);
        s.random = std::move(r);
        s.dataDirectory = std::make_unique<FixedDataDirectory>(dataDir);
        tavola = std::make_unique<Tavola>(std::move(s));
    }
    // The load step with the pupil answering NAME; with show, the window then comes up and runs
    // its first exercise.
    void startUp(const QString &name, bool show = false)
    {
        dialogs->answers = {name};
        tavola->Form_Load();
        if (show)
            tavola->show();
    }
    template<typename T = QWidget> T *control(const char *name) const
    {
        return tavola->findChild<T *>(QLatin1String(name));
    }
    RecordingCharacters *agent;
    ScriptedDialogs *dialogs;
    ScriptedRandom *random;
    std::unique_ptr<Tavola> tavola;
};

} // namespace calvenza::testing
