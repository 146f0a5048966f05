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
// case-insensitive names, held in memory and optionally mirrored to a host
// folder. Not thread-safe; the owner serialises access.
class SimFileSystem final
{
public:
    struct Node
    {
        QString name;
        bool folder = false;
        QByteArray data;
        // Keyed by the case-folded name, so lookups ignore case and listings come out sorted.
        std::map<QString, std::unique_ptr<Node>> children;
    };

    static constexpr qsizetype kMaxNameLength = 255;
    static constexpr int kMaxDepth = 32;

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
    int CheckWrite(const QStringList& parts, qint64 size) const;
    int WriteFile(const QStringList& parts, const QByteArray& data);
    int ReadFile(const QStringList& parts, QByteArray* data) const;
    int CheckFolder(const QStringList& parts) const;
    QByteArray Catalog(const QStringList& folder) const;
    // A fresh name for a download package in /F0:/DOWNLOAD.
    QStringList NewPackagePath();

    // Test access: no root rule and no capacity check; missing parents are made.
    bool AddFolder(const QStringList& parts);
    bool AddFile(const QStringList& parts, const QByteArray& data);
    const Node* Find(const QStringList& parts) const;
    QStringList List(const QStringList& folder) const;

    qint64 Used() const { return m_used; }
    qint64 Free() const { return m_capacity > m_used ? m_capacity - m_used : 0; }
    qint64 Capacity() const { return m_capacity; }
    void SetCapacity(qint64 bytes) { m_capacity = bytes; }

private:
    Node* FindNode(const QStringList& parts);
    Node* ParentOf(const QStringList& parts, int* error);
    Node* MakeFolders(const QStringList& parts);
    // Puts `data` under `name` in `parent`, replacing a file of that name.
    void StoreFile(Node& parent, const QString& name, const QByteArray& data);
    static qint64 TreeSize(const Node& node);
    static std::unique_ptr<Node> Clone(const Node& node);
    void Forget(const Node& node);

    // Host folder mirror; every path below is built from validated names.
    QString HostPath(const QStringList& parts) const;
    bool HostPathIsSafe(const QStringList& parts) const;
    void LoadHost(Node* folder, const QString& dir, int depth);
    bool MirrorFolder(const QStringList& parts);
    bool MirrorFile(const QStringList& parts, const QByteArray& data);
    bool MirrorRemove(const QStringList& parts);
    bool MirrorRename(const QStringList& from, const QStringList& to);
    bool MirrorTree(const QStringList& parts, const Node& node);

    std::unique_ptr<Node> m_root;
    qint64 m_used = 0;
    qint64 m_capacity;
    QString m_hostRoot;
    int m_packageCounter = 0;
};

} // namespace vqsim
