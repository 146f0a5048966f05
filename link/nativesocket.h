#pragma once
// What the command socket does on the descriptor itself, beside Qt: a
// handshake it can give up on at any moment (Qt has no descriptor to wait on
// before it is connected), a shutdown from another thread, and the bytes sent
// that the peer has not acknowledged. One implementation per platform:
// nativesocket_unix.cpp, nativesocket_win.cpp. Codes are SocketErrorCode.

#include <QtGlobal>

// A descriptor as Qt hands them out (a SOCKET on Windows).
using NativeSocket = qintptr;
inline constexpr NativeSocket NO_NATIVE_SOCKET = -1;

// Starts a handshake to an IPv4 address (host order) without waiting for it;
// NO_NATIVE_SOCKET and `code` when it cannot start, and `noSocket` when the
// system gave no socket at all.
NativeSocket StartNativeConnect(quint32 ipv4, quint16 port, int& code, bool& noSocket);
// Waits up to `ms`, sleeping in the kernel, until a send would not wait: the
// handshake has ended (either way), the send buffer has room, or the
// connection has failed. 1 then, 0 when the time is up, -1 with `code` on
// failure.
int WaitNativeWritable(NativeSocket fd, int ms, int& code);
// No error pending on the socket (the outcome of an ended handshake, or a
// reset since): true, else false with the code of the failure (SE_NONE when
// the system names none of ours).
bool NoNativeError(NativeSocket fd, int& code);
void CloseNative(NativeSocket fd);
// Both directions; safe from any thread while the descriptor is open.
void ShutdownNative(NativeSocket fd);
// Bytes sent and not yet acknowledged by the peer, as far as the system tells;
// 0 where it does not (Windows: there the send buffer is kept small instead).
qint64 NativeUnacknowledged(NativeSocket fd);
