#include "workspace/InstanceServer.h"

#include <QLocalSocket>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool fromThisUser(const QLocalSocket& socket) {
    ucred peer{};
    socklen_t size = sizeof(peer);
    return getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer,
                      &size) == 0 &&
           peer.uid == getuid();
}

} // namespace

InstanceServer::InstanceServer(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &InstanceServer::onNewConnection);
}

bool InstanceServer::listen(const QString& path) {
    QLocalServer::removeServer(path);
    return server_.listen(path);
}

void InstanceServer::onNewConnection() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        if (!fromThisUser(*socket)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this,
                [this, socket, buffer] { serve(socket, *buffer); });
    }
}

void InstanceServer::serve(QLocalSocket* socket, QByteArray& buffer) {
    buffer += socket->readAll();
    bool unreadable = false;
    while (const std::optional<InstanceRequest> request =
               InstanceProtocol::takeRequest(buffer, &unreadable))
        socket->write(InstanceProtocol::encode(handler_(*request)));
    if (unreadable) {
        socket->write(InstanceProtocol::encode(
            InstanceReply{2, QString(),
                          QStringLiteral("The running ZuGhoulizer could not read "
                                         "the request.\n")}));
        socket->disconnectFromServer();
    }
}
