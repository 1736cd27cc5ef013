// Bitmaps, canvases, colour values and the raster-operation copies.

#include "Exceptions.h"
#include "Graphics.h"

#include <QtEndian>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace quellora {
namespace {

// A true-colour bitmap whose rows are given as colour values.
std::unique_ptr<TBitmap> Pixels(const std::vector<std::vector<TColor>>& rows)
{
    auto bitmap = std::make_unique<TBitmap>(int(rows[0].size()), int(rows.size()));
    for (int y = 0; y < int(rows.size()); ++y)
        for (int x = 0; x < int(rows[0].size()); ++x)
            bitmap->Canvas().SetPixel(x, y, rows[y][x]);
    return bitmap;
}

std::vector<std::vector<TColor>> Rows(const TBitmap& bitmap)
{
    std::vector<std::vector<TColor>> rows(bitmap.Height(), std::vector<TColor>(bitmap.Width()));
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x)
            rows[y][x] = bitmap.Pixel(x, y);
    return rows;
}

// A BMP stream with a colour table, rows given bottom-up as raw bytes.
QByteArray Bmp(int width, int height, int bits, const std::vector<TColor>& table, const QByteArray& rows)
{
    QByteArray bytes(54, '\0');
    auto put32 = [&](int at, quint32 v) { qToLittleEndian(v, bytes.data() + at); };
    auto put16 = [&](int at, quint16 v) { qToLittleEndian(v, bytes.data() + at); };
    const int offset = 54 + 4 * int(table.size());
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, quint32(offset + rows.size()));
    put32(10, quint32(offset));
    put32(14, 40);
    put32(18, quint32(width));
    put32(22, quint32(height));
    put16(26, 1);
    put16(28, quint16(bits));
    put32(34, quint32(rows.size()));
    put32(46, quint32(table.size()));
    for (TColor c : table) {
        bytes.append(char(GetBValue(c)));
        bytes.append(char(GetGValue(c)));
        bytes.append(char(GetRValue(c)));
        bytes.append('\0');
    }
    return bytes + rows;
}

constexpr TColor A = RGB(0x12, 0x34, 0x56);
constexpr TColor B = RGB(0xF0, 0x0F, 0x81);

TEST(ColorTest, ValuesAreRedGreenBlueFromTheLowByteUp)
{
    EXPECT_EQ(RGB(255, 128, 0), 33023);
    EXPECT_EQ(clNone, 0x1FFFFFFF);
    EXPECT_EQ(ColorToQRgb(RGB(255, 128, 0)), qRgb(255, 128, 0));
    EXPECT_EQ(QRgbToColor(qRgb(1, 2, 3)), RGB(1, 2, 3));
    EXPECT_EQ(ColorToRGB(clGray), RGB(128, 128, 128));
}

TEST(ColorTest, SystemColoursResolveToFixedValues)
{
    EXPECT_TRUE(IsSystemColor(clWindow));
    EXPECT_EQ(ColorToRGB(clWindow), clWhite);
    EXPECT_EQ(ColorToRGB(clWindowText), clBlack);
    EXPECT_EQ(ColorToRGB(clBtnFace), RGB(240, 240, 240));
    EXPECT_FALSE(IsSystemColor(ColorToRGB(clWindowFrame)));
    EXPECT_EQ(ColorToQRgb(clWindow), qRgb(255, 255, 255));
    EXPECT_EQ(ColorToRGB(clNone), clNone);
}

TEST(RasterOpTest, CombinesTheColourBitsOfSourceAndDestination)
{
    struct Case {
        TRasterOp rop;
        TColor expected;
    } cases[] = {
        {SRCCOPY, A},           {SRCINVERT, A ^ B},         {SRCAND, A & B},
        {SRCPAINT, A | B},      {NOTSRCCOPY, ~A & 0xFFFFFF}, {BLACKNESS, clBlack},
        {WHITENESS, clWhite},   {DSTINVERT, ~B & 0xFFFFFF}, {SRCERASE, A & ~B & 0xFFFFFF},
        {MERGEPAINT, (~A | B) & 0xFFFFFF},
        {0x00220326, B & ~A}, // no fast case: the truth table decides
    };
    auto source = Pixels({{A}});
    for (const Case& c : cases) {
        auto dest = Pixels({{B}});
        BitBlt(*dest, 0, 0, 1, 1, source.get(), 0, 0, c.rop);
        EXPECT_EQ(dest->Pixel(0, 0), c.expected) << std::hex << c.rop;
    }
}

