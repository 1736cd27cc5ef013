// Loads arbitrary bytes as GIF data, decodes and draws every frame, and
// writes the image back and reads it again. Errors the GIF code reports are
// expected; anything else (a crash, a sanitizer report, another exception)
// is a fault.

#include "Exceptions.h"
#include "Graphics.h"
#include "RxGIF.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <sstream>
#include <streambuf>

using namespace quellora;

namespace {

struct TMemoryBuffer : std::streambuf {
    TMemoryBuffer(const std::uint8_t* data, std::size_t size)
    {
        char* p = const_cast<char*>(reinterpret_cast<const char*>(data));
        setg(p, p, p + size);
    }
};

// Drawing costs time in proportion to the frame; small frames show the same faults.
constexpr int MaxDrawnSide = 256;

// Larger frames are decoded like small ones and would only slow the search;
// the refusal of huge frames has a test of its own.
constexpr std::uint64_t MaxDecodedPixels = std::uint64_t(1) << 20;

bool SmallFrames(const TGIFImage& image)
{
    for (int i = 0; i < image.Count(); ++i) {
        const TGIFItem& item = image.Frames(i).Item();
        if (std::uint64_t(std::max(item.Width, 0)) * std::uint64_t(std::max(item.Height, 0)) > MaxDecodedPixels)
            return false;
    }
    return true;
}

void Load(TGIFImage& image, const std::uint8_t* data, std::size_t size, bool decodeFirst)
{
    TMemoryBuffer buffer(data, size);
    std::istream stream(&buffer);
    try {
        image.LoadGIF(stream, std::int64_t(size), decodeFirst);
    } catch (const Exception&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TGIFImage image;
    Load(image, data, size, false);
    if (!SmallFrames(image))
        return 0;
    // Again as the player loads: frame 0 decoded at once.
    Load(image, data, size, true);

    TBitmap canvas(48, 40, pfDevice);
    for (int i = 0; i < image.Count(); ++i) {
        TGIFFrame& frame = image.Frames(i);
        try {
            TBitmap& bitmap = frame.FrameBitmap();
            if (bitmap.Width() <= MaxDrawnSide && bitmap.Height() <= MaxDrawnSide) {
                const TPoint at = frame.Origin();
                frame.DrawFrame(canvas.Canvas(), Bounds(at.X % 64 - 8, at.Y % 64 - 8, bitmap.Width(), bitmap.Height()),
                                true);
                frame.DrawFrame(canvas.Canvas(), Rect(0, 0, 13, 7), true);
            }
        } catch (const Exception&) {
        }
    }

    try {
        std::ostringstream written;
        image.SaveToStream(written);
        std::istringstream again(written.str());
        TGIFImage copy;
        copy.LoadFromStream(again);
    } catch (const Exception&) {
    }
    return 0;
}
