#pragma once

#include "dialogs/dlgsupport.h"
#include "link/linkhost.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

class CMainFrame;
class CVQComm;

// The desktop program's side of the link: real message boxes, the system beep,
// the wait cursor and the main window's status bar and panes. Every call may
// come from any thread; widgets are only ever touched on the GUI thread, and
// never inside a wait of the command channel.
class CGuiHost final : public QObject, public CLinkHost
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CGuiHost)

public:
    static inline const QString APP_TITLE = vqdlg::APP_TITLE;

    explicit CGuiHost(QObject* parent = nullptr);
    ~CGuiHost() override;

    void SetMainFrame(CMainFrame* pFrame) { m_pFrame = pFrame; }
    // The link the progress dialog cancels.
    void SetComm(CVQComm* pComm) { m_pComm = pComm; }

    int ShowMessageBox(const QString& text, int style, const QString& caption = QString()) override;
    void Beep() override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void SetStatusTexts(const QString& objects, const QString& memory) override;
    void ClearViews() override;
    // The file-kind dialog of `kind`, owned by the main window (GUI thread).
    int ConfirmDownload(FileKind kind, const QString& pcPath) override;
    // The batch's progress dialog, owned by the main window (GUI thread); it
    // shows itself with the first file. Null without a main window: the link
    // then reports to a silent sink.
    CProgressSink* CreateProgressSink() override;
    // The file list's side of a transfer batch.
    QObject* TransferReceiver() override;
    QString ListFolder() override;
    int ListHasItem(const QString& name) override;
    void AbandonQuestions() override;
    // The commands and the status bar follow the channel.
    void ConnectionChanged() override;
    // The window paints while the channel waits, and takes no input.
    void ChannelWaiting() override;

    int WaitCursorDepth() const { return m_nWaitDepth; }

private:
    // A worker's message box, waiting for its answer.
    struct CQuestion
    {
        bool m_bAnswered = false;
        int m_nAnswer = IDCANCEL;
    };
    void Answer(CQuestion& question, int answer);
    int ExecMessageBox(const QString& text, int style, const QString& caption);
    bool OnGuiThread() const;

    QPointer<CMainFrame> m_pFrame;
    CVQComm* m_pComm = nullptr;
    int m_nWaitDepth = 0; // GUI thread only
    std::mutex m_questionLock;
    std::condition_variable m_questionAnswered;
    std::vector<std::shared_ptr<CQuestion>> m_questions;
    std::atomic<bool> m_bAbandoned{false};
};
