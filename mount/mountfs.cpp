#include "mount/mountfs.h"

#include "link/devicepath.h"
#include "link/fileinfo.h"
#include "link/vqcomm.h"
#include "mount/mountcache.h"
#include "mount/mountlisting.h"
#include "mount/mountlog.h"
#include "mount/mountname.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// A file the mount holds bytes of, or knows more of than the generator's
// listing says.
struct CMountFs::CNode
{
    QString m_strPath;  // the generator path, in the letter case the generator keeps
    QString m_strLocal; // the PC file of its bytes
    bool m_bPcOnly = false;
    bool m_bHaveLocal = false;
    // The generator has a file at this path (a new file has none until sent).
    bool m_bOnGenerator = false;
    // The generator's file here was renamed to a PC-only name and not yet
    // replaced: the mount shows it gone, the generator still has it.
    bool m_bHidden = false;
    // The local bytes are not on the generator yet.
    bool m_bDirty = false;
    // Of a clean copy: the size the generator gave it.
    qint64 m_nCopySize = -1;
    // Counts the changes of the local bytes; the count the last send began with.
    quint64 m_nGeneration = 0;
    quint64 m_nSentGeneration = 0;
    int m_nHandles = 0;
    int m_nWriters = 0;
    bool m_bUnlinked = false;
    // A PC-only copy of a hidden generator file: that file, and the
    // generation the copy began with.
    QString m_strOrigin;
    quint64 m_nOriginGeneration = 0;
    CMountBroker::Ticket m_fetch;
    std::mutex m_sendMutex;

    // What programs see of this path is the local file, not the listing.
    bool LocalIsShown() const
    {
        return m_bHaveLocal && (m_bPcOnly || !m_bOnGenerator || m_bHidden || m_bDirty || m_nWriters > 0);
    }
};

struct CMountFs::CHandle
{
    NodePtr m_node;
    int m_nFd = -1;
    bool m_bWrite = false;
    bool m_bAppend = false;
    // Bytes were written through it since it last sent the file.
    bool m_bWrote = false;
};

struct CMountFs::CFolder
{
    qint64 m_nReadAtMs = 0;
    int m_nError = 0;
    std::shared_ptr<const CMountListing> m_pListing;
};

// What a path is now, as programs see it.
struct CMountFs::CSeen
{
    // 0 when there is something, else what the program is told.
    int Missing() const { return m_kind == Kind::Error ? m_nError : m_kind == Kind::None ? -ENOENT : 0; }

    enum class Kind
    {
        Error,     // the folder could not be read: m_nError
        None,      // nothing there
        PcOnly,    // a file kept on the PC
        Staged,    // a file whose bytes are on the PC only so far
        Generator, // a generator entry (m_entry), maybe with a node
    };
    Kind m_kind = Kind::None;
    int m_nError = 0;
    NodePtr m_node;
    CFileInfo m_entry;
    QString m_strStored; // the path in the letter case the generator keeps
};

namespace {

qint64 SteadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A package is taken in under a name of the generator's own, never saved under its name.
bool IsPackage(const QString& path)
{
    return FileKindFromName(DeviceName(path)) == KIND_DOWNLOAD;
}

QString ErrnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool InFolder(const QString& path, const QString& folder)
{
    return DeviceParent(path).compare(folder, Qt::CaseInsensitive) == 0;
}

bool IsBelow(const QString& path, const QString& folder)
{
    return path.startsWith(folder + u'/', Qt::CaseInsensitive);
}

} // namespace

CMountFs::CMountFs(const CMountOptions& options, CMountBroker& broker, CMountCache& cache, CMountLog& log)
    : m_options(options), m_broker(broker), m_cache(cache), m_log(log),
      m_nMountTime(QDateTime::currentSecsSinceEpoch())
{
}

CMountFs::~CMountFs()
{
    for (const auto& handle : std::as_const(m_handles))
        ::close(handle->m_nFd);
}

qint64 CMountFs::NowSeconds() const
{
    return QDateTime::currentSecsSinceEpoch();
}

qint64 CMountFs::TimeOfLocked(const QString& path) const
{
    return m_times.value(Key(path), m_nMountTime);
}

int CMountFs::Refuse(int error, const QString& text)
{
    m_log.Line(text);
    return -error;
}

// --- listings --------------------------------------------------------------

std::shared_ptr<const CMountListing> CMountFs::Folder(const QString& folder, int& error, bool fresh)
{
    quint64 epoch = 0;
    {
        const std::lock_guard lock(m_mutex);
        const auto it = m_folders.constFind(Key(folder));
        if (!fresh && it != m_folders.cend() && SteadyMs() - it->m_nReadAtMs < m_options.m_nListingMs) {
            error = it->m_nError;
            return it->m_pListing;
        }
        epoch = m_folderEpochs.value(Key(folder));
    }
    std::shared_ptr<const CMountListing> listing;
    const CMountResult result = m_broker.Wait(m_broker.PostList(folder), &listing);
    const std::lock_guard lock(m_mutex);
    // A change of the folder since this read was asked for makes it old.
    const bool current = m_folderEpochs.value(Key(folder)) == epoch;
    if (current && result.Ok()) {
        StoreFolderLocked(folder, listing);
    } else if (current && result.m_nError == ENOENT) {
        m_folders.insert(Key(folder), {SteadyMs(), -ENOENT, nullptr});
    } else if (!result.Ok() && result.m_nError != EINTR && result.m_nError != ENOENT) {
        m_log.Detail(u"cannot list \"%1\": %2"_s.arg(folder, result.m_strMessage));
    }
    error = result.Ok() ? 0 : -result.m_nError;
    return result.Ok() ? listing : nullptr;
}

void CMountFs::StoreFolderLocked(const QString& folder, std::shared_ptr<const CMountListing> listing)
{
    if (listing)
        m_folders.insert(Key(folder), {SteadyMs(), 0, std::move(listing)});
}

