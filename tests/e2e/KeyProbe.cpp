// Prints what the X key source reports, for the end-to-end test of the key
// state: "ready" once it listens, then "press <code>" for every code pressed
// since the previous poll and "down <code>" / "up <code>" when a code's down
// state changes. Polls every 10 ms like the player's timer; ends on SIGTERM.

#include "XKeySource.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <thread>

using namespace quellora;

int main(int argc, char** argv)
{
    std::unique_ptr<TKeySource> keys = OpenXKeySource(argc > 1 ? argv[1] : nullptr);
    if (!keys) {
        std::puts("no keys");
        return 0;
    }
    std::puts("ready");
    std::fflush(stdout);
    std::array<bool, KeyCodeCount> down{};
    for (;;) {
        keys->Drain();
        for (int code = 1; code < KeyCodeCount - 1; ++code) {
            const std::uint16_t word = keys->GetAsyncKeyState(code);
            if (word & KeyPressedBit)
                std::printf("press %d\n", code);
            const bool isDown = (word & KeyDownBit) != 0;
            if (isDown != down[std::size_t(code)])
                std::printf("%s %d\n", isDown ? "down" : "up", code);
            down[std::size_t(code)] = isDown;
        }
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
