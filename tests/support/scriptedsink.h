#pragma once

#include "link/progresssink.h"

class CScriptedHost;

// A progress sink that reports everything to its scripted host.
class CScriptedSink final : public CProgressSink
{
    Q_OBJECT

public:
    explicit CScriptedSink(CScriptedHost* host) : m_pHost(host) {}

    void StartFile(const QString& name, quint64 total, const QString& caption, int enableCancel) override;
    void UpdateProgress(quint64 done) override;
    void SetComplete() override;

protected:
    void TransferEnded(int wParam) override;

private:
    CScriptedHost* m_pHost;
};
