#include "RxGIF.h"

#include "Exceptions.h"
#include "GifEncoder.h"

#include <algorithm>
#include <ostream>

namespace quellora {

namespace {

// The colour indices of a monochrome or palette bitmap, top row first.
void TakeBitmap(const TBitmap& bitmap, TGifEncodeFrame& frame)
{
    switch (bitmap.PixelFormat()) {
    case pf1bit:
        frame.BitsPerPixel = 1;
        break;
    case pf4bit:
        frame.BitsPerPixel = 4;
        break;
    case pf8bit:
        frame.BitsPerPixel = 8;
        break;
    default:
        GifEncodingError();
    }
    frame.Width = bitmap.Width();
    frame.Height = bitmap.Height();
    frame.Palette = bitmap.Palette();
    frame.Palette.resize(std::min(frame.Palette.size(), std::size_t(1) << frame.BitsPerPixel));
    frame.Pixels.resize(std::size_t(frame.Width) * std::size_t(frame.Height));
    std::uint8_t* out = frame.Pixels.data();
    for (int y = 0; y < frame.Height; ++y) {
        const std::uint8_t* line = bitmap.ScanLine(y);
        if (frame.BitsPerPixel == 1) {
            for (int x = 0; x < frame.Width; ++x)
                *out++ = (line[x >> 3] >> (7 - (x & 7))) & 1;
        } else {
            out = std::copy(line, line + frame.Width, out);
        }
    }
}

void TakeTable(const TGIFColorTable& table, TGifEncodeFrame& frame)
{
    for (int i = 0; i < table.Count; ++i)
        frame.Palette.push_back(table.Color(i));
}

} // namespace

void TGIFImage::SaveToStream(std::ostream& stream) const
{
    if (frames_.empty())
        throw EInvalidGraphicOperation("No GIF Data to write");
    TGifEncodeImage gif;
    gif.Loop = loopFound_;
    gif.LoopCount = loopCount_;
    gif.Comment = data_->Comment;
    int right = 0, bottom = 0;
    for (const auto& f : frames_) {
        TGifEncodeFrame frame;
        frame.Left = f->origin_.X;
        frame.Top = f->origin_.Y;
        frame.Interlaced = f->interlaced_;
        frame.DelayCs = (f->delayMs_ + 5) / 10;
        frame.Disposal = f->disposal_;
        const TGIFItem& item = *f->item_;
        if (item.ZipData) {
            // Frames read from GIF data keep their compressed pixels as they were.
            frame.Width = item.Width;
            frame.Height = item.Height;
            frame.BitsPerPixel = item.BitsPerPixel;
            TakeTable(item.ColorMap, frame);
            frame.Compressed = *item.ZipData;
        } else if (f->bitmap_) {
            TakeBitmap(*f->bitmap_, frame);
        } else {
            GifEncodingError();
        }
        if (f->keyColor_ != clNone) {
            const TColor key = ColorToRGB(f->keyColor_);
            const auto at = std::find_if(frame.Palette.begin(), frame.Palette.end(),
                                         [key](TColor c) { return ColorToRGB(c) == key; });
            if (at != frame.Palette.end())
                frame.TransparentIndex = int(at - frame.Palette.begin());
        }
        right = std::max(right, frame.Left + frame.Width);
        bottom = std::max(bottom, frame.Top + frame.Height);
        gif.Frames.push_back(std::move(frame));
    }
    gif.Width = logicalWidth_ > 0 ? logicalWidth_ : right;
    gif.Height = logicalHeight_ > 0 ? logicalHeight_ : bottom;
    const std::string bytes = EncodeGif(gif);
    stream.write(bytes.data(), std::streamsize(bytes.size()));
}

} // namespace quellora