void CMountFs::ForgetFolderLocked(const QString& folder)
{
    m_folders.remove(Key(folder));
    ++m_folderEpochs[Key(folder)];
}

CMountFs::CSeen CMountFs::See(const QString& path)
{
    CSeen seen;
    {
        const std::lock_guard lock(m_mutex);
        seen.m_node = m_nodes.value(Key(path));
        if (const CNode* node = seen.m_node.get()) {
            if (node->m_bHaveLocal && node->m_bPcOnly) {
                seen.m_kind = CSeen::Kind::PcOnly;
            } else if (node->m_bHaveLocal && (!node->m_bOnGenerator || node->m_bHidden)) {
                seen.m_kind = CSeen::Kind::Staged;
            } else if (node->m_bHidden) {
                seen.m_kind = CSeen::Kind::None;
            }
            if (seen.m_kind != CSeen::Kind::None || node->m_bHidden) {
                seen.m_strStored = node->m_strPath;
                return seen;
            }
        }
    }
    int error = 0;
    const auto listing = Folder(DeviceParent(path), error);
    if (!listing) {
        seen.m_kind = CSeen::Kind::Error;
        seen.m_nError = error;
        return seen;
    }
    if (const CFileInfo* entry = listing->Find(DeviceName(path))) {
        seen.m_kind = CSeen::Kind::Generator;
        seen.m_entry = *entry;
        seen.m_strStored = JoinDevicePath(DeviceParent(path), entry->GetName());
    }
    return seen;
}

// --- nodes -----------------------------------------------------------------

CMountFs::NodePtr CMountFs::NodeForLocked(const QString& storedPath)
{
    NodePtr& node = m_nodes[Key(storedPath)];
    if (!node) {
        node = std::make_shared<CNode>();
        node->m_strPath = storedPath;
        node->m_strLocal = m_cache.CopyPath(storedPath);
        node->m_bOnGenerator = true;
    }
    return node;
}

void CMountFs::DropLocalLocked(const NodePtr& node)
{
    // An open file keeps its bytes until it is closed.
    node->m_bUnlinked = true;
    if (node->m_bHaveLocal)
        QFile::remove(node->m_strLocal);
    node->m_bHaveLocal = false;
    const auto it = m_nodes.constFind(Key(node->m_strPath));
    if (it != m_nodes.cend() && it.value() == node)
        m_nodes.erase(it);
}

void CMountFs::SavePendingLocked()
{
    QStringList lines;
    for (const NodePtr& node : std::as_const(m_nodes)) {
        if (node->m_bDirty && !node->m_bPcOnly && node->m_bHaveLocal)
            lines.append(node->m_strPath + u'\t' + node->m_strLocal);
    }
    m_cache.SavePending(lines);
}

bool CMountFs::FolderHasLocalLocked(const QString& folder) const
{
    for (const NodePtr& node : m_nodes) {
        if ((IsBelow(node->m_strPath, folder)) &&
            (node->LocalIsShown() || node->m_nHandles > 0 || node->m_bHidden))
            return true;
    }
    return false;
}

int CMountFs::EnsureCopy(const QString& storedPath, qint64 size)
{
    for (int attempt = 0;; ++attempt) {
        NodePtr node;
        CMountBroker::Ticket ticket;
        {
            const std::lock_guard lock(m_mutex);
            node = NodeForLocked(storedPath);
            // Bytes not sent yet, or open elsewhere, are what programs see.
            if (node->m_bHaveLocal && (node->m_bDirty || node->m_nHandles > 0 || node->m_nCopySize == size) &&
                QFileInfo::exists(node->m_strLocal))
                return 0;
            if (!node->m_fetch)
                node->m_fetch = m_broker.PostFetch(storedPath, size, node->m_strLocal);
            ticket = node->m_fetch;
        }
        const CMountResult result = m_broker.Wait(ticket);
        {
            const std::lock_guard lock(m_mutex);
            if (node->m_fetch == ticket)
                node->m_fetch.reset();
            if (result.Ok() && !node->m_bDirty) {
                node->m_bHaveLocal = true;
                node->m_nCopySize = size;
                m_times.insert(Key(storedPath), NowSeconds());
                return 0;
            }
        }
        if (result.m_nError == EINTR)
            return -EINTR;
        // The file may have changed since it was listed: once more with its new size.
        if (attempt == 0 && result.m_nError == EIO) {
            int error = 0;
            const auto listing = Folder(DeviceParent(storedPath), error, true);
            const CFileInfo* entry = listing ? listing->Find(DeviceName(storedPath)) : nullptr;
            if (entry && !entry->IsFolder() && entry->GetSize() != size) {
                size = entry->GetSize();
                continue;
            }
        }
        return Refuse(result.m_nError ? result.m_nError : EIO,
                      u"cannot read \"%1\": %2"_s.arg(storedPath, result.m_strMessage));
    }
}

int CMountFs::CheckNewPath(const QString& path, const char* what)
{
    if (IsDeviceRoot(DeviceParent(path)))
        return Refuse(EPERM, u"%1 \"%2\": nothing can be placed directly in \"/F0:/\""_s.arg(
                                 QLatin1StringView(what), path));
    const QString problem = NameProblem(DeviceName(path));
    if (!problem.isEmpty())
        return Refuse(EINVAL, u"%1 \"%2\": a name the generator cannot take: %3"_s.arg(
                                  QLatin1StringView(what), path, problem));
    return 0;
}

// --- reading the tree ---------------------------------------------------------

