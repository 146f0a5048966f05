#pragma once

#include "cli/ctlsync.h"
#include "sync/watchsettle.h"

class CCtlSession;

// sync --watch: after the first sync, the PC folder is looked at a few times
// a second, and each change, once it has settled (CWatchSettle), goes to the
// generator in a pass of the same sync; files still being written, and
// editors' files in the making, stay as they are on both sides. Ctrl+C ends
// it between passes, or a pass as it ends any sync.
class CCtlWatch final
{
public:
    static constexpr int POLL_MS = 250;
    // A file is taken once it has stayed as it is this long.
    static constexpr int SETTLE_MS = 1000;
    // After a pass that failed (the generator gone, say), the next waits this long.
    static constexpr int RETRY_MS = 3000;

    CCtlWatch(CCtlSession& session, const CCtlSyncOptions& options);
    CCtlWatch(const CCtlWatch&) = delete;
    CCtlWatch& operator=(const CCtlWatch&) = delete;

    // Watches `pcFolder` until Ctrl+C; the sync into `folder` has run once.
    int Run(const QString& pcFolder, const QString& folder);

private:
    // The tree as a pass would take it; false (and nothing) when it cannot be read now.
    bool Look(const QString& pcFolder, CWatchSettle::Snapshot& snapshot) const;
    void Wait(int ms) const;

    CCtlSession& m_session;
    CCtlSyncOptions m_options;
};
