// Loads arbitrary bytes as a BMP stream (the skin bitmap's reader), draws
// what was read and reads its own BMP form back. "Bitmap image is not
// valid" is expected; anything else (a crash, a sanitizer report, another
// exception) is a fault.

#include "Exceptions.h"
#include "Graphics.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

using namespace quellora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TBitmap bitmap;
    try {
        bitmap.LoadFromBytes(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    } catch (const EInvalidGraphic&) {
        return 0;
    }
    // Drawing costs time in proportion to the picture; small ones show the same faults.
    if (qint64(bitmap.Width()) * bitmap.Height() > 256 * 256)
        return 0;
    TBitmap canvas(24, 16, pfDevice);
    canvas.Canvas().Draw(-3, -2, bitmap);
    TBitmap again;
    again.LoadFromBytes(bitmap.SaveToBytes());
    return 0;
}
