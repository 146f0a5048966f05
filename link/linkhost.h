#pragma once

#include <QString>

class QObject;
class CProgressSink;
enum FileKind : int;

// Message box styles and answers, with the values the program has always used.
// They are the values of the Windows headers, which define most of these names
// as macros: where those came first, theirs stand in for ours.
#ifndef MB_OK
inline constexpr int MB_OK = 0x0000;
#endif
#ifndef MB_OKCANCEL
inline constexpr int MB_OKCANCEL = 0x0001;
#endif
#ifndef MB_ICONSTOP
inline constexpr int MB_ICONSTOP = 0x0010;
#endif
#ifndef MB_ICONQUESTION
inline constexpr int MB_ICONQUESTION = 0x0020;
#endif
#ifndef MB_ICONWARNING
inline constexpr int MB_ICONWARNING = 0x0030;
#endif
#ifndef MB_ICONINFORMATION
inline constexpr int MB_ICONINFORMATION = 0x0040;
#endif
#ifndef MB_ICONMASK
inline constexpr int MB_ICONMASK = 0x00F0;
#endif
inline constexpr int MB_BUTTONMASK = 0x000F;
#ifndef IDOK
inline constexpr int IDOK = 1;
#endif
#ifndef IDCANCEL
inline constexpr int IDCANCEL = 2;
#endif
static_assert(MB_OK == 0 && MB_OKCANCEL == 1 && MB_ICONSTOP == 0x10 && MB_ICONQUESTION == 0x20 &&
              MB_ICONWARNING == 0x30 && MB_ICONINFORMATION == 0x40 && MB_ICONMASK == 0xF0 && IDOK == 1 &&
              IDCANCEL == 2);

// Everything the device link needs from whoever runs it: the desktop program,
// the command-line tool or a test. The link never touches widgets itself.
class CLinkHost
{
public:
    virtual ~CLinkHost() = default;

    // Shows a message box captioned with the application title (or `caption`
    // when given) and returns IDOK or IDCANCEL. May be called from a transfer
    // worker thread; the call then waits until the user has answered.
    virtual int ShowMessageBox(const QString& text, int style, const QString& caption = QString()) = 0;
    // The system's error sound.
    virtual void Beep() = 0;
    // Nested calls: the cursor is restored when the last End matches the first Begin.
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
    // The two texts of the status bar: object count and bytes/memory.
    virtual void SetStatusTexts(const QString& objects, const QString& memory) = 0;
    // Empties the folder tree and the file list.
    virtual void ClearViews() = 0;

    // --- transfers (GUI thread unless said otherwise) ---

    // Asks the user to confirm sending the PC file `pcPath` as a file of
    // `kind` (the file-kind dialogs). IDOK sends it, anything else stops the
    // batch before a byte is sent. Default: confirmed without asking.
    virtual int ConfirmDownload(FileKind /*kind*/, const QString& /*pcPath*/) { return IDOK; }
    // A new progress sink for one batch (see CProgressSink: it deletes itself
    // after WM_TRANSFER_END). Default null: the link uses a silent one.
    virtual CProgressSink* CreateProgressSink() { return nullptr; }
    // The object that receives the batch's chain events (WM_UPLOAD_DONE,
    // WM_DOWNLOAD_DONE, the NEXT messages, WM_TRANSFER_END): normally a
    // CTransferChain living on the GUI thread. Null: no batch can start.
    virtual QObject* TransferReceiver() { return nullptr; }
    // The folder the file list shows, empty when there is no file list (the
    // command-line tool); a download into this folder tests names against the
    // list's items instead of reading the catalog again.
    virtual QString ListFolder() { return QString(); }
    // 1 when the file list holds an item of this name (whole name, case ignored).
    virtual int ListHasItem(const QString& /*name*/) { return 0; }

    // The command channel opened or closed (GUI thread): what depends on it
    // is looked at again.
    virtual void ConnectionChanged() {}
    // The command channel is waiting for the generator (GUI thread, between
    // the slices of the wait): the window may paint meanwhile, but nothing
    // may take input or use the link (see CChannelWait).
    virtual void ChannelWaiting() {}

    // The program is closing: every question a worker has asked and not yet
    // had answered, and every later one, is answered IDCANCEL without being
    // shown, so that the worker ends and can be joined.
    virtual void AbandonQuestions() {}
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
