#include "tests/support/scriptedhost.h"

#include "tests/support/scriptedsink.h"

#include <QMutexLocker>

int CScriptedHost::ShowMessageBox(const QString& text, int style, const QString& caption)
{
    QMutexLocker lock(&m_mutex);
    m_messages.append({text, style, caption});
    return m_answers.isEmpty() ? IDOK : m_answers.takeFirst();
}

void CScriptedHost::Beep()
{
    QMutexLocker lock(&m_mutex);
    ++m_beeps;
}

void CScriptedHost::BeginWaitCursor()
{
    QMutexLocker lock(&m_mutex);
    ++m_waitDepth;
}

void CScriptedHost::EndWaitCursor()
{
    QMutexLocker lock(&m_mutex);
    --m_waitDepth;
}

void CScriptedHost::SetStatusTexts(const QString& objects, const QString& memory)
{
    QMutexLocker lock(&m_mutex);
    m_objects = objects;
    m_memory = memory;
}

void CScriptedHost::ClearViews()
{
    QMutexLocker lock(&m_mutex);
    ++m_clearViews;
}

void CScriptedHost::QueueAnswer(int answer)
{
    QMutexLocker lock(&m_mutex);
    m_answers.append(answer);
}

QList<CScriptedHost::Message> CScriptedHost::Messages() const
{
    QMutexLocker lock(&m_mutex);
    return m_messages;
}

QStringList CScriptedHost::MessageTexts() const
{
    QMutexLocker lock(&m_mutex);
    QStringList texts;
    for (const Message& m : m_messages)
        texts.append(m.text);
    return texts;
}

void CScriptedHost::ClearMessages()
{
    QMutexLocker lock(&m_mutex);
    m_messages.clear();
}

int CScriptedHost::BeepCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_beeps;
}

int CScriptedHost::WaitCursorDepth() const
{
    QMutexLocker lock(&m_mutex);
    return m_waitDepth;
}

int CScriptedHost::ClearViewsCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_clearViews;
}

QString CScriptedHost::ObjectsText() const
{
    QMutexLocker lock(&m_mutex);
    return m_objects;
}

QString CScriptedHost::MemoryText() const
{
    QMutexLocker lock(&m_mutex);
    return m_memory;
}

int CScriptedHost::ConfirmDownload(FileKind kind, const QString& pcPath)
{
    QMutexLocker lock(&m_mutex);
    m_confirmations.append({kind, pcPath});
    return m_confirmAnswers.isEmpty() ? IDOK : m_confirmAnswers.takeFirst();
}

CProgressSink* CScriptedHost::CreateProgressSink()
{
    {
        QMutexLocker lock(&m_mutex);
        ++m_progress.sinks;
    }
    return new CScriptedSink(this); // deletes itself when the batch ends
}

QObject* CScriptedHost::TransferReceiver()
{
    return m_receiver;
}

QString CScriptedHost::ListFolder()
{
    QMutexLocker lock(&m_mutex);
    return m_listFolder;
}

int CScriptedHost::ListHasItem(const QString& name)
{
    QMutexLocker lock(&m_mutex);
    return m_listItems.contains(name, Qt::CaseInsensitive) ? 1 : 0;
}

CScriptedHost::Progress CScriptedHost::ProgressRecord() const
{
    QMutexLocker lock(&m_mutex);
    return m_progress;
}

void CScriptedHost::ClearProgress()
{
    QMutexLocker lock(&m_mutex);
    m_progress = Progress();
    m_confirmations.clear();
    m_confirmAnswers.clear();
}

void CScriptedHost::SetOnUpdate(std::function<void(quint64)> onUpdate)
{
    QMutexLocker lock(&m_mutex);
    m_onUpdate = std::move(onUpdate);
}

void CScriptedHost::SetList(const QString& folder, const QStringList& items)
{
    QMutexLocker lock(&m_mutex);
    m_listFolder = folder;
    m_listItems = items;
}

void CScriptedHost::QueueConfirmAnswer(int answer)
{
    QMutexLocker lock(&m_mutex);
    m_confirmAnswers.append(answer);
}

QList<CScriptedHost::Confirmation> CScriptedHost::Confirmations() const
{
    QMutexLocker lock(&m_mutex);
    return m_confirmations;
}

void CScriptedHost::RecordStartFile(const QString& name, const QString& caption)
{
    QMutexLocker lock(&m_mutex);
    m_progress.files.append(name);
    m_progress.captions.append(caption);
}

void CScriptedHost::RecordUpdate(quint64 done)
{
    std::function<void(quint64)> onUpdate;
    {
        QMutexLocker lock(&m_mutex);
        m_progress.lastDone = done;
        onUpdate = m_onUpdate;
    }
    if (onUpdate)
        onUpdate(done);
}

void CScriptedHost::RecordComplete()
{
    QMutexLocker lock(&m_mutex);
    ++m_progress.completes;
}

void CScriptedHost::RecordEnd(int wParam)
{
    QMutexLocker lock(&m_mutex);
    m_progress.ends.append(wParam);
}
