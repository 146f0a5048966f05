#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

// Where a transfer batch reports its progress: the GUI's progress dialog, the
// command-line tool's progress line, a test's recorder. The link gets one per
// batch from CLinkHost::CreateProgressSink.
//
// StartFile runs on the GUI thread; UpdateProgress and SetComplete run on the
// transfer worker thread, so implementations must be thread-safe and must
// never block the worker on the GUI thread (queue the update, keep the latest
// value). The base class does nothing for them.
//
// When the batch is over the link posts WM_TRANSFER_END to the sink. The sink
// posts the same message and wParam on to its receiver (the transfer chain),
// calls TransferEnded and then deletes itself. The link does not use its
// pointer after posting that message.
class CProgressSink : public QObject
{
    Q_OBJECT

public:
    explicit CProgressSink(QObject* parent = nullptr);
    ~CProgressSink() override;

    virtual void StartFile(const QString& name, quint64 total, const QString& caption, int enableCancel);
    virtual void UpdateProgress(quint64 done);
    virtual void SetComplete();

    // The object WM_TRANSFER_END is passed on to.
    void SetReceiver(QObject* receiver) { m_receiver = receiver; }
    QObject* Receiver() const { return m_receiver; }

protected:
    // The batch is over (GUI thread): a dialog closes its window here.
    virtual void TransferEnded(int wParam);
    bool event(QEvent* e) override;

private:
    QPointer<QObject> m_receiver;
};
