#include "RxGIF.h"

#include "Exceptions.h"

#include <algorithm>
#include <istream>
#include <ostream>
#include <sstream>

namespace quellora {

int ColorCountToBits(int count)
{
    for (int bits = 1; bits <= 8; ++bits) {
        if (count == 1 << bits)
            return bits;
    }
    return 0;
}

TGIFImage::TGIFImage() : data_(std::make_shared<TGIFData>())
{
    transparent_ = true;
}

TGIFImage::~TGIFImage()
{
    OnChange = nullptr;
    OnProgress = nullptr;
}

void TGIFImage::Reset()
{
    data_ = std::make_shared<TGIFData>();
    frames_.clear();
    currentFrame_ = -1;
    version_ = gvUnknown;
    logicalWidth_ = 0;
    logicalHeight_ = 0;
    backdropColor_ = clNone;
    loopFound_ = false;
    loopCount_ = 1;
}

void TGIFImage::LoadFromStream(std::istream& stream)
{
    const std::istream::pos_type start = stream.tellg();
    std::int64_t count = -1;
    if (start != std::istream::pos_type(-1) && stream.seekg(0, std::ios::end)) {
        count = std::int64_t(stream.tellg() - start);
        stream.seekg(start);
    }
    if (count >= 0) {
        LoadGIF(stream, count, true);
        return;
    }
    // A stream that cannot tell its length is read to its end first.
    stream.clear();
    std::ostringstream rest;
    rest << stream.rdbuf();
    std::istringstream copy(std::move(rest).str());
    LoadGIF(copy, std::int64_t(copy.str().size()), true);
}

void TGIFImage::ReadData(std::istream& stream)
{
    unsigned char size[4];
    if (!stream.read(reinterpret_cast<char*>(size), 4))
        throw EReadError("Stream read error");
    const std::int64_t count =
        std::int64_t(size[0]) | std::int64_t(size[1]) << 8 | std::int64_t(size[2]) << 16 | std::int64_t(size[3]) << 24;
    LoadGIF(stream, count, true);
}

void TGIFImage::WriteData(std::ostream& stream) const
{
    std::ostringstream gif;
    SaveToStream(gif);
    const std::string bytes = std::move(gif).str();
    const std::uint32_t n = std::uint32_t(bytes.size());
    const char size[4] = {char(n & 0xFF), char((n >> 8) & 0xFF), char((n >> 16) & 0xFF), char(n >> 24)};
    stream.write(size, 4);
    stream.write(bytes.data(), std::streamsize(bytes.size()));
}

void TGIFImage::Assign(const TGIFImage& source)
{
    if (&source == this)
        return;
    data_ = source.data_;
    version_ = source.version_;
    logicalWidth_ = source.logicalWidth_;
    logicalHeight_ = source.logicalHeight_;
    backdropColor_ = source.backdropColor_;
    loopFound_ = source.loopFound_;
    loopCount_ = source.loopCount_;
    frames_.clear();
    for (const auto& from : source.frames_) {
        auto frame = std::make_unique<TGIFFrame>(this);
        frame->item_ = from->item_;
        if (from->extensions_)
            frame->extensions_ = std::make_unique<TExtensionList>(*from->extensions_);
        if (from->bitmap_) {
            frame->bitmap_ = std::make_unique<TBitmap>();
            frame->bitmap_->Assign(*from->bitmap_);
        }
        frame->origin_ = from->origin_;
        frame->interlaced_ = from->interlaced_;
        frame->corrupt_ = from->corrupt_;
        frame->hasLocalTable_ = from->hasLocalTable_;
        frame->keyColor_ = from->keyColor_;
        frame->delayMs_ = from->delayMs_;
        frame->disposal_ = from->disposal_;
        frames_.push_back(std::move(frame));
    }
    currentFrame_ = source.currentFrame_;
    PaletteModified = true;
    Changed();
}

void TGIFImage::SetLogicalSize(int width, int height)
{
    logicalWidth_ = std::clamp(width, 0, 0xFFFF);
    logicalHeight_ = std::clamp(height, 0, 0xFFFF);
}

void TGIFImage::SetLooping(bool found, std::uint16_t count)
{
    loopFound_ = found;
    loopCount_ = found ? std::min<std::uint16_t>(count, 30000) : 1;
}

bool TGIFImage::Empty() const
{
    if (frames_.empty())
        return true;
    const TGIFFrame& frame = *frames_[size_t(std::clamp(currentFrame_, 0, Count() - 1))];
    if (frame.bitmap_)
        return false;
    return !frame.item_->ZipData || frame.item_->ZipData->empty();
}

int TGIFImage::Width()
{
    if (Empty() || currentFrame_ < 0 || currentFrame_ >= Count())
        return 0;
    return frames_[size_t(currentFrame_)]->FrameBitmap().Width();
}

int TGIFImage::Height()
{
    if (Empty() || currentFrame_ < 0 || currentFrame_ >= Count())
        return 0;
    return frames_[size_t(currentFrame_)]->FrameBitmap().Height();
}

void TGIFImage::SetWidth(int)
{
    throw EInvalidGraphicOperation("Cannot change the Size of a GIF image");
}

void TGIFImage::SetHeight(int)
{
    throw EInvalidGraphicOperation("Cannot change the Size of a GIF image");
}

std::vector<TColor> TGIFImage::Palette()
{
    if (frames_.empty())
        return {};
    const int index = currentFrame_ >= 0 && currentFrame_ < Count() ? currentFrame_ : 0;
    return frames_[size_t(index)]->FrameBitmap().Palette();
}

bool TGIFImage::Transparent() const
{
    return transparent_ &&
           std::any_of(frames_.begin(), frames_.end(), [](const auto& f) { return f->KeyColor() != clNone; });
}

void TGIFImage::Draw(TCanvas& canvas, const TRect& rect)
{
    if (currentFrame_ >= 0 && currentFrame_ < Count())
        frames_[size_t(currentFrame_)]->DrawFrame(canvas, rect, Transparent());
}

bool TGIFImage::Equals(const TGraphic& other) const
{
    const auto* gif = dynamic_cast<const TGIFImage*>(&other);
    return gif && gif->data_ == data_;
}

int TGIFImage::AppendFrame(const TBitmap& bitmap)
{
    frames_.push_back(std::make_unique<TGIFFrame>(this));
    currentFrame_ = Count() - 1;
    frames_.back()->Assign(bitmap);
    if (version_ == gvUnknown)
        version_ = gv87a;
    if (Count() >= 2)
        version_ = gv89a;
    return currentFrame_;
}

} // namespace quellora
