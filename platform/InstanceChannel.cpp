#include "InstanceChannel.h"

#include "Paths.h"

#include <QCryptographicHash>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace quellora {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t MaxSocketPath = sizeof(sockaddr_un::sun_path) - 1;
// "player-" and 32 hexadecimal digits of the folder's hash, then ".socket".
constexpr size_t SocketNameSize = 7 + 32 + 7;
// How long a start waits for the lock.
constexpr auto LockWait = std::chrono::seconds(5);

// A folder of this user that nobody else may enter, made when missing. A
// folder that another user made, or left open, is refused: whoever can
// enter it could hand songs to the player or pose as it.
bool privateDir(const std::string& dir)
{
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    return lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           (st.st_mode & 077) == 0;
}

bool socketAddress(const std::string& path, sockaddr_un& addr)
{
    if (path.size() > MaxSocketPath)
        return false;
    memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    memcpy(addr.sun_path, path.data(), path.size());
    return true;
}

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

// Waits until `fd` is ready for `events`: 1 ready, 0 the deadline passed, -1 an error.
int waitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = poll(&p, 1, remainingMs(deadline));
        if (n >= 0 || errno != EINTR)
            return n > 0 ? 1 : n;
    }
}

enum class TDelivery { Delivered, Dropped, Silent, Unanswered };

// Sends the message on a connected socket and waits for the answer. A
// connection closed without an answer means the player is ending (or took
// the message for none); one that stays silent, a player that hangs or is
// stopped: Unanswered once the whole message is with it, Silent before.
TDelivery deliver(int fd, const std::string& bytes, Clock::time_point deadline)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        // MSG_NOSIGNAL: a player that went away is an answer, not a SIGPIPE.
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += size_t(n);
        } else if (errno == EAGAIN || errno == EINTR) {
            const int ready = waitFor(fd, POLLOUT, deadline);
            if (ready == 0)
                return TDelivery::Silent;
            if (ready < 0)
                return TDelivery::Dropped;
        } else {
            return TDelivery::Dropped;
        }
    }
    for (;;) {
        const int ready = waitFor(fd, POLLIN, deadline);
        if (ready == 0)
            return TDelivery::Unanswered;
        if (ready < 0)
            return TDelivery::Dropped;
        char answer = 0;
        const ssize_t n = recv(fd, &answer, 1, 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        return n == 1 && answer == HandOverAck ? TDelivery::Delivered : TDelivery::Dropped;
    }
}

// Under the lock, with no player answering: the socket left there (if any)
// is stale and makes way for this start's own.
TStartResult claim(const TInstanceChannel& channel)
{
    TStartResult result;
    sockaddr_un addr {};
    if (!socketAddress(channel.socketPath, addr))
        return result;
    unlink(channel.socketPath.c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return result;
    struct stat st {};
    if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 64) != 0 ||
        lstat(channel.socketPath.c_str(), &st) != 0) {
        close(fd);
        return result;
    }
    result.outcome = TStartOutcome::Claimed;
    result.claim = {fd, channel.socketPath, channel.lockPath, st.st_dev, st.st_ino};
    return result;
}

} // namespace

std::string ChannelDir()
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/') {
        std::string dir = runtime;
        dir += dir.back() == '/' ? "quellora" : "/quellora";
        if (dir.size() + 1 + SocketNameSize <= MaxSocketPath && DirectoryExists(runtime) && privateDir(dir))
            return dir + "/";
    }
    const std::string dir = "/tmp/quellora-" + std::to_string(geteuid());
    return privateDir(dir) ? dir + "/" : "";
}

TInstanceChannel ChannelOf(const std::string& folder)
{
    const std::string dir = ChannelDir();
    if (dir.empty())
        return {};
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray(folder.data(), qsizetype(folder.size())), QCryptographicHash::Sha256);
    const std::string name = "player-" + hash.toHex().left(32).toStdString();
    return {dir + name + ".socket", dir + name + ".lock"};
}

TChannelLock::TChannelLock(const std::string& lockPath)
{
    fd_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0)
        return;
    const auto deadline = Clock::now() + LockWait;
    while (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || Clock::now() >= deadline) {
            close(fd_);
            fd_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

TChannelLock::~TChannelLock()
{
    if (fd_ >= 0)
        close(fd_);
}

TStartResult HandOverOrClaim(const TInstanceChannel& channel, const THandOverMessage& message, int waitMs)
{
    TStartResult result;
    sockaddr_un addr {};
    if (channel.socketPath.empty() || !socketAddress(channel.socketPath, addr))
        return result;
    const std::string bytes = EncodeHandOver(message);
    if (bytes.empty()) {
        result.outcome = TStartOutcome::TooLarge;
        return result;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        int fd = -1;
        {
            TChannelLock lock(channel.lockPath);
            if (!lock.Held()) {
                result.outcome = TStartOutcome::NoAnswer;
                return result;
            }
            fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            if (fd < 0)
                return result;
            if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
                const int error = errno;
                close(fd);
                fd = -1;
                // A full queue of connections is a busy player; anything
                // else (no socket, nobody listening) leaves the channel free.
                if (error != EAGAIN)
                    return claim(channel);
            }
        }
        // The lock is not held while the player is waited for: a player that
        // is ending takes it to close its socket.
        if (fd >= 0) {
            const TDelivery delivery = deliver(fd, bytes, Clock::now() + std::chrono::milliseconds(waitMs));
            close(fd);
            if (delivery == TDelivery::Delivered) {
                result.outcome = TStartOutcome::HandedOver;
                return result;
            }
            if (delivery == TDelivery::Silent || delivery == TDelivery::Unanswered) {
                result.outcome = delivery == TDelivery::Silent ? TStartOutcome::NoAnswer : TStartOutcome::Unanswered;
                return result;
            }
        }
        // A player that is ending, or busy: look again soon.
        if (Clock::now() >= deadline) {
            result.outcome = TStartOutcome::NoAnswer;
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void ReleaseChannel(TChannelClaim& claim, const std::function<void()>& closeSocket)
{
    if (claim.socketPath.empty()) {
        closeSocket();
        return;
    }
    TChannelLock lock(claim.lockPath);
    closeSocket();
    struct stat st {};
    if (lstat(claim.socketPath.c_str(), &st) == 0 && st.st_dev == claim.device && st.st_ino == claim.inode)
        unlink(claim.socketPath.c_str());
    claim = TChannelClaim();
}

} // namespace quellora
