// GIF files written by another program (ImageMagick) decode to the pixels
// ImageMagick decodes them to, frame by frame; GIF data the encoder writes
// decode back, here and in ImageMagick, to the frames it was given; the
// default banner and the gifframes tool agree with them.

#include "Exceptions.h"
#include "GifTestData.h"
#include "RxGIF.h"
#include "TempDir.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <sstream>

using namespace quellora;
using namespace quellora::test;

namespace {

struct Picture {
    int Width = 0;
    int Height = 0;
    std::vector<TColor> Pixels;
};

// What ImageMagick says of each frame: size, offset, delay and disposal.
struct FrameInfo {
    int Width, Height, Left, Top, DelayCs;
    std::string Dispose;
};

QString ConvertProgram()
{
    return QFile::exists("/usr/bin/convert") ? QString("/usr/bin/convert") : QString("convert");
}

std::string RunProgram(const QString& program, const QStringList& args, int* exitCode = nullptr)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(60000)) {
        ADD_FAILURE() << program.toStdString() << " did not finish";
        return {};
    }
    if (exitCode)
        *exitCode = process.exitCode();
    else if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        ADD_FAILURE() << program.toStdString() << " " << args.join(' ').toStdString() << ": "
                      << process.readAllStandardError().toStdString();
    return process.readAllStandardOutput().toStdString();
}

// Without dithering ImageMagick writes GIF frames many times faster; the
// colours it picks do not matter here.
void Convert(const QStringList& args)
{
    RunProgram(ConvertProgram(), QStringList{"+dither"} + args);
}

Picture ReadPpm(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxValue = 0;
    Picture picture;
    in >> magic >> picture.Width >> picture.Height >> maxValue;
    in.get();
    EXPECT_EQ(magic, "P6") << path;
    EXPECT_EQ(maxValue, 255) << path;
    for (int i = 0; i < picture.Width * picture.Height; ++i) {
        unsigned char rgb[3] = {};
        in.read(reinterpret_cast<char*>(rgb), 3);
        picture.Pixels.push_back(RGB(rgb[0], rgb[1], rgb[2]));
    }
    EXPECT_TRUE(in) << path;
    return picture;
}

Picture PictureOf(const QImage& image)
{
    Picture picture{image.width(), image.height(), {}};
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            picture.Pixels.push_back(QRgbToColor(image.pixel(x, y)));
    return picture;
}

// ImageMagick's frames of a GIF file, each as it is stored (not composed).
std::vector<Picture> ReferenceFrames(const TempDir& dir, const std::string& gif)
{
    const std::string pattern = dir.file("ref-%03d.ppm");
    Convert({QString::fromStdString(gif), "-alpha", "off", "-depth", "8", "+adjoin", QString::fromStdString(pattern)});
    std::vector<Picture> frames;
    for (int i = 0;; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "ref-%03d.ppm", i);
        if (!QFile::exists(QString::fromStdString(dir.file(name))))
            break;
        frames.push_back(ReadPpm(dir.file(name)));
        QFile::remove(QString::fromStdString(dir.file(name)));
    }
    return frames;
}

std::vector<FrameInfo> ReferenceInfo(const std::string& gif)
{
    std::istringstream lines(RunProgram("identify", {"-format", "%w %h %X %Y %T %D\n", QString::fromStdString(gif)}));
    std::vector<FrameInfo> info;
    FrameInfo f;
    while (lines >> f.Width >> f.Height >> f.Left >> f.Top >> f.DelayCs >> f.Dispose)
        info.push_back(f);
    return info;
}

int DisposalOf(const std::string& name)
{
    return name == "None" ? 1 : name == "Background" ? 2 : name == "Previous" ? 3 : 0;
}

Picture Decoded(TGIFFrame& frame)
{
    TBitmap& bitmap = frame.FrameBitmap();
    return {bitmap.Width(), bitmap.Height(), FrameColors(frame)};
}

