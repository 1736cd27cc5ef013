#pragma once
// The running player's side of the channel: it listens on the socket that
// its start claimed, takes whole hand-overs from starts of the same user and
// the same list folder, answers each at once and hands its arguments on,
// one hand-over at a time. A peer that sends garbage or too much, stalls or
// disconnects half-way is dropped, and nothing reaches the player.

#include "InstanceChannel.h"

#include <QObject>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLocalServer;
class QLocalSocket;

namespace quellora {

class THandOverServer : public QObject {
    Q_OBJECT
public:
    // Listens on `claim` for starts of `folder`. The claim is the server's.
    THandOverServer(TChannelClaim claim, std::string folder, QObject* parent = nullptr);
    ~THandOverServer() override;

    // Whether a hand-over is taken now; one that is not gets no answer, and
    // its start looks again (a player that is ending takes none).
    std::function<bool()> Accepting;
    // The arguments of a hand-over, relative paths already resolved against
    // the sender's working directory.
    std::function<void(const std::vector<std::string>&)> OnArguments;

    bool Listening() const;
    // Stops listening and removes the socket, so that the next start
    // becomes the player.
    void Close();

    // A peer that has not sent a whole message by then is dropped.
    static constexpr int PeerTimeoutMs = 5000;
    // At most this many peers are read at once; more are dropped at once.
    static constexpr int MaxPeers = 8;

private:
    struct TPeer;
    void takeConnections();
    TPeer* find(quint64 id) const;
    void read(quint64 id);
    // Forgets a peer that is done with; drop also closes its connection.
    void forget(quint64 id);
    void drop(quint64 id);
    void deliverQueued();

    QLocalServer* server_;
    TChannelClaim claim_;
    std::string folder_;
    std::vector<std::unique_ptr<TPeer>> peers_;
    quint64 lastPeer_ = 0;
    std::deque<std::vector<std::string>> queue_;
    bool delivering_ = false;
};

} // namespace quellora
