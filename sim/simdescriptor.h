#pragma once
// A socket descriptor outside Qt's hands, closed the platform's way:
// simdescriptor_unix.cpp, simdescriptor_win.cpp.

#include <QtGlobal>

void CloseSimDescriptor(qintptr descriptor);
