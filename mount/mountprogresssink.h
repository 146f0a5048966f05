#pragma once

#include "link/progresssink.h"

class CMountLinkHost;

// A batch's progress in a mount: no display, only whether the file arrived
// whole and that bytes are moving (the broker's bound counts from the last).
class CMountProgressSink final : public CProgressSink
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CMountProgressSink)

public:
    explicit CMountProgressSink(CMountLinkHost& host);
    ~CMountProgressSink() override;

    void StartFile(const QString& name, quint64 total, const QString& caption, int enableCancel) override;
    void UpdateProgress(quint64 done) override;
    void SetComplete() override;

private:
    CMountLinkHost& m_host;
};
