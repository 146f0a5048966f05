#pragma once

#include <QTcpServer>

// A listening socket that hands every accepted descriptor on at once instead
// of queueing it, so Qt's own accept notifier is never switched back on by
// taking a pending connection: the listener does its own accepting.
class CSimTcpServer final : public QTcpServer
{
    Q_OBJECT

public:
    using QTcpServer::QTcpServer;

Q_SIGNALS:
    void DescriptorAccepted(qintptr descriptor);

protected:
    void incomingConnection(qintptr descriptor) override;
};
