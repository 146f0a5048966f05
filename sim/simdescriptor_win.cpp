#include "sim/simdescriptor.h"

#include <winsock2.h>

void CloseSimDescriptor(qintptr descriptor)
{
    ::closesocket(static_cast<SOCKET>(descriptor));
}
