// The banner's frame steps on the default skin: composing the next frame on
// the cached composite beside rebuilding it from the frames before, and a
// whole tick (step and paint) beside a repaint of the frame shown.

#include "GIFCtrl.h"

#include <QApplication>
#include <QLabel>
#include <QWindow>

#include <chrono>
#include <cstdio>

using namespace quellora;
using Clock = std::chrono::steady_clock;

namespace {

double Us(Clock::time_point since)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - since).count();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QWidget window;
    window.resize(511, 514);
    auto* skin = new QLabel(&window);
    skin->setPixmap(QPixmap(QUELLORA_DEFAULT_SKIN "/Bck.bmp"));
    skin->resize(513, 513);
    auto* banner = new TRxGIFAnimator(&window);
    banner->move(0, -8);
    banner->LoadFromFile(QUELLORA_DEFAULT_SKIN "/GifUp.gif");
    const int frames = banner->Image().Count();
    window.show();
    while (!window.windowHandle()->isExposed())
        QApplication::processEvents();

    // Every frame decoded once before measuring.
    TColor key = clNone;
    for (int i = 0; i < frames; ++i)
        banner->ComposeFrame(i, key);

    const int rounds = 200;
    double stepUs = 0, rebuildUs = 0;
    int steps = 0, rebuilds = 0;
    for (int r = 0; r < rounds; ++r) {
        banner->ComposeFrame(0, key);
        for (int i = 1; i < frames; ++i) {
            const auto t0 = Clock::now();
            banner->ComposeFrame(i, key);
            stepUs += Us(t0);
            ++steps;
        }
        // A jump: the composite is built from the frames before.
        for (int i = 2; i < frames; ++i) {
            banner->ComposeFrame(0, key);
            const auto t0 = Clock::now();
            banner->ComposeFrame(i, key);
            rebuildUs += Us(t0);
            ++rebuilds;
        }
    }
    std::printf("compose, %d frames of %dx%d: next frame %.1f us, rebuilt %.1f us (x%.1f)\n", frames,
                banner->Image().LogicalWidth(), banner->Image().LogicalHeight(), stepUs / steps,
                rebuildUs / rebuilds, (rebuildUs / rebuilds) / (stepUs / steps));

    const int ticks = 1000;
    auto t0 = Clock::now();
    for (int i = 0; i < ticks; ++i)
        banner->TimerTick();
    const double tickUs = Us(t0) / ticks;
    t0 = Clock::now();
    for (int i = 0; i < ticks; ++i)
        banner->repaint();
    const double repaintUs = Us(t0) / ticks;
    std::printf("tick (step and paint) %.1f us, repaint of the frame shown %.1f us (x%.1f)\n", tickUs, repaintUs,
                tickUs / repaintUs);
    std::printf("at 120 ms a frame: %.3f %% of a core\n", tickUs / 1200.0);
    return 0;
}
