#include "scriptedhost.h"

#include <QMutexLocker>

int CScriptedHost::MessageBox(const QString& text, int style, const QString& caption)
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
