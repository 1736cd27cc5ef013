#include "GifReader.h"

#include "Exceptions.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <istream>

namespace quellora {

namespace {

constexpr std::uint8_t ExtensionIntroducer = 0x21;
constexpr std::uint8_t ImageSeparator = 0x2C;
constexpr std::uint8_t Trailer = 0x3B;

constexpr int MaxLoopCount = 30000;

[[noreturn]] void StreamReadError()
{
    throw EReadError("Stream read error");
}

bool SameLetters(const std::uint8_t* bytes, const char* text)
{
    for (int i = 0; i < 3; ++i) {
        if (std::tolower(bytes[i]) != std::tolower(static_cast<unsigned char>(text[i])))
            return false;
    }
    return true;
}

inline int Word(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8);
}

} // namespace

TGifReader::TGifReader(TGIFImage& image, const std::uint8_t* data, std::size_t size)
    : image_(image), data_(data), size_(size)
{
}

const std::uint8_t* TGifReader::Take(std::size_t n)
{
    if (size_ - pos_ < n)
        StreamReadError();
    const std::uint8_t* p = data_ + pos_;
    pos_ += n;
    return p;
}

void TGifReader::ReadColorTable(TGIFColorTable& table, int bits)
{
    const int count = 1 << bits;
    std::memcpy(table.Colors, Take(size_t(count) * 3), size_t(count) * 3);
    table.Count = count;
}

void TGifReader::ReadHeader()
{
    if (!SameLetters(Take(3), "GIF"))
        throw EInvalidGraphicOperation("Unknown GIF version");
    const std::uint8_t* version = Take(3);
    if (SameLetters(version, "87a"))
        image_.version_ = gv87a;
    else if (SameLetters(version, "89a"))
        image_.version_ = gv89a;
    else
        throw EInvalidGraphicOperation("Unknown GIF version");

    const std::uint8_t* screen = Take(7);
    image_.logicalWidth_ = Word(screen);
    image_.logicalHeight_ = Word(screen + 2);
    const std::uint8_t packed = screen[4];
    const int background = screen[5];
    TGIFData& data = *image_.data_;
    data.BitsPerPixel = (packed & 7) + 1;
    data.ColorResBits = ((packed >> 4) & 7) + 1;
    data.AspectRatio = screen[6];
    if (packed & 0x80) {
        ReadColorTable(data.ColorMap, data.BitsPerPixel);
        if (background < data.ColorMap.Count)
            image_.backdropColor_ = data.ColorMap.Color(background);
    }
}

std::uint8_t TGifReader::NextBlockIntroducer()
{
    while (pos_ < size_) {
        const std::uint8_t b = data_[pos_++];
        if (b != 0)
            return b;
    }
    return 0;
}

void TGifReader::ReadBlocks()
{
    TGIFData& data = *image_.data_;
    std::uint8_t b = NextBlockIntroducer();
    while (b != 0 && b != Trailer && DataRemain()) {
        std::unique_ptr<TExtensionList> run = ReadExtensionRun(b);
        if (b == ImageSeparator) {
            auto frame = std::make_unique<TGIFFrame>(&image_);
            if (data.ColorMap.Count > 0)
                frame->item_->BitsPerPixel = ColorCountToBits(data.ColorMap.Count);
            frame->extensions_ = std::move(run);
            ReadFrame(*frame);
            image_.frames_.push_back(std::move(frame));
            b = DataRemain() ? NextBlockIntroducer() : Trailer;
            // Anything else after a frame ends the data quietly.
            if (b != ExtensionIntroducer && b != ImageSeparator && b != Trailer)
                b = 0;
        } else if (data.Comment.empty() && run) {
            for (const TExtension& extension : *run) {
                if (extension.Kind != ekComment || !extension.Data)
                    continue;
                if (!data.Comment.empty())
                    data.Comment.push_back("\r\n\r\n");
                data.Comment.insert(data.Comment.end(), extension.Data->begin(), extension.Data->end());
            }
        } else if (b != 0 && b != Trailer) {
            StreamReadError();
        }
    }
}

std::unique_ptr<TExtensionList> TGifReader::ReadExtensionRun(std::uint8_t& b)
{
    std::unique_ptr<TExtensionList> kept;
    while (b == ExtensionIntroducer) {
        TExtension extension = ReadExtension();
        switch (extension.Kind) {
        case ekPlainText:
            // A graphic control before a text belongs to the text, not to the next image.
            kept.reset();
            [[fallthrough]];
        case ekApplication:
            if (MarksLooping(extension)) {
                const std::string& block = extension.Data->front();
                image_.loopFound_ = true;
                image_.loopCount_ = std::uint16_t(std::min(
                    MaxLoopCount, int(static_cast<unsigned char>(block[1])) +
                                      256 * int(static_cast<unsigned char>(block[2]))));
            }
            break;
        default:
            if (!kept)
                kept = std::make_unique<TExtensionList>();
            kept->push_back(std::move(extension));
            break;
        }
        b = DataRemain() ? NextBlockIntroducer() : Trailer;
    }
    return kept;
}

TExtension TGifReader::ReadExtension()
{
    const std::uint8_t label = TakeByte();
    TExtension extension;
    auto header = [&](std::size_t n) { extension.Header.assign(reinterpret_cast<const char*>(Take(n)), n); };
    switch (label) {
    case 0xF9:
        // Six bytes whatever the block size says; no sub-blocks follow.
        extension.Kind = ekGraphicControl;
        header(6);
        return extension;
    case 0xFE:
        extension.Kind = ekComment;
        break;
    case 0x01:
        extension.Kind = ekPlainText;
        header(13);
        break;
    case 0xFF:
        extension.Kind = ekApplication;
        header(12);
        break;
    default:
        throw EInvalidGraphicOperation(Format("Unrecognized extension block: %.2x", unsigned(label)));
    }
    extension.Data.emplace();
    ReadSubBlocks(*extension.Data);
    return extension;
}

