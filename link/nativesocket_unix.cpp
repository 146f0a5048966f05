#include "link/nativesocket.h"

#include "link/socketerror.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <linux/sockios.h>
#endif

#include <algorithm>

namespace {

int ErrorCodeOf(int error)
{
    switch (error) {
    case ECONNREFUSED:
        return SE_CONNREFUSED;
    case ETIMEDOUT:
        return SE_TIMEDOUT;
    case ECONNRESET:
        return SE_CONNRESET;
    case ECONNABORTED:
        return SE_CONNABORTED;
    case ENETDOWN:
    case ENETUNREACH:
    case EHOSTUNREACH:
        return SE_NETDOWN;
    case EACCES:
    case EPERM:
        return SE_ACCES;
    case ENOBUFS:
    case EMFILE:
    case ENFILE:
        return SE_NOBUFS;
    default:
        return SE_NONE;
    }
}

} // namespace

NativeSocket StartNativeConnect(quint32 ipv4, quint16 port, int& code, bool& noSocket)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    noSocket = fd < 0;
    if (noSocket) {
        code = ErrorCodeOf(errno);
        return NO_NATIVE_SOCKET;
    }
    if (::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0 ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
        code = ErrorCodeOf(errno);
        ::close(fd);
        return NO_NATIVE_SOCKET;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(ipv4);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 && errno != EINPROGRESS &&
        errno != EINTR) {
        code = ErrorCodeOf(errno);
        ::close(fd);
        return NO_NATIVE_SOCKET;
    }
    return fd;
}

int WaitNativeWritable(NativeSocket fd, int ms, int& code)
{
    pollfd entry{};
    entry.fd = static_cast<int>(fd);
    entry.events = POLLOUT;
    int n = 0;
    do {
        n = ::poll(&entry, 1, ms);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        code = ErrorCodeOf(errno);
    return n < 0 ? -1 : (n > 0 ? 1 : 0);
}

bool NoNativeError(NativeSocket fd, int& code)
{
    int error = 0;
    socklen_t len = sizeof error;
    if (::getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_ERROR, &error, &len) != 0) {
        code = ErrorCodeOf(errno);
        return false;
    }
    code = ErrorCodeOf(error);
    return error == 0;
}

void CloseNative(NativeSocket fd)
{
    ::close(static_cast<int>(fd));
}

void ShutdownNative(NativeSocket fd)
{
    ::shutdown(static_cast<int>(fd), SHUT_RDWR);
}

qint64 NativeUnacknowledged(NativeSocket fd)
{
    int queued = 0;
#if defined(Q_OS_LINUX)
    // The send queue: bytes not yet sent, and sent but not yet acknowledged.
    if (::ioctl(static_cast<int>(fd), SIOCOUTQ, &queued) != 0)
        return 0;
#elif defined(Q_OS_DARWIN)
    socklen_t len = sizeof queued;
    if (::getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_NWRITE, &queued, &len) != 0)
        return 0;
#else
    Q_UNUSED(fd);
#endif
    return std::max(queued, 0);
}
