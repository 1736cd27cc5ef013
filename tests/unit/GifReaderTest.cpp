// Reading GIF data into frames: header, extension runs, frames, looping,
// damaged data and the messages of failed loads.

#include "Exceptions.h"
#include "GifTestData.h"
#include "RxGIF.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

using namespace quellora;
using namespace quellora::test;

namespace {

// A 2 x 2 frame of colour indices 0..3 under the global table.
std::string SmallFrame(int left = 0, int top = 0, int width = 2, int height = 2)
{
    std::vector<std::uint8_t> pixels(size_t(width * height));
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = std::uint8_t(i % 4);
    return ImageBlock(left, top, width, height, Compressed(pixels, width, height, 2));
}

template <typename E>
std::string LoadError(TGIFImage& image, const std::string& bytes)
{
    try {
        Load(image, bytes);
    } catch (const E& e) {
        return e.Message;
    }
    return "no error";
}

struct ChangeCounter {
    explicit ChangeCounter(TGIFImage& image)
    {
        image.OnChange = [this](TGraphic&) { ++changes; };
    }
    int changes = 0;
};

} // namespace

TEST(GifHeader, SignatureAndVersionAreComparedWithoutLetterCase)
{
    TGIFImage image;
    Load(image, Header(2, 2, 2, 0, "gif89A") + SmallFrame() + ";");
    EXPECT_EQ(image.Version(), gv89a);
    EXPECT_EQ(image.Count(), 1);
    Load(image, Header(2, 2, 2, 0, "Gif87a") + SmallFrame() + ";");
    EXPECT_EQ(image.Version(), gv87a);
}

TEST(GifHeader, OtherSignaturesAndVersionsAreRefused)
{
    TGIFImage image;
    EXPECT_EQ(LoadError<EInvalidGraphicOperation>(image, Header(2, 2, 2, 0, "GIF88a") + SmallFrame()),
              "Unknown GIF version");
    EXPECT_EQ(LoadError<EInvalidGraphicOperation>(image, Header(2, 2, 2, 0, "JIF89a") + SmallFrame()),
              "Unknown GIF version");
    EXPECT_EQ(image.Count(), 0);
    EXPECT_EQ(LoadError<EReadError>(image, "GIF89a\x02"), "Stream read error");
    EXPECT_EQ(LoadError<EReadError>(image, Header(2, 2, 3).substr(0, 20)), "Stream read error");
}

TEST(GifHeader, LogicalScreenAndBackdropColour)
{
    TGIFImage image;
    Load(image, Header(300, 200, 2, 3) + SmallFrame() + ";");
    EXPECT_EQ(image.LogicalWidth(), 300);
    EXPECT_EQ(image.LogicalHeight(), 200);
    EXPECT_EQ(image.BackdropColor(), TableColor(3));
    EXPECT_EQ(image.Data().BitsPerPixel, 2);
    EXPECT_EQ(image.Data().ColorResBits, 2);

    Load(image, Header(2, 2, 2, 4) + SmallFrame() + ";");
    EXPECT_EQ(image.BackdropColor(), clNone) << "index beyond the table";
    std::string noTable = Header(2, 2, 0, 0);
    Load(image, noTable + ImageBlock(0, 0, 2, 2, Compressed({0, 1, 2, 3}, 2, 2, 2), 2) + ";");
    EXPECT_EQ(image.BackdropColor(), clNone) << "no global table";
}

TEST(GifLoad, EmptyDataGiveAnEmptyImageAndStillNotify)
{
    TGIFImage image;
    ChangeCounter counter(image);
    Load(image, "");
    EXPECT_TRUE(image.Empty());
    EXPECT_EQ(image.Count(), 0);
    EXPECT_EQ(image.CurrentFrame(), -1);
    EXPECT_EQ(image.Width(), 0);
    EXPECT_EQ(counter.changes, 1);
    EXPECT_TRUE(image.PaletteModified);
}

