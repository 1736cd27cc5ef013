#pragma once
// Text is bytes: strings become QString only to be shown or handed to Qt,
// and come back as the bytes of the local 8-bit encoding.

#include <QString>
#include <cstddef>
#include <string>
#include <string_view>

namespace quellora {

inline QString ToQString(std::string_view bytes)
{
    return QString::fromLocal8Bit(bytes.data(), qsizetype(bytes.size()));
}

inline std::string FromQString(const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    return std::string(bytes.constData(), size_t(bytes.size()));
}

// On screen, a string shows at most its first ShownTextLimit bytes: more than
// any path the system opens, with a message around it, while a hostile list
// item of many megabytes costs no more to lay out than that. The bytes
// themselves are never cut.
constexpr size_t ShownTextLimit = 8192;

inline QString ToShownText(std::string_view bytes)
{
    if (bytes.size() > ShownTextLimit) {
        size_t cut = ShownTextLimit;
        // Not inside a character: step back over UTF-8 continuation bytes.
        while (cut > ShownTextLimit - 3 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80)
            --cut;
        bytes = bytes.substr(0, cut);
    }
    return ToQString(bytes);
}

} // namespace quellora