void TGifReader::ReadSubBlocks(std::vector<std::string>& blocks)
{
    while (DataRemain()) {
        std::size_t length = data_[pos_++];
        if (length == 0)
            return;
        length = std::min(length, size_ - pos_);
        blocks.emplace_back(reinterpret_cast<const char*>(data_ + pos_), length);
        pos_ += length;
    }
}

bool TGifReader::MarksLooping(const TExtension& extension)
{
    if (extension.Kind != ekApplication || !extension.Data || extension.Data->empty() || extension.Header.empty())
        return false;
    const std::size_t n =
        std::min({std::size_t(static_cast<unsigned char>(extension.Header[0])), std::size_t(11),
                  extension.Header.size() - 1});
    const std::string_view identifier(extension.Header.data() + 1, n);
    if (identifier != std::string_view("NETSCAPE2.0", n) && identifier != std::string_view("ANIMEXTS1.0", n))
        return false;
    const std::string& first = extension.Data->front();
    return first.size() >= 3 && first[0] == 1;
}

void TGifReader::ReadFrame(TGIFFrame& frame)
{
    TGIFItem& item = *frame.item_;
    try {
        const std::uint8_t* descriptor = Take(9);
        const int left = Word(descriptor);
        const int top = Word(descriptor + 2);
        int width = Word(descriptor + 4);
        int height = Word(descriptor + 6);
        const std::uint8_t packed = descriptor[8];
        frame.interlaced_ = (packed & 0x40) != 0;
        if (packed & 0x80) {
            item.BitsPerPixel = (packed & 7) + 1;
            ReadColorTable(item.ColorMap, item.BitsPerPixel);
            frame.hasLocalTable_ = true;
        } else {
            item.ColorMap.Count = 0;
            frame.hasLocalTable_ = false;
        }

        TakeByte(); // the minimum code size, kept as the first byte of the data
        // The sub-blocks up to the terminator, the end of the data, or a
        // sub-block longer than the data left; the cut one is dropped whole.
        const std::size_t start = pos_ - 1;
        while (DataRemain()) {
            const std::size_t length = data_[pos_];
            if (size_ - pos_ - 1 < length) {
                frame.corrupt_ = true;
                break;
            }
            pos_ += 1 + length;
            if (length == 0)
                break;
        }
        item.ZipData = std::make_unique<std::vector<std::uint8_t>>(data_ + start, data_ + pos_);
        if (frame.corrupt_)
            pos_ = size_;

        if (width == 0)
            width = image_.logicalWidth_;
        if (height == 0)
            height = image_.logicalHeight_;
        frame.origin_ = {left, top};
        item.Width = width;
        item.Height = height;
        item.PackedFields = packed;
        if (!frame.hasLocalTable_)
            item.ColorMap = image_.data_->ColorMap;
        ApplyExtensions(frame);
    } catch (...) {
        item.ZipData.reset();
        throw;
    }
}

void TGifReader::ApplyExtensions(TGIFFrame& frame) const
{
    frame.delayMs_ = 0;
    if (!frame.extensions_)
        return;
    const TGIFColorTable& table = frame.item_->ColorMap;
    for (const TExtension& extension : *frame.extensions_) {
        if (extension.Kind != ekGraphicControl)
            continue;
        const auto* header = reinterpret_cast<const std::uint8_t*>(extension.Header.data());
        const std::uint8_t packed = header[1];
        const int transparentIndex = header[4];
        if (packed & 1) {
            if (transparentIndex < table.Count)
                frame.keyColor_ = table.Color(transparentIndex);
        } else {
            frame.keyColor_ = clNone;
        }
        // Saturates rather than wrapping: 655.36 s must not become a few milliseconds.
        const int delayMs = std::max(Word(header + 2) * 10, int(frame.delayMs_));
        frame.delayMs_ = std::uint16_t(std::min(delayMs, 0xFFFF));
        frame.disposal_ = std::uint8_t((packed >> 2) & 7);
    }
}

void TGIFImage::LoadGIF(std::istream& source, std::int64_t count, bool decodeFirst)
{
    Reset();
    std::vector<std::uint8_t> data;
    if (count > 0) {
        // In pieces, so that a count larger than the source costs no more than the source.
        constexpr std::size_t Piece = std::size_t(1) << 20;
        while (data.size() < std::uint64_t(count)) {
            const std::size_t n = std::size_t(std::min<std::uint64_t>(Piece, std::uint64_t(count) - data.size()));
            const std::size_t at = data.size();
            data.resize(at + n);
            source.read(reinterpret_cast<char*>(data.data() + at), std::streamsize(n));
            if (std::size_t(source.gcount()) != n)
                StreamReadError();
        }
        TGifReader reader(*this, data.data(), data.size());
        reader.ReadHeader();
        reader.ReadBlocks();
    }
    if (!frames_.empty()) {
        currentFrame_ = 0;
        if (decodeFirst) {
            try {
                frames_.front()->FrameBitmap();
            } catch (...) {
                frames_.erase(frames_.begin());
                throw;
            }
        }
    }
    PaletteModified = true;
    Changed();
}

} // namespace quellora
