// The hand-over from a second start to the running player: its message
// keeps bytes and refuses every damaged form; the running player's server
// shrugs off garbage, huge announcements and peers that leave half-way,
// takes whole messages of its own folder, and a socket left by a killed
// player is replaced.

#include "HandOverMessage.h"
#include "HandOverServer.h"
#include "InstanceChannel.h"
#include "TempDir.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>

using namespace quellora;
using namespace quellora::test;

namespace {

const THandOverMessage Sample{"/opt/quellora/", "/home/u/M\xFCsic", {"a.mp3", "./b c.mp3", "", "/abs/\xE9.qfl"}};

// Runs `work` on a thread of its own while this thread's loop serves the player.
template <typename Work> auto whileServing(Work work)
{
    auto done = std::async(std::launch::async, work);
    while (done.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
        QCoreApplication::processEvents();
    return done.get();
}

class HandOver : public ::testing::Test {
protected:
    TempDir runtime;
    TInstanceChannel channel;

    void SetUp() override
    {
        setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
        channel = ChannelOf(Sample.folder);
        ASSERT_EQ(channel.socketPath.rfind(runtime.path() + "quellora/", 0), 0u) << channel.socketPath;
    }

    // A peer that writes `bytes` (and leaves, with `leave`); returns what the server answered.
    std::string peer(const std::string& bytes, bool leave = false)
    {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        strncpy(addr.sun_path, channel.socketPath.c_str(), sizeof addr.sun_path - 1);
        EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        EXPECT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
        std::string answer;
        if (!leave) {
            answer = whileServing([fd] {
                std::string got;
                char c;
                while (recv(fd, &c, 1, 0) == 1)
                    got += c;
                return got;
            });
        }
        close(fd);
        return answer;
    }
};

} // namespace

TEST_F(HandOver, MessagesKeepTheirBytesAndRelativePathsFollowTheSendersFolder)
{
    const std::optional<THandOverMessage> back = DecodeHandOver(EncodeHandOver(Sample));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->folder, Sample.folder);
    EXPECT_EQ(back->workDir, Sample.workDir);
    EXPECT_EQ(back->args, Sample.args);
    const std::vector<std::string> resolved{"/home/u/M\xFCsic/a.mp3", "/home/u/M\xFCsic/b c.mp3", "/home/u/M\xFCsic/",
                                            "/abs/\xE9.qfl"};
    EXPECT_EQ(ResolvedArguments(*back), resolved);
}

TEST_F(HandOver, EveryDamagedOrOversizedMessageIsRefused)
{
    const std::string good = EncodeHandOver(Sample);
    for (size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(DecodeHandOver(good.substr(0, n))) << "cut to " << n;
    std::string lying = good;
    lying[11] = char(0xFF); // the field count: far more than the bytes hold
    std::string relative = EncodeHandOver({"/f/", "home", {}});
    EXPECT_FALSE(DecodeHandOver(lying));
    EXPECT_FALSE(DecodeHandOver(good + "x"));
    EXPECT_FALSE(DecodeHandOver("QLHX" + good.substr(4)));
    EXPECT_FALSE(DecodeHandOver(relative));
    EXPECT_FALSE(HandOverMessageSize(std::string("QLHO\x00\x40\x00\x01", 8)));
    EXPECT_EQ(HandOverMessageSize(std::string("QLHO\x00\x40\x00\x00", 8)), HandOverHeaderSize + HandOverMaxPayload);
    EXPECT_EQ(EncodeHandOver({"/f/", "/", {std::string(HandOverMaxPayload, 'x')}}), "");
}

TEST_F(HandOver, ServerTakesWholeMessagesOfItsFolderAndShrugsOffBadPeers)
{
    TStartResult first = HandOverOrClaim(channel, Sample);
    ASSERT_EQ(first.outcome, TStartOutcome::Claimed);
    struct stat st {};
    ASSERT_EQ(stat((runtime.path() + "quellora").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    THandOverServer server(first.claim, Sample.folder);
    std::vector<std::vector<std::string>> received;
    server.OnArguments = [&](const std::vector<std::string>& args) { received.push_back(args); };

    EXPECT_EQ(peer("garbage, and more garbage"), "");
    EXPECT_EQ(peer(std::string("QLHO\x7F\xFF\xFF\xFF", 8) + "0123456789"), "");
    EXPECT_EQ(peer(EncodeHandOver({"/another/folder/", "/", {"x.mp3"}})), "");
    peer(EncodeHandOver(Sample).substr(0, 30), true);
    const std::string whole = EncodeHandOver(Sample);
    EXPECT_EQ(peer(whole), std::string(1, HandOverAck));
    QCoreApplication::processEvents();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], ResolvedArguments(Sample));

    // A start of its own, as the entry point makes it; and a player that is
    // ending takes nothing, so the start looks again and finally gives up.
    const THandOverMessage next{Sample.folder, "/", {"song.mp3"}};
    EXPECT_EQ(whileServing([&] { return HandOverOrClaim(channel, next).outcome; }), TStartOutcome::HandedOver);
    QCoreApplication::processEvents();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[1], std::vector<std::string>{"/song.mp3"});
    server.Accepting = [] { return false; };
    EXPECT_EQ(whileServing([&] { return HandOverOrClaim(channel, next, 300).outcome; }), TStartOutcome::NoAnswer);
    EXPECT_EQ(received.size(), 2u);
}

TEST_F(HandOver, SocketOfAKilledPlayerIsReplacedAndAClosedOneLeavesTheChannelFree)
{
    TStartResult killed = HandOverOrClaim(channel, Sample);
    ASSERT_EQ(killed.outcome, TStartOutcome::Claimed);
    close(killed.claim.fd); // as a SIGKILL leaves it: the socket file stays
    ASSERT_EQ(access(channel.socketPath.c_str(), F_OK), 0);

    TStartResult next = HandOverOrClaim(channel, Sample);
    ASSERT_EQ(next.outcome, TStartOutcome::Claimed);
    // A player that takes the message but never answers (it is stopped).
    EXPECT_EQ(HandOverOrClaim(channel, Sample, 100).outcome, TStartOutcome::Unanswered);
    auto server = std::make_unique<THandOverServer>(next.claim, Sample.folder);
    EXPECT_TRUE(server->Listening());
    server.reset();
    EXPECT_NE(access(channel.socketPath.c_str(), F_OK), 0);
    TStartResult again = HandOverOrClaim(channel, Sample);
    EXPECT_EQ(again.outcome, TStartOutcome::Claimed);
    close(again.claim.fd);

    // A channel folder that others may enter is not used.
    ASSERT_EQ(chmod((runtime.path() + "quellora").c_str(), 0755), 0);
    EXPECT_NE(ChannelDir(), runtime.path() + "quellora/");
}
