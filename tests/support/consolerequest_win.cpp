#include "tests/support/consolerequest.h"

#include <windows.h>

bool SendConsoleRequest(CConsole::Request request)
{
    return ::GenerateConsoleCtrlEvent(
               request == CConsole::Request::Interrupt ? CTRL_C_EVENT : CTRL_BREAK_EVENT, 0) != 0;
}

void LeaveConsole()
{
    ::FreeConsole();
}
