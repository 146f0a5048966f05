// CTerminalWidth: the width of the error stream's terminal, read again after
// each resize while any watcher lives, whichever one was made first.

#include "cli/terminalwidth.h"

#include <QTest>

#include <memory>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

class TestTerminalWidth : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The error stream on a terminal of our own (a pty); the watcher is
    // replaced the way the console host replaces it, the new one made before
    // the old one ends; then the terminal is resized.
    void replacedWatcher()
    {
#ifndef Q_OS_UNIX
        QSKIP("a terminal that resizes is made here with a Unix pty");
#else
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
        const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
        QVERIFY(terminal >= 0);
        const auto resize = [terminal](unsigned short columns) {
            winsize size = {};
            size.ws_row = 24;
            size.ws_col = columns;
            return ::ioctl(terminal, TIOCSWINSZ, &size) == 0;
        };
        QVERIFY(resize(100));
        const int savedError = ::dup(STDERR_FILENO);
        ::dup2(terminal, STDERR_FILENO);

        auto first = std::make_unique<CTerminalWidth>(CConsole::Stream::Err);
        const int before = first->Columns();
        auto second = std::make_unique<CTerminalWidth>(CConsole::Stream::Err);
        first.reset();
        const bool resized = resize(60) && ::raise(SIGWINCH) == 0;
        const int after = second->Columns();
        second.reset();

        ::dup2(savedError, STDERR_FILENO);
        ::close(savedError);
        ::close(terminal);
        ::close(master);
        QCOMPARE(before, 100);
        QVERIFY(resized);
        QCOMPARE(after, 60);
#endif
    }
};

QTEST_GUILESS_MAIN(TestTerminalWidth)
#include "tst_terminalwidth.moc"
