// GIF decoding throughput, in megabytes of pixels a second, beside giflib's
// DGifSlurp on the same data in the same run: a 1000 x 1000 photograph-like
// 8-bit image, the same interlaced, and an animation of 200 small frames.
//
// "decode" is what the player does to get a frame's pixels (the block
// reader and the LZW decoder writing the bitmap rows); "bitmaps" adds the
// framework bitmap made from them (BMP stream, reader, true-colour copy).

#include "GifLzw.h"
#include "RxGIF.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <istream>
#include <random>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

using namespace quellora;
using Clock = std::chrono::steady_clock;

namespace {

struct TMemoryBuffer : std::streambuf {
    explicit TMemoryBuffer(const std::string& data)
    {
        char* p = const_cast<char*>(data.data());
        setg(p, p, p + data.size());
    }
};

// A smooth picture with fine texture, as photographs have, in 256 colours.
std::vector<TColor> PhotoPalette()
{
    std::vector<TColor> palette;
    for (int i = 0; i < 256; ++i)
        palette.push_back(RGB(i, int(128 + 120 * std::sin(i / 40.0)), 255 - i));
    return palette;
}

std::unique_ptr<TBitmap> PhotoBitmap(int width, int height, unsigned seed, double phase)
{
    std::mt19937 random(seed);
    auto bitmap = std::make_unique<TBitmap>(width, height, pf8bit);
    bitmap->SetPalette(PhotoPalette());
    for (int y = 0; y < height; ++y) {
        std::uint8_t* line = bitmap->ScanLine(y);
        for (int x = 0; x < width; ++x) {
            const double v = 128 + 70 * std::sin(x / 47.0 + phase) * std::cos(y / 61.0) +
                             40 * std::sin((x + 2 * y) / 113.0 - phase) + int(random() % 9) - 4;
            line[x] = std::uint8_t(std::clamp(int(v), 0, 255));
        }
    }
    bitmap->Changed();
    return bitmap;
}

std::string Encode(TGIFImage& image)
{
    std::ostringstream out;
    image.SaveToStream(out);
    return out.str();
}

std::string PhotoGif(bool interlaced)
{
    TGIFImage image;
    image.SetLogicalSize(1000, 1000);
    image.Frames(image.AppendFrame(*PhotoBitmap(1000, 1000, 1, 0))).SetInterlaced(interlaced);
    return Encode(image);
}

std::string AnimationGif()
{
    TGIFImage image;
    image.SetLogicalSize(320, 240);
    image.SetLooping(true, 0);
    for (int i = 0; i < 200; ++i) {
        TGIFFrame& frame = image.Frames(image.AppendFrame(*PhotoBitmap(96, 64, unsigned(i), i * 0.3)));
        frame.SetOrigin({i * 7 % 224, i * 13 % 176});
        frame.SetDelayMs(40);
        frame.SetDisposal(std::uint8_t(1 + i % 3));
    }
    return Encode(image);
}

double Megapixels(const std::string& gif)
{
    TMemoryBuffer buffer(gif);
    std::istream stream(&buffer);
    TGIFImage image;
    image.LoadGIF(stream, std::int64_t(gif.size()), false);
    double pixels = 0;
    for (int i = 0; i < image.Count(); ++i)
        pixels += double(image.Frames(i).Item().Width) * image.Frames(i).Item().Height;
    return pixels / 1e6;
}

// Best times of `runs` rounds; each round runs every contender `reps` times
// in turn, so that a busy machine slows them alike.
template <size_t N>
std::array<double, N> BestSeconds(int runs, int reps, const std::array<std::function<void()>, N>& contenders)
{
    std::array<double, N> best;
    best.fill(1e30);
    for (auto& f : contenders)
        f(); // warm-up: caches, allocator
    for (int r = 0; r < runs; ++r) {
        for (size_t c = 0; c < N; ++c) {
            const auto t0 = Clock::now();
            for (int i = 0; i < reps; ++i)
                contenders[c]();
            best[c] = std::min(best[c], std::chrono::duration<double>(Clock::now() - t0).count() / reps);
        }
    }
    return best;
}

int ReadMemory(GifFileType* file, GifByteType* out, int length)
{
    auto* source = static_cast<std::pair<const std::string*, size_t>*>(file->UserData);
    const size_t n = std::min(size_t(length), source->first->size() - source->second);
    std::memcpy(out, source->first->data() + source->second, n);
    source->second += n;
    return int(n);
}

void GiflibSlurp(const std::string& gif)
{
    std::pair<const std::string*, size_t> source(&gif, 0);
    int error = 0;
    GifFileType* file = DGifOpen(&source, ReadMemory, &error);
    if (!file || DGifSlurp(file) != GIF_OK) {
        std::fprintf(stderr, "giflib cannot read the data (%d)\n", error);
        std::exit(1);
    }
    DGifCloseFile(file, &error);
}

// The block reader, then every frame's LZW data into bitmap rows as the
// frame bitmap is built from them.
void OurDecode(const std::string& gif)
{
    TMemoryBuffer buffer(gif);
    std::istream stream(&buffer);
    TGIFImage image;
    image.LoadGIF(stream, std::int64_t(gif.size()), false);
    std::vector<std::uint8_t> rows;
    for (int i = 0; i < image.Count(); ++i) {
        const TGIFFrame& frame = image.Frames(i);
        const TGIFItem& item = frame.Item();
        TLzwTarget target;
        target.Width = item.Width;
        target.Height = item.Height;
        target.Depth = 8;
        target.RowSize = DibRowSize(item.Width, 8);
        target.Interlaced = frame.Interlaced();
        rows.assign(target.RowSize * size_t(item.Height), 0);
        target.Pixels = rows.data();
        LzwDecode(item.ZipData->data(), item.ZipData->size(), target, item.BitsPerPixel);
    }
}

void OurBitmaps(const std::string& gif)
{
    TMemoryBuffer buffer(gif);
    std::istream stream(&buffer);
    TGIFImage image;
    image.LoadGIF(stream, std::int64_t(gif.size()), false);
    for (int i = 0; i < image.Count(); ++i)
        image.Frames(i).FrameBitmap();
}

} // namespace

int main()
{
    struct Case {
        const char* name;
        std::string gif;
    };
    const Case cases[] = {
        {"1000x1000 photograph-like, 8-bit", PhotoGif(false)},
        {"1000x1000 photograph-like, 8-bit, interlaced", PhotoGif(true)},
        {"200 frames of 96x64, 8-bit", AnimationGif()},
    };
    std::printf("%-46s %9s %9s %10s %10s %7s %10s %7s\n", "file", "bytes", "Mpixels", "giflib", "decode", "ratio",
                "bitmaps", "ratio");
    for (const Case& c : cases) {
        const double mp = Megapixels(c.gif);
        const int reps = std::max(1, int(10 / mp));
        const std::array<double, 3> seconds = BestSeconds<3>(
            9, reps, {[&] { GiflibSlurp(c.gif); }, [&] { OurDecode(c.gif); }, [&] { OurBitmaps(c.gif); }});
        const double giflib = mp / seconds[0], decode = mp / seconds[1], bitmaps = mp / seconds[2];
        std::printf("%-46s %9zu %9.2f %7.1f MB/s %5.1f MB/s %6.2fx %5.1f MB/s %6.2fx\n", c.name, c.gif.size(), mp,
                    giflib, decode, decode / giflib, bitmaps, bitmaps / giflib);
    }
    std::printf("(MB = a million 8-bit pixels; ratio = ours / giflib DGifSlurp, best of several runs)\n");
    return 0;
}
