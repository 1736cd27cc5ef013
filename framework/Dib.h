#pragma once
// Reading of uncompressed BMP streams with their pixels as stored: palette
// indices stay the indices of the file's colour table, in its order.

#include <QByteArray>
#include <QImage>

namespace quellora {

enum class TDibResult { Ok, Invalid, Unsupported };

// Reads a BMP stream of 1, 4, 8, 16, 24 or 32 bits per pixel without
// compression, or of 16 or 32 bits with bit fields: 1 bit gives
// Format_Mono, 4 and 8 bits Format_Indexed8 (the table padded with black to
// 2^bits entries), 16, 24 and 32 bits Format_RGB32. Channels narrower than
// 8 bits are widened by repeating their high bits, so that a full channel
// is 255; alpha is ignored. Run-length encodings give Unsupported.
TDibResult ReadDib(const QByteArray& bytes, QImage& image, int& bitsPerPixel);

} // namespace quellora
