#include "bench/benchhost.h"

#include <cstdio>

int CBenchHost::ShowMessageBox(const QString& text, int style, const QString& caption)
{
    Q_UNUSED(style);
    ++m_messages;
    std::fprintf(stderr, "%s%s%s\n", qPrintable(caption), caption.isEmpty() ? "" : ": ", qPrintable(text));
    return IDOK;
}

void CBenchHost::SetStatusTexts(const QString& objects, const QString& memory)
{
    std::fprintf(stderr, "status: %s | %s\n", qPrintable(objects), qPrintable(memory));
}
