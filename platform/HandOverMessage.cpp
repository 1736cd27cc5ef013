#include "HandOverMessage.h"

#include "Paths.h"

#include <cstdint>

namespace quellora {

namespace {

void putLength(std::string& out, size_t n)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += char((n >> shift) & 0xFF);
}

uint32_t getLength(std::string_view bytes, size_t at)
{
    uint32_t n = 0;
    for (size_t i = 0; i < 4; ++i)
        n = (n << 8) | static_cast<unsigned char>(bytes[at + i]);
    return n;
}

// Reads fields off the payload, each one checked against what is left.
class TFieldReader {
public:
    explicit TFieldReader(std::string_view payload) : payload_(payload) {}

    std::optional<uint32_t> length()
    {
        if (payload_.size() - at_ < 4)
            return std::nullopt;
        const uint32_t n = getLength(payload_, at_);
        at_ += 4;
        return n;
    }

    std::optional<std::string> field()
    {
        const std::optional<uint32_t> n = length();
        if (!n || *n > payload_.size() - at_)
            return std::nullopt;
        std::string bytes(payload_.substr(at_, *n));
        at_ += *n;
        return bytes;
    }

    bool atEnd() const { return at_ == payload_.size(); }
    size_t left() const { return payload_.size() - at_; }

private:
    std::string_view payload_;
    size_t at_ = 0;
};

} // namespace

std::string EncodeHandOver(const THandOverMessage& message)
{
    std::string payload;
    putLength(payload, 2 + message.args.size());
    size_t size = 4;
    for (const std::string* field : {&message.folder, &message.workDir})
        size += 4 + field->size();
    for (const std::string& arg : message.args)
        size += 4 + arg.size();
    if (size > HandOverMaxPayload)
        return "";
    payload.reserve(size);
    const auto add = [&payload](const std::string& field) {
        putLength(payload, field.size());
        payload += field;
    };
    add(message.folder);
    add(message.workDir);
    for (const std::string& arg : message.args)
        add(arg);
    std::string bytes(HandOverMagic);
    putLength(bytes, payload.size());
    return bytes + payload;
}

std::optional<size_t> HandOverMessageSize(std::string_view header)
{
    if (header.size() < HandOverHeaderSize || header.substr(0, HandOverMagic.size()) != HandOverMagic)
        return std::nullopt;
    const uint32_t payload = getLength(header, HandOverMagic.size());
    if (payload > HandOverMaxPayload)
        return std::nullopt;
    return HandOverHeaderSize + payload;
}

std::optional<THandOverMessage> DecodeHandOver(std::string_view bytes)
{
    const std::optional<size_t> size = HandOverMessageSize(bytes);
    if (!size || *size != bytes.size())
        return std::nullopt;
    TFieldReader reader(bytes.substr(HandOverHeaderSize));
    const std::optional<uint32_t> count = reader.length();
    // Every field takes at least its four length bytes: a count beyond that
    // is a lie, found before anything is reserved for it.
    if (!count || *count < 2 || *count - 2 > reader.left() / 4)
        return std::nullopt;
    THandOverMessage message;
    std::optional<std::string> folder = reader.field(), workDir = reader.field();
    if (!folder || folder->empty() || !workDir || workDir->empty() || workDir->front() != '/')
        return std::nullopt;
    message.folder = std::move(*folder);
    message.workDir = std::move(*workDir);
    message.args.reserve(*count - 2);
    for (uint32_t i = 2; i < *count; ++i) {
        std::optional<std::string> arg = reader.field();
        if (!arg)
            return std::nullopt;
        message.args.push_back(std::move(*arg));
    }
    if (!reader.atEnd())
        return std::nullopt;
    return message;
}

std::vector<std::string> ResolvedArguments(const THandOverMessage& message)
{
    std::vector<std::string> paths;
    paths.reserve(message.args.size());
    for (const std::string& arg : message.args)
        paths.push_back(AbsolutePath(arg, message.workDir));
    return paths;
}

} // namespace quellora
