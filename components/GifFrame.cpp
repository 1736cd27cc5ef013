#include "RxGIF.h"

#include "Exceptions.h"
#include "GifLzw.h"

#include <QByteArray>

#include <algorithm>

namespace quellora {

namespace {

// Frames of more than 4096 x 4096 pixels are refused before anything is
// allocated for them; the bitmap reader would refuse them anyway.
constexpr std::uint64_t MaxFramePixels = std::uint64_t(1) << 24;

constexpr int BmpHeaderSize = 14 + 40;

void Put16(std::string& out, std::uint32_t v)
{
    out.push_back(char(v & 0xFF));
    out.push_back(char((v >> 8) & 0xFF));
}

void Put32(std::string& out, std::uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

int DibDepth(int bitsPerPixel)
{
    if (bitsPerPixel == 1)
        return 1;
    if (bitsPerPixel >= 2 && bitsPerPixel <= 4)
        return 4;
    if (bitsPerPixel >= 5 && bitsPerPixel <= 8)
        return 8;
    throw EInvalidGraphicOperation("Wrong number of colors; must be a power of 2");
}

} // namespace

TGIFFrame::TGIFFrame(TGIFImage* owner) : owner_(owner), item_(std::make_shared<TGIFItem>())
{
}

TGIFFrame::~TGIFFrame() = default;

void TGIFFrame::Assign(const TBitmap& bitmap)
{
    bitmap_ = std::make_unique<TBitmap>();
    bitmap_->Assign(bitmap);
    item_ = std::make_shared<TGIFItem>();
    item_->Width = bitmap.Width();
    item_->Height = bitmap.Height();
    corrupt_ = false;
    hasLocalTable_ = false;
    extensions_.reset();
}

int TGIFFrame::Width()
{
    if (!bitmap_ && !item_->ZipData)
        return 0;
    return FrameBitmap().Width();
}

int TGIFFrame::Height()
{
    if (!bitmap_ && !item_->ZipData)
        return 0;
    return FrameBitmap().Height();
}

TBitmap& TGIFFrame::FrameBitmap()
{
    if (bitmap_ && !bitmap_->Empty())
        return *bitmap_;
    bitmap_ = std::make_unique<TBitmap>();
    if (!item_->ZipData)
        return *bitmap_;
    std::string stream;
    BuildFrameDib(stream);
    bitmap_->LoadFromBytes(QByteArray::fromRawData(stream.data(), qsizetype(stream.size())));
    if (!bitmap_->Monochrome())
        bitmap_->SetHandleType(bmDDB);
    return *bitmap_;
}

void TGIFFrame::BuildFrameDib(std::string& stream)
{
    const TGIFItem& item = *item_;
    const int depth = DibDepth(item.BitsPerPixel);
    const int width = item.Width;
    const int height = item.Height;
    if (std::uint64_t(width) * std::uint64_t(height) > MaxFramePixels)
        throw EOutOfResources("Out of system resources");

    const std::size_t rowSize = DibRowSize(width, depth);
    const std::size_t imageSize = rowSize * std::size_t(height);
    const int entries = 1 << depth;
    const std::uint32_t offset = std::uint32_t(BmpHeaderSize + 4 * entries);

    stream.clear();
    stream.reserve(offset + imageSize);
    stream += "BM";
    Put32(stream, std::uint32_t(offset + imageSize));
    Put32(stream, 0);
    Put32(stream, offset);
    Put32(stream, 40);
    Put32(stream, std::uint32_t(width));
    Put32(stream, std::uint32_t(height)); // positive: rows bottom-up
    Put16(stream, 1);
    Put16(stream, std::uint32_t(depth));
    Put32(stream, 0); // BI_RGB
    Put32(stream, std::uint32_t(imageSize));
    Put32(stream, 0);
    Put32(stream, 0);
    Put32(stream, 0);
    Put32(stream, 0);

    // Entries the frame's table does not fill stay grey.
    const std::size_t palette = stream.size();
    stream.append(std::size_t(4 * entries), char(128));
    const int colors = std::min(item.ColorMap.Count, entries);
    for (int i = 0; i < colors; ++i) {
        char* entry = stream.data() + palette + 4 * i;
        entry[0] = char(item.ColorMap.Colors[i][2]);
        entry[1] = char(item.ColorMap.Colors[i][1]);
        entry[2] = char(item.ColorMap.Colors[i][0]);
        entry[3] = 0;
    }

    stream.append(imageSize, '\0');
    TLzwTarget target;
    target.Pixels = reinterpret_cast<std::uint8_t*>(stream.data() + offset);
    target.Width = width;
    target.Height = height;
    target.Depth = depth;
    target.RowSize = rowSize;
    target.Interlaced = interlaced_;

    const TRect rect = Bounds(origin_.X, origin_.Y, width, height);
    TLzwProgress progress;
    if (owner_ && owner_->OnProgress)
        progress = [&](int percent) { owner_->Progress(psRunning, percent, false, rect, ""); };
    if (owner_)
        owner_->Progress(psStarting, 0, false, rect, "");
    try {
        const std::vector<std::uint8_t>& zip = *item.ZipData;
        if (LzwDecode(zip.data(), zip.size(), target, item.BitsPerPixel, progress))
            corrupt_ = true;
    } catch (const std::exception& e) {
        if (owner_)
            owner_->Progress(psEnding, 0, false, rect, e.what());
        throw;
    }
    if (owner_)
        owner_->Progress(psEnding, 100, false, rect, "");
}

void TGIFFrame::DrawFrame(TCanvas& canvas, const TRect& rect, bool transparent)
{
    TBitmap& bitmap = FrameBitmap();
    if (transparent && keyColor_ != clNone)
        DrawTransparentStretched(canvas, rect, bitmap, Rect(0, 0, bitmap.Width(), bitmap.Height()), keyColor_);
    else
        canvas.StretchDraw(rect, bitmap);
}

} // namespace quellora
