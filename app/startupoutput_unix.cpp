#include "app/startupoutput.h"

#include <cstdio>

void WriteStartupText(const QString& text, bool error)
{
    std::fputs(text.toLocal8Bit().constData(), error ? stderr : stdout);
}
