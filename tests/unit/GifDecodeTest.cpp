// Decoding frames through LZW into bitmaps, and drawing them with their
// key colour transparent.

#include "Exceptions.h"
#include "GifLzw.h"
#include "GifTestData.h"
#include "RxGIF.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

using namespace quellora;
using namespace quellora::test;

namespace {

std::vector<std::uint8_t> RandomPixels(int count, int bits, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> pixels(static_cast<size_t>(count));
    for (auto& p : pixels)
        p = std::uint8_t(random() % (1u << bits));
    return pixels;
}

// One frame of the given pixels under a global table of `bits`.
void LoadFrame(TGIFImage& image, const std::vector<std::uint8_t>& pixels, int width, int height, int bits,
               bool interlaced = false, const std::string& before = "")
{
    Load(image, Header(width, height, bits) + before +
                    ImageBlock(0, 0, width, height, Compressed(pixels, width, height, bits, interlaced), 0, interlaced) +
                    ";");
}

void LoadCodes(TGIFImage& image, int width, int height, int bits, const std::string& codes)
{
    Load(image, Header(width, height, bits) + ImageBlock(0, 0, width, height, codes) + ";");
}

} // namespace

TEST(GifInterlace, RowsComeInFourPassesEachOnce)
{
    auto order = [](int height) {
        std::vector<int> rows;
        int pass = 0;
        for (int y = 0; y < height; y = NextInterlacedRow(y, pass, height))
            rows.push_back(y);
        return rows;
    };
    EXPECT_EQ(order(1), (std::vector<int>{0}));
    EXPECT_EQ(order(2), (std::vector<int>{0, 1}));
    EXPECT_EQ(order(3), (std::vector<int>{0, 2, 1}));
    EXPECT_EQ(order(5), (std::vector<int>{0, 4, 2, 1, 3}));
    EXPECT_EQ(order(10), (std::vector<int>{0, 8, 4, 2, 6, 1, 3, 5, 7, 9}));
    for (int height = 1; height <= 40; ++height) {
        const std::vector<int> rows = order(height);
        EXPECT_EQ(std::set<int>(rows.begin(), rows.end()).size(), size_t(height)) << height;
        EXPECT_EQ(rows.size(), size_t(height)) << height;
    }
}

TEST(GifDecode, InterlacedFramesOfFewRowsDecodeEveryRowOnce)
{
    for (int height : {1, 2, 3, 5, 9, 17}) {
        std::vector<std::uint8_t> pixels;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < 3; ++x)
                pixels.push_back(std::uint8_t((y + x) % 8));
        TGIFImage image;
        LoadFrame(image, pixels, 3, height, 3, true);
        EXPECT_TRUE(image.Frames(0).Interlaced());
        EXPECT_FALSE(image.Frames(0).Corrupt()) << height;
        EXPECT_EQ(FrameColors(image.Frames(0)), ColorsOf(pixels)) << height;
    }
}

TEST(GifDecode, EveryTableDepthDecodesToTheEncodedPixels)
{
    for (int bits = 1; bits <= 8; ++bits) {
        for (bool interlaced : {false, true}) {
            const int width = 37, height = 23;
            const std::vector<std::uint8_t> pixels = RandomPixels(width * height, bits, unsigned(bits * 2 + interlaced));
            TGIFImage image;
            LoadFrame(image, pixels, width, height, bits, interlaced);
            EXPECT_FALSE(image.Frames(0).Corrupt());
            EXPECT_EQ(FrameColors(image.Frames(0)), ColorsOf(pixels)) << bits << " bits, interlaced " << interlaced;
        }
    }
}

TEST(GifDecode, FullTablesLongStringsAndRepeatsDecode)
{
    // Long runs make long strings and the code that is defined by its own
    // use; noise fills the table up to its clear code.
    const int width = 320, height = 200;
    std::vector<std::uint8_t> pixels(size_t(width * height));
    std::mt19937 random(5);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[size_t(y * width + x)] = y < 60 ? std::uint8_t(7) : y < 120 ? std::uint8_t((x / 9 + y / 5) % 16)
                                                                             : std::uint8_t(random() % 256);
    TGIFImage image;
    LoadFrame(image, pixels, width, height, 8);
    EXPECT_FALSE(image.Frames(0).Corrupt());
    EXPECT_EQ(FrameColors(image.Frames(0)), ColorsOf(pixels));
}