int CMountFs::GetAttr(const QString& path, CMountAttr& attr)
{
    attr = CMountAttr();
    if (path.compare(m_options.m_strFolder, Qt::CaseInsensitive) == 0) {
        attr.m_bFolder = true;
        attr.m_nTime = m_nMountTime;
        return 0;
    }
    {
        const std::lock_guard lock(m_mutex);
        if (const NodePtr node = m_nodes.value(Key(path))) {
            if (node->LocalIsShown()) {
                attr.m_nSize = QFileInfo(node->m_strLocal).size();
                attr.m_nTime = TimeOfLocked(path);
                return 0;
            }
            if (node->m_bHidden)
                return -ENOENT;
        }
    }
    int error = 0;
    const auto listing = Folder(DeviceParent(path), error);
    if (!listing)
        return error;
    const CFileInfo* entry = listing->Find(DeviceName(path));
    if (!entry)
        return -ENOENT;
    attr.m_bFolder = entry->IsFolder();
    attr.m_nSize = entry->IsFolder() ? 0 : entry->GetSize();
    const std::lock_guard lock(m_mutex);
    attr.m_nTime = TimeOfLocked(path);
    return 0;
}

int CMountFs::HandleAttr(quint64 handle, CMountAttr& attr)
{
    const std::lock_guard lock(m_mutex);
    const std::shared_ptr<CHandle> opened = m_handles.value(handle);
    if (!opened)
        return -EBADF;
    struct stat info = {};
    if (::fstat(opened->m_nFd, &info) != 0)
        return -errno;
    attr = CMountAttr();
    attr.m_nSize = info.st_size;
    attr.m_nTime = TimeOfLocked(opened->m_node->m_strPath);
    return 0;
}

int CMountFs::ReadDir(const QString& path, QList<CMountDirEntry>& entries)
{
    int error = 0;
    const auto listing = Folder(path, error);
    if (!listing)
        return error;
    const std::lock_guard lock(m_mutex);
    QHash<QString, NodePtr> here;
    for (const NodePtr& node : std::as_const(m_nodes)) {
        if (InFolder(node->m_strPath, path))
            here.insert(Key(DeviceName(node->m_strPath)), node);
    }
    entries.reserve(listing->Entries().size() + here.size());
    for (const CFileInfo& entry : listing->Entries()) {
        const NodePtr node = here.take(entry.GetUpperName());
        CMountDirEntry shown{entry.GetName(),
                             {entry.IsFolder() != 0, entry.IsFolder() ? 0 : entry.GetSize(), 0}};
        const QString entryPath = JoinDevicePath(path, entry.GetName());
        if (node && node->LocalIsShown() && !entry.IsFolder())
            shown.m_attr.m_nSize = QFileInfo(node->m_strLocal).size();
        else if (node && node->m_bHidden)
            continue;
        shown.m_attr.m_nTime = TimeOfLocked(entryPath);
        entries.append(shown);
    }
    // What is on the PC only so far.
    for (const NodePtr& node : std::as_const(here)) {
        if (node->m_bHaveLocal && (node->m_bPcOnly || !node->m_bOnGenerator || node->m_bHidden))
            entries.append({DeviceName(node->m_strPath),
                            {false, QFileInfo(node->m_strLocal).size(), TimeOfLocked(node->m_strPath)}});
    }
    return 0;
}

int CMountFs::StatFs(double& used, double& freeBytes)
{
    int error = 0;
    const auto listing = Folder(m_options.m_strFolder, error);
    if (!listing)
        return error;
    used = listing->m_dUsed;
    freeBytes = listing->m_dFree;
    return 0;
}

// --- opening, reading, writing --------------------------------------------

int CMountFs::OpenHandle(const NodePtr& node, int flags, bool write, quint64& handle)
{
    // Called with the lock held.
    const QString local = node->m_strLocal;
    if (!QDir().mkpath(QFileInfo(local).absolutePath()))
        return -EIO;
    int openFlags = (write ? O_RDWR : O_RDONLY) | O_CLOEXEC;
    if (write && (flags & O_TRUNC))
        openFlags |= O_TRUNC;
    const int fd = ::open(QFile::encodeName(local).constData(), openFlags | (write ? O_CREAT : 0), 0600);
    if (fd < 0)
        return -errno;
    auto opened = std::make_shared<CHandle>();
    opened->m_node = node;
    opened->m_nFd = fd;
    opened->m_bWrite = write;
    opened->m_bAppend = (flags & O_APPEND) != 0;
    handle = m_nNextHandle++;
    m_handles.insert(handle, opened);
    ++node->m_nHandles;
    if (write) {
        ++node->m_nWriters;
        if (flags & O_TRUNC) {
            node->m_bDirty = true;
            ++node->m_nGeneration;
        }
    }
    return 0;
}

int CMountFs::Open(const QString& path, int flags, quint64& handle)
{
    const bool write = (flags & O_ACCMODE) != O_RDONLY;
    if (write && m_options.m_bReadOnly)
        return -EROFS;
    const CSeen seen = See(path);
    if (const int missing = seen.Missing())
        return missing;
    if (seen.m_kind != CSeen::Kind::Generator) {
        const std::lock_guard lock(m_mutex);
        return OpenHandle(seen.m_node, flags, write, handle);
    }
    if (seen.m_entry.IsFolder())
        return -EISDIR;
    if (write && IsPackage(path))
        return Refuse(EACCES, u"open \"%1\": packages (.DNL) are sent with vq8ctl put, not saved through "
                              "the mount"_s.arg(seen.m_strStored));
    if (write && (flags & O_TRUNC)) {
        // The old bytes are not needed: nothing is fetched.
        const std::lock_guard lock(m_mutex);
        const NodePtr node = NodeForLocked(seen.m_strStored);
        if (node->m_nWriters == 0 && node->m_bHaveLocal) {
            // Programs reading the old bytes keep them.
            QFile::remove(node->m_strLocal);
        }
        node->m_bHaveLocal = true;
        return OpenHandle(node, flags, write, handle);
    }
    if (const int error = EnsureCopy(seen.m_strStored, seen.m_entry.GetSize()))
        return error;
    const std::lock_guard lock(m_mutex);
    const NodePtr node = NodeForLocked(seen.m_strStored);
    if (!node->m_bHaveLocal)
        return -EIO; // gone meanwhile (deleted by another program)
    return OpenHandle(node, flags, write, handle);
}

