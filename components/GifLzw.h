#pragma once
// LZW decoding of a GIF frame's compressed data into the pixel rows
// of a bottom-up device-independent bitmap of 1, 4 or 8 bits per pixel.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace quellora {

// Where the decoded pixels go: a zero-filled buffer of RowSize * Height
// bytes whose first row is the bottom one.
struct TLzwTarget {
    uint8_t* Pixels = nullptr;
    int Width = 0;
    int Height = 0;
    int Depth = 8; // 1, 4 or 8 bits per pixel
    size_t RowSize = 0;
    bool Interlaced = false;
};

// Share of the compressed data consumed, in whole percent; called when it changes.
using TLzwProgress = std::function<void(int percent)>;

// Decodes `data` (the minimum code size byte, then the length-prefixed
// sub-blocks) into `target`. `bitsPerPixel` is the depth of the frame's
// colour table, which masks every pixel value. Returns true when the data
// were damaged: a minimum code size outside 2..9, a chain longer than the
// decoder's stack, or data that end before the last pixel. Pixels that no
// code reaches stay 0. Never reads outside `data`.
bool LzwDecode(const uint8_t* data, size_t size, const TLzwTarget& target, int bitsPerPixel,
               const TLzwProgress& progress = {});

// The row after `y` of an interlaced image of `height` rows; `pass` (0..3)
// moves on with it. A result at or beyond `height` means the image is done.
int NextInterlacedRow(int y, int& pass, int height);

// Bytes of one bottom-up bitmap row: `width` pixels of `depth` bits, padded to 4 bytes.
inline size_t DibRowSize(int width, int depth)
{
    return ((size_t(width) * size_t(depth) + 31) / 32) * 4;
}

} // namespace quellora
