#pragma once
// The message-loop timer. Whatever interval it is given, it never fires more
// often than every 10 ms, the resolution of this platform's timer; an
// interval of 0 fires never. Setting the interval it has already keeps the
// countdown running.

#include <QObject>
#include <QTimer>
#include <functional>

namespace quellora {

class TTimer : public QObject {
    Q_OBJECT
public:
    static constexpr int Resolution = 10;

    explicit TTimer(QObject* owner = nullptr);

    int Interval() const { return interval_; }
    void SetInterval(int ms);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool on);

    // The interval the loop really uses.
    int EffectiveInterval() const;

    // Runs one tick now, between the loop's own, when the timer is enabled;
    // a failure is reported as a tick's is.
    void TickNow();

    std::function<void()> OnTimer;

private:
    void update();
    void tick();
    bool reporting_ = false;
    QTimer timer_;
    int interval_ = 1000;
    bool enabled_ = true;
};

} // namespace quellora
