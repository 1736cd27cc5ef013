#include "RxTimer.h"

#include "Exceptions.h"
#include "Handler.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
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

// What the worker shares with the calls it hands to the user-interface
// thread; such a call holds it, so it finds it even after the worker ended.
struct TTimerShared {
    std::mutex lock;
    std::condition_variable wake;
    bool paused = true;
    bool terminated = false;
    std::uint32_t interval = 1000;
    // Bumped by every change of the settings: a wait under way starts over.
    std::uint64_t generation = 0;
    // The call handed over and not run yet (0: none), and the last one numbered.
    std::uint64_t pending = 0;
    std::uint64_t lastTicket = 0;
};

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
        shared_->wake.notify_all();
    }

    void Run(std::uint32_t interval, TThreadPriority priority)
    {
        {
            std::lock_guard hold(shared_->lock);
            shared_->interval = interval;
            shared_->paused = false;
            ++shared_->generation;
        }
        shared_->wake.notify_all();
        if (!isRunning())
            start(QtPriority(priority));
        else
            setPriority(QtPriority(priority));
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

protected:
    void run() override
    {
        std::unique_lock hold(shared_->lock);
        for (;;) {
            shared_->wake.wait(hold, [&] { return shared_->terminated || !shared_->paused; });
            if (shared_->terminated)
                return;
            const std::uint64_t generation = shared_->generation;
            const auto interval = std::chrono::milliseconds(shared_->interval);
            if (shared_->wake.wait_for(hold, interval,
                                       [&] { return shared_->terminated || shared_->generation != generation; }))
                continue;
            hold.unlock();
            owner_.workerTick();
            hold.lock();
        }
    }

private:
    TRxTimer& owner_;
    std::shared_ptr<TTimerShared> shared_;
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
    const bool run = interval_ != 0 && enabled_ && HasOnTimer();
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

void TRxTimer::workerTick()
{
    if (syncEvent_)
        worker_->Handover([this] { runTick(); });
    else
        runTick();
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
