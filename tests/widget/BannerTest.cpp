// The animated images of the program's windows: the skin banner GifUp on
// the main window, the About box's still Mascot, and their release when the
// main window closes.

#include "../unit/GifTestData.h"
#include "AppFixture.h"
#include "GIFCtrl.h"
#include "MPlayer.h"
#include "ui_Unit1.h"
#include "ui_Unit5.h"

#include <QFile>
#include <QPaintEvent>
#include <QScreen>
#include <QPointer>
#include <QThread>

#include <chrono>
#include <thread>

using namespace quellora;
using namespace quellora::test;

namespace {

// The area the banner repaints (its coordinates), and how often the widgets beneath it paint.
class TPaintLog : public QObject {
public:
    explicit TPaintLog(QWidget* banner) : banner_(banner) { banner->installEventFilter(this); }
    void Clear()
    {
        Banner = QRect();
        Others = 0;
    }
    QRect Banner;
    int Others = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            if (watched == banner_)
                Banner |= static_cast<QPaintEvent*>(event)->rect();
            else
                ++Others;
        }
        return false;
    }

private:
    QWidget* banner_;
};

class Banner : public AppFixture {
protected:
    TRxGIFAnimator* gifUp() const { return Form1->ui->GifUp; }

    QImage window() const { return Form1->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    // Until the banner's worker has handed a tick over; this thread does not take it.
    bool waitForHandedOverTick() const
    {
        for (int i = 0; i < 2000; ++i) {
            if (gifUp()->Timer().TickPending())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
};

} // namespace

TEST_F(Banner, LoadsTheSkinGifAndAnimatesIt)
{
    InstallSkin();
    CreateForms();
    ShowMainWindow();
    TRxGIFAnimator* banner = gifUp();
    ASSERT_NE(banner, nullptr);
    EXPECT_TRUE(banner->Animate());
    EXPECT_EQ(banner->Image().Count(), 9);
    EXPECT_EQ(banner->geometry(), QRect(0, -8, 513, 80));
    EXPECT_TRUE(banner->Timer().WorkerRunning());
    EXPECT_TRUE(banner->testAttribute(Qt::WA_TransparentForMouseEvents)) << "the banner drags the window";

    // The steps below are taken by hand: on a slow machine the worker's own
    // ticks would slip in between them.
    banner->SetAnimate(false);
    const int start = banner->FrameIndex();
    ASSERT_LT(start, 5) << "the worker stepped on and on";
    EXPECT_EQ(banner->Timer().Interval(), start == 0 ? 400u : 120u) << "the shown frame's delay";

    // Each step shows a new picture of the equaliser.
    const QRect bars(392, 16, 96, 40);
    QImage before = window().copy(bars);
    for (int step = 1; step <= 3; ++step) {
        banner->TimerTick();
        EXPECT_EQ(banner->FrameIndex(), start + step);
        EXPECT_EQ(banner->Timer().Interval(), 120u);
        const QImage after = window().copy(bars);
        EXPECT_NE(after, before) << "step " << step;
        before = after;
    }
}

TEST_F(Banner, ShowsTheSkinWhereItsFramesAreTransparent)
{
    InstallSkin();
    CreateForms();
    ShowMainWindow();
    TRxGIFAnimator* banner = gifUp();
    // Frame 2 follows a cleared frame: the equaliser's box shows the skin.
    banner->TimerTick();
    banner->TimerTick();
    TColor key = clNone;
    TBitmap& composite = banner->ComposeFrame(banner->FrameIndex(), key);
    ASSERT_NE(key, clNone);
    const QImage shown = window();
    int compared = 0, mismatched = 0;
    for (int y = 8; y < composite.Height(); ++y) {
        for (int x = 0; x < composite.Width() && x < Form1->width(); ++x) {
            const QPoint at(x, y - 8);
            if (!Form1->mask().contains(at))
                continue;
            const bool keyed = composite.Pixel(x, y) == key;
            const QRgb expected = keyed ? Form1->SkinBitmap.pixel(at) : ColorToQRgb(composite.Pixel(x, y));
            ++compared;
            mismatched += shown.pixel(at) != expected;
        }
    }
    EXPECT_GT(compared, 30000);
    EXPECT_EQ(mismatched, 0);
    EXPECT_EQ(shown.pixel(400, 20), Form1->SkinBitmap.pixel(400, 20)) << "inside the cleared equaliser box";
}

TEST_F(Banner, FrameStepsRepaintOnlyWhatChangedFromPicturesKept)
{
    InstallSkin();
    CreateForms();
    ShowMainWindow();
    TRxGIFAnimator* banner = gifUp();
    for (int i = 0; i < 1000 && banner->ShownPicture().isNull(); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_FALSE(banner->ShownPicture().isNull());
    TPaintLog log(banner);
    Form1->installEventFilter(&log);
    Form1->ui->Bck->installEventFilter(&log);
    const QRegion shape = Form1->mask();
    // Only the equaliser moves in the default banner: 96 x 40 at (392, 24) of 513 x 80.
    const QRect equaliser(392, 24, 96, 40);
    const int frames = banner->Image().Count();
    std::vector<QImage> shown;
    for (int step = 0; step < 2 * frames; ++step) {
        const int cached = banner->CachedIndex();
        log.Clear();
        banner->TimerTick();
        const QImage after = OnScreen();
        SCOPED_TRACE("step " + std::to_string(step) + " to frame " + std::to_string(banner->FrameIndex()));
        EXPECT_EQ(log.Others, 0) << "nothing beneath the banner is painted";
        EXPECT_TRUE(equaliser.contains(log.Banner)) << "repainted " << log.Banner.x() << "," << log.Banner.y() << " "
                                                    << log.Banner.width() << "x" << log.Banner.height();
        EXPECT_EQ(Form1->mask(), shape);
        if (step < frames) {
            // A whole paint shows the same picture.
            const QImage whole = Form1->grab().toImage().convertToFormat(QImage::Format_RGB32);
            int mismatched = 0;
            for (const QRect& r : shape)
                for (int y = r.top(); y <= r.bottom(); ++y)
                    for (int x = r.left(); x <= r.right(); ++x)
                        mismatched += whole.pixel(x, y) != after.pixel(x, y);
            EXPECT_EQ(mismatched, 0);
            shown.push_back(after);
        } else {
            // The second pass composes nothing anew and shows the first pass's pictures.
            EXPECT_EQ(banner->CachedIndex(), cached);
            EXPECT_TRUE(after == shown[size_t(step - frames)]);
        }
    }
}

TEST_F(Banner, UnreadableBannerIsReportedAndEndsTheCreationHandler)
{
    InstallSkin();
    WriteBytes(exeDir.file("Skin/GifUp.gif"), "GIF89x: not a GIF");
    CreateForms();
    ASSERT_EQ(BoxTexts(), std::vector<std::string>{"Unknown GIF version."});
    EXPECT_EQ(boxes[0].kind, DialogKind::ErrorReport);
    EXPECT_FALSE(Application().Terminated());
    EXPECT_TRUE(Form1->SkinBitmap.isNull()) << "the steps after the banner are skipped";
    EXPECT_EQ(gifUp()->Image().Count(), 0);
    ASSERT_NE(Form5, nullptr);
}

TEST_F(Banner, AScreenTooLargeForTheBannerIsRefusedBeforeItIsMade)
{
    InstallSkin();
    // 66 bytes: a 65535 x 65535 screen with two one-pixel frames.
    const std::string frame = GraphicControl(1, 10) + ImageBlock(0, 0, 1, 1, Codes(2, {{4, 3}, {1, 3}, {5, 3}}));
    WriteBytes(exeDir.file("Skin/GifUp.gif"), Header(65535, 65535, 1) + frame + frame + ";");
    CreateForms();
    ASSERT_EQ(BoxTexts(), std::vector<std::string>{"Cannot change the Size of a GIF image."});
    EXPECT_EQ(boxes[0].kind, DialogKind::ErrorReport);
    EXPECT_FALSE(Application().Terminated());
    EXPECT_EQ(gifUp()->Image().Count(), 0) << "the banner shows nothing";
    EXPECT_EQ(gifUp()->geometry(), QRect(0, -8, 513, 80));
    ShowMainWindow();
    TColor key = clNone;
    EXPECT_TRUE(gifUp()->ComposeFrame(0, key).Empty());
    EXPECT_EQ(window().size(), QSize(511, 514));
}

TEST_F(Banner, AboutBoxMascotIsAStillTransparentPicture)
{
    InstallSkin();
    CreateForms();
    ShowMainWindow();
    Form5->show();
    QCoreApplication::processEvents();
    TRxGIFAnimator* mascot = Form5->ui->Mascot;
    EXPECT_FALSE(mascot->Animate());
    ASSERT_EQ(mascot->Image().Count(), 1);
    EXPECT_EQ(mascot->FrameDelay(), 0u);
    EXPECT_EQ(mascot->geometry(), QRect(16, 72, 32, 32));
    EXPECT_FALSE(mascot->Timer().WorkerStarted());

    // Its frame over the box's background. The mascot's key is the box's
    // own grey: another background shows which pixels are transparent.
    TGIFFrame& frame = mascot->Image().Frames(0);
    ASSERT_NE(frame.KeyColor(), clNone);
    TBitmap& bitmap = frame.FrameBitmap();
    const QRgb back = qRgb(0, 200, 200);
    QPalette pal = Form5->palette();
    pal.setColor(QPalette::Window, QColor(back));
    Form5->setPalette(pal);
    const QImage shown = Form5->grab().toImage().convertToFormat(QImage::Format_RGB32);
    int keyed = 0, mismatched = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const TColor c = bitmap.Pixel(x, y);
            keyed += c == frame.KeyColor();
            const QRgb expected = c == frame.KeyColor() ? back : ColorToQRgb(c);
            mismatched += shown.pixel(16 + x, 72 + y) != expected;
        }
    }
    EXPECT_GT(keyed, 0);
    EXPECT_LT(keyed, 32 * 32);
    EXPECT_EQ(mismatched, 0);
}

TEST_F(Banner, ClosingTheMainWindowFreesMascotBannerAndPlayerWhileTheBannerAnimates)
{
    InstallSkin();
    CreateForms();
    ShowMainWindow();
    // Every step the worker hands over is counted; it steps the banner while the banner exists.
    int steps = 0;
    gifUp()->Timer().SetOnTimer([&steps, b = QPointer<TRxGIFAnimator>(gifUp())] {
        ++steps;
        if (b)
            b->TimerTick();
    });
    ASSERT_TRUE(waitForHandedOverTick());
    ASSERT_EQ(steps, 0) << "the handed-over step waits for this thread";
    QPointer<QWidget> banner = gifUp();
    QPointer<QWidget> mascot = Form5->ui->Mascot;
    Form1->close();
    EXPECT_TRUE(banner.isNull());
    EXPECT_TRUE(mascot.isNull());
    EXPECT_EQ(Form1->ui->GifUp, nullptr);
    EXPECT_EQ(Form5->ui->Mascot, nullptr);
    EXPECT_EQ(Form1->PLayer, nullptr);
    EXPECT_TRUE(Application().Terminated());
    // The step handed over before the close is dropped: none runs on the freed banner.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(steps, 0);
}
