#pragma once

#include "link/fileinfo.h"
#include "link/linkhost.h"

#include <QList>
#include <QMutex>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

// A host for tests: records every message box and answers from a queue
// (IDOK when the queue is empty). Safe to call from worker threads.
class CScriptedHost : public CLinkHost
{
public:
    struct Message
    {
        QString text;
        int style = 0;
        QString caption;
    };

    int ShowMessageBox(const QString& text, int style, const QString& caption = QString()) override;
    void Beep() override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void SetStatusTexts(const QString& objects, const QString& memory) override;
    void ClearViews() override;
    int ConfirmDownload(FileKind kind, const QString& pcPath) override;
    CProgressSink* CreateProgressSink() override;
    QObject* TransferReceiver() override;
    QString ListFolder() override;
    int ListHasItem(const QString& name) override;

    void QueueAnswer(int answer);
    QList<Message> Messages() const;
    QStringList MessageTexts() const;
    void ClearMessages();
    int BeepCount() const;
    int WaitCursorDepth() const;
    int ClearViewsCount() const;
    QString ObjectsText() const;
    QString MemoryText() const;

    // --- transfers ---
    // What the progress sinks of all batches saw.
    struct Progress
    {
        int sinks = 0;        // sinks created
        QList<int> ends;      // wParam of each WM_TRANSFER_END a sink received
        QStringList files;    // StartFile names, in order
        QStringList captions; // StartFile captions
        quint64 lastDone = 0; // the last UpdateProgress
        int completes = 0;    // SetComplete calls
    };
    struct Confirmation
    {
        FileKind kind;
        QString path;
    };
    Progress ProgressRecord() const;
    void ClearProgress();
    // Called on the worker thread from every UpdateProgress (e.g. to press Cancel).
    void SetOnUpdate(std::function<void(quint64 done)> onUpdate);
    void SetTransferReceiver(QObject* receiver) { m_receiver = receiver; }
    void SetList(const QString& folder, const QStringList& items);
    void QueueConfirmAnswer(int answer);
    QList<Confirmation> Confirmations() const;

    // Used by the sinks (any thread).
    void RecordStartFile(const QString& name, const QString& caption);
    void RecordUpdate(quint64 done);
    void RecordComplete();
    void RecordEnd(int wParam);

private:
    mutable QMutex m_mutex;
    Progress m_progress;
    std::function<void(quint64)> m_onUpdate;
    QPointer<QObject> m_receiver;
    QString m_listFolder;
    QStringList m_listItems;
    QList<int> m_confirmAnswers;
    QList<Confirmation> m_confirmations;
    QList<int> m_answers;
    QList<Message> m_messages;
    int m_beeps = 0;
    int m_waitDepth = 0;
    int m_clearViews = 0;
    QString m_objects;
    QString m_memory;
};
