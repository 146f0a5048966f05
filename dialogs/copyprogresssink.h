#pragma once

#include "link/progresssink.h"
#include "link/transferprogress.h"

#include <QPointer>

#include <atomic>
#include <mutex>

class CDlgCopyProgress;

// The progress dialog's side of the link: the batch's progress state, shared
// between the transfer worker (UpdateProgress, SetComplete) and the GUI
// thread. The worker only updates the state and, when something visible
// changed and no refresh is pending yet, queues one to the dialog; it never
// waits for the GUI. Made by the dialog; deletes itself after
// WM_TRANSFER_END, which also closes the dialog.
class CCopyProgressSink final : public CProgressSink
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CCopyProgressSink)

public:
    // What the dialog shows.
    struct Snapshot
    {
        QString fileName;
        QString caption;
        QString remaining;
        int position = 0;
        int cancelEnabled = 1;
        int started = 0; // a file has been announced
    };

    CCopyProgressSink(CDlgCopyProgress* pDialog, CTransferProgress::Clock clock);
    ~CCopyProgressSink() override;

    void StartFile(const QString& name, quint64 total, const QString& caption, int enableCancel) override;
    void UpdateProgress(quint64 done) override;
    void SetComplete() override;

    // The dialog's Cancel (GUI thread): the button stays grey until a next
    // file enables it again.
    void DisableCancel();
    Snapshot Take() const;

protected:
    void TransferEnded(int wParam) override;

private:
    // Any thread: have the dialog show the state, at most one refresh queued.
    void RequestRefresh();

    QPointer<CDlgCopyProgress> m_pDialog; // GUI thread only
    mutable std::mutex m_lock;
    CTransferProgress m_progress; // under m_lock
    int m_bStarted = 0;           // under m_lock
    std::atomic<bool> m_bRefreshQueued{false};
};
