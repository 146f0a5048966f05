#include "mount/mountbroker.h"

#include "link/devicepath.h"
#include "link/socketerror.h"
#include "link/transferchain.h"
#include "link/vqcomm.h"
#include "mount/mountlinkhost.h"
#include "mount/mountlog.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>

#include <cerrno>
#include <chrono>

using namespace Qt::StringLiterals;

namespace {

// A generator that did not answer is tried again after this long; meanwhile
// requests fail at once instead of each waiting for its own time-out.
constexpr qint64 kRetryMs = 1000;
// How often a waiting caller looks at the broker's progress and its own interruption.
constexpr auto kWaitSlice = std::chrono::milliseconds(100);

// The errno value that tells a program what the generator's error queue said.
int ErrnoOfQueueEntry(const QString& entry)
{
    switch (CVQComm::QueueCode(entry)) {
    case -254: // Media full
        return ENOSPC;
    case -256: // File name not found
        return ENOENT;
    case -257: // File name error: a name the generator does not take
        return EINVAL;
    default:
        return EACCES;
    }
}

CMountResult Refused(const QStringList& entries)
{
    return {ErrnoOfQueueEntry(entries.first()), entries.join(u"; "_s)};
}

QString OrSaid(const QString& messages, const QString& otherwise)
{
    return messages.isEmpty() ? otherwise : QString(messages).replace(u'\n', u"; "_s);
}

} // namespace

struct CMountBroker::CRequest
{
    Op m_op = Op::List;
    QString m_strPath;
    QString m_strOther; // the PC path of a fetch or send, the destination of a move
    qint64 m_nSize = 0;

    std::mutex m_mutex;
    std::condition_variable m_doneChanged;
    bool m_bStarted = false;
    bool m_bDone = false;
    int m_nWaiters = 0;
    // Every caller gave up before it ran: it is not run.
    bool m_bAbandoned = false;
    CMountResult m_result;
    std::shared_ptr<const CMountListing> m_pListing;
};

CMountBroker::CMountBroker(const CMountOptions& options, CMountLog& log) : m_options(options), m_log(log) {}

CMountBroker::~CMountBroker()
{
    Stop();
}

qint64 CMountBroker::NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void CMountBroker::Progressed()
{
    m_nProgressAt = NowMs();
}

bool CMountBroker::Start(QString* error)
{
    std::mutex mutex;
    std::condition_variable changed;
    bool answered = false;
    QString failure;
    // A plain thread: its join is a synchronisation every tool sees. Qt
    // gives it an event loop of its own when a batch makes one.
    m_thread = std::thread([this, &mutex, &changed, &answered, &failure] {
        Run([&](const QString& text) {
            const std::lock_guard lock(mutex);
            failure = text;
            answered = true;
            changed.notify_all();
        });
    });
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return answered; });
    if (!failure.isEmpty()) {
        lock.unlock();
        m_thread.join();
        if (error)
            *error = failure;
        return false;
    }
    const std::lock_guard running(m_queueMutex);
    m_bRunning = true;
    return true;
}

void CMountBroker::Stop()
{
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard lock(m_queueMutex);
        m_bStopping = true;
        // A transfer under way ends at once (the last resort: pending writes
        // have been sent or reported by now).
        if (m_pLink)
            m_pLink->CancelTransfer();
    }
    m_queueChanged.notify_all();
    m_thread.join();
}

void CMountBroker::Run(std::function<void(const QString&)> started)
{
    CMountLinkHost host([this] { Progressed(); });
    CVQComm link(&host);
    link.SetHost(m_options.m_strHost);
    link.SetPort(m_options.m_nPort);
    link.SetDelayScale(m_options.m_dDelayScale);
    link.SetShowRefusals(false);
    link.SetUploadPacing(m_options.m_bPacing);
    // A send replaces the file of the same name: that is what saving is.
    link.SetReplaceExisting(true);
    // A transfer that stalls fails well inside a caller's bound.
    link.SetTransferIdleMs(std::max(1000, m_options.m_nBoundMs / 2));
    if (!link.Connect()) {
        started(OrSaid(host.TakeMessages(), u"Cannot connect"_s));
        return;
    }
    {
        const std::lock_guard lock(m_queueMutex);
        m_pLink = &link;
        m_pHost = &host;
    }
    started(QString());

    for (;;) {
        // What the engines left for this thread's event loop (a batch's
        // progress sink deletes itself once its last event is handled).
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        Ticket ticket;
        {
            std::unique_lock lock(m_queueMutex);
            m_queueChanged.wait_for(lock, kWaitSlice, [this] { return !m_queue.empty() || m_bStopping; });
            if (m_bStopping) {
                for (const Ticket& left : m_queue)
                    Complete(left, {EIO, u"the mount is ending"_s});
                m_queue.clear();
                m_pLink = nullptr;
                m_pHost = nullptr;
                break;
            }
            if (m_queue.empty())
                continue;
            ticket = m_queue.front();
            m_queue.pop_front();
        }
        {
            const std::lock_guard lock(ticket->m_mutex);
            if (ticket->m_bAbandoned)
                continue;
            ticket->m_bStarted = true;
        }
        Progressed();
        CMountResult result = Execute(*ticket);
        Progressed();
        Complete(ticket, std::move(result));
    }
}