TEST(RasterOpTest, OperationsWithoutSourceNeedNone)
{
    auto dest = Pixels({{A, B}});
    BitBlt(*dest, 0, 0, 1, 1, nullptr, 0, 0, BLACKNESS);
    EXPECT_EQ(Rows(*dest), (std::vector<std::vector<TColor>>{{clBlack, B}}));
    TBltColors pattern;
    pattern.Pattern = clRed;
    BitBlt(*dest, 0, 0, 2, 1, nullptr, 0, 0, PATCOPY, pattern);
    EXPECT_EQ(Rows(*dest), (std::vector<std::vector<TColor>>{{clRed, clRed}}));
    // A copy that reads a missing source draws nothing.
    BitBlt(*dest, 0, 0, 2, 1, nullptr, 0, 0, SRCCOPY);
    EXPECT_EQ(dest->Pixel(0, 0), clRed);
}

TEST(RasterOpTest, ColourToMonochromeMakesTheBackColourWhite)
{
    auto source = Pixels({{A, B, A}});
    TBitmap mask(3, 1, pf1bit);
    TBltColors colors;
    colors.SourceBack = A;
    BitBlt(mask, 0, 0, 3, 1, source.get(), 0, 0, SRCCOPY, colors);
    EXPECT_EQ(Rows(mask), (std::vector<std::vector<TColor>>{{clWhite, clBlack, clWhite}}));

    TBitmap inverse(3, 1, pf1bit);
    BitBlt(inverse, 0, 0, 3, 1, &mask, 0, 0, NOTSRCCOPY);
    EXPECT_EQ(Rows(inverse), (std::vector<std::vector<TColor>>{{clBlack, clWhite, clBlack}}));
    BitBlt(inverse, 0, 0, 3, 1, &mask, 0, 0, SRCPAINT);
    EXPECT_EQ(Rows(inverse), (std::vector<std::vector<TColor>>{{clWhite, clWhite, clWhite}}));
}

TEST(RasterOpTest, MonochromeSourceShowsItsColoursOrTheGivenOnes)
{
    TBitmap mask(2, 1, pf1bit);
    mask.Canvas().SetPixel(0, 0, clBlack);
    mask.Canvas().SetPixel(1, 0, clWhite);
    auto dest = Pixels({{A, A}});
    BitBlt(*dest, 0, 0, 2, 1, &mask, 0, 0, SRCAND);
    EXPECT_EQ(Rows(*dest), (std::vector<std::vector<TColor>>{{clBlack, A}}));

    TBltColors colors;
    colors.MonoZero = clRed;
    colors.MonoOne = clBlue;
    BitBlt(*dest, 0, 0, 2, 1, &mask, 0, 0, SRCCOPY, colors);
    EXPECT_EQ(Rows(*dest), (std::vector<std::vector<TColor>>{{clRed, clBlue}}));

    mask.SetPalette({clLime, clYellow});
    BitBlt(*dest, 0, 0, 2, 1, &mask, 0, 0, SRCCOPY);
    EXPECT_EQ(Rows(*dest), (std::vector<std::vector<TColor>>{{clLime, clYellow}}));
}