TEST(GifDecode, AStreamNotOpeningWithAClearCodeStartsAsAfterOne)
{
    // The first code makes no entry: 6 is the code defined by its own use,
    // the previous string (1) and its first pixel, not an entry after index 0.
    TGIFImage image;
    LoadCodes(image, 3, 1, 2, Codes(2, {{1, 3}, {6, 3}, {5, 3}}));
    EXPECT_EQ(FrameColors(image.Frames(0)), ColorsOf({1, 1, 1}));
    EXPECT_FALSE(image.Frames(0).Corrupt());
}

TEST(GifDecode, AnOutOfRangeCodeSizeKeepsOnlyPixelsAfterClearCodes)
{
    // Size 10 is read as 9: clear code 512, ten-bit codes.
    TGIFImage image;
    LoadCodes(image, 4, 2, 3, Codes(10, {{512, 10}, {5, 10}, {512, 10}, {6, 10}, {7, 10}, {1, 10}, {513, 10}}));
    ASSERT_EQ(image.Count(), 1);
    EXPECT_TRUE(image.Frames(0).Corrupt());
    EXPECT_EQ(FrameColors(image.Frames(0)), ColorsOf({5, 6, 0, 0, 0, 0, 0, 0}));

    LoadCodes(image, 2, 1, 1, Codes(1, {{4, 3}, {1, 3}, {1, 3}, {5, 3}}));
    EXPECT_TRUE(image.Frames(0).Corrupt()) << "size 1 is read as 2";
    EXPECT_EQ(FrameColors(image.Frames(0)), ColorsOf({1, 0}));
}

TEST(GifDecode, ARunawayChainEndsDecodingAndMarksTheFrame)
{
    // Entry 7 gets itself as prefix; walking it would never end.
    TGIFImage image;
    LoadCodes(image, 4, 2, 2, Codes(2, {{4, 3}, {2, 3}, {7, 3}, {6, 3}, {7, 4}, {5, 4}}));
    EXPECT_TRUE(image.Frames(0).Corrupt());
    EXPECT_EQ(FrameColors(image.Frames(0)), ColorsOf({2, 2, 2, 2, 2, 0, 0, 0}));
}

TEST(GifDecode, DataEndingBeforeTheLastPixelLeaveIndexZeroAndMarkTheFrame)
{
    TGIFImage image;
    LoadCodes(image, 3, 1, 2, Codes(2, {{4, 3}, {1, 3}, {2, 3}, {3, 3}}));
    EXPECT_FALSE(image.Frames(0).Corrupt()) << "all pixels are there; the end code is not needed";
    EXPECT_EQ(FrameColors(image.Frames(0)), ColorsOf({1, 2, 3}));

    LoadCodes(image, 5, 1, 2, Codes(2, {{4, 3}, {1, 3}, {2, 3}, {3, 3}}, false));
    EXPECT_TRUE(image.Frames(0).Corrupt());
    EXPECT_EQ(FrameColors(image.Frames(0)), ColorsOf({1, 2, 3, 0, 0}));
}

TEST(GifDecode, OneBitFramesStayMonochromeAndOthersBecomeDeviceBitmaps)
{
    TGIFImage image;
    LoadFrame(image, {0, 1, 1, 0, 1, 0}, 3, 2, 1);
    TBitmap& mono = image.Frames(0).FrameBitmap();
    EXPECT_TRUE(mono.Monochrome());
    EXPECT_EQ(mono.HandleType(), bmDIB);
    std::vector<TColor> palette = mono.Palette();
    std::sort(palette.begin(), palette.end());
    EXPECT_EQ(palette, (std::vector<TColor>{TableColor(1), TableColor(0)}));
    EXPECT_EQ(image.Palette(), mono.Palette());

    for (int bits : {2, 4, 5, 8}) {
        LoadFrame(image, {0, 1, 1, 0, 1, 0}, 3, 2, bits);
        TBitmap& bitmap = image.Frames(0).FrameBitmap();
        EXPECT_FALSE(bitmap.Monochrome()) << bits;
        EXPECT_EQ(bitmap.HandleType(), bmDDB) << bits;
        EXPECT_EQ(bitmap.PixelFormat(), pfDevice) << bits;
    }
}

TEST(GifDecode, AFrameIsDecodedOnceAndKeptWithItsData)
{
    TGIFImage image;
    Load(image, Header(2, 1, 1) + ImageBlock(0, 0, 2, 1, Compressed({1, 0}, 2, 1, 1)) + ";", false);
    TGIFFrame& frame = image.Frames(0);
    EXPECT_FALSE(frame.HasBitmap());
    TBitmap* first = &frame.FrameBitmap();
    EXPECT_EQ(&frame.FrameBitmap(), first);
    EXPECT_NE(frame.Item().ZipData, nullptr);
    EXPECT_EQ(frame.Width(), 2);
}