void CMountBroker::Complete(const Ticket& ticket, CMountResult result)
{
    const std::lock_guard lock(ticket->m_mutex);
    ticket->m_result = std::move(result);
    ticket->m_bDone = true;
    ticket->m_doneChanged.notify_all();
}

CMountBroker::Ticket CMountBroker::Post(Ticket ticket, bool joinable)
{
    {
        const std::lock_guard lock(m_queueMutex);
        if (m_bStopping || !m_bRunning) {
            ticket->m_bDone = true;
            ticket->m_result = {EIO, u"the mount is ending"_s};
            return ticket;
        }
        if (joinable) {
            for (const Ticket& queued : m_queue) {
                // Not started yet: it reads the generator after this call, as
                // this request would.
                if (queued->m_op == ticket->m_op && queued->m_nSize == ticket->m_nSize &&
                    queued->m_strOther == ticket->m_strOther &&
                    queued->m_strPath.compare(ticket->m_strPath, Qt::CaseInsensitive) == 0) {
                    const std::lock_guard queuedLock(queued->m_mutex);
                    if (!queued->m_bAbandoned)
                        return queued;
                }
            }
        }
        m_queue.push_back(ticket);
    }
    m_queueChanged.notify_all();
    return ticket;
}

CMountBroker::Ticket CMountBroker::PostList(const QString& folder)
{
    auto ticket = std::make_shared<CRequest>();
    ticket->m_op = Op::List;
    ticket->m_strPath = folder;
    return Post(ticket, true);
}

CMountBroker::Ticket CMountBroker::PostFetch(const QString& path, qint64 size, const QString& localPath)
{
    auto ticket = std::make_shared<CRequest>();
    ticket->m_op = Op::Fetch;
    ticket->m_strPath = path;
    ticket->m_nSize = size;
    ticket->m_strOther = localPath;
    return Post(ticket, true);
}

CMountBroker::Ticket CMountBroker::PostSend(const QString& localPath, const QString& folder, qint64 size)
{
    auto ticket = std::make_shared<CRequest>();
    ticket->m_op = Op::Send;
    ticket->m_strPath = folder;
    ticket->m_nSize = size;
    ticket->m_strOther = localPath;
    return Post(ticket, false);
}

CMountBroker::Ticket CMountBroker::PostChange(Op op, const QString& path, const QString& destination)
{
    auto ticket = std::make_shared<CRequest>();
    ticket->m_op = op;
    ticket->m_strPath = path;
    ticket->m_strOther = destination;
    return Post(ticket, false);
}

CMountResult CMountBroker::Change(Op op, const QString& path, const QString& destination)
{
    return Wait(PostChange(op, path, destination));
}

CMountResult CMountBroker::Wait(const Ticket& ticket, std::shared_ptr<const CMountListing>* listing)
{
    const qint64 since = NowMs();
    std::unique_lock lock(ticket->m_mutex);
    ++ticket->m_nWaiters;
    CMountResult result;
    for (;;) {
        if (ticket->m_bDone) {
            result = ticket->m_result;
            if (listing)
                *listing = ticket->m_pListing;
            break;
        }
        const qint64 quiet = NowMs() - std::max(since, m_nProgressAt.load());
        if (quiet >= m_options.m_nBoundMs) {
            result = {EIO, u"the generator did not answer for %1 s"_s.arg(m_options.m_nBoundMs / 1000.0)};
            break;
        }
        if (m_interrupted && m_interrupted()) {
            result = {EINTR, u"interrupted"_s};
            break;
        }
        ticket->m_doneChanged.wait_for(lock, kWaitSlice);
    }
    // The last caller to give up takes a request that has not started out of the queue.
    if (--ticket->m_nWaiters == 0 && !ticket->m_bDone && !ticket->m_bStarted)
        ticket->m_bAbandoned = true;
    return result;
}

