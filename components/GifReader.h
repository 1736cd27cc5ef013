#pragma once
// Reads the blocks of GIF data held in memory into a TGIFImage: the header,
// the global colour table, extension runs and frames.

#include "RxGIF.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quellora {

class TGifReader {
public:
    TGifReader(TGIFImage& image, const std::uint8_t* data, std::size_t size);

    // The header, the logical screen and the global colour table.
    void ReadHeader();
    // Extension runs and frames, up to the trailer, the end of the data or
    // an unknown byte after a frame.
    void ReadBlocks();

    // The next non-zero byte, or 0 at the end of the data.
    std::uint8_t NextBlockIntroducer();
    // The graphic control and comment extensions of a run of extensions
    // starting at `b`, or none; `b` becomes the byte after the run.
    std::unique_ptr<TExtensionList> ReadExtensionRun(std::uint8_t& b);
    // One extension, from its label on.
    TExtension ReadExtension();
    // A looping extension: application "NETSCAPE2.0" or "ANIMEXTS1.0" whose
    // first sub-block has at least 3 bytes and starts with 1.
    static bool MarksLooping(const TExtension& extension);
    void ReadFrame(TGIFFrame& frame);

private:
    bool DataRemain() const { return pos_ < size_; }
    // Exactly `n` bytes, else EReadError "Stream read error".
    const std::uint8_t* Take(std::size_t n);
    std::uint8_t TakeByte() { return *Take(1); }
    void ReadColorTable(TGIFColorTable& table, int bits);
    void ReadSubBlocks(std::vector<std::string>& blocks);
    void ApplyExtensions(TGIFFrame& frame) const;

    TGIFImage& image_;
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

} // namespace quellora