TEST(GifLoad, ASourceShorterThanTheCountFailsWithoutNotifying)
{
    TGIFImage image;
    ChangeCounter counter(image);
    const std::string bytes = Header(2, 2, 2) + SmallFrame() + ";";
    std::istringstream stream(bytes);
    try {
        image.LoadGIF(stream, std::int64_t(bytes.size()) + 1, true);
        FAIL() << "no error";
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message, "Stream read error");
    }
    EXPECT_EQ(image.Count(), 0);
    EXPECT_EQ(counter.changes, 0);
    EXPECT_FALSE(image.PaletteModified);
}

TEST(GifLoad, ACompletedLoadResetsTheImageAndDecodesFrameZero)
{
    TGIFImage image;
    ChangeCounter counter(image);
    Load(image, Header(2, 2, 2) + Looping(5) + SmallFrame() + SmallFrame() + ";");
    ASSERT_EQ(image.Count(), 2);
    Load(image, Header(4, 3, 2) + SmallFrame() + ";");
    EXPECT_EQ(counter.changes, 2);
    EXPECT_EQ(image.Count(), 1);
    EXPECT_EQ(image.CurrentFrame(), 0);
    EXPECT_FALSE(image.LoopFound());
    EXPECT_EQ(image.LoopCount(), 1);
    EXPECT_TRUE(image.Frames(0).HasBitmap());
    EXPECT_EQ(image.Width(), 2);
    EXPECT_EQ(image.Height(), 2);

    Load(image, Header(2, 2, 2) + SmallFrame() + SmallFrame() + ";", false);
    EXPECT_FALSE(image.Frames(0).HasBitmap()) << "decoding waits for the first use";
    EXPECT_FALSE(image.Empty());
}

TEST(GifBlocks, ZeroBytesBetweenBlocksAreSkipped)
{
    TGIFImage image;
    Load(image, Header(2, 2, 2) + std::string(3, '\0') + GraphicControl(1, 5) + std::string(2, '\0') + SmallFrame() +
                    std::string(4, '\0') + SmallFrame() + std::string(1, '\0') + ";");
    ASSERT_EQ(image.Count(), 2);
    EXPECT_EQ(image.Frames(0).DelayMs(), 50);
}

TEST(GifBlocks, AnUnknownByteAfterAFrameEndsReadingButAfterTheHeaderFails)
{
    TGIFImage image;
    Load(image, Header(2, 2, 2) + SmallFrame() + "\x99" + SmallFrame() + ";");
    EXPECT_EQ(image.Count(), 1) << "the rest is ignored";

    EXPECT_EQ(LoadError<EReadError>(image, Header(2, 2, 2) + "\x99" + SmallFrame() + ";"), "Stream read error");
    EXPECT_EQ(LoadError<EReadError>(image, Header(2, 2, 2) + Comment("x") + SmallFrame() + Comment("y") + "\x99;"),
              "Stream read error");
    // As the very last byte it only ends the data.
    Load(image, Header(2, 2, 2) + SmallFrame() + GraphicControl(0, 1) + "\x99");
    EXPECT_EQ(image.Count(), 1);
}

TEST(GifBlocks, DataEndingWithoutTerminatorOrTrailerAreAccepted)
{
    TGIFImage image;
    const std::string frame = SmallFrame();
    Load(image, Header(2, 2, 2) + frame);
    ASSERT_EQ(image.Count(), 1);
    Load(image, Header(2, 2, 2) + frame.substr(0, frame.size() - 1));
    ASSERT_EQ(image.Count(), 1);
    EXPECT_FALSE(image.Frames(0).Corrupt());
    EXPECT_EQ(FrameColors(image.Frames(0)), ColorsOf({0, 1, 2, 3}));
}

TEST(GifExtensions, AnUnknownLabelIsNamedInTwoLowerCaseDigits)
{
    TGIFImage image;
    EXPECT_EQ(LoadError<EInvalidGraphicOperation>(image, Header(2, 2, 2) + "\x21\x2A\x00" + SmallFrame()),
              "Unrecognized extension block: 2a");
    EXPECT_EQ(LoadError<EInvalidGraphicOperation>(image, Header(2, 2, 2) + SmallFrame() + "\x21\xFA\x00"),
              "Unrecognized extension block: fa");
    EXPECT_EQ(image.Count(), 1) << "frames read before the failure stay";
    EXPECT_EQ(image.CurrentFrame(), -1);
}