bool CMountBroker::EnsureConnected(CMountResult& result)
{
    if (NowMs() < m_nRetryAt) {
        result = {EIO, u"the generator does not answer (tried again at most once a second)"_s};
        return false;
    }
    if (m_pLink->IsConnected())
        return true;
    m_pHost->TakeMessages();
    if (m_pLink->Connect())
        return true;
    result = {EIO, OrSaid(m_pHost->TakeMessages(), u"Cannot connect"_s)};
    return false;
}

CMountResult CMountBroker::Execute(CRequest& request)
{
    CMountResult result;
    // A request in the pause after a generator did not answer fails at
    // once; it does not put the next try off.
    const bool tried = NowMs() >= m_nRetryAt;
    SetLastSocketError(SE_NONE);
    if (EnsureConnected(result)) {
        m_pHost->TakeMessages();
        switch (request.m_op) {
        case Op::List: {
            std::shared_ptr<const CMountListing> listing;
            result = ReadFolder(request.m_strPath, listing);
            request.m_pListing = listing;
            break;
        }
        case Op::Fetch:
            result = Fetch(request);
            break;
        case Op::Send:
            result = Send(request);
            break;
        default:
            result = RunChange(request);
            break;
        }
    }
    if (!tried)
        return result;
    // No answer: the channel is gone, or a wait of it failed.
    const bool silent = result.m_nError == EIO && (!m_pLink->IsConnected() || LastSocketError() != SE_NONE);
    if (silent) {
        m_nRetryAt = NowMs() + kRetryMs;
        if (!m_bLost)
            m_log.Line(u"the generator does not answer: "_s + result.m_strMessage);
    } else if (m_bLost) {
        m_log.Line(u"the generator answers again"_s);
    }
    m_bLost = silent;
    return result;
}

CMountResult CMountBroker::ReadFolder(const QString& folder, std::shared_ptr<const CMountListing>& listing)
{
    CVQComm& link = *m_pLink;
    // What was queued before is not this folder's refusal.
    link.DrainEarlierErrors();
    auto read = std::make_shared<CMountListing>();
    CFileInfo entry;
    int more = link.ReadCatalog(folder, entry);
    while (more) {
        read->Add(entry);
        more = link.NextCatalogEntry(entry);
    }
    link.EndCatalog();
    switch (link.LastCatalogEnd()) {
    case CVQComm::CatalogEnd::NoReply:
        return {EIO, OrSaid(m_pHost->TakeMessages(), u"No catalog reply from the generator."_s)};
    case CVQComm::CatalogEnd::Unreadable:
    case CVQComm::CatalogEnd::CutShort:
        // A listing that cannot be read whole is not the folder.
        return {EIO, u"unreadable catalog reply"_s};
    case CVQComm::CatalogEnd::Complete:
        break;
    }
    // A folder change that was refused shows only in the queue (and the
    // catalog is then another folder's).
    QStringList entries;
    if (link.ReadErrorQueue(entries) == CVQComm::QueueEnd::NoReply && entries.isEmpty())
        return {EIO, OrSaid(m_pHost->TakeMessages(), u"No reply from the error queue"_s)};
    if (!entries.isEmpty())
        return Refused(entries);
    read->m_dUsed = link.LastCatalogUsed();
    read->m_dFree = link.LastCatalogFree();
    listing = std::move(read);
    m_log.Detail(u"listed \"%1\" (%2 entries)"_s.arg(folder).arg(listing->Entries().size()));
    return {};
}

int CMountBroker::RunBatch(const std::function<int()>& start)
{
    CTransferChain chain(m_pLink);
    QEventLoop loop;
    bool ended = false;
    QObject::connect(&chain, &CTransferChain::BatchEnded, &loop, [&](int) {
        ended = true;
        loop.quit();
    });
    m_pHost->SetTransferReceiver(&chain);
    const int started = start();
    if (started && !ended)
        loop.exec();
    m_pHost->SetTransferReceiver(nullptr);
    // Refused before anything moved: the link may have closed the channel.
    if (!started && !m_pLink->IsConnected())
        m_pLink->Connect();
    return started;
}

