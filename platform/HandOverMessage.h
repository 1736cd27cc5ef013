#pragma once
// What a second start of the player hands over to the player already running
// for the same list folder: that folder, the folder the second start was
// started in, and its arguments, all as bytes (file names need not be UTF-8).
//
// On the wire: "QLHO", the payload's length in four bytes (most significant
// first), then the payload: the number of fields in four bytes, then each
// field as its length in four bytes and its bytes; the list folder first,
// the working directory second, then the arguments in order. The running
// player answers a message it takes with the one byte HandOverAck.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quellora {

struct THandOverMessage {
    std::string folder;  // the list folder the sender would use (canonical)
    std::string workDir; // the sender's working directory, absolute
    std::vector<std::string> args;
};

constexpr std::string_view HandOverMagic = "QLHO";
constexpr size_t HandOverHeaderSize = 8;
// Well above what a command line can hold (2 MiB with the default stack
// limit): a peer that announces more is no second start.
constexpr size_t HandOverMaxPayload = size_t(4) << 20;
constexpr char HandOverAck = 'A';

// The message as sent; "" when it would exceed HandOverMaxPayload.
std::string EncodeHandOver(const THandOverMessage& message);

// The whole message's size, header included, from its first
// HandOverHeaderSize bytes; nothing when they are no hand-over or announce
// more than HandOverMaxPayload.
std::optional<size_t> HandOverMessageSize(std::string_view header);

// The message in `bytes` (exactly one whole message); nothing for anything
// else: a wrong header or length, fields that overrun it or leave bytes
// over, no working directory or a relative one.
std::optional<THandOverMessage> DecodeHandOver(std::string_view bytes);

// The arguments as the receiver must read them: relative paths taken from
// the sender's working directory, not the receiver's.
std::vector<std::string> ResolvedArguments(const THandOverMessage& message);

} // namespace quellora