TEST(GifExtensions, APlainTextTakesTheGraphicControlBeforeIt)
{
    TGIFImage image;
    Load(image, Header(2, 2, 2) + GraphicControl(2, 50, 1) + PlainText("hello") + SmallFrame() + ";");
    const TGIFFrame& frame = image.Frames(0);
    EXPECT_EQ(frame.KeyColor(), clNone);
    EXPECT_EQ(frame.DelayMs(), 0);
    EXPECT_EQ(frame.Disposal(), 0);
    EXPECT_EQ(frame.Extensions(), nullptr);
}

TEST(GifExtensions, OfTwoGraphicControlsTheLongerDelayWinsAndTheLaterSetsTheRest)
{
    TGIFImage image;
    Load(image, Header(2, 2, 2) + GraphicControl(1, 90, 1) + Comment("note") + GraphicControl(3, 20, 2) +
                    SmallFrame() + GraphicControl(2, 10, 1) + GraphicControl(1, 30) + SmallFrame() + ";");
    const TGIFFrame& first = image.Frames(0);
    EXPECT_EQ(first.DelayMs(), 900);
    EXPECT_EQ(first.KeyColor(), TableColor(2));
    EXPECT_EQ(first.Disposal(), 3);
    ASSERT_NE(first.Extensions(), nullptr);
    ASSERT_EQ(first.Extensions()->size(), 3u);
    EXPECT_EQ((*first.Extensions())[1].Kind, ekComment);
    const TGIFFrame& second = image.Frames(1);
    EXPECT_EQ(second.KeyColor(), clNone) << "a later control without the flag clears the key";
    EXPECT_EQ(second.DelayMs(), 300);
    EXPECT_EQ(second.Disposal(), 1);
}

TEST(GifExtensions, ATransparentIndexOutsideTheTableLeavesNoKeyColour)
{
    TGIFImage image;
    Load(image, Header(2, 2, 2) + GraphicControl(0, 0, 4) + SmallFrame() + GraphicControl(0, 0, 3) + SmallFrame() +
                    ";");
    EXPECT_EQ(image.Frames(0).KeyColor(), clNone);
    EXPECT_EQ(image.Frames(1).KeyColor(), TableColor(3));
    EXPECT_TRUE(image.Transparent());
    image.SetTransparent(false);
    EXPECT_FALSE(image.Transparent());
}

TEST(GifExtensions, DelaysAreMillisecondsAndSaturateAt65535)
{
    TGIFImage image;
    Load(image, Header(2, 2, 2) + GraphicControl(0, 0) + SmallFrame() + GraphicControl(0, 6553) + SmallFrame() +
                    GraphicControl(0, 6554) + SmallFrame() + GraphicControl(0, 65535) + SmallFrame() + ";");
    EXPECT_EQ(image.Frames(0).DelayMs(), 0);
    EXPECT_EQ(image.Frames(1).DelayMs(), 65530);
    EXPECT_EQ(image.Frames(2).DelayMs(), 65535) << "no wrap-around to 4 ms";
    EXPECT_EQ(image.Frames(3).DelayMs(), 65535);
}

TEST(GifExtensions, LoopingCountIsReadAndCappedAt30000)
{
    TGIFImage image;
    Load(image, Header(2, 2, 2) + Looping(0) + SmallFrame() + ";");
    EXPECT_TRUE(image.LoopFound());
    EXPECT_EQ(image.LoopCount(), 0);
    Load(image, Header(2, 2, 2) + Looping(40000) + SmallFrame() + ";");
    EXPECT_EQ(image.LoopCount(), 30000);
    Load(image, Header(2, 2, 2) + SmallFrame() + Looping(7, "ANIMEXTS1.0") + ";");
    EXPECT_TRUE(image.LoopFound()) << "after the frame and under the other name";
    EXPECT_EQ(image.LoopCount(), 7);
}

TEST(GifExtensions, OtherApplicationExtensionsAreDropped)
{
    TGIFImage image;
    Load(image, Header(2, 2, 2) + Looping(7, "XMP DataXMP") + Looping(7, "NETSCAPE2.0", 2) + SmallFrame() + ";");
    EXPECT_FALSE(image.LoopFound());
    EXPECT_EQ(image.LoopCount(), 1);
    EXPECT_EQ(image.Frames(0).Extensions(), nullptr);
}

