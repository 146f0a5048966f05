#pragma once

#include "mount/mountoptions.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

class CFuseMount;
class CMountBroker;
class CMountCache;
class CMountFs;
class CMountLog;

// One mount from start to end: the broker connected, the folder checked,
// the cache opened, the folder mounted and served; at the end what is not
// sent yet is sent or told, and the mount point let go.
class CMount final
{
public:
    CMount(const CMountOptions& options, CMountLog& log);
    ~CMount();
    CMount(const CMount&) = delete;
    CMount& operator=(const CMount&) = delete;

    // False after the reason in the log (also when Stop came first).
    bool Start();
    // Serves on the calling thread until the mount is left (fusermount3 -u, Stop).
    void Serve();
    // Any thread, any time: what is not sent yet is sent, then the mount is
    // left. A second call leaves at once.
    void Stop();
    // After Serve: the mount point let go, what is left sent or told; the
    // lines of what could not be sent (empty: nothing is lost).
    QStringList Finish();

    const CMountOptions& Options() const { return m_options; }

private:
    CMountOptions m_options;
    CMountLog& m_log;
    std::unique_ptr<CMountBroker> m_pBroker;
    std::unique_ptr<CMountCache> m_pCache;
    std::unique_ptr<CMountFs> m_pFs;
    std::unique_ptr<CFuseMount> m_pFuse;
    std::mutex m_mutex;
    int m_nStops = 0;
    bool m_bServing = false;
    std::thread m_stopper;
};
