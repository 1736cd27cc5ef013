#include "HandOverServer.h"

#include "HandOverMessage.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace quellora {

struct THandOverServer::TPeer {
    // Signals and the timer name the peer by number: one that is gone is not found.
    quint64 id = 0;
    QLocalSocket* socket = nullptr;
    std::string bytes;
    // The header first; once it is read, the whole message.
    size_t want = HandOverHeaderSize;
    bool sized = false;
};

namespace {

// Only the player's own user may hand over; the socket's private folder
// keeps others out already, and root, who may enter it, is turned away here.
bool sameUser(qintptr fd)
{
    ucred peer {};
    socklen_t size = sizeof peer;
    return getsockopt(int(fd), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == geteuid();
}

} // namespace

THandOverServer::THandOverServer(TChannelClaim claim, std::string folder, QObject* parent)
    : QObject(parent), server_(new QLocalServer(this)), claim_(std::move(claim)), folder_(std::move(folder))
{
    connect(server_, &QLocalServer::newConnection, this, &THandOverServer::takeConnections);
    if (!server_->listen(qintptr(claim_.fd)))
        ReleaseChannel(claim_, [fd = claim_.fd] { close(fd); });
}

THandOverServer::~THandOverServer()
{
    Close();
}

bool THandOverServer::Listening() const
{
    return server_->isListening();
}

void THandOverServer::Close()
{
    if (server_->isListening())
        ReleaseChannel(claim_, [this] { server_->close(); });
}

void THandOverServer::takeConnections()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        if (int(peers_.size()) >= MaxPeers || !sameUser(socket->socketDescriptor())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        const quint64 id = ++lastPeer_;
        auto peer = std::make_unique<TPeer>();
        peer->id = id;
        peer->socket = socket;
        peers_.push_back(std::move(peer));
        connect(socket, &QLocalSocket::readyRead, this, [this, id] { read(id); });
        connect(socket, &QLocalSocket::disconnected, this, [this, id] { drop(id); });
        QTimer::singleShot(PeerTimeoutMs, this, [this, id] { drop(id); });
        read(id);
    }
}

THandOverServer::TPeer* THandOverServer::find(quint64 id) const
{
    for (const auto& peer : peers_)
        if (peer->id == id)
            return peer.get();
    return nullptr;
}

void THandOverServer::read(quint64 id)
{
    TPeer* peer = find(id);
    if (!peer)
        return;
    QLocalSocket* socket = peer->socket;
    // Never more than the message announces, and never more than the bound.
    while (peer->bytes.size() < peer->want && socket->bytesAvailable() > 0) {
        const QByteArray chunk = socket->read(qint64(peer->want - peer->bytes.size()));
        if (chunk.isEmpty())
            break;
        peer->bytes.append(chunk.constData(), size_t(chunk.size()));
        if (!peer->sized && peer->bytes.size() == HandOverHeaderSize) {
            const std::optional<size_t> size = HandOverMessageSize(peer->bytes);
            if (!size) {
                drop(id);
                return;
            }
            peer->want = *size;
            peer->sized = true;
        }
    }
    if (!peer->sized || peer->bytes.size() < peer->want)
        return;
    const std::optional<THandOverMessage> message = DecodeHandOver(peer->bytes);
    if (!message || message->folder != folder_ || (Accepting && !Accepting())) {
        drop(id);
        return;
    }
    // The answer goes out before the player acts, so that the start ends at
    // once, whatever the player does with the arguments (a box may wait).
    forget(id);
    socket->disconnect(this);
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    socket->write(&HandOverAck, 1);
    socket->disconnectFromServer();
    queue_.push_back(ResolvedArguments(*message));
    QMetaObject::invokeMethod(this, &THandOverServer::deliverQueued, Qt::QueuedConnection);
}

void THandOverServer::forget(quint64 id)
{
    peers_.erase(std::remove_if(peers_.begin(), peers_.end(), [id](const auto& peer) { return peer->id == id; }),
                 peers_.end());
}

void THandOverServer::drop(quint64 id)
{
    TPeer* peer = find(id);
    if (!peer)
        return;
    QLocalSocket* socket = peer->socket;
    forget(id);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void THandOverServer::deliverQueued()
{
    // A box shown for one hand-over runs a loop of its own: the next waits
    // for the one before it to end, so that they act in the order they came.
    if (delivering_)
        return;
    delivering_ = true;
    struct TDone {
        bool& flag;
        ~TDone() { flag = false; }
    } done{delivering_};
    while (!queue_.empty()) {
        const std::vector<std::string> args = std::move(queue_.front());
        queue_.pop_front();
        if (OnArguments)
            OnArguments(args);
    }
}

} // namespace quellora
