#include "RxTimer.h"

#include "Exceptions.h"
#include "Handler.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>

namespace quellora {

namespace {

QThread::Priority QtPriority(TThreadPriority priority)
{
    switch (priority) {
    case tpIdle: return QThread::IdlePriority;
    case tpLowest: return QThread::LowestPriority;
    case tpLower: return QThread::LowPriority;
    case tpNormal: return QThread::NormalPriority;
    case tpHigher: return QThread::HighPriority;
    case tpHighest: return QThread::HighestPriority;
    case tpTimeCritical: return QThread::TimeCriticalPriority;
    }
    return QThread::NormalPriority;
}

bool OnUiThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

} // namespace

using Clock = std::chrono::steady_clock;

// What the worker shares with the calls it hands to the user-interface
// thread; such a call holds it, so it finds it even after the worker ended.
struct TTimerShared {
    std::mutex lock;
    std::condition_variable wake;
    bool paused = true;
    // Written under the lock; the user-interface thread reads these two
    // without it before running a tick handed over, so that it does not wait
    // for the worker, which has just posted the tick and is about to sleep.
    std::atomic<bool> terminated = false;
    std::uint32_t interval = 1000;
    // Bumped by every change of the settings: a wait under way starts over.
    std::uint64_t generation = 0;
    // The call handed over and not run yet (0: none), and the last one numbered.
    std::atomic<std::uint64_t> pending = 0;
    std::uint64_t lastTicket = 0;
    // A tick handed over: when, how long the last one took to run, and when
    // the worker means to look again.
    Clock::time_point handedAt;
    Clock::duration lastRun{};
    Clock::time_point lookAt;
    // When the next tick is due, once the last one has run.
    Clock::time_point dueAt;
};

namespace {

// A tick handed to the user-interface thread.
class TTickEvent : public QEvent {
public:
    TTickEvent(std::shared_ptr<TTimerShared> shared, std::uint64_t ticket)
        : QEvent(EventType()), Shared(std::move(shared)), Ticket(ticket)
    {
    }
    static QEvent::Type EventType()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    std::shared_ptr<TTimerShared> Shared;
    std::uint64_t Ticket;
};

// The worker looks again this long after the tick it handed over should
// have run and its interval passed, so that it need not be woken when the
// tick is done: the next frame comes at most this much late.
constexpr auto LookAgainMargin = std::chrono::microseconds(500);
// A tick that leaves the worker asleep this much past the next tick's due
// time wakes it; a worker that looks this much before the due time hands
// the next tick over at once rather than sleep again for so little.
constexpr auto LateTolerance = std::chrono::milliseconds(2);

} // namespace

class TTimerThread : public QThread {
public:
    explicit TTimerThread(TRxTimer& owner) : owner_(owner), shared_(std::make_shared<TTimerShared>()) {}

    ~TTimerThread() override { End(); }

    // Tells the worker to end, drops a handed-over call that has not run, and waits for the worker.
    void End()
    {
        {
            std::lock_guard hold(shared_->lock);
            shared_->terminated = true;
            shared_->pending = 0;
        }
        shared_->wake.notify_all();
        wait();
    }

    void Pause()
    {
        std::lock_guard hold(shared_->lock);
        shared_->paused = true;
        ++shared_->generation;
        // A worker waiting for a tick to run finds the change when it looks again.
        if (shared_->pending == 0)
            shared_->wake.notify_all();
    }

    void Run(std::uint32_t interval, TThreadPriority priority)
    {
        {
            std::lock_guard hold(shared_->lock);
            shared_->interval = interval;
            shared_->paused = false;
            ++shared_->generation;
            // A tick under way sets the next due time when it has run.
            if (shared_->pending == 0) {
                shared_->dueAt = Clock::now() + std::chrono::milliseconds(interval);
                shared_->wake.notify_all();
            }
        }
        if (!isRunning()) {
            start(QtPriority(priority));
            priority_ = priority;
        } else if (priority != priority_) {
            setPriority(QtPriority(priority));
            priority_ = priority;
        }
    }

    bool Running() const
    {
        std::lock_guard hold(shared_->lock);
        return isRunning() && !shared_->paused && !shared_->terminated;
    }

