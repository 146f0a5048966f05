#pragma once

#include <QEvent>

#include <atomic>

// The messages of a transfer batch. Their numbers are fixed (1024 + n) and all
// fall inside Qt's user event range.
// WM_USER is a macro of the Windows headers, with the same value.
#ifndef WM_USER
inline constexpr int WM_USER = 0x0400;
#endif
static_assert(WM_USER == 1024);

enum : int
{
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
    CLinkEvent(int message, int wParam) : QEvent(static_cast<QEvent::Type>(message)), m_wParam(wParam)
    {
        s_fence.fetch_add(1, std::memory_order_release);
    }
    int WParam() const { return m_wParam; }

    // Workers post these events; Qt hands them over through locks inside its
    // own libraries, which thread checkers cannot see. A receiver calls this
    // before it looks at an event, so the hand-over is visible to them too.
    static void Received() { s_fence.load(std::memory_order_acquire); }

private:
    int m_wParam;
    static inline std::atomic<int> s_fence{0};
};
