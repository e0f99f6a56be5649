#pragma once

// Waiting on the wizard from a benchmark's main(), without a test framework's timeouts.

#include <QEventLoop>
#include <QObject>
#include <QTimer>

namespace calvenza::bench {

inline void waitFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// True when the signal came within ms.
template<typename Sender, typename Signal> bool waitForSignal(Sender *sender, Signal signal, int ms)
{
    QEventLoop loop;
    bool fired = false;
    QObject::connect(sender, signal, &loop, [&] {
        fired = true;
        loop.quit();
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return fired;
}

} // namespace calvenza::bench