int CMountFs::Create(const QString& path, int flags, quint64& handle)
{
    if (m_options.m_bReadOnly)
        return -EROFS;
    const QString name = DeviceName(path);
    int error = 0;
    const auto listing = Folder(DeviceParent(path), error);
    if (!listing)
        return error;
    if (IsPcOnlyName(name)) {
        const std::lock_guard lock(m_mutex);
        NodePtr& node = m_nodes[Key(path)];
        if (!node || !node->m_bPcOnly) {
            node = std::make_shared<CNode>();
            node->m_strPath = path;
            node->m_strLocal = m_cache.LocalPath(path);
            node->m_bPcOnly = true;
        }
        node->m_bHaveLocal = true;
        return OpenHandle(node, flags | O_TRUNC, true, handle);
    }
    if (const int refused = CheckNewPath(path, "create"))
        return refused;
    if (IsPackage(path))
        return Refuse(EACCES, u"create \"%1\": packages (.DNL) are sent with vq8ctl put, not saved through "
                              "the mount"_s.arg(path));
    QString stored = path;
    bool onGenerator = false;
    if (const CFileInfo* entry = listing->Find(name)) {
        if (entry->IsFolder())
            return -EISDIR;
        if (flags & O_EXCL) {
            const std::lock_guard lock(m_mutex);
            const NodePtr node = m_nodes.value(Key(path));
            if (!node || !node->m_bHidden)
                return -EEXIST;
        }
        // The generator's name, in its letter case, is the one written.
        stored = JoinDevicePath(DeviceParent(path), entry->GetName());
        onGenerator = true;
    }
    const std::lock_guard lock(m_mutex);
    const NodePtr node = NodeForLocked(stored);
    if (node->m_bPcOnly)
        return -EEXIST;
    if (node->m_nWriters == 0 && node->m_bHaveLocal)
        QFile::remove(node->m_strLocal);
    node->m_bOnGenerator = onGenerator;
    node->m_bHaveLocal = true;
    node->m_bUnlinked = false;
    // Nothing goes to the generator before the file is closed, flushed or synced.
    return OpenHandle(node, flags | O_TRUNC, true, handle);
}

qint64 CMountFs::Read(quint64 handle, char* buffer, qint64 size, qint64 offset)
{
    std::shared_ptr<CHandle> opened;
    {
        const std::lock_guard lock(m_mutex);
        opened = m_handles.value(handle);
    }
    if (!opened)
        return -EBADF;
    const ssize_t n = ::pread(opened->m_nFd, buffer, size_t(size), off_t(offset));
    return n < 0 ? -errno : qint64(n);
}

qint64 CMountFs::Write(quint64 handle, const char* buffer, qint64 size, qint64 offset)
{
    std::shared_ptr<CHandle> opened;
    {
        const std::lock_guard lock(m_mutex);
        opened = m_handles.value(handle);
    }
    if (!opened || !opened->m_bWrite)
        return -EBADF;
    if (opened->m_bAppend) {
        struct stat info = {};
        if (::fstat(opened->m_nFd, &info) != 0)
            return -errno;
        offset = info.st_size;
    }
    bool pcOnly = false;
    {
        const std::lock_guard lock(m_mutex);
        pcOnly = opened->m_node->m_bPcOnly;
    }
    // A block header carries nine digits of length at most.
    if (!pcOnly && offset + size > MAX_DOWNLOAD_SIZE)
        return Refuse(EFBIG, u"write \"%1\": the generator takes files of at most %2 bytes"_s
                                 .arg(opened->m_node->m_strPath)
                                 .arg(MAX_DOWNLOAD_SIZE));
    const ssize_t n = ::pwrite(opened->m_nFd, buffer, size_t(size), off_t(offset));
    if (n < 0)
        return -errno;
    const std::lock_guard lock(m_mutex);
    opened->m_bWrote = true;
    opened->m_node->m_bDirty = true;
    ++opened->m_node->m_nGeneration;
    return qint64(n);
}

int CMountFs::Truncate(const QString& path, qint64 size, const quint64* handle)
{
    if (m_options.m_bReadOnly)
        return -EROFS;
    if (handle) {
        std::shared_ptr<CHandle> opened;
        {
            const std::lock_guard lock(m_mutex);
            opened = m_handles.value(*handle);
        }
        if (!opened)
            return -EBADF;
        if (!opened->m_node->m_bPcOnly && size > MAX_DOWNLOAD_SIZE)
            return -EFBIG;
        if (::ftruncate(opened->m_nFd, off_t(size)) != 0)
            return -errno;
        const std::lock_guard lock(m_mutex);
        opened->m_bWrote = true;
        opened->m_node->m_bDirty = true;
        ++opened->m_node->m_nGeneration;
        return 0;
    }
    // No open file: the new length goes to the generator now.
    quint64 opened = 0;
    if (const int error = Open(path, O_RDWR, opened))
        return error;
    const int truncated = Truncate(path, size, &opened);
    const int sent = truncated ? 0 : Flush(opened, true);
    Release(opened);
    return truncated ? truncated : sent;
}

int CMountFs::Touch(const QString& path)
{
    CMountAttr attr;
    return GetAttr(path, attr);
}

// --- sending ---------------------------------------------------------------

