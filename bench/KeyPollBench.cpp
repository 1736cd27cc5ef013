// One pass of the key poll over the display's real key source with no key
// pressed (a playing tick's first step), beside a pass over a source that
// reports nothing, and what it would cost a core at the 10 ms timer's
// highest rate. The source reads the server's connection only when the
// event loop has seen it readable; without an event loop it asks the socket
// at every pass. Needs $DISPLAY (player_bench.sh runs it under its Xvfb).

#include "KeyState.h"
#include "Unit4.h"
#include "XKeySource.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>

using namespace quellora;
using Clock = std::chrono::steady_clock;

namespace {

class TSilentSource : public TKeySource {
public:
    std::uint16_t GetAsyncKeyState(int) override { return 0; }
};

double nsPerPass(TKeySource& source, int passes)
{
    SetKeySource(&source);
    int names = 0;
    const auto handle = [&](const std::string&) { ++names; };
    double best = 1e30;
    for (int round = 0; round < 5; ++round) {
        const auto t0 = Clock::now();
        for (int i = 0; i < passes; ++i)
            PollKeys(handle);
        best = std::min(best, std::chrono::duration<double, std::nano>(Clock::now() - t0).count() / passes);
    }
    SetKeySource(nullptr);
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    std::unique_ptr<TKeySource> asking = OpenXKeySource();
    if (!asking) {
        std::puts("key poll bench: no X display with XInput 2.1; nothing measured");
        return 0;
    }
    QCoreApplication app(argc, argv);
    std::unique_ptr<TKeySource> watched = OpenXKeySource();
    TSilentSource silent;
    const int passes = 20000;
    const double floor = nsPerPass(silent, passes);
    const double ticksPerSecond = 1000.0 / 10; // the timer's resolution
    for (const auto& [what, source] : {std::pair{"watched by the event loop", watched.get()},
                                       std::pair{"asking the socket each pass", asking.get()}}) {
        const double ns = nsPerPass(*source, passes);
        std::printf("key poll pass, %s: %.0f ns (silent source %.0f ns, x%.1f); at %.0f ticks/s %.4f %% of a "
                    "core (goal < 0.2 %%)\n",
                    what, ns, floor, ns / floor, ticksPerSecond, 100.0 * ns * ticksPerSecond / 1e9);
    }
}
