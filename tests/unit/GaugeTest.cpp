// The gauge's range rules, its repaints and the pixels of its kinds.

#include "Application.h"
#include "Exceptions.h"
#include "Forms.h"
#include "Gauges.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <climits>

namespace quellora {
namespace {

std::string RangeError(const std::function<void()>& action)
{
    try {
        action();
    } catch (const EInvalidOperation& e) {
        return e.Message;
    }
    return "(no error)";
}

TEST(GaugeTest, StartsWithTheComponentDefaults)
{
    TGauge gauge;
    EXPECT_EQ(gauge.MinValue(), 0);
    EXPECT_EQ(gauge.MaxValue(), 100);
    EXPECT_EQ(gauge.Progress(), 0);
    EXPECT_EQ(gauge.Kind(), gkHorizontalBar);
    EXPECT_TRUE(gauge.ShowText());
    EXPECT_EQ(gauge.BorderStyle(), bsSingle);
    EXPECT_EQ(gauge.ForeColor(), clBlack);
    EXPECT_EQ(gauge.BackColor(), clWhite);
    EXPECT_EQ(gauge.size(), QSize(100, 100));
}

TEST(GaugeTest, ProgressIsClampedIntoTheRange)
{
    TGauge gauge;
    gauge.SetProgress(250);
    EXPECT_EQ(gauge.Progress(), 100);
    gauge.SetProgress(-3);
    EXPECT_EQ(gauge.Progress(), 0);
    gauge.SetMinValue(-50);
    gauge.SetProgress(INT_MIN);
    EXPECT_EQ(gauge.Progress(), -50);
}

TEST(GaugeTest, MovingAnEndPastProgressTakesProgressAlong)
{
    TGauge gauge;
    gauge.SetProgress(80);
    gauge.SetMaxValue(30);
    EXPECT_EQ(gauge.Progress(), 30);
    gauge.SetMinValue(10);
    EXPECT_EQ(gauge.Progress(), 30);
    gauge.SetProgress(10);
    gauge.SetMinValue(20);
    EXPECT_EQ(gauge.Progress(), 20);
}

TEST(GaugeTest, AnEmptyRangeIsZeroPercent)
{
    TGauge gauge;
    gauge.SetProgress(40);
    gauge.SetMaxValue(0); // the length of an empty track
    EXPECT_EQ(gauge.Progress(), 0);
    EXPECT_EQ(gauge.MaxValue(), gauge.Progress());
    EXPECT_EQ(gauge.PercentComplete(), 0);
}

TEST(GaugeTest, PercentCompleteTruncatesTowardZero)
{
    TGauge gauge;
    gauge.SetMaxValue(3);
    gauge.SetProgress(2);
    EXPECT_EQ(gauge.PercentComplete(), 66);
    gauge.SetMaxValue(100000);
    gauge.SetProgress(99999);
    EXPECT_EQ(gauge.PercentComplete(), 99);
    gauge.SetMinValue(-100);
    gauge.SetProgress(-99);
    EXPECT_EQ(gauge.PercentComplete(), 0);
    // The widest range does not overflow.
    gauge.SetMaxValue(INT_MAX);
    gauge.SetMinValue(-INT_MAX);
    gauge.SetProgress(0);
    EXPECT_EQ(gauge.PercentComplete(), 50);
    gauge.SetProgress(INT_MAX);
    EXPECT_EQ(gauge.PercentComplete(), 100);
}

TEST(GaugeTest, EndsThatCrossRaiseTheRangeErrorAndChangeNothing)
{
    TGauge gauge;
    gauge.SetProgress(5);
    const int repaints = gauge.RepaintCount();
    EXPECT_EQ(RangeError([&] { gauge.SetMaxValue(-1); }), "Value must be between 1 and 2147483647");
    EXPECT_EQ(RangeError([&] { gauge.SetMinValue(101); }), "Value must be between -2147483647 and 99");
    EXPECT_EQ(gauge.MinValue(), 0);
    EXPECT_EQ(gauge.MaxValue(), 100);
    EXPECT_EQ(gauge.Progress(), 5);
    EXPECT_EQ(gauge.RepaintCount(), repaints);

    gauge.SetMinValue(40);
    EXPECT_EQ(RangeError([&] { gauge.SetMaxValue(39); }), "Value must be between 41 and 2147483647");
    gauge.SetMaxValue(40); // an end may meet the other
    EXPECT_EQ(gauge.MaxValue(), 40);
    EXPECT_EQ(RangeError([&] { gauge.SetMinValue(41); }), "Value must be between -2147483647 and 39");
}

TEST(GaugeTest, WhileLoadingTheEndsTakeAnyValue)
{
    TGauge gauge;
    gauge.SetLoading(true);
    gauge.SetMaxValue(-10);
    EXPECT_EQ(gauge.MaxValue(), -10);
    EXPECT_EQ(gauge.Progress(), -10);
    gauge.SetLoading(false);
    EXPECT_THROW(gauge.SetMaxValue(-20), EInvalidOperation);
}

class GaugeForm : public TForm {
public:
    GaugeForm()
    {
        gauge = new TGauge(this);
        // As the stored definition sets it, before the creation handler.
        gauge->SetMaxValue(-5);
        loadingWhileRead = gauge->Loading();
        Create();
    }
    TGauge* gauge;
    bool loadingWhileRead = false;
};

TEST(GaugeTest, TheHoldingFormLoadsUntilItsCreationHandlerRuns)
{
    {
        GaugeForm form;
        EXPECT_TRUE(form.loadingWhileRead);
        EXPECT_EQ(form.gauge->MaxValue(), -5);
        EXPECT_FALSE(form.gauge->Loading());
        EXPECT_THROW(form.gauge->SetMaxValue(-6), EInvalidOperation);
    }
    Application().Reset();
}

TEST(GaugeTest, RepaintsAtOnceOnlyForANewPercentageOrMaximum)
{
    TGauge gauge;
    gauge.show();
    for (int i = 0; i < 200 && gauge.PaintCount() == 0; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_GT(gauge.PaintCount(), 0) << "the gauge never showed";
    int count = gauge.RepaintCount();
    const int painted = gauge.PaintCount();

    gauge.SetMaxValue(100); // same value
    EXPECT_EQ(gauge.RepaintCount(), count);

    gauge.SetMaxValue(1000);
    EXPECT_EQ(gauge.RepaintCount(), ++count);
    EXPECT_EQ(gauge.PaintCount(), painted) << "0 % of 1000 looks as 0 % of 100: no pixel to paint";

    gauge.SetProgress(5); // 0.5 % is still 0 %
    EXPECT_EQ(gauge.Progress(), 5);
    EXPECT_EQ(gauge.RepaintCount(), count);
    gauge.SetProgress(10);
    EXPECT_EQ(gauge.RepaintCount(), ++count);
    EXPECT_GT(gauge.PaintCount(), painted) << "painted before the setter returned";
    gauge.SetProgress(19);
    EXPECT_EQ(gauge.RepaintCount(), count);
    gauge.SetProgress(5000); // clamped to 1000: 100 %
    EXPECT_EQ(gauge.RepaintCount(), ++count);
    gauge.SetProgress(1000);
    EXPECT_EQ(gauge.RepaintCount(), count);

    // A track played through: one repaint per whole percent.
    gauge.SetProgress(0);
    count = gauge.RepaintCount();
    for (int ms = 0; ms <= 1000; ++ms)
        gauge.SetProgress(ms);
    EXPECT_EQ(gauge.RepaintCount(), count + 100);

    for (auto set : {+[](TGauge& g) { g.SetKind(gkPie); }, +[](TGauge& g) { g.SetShowText(false); },
                     +[](TGauge& g) { g.SetBorderStyle(bsNone); }, +[](TGauge& g) { g.SetForeColor(clRed); },
                     +[](TGauge& g) { g.SetBackColor(clBlue); }}) {
        const int before = gauge.RepaintCount();
        set(gauge);
        EXPECT_EQ(gauge.RepaintCount(), before + 1);
        set(gauge);
        EXPECT_EQ(gauge.RepaintCount(), before + 1) << "the same value again";
    }
}

// Colour of each pixel of the gauge's picture.
TColor At(const TBitmap& image, int x, int y)
{
    return image.Pixel(x, y);
}

class GaugePixelsTest : public ::testing::Test {
protected:
    GaugePixelsTest()
    {
        gauge.resize(50, 20);
        gauge.SetShowText(false);
        gauge.SetForeColor(clRed);
        gauge.SetBackColor(clBlue);
        gauge.SetColor(clLime);
    }
    TGauge gauge;
};

TEST_F(GaugePixelsTest, HorizontalBarUsesItsLengthAsTheRightEdge)
{
    // Inner rectangle (1, 1, 49, 19): W = 49, H = 19.
    gauge.SetProgress(50);
    auto image = gauge.Render();
    EXPECT_EQ(At(*image, 0, 5), clBlack);
    EXPECT_EQ(At(*image, 1, 1), clRed);
    EXPECT_EQ(At(*image, 23, 18), clRed); // L = 24
    EXPECT_EQ(At(*image, 24, 18), clBlue);
    EXPECT_EQ(At(*image, 48, 18), clBlue);
    EXPECT_EQ(At(*image, 49, 18), clBlack);
    EXPECT_EQ(At(*image, 10, 19), clBlack);

    gauge.SetBorderStyle(bsNone);
    image = gauge.Render();
    EXPECT_EQ(At(*image, 0, 0), clRed);
    EXPECT_EQ(At(*image, 24, 19), clRed); // W = 51, L = 25
    EXPECT_EQ(At(*image, 25, 19), clBlue);
}

TEST_F(GaugePixelsTest, VerticalBarRisesFromTheBottom)
{
    gauge.SetKind(gkVerticalBar);
    gauge.SetProgress(50); // H = 19, L = 9: rows 10 to 18
    auto image = gauge.Render();
    EXPECT_EQ(At(*image, 5, 9), clBlue);
    EXPECT_EQ(At(*image, 5, 10), clRed);
    EXPECT_EQ(At(*image, 48, 18), clRed);
    gauge.SetProgress(100); // L = H - 1: rows 1 to 18
    image = gauge.Render();
    EXPECT_EQ(At(*image, 5, 1), clRed);
    gauge.SetProgress(0);
    image = gauge.Render();
    EXPECT_EQ(At(*image, 5, 18), clBlue);
}

TEST_F(GaugePixelsTest, TextKindShowsOnlyTheInvertedPercentage)
{
    gauge.resize(60, 24);
    gauge.SetKind(gkText);
    gauge.SetShowText(true);
    gauge.SetBackColor(RGB(0x10, 0x20, 0x30));
    gauge.SetProgress(42);
    auto image = gauge.Render();
    int text = 0;
    for (int y = 1; y < 23; ++y)
        for (int x = 1; x < 59; ++x) {
            const TColor p = At(*image, x, y);
            ASSERT_TRUE(p == RGB(0x10, 0x20, 0x30) || p == RGB(0xEF, 0xDF, 0xCF)) << std::hex << p;
            text += p == RGB(0xEF, 0xDF, 0xCF);
        }
    EXPECT_GT(text, 20);
}

TEST_F(GaugePixelsTest, PieAndNeedleGrowWithThePercentage)
{
    gauge.resize(41, 41); // inner (1, 1, 40, 40): W = H = 40
    gauge.SetKind(gkPie);
    auto image = gauge.Render();
    EXPECT_EQ(At(*image, 2, 2), clLime) << "corner outside the ellipse";
    EXPECT_EQ(At(*image, 28, 20), clBlue) << "inside, no slice at 0 %";
    gauge.SetProgress(50);
    image = gauge.Render();
    EXPECT_EQ(At(*image, 28, 20), clRed) << "the right half is filled";
    EXPECT_EQ(At(*image, 12, 20), clBlue);

    gauge.SetKind(gkNeedle);
    image = gauge.Render();
    EXPECT_EQ(At(*image, 20, 30), clRed) << "the needle stands upright";
    EXPECT_EQ(At(*image, 10, 30), clLime);
    EXPECT_EQ(At(*image, 10, 39), clRed) << "the base line";
}

} // namespace
} // namespace quellora
