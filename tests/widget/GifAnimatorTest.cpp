// The GIF animator: frame steps, delays, looping, the composite's disposal
// methods, what its paint shows, and its worker thread. Frames are stepped
// by hand where the order matters; the worker's own ticks are awaited by
// polling.

#include "../unit/GifTestData.h"
#include "Dialogs.h"
#include "Exceptions.h"
#include "GIFCtrl.h"
#include "TempDir.h"

#include <QApplication>
#include <QProcess>
#include <QThread>
#include <QWindow>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace quellora;
using namespace quellora::test;

namespace {

struct FrameSpec {
    int left, top, width, height;
    std::vector<std::uint8_t> pixels;
    int disposal = 1;
    int delayCs = 100;
    int key = -1; // transparent index, -1 for none
};

FrameSpec Solid(int left, int top, int width, int height, std::uint8_t index, int disposal = 1, int delayCs = 100,
                int key = -1)
{
    return {left, top, width, height, std::vector<std::uint8_t>(size_t(width * height), index), disposal, delayCs, key};
}

// A GIF with a 2-bit global table (colours TableColor(0..3)).
std::string MakeGif(int width, int height, const std::vector<FrameSpec>& frames, int background = 3)
{
    std::string gif = Header(width, height, 2, background);
    for (const FrameSpec& f : frames)
        gif += GraphicControl(f.disposal, f.delayCs, f.key) +
               ImageBlock(f.left, f.top, f.width, f.height, Compressed(f.pixels, f.width, f.height, 2));
    return gif + ";";
}

std::vector<FrameSpec> ThreeFrames(int delayCs)
{
    return {Solid(0, 0, 2, 1, 0, 1, delayCs), Solid(0, 0, 2, 1, 1, 1, delayCs), Solid(0, 0, 2, 1, 2, 1, delayCs)};
}

QRgb Rgb(TColor color)
{
    return ColorToQRgb(color);
}

const QRgb Yellow = qRgb(255, 255, 0);
const QRgb Green = qRgb(0, 160, 0);

class GifAnimator : public ::testing::Test {
protected:
    QWidget parent;
    QWidget* under = nullptr; // a control beneath the animator
    TRxGIFAnimator* anim = nullptr;
    std::vector<std::string> reports;
    std::vector<int> frames;        // FrameIndex at each OnFrameChanged
    std::vector<bool> onUiThread;   // where each OnFrameChanged ran

    void SetUp() override
    {
        SetDialogSink([this](DialogKind, const std::string&, const std::string& text) { reports.push_back(text); });
        parent.resize(64, 32);
        paint(&parent, Yellow);
        under = new QWidget(&parent);
        under->setGeometry(2, 0, 2, 2);
        paint(under, Green);
        anim = new TRxGIFAnimator(&parent);
        anim->move(0, 0);
        anim->OnFrameChanged = [this] {
            frames.push_back(anim->FrameIndex());
            onUiThread.push_back(QThread::currentThread() == qApp->thread());
        };
    }

    void TearDown() override
    {
        delete anim;
        SetDialogSink(nullptr);
    }

    static void paint(QWidget* widget, QRgb color)
    {
        QPalette pal = widget->palette();
        pal.setColor(QPalette::Window, QColor(color));
        widget->setPalette(pal);
        widget->setAutoFillBackground(true);
    }

    void load(const std::string& gif)
    {
        TGIFImage image;
        Load(image, gif);
        anim->SetImage(image);
    }

