#pragma once

#include <atomic>

// The width of the terminal on a descriptor, read again after the terminal
// has been resized (SIGWINCH) while an instance lives. 0 when the descriptor
// is no terminal.
class CTerminalWidth final
{
public:
    explicit CTerminalWidth(int fd);
    ~CTerminalWidth();
    CTerminalWidth(const CTerminalWidth&) = delete;
    CTerminalWidth& operator=(const CTerminalWidth&) = delete;

    int Columns();

private:
    int Read() const;

    int m_fd;
    int m_columns = 0;
    bool m_watching = false;
};
