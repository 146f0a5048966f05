#pragma once

#include "link/linkhost.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <mutex>

// The device link's host in a mount: nobody watches a mount, so what the link
// would show becomes the text of the request's failure (kept until taken),
// questions are answered Cancel, and the progress of a transfer tells the
// broker that the generator is still moving data.
class CMountLinkHost final : public CLinkHost
{
public:
    explicit CMountLinkHost(std::function<void()> progressed);

    int ShowMessageBox(const QString& text, int style, const QString& caption = QString()) override;
    void Beep() override {}
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void SetStatusTexts(const QString&, const QString&) override {}
    void ClearViews() override {}
    CProgressSink* CreateProgressSink() override;
    QObject* TransferReceiver() override { return m_pReceiver; }

    // The transfer chain of the batch under way, null between batches.
    void SetTransferReceiver(QObject* receiver) { m_pReceiver = receiver; }

    // What the link said since the last call, one message a line.
    QString TakeMessages();

    // The transfer's figures (any thread).
    void Progressed() { m_progressed(); }
    void FileStarted() { m_bComplete = false; }
    void FileComplete() { m_bComplete = true; }
    // The last file of the batch arrived whole.
    bool Complete() const { return m_bComplete; }

private:
    std::function<void()> m_progressed;
    QObject* m_pReceiver = nullptr;
    std::mutex m_mutex;
    QStringList m_messages;
    std::atomic<bool> m_bComplete{false};
};
