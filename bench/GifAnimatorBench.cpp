// The banner's frame steps on the default skin: composing the next frame on
// the cached composite beside rebuilding it from the frames before, and a
// whole tick (step and paint) beside a whole repaint of the banner, with the
// area each step repaints.

#include "GIFCtrl.h"

#include <QApplication>
#include <QLabel>
#include <QPaintEvent>
#include <QWindow>

#include <chrono>
#include <cstdio>
#include <ctime>

using namespace quellora;
using Clock = std::chrono::steady_clock;

namespace {

double Us(Clock::time_point since)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - since).count();
}

// CPU time of this thread, in microseconds.
double CpuUs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
}

// Counts the pixels the banner repaints and the paints of the widgets beneath it.
class TPaintCount : public QObject {
public:
    TPaintCount() = default;
    TPaintCount& operator=(const TPaintCount& other)
    {
        BannerArea = other.BannerArea;
        Others = other.Others;
        return *this;
    }
    long long BannerArea = 0;
    int Others = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            if (qobject_cast<TRxGIFAnimator*>(watched)) {
                const QRect r = static_cast<QPaintEvent*>(event)->rect();
                BannerArea += qlonglong(r.width()) * r.height();
            } else {
                ++Others;
            }
        }
        return false;
    }
};

} // namespace

int main(int argc, char** argv)
{
    // On the X display when there is one (the steps' true cost: the
    // repaint reaches the server), else off screen.
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
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
    std::printf("platform %s\n", qPrintable(QGuiApplication::platformName()));
    std::printf("compose, %d frames of %dx%d: next frame %.1f us, rebuilt %.1f us (x%.1f)\n", frames,
                banner->Image().LogicalWidth(), banner->Image().LogicalHeight(), stepUs / steps,
                rebuildUs / rebuilds, (rebuildUs / rebuilds) / (stepUs / steps));

    // The steps of a whole pass, as the timer makes them: CPU time of this
    // thread, the area the banner repaints, and what else is painted.
    TPaintCount count;
    banner->installEventFilter(&count);
    skin->installEventFilter(&count);
    window.installEventFilter(&count);
    const int ticks = 50 * frames;
    for (int i = 0; i < frames; ++i)
        banner->TimerTick(); // the first pass keeps each frame's picture
    count = {};
    double t0 = CpuUs();
    const auto w0 = Clock::now();
    for (int i = 0; i < ticks; ++i)
        banner->TimerTick();
    const double tickUs = (CpuUs() - t0) / ticks;
    const double tickWallUs = Us(w0) / ticks;
    const double stepArea = double(count.BannerArea) / ticks;
    const int otherPaints = count.Others;
    // What every step cost before: the whole banner repainted, composed
    // over the skin rendered anew.
    t0 = CpuUs();
    for (int i = 0; i < ticks; ++i)
        banner->repaint();
    const double repaintUs = (CpuUs() - t0) / ticks;
    const int whole = banner->width() * banner->height();
    std::printf("frame step %.1f us CPU (%.1f us elapsed), repaints %.0f of the banner's %d pixels (%.1f %%), other widgets painted %d "
                "times; a whole repaint %.1f us CPU (x%.1f)\n",
                tickUs, tickWallUs, stepArea, whole, 100.0 * stepArea / whole, otherPaints, repaintUs, repaintUs / tickUs);
    // A pass of the default banner: the first frame 400 ms, the others 120 ms.
    const double passMs = 400.0 + 120.0 * (frames - 1);
    std::printf("steps over a pass of %.0f ms: %.4f %% of a core (whole repaints: %.4f %%)\n", passMs,
                100.0 * tickUs * frames / (passMs * 1000.0), 100.0 * repaintUs * frames / (passMs * 1000.0));
    return 0;
}
