#pragma once

#include "workspace/InstanceProtocol.h"

#include <QLocalServer>
#include <QObject>
#include <functional>

class QLocalSocket;

// The running watchdog's side of the local socket: every request of a later
// start on the same settings file goes to the handler, and its reply goes
// back. Only processes of the same user are served.
class InstanceServer : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<InstanceReply(const InstanceRequest&)>;

    explicit InstanceServer(Handler handler, QObject* parent = nullptr);

    // Listens at path, replacing a socket an ended holder of the lock left
    // behind: call it only while holding the instance lock.
    bool listen(const QString& path);
    QString errorString() const { return server_.errorString(); }

private:
    void onNewConnection();
    void serve(QLocalSocket* socket, QByteArray& buffer);

    Handler handler_;
    QLocalServer server_;
};
