#pragma once

#include <QEvent>

// The messages of a transfer batch. Their numbers are fixed (1024 + n) and all
// fall inside Qt's user event range.
enum : int
{
    WM_USER = 1024,
    WM_TRANSFER_END = WM_USER + 10,
    WM_DOWNLOAD_NEXT = WM_USER + 13,
    WM_DOWNLOAD_DONE = WM_USER + 14,
    WM_UPLOAD_NEXT = WM_USER + 15,
    WM_UPLOAD_DONE = WM_USER + 16,
};

static_assert(WM_TRANSFER_END >= int(QEvent::User) && WM_UPLOAD_DONE <= int(QEvent::MaxUser));

// A transfer message with its one parameter.
class CLinkEvent final : public QEvent
{
public:
    CLinkEvent(int message, int wParam) : QEvent(static_cast<QEvent::Type>(message)), m_wParam(wParam) {}
    int WParam() const { return m_wParam; }

private:
    int m_wParam;
};
