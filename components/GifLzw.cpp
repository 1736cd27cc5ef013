#include "GifLzw.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

namespace quellora {

namespace {

constexpr int MaxCodeSize = 12;
constexpr int TableSize = 1 << MaxCodeSize;
constexpr int StackSize = TableSize + 1;
// Room behind the last pixel for the longest string and the 16-byte copies.
constexpr size_t Slack = StackSize + 64;

// Reads codes of 3..12 bits, least significant bit first, across the
// length-prefixed sub-blocks. The bit buffer holds at most 8 bytes and the
// reader never looks past the data or past a sub-block into the next
// length byte.
class TLzwCodeReader {
public:
    TLzwCodeReader(const uint8_t* begin, const uint8_t* end) : p_(begin), blockEnd_(begin), end_(end) {}

    // The next code, or -1 when the data hold fewer bits than `size`.
    int Next(int size)
    {
        if (bits_ < size) {
            Refill();
            if (bits_ < size)
                return -1;
        }
        const int code = int(acc_ & ((uint64_t(1) << size) - 1));
        acc_ >>= size;
        bits_ -= size;
        return code;
    }

    const uint8_t* Position() const { return p_; }

private:
    void Refill()
    {
        while (bits_ <= 56) {
            if (p_ == blockEnd_) {
                if (p_ == end_)
                    return;
                const size_t length = *p_++;
                blockEnd_ = p_ + std::min<size_t>(length, size_t(end_ - p_));
                continue;
            }
            const int take = (63 - bits_) >> 3;
            if (blockEnd_ - p_ >= 8 && take > 0) {
                uint64_t word;
                std::memcpy(&word, p_, 8);
                if constexpr (std::endian::native == std::endian::big)
                    word = __builtin_bswap64(word);
                word &= ~uint64_t(0) >> (64 - 8 * take);
                acc_ |= word << bits_;
                p_ += take;
                bits_ += 8 * take;
                return;
            }
            acc_ |= uint64_t(*p_++) << bits_;
            bits_ += 8;
        }
    }

