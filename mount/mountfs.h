#pragma once

#include "mount/mountbroker.h"
#include "mount/mountoptions.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>

class CMountCache;
class CMountListing;
class CMountLog;

// What a path is, as a program sees it through the mount.
struct CMountAttr
{
    bool m_bFolder = false;
    qint64 m_nSize = 0;
    // Seconds since 1970: when the mount last read or wrote the file, else
    // when the mount began (the generator keeps no dates).
    qint64 m_nTime = 0;
};

struct CMountDirEntry
{
    QString m_strName;
    CMountAttr m_attr;
};

// The generator's file system as a file system of the PC, in generator paths
// (the FUSE layer turns the system's paths into these). Files are whole-file
// copies: fetched on open, served from the PC, and sent back whole when a
// program that wrote closes, flushes or syncs them, which waits for the
// generator's verdict so the program learns of a failure. Folder listings
// are kept for a short time and dropped after the mount's own changes.
// Editors' temporaries stay on the PC. Every operation returns 0 (or a
// count) or a negative errno value.
class CMountFs final
{
public:
    CMountFs(const CMountOptions& options, CMountBroker& broker, CMountCache& cache, CMountLog& log);
    ~CMountFs();
    CMountFs(const CMountFs&) = delete;
    CMountFs& operator=(const CMountFs&) = delete;

    int GetAttr(const QString& path, CMountAttr& attr);
    // Of an open file (its name may be gone).
    int HandleAttr(quint64 handle, CMountAttr& attr);
    int ReadDir(const QString& path, QList<CMountDirEntry>& entries);
    int Open(const QString& path, int flags, quint64& handle);
    int Create(const QString& path, int flags, quint64& handle);
    qint64 Read(quint64 handle, char* buffer, qint64 size, qint64 offset);
    qint64 Write(quint64 handle, const char* buffer, qint64 size, qint64 offset);
    // close() and fsync(): a file written through `handle` (with `sync`,
    // any file changed) goes to the generator now; the result is the send's.
    int Flush(quint64 handle, bool sync);
    // The last descriptor closed: a file changed without a write (truncated,
    // or created empty) goes now.
    int Release(quint64 handle);
    // With `handle` the open file's length; without, the file's, sent at once.
    int Truncate(const QString& path, qint64 size, const quint64* handle);
    // chmod, chown, utimens: taken, nothing kept (the generator has none of it).
    int Touch(const QString& path);
    int Unlink(const QString& path);
    int MakeFolder(const QString& path);
    int RemoveFolder(const QString& path);
    int Rename(const QString& from, const QString& to, bool noReplace);
    int StatFs(double& used, double& freeBytes);
    // Asked while a request waits for the generator: true ends the wait
    // with EINTR (the program that made it was interrupted).
    void SetInterruptCheck(std::function<bool()> check) { m_broker.SetInterruptCheck(std::move(check)); }

    // What is not on the generator yet is sent (each within the bound);
    // `again`: also what failed before.
    void SendPending(bool again);
    // What is left, one line each: unsent files, files kept on the PC only,
    // files renamed to such a name but still on the generator. The record
    // of what is unsent is kept in the cache for a later mount.
    QStringList Left();

private:
    struct CNode;
    struct CHandle;
    struct CFolder;
    struct CSeen;
    using NodePtr = std::shared_ptr<CNode>;

    static QString Key(const QString& path) { return path.toUpper(); }
    qint64 NowSeconds() const;
    qint64 TimeOfLocked(const QString& path) const;
    // The listing of `folder`, read again when older than the listing time
    // (or `fresh`); null with `error` set when it cannot be had.
    std::shared_ptr<const CMountListing> Folder(const QString& folder, int& error, bool fresh = false);
    void StoreFolderLocked(const QString& folder, std::shared_ptr<const CMountListing> listing);
    void ForgetFolderLocked(const QString& folder);
    CSeen See(const QString& path);
    NodePtr NodeForLocked(const QString& storedPath);
    // The node's bytes as a local file: a copy fetched unless one is current.
    int EnsureCopy(const QString& storedPath, qint64 size);
    // A new name on the generator: 0 or the refusal (told in the log).
    int CheckNewPath(const QString& path, const char* what);
    int Refuse(int error, const QString& text);
    int OpenHandle(const NodePtr& node, int flags, bool write, quint64& handle);
    // Sends the node's bytes if they are not on the generator yet.
    int SendNode(const NodePtr& node, const QString& what);
    // Sends `local` as the file `storedPath` (replacing its namesake); the
    // folder's listing afterwards is kept.
    CMountResult SendBytes(const QString& local, const QString& storedPath);
    void SavePendingLocked();
    // `tell`: in the log now (else in the lines of what is left).
    void KeepUnsentLocked(const NodePtr& node, bool tell);
    void DropLocalLocked(const NodePtr& node);
    bool FolderHasLocalLocked(const QString& folder) const;
    int RenameFolder(const QString& from, const QString& stored, const QString& to, bool noReplace);

    CMountOptions m_options;
    CMountBroker& m_broker;
    CMountCache& m_cache;
    CMountLog& m_log;
    const qint64 m_nMountTime;

    mutable std::mutex m_mutex;
    QHash<QString, NodePtr> m_nodes;
    QHash<quint64, std::shared_ptr<CHandle>> m_handles;
    quint64 m_nNextHandle = 1;
    QHash<QString, CFolder> m_folders;
    // Counts the mount's changes of each folder, so that a listing asked for
    // before one is not kept after it.
    QHash<QString, quint64> m_folderEpochs;
    QHash<QString, qint64> m_times;
    // What left the view unsent, one line each.
    QStringList m_unsent;
};
