#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <memory>
#include <vector>

class QAnimationDriver;

namespace calvenza {

// Time as the wizard keeps it: the system's steady clock. A SteppedClock stands in for it where
// seconds of speech and motion must pass without waiting for them.
class WizardClock
{
public:
    WizardClock();
    virtual ~WizardClock();
    [[nodiscard]] virtual qint64 nowUs() const;
    [[nodiscard]] qint64 nowMs() const { return nowUs() / 1000; }

private:
    QElapsedTimer m_real;
};

class SteppedClock;

// A QTimer that runs on a WizardClock: a plain QTimer on the system's clock.
class ClockTimer : public QObject
{
    Q_OBJECT
public:
    explicit ClockTimer(const WizardClock &clock, QObject *parent = nullptr);
    ~ClockTimer() override;

    void setInterval(int ms);
    void setSingleShot(bool singleShot);
    void setTimerType(Qt::TimerType type) { m_timer.setTimerType(type); }
    void start();
    void start(int ms);
    void stop();
    [[nodiscard]] bool isActive() const;

signals:
    void timeout();

private:
    friend class SteppedClock;
    SteppedClock *m_stepped = nullptr;
    QTimer m_timer;
    qint64 m_dueUs = -1;
};

// Moves only when told, firing the timers that fall due and advancing Qt's animations with it.
// One per thread at a time: it takes over the thread's animation timing while it lives.
class SteppedClock : public WizardClock
{
public:
    SteppedClock();
    ~SteppedClock() override;
    [[nodiscard]] qint64 nowUs() const override { return m_nowUs; }
    // Advances by ms in frames of at most 16 ms, handling posted events after each step.
    void advance(int ms);

private:
    friend class ClockTimer;
    qint64 m_nowUs = 0;
    std::vector<ClockTimer *> m_timers;
    std::unique_ptr<QAnimationDriver> m_driver;
};

} // namespace calvenza
