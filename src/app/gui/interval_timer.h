#pragma once

#include <QTimer>

#include <functional>

namespace pelvano::gui {

// A repeating timer with the rules the About box's timing rests on: a new
// interval restarts a running countdown, but setting the interval it already
// has or enabling it while enabled leaves the countdown alone. QTimer itself
// restarts on every setInterval() and start(), which would let a second
// showing of the box stretch a countdown already under way.
class IntervalTimer {
public:
    explicit IntervalTimer(int intervalMs);
    IntervalTimer(const IntervalTimer&) = delete;
    IntervalTimer& operator=(const IntervalTimer&) = delete;

    int interval() const { return interval_; }
    void setInterval(int ms);
    bool enabled() const { return enabled_; }
    void setEnabled(bool enabled);

    // Time left of the running countdown in ms; -1 when none runs.
    int remainingTime() const;

    // Called on every tick.
    std::function<void()> onTimer;

private:
    void Restart();

    QTimer timer_;
    int interval_;
    bool enabled_ = false;
};

}  // namespace pelvano::gui
