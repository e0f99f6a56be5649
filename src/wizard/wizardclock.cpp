#include "wizard/wizardclock.h"

#include <QAbstractAnimation>
#include <QCoreApplication>
#include <algorithm>

namespace calvenza {

namespace {
constexpr qint64 frameUs = 16'000;

class SteppedAnimationDriver : public QAnimationDriver
{
public:
    explicit SteppedAnimationDriver(const SteppedClock &clock)
        : m_clock(clock)
    {
    }
    // Qt's animation timer counts from the moment it starts the driver.
    qint64 elapsed() const override { return (m_clock.nowUs() - m_startUs) / 1000; }

protected:
    void start() override
    {
        m_startUs = m_clock.nowUs();
        QAnimationDriver::start();
    }

private:
    const SteppedClock &m_clock;
    qint64 m_startUs = 0;
};
} // namespace

WizardClock::WizardClock()
{
    m_real.start();
}

WizardClock::~WizardClock() = default;

qint64 WizardClock::nowUs() const
{
    return m_real.nsecsElapsed() / 1000;
}

ClockTimer::ClockTimer(const WizardClock &clock, QObject *parent)
    : QObject(parent)
    , m_stepped(const_cast<SteppedClock *>(dynamic_cast<const SteppedClock *>(&clock)))
{
    connect(&m_timer, &QTimer::timeout, this, &ClockTimer::timeout);
    if (m_stepped)
        m_stepped->m_timers.push_back(this);
}

ClockTimer::~ClockTimer()
{
    if (m_stepped)
        std::erase(m_stepped->m_timers, this);
}

void ClockTimer::setInterval(int ms)
{
    m_timer.setInterval(ms);
}

void ClockTimer::setSingleShot(bool singleShot)
{
    m_timer.setSingleShot(singleShot);
}

void ClockTimer::start()
{
    if (!m_stepped)
        m_timer.start();
    else
        m_dueUs = m_stepped->nowUs() + qint64(m_timer.interval()) * 1000;
}

void ClockTimer::start(int ms)
{
    m_timer.setInterval(ms);
    start();
}

void ClockTimer::stop()
{
    m_timer.stop();
    m_dueUs = -1;
}

bool ClockTimer::isActive() const
{
    return m_stepped ? m_dueUs >= 0 : m_timer.isActive();
}

SteppedClock::SteppedClock()
    : m_driver(std::make_unique<SteppedAnimationDriver>(*this))
{
    m_driver->install();
}

SteppedClock::~SteppedClock()
{
    m_driver->uninstall();
    for (ClockTimer *timer : m_timers)
        timer->m_stepped = nullptr;
}

void SteppedClock::advance(int ms)
{
    const qint64 endUs = m_nowUs + qint64(ms) * 1000;
    do {
        QCoreApplication::processEvents();
        qint64 stepUs = qMin(endUs, m_nowUs + frameUs);
        for (const ClockTimer *timer : m_timers)
            if (timer->m_dueUs >= 0)
                stepUs = qMin(stepUs, qMax(m_nowUs, timer->m_dueUs));
        m_nowUs = stepUs;
        // Copied: a timeout may start, stop or destroy timers.
        const std::vector<ClockTimer *> timers = m_timers;
        for (ClockTimer *timer : timers) {
            if (std::find(m_timers.begin(), m_timers.end(), timer) == m_timers.end()
                || timer->m_dueUs < 0 || timer->m_dueUs > m_nowUs)
                continue;
            timer->m_dueUs = timer->m_timer.isSingleShot()
                ? -1
                : m_nowUs + qint64(qMax(1, timer->m_timer.interval())) * 1000;
            emit timer->timeout();
        }
        if (m_driver->isRunning())
            m_driver->advance();
        QCoreApplication::processEvents();
    } while (m_nowUs < endUs);
}

} // namespace calvenza
