#pragma once

#include "link/linkhost.h"

// A host without a screen: messages go to stderr and are answered OK.
class CBenchHost final : public CLinkHost
{
public:
    int ShowMessageBox(const QString& text, int style, const QString& caption = QString()) override;
    void Beep() override {}
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void SetStatusTexts(const QString& objects, const QString& memory) override;
    void ClearViews() override {}

    int MessageCount() const { return m_messages; }

private:
    int m_messages = 0;
};
