#pragma once

#include "linkhost.h"

#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>

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

    int MessageBox(const QString& text, int style, const QString& caption = QString()) override;
    void Beep() override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void SetStatusTexts(const QString& objects, const QString& memory) override;
    void ClearViews() override;

    void QueueAnswer(int answer);
    QList<Message> Messages() const;
    QStringList MessageTexts() const;
    void ClearMessages();
    int BeepCount() const;
    int WaitCursorDepth() const;
    int ClearViewsCount() const;
    QString ObjectsText() const;
    QString MemoryText() const;

private:
    mutable QMutex m_mutex;
    QList<int> m_answers;
    QList<Message> m_messages;
    int m_beeps = 0;
    int m_waitDepth = 0;
    int m_clearViews = 0;
    QString m_objects;
    QString m_memory;
};
