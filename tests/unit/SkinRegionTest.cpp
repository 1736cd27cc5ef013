// The window's shape from its skin: exactly the pixels that are not the key
// colour, cut into runs per row, whatever the bitmap's depth.

#include "SkinRegion.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace quellora;

namespace {

const QColor Key(255, 0, 255);
const QColor Body(40, 44, 52);

// One string a row: 'M' is the key colour, any other character the body.
QImage picture(const std::vector<std::string>& rows)
{
    QImage image(int(rows[0].size()), int(rows.size()), QImage::Format_BGR888);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixelColor(x, y, rows[size_t(y)][size_t(x)] == 'M' ? Key : Body);
    return image;
}

// The region as the described way builds it: a rectangle a run, united one by one.
QRegion unitedRuns(const QImage& image)
{
    QRegion region;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width();) {
            int e = x;
            const bool key = image.pixelColor(x, y) == Key;
            while (e + 1 < image.width() && (image.pixelColor(e + 1, y) == Key) == key)
                ++e;
            if (!key)
                region |= QRegion(x, y, e - x + 1, 1);
            x = e + 1;
        }
    return region;
}

// Same pixels, whatever the rectangles.
void expectSamePixels(const QRegion& actual, const QRegion& expected)
{
    EXPECT_TRUE((actual ^ expected).isEmpty()) << "differs in " << (actual ^ expected).rectCount() << " rectangles";
}

} // namespace

TEST(SkinRegion, AllKeyGivesAnEmptyRegionAndNoKeyTheWholeRectangle)
{
    EXPECT_TRUE(BuildSkinRegion(picture({"MMM", "MMM"})).isEmpty());
    EXPECT_TRUE(BuildSkinRegion(QImage()).isEmpty());

    const QRegion full = BuildSkinRegion(picture({"....", "....", "...."}));
    EXPECT_EQ(full, QRegion(0, 0, 4, 3));
    EXPECT_EQ(full.rectCount(), 1);
}

TEST(SkinRegion, RunsEndExactlyAtTheirLastPixelAndAtTheRightEdge)
{
    const QImage image = picture({"M..M..", "MMMM.M", "..MMMM"});
    const QRegion region = BuildSkinRegion(image);
    EXPECT_EQ(region, QRegion(1, 0, 2, 1) + QRegion(4, 0, 2, 1) + QRegion(4, 1, 1, 1) + QRegion(0, 2, 2, 1));
    EXPECT_FALSE(region.contains(QPoint(6, 0)));
    EXPECT_EQ(region.boundingRect(), QRect(0, 0, 6, 3));
}

TEST(SkinRegion, OnlyTheExactKeyColourIsCutOut)
{
    QImage image = picture({"MMMM"});
    image.setPixelColor(0, 0, QColor(255, 0, 254));
    image.setPixelColor(1, 0, QColor(254, 0, 255));
    image.setPixelColor(2, 0, QColor(255, 1, 255));
    EXPECT_EQ(BuildSkinRegion(image), QRegion(0, 0, 3, 1));
}

TEST(SkinRegion, OnePixelIslandBecomesOnePixel)
{
    const QRegion region = BuildSkinRegion(picture({"MMMMM", "MMMMM", "MM.MM", "MMMMM"}));
    EXPECT_EQ(region, QRegion(2, 2, 1, 1));
}

TEST(SkinRegion, EqualRowsAreJoinedAndTheResultMatchesRunByRunUnion)
{
    // Bands of equal rows, changes from row to row, and a last row unlike the band above.
    const QImage bands = picture({"M..M", "M..M", "M..M", "....", "MMMM", "M..M", ".MM."});
    expectSamePixels(BuildSkinRegion(bands), unitedRuns(bands));
    EXPECT_EQ(BuildSkinRegion(bands), unitedRuns(bands));

    QRandomGenerator random(7);
    for (int round = 0; round < 20; ++round) {
        QImage image(1 + int(random.bounded(60)), 1 + int(random.bounded(40)), QImage::Format_BGR888);
        image.fill(Key);
        // Blocks, so that rows repeat and runs vary in length.
        for (int b = 0; b < 12; ++b)
            image.setPixelColor(int(random.bounded(image.width())), int(random.bounded(image.height())), Body);
        for (int b = 0; b < 6; ++b) {
            const QRect block(int(random.bounded(image.width())), int(random.bounded(image.height())),
                              1 + int(random.bounded(20)), 1 + int(random.bounded(15)));
            for (int y = block.top(); y <= block.bottom() && y < image.height(); ++y)
                for (int x = block.left(); x <= block.right() && x < image.width(); ++x)
                    image.setPixelColor(x, y, Body);
        }
        expectSamePixels(BuildSkinRegion(image), unitedRuns(image));
    }
}

TEST(SkinRegion, LargeRegionsMadeInPiecesKeepEveryPixel)
{
    // Rows of single pixels that shift every row, then a band of equal rows:
    // far more rectangles than one piece holds.
    QImage image(1024, 160, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixelColor(x, y, (x + std::min(y, 140)) % 2 ? Key : Body);
    const QRegion region = BuildSkinRegion(image);
    EXPECT_EQ(region.rectCount(), 140 * 512 + 512);

    // Painted rectangle by rectangle, the region covers exactly the body pixels.
    QImage painted(image.size(), QImage::Format_RGB32);
    painted.fill(Key);
    for (const QRect& rect : region)
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.left(); x <= rect.right(); ++x)
                painted.setPixelColor(x, y, Body);
    EXPECT_EQ(painted, image);
}

TEST(SkinRegion, OtherDepthsCutTheSamePixelsAsTheir24BitTwin)
{
    const QImage twin = picture({"MM..MM", "M....M", "......", "M.MM.M", "MM..MM"});
    const QRegion expected = BuildSkinRegion(twin);
    ASSERT_FALSE(expected.isEmpty());

    const QVector<QRgb> palette{Body.rgb(), Key.rgb()};
    const QImage indexed = twin.convertToFormat(QImage::Format_Indexed8, palette);
    ASSERT_EQ(indexed.depth(), 8);
    EXPECT_EQ(BuildSkinRegion(indexed), expected);
    EXPECT_EQ(BuildSkinRegion(twin.convertToFormat(QImage::Format_RGB32)), expected);
    EXPECT_EQ(BuildSkinRegion(twin.convertToFormat(QImage::Format_ARGB32)), expected);
    EXPECT_EQ(BuildSkinRegion(twin.convertToFormat(QImage::Format_RGB16)), expected);
    EXPECT_EQ(BuildSkinRegion(twin.convertToFormat(QImage::Format_RGB888)), expected);
}

TEST(SkinRegion, FindRunCoversARowWithAlternatingRuns)
{
    const QImage image = picture({"..MMM.M"});
    const uchar* row = image.constScanLine(0);
    EXPECT_TRUE(IsKeyPixel(row, 2));
    EXPECT_FALSE(IsKeyPixel(row, 1));

    std::vector<std::pair<int, bool>> runs;
    for (int x = 0; x < image.width();) {
        const TRun run = FindRun(row, image.width(), x);
        runs.emplace_back(run.last, run.transparent);
        x = run.last + 1;
    }
    EXPECT_EQ(runs, (std::vector<std::pair<int, bool>>{{1, false}, {4, true}, {5, false}, {6, true}}));
}