TEST(GifDecode, HugeFramesAreRefusedBeforeAllocation)
{
    TGIFImage image;
    try {
        Load(image, Header(2, 2, 2) + ImageBlock(0, 0, 65535, 65535, Codes(2, {{4, 3}, {1, 3}, {5, 3}})) + ";");
        FAIL() << "no error";
    } catch (const EOutOfResources& e) {
        EXPECT_EQ(e.Message, "Out of system resources");
    }
    EXPECT_EQ(image.Count(), 0);
}

TEST(GifDecode, ProgressIsReportedFromStartToEnd)
{
    TGIFImage image;
    std::vector<std::pair<TProgressStage, int>> events;
    image.OnProgress = [&](TGraphic&, TProgressStage stage, int percent, bool, const TRect& rect, const std::string&) {
        events.emplace_back(stage, percent);
        EXPECT_EQ(rect, Bounds(0, 0, 64, 64));
    };
    LoadFrame(image, RandomPixels(64 * 64, 8, 3), 64, 64, 8);
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front(), std::make_pair(psStarting, 0));
    EXPECT_EQ(events.back(), std::make_pair(psEnding, 100));
    int last = -1;
    for (size_t i = 1; i + 1 < events.size(); ++i) {
        EXPECT_EQ(events[i].first, psRunning);
        EXPECT_GT(events[i].second, last) << "reported when it changes";
        last = events[i].second;
    }
    EXPECT_LE(last, 100);
    EXPECT_GE(last, 90);
}

// ---- the decoder against the plain table walk

namespace {

struct TWalked {
    std::vector<std::uint8_t> Pixels; // decoding order
    bool Corrupt = false;
};

// The decoding algorithm as plainly as it can be written: bytes carried
// into a bit buffer, every string walked back through the tables onto a
// stack of 4097 entries, pixels in decoding order.
TWalked WalkTables(const std::string& data, int width, int height, int bits)
{
    TWalked result;
    const size_t total = size_t(width) * size_t(height);
    result.Pixels.assign(total, 0);
    size_t written = 0;
    size_t at = 1;
    std::vector<std::uint8_t> buffer;
    size_t position = 0;
    auto next = [&](int size) -> int {
        while (position + size_t(size) > buffer.size() * 8) {
            if (at >= data.size())
                return -1;
            buffer.erase(buffer.begin(), buffer.begin() + std::ptrdiff_t(position / 8));
            position %= 8;
            const size_t n = std::min<size_t>(std::uint8_t(data[at]), data.size() - at - 1);
            buffer.insert(buffer.end(), data.begin() + std::ptrdiff_t(at + 1), data.begin() + std::ptrdiff_t(at + 1 + n));
            at += 1 + n;
        }
        int code = 0;
        for (int i = 0; i < size; ++i, ++position)
            code |= ((buffer[position / 8] >> (position % 8)) & 1) << i;
        return code;
    };
    int m = std::uint8_t(data[0]);
    const bool clamped = m < 2 || m > 9;
    result.Corrupt = clamped;
    m = std::clamp(m, 2, 9);
    const int mask = (1 << bits) - 1, clear = 1 << m, end = clear + 1;
    std::vector<int> prefix(4096, 0), suffix(4096, 0), stack;
    int codeSize = m + 1, limit = 1 << codeSize, nextFree = clear + 2, previous = 0, first = 0;
    bool full = false;
    auto put = [&](int pixel) {
        if (written < total)
            result.Pixels[written++] = std::uint8_t(pixel);
    };
    int code = next(codeSize);
    // Without an opening clear code the first code is read as the one after it.
    bool opening = !clamped && code != clear;
    while (code >= 0 && code != end && written < total) {
        if (code == clear || opening) {
            if (!opening) {
                codeSize = m + 1;
                limit = 1 << codeSize;
                nextFree = clear + 2;
                code = next(codeSize);
                while (code == clear) // a further clear code is no pixel
                    code = next(codeSize);
                if (code < 0)
                    break;
            }
            opening = false;
            previous = code;
            first = code & mask;
            put(first);
            full = false;
        } else {
            if (clamped)
                break;
            stack.clear();
            int c = code;
            if (code >= nextFree) {
                stack.push_back(first);
                c = previous;
            }
            while (c > mask && stack.size() < 4097) {
                stack.push_back(suffix[size_t(c)]);
                c = prefix[size_t(c)];
            }
            if (stack.size() >= 4097) {
                result.Corrupt = true;
                break;
            }
            first = c & mask;
            stack.push_back(first);
            for (auto p = stack.rbegin(); p != stack.rend(); ++p)
                put(*p);
            if (!full) {
                prefix[size_t(nextFree)] = previous;
                suffix[size_t(nextFree)] = first;
                if (++nextFree == limit) {
                    if (codeSize < 12) {
                        ++codeSize;
                        limit *= 2;
                    } else {
                        full = true;
                    }
                }
            }
            previous = code;
        }
        code = next(codeSize);
    }
    if (code < 0 && written < total)
        result.Corrupt = true;
    return result;
}

TWalked Decode(const std::string& data, int width, int height, int bits)
{
    const size_t rowSize = DibRowSize(width, 8);
    std::vector<std::uint8_t> rows(rowSize * size_t(height), 0);
    TLzwTarget target;
    target.Pixels = rows.data();
    target.Width = width;
    target.Height = height;
    target.RowSize = rowSize;
    TWalked result;
    result.Corrupt = LzwDecode(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), target, bits);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = rows.data() + size_t(height - 1 - y) * rowSize;
        result.Pixels.insert(result.Pixels.end(), row, row + width);
    }
    return result;
}

