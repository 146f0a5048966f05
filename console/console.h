#pragma once
// The program's console and process, the platform's way (console_unix.cpp,
// console_win.cpp): which standard streams are terminals and how wide, a line
// typed there, writing to them, the requests to stop (Ctrl+C and the like)
// and worker processes that stop with their parent.

#include <QByteArrayView>
#include <QString>

#include <atomic>

class QProcess;

class CConsole final
{
public:
    enum class Stream
    {
        In,
        Out,
        Err,
    };

    // What the user or the system asks of the program.
    enum class Request
    {
        None,      // nothing (yet): a wait ended without one
        Interrupt, // Ctrl+C (SIGINT)
        Terminate, // SIGTERM, SIGHUP; on Windows Ctrl+Break and the console's close
    };

    CConsole() = delete;

    static bool IsTerminal(Stream stream);
    // The width of the terminal on `stream` in characters; 0 when it is none.
    static int Columns(Stream stream);

    // Resizes of the terminal are counted while at least one watch is on
    // (calls pair up, from any number of owners). False when the platform
    // tells of none: the width is then read each time.
    static bool WatchResizes();
    static void UnwatchResizes();
    static unsigned Resizes();

    // A line typed on the terminal of standard input, without its end. Empty
    // at the end of the input, on an error, and once `stop` is true, which is
    // looked at while the line is awaited (a question never holds up Ctrl+C).
    static QString ReadLine(const std::atomic<bool>& stop);

    // Makes the standard streams byte streams (no conversion of their line
    // ends) and lets a console take the escapes of the progress line. A
    // write to a closed stream fails (Write says so) instead of ending the
    // program on the spot.
    static void PrepareStreams();
    // Writes to a standard stream. `text` is UTF-8: a console shows it as the
    // characters it is, elsewhere it goes as it is. Bytes (`text` false) go as
    // they are everywhere.
    static bool Write(Stream stream, QByteArrayView bytes, bool text);

    // The requests to stop reach one owner at a time: false when another has
    // them. While caught they are queued for WaitRequest; released, the
    // handling from before comes back.
    static bool CatchRequests();
    static void ReleaseRequests();
    // The next request, waited for up to `ms` (-1: without a limit); None
    // after that time or after WakeRequestWait.
    static Request WaitRequest(int ms);
    static void WakeRequestWait();
    // A request of the program's own (its standard output closed), queued
    // for WaitRequest as the system's are; nothing when none are caught.
    static void PostRequest(Request request);

    // A worker process: set up before it starts so that it ends with this
    // process however this one ends, and so that Ctrl+C on the terminal
    // reaches this process only where the platform allows (InterruptWorker
    // then hands each one on).
    static void PrepareWorker(QProcess& process);
    // Ctrl+C for a worker that runs.
    static void InterruptWorker(QProcess& process);

    // A server's process: room for at least `descriptors` open files and sockets.
    static void RaiseDescriptorLimit(int descriptors);
};