// Every frame of `gif` as ImageMagick decodes it.
void ExpectSameAsImageMagick(const TempDir& dir, const std::string& gif)
{
    SCOPED_TRACE(gif);
    TGIFImage image;
    image.LoadFromFile(gif);
    const std::vector<Picture> reference = ReferenceFrames(dir, gif);
    const std::vector<FrameInfo> info = ReferenceInfo(gif);
    ASSERT_EQ(image.Count(), int(reference.size()));
    ASSERT_EQ(info.size(), reference.size());
    for (int i = 0; i < image.Count(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        TGIFFrame& frame = image.Frames(i);
        const Picture ours = Decoded(frame);
        EXPECT_FALSE(frame.Corrupt());
        EXPECT_EQ(ours.Width, reference[size_t(i)].Width);
        EXPECT_EQ(ours.Height, reference[size_t(i)].Height);
        EXPECT_TRUE(ours.Pixels == reference[size_t(i)].Pixels) << "pixels differ";
        EXPECT_EQ(frame.Origin(), (TPoint{info[size_t(i)].Left, info[size_t(i)].Top}));
        EXPECT_EQ(frame.DelayMs(), info[size_t(i)].DelayCs * 10);
        EXPECT_EQ(frame.Disposal(), DisposalOf(info[size_t(i)].Dispose));
    }
}

// Arguments for ImageMagick that make an animation of `count` frames of
// different sizes, places, colours and disposals on a 60 x 40 screen.
QStringList AnimationArguments(int count, const std::string& out)
{
    QStringList args{"-loop", "3"};
    for (int i = 0; i < count; ++i) {
        const int w = 4 + i % 11, h = 3 + i % 7;
        args << "-delay" << QString::number(i % 5 * 3) << "-dispose"
             << QStringList{"None", "Background", "Previous"}[i % 3] << "-page"
             << (i == 0 ? QString("60x40+0+0") : QString("+%1+%2").arg(i * 7 % 50).arg(i * 5 % 33));
        if (i == 0)
            args << "-size" << "60x40" << "gradient:navy-orange";
        else
            args << "-size" << QString("%1x%2").arg(w).arg(h)
                 << QString("gradient:rgb(%1,%2,%3)-white").arg(i * 37 % 256).arg(i * 91 % 256).arg(i * 53 % 256);
    }
    args << QString::fromStdString(out);
    return args;
}

// Compressed data as an encoder that leaves out the opening clear code
// writes them: the encoder's codes after its first one, packed anew.
std::string WithoutOpeningClear(const std::string& data)
{
    const int m = std::uint8_t(data[0]);
    std::string payload;
    for (size_t at = 1; at < data.size() && data[at] != 0; at += 1 + std::uint8_t(data[at]))
        payload.append(data, at + 1, std::uint8_t(data[at]));
    auto bit = [&](size_t i) { return (std::uint8_t(payload[i / 8]) >> (i % 8)) & 1; };
    int first = 0;
    for (int i = 0; i <= m; ++i)
        first |= bit(size_t(i)) << i;
    EXPECT_EQ(first, 1 << m) << "the encoder opens with a clear code";
    std::string bytes;
    for (size_t b = size_t(m) + 1; b < payload.size() * 8; b += 8) {
        int byte = 0;
        for (size_t i = 0; i < 8 && b + i < payload.size() * 8; ++i)
            byte |= bit(b + i) << i;
        bytes.push_back(char(byte));
    }
    return std::string(1, char(m)) + SubBlocks(bytes);
}

} // namespace

TEST(GifReference, StillImagesOfEveryDepthInterlacedOrNot)
{
    TempDir dir;
    int n = 0;
    const QStringList sources{"gradient:red-blue", "plasma:fractal"};
    for (int bits = 1; bits <= 8; ++bits) {
        for (bool interlaced : {false, true}) {
            const std::string gif = dir.file("still" + std::to_string(n++) + ".gif");
            QStringList args{"-seed", "3", "-size", "53x41", sources[bits % 2]};
            if (bits == 1)
                args << "-monochrome";
            else
                args << "-colors" << QString::number((1 << bits) - (1 << bits) / 4);
            if (interlaced)
                args << "-interlace" << "GIF";
            Convert(args << QString::fromStdString(gif));
            ExpectSameAsImageMagick(dir, gif);
        }
    }
}

TEST(GifReference, TransparentImages)
{
    TempDir dir;
    const std::string gif = dir.file("transparent.gif");
    Convert({"-size", "31x27", "xc:white", "-fill", "red", "-draw", "circle 15,13 15,3", "-fill", "blue", "-draw",
             "rectangle 0,0 6,6", "-transparent", "white", QString::fromStdString(gif)});
    ExpectSameAsImageMagick(dir, gif);
    TGIFImage image;
    image.LoadFromFile(gif);
    EXPECT_NE(image.Frames(0).KeyColor(), clNone);
    EXPECT_TRUE(image.Transparent());
}