void ExpectSameAsWalk(const std::string& data, int width, int height, int bits, const std::string& what)
{
    const TWalked walked = WalkTables(data, width, height, bits);
    const TWalked decoded = Decode(data, width, height, bits);
    ASSERT_TRUE(decoded.Pixels == walked.Pixels) << what;
    ASSERT_EQ(decoded.Corrupt, walked.Corrupt) << what;
}

} // namespace

TEST(GifLzw, AClearCodeAfterAClearCodeResetsAgainAndAddsNoPixel)
{
    // Two entries grow the codes to 4 bits; a clear code of 4 bits, then two
    // of 3, reset the table to 3-bit codes without a pixel between them.
    const std::string data =
        Codes(2, {{4, 3}, {1, 3}, {2, 3}, {3, 3}, {4, 4}, {4, 3}, {4, 3}, {2, 3}, {6, 3}, {5, 3}});
    const TWalked decoded = Decode(data, 6, 1, 2);
    EXPECT_EQ(decoded.Pixels, (std::vector<std::uint8_t>{1, 2, 3, 2, 2, 2}));
    EXPECT_FALSE(decoded.Corrupt);
    ExpectSameAsWalk(data, 6, 1, 2, "the table walk");
}

TEST(GifLzw, TheDecoderAgreesWithThePlainTableWalkOnSoundAndDamagedData)
{
    std::mt19937 random(21);
    for (int round = 0; round < 300; ++round) {
        const int bits = 1 + int(random() % 8);
        const int width = 1 + int(random() % 70), height = 1 + int(random() % 50);
        // Runs of a few values and noise, so that strings of every length occur.
        std::vector<std::uint8_t> pixels(size_t(width * height));
        int value = 0;
        for (auto& p : pixels) {
            if (random() % 6 == 0)
                value = int(random() % (1u << bits));
            p = std::uint8_t(round % 3 == 0 ? int(random() % (1u << bits)) : value);
        }
        std::string data = LzwEncode(pixels.data(), pixels.size(), bits);
        const std::string what = "round " + std::to_string(round);
        ExpectSameAsWalk(data, width, height, bits, what + " sound");
        // Flipped bits: codes above the next entry, tables walked in circles, early ends.
        for (int flips = 0; flips < 1 + round % 4; ++flips)
            data[1 + random() % (data.size() - 1)] ^= char(1 << (random() % 8));
        ExpectSameAsWalk(data, width, height, bits, what + " damaged");
        // Random bytes under a random code size.
        std::string noise(1, char(random() % 12));
        for (int i = 0; i < 1 + int(random() % 600); ++i)
            noise.push_back(char(random()));
        ExpectSameAsWalk(noise, width, height, bits, what + " noise");
    }
}

// ---- drawing

namespace {

const TColor Background = RGB(1, 2, 3);
const TColor Key = RGB(255, 0, 255);

// 4 x 3 source: key colour on a diagonal and in a corner.
void FillSource(TBitmap& source)
{
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            source.Canvas().SetPixel(x, y, x == y || (x == 3 && y == 0) ? Key : RGB(10 * x, 20 * y, 200));
}

// What a keyed, nearest-pixel stretched copy of `source` into `dest` leaves.
void ExpectKeyedCopy(const TBitmap& canvas, const TBitmap& source, const TRect& dest, TColor key)
{
    for (int y = 0; y < canvas.Height(); ++y) {
        for (int x = 0; x < canvas.Width(); ++x) {
            TColor expected = Background;
            if (dest.Contains(x, y)) {
                const TColor s = source.Pixel((x - dest.Left) * source.Width() / dest.Width(),
                                              (y - dest.Top) * source.Height() / dest.Height());
                if (key == clNone || s != key)
                    expected = s;
            }
            ASSERT_EQ(canvas.Pixel(x, y), expected) << x << "," << y;
        }
    }
}

} // namespace

