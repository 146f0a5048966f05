#include "simtcpserver.h"

namespace vqsim {

void SimTcpServer::incomingConnection(qintptr descriptor)
{
    Q_EMIT DescriptorAccepted(descriptor);
}

} // namespace vqsim