TEST(GifReference, StreamsWithoutAnOpeningClearCodeDecodeAsTheStandardSays)
{
    TempDir dir;
    const int width = 61, height = 37;
    std::mt19937 random(8);
    for (int bits : {1, 3, 8}) {
        // Runs and noise: long strings, and a full table for 8 bits.
        std::vector<std::uint8_t> pixels(size_t(width * height));
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = std::uint8_t((i / 61 % 3 == 0 ? i / 7 : random()) % (1u << bits));
        const std::string gif = dir.file("open" + std::to_string(bits) + ".gif");
        WriteBytes(gif, Header(width, height, bits) +
                            ImageBlock(0, 0, width, height, WithoutOpeningClear(Compressed(pixels, width, height, bits))) +
                            ";");
        ExpectSameAsImageMagick(dir, gif);
        TGIFImage image;
        image.LoadFromFile(gif);
        EXPECT_EQ(FrameColors(image.Frames(0)), ColorsOf(pixels)) << bits << " bits";
    }
}

TEST(GifReference, RepeatedClearCodesResetAgainAndAddNoPixel)
{
    TempDir dir;
    // A 2 x 1 image on black and white: clear, clear, white, white, end.
    const std::string minimal = dir.file("double-clear.gif");
    WriteBytes(minimal, QByteArray::fromHex("47494638396102000100800000000000ffffff2c00000000020001000002026452003b")
                            .toStdString());
    ExpectSameAsImageMagick(dir, minimal);
    TGIFImage image;
    image.LoadFromFile(minimal);
    EXPECT_EQ(FrameColors(image.Frames(0)), (std::vector<TColor>{RGB(255, 255, 255), RGB(255, 255, 255)}));

    // One, two or three clear codes before every pixel, as some encoders
    // write them; the table never grows, so every code is m + 1 bits.
    const int width = 23, height = 9;
    std::mt19937 random(4);
    for (int bits : {1, 3, 8}) {
        const int m = std::max(bits, 2), clear = 1 << m;
        std::vector<std::uint8_t> pixels(size_t(width * height));
        std::vector<std::pair<int, int>> codes;
        for (std::uint8_t& p : pixels) {
            p = std::uint8_t(random() % (1u << bits));
            for (int n = 0; n <= int(random() % 3); ++n)
                codes.emplace_back(clear, m + 1);
            codes.emplace_back(p, m + 1);
        }
        codes.emplace_back(clear + 1, m + 1);
        const std::string gif = dir.file("clears" + std::to_string(bits) + ".gif");
        WriteBytes(gif, Header(width, height, bits) + ImageBlock(0, 0, width, height, Codes(m, codes)) + ";");
        ExpectSameAsImageMagick(dir, gif);
        image.LoadFromFile(gif);
        EXPECT_EQ(FrameColors(image.Frames(0)), ColorsOf(pixels)) << bits << " bits";
    }
}

TEST(GifReference, AnimationsOfManySmallFrames)
{
    TempDir dir;
    const std::string gif = dir.file("animation.gif");
    Convert(AnimationArguments(40, gif));
    ExpectSameAsImageMagick(dir, gif);
    TGIFImage image;
    image.LoadFromFile(gif);
    EXPECT_EQ(image.LogicalWidth(), 60);
    EXPECT_EQ(image.LogicalHeight(), 40);
    EXPECT_TRUE(image.LoopFound());
    EXPECT_EQ(image.LoopCount(), 2) << "ImageMagick stores -loop 3 as two repeats";
}

TEST(GifReference, ImagesReadBackAfterWritingKeepTheirFrames)
{
    TempDir dir;
    const std::string gif = dir.file("animation.gif");
    Convert(AnimationArguments(12, gif));
    TGIFImage image;
    image.LoadFromFile(gif);
    const std::string copy = dir.file("copy.gif");
    image.SaveToFile(copy);
    TGIFImage again;
    again.LoadFromFile(copy);
    ASSERT_EQ(again.Count(), image.Count());
    for (int i = 0; i < image.Count(); ++i) {
        EXPECT_EQ(Decoded(again.Frames(i)).Pixels, Decoded(image.Frames(i)).Pixels) << i;
        EXPECT_EQ(again.Frames(i).Origin(), image.Frames(i).Origin());
        EXPECT_EQ(again.Frames(i).DelayMs(), image.Frames(i).DelayMs());
        EXPECT_EQ(again.Frames(i).Disposal(), image.Frames(i).Disposal());
        EXPECT_EQ(again.Frames(i).KeyColor(), image.Frames(i).KeyColor());
    }
    EXPECT_EQ(again.LoopCount(), 2);
    ExpectSameAsImageMagick(dir, copy);
}

