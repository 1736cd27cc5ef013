// The gauge over a simulated three-minute track (a tick every millisecond)
// and the cost of one paint, beside a floor; and the bitmap copies the
// banner uses, beside QPainter doing the same copy.

#include "Gauges.h"
#include "Graphics.h"

#include <QApplication>
#include <QPainter>

#include <chrono>
#include <cstdio>

using namespace quellora;
using Clock = std::chrono::steady_clock;

namespace {

template <typename F>
double bestUs(int runs, int reps, F f)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        for (int r = 0; r < reps; ++r)
            f();
        best = std::min(best, std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / reps);
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    TGauge gauge;
    gauge.resize(465, 12);
    gauge.SetForeColor(RGB(255, 128, 0));
    gauge.SetBackColor(clGray);
    gauge.show();
    QApplication::processEvents();

    // A 3-minute track: the playback tick sets the length, then the position.
    const int length = 180000;
    const int before = gauge.RepaintCount();
    const auto t0 = Clock::now();
    for (int position = 0; position <= length; ++position) {
        gauge.SetMaxValue(length);
        gauge.SetProgress(position);
    }
    const double trackMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    std::printf("track of %d ticks: %.1f ms in all, %.3f us a tick, %d repaints\n", length + 1, trackMs,
                trackMs * 1000.0 / (length + 1), gauge.RepaintCount() - before);

    gauge.SetProgress(length / 2);
    const double renderUs = bestUs(5, 200, [&] { (void)gauge.Render(); });
    // Floor: one off-screen image of the same size, filled and copied once.
    QImage screen(465, 12, QImage::Format_RGB32);
    const double floorUs = bestUs(5, 200, [&] {
        QImage image(465, 12, QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter(&screen).drawImage(0, 0, image);
    });
    std::printf("one gauge picture: %.1f us (floor %.1f us, ratio %.1f)\n", renderUs, floorUs, renderUs / floorUs);

    // Banner-sized copies.
    TBitmap frame(513, 80), target(513, 80);
    frame.Canvas().Brush.Color = clRed;
    frame.Canvas().FillRect(Rect(0, 0, 513, 80));
    const double bltUs = bestUs(5, 200, [&] { BitBlt(target, 0, 0, 513, 80, &frame, 0, 0, SRCCOPY); });
    QImage qtarget(513, 80, QImage::Format_RGB32);
    const double qtUs = bestUs(5, 200, [&] { QPainter(&qtarget).drawImage(0, 0, frame.Image()); });
    std::printf("513x80 SRCCOPY: %.1f us (QPainter %.1f us, ratio %.2f)\n", bltUs, qtUs, bltUs / qtUs);
    const double stretchUs =
        bestUs(5, 200, [&] { StretchBlt(target, 0, 0, 513, 80, &frame, 0, 0, 256, 40, SRCINVERT); });
    std::printf("256x40 -> 513x80 stretched SRCINVERT: %.1f us\n", stretchUs);
    TBitmap mask(513, 80, pf1bit);
    const double maskUs = bestUs(5, 200, [&] { BitBlt(mask, 0, 0, 513, 80, &frame, 0, 0, SRCCOPY); });
    std::printf("513x80 colour -> monochrome mask: %.1f us\n", maskUs);
    return 0;
}
