#pragma once
// The animation timer. Threaded (the default), a worker thread sleeps for
// the interval and runs the tick: handed to the user-interface thread, the
// worker waiting until it has run (SyncEvent), or in the worker itself.
// Not threaded, a message-loop timer runs the tick.
//
// The worker starts on the first run that needs it and sleeps while the
// timer is disabled, has no handler, has an interval of 0 or is suspended.
// Settings changed while it waits or while it waits for a tick take effect
// from its next wait. Destroying the timer ends the worker before anything
// else goes: a tick handed to the user-interface thread that has not run yet
// is dropped.
//
// A tick handed over costs one wake-up of each thread: the worker is not
// woken when the tick has run, but looks again when the tick should have run
// and the interval after it passed (a fraction of a millisecond late at
// most); a tick that has not run by then is looked for an interval later,
// and one due within a couple of milliseconds is handed over at once.

#include <QObject>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace quellora {

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TTimerThread;

class TRxTimer : public QObject {
    Q_OBJECT
public:
    explicit TRxTimer(QObject* owner = nullptr);
    ~TRxTimer() override;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    // Milliseconds between ticks; 0 stops the ticks.
    std::uint32_t Interval() const { return interval_.load(); }
    void SetInterval(std::uint32_t interval);
    // In thread mode: the tick runs on the user-interface thread.
    bool SyncEvent() const { return syncEvent_; }
    void SetSyncEvent(bool sync);
    bool Threaded() const { return threaded_; }
    void SetThreaded(bool threaded);
    TThreadPriority ThreadPriority() const { return priority_; }
    void SetThreadPriority(TThreadPriority priority);
    bool HasOnTimer() const;
    void SetOnTimer(std::function<void()> handler);
    // Suspended, no tick comes and the worker sleeps until it is woken,
    // whatever the other settings say: the owner suspends it while nobody
    // can see what the ticks would draw. Released, the next tick comes one
    // interval later.
    void SetSuspended(bool suspended);

    // Fires OnTimer when the timer is enabled, not being destroyed and has a handler.
    void Tick();

    // Runs `call` on the user-interface thread while the calling worker
    // waits for it. On the user-interface thread it runs at once; once the
    // worker has been told to end it is dropped.
    void Synchronize(const std::function<void()>& call);

    // Ends the worker, waiting for it, and stops the message-loop timer:
    // no tick runs after this, and a tick handed over and not run yet is
    // dropped. The timer stays inert until it is destroyed.
    void Shutdown();

    // The worker exists and sleeps for the interval rather than idling.
    bool WorkerRunning() const;
    bool WorkerStarted() const;
    // A tick has been handed to the user-interface thread and not run yet.
    bool TickPending() const;

protected:
    // Runs the ticks the worker hands over.
    bool event(QEvent* event) override;

private:
    friend class TTimerThread;

    void ApplyTimerSettings();
    TTimerThread& worker();
    // The tick as the worker or the message-loop timer runs it: a failure is
    // reported once, and the timer goes on.
    void runTick();
    void report(const std::string& message);

    std::atomic<bool> enabled_{true};
    // A tick in the worker may set it (AsyncDrawing) while this thread reads it.
    std::atomic<std::uint32_t> interval_{1000};
    std::atomic<bool> syncEvent_{true};
    bool threaded_ = true;
    bool suspended_ = false;
    TThreadPriority priority_ = tpNormal;
    // The worker may read the handler while the user-interface thread sets it.
    mutable std::mutex handlerLock_;
    std::function<void()> onTimer_;
    std::atomic<bool> destroying_{false};
    std::atomic<bool> reported_{false};
    std::unique_ptr<TTimerThread> worker_;
    std::unique_ptr<QTimer> messageTimer_;
};

} // namespace quellora
