#include "sim/simtcpserver.h"

void CSimTcpServer::incomingConnection(qintptr descriptor)
{
    Q_EMIT DescriptorAccepted(descriptor);
}
