#pragma once
// One player per list folder. A start looks for the player of its folder on
// a local socket in a private folder of the user's runtime directory: when
// one answers, the start hands its arguments over and ends; otherwise it
// claims the socket and becomes that player. A lock file serialises the look
// and the claim, so that two starts at the same moment end with one player;
// a socket that nobody answers on any more (its player was killed) is
// replaced. All of this runs before the toolkit starts: plain system calls.

#include "HandOverMessage.h"

#include <functional>
#include <string>

#include <sys/types.h>

namespace quellora {

// Where the channels live: $XDG_RUNTIME_DIR/quellora/, or /tmp/quellora-<uid>/
// without a runtime directory, made with mode 0700 and used only while it is
// a directory of this user that nobody else may enter. "" when there is none.
std::string ChannelDir();

struct TInstanceChannel {
    std::string socketPath; // "" when the channel cannot be had
    std::string lockPath;
};

// The channel of a list folder (canonical, as THandOverMessage::folder).
TInstanceChannel ChannelOf(const std::string& folder);

// The listening socket of a claimed channel, kept by the player that runs.
struct TChannelClaim {
    int fd = -1;
    std::string socketPath;
    std::string lockPath;
    dev_t device = 0; // the socket file made, so that only it is removed
    ino_t inode = 0;
};

enum class TStartOutcome {
    HandedOver, // the running player took the arguments: end
    Claimed,    // no player ran: this start is the player, claim.fd listens
    NoChannel,  // no private folder or socket: run without the channel
    NoAnswer,   // a player holds the channel but does not answer
    Unanswered, // the player has the whole message but has not answered yet
    TooLarge,   // more arguments than a hand-over carries
};

struct TStartResult {
    TStartOutcome outcome = TStartOutcome::NoChannel;
    TChannelClaim claim;
};

// Hands `message` over to the player of `channel`, or claims the channel.
// `waitMs` bounds the wait for the running player's answer, and the time
// in which a player that is ending is looked for again until it is gone.
TStartResult HandOverOrClaim(const TInstanceChannel& channel, const THandOverMessage& message, int waitMs = 10000);

// Stops listening on a claimed channel and removes its socket, under the
// channel's lock, so that a start in between never claims a socket that is
// then taken away from it. `closeSocket` closes the listening socket.
void ReleaseChannel(TChannelClaim& claim, const std::function<void()>& closeSocket);

// The lock that serialises looking for a player and claiming the channel:
// held from construction to destruction, waited for at most a few seconds.
class TChannelLock {
public:
    explicit TChannelLock(const std::string& lockPath);
    ~TChannelLock();
    TChannelLock(const TChannelLock&) = delete;
    TChannelLock& operator=(const TChannelLock&) = delete;
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

} // namespace quellora