TEST(RasterOpTest, StretchingPicksTheNearestPixel)
{
    auto source = Pixels({{clRed, clLime}, {clBlue, clWhite}});
    TBitmap big(4, 4);
    StretchBlt(big, 0, 0, 4, 4, source.get(), 0, 0, 2, 2, SRCCOPY);
    EXPECT_EQ(Rows(big), (std::vector<std::vector<TColor>>{{clRed, clRed, clLime, clLime},
                                                          {clRed, clRed, clLime, clLime},
                                                          {clBlue, clBlue, clWhite, clWhite},
                                                          {clBlue, clBlue, clWhite, clWhite}}));

    auto row = Pixels({{clRed, clLime, clBlue, clWhite}});
    TBitmap small(2, 1);
    StretchBlt(small, 0, 0, 2, 1, row.get(), 0, 0, 4, 1, SRCCOPY);
    EXPECT_EQ(Rows(small), (std::vector<std::vector<TColor>>{{clRed, clBlue}}));

    // A negative width mirrors.
    TBitmap mirrored(4, 1);
    StretchBlt(mirrored, 4, 0, -4, 1, row.get(), 0, 0, 4, 1, SRCCOPY);
    EXPECT_EQ(Rows(mirrored), (std::vector<std::vector<TColor>>{{clWhite, clBlue, clLime, clRed}}));
}

TEST(RasterOpTest, PixelsOutsideEitherBitmapAreLeftAlone)
{
    auto source = Pixels({{clRed, clLime}});
    auto dest = Pixels({{A, A, A}, {A, A, A}});
    BitBlt(*dest, 2, 1, 2, 1, source.get(), 0, 0, SRCCOPY);
    EXPECT_EQ(Rows(*dest), (std::vector<std::vector<TColor>>{{A, A, A}, {A, A, clRed}}));
    BitBlt(*dest, 0, 0, 3, 1, source.get(), 1, 0, SRCCOPY);
    EXPECT_EQ(Rows(*dest), (std::vector<std::vector<TColor>>{{clLime, A, A}, {A, A, clRed}}));
    BitBlt(*dest, -1, -1, 2, 2, source.get(), 0, 0, SRCCOPY);
    EXPECT_EQ(dest->Pixel(0, 0), clLime);
}

TEST(RasterOpTest, OverlappingCopyWithinOneBitmapReadsTheOldPixels)
{
    auto bitmap = Pixels({{clRed, clLime, clBlue}});
    BitBlt(*bitmap, 1, 0, 2, 1, bitmap.get(), 0, 0, SRCCOPY);
    EXPECT_EQ(Rows(*bitmap), (std::vector<std::vector<TColor>>{{clRed, clRed, clLime}}));
}

TEST(RasterOpTest, PaletteBitmapsAreReadThroughTheirTableAndDrawnOnAsTrueColour)
{
    TBitmap indexed(2, 1, pf8bit);
    indexed.SetPalette({A, B});
    indexed.ScanLine(0)[0] = 1;
    indexed.ScanLine(0)[1] = 0;
    auto dest = Pixels({{clBlack, clBlack}});
    BitBlt(*dest, 0, 0, 2, 1, &indexed, 0, 0, SRCCOPY);
    EXPECT_EQ(Rows(*dest), (std::vector<std::vector<TColor>>{{B, A}}));

    BitBlt(indexed, 0, 0, 1, 1, dest.get(), 1, 0, SRCINVERT);
    EXPECT_EQ(indexed.PixelFormat(), pfDevice);
    EXPECT_EQ(Rows(indexed), (std::vector<std::vector<TColor>>{{A ^ B, A}}));
}

TEST(BitmapTest, TakesPixelsOnlyOnceBothSidesAreSet)
{
    TBitmap bitmap;
    EXPECT_TRUE(bitmap.Empty());
    bitmap.SetHeight(2);
    EXPECT_TRUE(bitmap.Empty());
    EXPECT_EQ(bitmap.Height(), 2);
    bitmap.SetWidth(3);
    EXPECT_FALSE(bitmap.Empty());
    EXPECT_EQ(bitmap.Pixel(2, 1), clWhite);
    EXPECT_EQ(bitmap.Pixel(3, 1), clNone);
}

TEST(BitmapTest, ResizingKeepsThePixelsThatStayAndWhitensNewOnes)
{
    auto bitmap = Pixels({{clRed, clLime}, {clBlue, A}});
    bitmap->SetSize(3, 1);
    EXPECT_EQ(Rows(*bitmap), (std::vector<std::vector<TColor>>{{clRed, clLime, clWhite}}));

    TBitmap mono(10, 1, pf1bit);
    for (int x = 0; x < 10; ++x)
        mono.Canvas().SetPixel(x, 0, clBlack);
    mono.SetWidth(12);
    EXPECT_EQ(mono.Pixel(9, 0), clBlack);
    EXPECT_EQ(mono.Pixel(10, 0), clWhite);
}

