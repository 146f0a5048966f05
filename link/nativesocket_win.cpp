#include "link/nativesocket.h"

#include <winsock2.h>

// Winsock's codes are the program's own (socketerror.h).

namespace {
// Winsock tells nothing of what the peer has acknowledged, and takes
// megabytes into its buffers at once: a small send buffer keeps the bytes
// handed over close to the bytes that have arrived, which progress counts.
constexpr int kSendBufferBytes = 64 * 1024;
} // namespace

NativeSocket StartNativeConnect(quint32 ipv4, quint16 port, int& code, bool& noSocket)
{
    const SOCKET fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    noSocket = fd == INVALID_SOCKET;
    if (noSocket) {
        code = ::WSAGetLastError();
        return NO_NATIVE_SOCKET;
    }
    u_long nonBlocking = 1;
    const int sendBuffer = kSendBufferBytes;
    if (::ioctlsocket(fd, FIONBIO, &nonBlocking) != 0 ||
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&sendBuffer),
                     sizeof sendBuffer) != 0) {
        code = ::WSAGetLastError();
        ::closesocket(fd);
        return NO_NATIVE_SOCKET;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = ::htons(port);
    addr.sin_addr.s_addr = ::htonl(ipv4);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 &&
        ::WSAGetLastError() != WSAEWOULDBLOCK) {
        code = ::WSAGetLastError();
        ::closesocket(fd);
        return NO_NATIVE_SOCKET;
    }
    return static_cast<NativeSocket>(fd);
}

int WaitNativeWritable(NativeSocket fd, int ms, int& code)
{
    // A refused handshake shows as an exception, not as writable (WSAPoll of
    // older Windows shows it not at all).
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(static_cast<SOCKET>(fd), &writable);
    FD_SET(static_cast<SOCKET>(fd), &failed);
    timeval wait{ms / 1000, (ms % 1000) * 1000};
    const int n = ::select(0, nullptr, &writable, &failed, &wait);
    if (n == SOCKET_ERROR)
        code = ::WSAGetLastError();
    return n == SOCKET_ERROR ? -1 : (n > 0 ? 1 : 0);
}

bool NoNativeError(NativeSocket fd, int& code)
{
    int error = 0;
    int len = sizeof error;
    if (::getsockopt(static_cast<SOCKET>(fd), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len) !=
        0) {
        code = ::WSAGetLastError();
        return false;
    }
    code = error;
    return error == 0;
}

void CloseNative(NativeSocket fd)
{
    ::closesocket(static_cast<SOCKET>(fd));
}

void ShutdownNative(NativeSocket fd)
{
    ::shutdown(static_cast<SOCKET>(fd), SD_BOTH);
}

qint64 NativeUnacknowledged(NativeSocket)
{
    return 0;
}
