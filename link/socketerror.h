#pragma once

#include <QAbstractSocket>
#include <QString>

// Socket error codes, numbered as the program's socket messages are keyed.
// (Prefixed names: the system headers of some platforms define the plain ones.)
enum SocketErrorCode : int
{
    SE_NONE = 0,
    SE_INTR = 10004, // a wait was cancelled (watchdog, Cancel)
    SE_ACCES = 10013,
    SE_INVAL = 10022,
    SE_WOULDBLOCK = 10035,
    SE_INPROGRESS = 10036,
    SE_NOTSOCK = 10038,
    SE_MSGSIZE = 10040,
    SE_OPNOTSUPP = 10045,
    SE_NETDOWN = 10050,
    SE_CONNABORTED = 10053,
    SE_CONNRESET = 10054,
    SE_NOBUFS = 10055,
    SE_NOTCONN = 10057,
    SE_SHUTDOWN = 10058,
    SE_TIMEDOUT = 10060,
    SE_CONNREFUSED = 10061,
    SE_NOTINITIALISED = 10093,
    SE_HOST_NOT_FOUND = 11001,
};

// The code for one of Qt's socket errors.
int SocketErrorCode(QAbstractSocket::SocketError error);
// The text the user sees for a code.
QString SocketErrorText(int code);

// The calling thread's last socket error, as the sockets of this program leave it.
int LastSocketError();
void SetLastSocketError(int code);
