#include "dialogs/copyprogresssink.h"

#include "dialogs/dlgcopyprogress.h"

#include <QThread>

CCopyProgressSink::CCopyProgressSink(CDlgCopyProgress* pDialog, CTransferProgress::Clock clock)
    : m_pDialog(pDialog), m_progress(std::move(clock))
{
}

CCopyProgressSink::~CCopyProgressSink() = default;

void CCopyProgressSink::StartFile(const QString& name, quint64 total, const QString& caption,
                                  int enableCancel)
{
    {
        std::lock_guard lock(m_lock);
        m_progress.StartFile(name, total, caption, enableCancel);
        m_bStarted = 1;
    }
    RequestRefresh();
}

void CCopyProgressSink::UpdateProgress(quint64 done)
{
    bool changed = false;
    {
        std::lock_guard lock(m_lock);
        changed = m_progress.UpdateProgress(done);
    }
    if (changed)
        RequestRefresh();
}

void CCopyProgressSink::SetComplete()
{
    {
        std::lock_guard lock(m_lock);
        m_progress.SetComplete();
    }
    RequestRefresh();
}

void CCopyProgressSink::DisableCancel()
{
    std::lock_guard lock(m_lock);
    m_progress.SetCancelEnabled(0);
}

CCopyProgressSink::Snapshot CCopyProgressSink::Take() const
{
    std::lock_guard lock(m_lock);
    return {m_progress.FileName(), m_progress.Caption(),       m_progress.RemainingText(),
            m_progress.Position(), m_progress.CancelEnabled(), m_bStarted};
}

void CCopyProgressSink::RequestRefresh()
{
    if (QThread::currentThread() == thread()) {
        m_bRefreshQueued = false;
        if (m_pDialog)
            m_pDialog->Refresh();
        return;
    }
    // The dialog reads the newest state when the refresh runs, so one queued
    // refresh covers every change until then.
    if (m_bRefreshQueued.exchange(true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_bRefreshQueued = false;
            if (m_pDialog)
                m_pDialog->Refresh();
        },
        Qt::QueuedConnection);
}

void CCopyProgressSink::TransferEnded(int /*wParam*/)
{
    // The base has passed the message on to the file list already.
    if (m_pDialog)
        m_pDialog->EndTransfer();
}
