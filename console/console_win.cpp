#include "console/console.h"

#include <QProcess>
#include <QStringView>

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <windows.h>

namespace {

HANDLE Handle(CConsole::Stream stream)
{
    switch (stream) {
    case CConsole::Stream::In:
        return ::GetStdHandle(STD_INPUT_HANDLE);
    case CConsole::Stream::Out:
        return ::GetStdHandle(STD_OUTPUT_HANDLE);
    case CConsole::Stream::Err:
        break;
    }
    return ::GetStdHandle(STD_ERROR_HANDLE);
}

// A console, not a file, a pipe or the NUL device (a character device too).
bool IsConsole(HANDLE handle)
{
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) == FILE_TYPE_CHAR &&
           ::GetConsoleMode(handle, &mode) != 0;
}

bool WriteConsoleText(HANDLE console, QStringView text)
{
    qsizetype done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        const auto chunk = DWORD(std::min<qsizetype>(text.size() - done, 8192));
        if (!::WriteConsoleW(console, text.utf16() + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

// Blanks from the cursor to the end of its line; the cursor stays.
void EraseToLineEnd(HANDLE console)
{
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (!::GetConsoleScreenBufferInfo(console, &info))
        return;
    DWORD written = 0;
    ::FillConsoleOutputCharacterW(console, L' ', DWORD(info.dwSize.X - info.dwCursorPosition.X),
                                  info.dwCursorPosition, &written);
}

// --- requests ------------------------------------------------------------

// Set by the control handler (a thread the system starts for each event),
// taken by WaitRequest.
HANDLE g_requestEvent = nullptr;
HANDLE g_wakeEvent = nullptr;
std::atomic<int> g_interrupts{0};
std::atomic<int> g_terminates{0};
std::atomic<bool> g_caught{false};

BOOL WINAPI OnControl(DWORD type)
{
    if (!g_caught)
        return FALSE;
    if (type == CTRL_C_EVENT)
        ++g_interrupts;
    else
        ++g_terminates;
    ::SetEvent(g_requestEvent);
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
        // The system ends the process when this returns: the program gets the
        // time the system allows to stop as it would on Ctrl+C, and its own
        // end ends this thread.
        ::Sleep(INFINITE);
    }
    return TRUE;
}

// A count taken down by one when it is above 0.
bool TakeOne(std::atomic<int>& count)
{
    int value = count.load();
    while (value > 0) {
        if (count.compare_exchange_weak(value, value - 1))
            return true;
    }
    return false;
}

// --- workers -------------------------------------------------------------

// Every worker is in this job; the system closes its handle when this
// process ends, however it ends, and that ends every process in it.
HANDLE WorkerJob()
{
    static const HANDLE job = [] {
        HANDLE made = ::CreateJobObjectW(nullptr, nullptr);
        if (made) {
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
            ::SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        }
        return made;
    }();
    return job;
}

} // namespace

bool CConsole::IsTerminal(Stream stream)
{
    return IsConsole(Handle(stream));
}

int CConsole::Columns(Stream stream)
{
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    const HANDLE handle = Handle(stream);
    if (!IsConsole(handle) || !::GetConsoleScreenBufferInfo(handle, &info))
        return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

bool CConsole::WatchResizes()
{
    // A console tells of no resize: the width is read each time, which costs little.
    return false;
}

void CConsole::UnwatchResizes() {}

unsigned CConsole::Resizes()
{
    return 0;
}

QString CConsole::ReadLine(const std::atomic<bool>& stop)
{
    const HANDLE input = Handle(Stream::In);
    std::wstring typed;
    for (;;) {
        if (stop)
            return QString();
        // Ctrl+C ends a console read at once: the request then stops the question.
        if (::WaitForSingleObject(input, 50) != WAIT_OBJECT_0)
            continue;
        wchar_t buffer[256];
        DWORD read = 0;
        if (!::ReadConsoleW(input, buffer, DWORD(std::size(buffer)), &read, nullptr) || read == 0)
            return stop ? QString() : QString::fromStdWString(typed);
        typed.append(buffer, read);
        const size_t end = typed.find(L'\n');
        if (end != std::wstring::npos) {
            typed.resize(end);
            if (!typed.empty() && typed.back() == L'\r')
                typed.pop_back();
            return QString::fromStdWString(typed);
        }
    }
}

void CConsole::PrepareStreams()
{
    // File contents go out byte for byte; text gets its line ends from
    // whoever writes it. A console's escapes are left as they are: not every
    // console takes them, and Write does the one the program uses itself.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

bool CConsole::Write(Stream stream, QByteArrayView bytes, bool text)
{
    const HANDLE handle = Handle(stream);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return false;
    if (text && IsConsole(handle)) {
        // A console shows characters, whatever its code page; the erase to
        // the end of the line (ESC [ K) of the progress line is done here,
        // for consoles that would print it.
        const QString all = QString::fromUtf8(bytes);
        const QString erase = QStringLiteral("\x1b[K");
        qsizetype from = 0;
        for (;;) {
            const qsizetype at = all.indexOf(erase, from);
            if (!WriteConsoleText(handle, QStringView(all).sliced(from, (at < 0 ? all.size() : at) - from)))
                return false;
            if (at < 0)
                return true;
            EraseToLineEnd(handle);
            from = at + erase.size();
        }
    }
    qsizetype done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const auto chunk = DWORD(std::min<qsizetype>(bytes.size() - done, 1 << 20));
        if (!::WriteFile(handle, bytes.data() + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

bool CConsole::CatchRequests()
{
    if (g_caught.exchange(true))
        return false;
    g_requestEvent = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    g_wakeEvent = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    g_interrupts = 0;
    g_terminates = 0;
    // A parent that started this process in a group of its own, or that
    // ignores Ctrl+C, leaves it off here too: it is this program's to handle.
    ::SetConsoleCtrlHandler(nullptr, FALSE);
    ::SetConsoleCtrlHandler(OnControl, TRUE);
    return true;
}

void CConsole::ReleaseRequests()
{
    if (!g_caught)
        return;
    ::SetConsoleCtrlHandler(OnControl, FALSE);
    g_caught = false;
    ::CloseHandle(g_wakeEvent);
    ::CloseHandle(g_requestEvent);
    g_wakeEvent = nullptr;
    g_requestEvent = nullptr;
}

CConsole::Request CConsole::WaitRequest(int ms)
{
    if (!g_caught)
        return Request::None;
    for (;;) {
        // An interrupt counted before is served before one more wait.
        if (TakeOne(g_terminates))
            return Request::Terminate;
        if (TakeOne(g_interrupts))
            return Request::Interrupt;
        const HANDLE events[2] = {g_requestEvent, g_wakeEvent};
        const DWORD woken = ::WaitForMultipleObjects(2, events, FALSE, ms < 0 ? INFINITE : DWORD(ms));
        if (woken != WAIT_OBJECT_0)
            return Request::None;
    }
}

void CConsole::PostRequest(Request request)
{
    if (!g_caught || request == Request::None)
        return;
    ++(request == Request::Interrupt ? g_interrupts : g_terminates);
    ::SetEvent(g_requestEvent);
}

void CConsole::WakeRequestWait()
{
    if (g_wakeEvent)
        ::SetEvent(g_wakeEvent);
}

void CConsole::PrepareWorker(QProcess& process)
{
    // The worker shares the console: Ctrl+C reaches it from there as it
    // reaches this process. Its place in the job ends it with this process.
    QObject::connect(&process, &QProcess::started, &process, [&process] {
        const HANDLE job = WorkerJob();
        const HANDLE worker =
            ::OpenProcess(PROCESS_SET_QUOTA | PROCESS_TERMINATE, FALSE, DWORD(process.processId()));
        if (job && worker)
            ::AssignProcessToJobObject(job, worker);
        if (worker)
            ::CloseHandle(worker);
    });
}

void CConsole::InterruptWorker(QProcess& process)
{
    // A worker on this process's console had its Ctrl+C from the console
    // itself (attaching to another console then fails). A program without a
    // console, the window, starts its workers each on a hidden console of its
    // own: the Ctrl+C is sent there, for a moment attached to it. This process
    // ignores it, and keeps ignoring Ctrl+C, which it has no console for; the
    // workers it starts later take theirs back when they install their handler.
    const DWORD worker = DWORD(process.processId());
    if (worker == 0 || !::AttachConsole(worker))
        return;
    ::SetConsoleCtrlHandler(nullptr, TRUE);
    ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    ::FreeConsole();
}

void CConsole::RaiseDescriptorLimit(int descriptors)
{
    // Sockets are handles here, without a per-process table to widen.
    Q_UNUSED(descriptors);
}
