// The main window's progress gauge, compared pixel for pixel.

#include "AppFixture.h"
#include "Gauges.h"

#include "ui_Unit1.h"

#include <QImage>
#include <QPixmap>

namespace quellora::test {
namespace {

constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kGrey = 0xFF808080;
constexpr QRgb kOrange = 0xFFFF8000;
constexpr QRgb kTextOverGrey = 0xFF7F7F7F;
constexpr QRgb kTextOverOrange = 0xFF007FFF;

class MainWindowGaugeTest : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        InstallSkin();
        CreateForms();
        ShowMainWindow();
    }

    TGauge* Gauge() const { return Form1->ui->Progress; }

    // The gauge as the main window shows it.
    QImage Shot() const
    {
        return Form1->grab(QRect(24, 456, 465, 12)).toImage().convertToFormat(QImage::Format_RGB32);
    }

    // The rightmost x of the inner rectangle's rows that shows the bar colour
    // or the text drawn over it; 0 when no bar shows.
    static int BarRightEdge(const QImage& shot)
    {
        int right = 0;
        for (int y = 1; y <= 10; ++y)
            for (int x = 1; x <= 463; ++x) {
                const QRgb p = shot.pixel(x, y);
                if (p == kOrange || p == kTextOverOrange)
                    right = std::max(right, x);
            }
        return right;
    }
};

TEST_F(MainWindowGaugeTest, TakesItsPlaceColoursAndFontFromTheWindowDefinition)
{
    EXPECT_EQ(Gauge()->geometry(), QRect(24, 456, 465, 12));
    EXPECT_EQ(Gauge()->Kind(), gkHorizontalBar);
    EXPECT_EQ(Gauge()->BorderStyle(), bsSingle);
    EXPECT_TRUE(Gauge()->ShowText());
    EXPECT_EQ(Gauge()->ForeColor(), RGB(255, 128, 0));
    EXPECT_EQ(Gauge()->BackColor(), clGray);
    EXPECT_EQ(Gauge()->Font().Name, "MS Sans Serif");
    EXPECT_EQ(Gauge()->Font().Height, -11);
    EXPECT_EQ(Gauge()->Font().Style, TFontStyles(fsBold));
    EXPECT_EQ(Gauge()->Font().Color, clLime);
    EXPECT_EQ(Gauge()->MinValue(), 0);
    EXPECT_EQ(Gauge()->MaxValue(), 100);
    EXPECT_EQ(Gauge()->Progress(), 0);
    EXPECT_FALSE(Gauge()->Loading());
}

TEST_F(MainWindowGaugeTest, FrameIsOneBlackPixelAllRound)
{
    for (int percent : {0, 50, 100}) {
        Gauge()->SetProgress(percent);
        const QImage shot = Shot();
        for (int x = 0; x < 465; ++x) {
            ASSERT_EQ(shot.pixel(x, 0), kBlack) << percent << "% top x=" << x;
            ASSERT_EQ(shot.pixel(x, 11), kBlack) << percent << "% bottom x=" << x;
        }
        for (int y = 0; y < 12; ++y) {
            ASSERT_EQ(shot.pixel(0, y), kBlack) << percent << "% left y=" << y;
            ASSERT_EQ(shot.pixel(464, y), kBlack) << percent << "% right y=" << y;
        }
    }
}

TEST_F(MainWindowGaugeTest, BarEndsWhereItsLengthRuleSays)
{
    // 464 inner pixels: 1 % is 4.64 pixels, truncated; the bar starts at x = 1.
    const std::pair<int, int> cases[] = {{0, 0}, {1, 3}, {50, 231}, {99, 458}, {100, 463}};
    for (const auto& [percent, right] : cases) {
        Gauge()->SetProgress(percent);
        EXPECT_EQ(BarRightEdge(Shot()), right) << percent << "%";
    }
}

TEST_F(MainWindowGaugeTest, HalfwayShowsBarThenBackgroundInEveryRow)
{
    Gauge()->SetMaxValue(1000);
    Gauge()->SetProgress(500);
    const QImage shot = Shot();
    // Away from the centred text the rows are pure bar and pure background.
    for (int y = 1; y <= 10; ++y) {
        for (int x = 1; x <= 150; ++x)
            ASSERT_EQ(shot.pixel(x, y), kOrange) << x << "," << y;
        for (int x = 232; x <= 463; ++x) {
            if (x >= 200 && x <= 270)
                continue; // the text
            ASSERT_EQ(shot.pixel(x, y), kGrey) << x << "," << y;
        }
        // At the bar's end the text may cover it, inverted.
        ASSERT_TRUE(shot.pixel(231, y) == kOrange || shot.pixel(231, y) == kTextOverOrange) << y;
        ASSERT_TRUE(shot.pixel(232, y) == kGrey || shot.pixel(232, y) == kTextOverGrey) << y;
    }
}

TEST_F(MainWindowGaugeTest, TextInvertsWhatLiesBeneathIt)
{
    Gauge()->SetProgress(50);
    const QImage shot = Shot();
    int overGrey = 0, overOrange = 0;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 465; ++x) {
            const QRgb p = shot.pixel(x, y);
            if (p == kTextOverGrey) {
                ++overGrey;
                EXPECT_GE(x, 232) << x << "," << y;
            } else if (p == kTextOverOrange) {
                ++overOrange;
                EXPECT_LE(x, 231) << x << "," << y;
            } else {
                EXPECT_TRUE(p == kBlack || p == kGrey || p == kOrange) << std::hex << p << " at " << x << "," << y;
            }
        }
    // "50%" is centred on x = 232, the bar's end: its glyphs fall on both sides.
    EXPECT_GT(overGrey, 10);
    EXPECT_GT(overOrange, 10);

    Gauge()->SetProgress(0);
    const QImage empty = Shot();
    int zeroText = 0;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 465; ++x)
            zeroText += empty.pixel(x, y) == kTextOverGrey;
    EXPECT_GT(zeroText, 10) << "0% shows over the grey";
}

TEST_F(MainWindowGaugeTest, WindowShowsWhatTheGaugeRenders)
{
    Gauge()->SetProgress(37);
    const std::unique_ptr<TBitmap> rendered = Gauge()->Render();
    EXPECT_EQ(Shot(), rendered->Image());

    // A track played through repaints only the parts that change: the
    // screen shows each percentage exactly as a whole paint would.
    Gauge()->SetMaxValue(1000);
    for (int progress : {0, 10, 370, 380, 500, 990, 1000, 0}) {
        Gauge()->SetProgress(progress);
        const QImage shown = OnScreen().copy(24, 456, 465, 12);
        EXPECT_EQ(shown, Gauge()->Render()->Image()) << progress / 10 << " %";
    }
}

} // namespace
} // namespace quellora::test
