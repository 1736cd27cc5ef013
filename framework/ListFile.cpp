#include "ListFile.h"

#include "Exceptions.h"
#include "SafeFile.h"

#include <cstring>

namespace quellora {

ByteStrings SplitListText(std::string_view text)
{
    if (const size_t nul = text.find('\0'); nul != std::string_view::npos)
        text = text.substr(0, nul);
    ByteStrings items;
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        const char* start = p;
        while (p < end && *p != '\r' && *p != '\n')
            ++p;
        items.emplace_back(start, size_t(p - start));
        if (p == end)
            break;
        if (*p == '\r' && p + 1 < end && p[1] == '\n')
            p += 2;
        else
            ++p;
    }
    return items;
}

std::string JoinListText(const ByteStrings& items)
{
    size_t size = 0;
    for (const auto& item : items)
        size += item.size() + 2;
    std::string text;
    text.resize(size);
    char* out = text.data();
    for (const auto& item : items) {
        std::memcpy(out, item.data(), item.size());
        out += item.size();
        *out++ = '\r';
        *out++ = '\n';
    }
    return text;
}

ByteStrings LoadListFile(const std::string& path)
{
    std::string data;
    if (!ReadWholeFile(path, data))
        throw EFOpenError(Format("Cannot open file %s", path.c_str()));
    return SplitListText(data);
}

void SaveListFile(const std::string& path, const ByteStrings& items)
{
    TSafeFileWriter writer(path);
    for (const auto& item : items) {
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
