#pragma once

#include <QString>

class QObject;

// Message box styles and answers, with the values the program has always used.
enum : int
{
    MB_OK = 0x0000,
    MB_OKCANCEL = 0x0001,
    MB_ICONSTOP = 0x0010,
    MB_ICONQUESTION = 0x0020,
    MB_ICONWARNING = 0x0030,
    MB_ICONINFORMATION = 0x0040,
    MB_BUTTONMASK = 0x000F,
    MB_ICONMASK = 0x00F0,
};

enum : int
{
    IDOK = 1,
    IDCANCEL = 2,
};

// Everything the device link needs from whoever runs it: the desktop program,
// the command-line tool or a test. The link never touches widgets itself.
class CLinkHost
{
public:
    virtual ~CLinkHost() = default;

    // Shows a message box captioned with the application title (or `caption`
    // when given) and returns IDOK or IDCANCEL. May be called from a transfer
    // worker thread; the call then waits until the user has answered.
    virtual int MessageBox(const QString& text, int style, const QString& caption = QString()) = 0;
    // The system's error sound.
    virtual void Beep() = 0;
    // Nested calls: the cursor is restored when the last End matches the first Begin.
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
    // The two texts of the status bar: object count and bytes/memory.
    virtual void SetStatusTexts(const QString& objects, const QString& memory) = 0;
    // Empties the folder tree and the file list.
    virtual void ClearViews() = 0;
};

// Shows the wait cursor for as long as it lives.
class CWaitCursor
{
public:
    explicit CWaitCursor(CLinkHost* host) : m_pHost(host)
    {
        if (m_pHost)
            m_pHost->BeginWaitCursor();
    }
    ~CWaitCursor()
    {
        if (m_pHost)
            m_pHost->EndWaitCursor();
    }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    CLinkHost* m_pHost;
};