CMountResult CMountFs::SendBytes(const QString& local, const QString& storedPath)
{
    // The bytes as they are now: a program may go on writing meanwhile.
    const QString outbox = m_cache.OutboxPath(storedPath);
    QDir().mkpath(QFileInfo(outbox).absolutePath());
    QFile::remove(outbox);
    if (!QFile::copy(local, outbox))
        return {EIO, u"cannot copy the file to the cache's outbox"_s};
    const qint64 size = QFileInfo(outbox).size();
    if (size > MAX_DOWNLOAD_SIZE) {
        QFile::remove(outbox);
        return {EFBIG, u"the generator takes files of at most %1 bytes"_s.arg(MAX_DOWNLOAD_SIZE)};
    }
    std::shared_ptr<const CMountListing> listing;
    const CMountResult result =
        m_broker.Wait(m_broker.PostSend(outbox, DeviceParent(storedPath), size), &listing);
    QFile::remove(outbox);
    const std::lock_guard lock(m_mutex);
    ForgetFolderLocked(DeviceParent(storedPath));
    StoreFolderLocked(DeviceParent(storedPath), listing);
    if (result.Ok())
        m_times.insert(Key(storedPath), NowSeconds());
    return result;
}

int CMountFs::SendNode(const NodePtr& node, const QString& what)
{
    const std::lock_guard sending(node->m_sendMutex);
    QString path;
    QString local;
    quint64 generation = 0;
    {
        const std::lock_guard lock(m_mutex);
        if (!node->m_bDirty || node->m_bPcOnly || node->m_bUnlinked || !node->m_bHaveLocal)
            return 0;
        path = node->m_strPath;
        local = node->m_strLocal;
        generation = node->m_nGeneration;
        node->m_nSentGeneration = generation;
    }
    const CMountResult result = SendBytes(local, path);
    const std::lock_guard lock(m_mutex);
    if (result.Ok()) {
        // Bytes written meanwhile go with the next close.
        if (node->m_nGeneration == generation)
            node->m_bDirty = false;
        node->m_nCopySize = QFileInfo(local).size();
        node->m_bOnGenerator = true;
        node->m_bHidden = false;
        SavePendingLocked();
        return 0;
    }
    SavePendingLocked();
    m_log.Line(
        u"%1 \"%2\": not sent (%3): %4"_s.arg(what, path, ErrnoText(result.m_nError), result.m_strMessage));
    return -result.m_nError;
}

int CMountFs::Flush(quint64 handle, bool sync)
{
    std::shared_ptr<CHandle> opened;
    {
        const std::lock_guard lock(m_mutex);
        opened = m_handles.value(handle);
        if (!opened)
            return -EBADF;
        // A close of one of several descriptors (a shell's redirection) before
        // anything was written sends nothing: an empty file would replace the
        // generator's before the new bytes come.
        if (!opened->m_bWrite || (!opened->m_bWrote && !sync))
            return 0;
        opened->m_bWrote = false;
    }
    return SendNode(opened->m_node, sync ? u"sync"_s : u"save"_s);
}

int CMountFs::Release(quint64 handle)
{
    NodePtr node;
    {
        const std::lock_guard lock(m_mutex);
        const std::shared_ptr<CHandle> opened = m_handles.take(handle);
        if (!opened)
            return -EBADF;
        ::close(opened->m_nFd);
        node = opened->m_node;
        // A file removed while open has lost its name already: its bytes go with the last handle.
        --node->m_nHandles;
        if (opened->m_bWrite)
            --node->m_nWriters;
        if (!opened->m_bWrite || node->m_nWriters > 0 || !node->m_bDirty || node->m_bPcOnly ||
            node->m_bUnlinked)
            return 0;
    }
    // Changed and never sent since (truncated, or created, without a
    // write): it goes now, when the last descriptor is closed. Nobody hears
    // of a failure here but the log.
    if (node->m_nSentGeneration != node->m_nGeneration)
        SendNode(node, u"save"_s);
    const std::lock_guard lock(m_mutex);
    if (node->m_nHandles == 0)
        KeepUnsentLocked(node, true);
    return 0;
}

void CMountFs::KeepUnsentLocked(const NodePtr& node, bool tell)
{
    // Bytes that did not reach the generator leave the mount's view, which
    // shows the generator's file again: kept, and told, for the user to send
    // again (copy them back in, vq8ctl put) or to throw away.
    if (!node->m_bDirty || node->m_bPcOnly || !node->m_bHaveLocal || node->m_bUnlinked)
        return;
    const QString kept = m_cache.KeepUnsent(node->m_strLocal, node->m_strPath);
    if (kept.isEmpty())
        return; // stays in the view, and in the pending list
    m_unsent.append(u"not sent: \"%1\", kept as \"%2\""_s.arg(node->m_strPath, kept));
    if (tell)
        m_log.Line(u"\"%1\": the bytes that were not sent are kept as \"%2\""_s.arg(node->m_strPath, kept));
    node->m_bHaveLocal = false;
    node->m_bDirty = false;
    if (!node->m_bOnGenerator && !node->m_bHidden)
        m_nodes.remove(Key(node->m_strPath));
    SavePendingLocked();
}

// --- changing the tree ----------------------------------------------------