    QImage picture() { return anim->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    // Shows the parent and waits until it is on screen, where repaints paint.
    void showParent()
    {
        parent.show();
        ASSERT_TRUE(pollEvents([&] { return parent.windowHandle() && parent.windowHandle()->isExposed(); }));
    }

    // Processes events until `done` holds; false after ten seconds.
    template <typename F>
    bool pollEvents(F done)
    {
        for (int i = 0; i < 2000 && !done(); ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return done();
    }
};

std::vector<TColor> Row(TBitmap& bitmap, int y)
{
    std::vector<TColor> row;
    for (int x = 0; x < bitmap.Width(); ++x)
        row.push_back(bitmap.Pixel(x, y));
    return row;
}

} // namespace

TEST_F(GifAnimator, DisposalMethodsShapeTheComposite)
{
    // Frame 1 is cleared after it (2), frame 2 is undone after it (3).
    load(MakeGif(4, 2,
                 {Solid(0, 0, 4, 2, 0), Solid(0, 0, 2, 1, 1, 2, 100, 3), Solid(2, 0, 2, 1, 2, 3), Solid(0, 1, 1, 1, 1)}));
    const TColor c0 = TableColor(0), c1 = TableColor(1), c2 = TableColor(2), back = TableColor(3);
    TColor key = clNone;

    TBitmap* first = &anim->ComposeFrame(0, key);
    EXPECT_EQ(Row(*first, 0), (std::vector<TColor>{c0, c0, c0, c0}));
    TBitmap& one = anim->ComposeFrame(1, key);
    EXPECT_EQ(&one, first) << "the next frame is drawn on the cached composite";
    EXPECT_EQ(Row(one, 0), (std::vector<TColor>{c1, c1, c0, c0}));
    // Frame 1's area goes back to the header's background colour.
    TBitmap& two = anim->ComposeFrame(2, key);
    EXPECT_EQ(Row(two, 0), (std::vector<TColor>{back, back, c2, c2}));
    EXPECT_EQ(Row(two, 1), (std::vector<TColor>{c0, c0, c0, c0}));
    // After the restore-previous frame the picture is rebuilt without it.
    TBitmap& three = anim->ComposeFrame(3, key);
    EXPECT_EQ(Row(three, 0), (std::vector<TColor>{back, back, c0, c0}));
    EXPECT_EQ(Row(three, 1), (std::vector<TColor>{c1, c0, c0, c0}));
    EXPECT_EQ(key, clNone);

    // A jump rebuilds the same picture as the steps did.
    anim->ComposeFrame(0, key);
    TBitmap& jumped = anim->ComposeFrame(2, key);
    EXPECT_EQ(Row(jumped, 0), (std::vector<TColor>{back, back, c2, c2}));
    EXPECT_EQ(anim->CachedIndex(), 2);
    // Beyond the last frame means the last frame.
    anim->ComposeFrame(9, key);
    EXPECT_EQ(anim->CachedIndex(), 3);
}

TEST_F(GifAnimator, RestoredFramesAreLeftOutAsImageMagickCoalescesThem)
{
    // Full-screen opaque frames undone after them (3) start no rebuild:
    // what the frames before them drew shows again, stepped or jumped to.
    auto pattern = [](int left, int top, int width, int height, int seed, int disposal) {
        FrameSpec frame = Solid(left, top, width, height, 0, disposal);
        for (size_t i = 0; i < frame.pixels.size(); ++i)
            frame.pixels[i] = std::uint8_t((i * 7 + size_t(seed)) / 3 % 4);
        return frame;
    };
    const std::string gif = MakeGif(8, 6,
                                    {pattern(0, 0, 8, 6, 0, 1), pattern(0, 0, 8, 6, 1, 3), pattern(2, 1, 3, 2, 2, 1),
                                     pattern(0, 0, 8, 6, 3, 3), pattern(5, 2, 2, 3, 4, 3), pattern(0, 5, 4, 1, 5, 1)});
    TempDir dir;
    WriteBytes(dir.file("restore.gif"), gif);
    QProcess convert;
    convert.start("convert", {QString::fromStdString(dir.file("restore.gif")), "-coalesce", "-alpha", "off", "-depth",
                              "8", "+adjoin", QString::fromStdString(dir.file("c-%d.ppm"))});
    ASSERT_TRUE(convert.waitForFinished(60000));
    ASSERT_EQ(convert.exitCode(), 0) << convert.readAllStandardError().toStdString();
    std::vector<QImage> coalesced;
    for (int i = 0; i < 6; ++i) {
        coalesced.push_back(QImage(QString::fromStdString(dir.file("c-" + std::to_string(i) + ".ppm"))));
        ASSERT_EQ(coalesced.back().size(), QSize(8, 6)) << i;
    }
    load(gif);
    auto expectCoalesced = [&](int index, const char* how) {
        TColor key = clNone;
        TBitmap& composite = anim->ComposeFrame(index, key);
        int mismatched = 0;
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 8; ++x)
                mismatched += Rgb(composite.Pixel(x, y)) != coalesced[size_t(index)].pixel(x, y);
        EXPECT_EQ(mismatched, 0) << how << " frame " << index;
    };
    for (int i = 0; i < 6; ++i)
        expectCoalesced(i, "stepped to");
    for (int i = 5; i >= 1; --i) {
        TColor key = clNone;
        anim->ComposeFrame(0, key);
        expectCoalesced(i, "jumped to");
    }
}

TEST_F(GifAnimator, ClearedAreaTakesTheKeyThenTheBackdropThenTheWindowColour)
{
    struct Case {
        const char* what;
        int firstKey, secondKey, background;
        TColor cleared, key;
    };
    const Case cases[] = {
        {"first frame keyed", 3, -1, 2, TableColor(3), TableColor(3)},
        {"image transparent", -1, 3, 2, TableColor(2), clNone},
        {"nothing transparent", -1, -1, 2, ColorToRGB(clWindow), clNone},
    };
    for (const Case& c : cases) {
        load(MakeGif(2, 1, {Solid(0, 0, 2, 1, 0, 1, 100, c.firstKey), Solid(0, 0, 1, 1, 1, 2, 100, c.secondKey),
                            Solid(1, 0, 1, 1, 2)},
                     c.background));
        TColor key = clNone;
        for (int i = 0; i <= 2; ++i)
            anim->ComposeFrame(i, key);
        TBitmap& composite = anim->ComposeFrame(2, key);
        EXPECT_EQ(composite.Pixel(0, 0), c.cleared) << c.what;
        EXPECT_EQ(composite.Pixel(1, 0), TableColor(2)) << c.what;
        EXPECT_EQ(key, c.key) << c.what;
    }
}

TEST_F(GifAnimator, TicksStepThroughTheFramesAndTakeEachFramesDelay)
{
    load(MakeGif(2, 1, {Solid(0, 0, 2, 1, 0, 1, 0), Solid(0, 0, 2, 1, 1, 1, 3), Solid(0, 0, 2, 1, 2, 1, 2000),
                        Solid(0, 0, 2, 1, 3, 1, 6)}));
    parent.show();
    EXPECT_EQ(anim->FrameIndex(), 0);
    EXPECT_EQ(anim->Timer().Interval(), 50u) << "a delay of 0 ticks at 20 a second at most";
    std::vector<std::uint32_t> intervals;
    for (int i = 0; i < 4; ++i) {
        anim->TimerTick();
        intervals.push_back(anim->Timer().Interval());
    }
    EXPECT_EQ(frames, (std::vector<int>{1, 2, 3, 0}));
    EXPECT_EQ(intervals, (std::vector<std::uint32_t>{50, 10000, 60, 50}));
    EXPECT_EQ(picture().pixel(0, 0), Rgb(TableColor(0)));
    anim->TimerTick();
    EXPECT_EQ(picture().pixel(1, 0), Rgb(TableColor(1))) << "each tick paints its frame";
    EXPECT_FALSE(anim->Timer().WorkerStarted()) << "nothing animates while Animate is off";

    // Hidden, the control does not step.
    parent.hide();
    anim->TimerTick();
    EXPECT_EQ(anim->FrameIndex(), 1);
}

TEST_F(GifAnimator, WithoutLoopTheAnimationStopsBackAtFrameZero)
{
    int starts = 0, stops = 0;
    anim->OnStart = [&] { ++starts; };
    anim->OnStop = [&] { ++stops; };
    anim->SetLoop(false);
    load(MakeGif(2, 1, ThreeFrames(1000)));
    anim->SetAnimate(true);
    EXPECT_FALSE(anim->Timer().WorkerRunning()) << "nobody sees the control yet";
    parent.show();
    EXPECT_TRUE(anim->Timer().WorkerRunning());
    // Off the screen the worker sleeps until the control is back.
    parent.hide();
    EXPECT_FALSE(anim->Timer().WorkerRunning());
    EXPECT_TRUE(anim->Animate());
    parent.show();
    EXPECT_TRUE(anim->Timer().WorkerRunning());
    for (int i = 0; i < 3; ++i)
        anim->TimerTick();
    EXPECT_EQ(frames, (std::vector<int>{1, 2, 0}));
    EXPECT_FALSE(anim->Animate());
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(stops, 1);
    EXPECT_FALSE(anim->Timer().WorkerRunning());
}

TEST_F(GifAnimator, SingleFrameNeverAdvancesNorWakesTheWorker)
{
    load(MakeGif(2, 1, {Solid(0, 0, 2, 1, 1, 1, 100)}));
    parent.show();
    anim->SetAnimate(true);
    EXPECT_EQ(anim->FrameDelay(), 0u);
    EXPECT_EQ(anim->Timer().Interval(), 0u);
    EXPECT_FALSE(anim->Timer().WorkerRunning());
    anim->TimerTick();
    EXPECT_EQ(anim->FrameIndex(), 0);
    EXPECT_TRUE(frames.empty());
}

TEST_F(GifAnimator, FrameIndexOutsideTheFramesOrUnchangedIsIgnored)
{
    load(MakeGif(2, 1, {Solid(0, 0, 2, 1, 0, 1, 10), Solid(0, 0, 2, 1, 1, 1, 10), Solid(0, 0, 2, 1, 2, 1, 70)}));
    for (int index : {3, -1, 0})
        anim->SetFrameIndex(index);
    EXPECT_TRUE(frames.empty());
    EXPECT_EQ(anim->FrameIndex(), 0);
    anim->SetFrameIndex(2);
    EXPECT_EQ(frames, std::vector<int>{2});
    EXPECT_EQ(anim->Timer().Interval(), 700u);
    EXPECT_EQ(picture().pixel(0, 0), Rgb(TableColor(2)));
}

TEST_F(GifAnimator, TransparentPixelsShowTheParentAndTheControlsBeneath)
{
    // Index 3 is transparent; the control beneath covers columns 2 and 3.
    FrameSpec frame = Solid(0, 0, 4, 2, 1, 1, 100, 3);
    frame.pixels = {3, 1, 3, 1, 1, 3, 3, 1};
    load(MakeGif(4, 2, {frame}));
    EXPECT_EQ(anim->size(), QSize(4, 2)) << "auto-size takes the logical screen";
    QImage shown = picture();
    EXPECT_EQ(shown.pixel(0, 0), Yellow);
    EXPECT_EQ(shown.pixel(1, 0), Rgb(TableColor(1)));
    EXPECT_EQ(shown.pixel(2, 0), Green);
    EXPECT_EQ(shown.pixel(1, 1), Yellow);
    EXPECT_EQ(shown.pixel(2, 1), Green);
    EXPECT_EQ(shown.pixel(3, 1), Rgb(TableColor(1)));

    // Without Transparent the key colour itself shows, at once.
    anim->SetTransparent(false);
    shown = picture();
    EXPECT_EQ(shown.pixel(0, 0), Rgb(TableColor(3)));
    EXPECT_EQ(shown.pixel(2, 0), Rgb(TableColor(3)));
    EXPECT_EQ(shown.pixel(1, 0), Rgb(TableColor(1)));
}

TEST_F(GifAnimator, EmptyImageShowsWhatLiesBeneath)
{
    anim->resize(4, 2);
    const QImage shown = picture();
    EXPECT_EQ(shown.pixel(0, 1), Yellow);
    EXPECT_EQ(shown.pixel(3, 0), Green);
}

TEST_F(GifAnimator, CenterShowsTheMiddleAndStretchFillsTheControl)
{
    FrameSpec frame = Solid(0, 0, 4, 1, 0);
    frame.pixels = {0, 1, 2, 3};
    load(MakeGif(4, 1, {frame}));
    anim->SetAutoSize(false);
    anim->resize(2, 1);
    anim->SetCenter(true);
    QImage shown = picture();
    EXPECT_EQ(shown.pixel(0, 0), Rgb(TableColor(1)));
    EXPECT_EQ(shown.pixel(1, 0), Rgb(TableColor(2)));

    anim->SetStretch(true);
    anim->resize(8, 2);
    shown = picture();
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(shown.pixel(x, 1), Rgb(TableColor(x / 2))) << x;
}

TEST_F(GifAnimator, FailingFrameIsReportedOnceAndTheAnimationGoesOn)
{
    // No global table: the middle frame has no colours at all and cannot be decoded.
    const std::string gif = Header(2, 1, 0) + GraphicControl(1, 100) +
                            ImageBlock(0, 0, 2, 1, Compressed({1, 1}, 2, 1, 2), 2) + GraphicControl(1, 100) +
                            ImageBlock(0, 0, 2, 1, Compressed({1, 1}, 2, 1, 2)) + GraphicControl(1, 100) +
                            ImageBlock(0, 0, 2, 1, Compressed({2, 2}, 2, 1, 2), 2) + ";";
    load(gif);
    showParent();
    for (int i = 0; i < 6; ++i) {
        anim->TimerTick();
        QCoreApplication::sendPostedEvents();
    }
    EXPECT_EQ(frames, (std::vector<int>{1, 2, 0, 1, 2, 0}));
    EXPECT_EQ(reports, std::vector<std::string>{"Wrong number of colors; must be a power of 2."});
}

TEST_F(GifAnimator, WorkerStepsTheFramesOnTheUserInterfaceThread)
{
    load(MakeGif(2, 1, ThreeFrames(5)));
    parent.show();
    anim->SetAnimate(true);
    ASSERT_TRUE(pollEvents([&] { return frames.size() >= 4; }));
    EXPECT_EQ(std::vector<int>(frames.begin(), frames.begin() + 4), (std::vector<int>{1, 2, 0, 1}));
    EXPECT_EQ(std::count(onUiThread.begin(), onUiThread.end(), false), 0);
}

TEST_F(GifAnimator, TickFailuresAreReportedOnceAndTheWorkerGoesOn)
{
    load(MakeGif(2, 1, ThreeFrames(5)));
    parent.show();
    int calls = 0;
    anim->OnFrameChanged = [&] {
        ++calls;
        throw EInvalidOperation("frame handler failed");
    };
    anim->SetAnimate(true);
    ASSERT_TRUE(pollEvents([&] { return calls >= 4; }));
    EXPECT_EQ(reports, std::vector<std::string>{"frame handler failed."});
}

TEST_F(GifAnimator, AsyncDrawingStepsInTheWorkerAndHandsTheEventsOver)
{
    load(MakeGif(2, 1, ThreeFrames(5)));
    parent.show();
    anim->SetAsyncDrawing(true);
    EXPECT_FALSE(anim->Timer().SyncEvent());
    anim->SetLoop(false);
    anim->SetAnimate(true);
    ASSERT_TRUE(pollEvents([&] { return !anim->Animate(); }));
    EXPECT_EQ(frames, (std::vector<int>{1, 2, 0}));
    EXPECT_EQ(std::count(onUiThread.begin(), onUiThread.end(), false), 0);
    EXPECT_EQ(picture().pixel(0, 0), Rgb(TableColor(0)));
}