TEST(BitmapTest, LoadsBmpStreamsIntoTheirPixelFormats)
{
    TBitmap bitmap;
    // 1 bit, 3 x 2: bottom row 1,0,1; top row 0,1,0.
    bitmap.LoadFromBytes(Bmp(3, 2, 1, {clRed, clBlue}, QByteArray("\xA0\0\0\0\x40\0\0\0", 8)));
    EXPECT_TRUE(bitmap.Monochrome());
    EXPECT_EQ(bitmap.HandleType(), bmDIB);
    EXPECT_TRUE(bitmap.HasPalette());
    EXPECT_EQ(Rows(bitmap), (std::vector<std::vector<TColor>>{{clRed, clBlue, clRed}, {clBlue, clRed, clBlue}}));
    bitmap.SetHandleType(bmDDB);
    EXPECT_TRUE(bitmap.Monochrome()) << "monochrome bitmaps stay monochrome";

    // 8 bits, palette prefilled beyond the used entries.
    std::vector<TColor> table(256, RGB(128, 128, 128));
    table[0] = A;
    table[1] = B;
    bitmap.LoadFromBytes(Bmp(2, 1, 8, table, QByteArray("\x01\x00\0\0", 4)));
    EXPECT_EQ(bitmap.PixelFormat(), pf8bit);
    EXPECT_EQ(bitmap.Palette().size(), 256u);
    EXPECT_EQ(bitmap.Palette()[5], RGB(128, 128, 128));
    EXPECT_EQ(Rows(bitmap), (std::vector<std::vector<TColor>>{{B, A}}));
    bitmap.SetHandleType(bmDDB);
    EXPECT_EQ(bitmap.PixelFormat(), pfDevice);
    EXPECT_EQ(Rows(bitmap), (std::vector<std::vector<TColor>>{{B, A}}));

    // 16 bits: 5-5-5 without bit fields, 5-6-5 with masks after the header.
    // Narrow channels repeat their high bits: full intensity is 255, so the
    // key colour stays magenta.
    bitmap.LoadFromBytes(Bmp(2, 1, 16, {}, QByteArray("\x1F\x7C\xFF\x7F", 4)));
    EXPECT_EQ(Rows(bitmap), (std::vector<std::vector<TColor>>{{RGB(255, 0, 255), clWhite}}));
    QByteArray fields = Bmp(2, 1, 16, {}, QByteArray("\x1F\xF8\x10\x84", 4));
    fields[30] = 3;
    fields.insert(54, QByteArray("\x00\xF8\0\0\xE0\x07\0\0\x1F\0\0\0", 12));
    qToLittleEndian(quint32(66), fields.data() + 10);
    bitmap.LoadFromBytes(fields);
    EXPECT_EQ(Rows(bitmap), (std::vector<std::vector<TColor>>{{RGB(255, 0, 255), RGB(132, 130, 132)}}));

    // A bitmap survives its own BMP form.
    auto original = Pixels({{A, B, clRed}});
    bitmap.LoadFromBytes(original->SaveToBytes());
    EXPECT_EQ(Rows(bitmap), Rows(*original));
}

