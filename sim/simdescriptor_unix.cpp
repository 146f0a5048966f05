#include "sim/simdescriptor.h"

#include <unistd.h>

void CloseSimDescriptor(qintptr descriptor)
{
    ::close(static_cast<int>(descriptor));
}