TEST(GifDraw, KeyColouredPixelsLeaveTheDestinationStretchedOrNot)
{
    TBitmap source(4, 3, pfDevice);
    FillSource(source);
    for (const TRect dest : {Rect(1, 1, 5, 4), Rect(1, 1, 9, 7), Rect(2, 0, 5, 2), Rect(0, 1, 10, 3)}) {
        TBitmap canvas(10, 8, pfDevice);
        canvas.Canvas().Brush.Color = Background;
        canvas.Canvas().FillRect(Rect(0, 0, 10, 8));
        DrawTransparentStretched(canvas.Canvas(), dest, source, Rect(0, 0, 4, 3), Key);
        ExpectKeyedCopy(canvas, source, dest, Key);

        canvas.Canvas().FillRect(Rect(0, 0, 10, 8));
        DrawTransparentStretched(canvas.Canvas(), dest, source, Rect(0, 0, 4, 3), clNone);
        ExpectKeyedCopy(canvas, source, dest, clNone);
    }
}

TEST(GifDraw, FramesDrawTransparentOnlyWhenAskedAndKeyed)
{
    // Index 3 is the key; it also stands where the frame is opaque when drawn plainly.
    const std::vector<std::uint8_t> pixels{0, 3, 1, 3, 2, 3};
    TGIFImage image;
    LoadFrame(image, pixels, 3, 2, 2, false, GraphicControl(0, 0, 3));
    TGIFFrame& frame = image.Frames(0);
    ASSERT_EQ(frame.KeyColor(), TableColor(3));

    TBitmap canvas(6, 4, pfDevice);
    canvas.Canvas().Brush.Color = Background;
    canvas.Canvas().FillRect(Rect(0, 0, 6, 4));
    frame.DrawFrame(canvas.Canvas(), Rect(0, 0, 6, 4), true);
    ExpectKeyedCopy(canvas, frame.FrameBitmap(), Rect(0, 0, 6, 4), TableColor(3));
    frame.DrawFrame(canvas.Canvas(), Rect(0, 0, 6, 4), false);
    ExpectKeyedCopy(canvas, frame.FrameBitmap(), Rect(0, 0, 6, 4), clNone);

    canvas.Canvas().FillRect(Rect(0, 0, 6, 4));
    image.Draw(canvas.Canvas(), Rect(0, 0, 6, 4));
    ExpectKeyedCopy(canvas, frame.FrameBitmap(), Rect(0, 0, 6, 4), TableColor(3));
    image.SetTransparent(false);
    image.Draw(canvas.Canvas(), Rect(0, 0, 6, 4));
    ExpectKeyedCopy(canvas, frame.FrameBitmap(), Rect(0, 0, 6, 4), clNone);
}

TEST(GifDraw, MonochromeFramesAreKeyedOnTheirOwnKeyColour)
{
    // The key is index 0 (not white): those pixels must stay out, the others show.
    TGIFImage image;
    LoadFrame(image, {0, 1, 1, 0, 0, 1}, 3, 2, 1, false, GraphicControl(0, 0, 0));
    TGIFFrame& frame = image.Frames(0);
    ASSERT_TRUE(frame.FrameBitmap().Monochrome());
    TBitmap canvas(3, 2, pfDevice);
    canvas.Canvas().Brush.Color = Background;
    canvas.Canvas().FillRect(Rect(0, 0, 3, 2));
    frame.DrawFrame(canvas.Canvas(), Rect(0, 0, 3, 2), true);
    ExpectKeyedCopy(canvas, frame.FrameBitmap(), Rect(0, 0, 3, 2), TableColor(0));
    EXPECT_EQ(canvas.Pixel(1, 0), TableColor(1));
    EXPECT_EQ(canvas.Pixel(0, 0), Background);
}

TEST(GifDraw, PaletteRgbCarriesThePaletteFlagAndResolvesSystemColours)
{
    EXPECT_EQ(ToPaletteRGB(RGB(1, 2, 3)), 0x02030201);
    EXPECT_EQ(ToPaletteRGB(clWindow), ColorToRGB(clWindow) | 0x02000000);
}