TEST(BitmapTest, KeepsTheIndicesAndTableOrderOfTheStream)
{
    TBitmap bitmap;
    // Light colour first: the bits and the table stay as they are.
    bitmap.LoadFromBytes(Bmp(2, 1, 1, {clWhite, clBlack}, QByteArray("\x40\0\0\0", 4)));
    EXPECT_EQ(bitmap.Palette(), (std::vector<TColor>{clWhite, clBlack}));
    EXPECT_EQ(bitmap.ScanLine(0)[0] & 0xC0, 0x40);
    EXPECT_EQ(Rows(bitmap), (std::vector<std::vector<TColor>>{{clWhite, clBlack}}));

    // 4 bits, high nibble first, table padded to 16 entries.
    bitmap.LoadFromBytes(Bmp(3, 1, 4, {A, B, clRed}, QByteArray("\x21\x00\0\0", 4)));
    EXPECT_EQ(bitmap.PixelFormat(), pf4bit);
    EXPECT_EQ(bitmap.Palette().size(), 16u);
    EXPECT_EQ(bitmap.ScanLine(0)[0], 2);
    EXPECT_EQ(bitmap.ScanLine(0)[1], 1);
    EXPECT_EQ(Rows(bitmap), (std::vector<std::vector<TColor>>{{clRed, B, A}}));

    // A negative height stores the rows top-down.
    QByteArray topDown = Bmp(1, 2, 8, {A, B}, QByteArray("\x00\0\0\0\x01\0\0\0", 8));
    qToLittleEndian(qint32(-2), topDown.data() + 22);
    bitmap.LoadFromBytes(topDown);
    EXPECT_EQ(Rows(bitmap), (std::vector<std::vector<TColor>>{{A}, {B}}));
}

TEST(BitmapTest, DamagedStreamsAreRefusedAndTheBitmapKept)
{
    auto bitmap = Pixels({{A}});
    for (const QByteArray& bad : {QByteArray(), QByteArray("GIF89a....................................."),
                                  Bmp(4, 4, 24, {}, QByteArray(3, 'x')).left(40), Bmp(4, 4, 24, {}, QByteArray(20, 'x')),
                                  Bmp(100000, 100000, 8, {A}, QByteArray(4, 'x'))}) {
        try {
            bitmap->LoadFromBytes(bad);
            ADD_FAILURE() << "no error for " << bad.size() << " bytes";
        } catch (const EInvalidGraphic& e) {
            EXPECT_EQ(e.Message, "Bitmap image is not valid");
        }
        EXPECT_EQ(Rows(*bitmap), (std::vector<std::vector<TColor>>{{A}}));
    }
    EXPECT_THROW(bitmap->LoadFromFile("/nonexistent/Bck.bmp"), EFOpenError);
}

TEST(CanvasTest, ShapesLeaveOutTheirRightAndBottomEdges)
{
    TBitmap bitmap(5, 4);
    TCanvas& c = bitmap.Canvas();
    c.Brush.Color = clBlack;
    c.FillRect(Rect(0, 0, 5, 4));
    c.Brush.Color = clRed;
    c.FillRect(Rect(1, 1, 3, 2));
    EXPECT_EQ(Rows(bitmap), (std::vector<std::vector<TColor>>{{0, 0, 0, 0, 0},
                                                             {0, clRed, clRed, 0, 0},
                                                             {0, 0, 0, 0, 0},
                                                             {0, 0, 0, 0, 0}}));
    c.Pen.Color = clBlue;
    c.Brush.Color = clLime;
    c.Rectangle(0, 0, 4, 4);
    EXPECT_EQ(Rows(bitmap), (std::vector<std::vector<TColor>>{{clBlue, clBlue, clBlue, clBlue, 0},
                                                             {clBlue, clLime, clLime, clBlue, 0},
                                                             {clBlue, clLime, clLime, clBlue, 0},
                                                             {clBlue, clBlue, clBlue, clBlue, 0}}));
    c.Pen.Color = clWhite;
    c.MoveTo(0, 3);
    c.LineTo(4, 3);
    EXPECT_EQ(bitmap.Pixel(3, 3), clWhite);
    EXPECT_EQ(bitmap.Pixel(4, 3), clBlack) << "a line leaves out its end point";
    EXPECT_EQ(c.PenPos, (TPoint{4, 3}));
}

TEST(CanvasTest, DrawingOnMonochromeAndPaletteBitmapsKeepsTheirFormat)
{
    TBitmap mono(4, 1, pf1bit);
    mono.Canvas().Brush.Color = RGB(20, 20, 20); // nearest is black
    mono.Canvas().FillRect(Rect(1, 0, 3, 1));
    EXPECT_TRUE(mono.Monochrome());
    EXPECT_EQ(Rows(mono), (std::vector<std::vector<TColor>>{{clWhite, clBlack, clBlack, clWhite}}));

    TBitmap indexed(2, 1, pf8bit);
    indexed.SetPalette({A, B});
    indexed.Canvas().Brush.Color = B;
    indexed.Canvas().FillRect(Rect(0, 0, 1, 1));
    EXPECT_EQ(indexed.PixelFormat(), pf8bit);
    EXPECT_EQ(indexed.Pixel(0, 0), B);
}

