#include "link/socketerror.h"

using namespace Qt::StringLiterals;

namespace {
thread_local int t_lastSocketError = SE_NONE;
}

// How Qt's socket errors map onto the codes the messages are keyed by:
//   ConnectionRefusedError          -> SE_CONNREFUSED  ("Socket error.")
//   RemoteHostClosedError           -> SE_CONNRESET    ("Connection closed by foreign host.")
//   HostNotFoundError               -> SE_HOST_NOT_FOUND
//   SocketAccessError               -> SE_ACCES
//   SocketResourceError             -> SE_NOBUFS
//   SocketTimeoutError              -> SE_TIMEDOUT
//   DatagramTooLargeError           -> SE_MSGSIZE      ("Error: WSAEMSGSIZE")
//   NetworkError                    -> SE_NETDOWN      ("Network sub-system invalid")
//   UnsupportedSocketOperationError -> SE_OPNOTSUPP    ("Error: WSAEOPNOTSUPP")
//   OperationError                  -> SE_NOTCONN      ("Socket is not connected."): an operation
//                                      the socket's state does not allow, in practice a send or
//                                      receive on a socket that is no longer connected
//   TemporaryError                  -> SE_WOULDBLOCK   ("Error: WSAEWOULDBLOCK")
//   anything else                   -> SE_NONE         ("Socket error.")
// A wait cancelled by the reply watchdog or by Cancel is SE_INTR; a send on a
// socket shut down by Cancel is SE_SHUTDOWN.
int SocketErrorCode(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return SE_CONNREFUSED;
    case QAbstractSocket::RemoteHostClosedError:
        return SE_CONNRESET;
    case QAbstractSocket::HostNotFoundError:
        return SE_HOST_NOT_FOUND;
    case QAbstractSocket::SocketAccessError:
        return SE_ACCES;
    case QAbstractSocket::SocketResourceError:
        return SE_NOBUFS;
    case QAbstractSocket::SocketTimeoutError:
        return SE_TIMEDOUT;
    case QAbstractSocket::DatagramTooLargeError:
        return SE_MSGSIZE;
    case QAbstractSocket::NetworkError:
        return SE_NETDOWN;
    case QAbstractSocket::UnsupportedSocketOperationError:
        return SE_OPNOTSUPP;
    case QAbstractSocket::OperationError:
        return SE_NOTCONN;
    case QAbstractSocket::TemporaryError:
        return SE_WOULDBLOCK;
    default:
        return SE_NONE;
    }
}

QString SocketErrorText(int code)
{
    switch (code) {
    case SE_INVAL:
        return u"Socket not bound"_s;
    case SE_WOULDBLOCK:
        return u"Error: WSAEWOULDBLOCK"_s;
    case SE_INPROGRESS:
        return u"Socket is blocked."_s;
    case SE_NOTSOCK:
        return u"Descriptor is not socket."_s;
    case SE_MSGSIZE:
        return u"Error: WSAEMSGSIZE"_s;
    case SE_OPNOTSUPP:
        return u"Error: WSAEOPNOTSUPP"_s;
    case SE_NETDOWN:
        return u"Network sub-system invalid"_s;
    case SE_CONNABORTED:
        return u"Connection aborted. (Timeout, etc...)"_s;
    case SE_CONNRESET:
        return u"Connection closed by foreign host."_s;
    case SE_NOTCONN:
        return u"Socket is not connected."_s;
    case SE_SHUTDOWN:
        return u"Socket is shutdown"_s;
    case SE_NOTINITIALISED:
        return u"Socket not initialized"_s;
    default:
        return u"Socket error."_s;
    }
}

int LastSocketError()
{
    return t_lastSocketError;
}

void SetLastSocketError(int code)
{
    t_lastSocketError = code;
}
