#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <map>
#include <memory>

// SCPI error codes the emulator reports.
enum SimError : int
{
    SIM_NO_ERROR = 0,
    SIM_SYNTAX_ERROR = -102,
    SIM_DATA_TYPE_ERROR = -104,
    SIM_PARAMETER_NOT_ALLOWED = -108,
    SIM_MISSING_PARAMETER = -109,
    SIM_UNDEFINED_HEADER = -113,
    SIM_INVALID_BLOCK_DATA = -161,
    SIM_TOO_MUCH_DATA = -223,
    SIM_MASS_STORAGE_ERROR = -250,
    SIM_MEDIA_FULL = -254,
    SIM_FILE_NAME_NOT_FOUND = -256,
    SIM_FILE_NAME_ERROR = -257,
    SIM_QUEUE_OVERFLOW = -350,
};

QString SimErrorText(int code);

// The generator's file system: a tree under "/F0:/" with case-preserving,
// case-insensitive names of Latin-1 characters (one byte each on the wire),
// held in memory and optionally mirrored to a host folder. Not thread-safe;
// the owner serialises access.
//
// Whatever a client sends, no path is deeper than MAX_DEPTH names, clients
// make at most MAX_ENTRIES entries, and the bytes stored plus the blocks
// being received stay within the capacity. Trees are walked without
// recursion, so no shape of tree can exhaust the stack.
class CSimFileSystem final
{
public:
    struct CNode
    {
        CNode() = default;
        ~CNode(); // frees the subtree without recursion
        CNode(const CNode&) = delete;
        CNode& operator=(const CNode&) = delete;

        QString m_strName;
        bool m_bFolder = false;
        QByteArray m_data;
        // A file's changes whenever its content does, a folder's whenever its
        // listing does (entries, their names, their sizes): a stamp names what it
        // stands for, so a reader that finds it unchanged reads on where it was.
        quint64 m_nStamp = 0;
        // Keyed by the case-folded name, so lookups ignore case and listings come out sorted.
        std::map<QString, std::unique_ptr<CNode>> m_children;
    };

    // Where a catalog line produced a piece at a time has got to; all a
    // reader holds between pieces.
    struct CCatalogCursor
    {
        QStringList m_folder;
        quint64 m_nStamp = 0; // the folder's listing when the line began
        QByteArray m_head;    // "used,free" then, not sent yet while not empty
        QString m_strLastKey; // of the last entry sent
        bool m_bStarted = false;
    };

    // What a subtree holds: data bytes, entries below its top, and its height
    // (names below its top on the longest path: 0 for a file or an empty folder).
    struct CTreeStats
    {
        qint64 m_nBytes = 0;
        qint64 m_nEntries = 0;
        int m_nHeight = 0;
    };

    static constexpr qsizetype MAX_NAME_LENGTH = 255;
    static constexpr int MAX_DEPTH = 32;
    static constexpr qint64 MAX_ENTRIES = 100000;

    explicit CSimFileSystem(qint64 capacity = 64LL * 1024 * 1024);
    ~CSimFileSystem();
    CSimFileSystem(const CSimFileSystem&) = delete;
    CSimFileSystem& operator=(const CSimFileSystem&) = delete;

    // Splits a device path ("/F0:/A/B") into its names. Only absolute paths
    // are taken; anything that could leave the root is a file name error.
    static int SplitPath(const QString& path, QStringList* parts);
    static bool IsValidName(const QString& name);
    static QString JoinPath(const QStringList& parts);

    // Empties the tree and forgets the host folder.
    void Reset(qint64 capacity);
    // Keeps the files in `dir` (loaded now, every change written through).
    bool AttachHostFolder(const QString& dir, QString* error);
    // First-level folders and sample files of every kind; existing entries are kept.
    // The first-level folders, and with `files` a few below them and a sample
    // file of every kind.
    void Seed(bool files = true);