TEST(GifExtensions, CommentsBeforeTheFirstFrameBecomeTheImageComment)
{
    TGIFImage image;
    Load(image, Header(2, 2, 2) + Comment("made here") + Comment(std::string(300, 'x')) + "\0\0;");
    EXPECT_EQ(image.Count(), 0);
    const std::vector<std::string> expected{"made here", "\r\n\r\n", std::string(255, 'x'), std::string(45, 'x')};
    EXPECT_EQ(image.Comment(), expected);
}

TEST(GifFrames, AZeroSizedDescriptorTakesTheLogicalScreen)
{
    TGIFImage image;
    std::vector<std::uint8_t> pixels(12, 1);
    Load(image, Header(4, 3, 2) + ImageBlock(0, 0, 0, 0, Compressed(pixels, 4, 3, 2)) + ";");
    EXPECT_EQ(image.Frames(0).Item().Width, 4);
    EXPECT_EQ(image.Frames(0).Item().Height, 3);
    EXPECT_EQ(image.Frames(0).Width(), 4);
    EXPECT_EQ(image.Frames(0).Height(), 3);
}

TEST(GifFrames, AFrameCutInsideASubBlockIsKeptAndMarkedCorrupt)
{
    std::mt19937 random(11);
    std::vector<std::uint8_t> pixels(60 * 40);
    for (auto& p : pixels)
        p = std::uint8_t(random() % 4);
    pixels.back() = 3;
    const std::string compressed = Compressed(pixels, 60, 40, 2);
    ASSERT_GT(compressed.size(), 1u + 256 + 20) << "needs more than one sub-block";
    const std::string whole = Header(60, 40, 2) + ImageBlock(0, 0, 60, 40, compressed);

    // Full sub-blocks of 255 bytes, then one of `last` bytes, then the terminator.
    const size_t full = (compressed.size() - 3) / 256;
    const size_t last = compressed.size() - 3 - 256 * full;
    ASSERT_GE(last, 8u);

    TGIFImage image;
    Load(image, whole.substr(0, whole.size() - 5));
    ASSERT_EQ(image.Count(), 1);
    const TGIFFrame& frame = image.Frames(0);
    EXPECT_TRUE(frame.Corrupt());
    EXPECT_EQ(frame.Item().ZipData->size(), 1 + 256 * full) << "the cut sub-block is dropped whole";
    TBitmap& bitmap = image.Frames(0).FrameBitmap();
    EXPECT_EQ(bitmap.Width(), 60);
    EXPECT_EQ(bitmap.Pixel(59, 39), TableColor(0)) << "pixels beyond the data are index 0";
}

TEST(GifFrames, ShortFixedFieldsFailWithStreamReadError)
{
    TGIFImage image;
    const std::string frame = SmallFrame();
    const std::string local = ImageBlock(0, 0, 2, 2, Compressed({0, 1, 2, 3}, 2, 2, 2), 3);
    EXPECT_EQ(LoadError<EReadError>(image, Header(2, 2, 2) + frame + frame.substr(0, 6)), "Stream read error");
    EXPECT_EQ(image.Count(), 1);
    EXPECT_EQ(LoadError<EReadError>(image, Header(2, 2, 2) + local.substr(0, 20)), "Stream read error");
    EXPECT_EQ(LoadError<EReadError>(image, Header(2, 2, 2) + frame.substr(0, 10)), "Stream read error")
        << "no minimum code size byte";
    EXPECT_EQ(LoadError<EReadError>(image, Header(2, 2, 2) + "\x21\xF9\x04\x00\x00"), "Stream read error");
}

