#include "interval_timer.h"

namespace pelvano::gui {

IntervalTimer::IntervalTimer(int intervalMs) : interval_(intervalMs)
{
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
        if (onTimer)
            onTimer();
    });
}

void IntervalTimer::setInterval(int ms)
{
    if (ms == interval_)
        return;
    interval_ = ms;
    if (enabled_)
        Restart();
}

void IntervalTimer::setEnabled(bool enabled)
{
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    Restart();
}

void IntervalTimer::Restart()
{
    // An interval of 0 ticks never, rather than on every pass of the loop.
    if (enabled_ && interval_ > 0)
        timer_.start(interval_);
    else
        timer_.stop();
}

int IntervalTimer::remainingTime() const
{
    return timer_.isActive() ? timer_.remainingTime() : -1;
}

}  // namespace pelvano::gui
