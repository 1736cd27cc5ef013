#include "Timer.h"

#include "Handler.h"

#include <algorithm>

namespace quellora {

TTimer::TTimer(QObject* owner) : QObject(owner)
{
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
}

void TTimer::tick()
{
    if (!OnTimer)
        return;
    try {
        OnTimer();
    } catch (const std::exception& e) {
        // Ticks go on while the report is on screen; a failure that repeats
        // on every tick is shown once, not once per tick.
        if (reporting_)
            return;
        reporting_ = true;
        RunHandler([&] { ShowErrorReport(e.what()); });
        reporting_ = false;
    }
}

void TTimer::SetInterval(int ms)
{
    if (ms == interval_)
        return;
    interval_ = ms;
    update();
}

void TTimer::TickNow()
{
    if (enabled_)
        tick();
}

void TTimer::SetEnabled(bool on)
{
    enabled_ = on;
    update();
}

int TTimer::EffectiveInterval() const
{
    return std::max(interval_, Resolution);
}

void TTimer::update()
{
    if (enabled_ && interval_ > 0)
        timer_.start(EffectiveInterval());
    else
        timer_.stop();
}

} // namespace quellora
