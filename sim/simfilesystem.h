#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>

namespace vqsim {

// SCPI error codes the emulator reports.
enum SimError : int
{
    kNoError = 0,
    kSyntaxError = -102,
    kDataTypeError = -104,
    kParameterNotAllowed = -108,
    kMissingParameter = -109,
    kUndefinedHeader = -113,
    kInvalidBlockData = -161,
    kTooMuchData = -223,
    kMassStorageError = -250,
    kMediaFull = -254,
    kFileNameNotFound = -256,
    kFileNameError = -257,
    kQueueOverflow = -350,
};

QString SimErrorText(int code);

// The generator's file system: a tree under "/F0:/" with case-preserving,
// case-insensitive names of Latin-1 characters (one byte each on the wire),
// held in memory and optionally mirrored to a host folder. Not thread-safe;
// the owner serialises access.
//
// Whatever a client sends, no path is deeper than kMaxDepth names, clients
// make at most kMaxEntries entries, and the bytes stored plus the blocks
// being received stay within the capacity. Trees are walked without
// recursion, so no shape of tree can exhaust the stack.
class SimFileSystem final
{
public:
    struct Node
    {
        Node() = default;
        ~Node(); // frees the subtree without recursion
        Node(const Node&) = delete;
        Node& operator=(const Node&) = delete;

        QString name;
        bool folder = false;
        QByteArray data;
        quint64 stamp = 0; // changes whenever the file's content does
        // Keyed by the case-folded name, so lookups ignore case and listings come out sorted.
        std::map<QString, std::unique_ptr<Node>> children;
    };

    // What a subtree holds: data bytes, entries below its top, and its height
    // (names below its top on the longest path: 0 for a file or an empty folder).
    struct TreeStats
    {
        qint64 bytes = 0;
        qint64 entries = 0;
        int height = 0;
    };

    static constexpr qsizetype kMaxNameLength = 255;
    static constexpr int kMaxDepth = 32;
    static constexpr qint64 kMaxEntries = 100000;

    explicit SimFileSystem(qint64 capacity = 64LL * 1024 * 1024);
    ~SimFileSystem();
    SimFileSystem(const SimFileSystem&) = delete;
    SimFileSystem& operator=(const SimFileSystem&) = delete;

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
    void Seed();

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
    QByteArray Catalog(const QStringList& folder) const;
    // A fresh name for a download package in /F0:/DOWNLOAD.
    QStringList NewPackagePath();

    // Test access: no root rule and no capacity check; missing parents are made.
    bool AddFolder(const QStringList& parts);
    bool AddFile(const QStringList& parts, const QByteArray& data);
    const Node* Find(const QStringList& parts) const;
    QStringList List(const QStringList& folder) const;

    static TreeStats Stats(const Node& node);

    qint64 Used() const { return m_used; }
    qint64 Free() const { return m_capacity > m_used ? m_capacity - m_used : 0; }
    qint64 Reserved() const { return m_reserved; }
    qint64 Entries() const { return m_entries; }
    qint64 Capacity() const { return m_capacity; }
    void SetCapacity(qint64 bytes) { m_capacity = bytes; }

private:
    Node* FindNode(const QStringList& parts);
    Node* ParentOf(const QStringList& parts, int* error);
    Node* MakeFolders(const QStringList& parts);
    int CheckWrite(const QStringList& parts, qint64 size, qint64* replaced) const;
    // Puts `data` under `name` in `parent`, replacing a file of that name.
    void StoreFile(Node& parent, const QString& name, const QByteArray& data);
    Node& AddChild(Node& parent, const QString& name, bool folder);
    static std::unique_ptr<Node> Clone(const Node& node);
    void Forget(const Node& node);
    // Where `source` would land at `target`: the checks Move and Copy share.
    int CheckTarget(const QStringList& source, const Node& node, const QStringList& target, Node** to);

    // Host folder mirror; every path below is built from validated names.
    QString HostPath(const QStringList& parts) const;
    bool HostPathIsSafe(const QStringList& parts) const;
    void LoadHost(Node* folder, const QString& dir, int depth);
    bool MirrorFolder(const QStringList& parts);
    bool MirrorFile(const QStringList& parts, const QByteArray& data);
    // Removes the host copy of `node`; refused when its host folder holds
    // anything that was not loaded, which is left alone.
    bool MirrorRemove(const QStringList& parts, const Node& node);
    bool HostHoldsOnlyLoaded(const QString& path, const Node& node) const;
    bool MirrorRename(const QStringList& from, const QStringList& to);
    bool MirrorTree(const QStringList& parts, const Node& node);

    std::unique_ptr<Node> m_root;
    qint64 m_used = 0;
    qint64 m_reserved = 0;
    qint64 m_entries = 0;
    quint64 m_lastStamp = 0;
    qint64 m_capacity;
    QString m_hostRoot;
    int m_packageCounter = 0;
};

} // namespace vqsim
