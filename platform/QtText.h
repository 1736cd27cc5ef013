#pragma once
// Text is bytes: strings become QString only to be shown or handed to Qt,
// and come back as the bytes of the local 8-bit encoding.

#include <QString>
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

} // namespace quellora
