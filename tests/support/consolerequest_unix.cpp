#include "tests/support/consolerequest.h"

#include <csignal>

bool SendConsoleRequest(CConsole::Request request)
{
    return ::raise(request == CConsole::Request::Interrupt ? SIGINT : SIGTERM) == 0;
}

void LeaveConsole() {}