    const uint8_t* p_;
    const uint8_t* blockEnd_;
    const uint8_t* end_;
    uint64_t acc_ = 0;
    int bits_ = 0;
};

struct TLzwTables {
    uint16_t Prefix[TableSize];
    uint16_t Suffix[TableSize];
    // Where a copy of each entry's string stands in the output, and its length.
    uint32_t StringPos[TableSize];
    uint16_t StringLen[TableSize];
    // The string's first 8 bytes, least significant first.
    uint64_t StringHead[TableSize];
    uint16_t Stack[StackSize];
};

// The first 8 bytes of a string of `len` bytes starting with `head`, one byte longer.
inline uint64_t Extended(uint64_t head, size_t len, int next)
{
    return len < 8 ? head | (uint64_t(next) << (8 * len)) : head;
}

// Writes the 8 bytes of a string head (the bytes past the string's end are
// overwritten later or fall into the slack).
inline void StoreHead(uint8_t* dst, uint64_t head)
{
    if constexpr (std::endian::native == std::endian::big)
        head = __builtin_bswap64(head);
    std::memcpy(dst, &head, 8);
}

// Copies n >= 1 bytes in 16-byte steps. The source ends at or before the
// destination, so the bytes that matter are never overwritten before they
// are read; both sides may run up to 15 bytes past n.
inline void CopyString(uint8_t* dst, const uint8_t* src, size_t n)
{
    for (;;) {
        uint8_t chunk[16];
        std::memcpy(chunk, src, 16);
        std::memcpy(dst, chunk, 16);
        if (n <= 16)
            return;
        n -= 16;
        dst += 16;
        src += 16;
    }
}

// Stores decoded pixel `src` (one index a byte, in decoding order) into a
// bottom-up row of the given depth.
void PackRow(uint8_t* row, const uint8_t* src, int width, int depth)
{
    switch (depth) {
    case 8:
        std::memcpy(row, src, size_t(width));
        break;
    case 4:
        for (int x = 0; x + 1 < width; x += 2)
            *row++ = uint8_t((src[x] << 4) | (src[x + 1] & 0x0F));
        if (width & 1)
            *row = uint8_t(src[width - 1] << 4);
        break;
    default:
        for (int x = 0; x < width; x += 8) {
            uint8_t byte = 0;
            const int n = std::min(8, width - x);
            for (int i = 0; i < n; ++i)
                byte |= uint8_t((src[x + i] & 1) << (7 - i));
            *row++ = byte;
        }
        break;
    }
}

void Report(const TLzwProgress& progress, size_t consumed, size_t size, int& lastPercent)
{
    const int percent = int(consumed * 100 / size);
    if (percent != lastPercent) {
        lastPercent = percent;
        progress(percent);
    }
}

} // namespace

int NextInterlacedRow(int y, int& pass, int height)
{
    static constexpr int Step[4] = {8, 8, 4, 2};
    static constexpr int Start[4] = {0, 4, 2, 1};
    if (pass < 4 && y + Step[pass] < height)
        return y + Step[pass];
    while (++pass < 4) {
        if (Start[pass] < height)
            return Start[pass];
    }
    pass = 4;
    return std::max(height, y);
}

bool LzwDecode(const uint8_t* data, size_t size, const TLzwTarget& target, int bitsPerPixel,
               const TLzwProgress& progress)
{
    const int width = std::max(target.Width, 0);
    const int height = std::max(target.Height, 0);
    const size_t total = size_t(width) * size_t(height);
    if (size == 0)
        return total > 0;

    bool corrupt = false;
    int m = data[0];
    const bool clamped = m < 2 || m > 9;
    if (clamped) {
        m = std::clamp(m, 2, 9);
        corrupt = true;
    }
    const int mask = (1 << std::clamp(bitsPerPixel, 1, 8)) - 1;
    const int clear = 1 << m;
    const int end = clear + 1;
    const int firstFree = clear + 2;

    std::unique_ptr<TLzwTables> tables(new TLzwTables);
    std::memset(tables->Prefix, 0, sizeof tables->Prefix);
    std::memset(tables->Suffix, 0, sizeof tables->Suffix);
    // Pixel values are strings of one byte; the codes between them and the
    // first entry are not strings (length 0) and are walked through the tables.
    for (int c = 0; c < firstFree; ++c) {
        tables->StringLen[c] = c <= mask ? 1 : 0;
        tables->StringHead[c] = uint64_t(c);
    }
    uint16_t* prefix = tables->Prefix;
    uint16_t* suffix = tables->Suffix;
    uint32_t* stringPos = tables->StringPos;
    uint16_t* stringLen = tables->StringLen;
    uint64_t* stringHead = tables->StringHead;
    uint16_t* stack = tables->Stack;

    // Pixels in decoding order; rows are put in place at the end.
    std::unique_ptr<uint8_t[]> out(new uint8_t[total + Slack]);
    size_t pos = 0;

    TLzwCodeReader reader(data + 1, data + size);
    const bool reporting = bool(progress);
    int lastPercent = -1;

    int codeSize = m + 1;
    int sizeLimit = 1 << codeSize;
    int nextFree = firstFree;
    int previous = 0;
    int firstChar = 0;
    bool tableFull = false;
    // While `direct` holds, every table entry made since the last clear
    // code is known to spell a string that already stands in the output,
    // so a code's pixels are copied instead of walked. Damaged streams are
    // walked through the tables exactly, up to the next clear code.
    bool direct = false;
    size_t previousPos = 0;
    size_t previousLen = 1;
    uint64_t previousHead = 0;
    bool exhausted = false;

    int code = reader.Next(codeSize);
    // Encoders may leave out the opening clear code: the stream then starts
    // with the empty table, and its first code is a pixel that makes no
    // entry, as the first code after a clear code is. (A clamped code size
    // keeps only the pixels after real clear codes.)
    bool opening = !clamped && code != clear;
    while (code != end && pos < total) {
        if (code < 0) {
            exhausted = true;
            break;
        }
        if (code == clear || opening) {
            if (!opening) {
                // Clear codes may follow one another: each resets the table
                // again and none is a pixel.
                codeSize = m + 1;
                sizeLimit = 1 << codeSize;
                nextFree = firstFree;
                do
                    code = reader.Next(codeSize);
                while (code == clear);
                if (code < 0) {
                    exhausted = true;
                    break;
                }
            }
            opening = false;
            previous = code;
            firstChar = code & mask;
            previousPos = pos;
            previousLen = 1;
            previousHead = uint64_t(firstChar);
            out[pos++] = uint8_t(firstChar);
            tableFull = false;
            // Copying strings needs every pixel value to stand below the
            // clear code, as GIF encoders make them.
            direct = code <= mask && mask < clear;
        } else {
            if (clamped)
                break;
            const int v = code;
            const size_t start = pos;
            uint64_t head = 0;
            size_t len = 0;
            if (direct && v < nextFree && (len = stringLen[v]) != 0) {
                // Pixel values and the entries since the clear code: the first
                // 8 bytes come from the table, the rest from where the string stood.
                head = stringHead[v];
                StoreHead(out.get() + pos, head);
                if (len > 8)
                    CopyString(out.get() + pos + 8, out.get() + stringPos[v] + 8, len - 8);
                pos += len;
            } else if (direct && v == nextFree) {
                head = Extended(previousHead, previousLen, firstChar);
                StoreHead(out.get() + pos, head);
                if (previousLen >= 8)
                    CopyString(out.get() + pos + 8, out.get() + previousPos + 8, previousLen - 7);
                pos += previousLen;
                out[pos++] = uint8_t(firstChar);
            } else {
                direct = false;
                int c = v;
                int sp = 0;
                if (v >= nextFree) {
                    stack[sp++] = uint16_t(firstChar);
                    c = previous;
                }
                while (c > mask && sp < StackSize) {
                    stack[sp++] = suffix[c];
                    c = prefix[c];
                }
                if (sp >= StackSize) {
                    corrupt = true;
                    break;
                }
                firstChar = c & mask;
                stack[sp++] = uint16_t(firstChar);
                while (sp > 0)
                    out[pos++] = uint8_t(stack[--sp]);
            }
            if (direct)
                firstChar = int(head & 0xFF);
            if (!tableFull) {
                prefix[nextFree] = uint16_t(previous);
                suffix[nextFree] = uint16_t(firstChar);
                stringPos[nextFree] = uint32_t(previousPos);
                stringLen[nextFree] = uint16_t(previousLen + 1);
                stringHead[nextFree] = Extended(previousHead, previousLen, firstChar);
                if (++nextFree == sizeLimit) {
                    if (codeSize < MaxCodeSize) {
                        ++codeSize;
                        sizeLimit <<= 1;
                    } else {
                        tableFull = true;
                    }
                }
            }
            previous = v;
            previousPos = start;
            previousLen = pos - start;
            previousHead = head;
        }
        if (reporting)
            Report(progress, size_t(reader.Position() - data), size, lastPercent);
        code = reader.Next(codeSize);
    }
    if (exhausted && pos < total)
        corrupt = true;

    const size_t written = std::min(pos, total);
    std::memset(out.get() + written, 0, total - written);
    int y = 0;
    int pass = 0;
    for (int r = 0; r < height && size_t(r) * size_t(width) < written && y < height; ++r) {
        PackRow(target.Pixels + size_t(height - 1 - y) * target.RowSize, out.get() + size_t(r) * size_t(width), width,
                target.Depth);
        y = target.Interlaced ? NextInterlacedRow(y, pass, height) : y + 1;
    }
    return corrupt;
}

} // namespace quellora
