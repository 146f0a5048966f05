#pragma once

#include "console/console.h"

// Sends this process `request` the way the system delivers it: a signal, on
// Windows a console control event to every process of its console. False
// when it cannot be sent here (on Windows: no console).
bool SendConsoleRequest(CConsole::Request request);

// This process gives up its console, as a windowed program has none, so the
// workers it starts get consoles of their own (Windows; elsewhere nothing).
void LeaveConsole();
