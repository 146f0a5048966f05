#include "cli/terminalwidth.h"

CTerminalWidth::CTerminalWidth(CConsole::Stream stream)
    : m_eStream(stream), m_bNotified(CConsole::WatchResizes()), m_nResizes(CConsole::Resizes()),
      m_nColumns(CConsole::Columns(stream))
{
}

CTerminalWidth::~CTerminalWidth()
{
    CConsole::UnwatchResizes();
}

int CTerminalWidth::Columns()
{
    const unsigned resizes = CConsole::Resizes();
    if (!m_bNotified || resizes != m_nResizes) {
        m_nResizes = resizes;
        m_nColumns = CConsole::Columns(m_eStream);
    }
    return m_nColumns;
}