int CMountFs::Unlink(const QString& path)
{
    if (m_options.m_bReadOnly)
        return -EROFS;
    if (IsDeviceRoot(DeviceParent(path)))
        return -EPERM;
    const CSeen seen = See(path);
    if (const int missing = seen.Missing())
        return missing;
    switch (seen.m_kind) {
    case CSeen::Kind::PcOnly: {
        QString origin;
        {
            const std::lock_guard lock(m_mutex);
            DropLocalLocked(seen.m_node);
            const NodePtr from = m_nodes.value(Key(seen.m_node->m_strOrigin));
            // The copy of a file renamed away is gone: so is the file, as
            // the user sees it (unless it was saved anew since).
            if (from && from->m_bHidden && !from->m_bHaveLocal)
                origin = from->m_strPath;
        }
        if (!origin.isEmpty()) {
            const CMountResult result = m_broker.Change(CMountBroker::Op::Delete, origin);
            const std::lock_guard lock(m_mutex);
            ForgetFolderLocked(DeviceParent(origin));
            if (const NodePtr from = m_nodes.value(Key(origin))) {
                if (result.Ok())
                    m_nodes.remove(Key(origin));
                else
                    from->m_bHidden = false;
            }
            if (!result.Ok())
                m_log.Line(u"delete \"%1\" (renamed to \"%2\", which is deleted now): %3; it stays"_s.arg(
                    origin, DeviceName(path), result.m_strMessage));
        }
        return 0;
    }
    case CSeen::Kind::Staged:
        if (!seen.m_node->m_bHidden && !seen.m_node->m_bOnGenerator) {
            const std::lock_guard lock(m_mutex);
            DropLocalLocked(seen.m_node);
            SavePendingLocked();
            return 0;
        }
        break;
    default: // a generator file
        if (seen.m_entry.IsFolder())
            return -EISDIR;
        break;
    }
    const CMountResult result = m_broker.Change(CMountBroker::Op::Delete, seen.m_strStored);
    const std::lock_guard lock(m_mutex);
    ForgetFolderLocked(DeviceParent(path));
    if (!result.Ok())
        return Refuse(result.m_nError, u"delete \"%1\": %2"_s.arg(seen.m_strStored, result.m_strMessage));
    if (const NodePtr node = m_nodes.value(Key(path)))
        DropLocalLocked(node);
    m_times.remove(Key(path));
    SavePendingLocked();
    return 0;
}

int CMountFs::MakeFolder(const QString& path)
{
    if (m_options.m_bReadOnly)
        return -EROFS;
    if (const int refused = CheckNewPath(path, "mkdir"))
        return refused;
    const CSeen seen = See(path);
    if (seen.m_kind == CSeen::Kind::Error)
        return seen.m_nError;
    if (seen.m_kind != CSeen::Kind::None)
        return -EEXIST;
    const CMountResult result = m_broker.Change(CMountBroker::Op::MakeFolder, path);
    const std::lock_guard lock(m_mutex);
    ForgetFolderLocked(DeviceParent(path));
    // A look for it before (not there then) no longer holds.
    ForgetFolderLocked(path);
    if (!result.Ok())
        return Refuse(result.m_nError, u"mkdir \"%1\": %2"_s.arg(path, result.m_strMessage));
    return 0;
}

int CMountFs::RemoveFolder(const QString& path)
{
    if (m_options.m_bReadOnly)
        return -EROFS;
    if (path.compare(m_options.m_strFolder, Qt::CaseInsensitive) == 0)
        return -EBUSY;
    if (IsFixedDeviceFolder(path))
        return Refuse(EPERM, u"rmdir \"%1\": the generator's first-level folders stay"_s.arg(path));
    const CSeen seen = See(path);
    if (seen.m_kind == CSeen::Kind::Error)
        return seen.m_nError;
    if (seen.m_kind != CSeen::Kind::Generator)
        return -ENOENT;
    if (!seen.m_entry.IsFolder())
        return -ENOTDIR;
    int error = 0;
    const auto listing = Folder(seen.m_strStored, error, true);
    if (!listing)
        return error;
    {
        const std::lock_guard lock(m_mutex);
        if (!listing->Entries().isEmpty() || FolderHasLocalLocked(seen.m_strStored))
            return -ENOTEMPTY;
    }
    const CMountResult result = m_broker.Change(CMountBroker::Op::RemoveFolder, seen.m_strStored);
    const std::lock_guard lock(m_mutex);
    ForgetFolderLocked(DeviceParent(path));
    ForgetFolderLocked(seen.m_strStored);
    if (!result.Ok())
        return Refuse(result.m_nError, u"rmdir \"%1\": %2"_s.arg(seen.m_strStored, result.m_strMessage));
    return 0;
}

int CMountFs::RenameFolder(const QString& from, const QString& stored, const QString& to, bool noReplace)
{
    if (IsFixedDeviceFolder(stored))
        return Refuse(EPERM, u"rename \"%1\": the generator's first-level folders stay"_s.arg(stored));
    if (const int refused = CheckNewPath(to, "rename"))
        return refused;
    {
        const std::lock_guard lock(m_mutex);
        if (FolderHasLocalLocked(stored))
            return Refuse(EBUSY, u"rename \"%1\": files in it are open or not sent yet"_s.arg(stored));
    }
    const bool sameEntry = Key(from) == Key(to);
    const CSeen target = sameEntry ? CSeen() : See(to);
    switch (target.m_kind) {
    case CSeen::Kind::Error:
        return target.m_nError;
    case CSeen::Kind::None:
        break;
    case CSeen::Kind::Generator:
        if (!target.m_entry.IsFolder())
            return -ENOTDIR;
        if (noReplace)
            return -EEXIST;
        if (const int removed = RemoveFolder(to))
            return removed;
        break;
    default:
        return -ENOTDIR;
    }
    const CMountResult result = m_broker.Change(CMountBroker::Op::Move, stored, to);
    const std::lock_guard lock(m_mutex);
    ForgetFolderLocked(DeviceParent(stored));
    ForgetFolderLocked(DeviceParent(to));
    ForgetFolderLocked(stored);
    ForgetFolderLocked(to);
    // Listings and copies below the folder name its old path; looks for the
    // new one before no longer hold.
    for (auto it = m_folders.begin(); it != m_folders.end();) {
        if (it.key() == Key(stored) || IsBelow(it.key(), Key(stored)) || it.key() == Key(to) ||
            IsBelow(it.key(), Key(to))) {
            ++m_folderEpochs[it.key()];
            it = m_folders.erase(it);
        } else {
            ++it;
        }
    }
    for (const NodePtr& node : m_nodes.values()) {
        if (IsBelow(node->m_strPath, stored))
            DropLocalLocked(node);
    }
    if (!result.Ok())
        return Refuse(result.m_nError, u"rename \"%1\": %2"_s.arg(stored, result.m_strMessage));
    return 0;
}

