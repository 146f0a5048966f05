#pragma once

#include "mount/mountlisting.h"
#include "mount/mountoptions.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class CMountLinkHost;
class CMountLog;
class CVQComm;

// How a request ended: 0 or an errno value, and in words what the generator
// or the link said.
struct CMountResult
{
    int m_nError = 0;
    QString m_strMessage;
    bool Ok() const { return m_nError == 0; }
};

// The one owner of the generator in a mount. The link is not thread-safe and
// the generator takes one command channel or one transfer at a time, so every
// operation of every file-system thread goes through this queue and runs on
// the broker's own thread, one after the other, through the desktop program's
// engines (their pauses between files included). A caller waits for its
// request as long as the broker moves on (requests end, bytes arrive) and no
// longer than the bound without progress: then it gets EIO, and a request
// still queued is dropped. A generator that is gone fails requests at once
// until it is tried again (at most once a second), so a mount recovers when
// it comes back.
class CMountBroker final
{
public:
    enum class Op
    {
        List,         // a folder's catalog
        Fetch,        // a file, whole, to a PC path
        Send,         // a PC file to a generator folder (replacing its namesake)
        MakeFolder,   // mkdir
        RemoveFolder, // rmdir
        Delete,       // a file
        Move,         // an entry to a new path (the target must be free)
    };
    struct CRequest;
    using Ticket = std::shared_ptr<CRequest>;

    CMountBroker(const CMountOptions& options, CMountLog& log);
    ~CMountBroker();
    CMountBroker(const CMountBroker&) = delete;
    CMountBroker& operator=(const CMountBroker&) = delete;

    // Starts the broker's thread, which opens the command channel; false
    // with the link's words when it could not.
    bool Start(QString* error);
    // Ends the thread after the request under way; queued ones fail.
    void Stop();

    // A request to the queue. A listing or a fetch that is the same as one
    // still waiting in the queue is that one: its callers share the result.
    Ticket PostList(const QString& folder);
    Ticket PostFetch(const QString& path, qint64 size, const QString& localPath);
    // Sends the PC file under its own name into `folder`; the result's
    // listing is the folder as it is afterwards.
    Ticket PostSend(const QString& localPath, const QString& folder, qint64 size);
    Ticket PostChange(Op op, const QString& path, const QString& destination = QString());

    // Waits for a request (see the class). `listing`: the folder the request
    // read, when it read one.
    CMountResult Wait(const Ticket& ticket, std::shared_ptr<const CMountListing>* listing = nullptr);
    CMountResult Change(Op op, const QString& path, const QString& destination = QString());

    // Asked while a caller waits: true ends the wait with EINTR (the
    // program that asked was interrupted).
    void SetInterruptCheck(std::function<bool()> check) { m_interrupted = std::move(check); }

private:
    Ticket Post(Ticket ticket, bool joinable);
    void Run(std::function<void(const QString&)> started);
    void Complete(const Ticket& ticket, CMountResult result);
    CMountResult Execute(CRequest& request);
    bool EnsureConnected(CMountResult& result);
    CMountResult ReadFolder(const QString& folder, std::shared_ptr<const CMountListing>& listing);
    CMountResult Fetch(CRequest& request);
    CMountResult Send(CRequest& request);
    CMountResult RunChange(CRequest& request);
    // Runs one batch through the engine until its chain ends; the start's result.
    int RunBatch(const std::function<int()>& start);
    void Progressed();
    static qint64 NowMs();

    CMountOptions m_options;
    CMountLog& m_log;
    std::thread m_thread;
    // Started and connected: requests are taken.
    bool m_bRunning = false;
    // The broker's thread's own, while it runs.
    CVQComm* m_pLink = nullptr;
    CMountLinkHost* m_pHost = nullptr;
    std::mutex m_queueMutex;
    std::condition_variable m_queueChanged;
    std::deque<Ticket> m_queue;
    bool m_bStopping = false;
    std::atomic<qint64> m_nProgressAt{0};
    // The broker's thread only: when a lost generator may be tried again.
    qint64 m_nRetryAt = 0;
    bool m_bLost = false;
    std::function<bool()> m_interrupted;
};
