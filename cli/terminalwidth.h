#pragma once

#include "console/console.h"

// The width of the terminal on a standard stream, read again after the
// terminal has been resized while an instance lives. 0 when the stream is no
// terminal. Any number may live at once, in any order.
class CTerminalWidth final
{
public:
    explicit CTerminalWidth(CConsole::Stream stream);
    ~CTerminalWidth();
    CTerminalWidth(const CTerminalWidth&) = delete;
    CTerminalWidth& operator=(const CTerminalWidth&) = delete;

    int Columns();

private:
    CConsole::Stream m_eStream;
    bool m_bNotified = false; // false: the platform tells of no resize
    unsigned m_nResizes = 0;
    int m_nColumns = 0;
};
