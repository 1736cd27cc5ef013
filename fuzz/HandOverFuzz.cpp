// Reads arbitrary bytes as a hand-over that a second start sent to the
// running player. Whatever the bytes, the reader must neither fault nor
// take more than the message holds: what it takes is exactly one message,
// which writes back to the same bytes.

#include "HandOverMessage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace quellora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::optional<THandOverMessage> message = DecodeHandOver(bytes);
    if (!message)
        return 0;
    if (HandOverMessageSize(bytes) != size || EncodeHandOver(*message) != bytes)
        std::abort();
    (void)ResolvedArguments(*message);
    return 0;
}