TEST(CanvasTest, TextIsDrawnInTheFontColourOnlyWithoutSmoothing)
{
    TBitmap bitmap(60, 20);
    TCanvas& c = bitmap.Canvas();
    c.Brush.Color = clBlack;
    c.FillRect(Rect(0, 0, 60, 20));
    c.Brush.Style = bsClear;
    c.Font.Style = fsBold;
    c.Font.Color = clWhite;
    const TSize extent = c.TextExtent("88%");
    EXPECT_GT(extent.cx, 10);
    EXPECT_GE(extent.cy, 11);
    c.TextRect(Rect(0, 0, 30, 20), 2, 2, "88%");
    int white = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 60; ++x) {
            const TColor p = bitmap.Pixel(x, y);
            ASSERT_TRUE(p == clWhite || p == clBlack) << std::hex << p;
            if (p == clWhite) {
                ++white;
                EXPECT_LT(x, 30) << "clipped to the rectangle";
            }
        }
    EXPECT_GT(white, 20);
}

TEST(CanvasTest, CopiesUseTheCopyModeAndLeaveTransparentPixelsOut)
{
    auto source = Pixels({{clRed, clLime}, {clLime, clLime}});
    auto dest = Pixels({{A, A}, {A, A}});
    dest->Canvas().CopyMode = SRCINVERT;
    dest->Canvas().CopyRect(Rect(0, 0, 2, 2), source->Canvas(), Rect(0, 0, 2, 2));
    EXPECT_EQ(dest->Pixel(0, 0), A ^ clRed);

    // The bottom-left pixel's colour is the transparent one by default.
    dest = Pixels({{A, A, A, A}, {A, A, A, A}});
    source->Transparent = true;
    dest->Canvas().StretchDraw(Rect(0, 0, 4, 2), *source);
    EXPECT_EQ(Rows(*dest), (std::vector<std::vector<TColor>>{{clRed, clRed, A, A}, {A, A, A, A}}));
    source->SetTransparentColor(clRed);
    dest->Canvas().Draw(2, 0, *source);
    EXPECT_EQ(Rows(*dest), (std::vector<std::vector<TColor>>{{clRed, clRed, A, clLime}, {A, A, clLime, clLime}}));
}

TEST(CanvasTest, LockIsReentrantAndKeepsOtherThreadsOut)
{
    TBitmap bitmap(1, 1);
    TCanvas& c = bitmap.Canvas();
    c.Lock();
    c.Lock();
    EXPECT_EQ(c.LockCount(), 2);
    std::atomic<bool> otherGotIt{true};
    std::thread([&] { otherGotIt = c.TryLock(); }).join();
    EXPECT_FALSE(otherGotIt);
    c.Unlock();
    c.Unlock();
    std::thread([&] {
        otherGotIt = c.TryLock();
        if (otherGotIt)
            c.Unlock();
    }).join();
    EXPECT_TRUE(otherGotIt);
    EXPECT_EQ(c.LockCount(), 0);
}

TEST(FontTest, PointSizesBecomeCharacterHeightsAtNinetySixDots)
{
    QFont qfont("MS Sans Serif");
    qfont.setPointSize(8);
    qfont.setBold(true);
    const TFont font = TFont::FromQFont(qfont, clLime);
    EXPECT_EQ(font.Height, -11);
    EXPECT_EQ(font.Size(), 8);
    EXPECT_EQ(font.Style, TFontStyles(fsBold));
    EXPECT_EQ(font.Color, clLime);
    EXPECT_EQ(font.ToQFont().pixelSize(), 11);
    EXPECT_TRUE(font.ToQFont().bold());
}

} // namespace
} // namespace quellora