    // Client operations: the root's own entries are fixed.
    int MakeFolder(const QStringList& parts);
    int RemoveFolder(const QStringList& parts);
    int Delete(const QStringList& parts);
    int DeleteAll(const QStringList& parts);
    int Move(const QStringList& source, const QStringList& destination);
    int Copy(const QStringList& source, const QStringList& destination);
    // A block about to be received: checks its target and sets `size` bytes
    // of the capacity aside for it until Release. An existing file of that
    // name is not counted as free meanwhile: both are held until the block ends.
    int Reserve(const QStringList& parts, qint64 size);
    void Release(qint64 size);
    int WriteFile(const QStringList& parts, const QByteArray& data);
    // A file to be sent a piece at a time: its size and the stamp of its content.
    int Open(const QStringList& parts, qint64* size, quint64* stamp) const;
    // Up to `max` bytes from `offset` of the file, as long as it still holds
    // the content `stamp` names; a file written or moved meanwhile is not found.
    int ReadChunk(const QStringList& parts, quint64 stamp, qint64 offset, qsizetype max,
                  QByteArray* out) const;
    int CheckFolder(const QStringList& parts) const;
    // "used,free", the head of every catalog line.
    QByteArray Figures() const;
    // A catalog line of the folder as it is now, to be produced by
    // NextCatalogPiece as the reader takes it.
    int BeginCatalog(const QStringList& folder, CCatalogCursor* cursor) const;
    // The line's next piece, about `max` bytes of whole entries, the head
    // first; `done` after the last entry (no LF). A folder whose listing has
    // changed since the line began is not found: the line must not be a mix.
    int NextCatalogPiece(CCatalogCursor* cursor, qsizetype max, QByteArray* out, bool* done) const;
    // A fresh name for a download package in /F0:/DOWNLOAD.
    QStringList NewPackagePath();

    // Test access: no root rule and no capacity check; missing parents are made.
    bool AddFolder(const QStringList& parts);
    bool AddFile(const QStringList& parts, const QByteArray& data);
    const CNode* Find(const QStringList& parts) const;
    QStringList List(const QStringList& folder) const;

    static CTreeStats Stats(const CNode& node);

    qint64 Used() const { return m_nUsed; }
    // Room for new bytes: what blocks being received have set aside is not free.
    qint64 Free() const { return std::max<qint64>(m_nCapacity - m_nUsed - m_nReserved, 0); }
    qint64 Reserved() const { return m_nReserved; }
    qint64 Entries() const { return m_nEntries; }
    qint64 Capacity() const { return m_nCapacity; }
    void SetCapacity(qint64 bytes) { m_nCapacity = bytes; }

private:
    CNode* FindNode(const QStringList& parts);
    CNode* ParentOf(const QStringList& parts, int* error);
    CNode* MakeFolders(const QStringList& parts);
    int CheckWrite(const QStringList& parts, qint64 size, qint64* replaced) const;
    // Puts `data` under `name` in `parent`, replacing a file of that name.
    void StoreFile(CNode& parent, const QString& name, const QByteArray& data);
    CNode& AddChild(CNode& parent, const QString& name, bool folder);
    // A new stamp for `node`: its content or its listing has changed.
    void Restamp(CNode& node) { node.m_nStamp = ++m_nLastStamp; }
    static std::unique_ptr<CNode> Clone(const CNode& node);
    void Forget(const CNode& node);
    // Where `source` would land at `target`: the checks Move and Copy share.
    int CheckTarget(const QStringList& source, const CNode& node, const QStringList& target, CNode** to);

    // Host folder mirror; every path below is built from validated names.
    QString HostPath(const QStringList& parts) const;
    bool HostPathIsSafe(const QStringList& parts) const;
    void LoadHost(CNode* folder, const QString& dir, int depth);
    bool MirrorFolder(const QStringList& parts);
    bool MirrorFile(const QStringList& parts, const QByteArray& data);
    // Removes the host copy of `node`; refused when its host folder holds
    // anything that was not loaded, which is left alone.
    bool MirrorRemove(const QStringList& parts, const CNode& node);
    bool HostHoldsOnlyLoaded(const QString& path, const CNode& node) const;
    bool MirrorRename(const QStringList& from, const QStringList& to);
    bool MirrorTree(const QStringList& parts, const CNode& node);

    std::unique_ptr<CNode> m_pRoot;
    qint64 m_nUsed = 0;
    qint64 m_nReserved = 0;
    qint64 m_nEntries = 0;
    quint64 m_nLastStamp = 0;
    qint64 m_nCapacity;
    QString m_strHostRoot;
    int m_nPackageCounter = 0;
};