int CMountFs::Rename(const QString& from, const QString& to, bool noReplace)
{
    if (m_options.m_bReadOnly)
        return -EROFS;
    if (from == to)
        return 0;
    if (from.compare(m_options.m_strFolder, Qt::CaseInsensitive) == 0)
        return -EBUSY;
    if (IsDeviceRoot(DeviceParent(from)) || IsDeviceRoot(DeviceParent(to)))
        return Refuse(EPERM, u"rename \"%1\": nothing can be placed directly in \"/F0:/\""_s.arg(from));
    const CSeen source = See(from);
    if (const int missing = source.Missing())
        return missing;
    if (source.m_kind == CSeen::Kind::Generator && source.m_entry.IsFolder())
        return RenameFolder(from, source.m_strStored, to, noReplace);
    const bool sameEntry = Key(from) == Key(to);
    const CSeen target = sameEntry ? CSeen() : See(to);
    if (target.m_kind == CSeen::Kind::Error)
        return target.m_nError;
    if (target.m_kind == CSeen::Kind::Generator && target.m_entry.IsFolder())
        return -EISDIR;
    if (noReplace && target.m_kind != CSeen::Kind::None)
        return -EEXIST;
    const bool toPcOnly = IsPcOnlyName(DeviceName(to));

    // To a name that stays on the PC: the bytes move to the PC side. A
    // generator file is hidden, not deleted, until its path is saved anew
    // (an editor's backup before it writes the new version).
    if (toPcOnly) {
        if (source.m_kind == CSeen::Kind::Generator) {
            if (const int error = EnsureCopy(source.m_strStored, source.m_entry.GetSize()))
                return error;
        }
        const std::lock_guard lock(m_mutex);
        const NodePtr node =
            source.m_kind == CSeen::Kind::Generator ? NodeForLocked(source.m_strStored) : source.m_node;
        if (target.m_node && target.m_kind == CSeen::Kind::PcOnly)
            DropLocalLocked(target.m_node);
        auto moved = std::make_shared<CNode>();
        moved->m_strPath = to;
        moved->m_strLocal = m_cache.LocalPath(to);
        moved->m_bPcOnly = true;
        moved->m_bHaveLocal = true;
        QDir().mkpath(QFileInfo(moved->m_strLocal).absolutePath());
        QFile::remove(moved->m_strLocal);
        if (!QFile::rename(node->m_strLocal, moved->m_strLocal))
            return -EIO;
        // Only a copy of the generator's own bytes can stand for its file.
        const bool copy = !node->m_bDirty && !node->m_bPcOnly;
        node->m_bHaveLocal = false;
        node->m_bDirty = false;
        if (node->m_bOnGenerator && !node->m_bPcOnly) {
            node->m_bHidden = true;
            if (copy)
                moved->m_strOrigin = node->m_strPath;
        } else {
            // A copy of a file renamed away stays one under its next PC-only name.
            moved->m_strOrigin = node->m_strOrigin;
            moved->m_nOriginGeneration = node->m_nOriginGeneration;
            moved->m_nGeneration = node->m_nGeneration;
            m_nodes.remove(Key(node->m_strPath));
        }
        m_nodes.insert(Key(to), moved);
        SavePendingLocked();
        return 0;
    }

    if (const int refused = CheckNewPath(to, "rename"))
        return refused;
    if (IsPackage(to) && !IsPackage(from))
        return Refuse(EACCES, u"rename \"%1\": packages (.DNL) are sent with vq8ctl put"_s.arg(from));
    const QString stored = target.m_kind == CSeen::Kind::Generator ? target.m_strStored
                           : target.m_kind == CSeen::Kind::Staged  ? target.m_node->m_strPath
                                                                   : to;

    if (source.m_kind == CSeen::Kind::PcOnly || source.m_kind == CSeen::Kind::Staged) {
        const NodePtr node = source.m_node;
        {
            const std::lock_guard lock(m_mutex);
            // Only the letter case changes: the name on the PC side follows.
            if (sameEntry) {
                const QString local = node->m_bPcOnly ? m_cache.LocalPath(to) : m_cache.CopyPath(to);
                if (!QFile::rename(node->m_strLocal, local))
                    return -EIO;
                node->m_strPath = to;
                node->m_strLocal = local;
                return 0;
            }
            const NodePtr origin = m_nodes.value(Key(stored));
            // An editor's backup renamed back, unchanged: the generator's file
            // was never touched, so it is simply shown again.
            if (node->m_bPcOnly && origin && origin->m_bHidden && Key(node->m_strOrigin) == Key(stored) &&
                node->m_nGeneration == node->m_nOriginGeneration) {
                if (origin->m_bHaveLocal)
                    QFile::remove(origin->m_strLocal);
                QDir().mkpath(QFileInfo(origin->m_strLocal).absolutePath());
                if (!QFile::rename(node->m_strLocal, origin->m_strLocal))
                    return -EIO;
                origin->m_bHaveLocal = true;
                origin->m_bHidden = false;
                origin->m_bDirty = false;
                origin->m_nCopySize = QFileInfo(origin->m_strLocal).size();
                ++origin->m_nGeneration;
                m_nodes.remove(Key(from));
                SavePendingLocked();
                return 0;
            }
            // Still open for writing: it goes under its new name when closed.
            if (!node->m_bPcOnly && node->m_nWriters > 0) {
                if (target.m_node && target.m_node->m_nWriters > 0)
                    return -EBUSY;
                if (target.m_node)
                    DropLocalLocked(target.m_node);
                auto moved = std::make_shared<CNode>();
                moved->m_strPath = stored;
                moved->m_strLocal = m_cache.CopyPath(stored);
                QDir().mkpath(QFileInfo(moved->m_strLocal).absolutePath());
                QFile::remove(moved->m_strLocal);
                if (!QFile::rename(node->m_strLocal, moved->m_strLocal))
                    return -EIO;
                moved->m_bHaveLocal = true;
                moved->m_bDirty = true;
                moved->m_bOnGenerator = target.m_kind == CSeen::Kind::Generator;
                // The open handles keep writing the same bytes.
                for (const auto& opened : std::as_const(m_handles)) {
                    if (opened->m_node == node) {
                        opened->m_node = moved;
                        ++moved->m_nHandles;
                        moved->m_nWriters += opened->m_bWrite ? 1 : 0;
                    }
                }
                node->m_nHandles = 0;
                node->m_nWriters = 0;
                node->m_bHaveLocal = false;
                if (!node->m_bHidden)
                    m_nodes.remove(Key(from));
                m_nodes.insert(Key(stored), moved);
                SavePendingLocked();
                return 0;
            }
        }
        // The bytes go to the generator under the new name, replacing what
        // is there; only then does the rename happen on the PC.
        const CMountResult result = SendBytes(node->m_strLocal, stored);
        if (!result.Ok())
            return Refuse(result.m_nError,
                          u"rename \"%1\" to \"%2\": not sent (%3): %4"_s.arg(
                              from, stored, ErrnoText(result.m_nError), result.m_strMessage));
        const std::lock_guard lock(m_mutex);
        const NodePtr moved = NodeForLocked(stored);
        if (moved->m_bHaveLocal && moved != node)
            QFile::remove(moved->m_strLocal);
        QDir().mkpath(QFileInfo(moved->m_strLocal).absolutePath());
        if (QFile::rename(node->m_strLocal, moved->m_strLocal)) {
            moved->m_bHaveLocal = true;
            moved->m_nCopySize = QFileInfo(moved->m_strLocal).size();
        } else {
            moved->m_bHaveLocal = false;
        }
        moved->m_bOnGenerator = true;
        moved->m_bHidden = false;
        moved->m_bDirty = false;
        moved->m_bUnlinked = false;
        ++moved->m_nGeneration;
        node->m_bHaveLocal = false;
        node->m_bDirty = false;
        if (!node->m_bHidden)
            m_nodes.remove(Key(from));
        SavePendingLocked();
        return 0;
    }

    // A generator file to a generator name: what is not sent yet goes first,
    // then a file in the way is deleted and the file moved.
    {
        NodePtr node;
        {
            const std::lock_guard lock(m_mutex);
            node = m_nodes.value(Key(source.m_strStored));
        }
        if (node) {
            if (const int error = SendNode(node, u"rename"_s))
                return error;
        }
    }
    if (!sameEntry && target.m_kind != CSeen::Kind::None &&
        (target.m_kind == CSeen::Kind::Generator || target.m_node->m_bOnGenerator ||
         target.m_node->m_bHidden)) {
        const CMountResult removed = m_broker.Change(CMountBroker::Op::Delete, stored);
        if (!removed.Ok()) {
            const std::lock_guard lock(m_mutex);
            ForgetFolderLocked(DeviceParent(stored));
            return Refuse(removed.m_nError, u"rename \"%1\": cannot delete \"%2\" first: %3"_s.arg(
                                                from, stored, removed.m_strMessage));
        }
    }
    {
        const std::lock_guard lock(m_mutex);
        if (target.m_node)
            DropLocalLocked(target.m_node);
    }
    const QString destination = sameEntry ? to : stored;
    const CMountResult result = m_broker.Change(CMountBroker::Op::Move, source.m_strStored, destination);
    const std::lock_guard lock(m_mutex);
    ForgetFolderLocked(DeviceParent(from));
    ForgetFolderLocked(DeviceParent(to));
    if (!result.Ok())
        return Refuse(result.m_nError, u"rename \"%1\" to \"%2\": %3"_s.arg(source.m_strStored, destination,
                                                                            result.m_strMessage));
    // The local copy goes with the file.
    if (const NodePtr node = m_nodes.take(Key(source.m_strStored))) {
        const QString local = m_cache.CopyPath(destination);
        QDir().mkpath(QFileInfo(local).absolutePath());
        QFile::remove(local);
        if (node->m_bHaveLocal && !QFile::rename(node->m_strLocal, local))
            node->m_bHaveLocal = false;
        node->m_strPath = destination;
        node->m_strLocal = local;
        m_nodes.insert(Key(destination), node);
    }
    if (m_times.contains(Key(source.m_strStored)))
        m_times.insert(Key(destination), m_times.take(Key(source.m_strStored)));
    return 0;
}

