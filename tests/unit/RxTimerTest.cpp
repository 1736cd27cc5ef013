// The animation timer: when its worker runs, where the tick runs, and that
// destroying it ends the worker and drops a tick it handed over.

#include "RxTimer.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace quellora;

namespace {

// Processes events until `done` holds; false after ten seconds.
template <typename F>
bool PollEvents(F done)
{
    for (int i = 0; i < 2000 && !done(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

bool OnUiThread()
{
    return QThread::currentThread() == qApp->thread();
}

} // namespace

TEST(RxTimer, WorkerRunsOnlyWhileEnabledWithAHandlerAndAnInterval)
{
    TRxTimer timer;
    EXPECT_TRUE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 1000u);
    EXPECT_FALSE(timer.WorkerStarted()) << "no handler yet";
    timer.SetOnTimer([] {});
    EXPECT_TRUE(timer.WorkerRunning());
    timer.SetInterval(0);
    EXPECT_FALSE(timer.WorkerRunning());
    timer.SetInterval(20);
    EXPECT_TRUE(timer.WorkerRunning());
    timer.SetEnabled(false);
    EXPECT_FALSE(timer.WorkerRunning());
    timer.SetEnabled(true);
    timer.SetOnTimer(nullptr);
    EXPECT_FALSE(timer.WorkerRunning());
}

TEST(RxTimer, TicksRunOnTheUserInterfaceThreadByDefaultAndInTheWorkerWithoutSyncEvent)
{
    TRxTimer timer;
    timer.SetInterval(10);
    std::atomic<int> ticks{0}, offUi{0};
    timer.SetOnTimer([&] {
        offUi += !OnUiThread();
        ++ticks;
    });
    ASSERT_TRUE(PollEvents([&] { return ticks >= 3; }));
    EXPECT_EQ(offUi, 0);

    timer.SetSyncEvent(false);
    const int before = ticks;
    // No events are processed: the worker ticks by itself.
    for (int i = 0; i < 2000 && ticks < before + 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GE(ticks, before + 3);
    EXPECT_GE(offUi, 3);
}

TEST(RxTimer, WithoutThreadsTheMessageLoopTicks)
{
    TRxTimer timer;
    timer.SetThreaded(false);
    timer.SetInterval(10);
    int ticks = 0;
    timer.SetOnTimer([&] { ticks += OnUiThread(); });
    ASSERT_TRUE(PollEvents([&] { return ticks >= 3; }));
    EXPECT_FALSE(timer.WorkerStarted());
}

TEST(RxTimer, DestroyingTheTimerDropsTheTickItHandedOver)
{
    int ticks = 0;
    auto timer = std::make_unique<TRxTimer>();
    timer->SetInterval(10);
    timer->SetOnTimer([&] { ++ticks; });
    bool pending = false;
    for (int i = 0; i < 2000 && !(pending = timer->TickPending()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(pending);
    timer.reset();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(ticks, 0);
}