TEST(GifFrames, LocalTablesOverrideTheGlobalOne)
{
    TGIFImage image;
    Load(image, Header(2, 2, 1) +
                    ImageBlock(0, 0, 2, 2, Compressed({0, 1, 2, 3}, 2, 2, 3), 3) +
                    ImageBlock(0, 0, 2, 2, Compressed({1, 0, 0, 1}, 2, 2, 1)) + ";");
    EXPECT_TRUE(image.Frames(0).HasLocalTable());
    EXPECT_EQ(image.Frames(0).Item().BitsPerPixel, 3);
    EXPECT_EQ(image.Frames(0).Item().ColorMap.Count, 8);
    EXPECT_FALSE(image.Frames(1).HasLocalTable());
    EXPECT_EQ(image.Frames(1).Item().BitsPerPixel, 1);
    EXPECT_EQ(image.Frames(1).Item().ColorMap.Count, 2);
    EXPECT_EQ(FrameColors(image.Frames(1)), ColorsOf({1, 0, 0, 1}));
}

TEST(GifFrames, WithoutAnyColourTableFrameZeroFailsAndIsRemoved)
{
    TGIFImage image;
    ChangeCounter counter(image);
    const std::string frame = ImageBlock(0, 0, 2, 2, Compressed({0, 1, 1, 0}, 2, 2, 1));
    EXPECT_EQ(LoadError<EInvalidGraphicOperation>(image, Header(2, 2, 0) + frame + frame + ";"),
              "Wrong number of colors; must be a power of 2");
    EXPECT_EQ(image.Count(), 1) << "the other frame stays";
    EXPECT_EQ(image.CurrentFrame(), 0);
    EXPECT_EQ(counter.changes, 0);
    EXPECT_THROW(image.Frames(0).FrameBitmap(), EInvalidGraphicOperation);
}

TEST(GifImage, SizeCannotBeSet)
{
    TGIFImage image;
    Load(image, Header(2, 2, 2) + SmallFrame() + ";");
    try {
        image.SetWidth(5);
        FAIL() << "no error";
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.Message, "Cannot change the Size of a GIF image");
    }
    EXPECT_THROW(image.SetHeight(5), EInvalidGraphicOperation);
    EXPECT_EQ(image.Width(), 2);
}

TEST(GifImage, CopiesShareTheirDataAndCompareEqual)
{
    TGIFImage image, copy, other;
    const std::string bytes = Header(2, 2, 2) + GraphicControl(2, 7, 1) + SmallFrame() + SmallFrame(1, 1, 1, 1) + ";";
    Load(image, bytes);
    Load(other, bytes);
    ChangeCounter counter(copy);
    copy.Assign(image);
    EXPECT_EQ(counter.changes, 1);
    EXPECT_TRUE(copy.Equals(image));
    EXPECT_FALSE(other.Equals(image)) << "same bytes, separate data";
    ASSERT_EQ(copy.Count(), 2);
    EXPECT_EQ(&copy.Frames(0).Item(), &image.Frames(0).Item());
    EXPECT_EQ(copy.Frames(0).KeyColor(), TableColor(1));
    EXPECT_EQ(copy.Frames(1).Origin(), (TPoint{1, 1}));
    EXPECT_EQ(FrameColors(copy.Frames(1)), FrameColors(image.Frames(1)));
}

TEST(GifImage, TheStoredDataPropertyIsACountThenTheBytes)
{
    const std::string bytes = Header(2, 2, 2) + SmallFrame() + ";";
    std::string stored = Word(int(bytes.size())) + std::string(2, '\0') + bytes + "trailing";
    TGIFImage image;
    std::istringstream stream(stored);
    image.ReadData(stream);
    EXPECT_EQ(image.Count(), 1);
    std::string rest;
    stream >> rest;
    EXPECT_EQ(rest, "trailing") << "exactly the counted bytes are read";

    std::ostringstream written;
    image.WriteData(written);
    std::istringstream back(written.str());
    TGIFImage again;
    again.ReadData(back);
    EXPECT_EQ(FrameColors(again.Frames(0)), ColorsOf({0, 1, 2, 3}));

    std::istringstream cut(Word(500) + std::string(2, '\0') + bytes);
    EXPECT_THROW(again.ReadData(cut), EReadError);
}

TEST(GifImage, LoadsFromAFileAndNamesAMissingOne)
{
    TGIFImage image;
    const std::string missing = "/nonexistent/dir/none.gif";
    try {
        image.LoadFromFile(missing);
        FAIL() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message, "Cannot open file " + missing);
    }
}
