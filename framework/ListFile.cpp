#include "ListFile.h"

#include "Exceptions.h"
#include "SafeFile.h"

#include <cstring>
#include <vector>

namespace quellora {

namespace {

// The file's own buffer becomes the list's: each item's bytes move down over
// the line breaks before it, and only the end offsets are new.
ByteStrings splitInPlace(std::string text)
{
    if (const size_t nul = text.find('\0'); nul != std::string::npos)
        text.resize(nul);
    std::vector<size_t> ends;
    // With no NUL left, the terminator of the string's data ends the last scan.
    char* const base = text.data();
    const char* p = base;
    const char* const end = base + text.size();
    char* out = base;
    while (p < end) {
        const size_t length = std::strcspn(p, "\r\n");
        if (out != p)
            std::memmove(out, p, length);
        out += length;
        p += length;
        ends.push_back(size_t(out - base));
        if (p == end)
            break;
        p += (*p == '\r' && p + 1 < end && p[1] == '\n') ? 2 : 1;
    }
    text.resize(size_t(out - base));
    // Keep no more than the list needs: a file mostly past its NUL, or a
    // growth step of the offsets, is not held for the life of the list.
    if (text.capacity() > 2 * text.size() + 4096)
        text.shrink_to_fit();
    if (ends.capacity() > ends.size() + ends.size() / 8)
        ends.shrink_to_fit();
    return ByteStrings(std::move(text), std::move(ends));
}

} // namespace

bool FitsListFile(std::string_view item)
{
    return item.find_first_of("\r\n") == std::string_view::npos;
}

ByteStrings SplitListText(std::string_view text)
{
    return splitInPlace(std::string(text));
}

std::string JoinListText(const ByteStrings& items)
{
    std::string text;
    text.reserve(items.bytes() + 2 * items.size());
    for (std::string_view item : items) {
        text.append(item);
        text.append("\r\n", 2);
    }
    return text;
}

ByteStrings LoadListFile(const std::string& path)
{
    std::string data;
    if (!ReadWholeFile(path, data))
        throw EFOpenError(Format("Cannot open file %s", path.c_str()));
    return splitInPlace(std::move(data));
}

void SaveListFile(const std::string& path, const ByteStrings& items)
{
    TSafeFileWriter writer(path);
    for (std::string_view item : items) {
        writer.Append(item);
        writer.Append("\r\n");
    }
    switch (writer.Commit()) {
    case SafeWriteResult::Ok:
        return;
    case SafeWriteResult::CreateFailed:
        throw EFCreateError(Format("Cannot create file %s", path.c_str()));
    case SafeWriteResult::WriteFailed:
        throw EWriteError("Stream write error");
    }
}

} // namespace quellora