namespace {

// A palette bitmap of random indices, and the colours it shows.
std::unique_ptr<TBitmap> RandomBitmap(int width, int height, TPixelFormat format, unsigned seed, Picture& colors)
{
    const int bits = format == pf1bit ? 1 : format == pf4bit ? 4 : 8;
    std::mt19937 random(seed);
    std::vector<TColor> palette;
    for (int i = 0; i < (1 << bits); ++i)
        palette.push_back(RGB(int(random() % 256), int(random() % 256), i));
    auto result = std::make_unique<TBitmap>(width, height, format);
    TBitmap& bitmap = *result;
    bitmap.SetPalette(palette);
    colors = {width, height, {}};
    for (int y = 0; y < height; ++y) {
        std::uint8_t* line = bitmap.ScanLine(y);
        for (int x = 0; x < width; ++x) {
            // Runs and noise, so that the strings grow long and the table fills.
            const int index = int((y % 3 == 0 ? unsigned(x / 5) : unsigned(random())) % (1u << bits));
            if (bits == 1)
                line[x / 8] = std::uint8_t((line[x / 8] & ~(0x80 >> (x % 8))) | (index << (7 - x % 8)));
            else
                line[x] = std::uint8_t(index);
            colors.Pixels.push_back(palette[size_t(index)]);
        }
    }
    bitmap.Changed();
    return result;
}

} // namespace

TEST(GifEncoder, FramesOfOneFourAndEightBitsDecodeBackHereAndInImageMagick)
{
    TempDir dir;
    TGIFImage image;
    image.SetLogicalSize(150, 120);
    image.SetLooping(true, 0);
    std::vector<Picture> expected;
    const TPixelFormat formats[] = {pf1bit, pf4bit, pf8bit, pf8bit, pf4bit, pf1bit};
    for (int i = 0; i < 6; ++i) {
        Picture colors;
        const auto bitmap = RandomBitmap(150 - i * 17, 120 - i * 13, formats[i], unsigned(i), colors);
        expected.push_back(colors);
        TGIFFrame& frame = image.Frames(image.AppendFrame(*bitmap));
        frame.SetOrigin({i * 3, i * 2});
        frame.SetDelayMs(std::uint16_t(i * 70));
        frame.SetDisposal(std::uint8_t(i % 4));
        frame.SetInterlaced(i % 2 == 1);
        if (i == 2)
            frame.SetKeyColor(bitmap->Palette()[5]);
    }
    EXPECT_EQ(image.Version(), gv89a);
    const std::string gif = dir.file("written.gif");
    image.SaveToFile(gif);

    TGIFImage read;
    read.LoadFromFile(gif);
    ASSERT_EQ(read.Count(), 6);
    EXPECT_TRUE(read.LoopFound());
    EXPECT_EQ(read.LoopCount(), 0);
    EXPECT_EQ(read.LogicalWidth(), 150);
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        TGIFFrame& frame = read.Frames(i);
        EXPECT_EQ(Decoded(frame).Pixels, expected[size_t(i)].Pixels);
        EXPECT_EQ(frame.Origin(), (TPoint{i * 3, i * 2}));
        EXPECT_EQ(frame.DelayMs(), i * 70);
        EXPECT_EQ(frame.Disposal(), i % 4);
        EXPECT_EQ(frame.Interlaced(), i % 2 == 1);
        EXPECT_EQ(frame.KeyColor(), i == 2 ? image.Frames(2).KeyColor() : clNone);
        EXPECT_FALSE(frame.Corrupt());
    }

    const std::vector<Picture> reference = ReferenceFrames(dir, gif);
    ASSERT_EQ(reference.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(reference[i].Pixels == expected[i].Pixels) << "ImageMagick reads frame " << i << " otherwise";
}