    bool Pending() const
    {
        std::lock_guard hold(shared_->lock);
        return shared_->pending != 0;
    }

    // Runs `call` on the user-interface thread and waits until it has run,
    // or until the worker is told to end, which drops the call.
    void Handover(std::function<void()> call)
    {
        std::unique_lock hold(shared_->lock);
        if (shared_->terminated)
            return;
        const std::uint64_t ticket = ++shared_->lastTicket;
        shared_->pending = ticket;
        QMetaObject::invokeMethod(
            &owner_,
            [shared = shared_, ticket, call = std::move(call)] {
                {
                    std::lock_guard hold(shared->lock);
                    if (shared->terminated || shared->pending != ticket)
                        return;
                }
                call();
                {
                    std::lock_guard hold(shared->lock);
                    if (shared->pending == ticket)
                        shared->pending = 0;
                }
                shared->wake.notify_all();
            },
            Qt::QueuedConnection);
        shared_->wake.wait(hold, [&] { return shared_->terminated || shared_->pending != ticket; });
    }

    // The user-interface thread runs a tick the worker handed over, unless
    // it was dropped, and sets when the next one is due.
    static void RunHandedTick(TRxTimer& owner, const TTickEvent& tick)
    {
        TTimerShared& shared = *tick.Shared;
        if (shared.terminated || shared.pending != tick.Ticket)
            return;
        owner.runTick();
        std::lock_guard hold(shared.lock);
        if (shared.pending != tick.Ticket)
            return;
        shared.pending = 0;
        const Clock::time_point now = Clock::now();
        shared.lastRun = now - shared.handedAt;
        shared.dueAt = now + std::chrono::milliseconds(shared.interval);
        // Woken only when it would look too late.
        if (shared.lookAt > shared.dueAt + LateTolerance)
            shared.wake.notify_all();
    }

protected:
    void run() override
    {
        TTimerShared& shared = *shared_;
        std::unique_lock hold(shared.lock);
        for (;;) {
            if (shared.terminated)
                return;
            if (shared.pending != 0) {
                // The wait for the next tick starts once the one handed over
                // has run: look again when that should be over, and while it
                // has not run, an interval later each time, so that the tick
                // running meanwhile need not wake this thread.
                const std::uint64_t ticket = shared.pending;
                if (!shared.wake.wait_until(hold, shared.lookAt,
                                            [&] { return shared.terminated || shared.pending != ticket; }))
                    shared.lookAt += std::chrono::milliseconds(std::max<std::uint32_t>(shared.interval, 1));
                continue;
            }
            if (shared.paused) {
                shared.wake.wait(hold, [&] { return shared.terminated || !shared.paused; });
                continue;
            }
            const std::uint64_t generation = shared.generation;
            if (Clock::now() + LateTolerance < shared.dueAt &&
                shared.wake.wait_until(hold, shared.dueAt,
                                       [&] { return shared.terminated || shared.generation != generation; }))
                continue;
            if (owner_.syncEvent_) {
                // Handed over: the user-interface thread runs it and sets the next due time.
                const std::uint64_t ticket = ++shared.lastTicket;
                shared.pending = ticket;
                shared.handedAt = Clock::now();
                shared.lookAt = shared.handedAt + shared.lastRun + std::chrono::milliseconds(shared.interval) +
                                LookAgainMargin;
                // Posted without the lock: the user-interface thread wakes at
                // once and takes it, and would otherwise wait for it here.
                hold.unlock();
                QCoreApplication::postEvent(&owner_, new TTickEvent(shared_, ticket));
                hold.lock();
                continue;
            }
            hold.unlock();
            owner_.runTick();
            hold.lock();
            shared.dueAt = Clock::now() + std::chrono::milliseconds(shared.interval);
        }
    }

private:
    TRxTimer& owner_;
    std::shared_ptr<TTimerShared> shared_;
    TThreadPriority priority_ = tpNormal;
};

TRxTimer::TRxTimer(QObject* owner) : QObject(owner) {}

TRxTimer::~TRxTimer()
{
    Shutdown();
}

void TRxTimer::Shutdown()
{
    destroying_ = true;
    enabled_ = false;
    {
        std::lock_guard hold(handlerLock_);
        onTimer_ = nullptr;
    }
    // The worker may still be in a tick that reaches this timer: it ends
    // while worker_ is still in place.
    if (worker_) {
        worker_->End();
        worker_.reset();
    }
    messageTimer_.reset();
}

void TRxTimer::SetEnabled(bool enabled)
{
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    ApplyTimerSettings();
}

void TRxTimer::SetInterval(std::uint32_t interval)
{
    if (interval == interval_.load())
        return;
    interval_ = interval;
    ApplyTimerSettings();
}

void TRxTimer::SetSyncEvent(bool sync)
{
    syncEvent_ = sync;
}

void TRxTimer::SetThreaded(bool threaded)
{
    if (threaded == threaded_)
        return;
    threaded_ = threaded;
    ApplyTimerSettings();
}

void TRxTimer::SetSuspended(bool suspended)
{
    if (suspended == suspended_)
        return;
    suspended_ = suspended;
    ApplyTimerSettings();
}

void TRxTimer::SetThreadPriority(TThreadPriority priority)
{
    if (priority == priority_)
        return;
    priority_ = priority;
    if (threaded_)
        ApplyTimerSettings();
}

bool TRxTimer::HasOnTimer() const
{
    std::lock_guard hold(handlerLock_);
    return bool(onTimer_);
}

void TRxTimer::SetOnTimer(std::function<void()> handler)
{
    const bool had = HasOnTimer();
    const bool has = bool(handler);
    {
        std::lock_guard hold(handlerLock_);
        onTimer_ = std::move(handler);
    }
    if (has && !had)
        reported_ = false;
    if (has != had)
        ApplyTimerSettings();
}

void TRxTimer::Tick()
{
    if (!enabled_ || destroying_)
        return;
    std::function<void()> handler;
    {
        std::lock_guard hold(handlerLock_);
        handler = onTimer_;
    }
    if (handler)
        handler();
}

void TRxTimer::ApplyTimerSettings()
{
    const bool run = interval_ != 0 && enabled_ && !suspended_ && HasOnTimer();
    if (worker_)
        worker_->Pause();
    if (threaded_) {
        messageTimer_.reset();
        if (run)
            worker().Run(interval_, priority_);
        return;
    }
    if (!messageTimer_) {
        messageTimer_ = std::make_unique<QTimer>();
        messageTimer_->setTimerType(Qt::PreciseTimer);
        connect(messageTimer_.get(), &QTimer::timeout, this, [this] { runTick(); });
    }
    messageTimer_->stop();
    if (run)
        messageTimer_->start(int(std::min<std::uint32_t>(interval_.load(), 0x7FFFFFFF)));
}

TTimerThread& TRxTimer::worker()
{
    if (!worker_)
        worker_ = std::make_unique<TTimerThread>(*this);
    return *worker_;
}

bool TRxTimer::event(QEvent* event)
{
    if (event->type() == TTickEvent::EventType()) {
        TTimerThread::RunHandedTick(*this, static_cast<const TTickEvent&>(*event));
        return true;
    }
    return QObject::event(event);
}

void TRxTimer::runTick()
{
    try {
        Tick();
    } catch (const std::exception& e) {
        report(e.what());
    } catch (...) {
        report("Unknown exception");
    }
}

void TRxTimer::report(const std::string& message)
{
    // A failure that comes back on every tick is shown once.
    if (reported_.exchange(true))
        return;
    if (OnUiThread())
        RunHandler([&] { ShowErrorReport(message); });
    else
        QMetaObject::invokeMethod(this, [message] { RunHandler([&] { ShowErrorReport(message); }); },
                                  Qt::QueuedConnection);
}

void TRxTimer::Synchronize(const std::function<void()>& call)
{
    if (OnUiThread() || !worker_) {
        call();
        return;
    }
    worker_->Handover(call);
}

bool TRxTimer::WorkerRunning() const
{
    return worker_ && worker_->Running();
}

bool TRxTimer::WorkerStarted() const
{
    return worker_ && worker_->isRunning();
}

bool TRxTimer::TickPending() const
{
    return worker_ && worker_->Pending();
}

} // namespace quellora
