#pragma once
// The GIF image: the frames of GIF87a and GIF89a data, each kept with its
// compressed pixels, colour table and settings, and decoded into a bitmap
// the first time it is needed.

#include "Graphic.h"
#include "Graphics.h"

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quellora {

class TGIFImage;

enum TGIFVersion : std::uint8_t { gvUnknown = 0, gv87a = 1, gv89a = 2 };

// A colour table: its entry count (0 when absent, else 2, 4, ..., 256) and
// room for 256 entries of red, green and blue bytes.
struct TGIFColorTable {
    int Count = 0;
    std::uint8_t Colors[256][3] = {};

    TColor Color(int index) const { return RGB(Colors[index][0], Colors[index][1], Colors[index][2]); }
};

// 2 -> 1, 4 -> 2, ..., 256 -> 8; 0 for any other count.
int ColorCountToBits(int count);

enum TExtensionKind : std::uint8_t { ekGraphicControl = 0, ekPlainText = 1, ekApplication = 2, ekComment = 3 };

class TExtension {
public:
    TExtensionKind Kind = ekGraphicControl;
    // As read: 6 bytes for a graphic control (block size, packed byte, delay
    // in hundredths of a second little-endian, transparent index,
    // terminator), 13 for plain text, 12 for an application (block size,
    // identifier, authentication code), none for a comment.
    std::string Header;
    // One string a data sub-block; none for a graphic control.
    std::optional<std::vector<std::string>> Data;
};
using TExtensionList = std::vector<TExtension>;

// What copies of an image share.
class TGIFData {
public:
    std::vector<std::string> Comment;
    std::uint8_t AspectRatio = 0; // kept as read, not used
    int BitsPerPixel = 1;
    int ColorResBits = 1;
    TGIFColorTable ColorMap; // the global table
};

// What copies of a frame share.
class TGIFItem {
public:
    // The minimum code size byte, the sub-blocks with their length bytes,
    // and the terminator when the data had one.
    std::unique_ptr<std::vector<std::uint8_t>> ZipData;
    int Width = 0;
    int Height = 0;
    std::uint8_t PackedFields = 0;
    int BitsPerPixel = 0; // of the frame's table; 0 when there is none
    TGIFColorTable ColorMap;
};

class TGIFFrame {
public:
    explicit TGIFFrame(TGIFImage* owner);
    ~TGIFFrame();
    TGIFFrame(const TGIFFrame&) = delete;
    TGIFFrame& operator=(const TGIFFrame&) = delete;

    TGIFImage* Owner() const { return owner_; }

    // The decoded frame, built on first use and kept: monochrome for 1-bit
    // frames, else true colour. Empty when the frame has no compressed data.
    TBitmap& FrameBitmap();
    void DrawFrame(TCanvas& canvas, const TRect& rect, bool transparent);

    int Width();
    int Height();
    TPoint Origin() const { return origin_; }
    TColor KeyColor() const { return keyColor_; }
    std::uint16_t DelayMs() const { return delayMs_; }
    std::uint8_t Disposal() const { return disposal_; }
    bool Interlaced() const { return interlaced_; }
    bool Corrupt() const { return corrupt_; }
    bool HasLocalTable() const { return hasLocalTable_; }
    bool HasBitmap() const { return bitmap_ != nullptr; }
    const TGIFItem& Item() const { return *item_; }
    // The graphic control and comment extensions read before the frame.
    const TExtensionList* Extensions() const { return extensions_.get(); }

    // Settings for writing.
    void Assign(const TBitmap& bitmap);
    void SetOrigin(TPoint origin) { origin_ = origin; }
    void SetKeyColor(TColor color) { keyColor_ = color; }
    void SetDelayMs(std::uint16_t delay) { delayMs_ = delay; }
    void SetDisposal(std::uint8_t disposal) { disposal_ = std::uint8_t(disposal & 7); }
    void SetInterlaced(bool interlaced) { interlaced_ = interlaced; }

private:
    friend class TGIFImage;
    friend class TGifReader;

    // Writes the frame as a BMP stream whose pixels come from the LZW decoder.
    void BuildFrameDib(std::string& stream);

    TGIFImage* owner_;
    std::unique_ptr<TBitmap> bitmap_;
    std::shared_ptr<TGIFItem> item_;
    std::unique_ptr<TExtensionList> extensions_;
    TPoint origin_;
    bool interlaced_ = false;
    bool corrupt_ = false;
    bool hasLocalTable_ = false;
    TColor keyColor_ = clNone;
    std::uint16_t delayMs_ = 0;
    std::uint8_t disposal_ = 0;
};

class TGIFImage : public TGraphic {
public:
    TGIFImage();
    ~TGIFImage() override;

    // The one reader behind every load: reads exactly `count` bytes of
    // `source` and, with `decodeFirst`, decodes frame 0 at once.
    void LoadGIF(std::istream& source, std::int64_t count, bool decodeFirst);
    void LoadFromStream(std::istream& stream) override;
    // The stored form: a 32-bit little-endian byte count, then the GIF data.
    void ReadData(std::istream& stream);
    void WriteData(std::ostream& stream) const;
    // GIF data of every frame; EInvalidGraphicOperation "No GIF Data to
    // write" without frames, "GIF image encoding error" for a frame bitmap
    // of other than 1, 4 or 8 bits per pixel.
    void SaveToStream(std::ostream& stream) const override;

    // Shares `source`'s data and frames' data, then raises the change notification.
    void Assign(const TGIFImage& source);

    int Count() const { return int(frames_.size()); }
    TGIFFrame& Frames(int index) const { return *frames_.at(size_t(index)); }
    int CurrentFrame() const { return currentFrame_; }
    // Counted as 0 while the image is empty.
    int LogicalWidth() const { return Empty() ? 0 : logicalWidth_; }
    int LogicalHeight() const { return Empty() ? 0 : logicalHeight_; }
    void SetLogicalSize(int width, int height);
    TColor BackdropColor() const { return backdropColor_; }
    bool LoopFound() const { return loopFound_; }
    std::uint16_t LoopCount() const { return loopCount_; }
    void SetLooping(bool found, std::uint16_t count);
    TGIFVersion Version() const { return version_; }
    const TGIFData& Data() const { return *data_; }
    const std::vector<std::string>& Comment() const { return data_->Comment; }

    bool Empty() const override;
    int Width() override;
    int Height() override;
    void SetWidth(int width) override;
    void SetHeight(int height) override;
    std::vector<TColor> Palette();
    bool Transparent() const override;
    void Draw(TCanvas& canvas, const TRect& rect) override;
    bool Equals(const TGraphic& other) const override;

    // Adds a frame showing `bitmap`, makes it current and returns its index.
    virtual int AppendFrame(const TBitmap& bitmap);

private:
    friend class TGIFFrame;
    friend class TGifReader;

    void Reset();

    std::shared_ptr<TGIFData> data_;
    TGIFVersion version_ = gvUnknown;
    std::vector<std::unique_ptr<TGIFFrame>> frames_;
    int currentFrame_ = -1;
    int logicalWidth_ = 0;
    int logicalHeight_ = 0;
    TColor backdropColor_ = clNone;
    bool loopFound_ = false;
    std::uint16_t loopCount_ = 1;
};

// A colour as the device shows it, with the palette-relative flag.
TColor ToPaletteRGB(TColor color);

// Copies `source` of `bitmap` stretched into `dest` of the canvas; source
// pixels of the key colour leave the destination as it was. clNone as key
// is a plain stretched copy with the canvas's copy mode.
void DrawTransparentStretched(TCanvas& canvas, const TRect& dest, TBitmap& bitmap, const TRect& source, TColor key);

} // namespace quellora