TEST(GifEncoder, RefusesAnImageWithoutFramesAndTrueColourFrames)
{
    TGIFImage image;
    std::ostringstream out;
    try {
        image.SaveToStream(out);
        FAIL() << "no error";
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.Message, "No GIF Data to write");
    }
    image.AppendFrame(TBitmap(4, 4, pfDevice));
    EXPECT_EQ(image.Version(), gv87a);
    try {
        image.SaveToStream(out);
        FAIL() << "no error";
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.Message, "GIF image encoding error");
    }
    EXPECT_TRUE(out.str().empty()) << "nothing is written when a frame fails";
}

TEST(GifSkin, TheDefaultBannerHasItsFramesDelaysDisposalsAndKey)
{
    const std::string gif = qEnvironmentVariable("QUELLORA_BUILD_DIR").toStdString() + "/Skin/GifUp.gif";
    TGIFImage image;
    image.LoadFromFile(gif);
    EXPECT_EQ(image.LogicalWidth(), 513);
    EXPECT_EQ(image.LogicalHeight(), 80);
    EXPECT_TRUE(image.LoopFound());
    ASSERT_GE(image.Count(), 3);
    std::set<int> disposals;
    for (int i = 0; i < image.Count(); ++i) {
        EXPECT_EQ(image.Frames(i).KeyColor(), RGB(255, 0, 255)) << i;
        EXPECT_GT(image.Frames(i).DelayMs(), 0) << i;
        disposals.insert(image.Frames(i).Disposal());
    }
    EXPECT_EQ(disposals, (std::set<int>{1, 2, 3}));
    TempDir dir;
    ExpectSameAsImageMagick(dir, gif);
}

TEST(GifFramesTool, PrintsEveryFrameAndWritesItsPixels)
{
    TempDir dir;
    const std::string gif = dir.file("animation.gif");
    Convert(AnimationArguments(4, gif));
    const QString tool = qEnvironmentVariable("QUELLORA_BUILD_DIR") + "/tools/gifframes";
    const std::string report = RunProgram(tool, {QString::fromStdString(gif), QString::fromStdString(dir.path())});

    TGIFImage image;
    image.LoadFromFile(gif);
    std::ostringstream expected;
    expected << "size 60x40\nversion 89a\nloop 2\nframes 4\n";
    for (int i = 0; i < 4; ++i) {
        TGIFFrame& f = image.Frames(i);
        expected << "frame " << i << " origin " << f.Origin().X << "," << f.Origin().Y << " size " << f.Width() << "x"
                 << f.Height() << " delay " << f.DelayMs() << " disposal " << int(f.Disposal())
                 << " key none corrupt no\n";
    }
    EXPECT_EQ(report, expected.str());

    const std::vector<Picture> reference = ReferenceFrames(dir, gif);
    ASSERT_EQ(reference.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "frame%03d.bmp", i);
        const QImage written(QString::fromStdString(dir.file(name)));
        ASSERT_FALSE(written.isNull()) << name;
        EXPECT_TRUE(PictureOf(written).Pixels == reference[size_t(i)].Pixels) << name;
    }
}

TEST(GifFramesTool, ReportsADamagedFileAndWhatWasRead)
{
    TempDir dir;
    const std::string gif = dir.file("damaged.gif");
    const std::string frame = ImageBlock(0, 0, 2, 2, Compressed({0, 1, 2, 3}, 2, 2, 2));
    WriteBytes(gif, Header(2, 2, 2) + GraphicControl(2, 4, 1) + frame + "\x21\x2A\x00");
    int exitCode = -1;
    const std::string report =
        RunProgram(qEnvironmentVariable("QUELLORA_BUILD_DIR") + "/tools/gifframes", {QString::fromStdString(gif)}, &exitCode);
    EXPECT_EQ(exitCode, 1);
    EXPECT_NE(report.find("frames 1\n"), std::string::npos) << report;
    char key[16];
    std::snprintf(key, sizeof key, "#%02x%02x%02x", GetRValue(TableColor(1)), GetGValue(TableColor(1)),
                  GetBValue(TableColor(1)));
    EXPECT_NE(report.find(std::string("frame 0 origin 0,0 size 2x2 delay 40 disposal 2 key ") + key + " corrupt no"),
              std::string::npos)
        << report;
}
