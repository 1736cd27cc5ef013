#pragma once
// Writes GIF89a data: the header with the global colour table, a looping
// extension, and for every frame its graphic control extension, descriptor,
// local colour table and LZW-compressed pixels.

#include "Colors.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quellora {

struct TGifEncodeFrame {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    int BitsPerPixel = 8;        // 1..8: the colour table has 2^BitsPerPixel entries
    std::vector<TColor> Palette; // at most 2^BitsPerPixel colours; the rest of the table is black
    // Width * Height colour indices, top row first, each below 2^BitsPerPixel.
    std::vector<std::uint8_t> Pixels;
    // Already compressed data (minimum code size, sub-blocks, terminator):
    // written as it is instead of Pixels.
    std::vector<std::uint8_t> Compressed;
    bool Interlaced = false;
    int TransparentIndex = -1; // -1: none
    int DelayCs = 0;           // hundredths of a second
    int Disposal = 0;          // 0..7
};

struct TGifEncodeImage {
    int Width = 0;
    int Height = 0;
    bool Loop = false;
    int LoopCount = 0; // 0: for ever
    std::vector<std::string> Comment;
    std::vector<TGifEncodeFrame> Frames;
};

// The minimum code size byte, the compressed pixels in sub-blocks of up to
// 255 bytes, and the terminator.
std::string LzwEncode(const std::uint8_t* pixels, std::size_t count, int bitsPerPixel);

// Pixels of an interlaced image in the order they are stored: rows 0, 8, ...;
// 4, 12, ...; 2, 6, ...; 1, 3, ....
std::vector<std::uint8_t> InterlaceRows(const std::vector<std::uint8_t>& pixels, int width, int height);

// EInvalidGraphicOperation "GIF image encoding error".
[[noreturn]] void GifEncodingError();

// The whole file. EInvalidGraphicOperation "No GIF Data to write" without
// frames, "GIF image encoding error" for a frame that does not fit its
// colour table or the format's 16-bit sizes.
std::string EncodeGif(const TGifEncodeImage& image);

} // namespace quellora