CMountResult CMountBroker::Fetch(CRequest& request)
{
    CVQComm& link = *m_pLink;
    const QString& path = request.m_strPath;
    const QString& target = request.m_strOther;
    if (IsDeviceRoot(DeviceParent(path)))
        return {EPERM, u"nothing is stored directly in \"/F0:/\""_s};
    if (!QDir().mkpath(QFileInfo(target).absolutePath()))
        return {EIO, u"cannot make the cache folder of \"%1\""_s.arg(target)};
    const CFileInfo entry(DeviceName(path), request.m_nSize, 0, false);
    link.ClearUploadQueue();
    link.SetUploadFolder(DeviceParent(path));
    link.QueueUpload(&entry, target);
    m_pHost->FileStarted();
    RunBatch([&] { return link.StartUpload(); });
    const QString said = m_pHost->TakeMessages();
    if (!m_pHost->Complete() || QFileInfo(target).size() != request.m_nSize)
        return {EIO, OrSaid(said, u"the file did not arrive whole"_s)};
    m_log.Detail(u"fetched \"%1\" (%2 bytes)"_s.arg(path).arg(request.m_nSize));
    return {};
}

CMountResult CMountBroker::Send(CRequest& request)
{
    CVQComm& link = *m_pLink;
    const QString& folder = request.m_strPath;
    const QString& source = request.m_strOther;
    const QString name = QFileInfo(source).fileName();
    const QString path = JoinDevicePath(folder, name);
    // What was queued before is not this file's refusal.
    link.DrainEarlierErrors();
    link.TakeSentFiles();
    const int started = RunBatch([&] { return link.PrepareDownload(QStringList{source}, folder); });
    const bool arrived = !link.TakeSentFiles().isEmpty();
    const QString said = m_pHost->TakeMessages();
    if (!started) {
        // The engine's check of the room the generator said it has.
        if (link.MemoryFree() < double(request.m_nSize) && link.IsConnected())
            return {ENOSPC, OrSaid(said, u"Insufficient memory free space in VQ."_s)};
        return {EIO, OrSaid(said, u"not sent"_s)};
    }
    if (!link.IsConnected())
        return {EIO, OrSaid(said, u"the connection ended with the send"_s)};
    // A block the generator refused shows only in its queue.
    QStringList entries;
    if (link.ReadErrorQueue(entries) == CVQComm::QueueEnd::NoReply && entries.isEmpty())
        return {EIO, OrSaid(m_pHost->TakeMessages(), u"No reply from the error queue"_s)};
    if (!entries.isEmpty())
        return Refused(entries);
    if (!arrived)
        return {EIO, OrSaid(said, u"cut short"_s)};
    // Success is what the generator lists afterwards, with the size sent.
    std::shared_ptr<const CMountListing> listing;
    const CMountResult listed = ReadFolder(folder, listing);
    if (!listed.Ok())
        return listed;
    request.m_pListing = listing;
    const CFileInfo* entry = listing->Find(name);
    if (!entry || entry->IsFolder() || entry->GetSize() != request.m_nSize)
        return {EIO, u"not listed with its size after sending"_s};
    m_log.Detail(u"sent \"%1\" (%2 bytes)"_s.arg(path).arg(request.m_nSize));
    return {};
}

CMountResult CMountBroker::RunChange(CRequest& request)
{
    CVQComm& link = *m_pLink;
    const QString& path = request.m_strPath;
    int done = 0;
    QString what;
    switch (request.m_op) {
    case Op::MakeFolder:
        done = link.MakeFolder(path);
        what = u"made folder"_s;
        break;
    case Op::RemoveFolder:
        done = link.RemoveFolder(path);
        what = u"removed folder"_s;
        break;
    case Op::Delete:
        done = link.DeleteEntry(path);
        what = u"deleted"_s;
        break;
    case Op::Move:
        done = link.MoveEntry(path, request.m_strOther);
        what = u"moved to \"%1\""_s.arg(request.m_strOther);
        break;
    default:
        return {EINVAL, u"not a change"_s};
    }
    if (done) {
        m_log.Detail(u"\"%1\": %2"_s.arg(path, what));
        return {};
    }
    const QString refusal = link.LastRefusal();
    if (!refusal.isEmpty())
        return Refused(refusal.split(u'\n'));
    return {EIO, OrSaid(m_pHost->TakeMessages(), u"not done"_s)};
}