void CMountFs::SendPending(bool again)
{
    QList<NodePtr> nodes;
    {
        const std::lock_guard lock(m_mutex);
        for (const NodePtr& node : std::as_const(m_nodes)) {
            if (node->m_bDirty && (again || node->m_nSentGeneration != node->m_nGeneration))
                nodes.append(node);
        }
    }
    for (const NodePtr& node : std::as_const(nodes))
        SendNode(node, u"save at the end"_s);
}

QStringList CMountFs::Left()
{
    const std::lock_guard lock(m_mutex);
    for (const NodePtr& node : m_nodes.values())
        KeepUnsentLocked(node, false);
    QStringList left = m_unsent;
    bool copiesOnly = true;
    for (const NodePtr& node : std::as_const(m_nodes)) {
        if (node->m_bHaveLocal && node->m_bDirty && !node->m_bPcOnly) {
            left.append(u"not sent: \"%1\", kept in \"%2\""_s.arg(node->m_strPath, node->m_strLocal));
            copiesOnly = false;
        } else if (node->m_bHaveLocal && node->m_bPcOnly)
            left.append(u"kept on the PC only: \"%1\", in \"%2\""_s.arg(node->m_strPath, node->m_strLocal));
        else if (node->m_bHidden && !node->m_bHaveLocal)
            left.append(
                u"renamed to a name kept on the PC, still on the generator: \"%1\""_s.arg(node->m_strPath));
    }
    SavePendingLocked();
    // The copies were this mount's; a later one fetches what it needs.
    if (copiesOnly)
        m_cache.DropCopies();
    std::sort(left.begin(), left.end());
    return left;
}
