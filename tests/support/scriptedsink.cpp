#include "tests/support/scriptedsink.h"

#include "tests/support/scriptedhost.h"

void CScriptedSink::StartFile(const QString& name, quint64, const QString& caption, int)
{
    m_pHost->RecordStartFile(name, caption);
}

void CScriptedSink::UpdateProgress(quint64 done)
{
    m_pHost->RecordUpdate(done);
}

void CScriptedSink::SetComplete()
{
    m_pHost->RecordComplete();
}

void CScriptedSink::TransferEnded(int wParam)
{
    m_pHost->RecordEnd(wParam);
}
