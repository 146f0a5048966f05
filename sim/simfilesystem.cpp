#include "simfilesystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace vqsim {

namespace {

QString Key(const QString& name)
{
    return name.toCaseFolded();
}

bool IsPrefixOf(const QStringList& prefix, const QStringList& parts)
{
    if (prefix.size() > parts.size())
        return false;
    for (qsizetype i = 0; i < prefix.size(); ++i) {
        if (Key(prefix.at(i)) != Key(parts.at(i)))
            return false;
    }
    return true;
}

QByteArray TypeField(const SimFileSystem::Node& node)
{
    if (node.folder)
        return QByteArrayLiteral("DIR");
    const qsizetype dot = node.name.lastIndexOf(u'.');
    const QString ext = dot < 0 ? QString() : node.name.mid(dot + 1);
    if (ext.isEmpty() || ext.size() > 4)
        return QByteArrayLiteral("BIN");
    for (const QChar c : ext) {
        if (!c.isLetterOrNumber() || c.unicode() > 127)
            return QByteArrayLiteral("BIN");
    }
    return ext.toUpper().toLatin1();
}

// Recognisable sample content: a text line naming the file, then a byte ramp.
QByteArray SampleData(const QString& name, int size)
{
    QByteArray data = "VQ820 sample " + name.toLatin1() + '\n';
    data.reserve(size);
    for (int i = 0; data.size() < size; ++i)
        data.append(char(i & 0xff));
    data.truncate(size);
    return data;
}

} // namespace

QString SimErrorText(int code)
{
    switch (code) {
    case kNoError:
        return u"No error"_s;
    case kSyntaxError:
        return u"Syntax error"_s;
    case kDataTypeError:
        return u"Data type error"_s;
    case kParameterNotAllowed:
        return u"Parameter not allowed"_s;
    case kMissingParameter:
        return u"Missing parameter"_s;
    case kUndefinedHeader:
        return u"Undefined header"_s;
    case kInvalidBlockData:
        return u"Invalid block data"_s;
    case kTooMuchData:
        return u"Too much data"_s;
    case kMassStorageError:
        return u"Mass storage error"_s;
    case kMediaFull:
        return u"Media full"_s;
    case kFileNameNotFound:
        return u"File name not found"_s;
    case kFileNameError:
        return u"File name error"_s;
    case kQueueOverflow:
        return u"Queue overflow"_s;
    default:
        return u"Error"_s;
    }
}

SimFileSystem::SimFileSystem(qint64 capacity) : m_root(std::make_unique<Node>()), m_capacity(capacity)
{
    m_root->folder = true;
}

SimFileSystem::~SimFileSystem() = default;

SimFileSystem::Node::~Node()
{
    // Each node freed here has had its children taken away first, so its
    // own destructor finds nothing to free: the depth of the tree never
    // reaches the stack.
    std::vector<std::unique_ptr<Node>> pending;
    for (auto& entry : children)
        pending.push_back(std::move(entry.second));
    children.clear();
    while (!pending.empty()) {
        std::unique_ptr<Node> node = std::move(pending.back());
        pending.pop_back();
        for (auto& entry : node->children)
            pending.push_back(std::move(entry.second));
        node->children.clear();
    }
}

int SimFileSystem::SplitPath(const QString& path, QStringList* parts)
{
    parts->clear();
    static const QLatin1StringView kRoot("/F0:");
    if (!path.startsWith(kRoot, Qt::CaseInsensitive))
        return kFileNameError;
    QStringView rest = QStringView(path).mid(kRoot.size());
    if (rest.isEmpty() || rest == u"/")
        return kNoError;
    if (!rest.startsWith(u'/'))
        return kFileNameError;
    rest = rest.mid(1);
    if (rest.endsWith(u'/'))
        rest.chop(1);
    for (const QStringView name : rest.split(u'/')) {
        if (!IsValidName(name.toString()))
            return kFileNameError;
        parts->append(name.toString());
    }
    if (parts->size() > kMaxDepth)
        return kFileNameError;
    return kNoError;
}

bool SimFileSystem::IsValidName(const QString& name)
{
    if (name.isEmpty() || name.size() > kMaxNameLength || name == u"."_s || name == u".."_s)
        return false;
    static const QString kForbidden = u"/\\\",:*?<>|"_s;
    for (const QChar c : name) {
        // A name is bytes on the wire: one Latin-1 character each.
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c.unicode() > 0xff || kForbidden.contains(c))
            return false;
    }
    return true;
}

QString SimFileSystem::JoinPath(const QStringList& parts)
{
    return u"/F0:/"_s + parts.join(u'/');
}

const SimFileSystem::Node* SimFileSystem::Find(const QStringList& parts) const
{
    const Node* node = m_root.get();
    for (const QString& name : parts) {
        if (!node->folder)
            return nullptr;
        const auto it = node->children.find(Key(name));
        if (it == node->children.end())
            return nullptr;
        node = it->second.get();
    }
    return node;
}

SimFileSystem::Node* SimFileSystem::FindNode(const QStringList& parts)
{
    return const_cast<Node*>(Find(parts));
}

SimFileSystem::Node* SimFileSystem::ParentOf(const QStringList& parts, int* error)
{
    Node* parent = FindNode(parts.mid(0, parts.size() - 1));
    if (!parent) {
        *error = kFileNameNotFound;
        return nullptr;
    }
    if (!parent->folder) {
        *error = kFileNameError;
        return nullptr;
    }
    *error = kNoError;
    return parent;
}

SimFileSystem::Node* SimFileSystem::MakeFolders(const QStringList& parts)
{
    Node* node = m_root.get();
    QStringList done;
    for (const QString& name : parts) {
        if (!node->folder)
            return nullptr;
        done.append(name);
        const auto it = node->children.find(Key(name));
        if (it != node->children.end()) {
            node = it->second.get();
            continue;
        }
        if (!MirrorFolder(done))
            return nullptr;
        node = &AddChild(*node, name, true);
    }
    return node->folder ? node : nullptr;
}

SimFileSystem::Node& SimFileSystem::AddChild(Node& parent, const QString& name, bool folder)
{
    auto node = std::make_unique<Node>();
    node->name = name;
    node->folder = folder;
    Node& added = *node;
    parent.children[Key(name)] = std::move(node);
    ++m_entries;
    return added;
}

SimFileSystem::TreeStats SimFileSystem::Stats(const Node& node)
{
    TreeStats stats;
    std::vector<std::pair<const Node*, int>> stack{{&node, 0}};
    while (!stack.empty()) {
        const auto [current, depth] = stack.back();
        stack.pop_back();
        stats.bytes += current->data.size();
        stats.height = std::max(stats.height, depth);
        for (const auto& child : current->children)
            stack.emplace_back(child.second.get(), depth + 1);
        stats.entries += qint64(current->children.size());
    }
    return stats;
}

std::unique_ptr<SimFileSystem::Node> SimFileSystem::Clone(const Node& node)
{
    const auto copyOf = [](const Node& source) {
        auto copy = std::make_unique<Node>();
        copy->name = source.name;
        copy->folder = source.folder;
        copy->data = source.data;
        copy->stamp = source.stamp;
        return copy;
    };
    std::unique_ptr<Node> top = copyOf(node);
    std::vector<std::pair<const Node*, Node*>> stack{{&node, top.get()}};
    while (!stack.empty()) {
        const auto [source, copy] = stack.back();
        stack.pop_back();
        for (const auto& [key, child] : source->children) {
            std::unique_ptr<Node> childCopy = copyOf(*child);
            stack.emplace_back(child.get(), childCopy.get());
            copy->children.emplace(key, std::move(childCopy));
        }
    }
    return top;
}

void SimFileSystem::Forget(const Node& node)
{
    const TreeStats stats = Stats(node);
    m_used -= stats.bytes;
    m_entries -= stats.entries + 1;
}

int SimFileSystem::MakeFolder(const QStringList& parts)
{
    if (parts.size() < 2)
        return kFileNameError;
    int error = kNoError;
    Node* parent = ParentOf(parts, &error);
    if (!parent)
        return error;
    if (parent->children.count(Key(parts.last())))
        return kFileNameError;
    if (m_entries >= kMaxEntries)
        return kMediaFull;
    if (!MirrorFolder(parts))
        return kMassStorageError;
    AddChild(*parent, parts.last(), true);
    return kNoError;
}

int SimFileSystem::RemoveFolder(const QStringList& parts)
{
    const Node* node = Find(parts);
    if (!node)
        return kFileNameNotFound;
    if (!node->folder || parts.size() < 2)
        return kFileNameError;
    if (!node->children.empty())
        return kMassStorageError;
    return Delete(parts);
}

int SimFileSystem::Delete(const QStringList& parts)
{
    if (parts.size() < 2)
        return Find(parts) ? kFileNameError : kFileNameNotFound;
    int error = kNoError;
    Node* parent = ParentOf(parts, &error);
    if (!parent)
        return error;
    const auto it = parent->children.find(Key(parts.last()));
    if (it == parent->children.end())
        return kFileNameNotFound;
    if (it->second->folder && !it->second->children.empty())
        return kMassStorageError;
    if (!MirrorRemove(parts, *it->second))
        return kMassStorageError;
    Forget(*it->second);
    parent->children.erase(it);
    return kNoError;
}

int SimFileSystem::DeleteAll(const QStringList& parts)
{
    Node* node = FindNode(parts);
    if (!node)
        return kFileNameNotFound;
    if (!node->folder || parts.isEmpty())
        return kFileNameError;
    // Nothing goes when something below would have to stay.
    for (const auto& entry : node->children) {
        const Node& child = *entry.second;
        if (child.folder && !HostHoldsOnlyLoaded(HostPath(parts + QStringList{child.name}), child))
            return kMassStorageError;
    }
    while (!node->children.empty()) {
        const auto it = node->children.begin();
        if (!MirrorRemove(parts + QStringList{it->second->name}, *it->second))
            return kMassStorageError;
        Forget(*it->second);
        node->children.erase(it);
    }
    return kNoError;
}

int SimFileSystem::CheckTarget(const QStringList& source, const Node& node, const QStringList& target,
                               Node** to)
{
    int error = kNoError;
    *to = ParentOf(target, &error);
    if (!*to)
        return error;
    // The destination is the entry's new path, never a folder to go into:
    // a name that is taken is refused, whatever it names.
    const bool sameEntry = target.size() == source.size() && IsPrefixOf(source, target);
    if (!sameEntry && ((*to)->children.count(Key(target.last())) || IsPrefixOf(source, target)))
        return kFileNameError;
    if (target.size() + Stats(node).height > kMaxDepth)
        return kFileNameError;
    return kNoError;
}

int SimFileSystem::Move(const QStringList& source, const QStringList& target)
{
    if (source.size() < 2 || target.size() < 2)
        return kFileNameError;
    int error = kNoError;
    Node* from = ParentOf(source, &error);
    if (!from)
        return error;
    const auto it = from->children.find(Key(source.last()));
    if (it == from->children.end())
        return kFileNameNotFound;
    Node* to = nullptr;
    if ((error = CheckTarget(source, *it->second, target, &to)))
        return error;
    QStringList stored = source;
    stored.last() = it->second->name;
    if (!MirrorRename(stored, target))
        return kMassStorageError;
    std::unique_ptr<Node> node = std::move(it->second);
    from->children.erase(it);
    node->name = target.last();
    to->children.emplace(Key(target.last()), std::move(node));
    return kNoError;
}

int SimFileSystem::Copy(const QStringList& source, const QStringList& target)
{
    if (source.isEmpty() || target.size() < 2)
        return kFileNameError;
    const Node* node = Find(source);
    if (!node)
        return kFileNameNotFound;
    Node* to = nullptr;
    if (const int error = CheckTarget(source, *node, target, &to))
        return error;
    if (IsPrefixOf(source, target))
        return kFileNameError; // a copy onto itself
    const TreeStats stats = Stats(*node);
    if (stats.bytes > Free() - m_reserved || m_entries + stats.entries + 1 > kMaxEntries)
        return kMediaFull;
    std::unique_ptr<Node> copy = Clone(*node);
    copy->name = target.last();
    if (!MirrorTree(target, *copy))
        return kMassStorageError;
    m_used += stats.bytes;
    m_entries += stats.entries + 1;
    to->children.emplace(Key(target.last()), std::move(copy));
    return kNoError;
}

int SimFileSystem::CheckWrite(const QStringList& parts, qint64 size, qint64* replaced) const
{
    *replaced = 0;
    if (parts.size() < 2)
        return kFileNameError;
    const Node* parent = Find(parts.mid(0, parts.size() - 1));
    if (!parent)
        return kFileNameNotFound;
    if (!parent->folder)
        return kFileNameError;
    if (const auto it = parent->children.find(Key(parts.last())); it != parent->children.end()) {
        if (it->second->folder)
            return kFileNameError;
        *replaced = it->second->data.size();
    } else if (m_entries >= kMaxEntries) {
        return kMediaFull;
    }
    // Blocks other connections are receiving keep their room.
    if (size - *replaced > Free() - m_reserved)
        return kMediaFull;
    return kNoError;
}

int SimFileSystem::Reserve(const QStringList& parts, qint64 size)
{
    qint64 replaced = 0;
    if (const int error = CheckWrite(parts, 0, &replaced))
        return error;
    if (size > Free() - m_reserved)
        return kMediaFull;
    m_reserved += size;
    return kNoError;
}

void SimFileSystem::Release(qint64 size)
{
    m_reserved = std::max<qint64>(m_reserved - size, 0);
}

int SimFileSystem::WriteFile(const QStringList& parts, const QByteArray& data)
{
    qint64 replaced = 0;
    if (const int error = CheckWrite(parts, data.size(), &replaced))
        return error;
    if (!MirrorFile(parts, data))
        return kMassStorageError;
    StoreFile(*FindNode(parts.mid(0, parts.size() - 1)), parts.last(), data);
    return kNoError;
}

void SimFileSystem::StoreFile(Node& parent, const QString& name, const QByteArray& data)
{
    const auto it = parent.children.find(Key(name));
    Node& node = it != parent.children.end() ? *it->second : AddChild(parent, name, false);
    m_used += data.size() - node.data.size();
    node.data = data;
    node.stamp = ++m_lastStamp;
}

int SimFileSystem::Open(const QStringList& parts, qint64* size, quint64* stamp) const
{
    const Node* node = Find(parts);
    if (!node)
        return kFileNameNotFound;
    if (node->folder)
        return kFileNameError;
    *size = node->data.size();
    *stamp = node->stamp;
    return kNoError;
}

int SimFileSystem::ReadChunk(const QStringList& parts, quint64 stamp, qint64 offset, qsizetype max,
                             QByteArray* out) const
{
    const Node* node = Find(parts);
    if (!node || node->folder || node->stamp != stamp || offset < 0 || offset > node->data.size())
        return kFileNameNotFound;
    *out = node->data.mid(qsizetype(offset), max);
    return kNoError;
}

int SimFileSystem::CheckFolder(const QStringList& parts) const
{
    const Node* node = Find(parts);
    if (!node)
        return kFileNameNotFound;
    return node->folder ? kNoError : kFileNameError;
}

QByteArray SimFileSystem::Catalog(const QStringList& folder) const
{
    QByteArray line = QByteArray::number(m_used) + ',' + QByteArray::number(Free());
    const Node* node = Find(folder);
    if (!node || !node->folder)
        return line;
    line.reserve(line.size() + qsizetype(node->children.size()) * 32);
    for (const auto& entry : node->children) {
        const Node& child = *entry.second;
        line += ",\"";
        line += child.name.toLatin1();
        line += child.folder ? QByteArrayLiteral("/\",") : QByteArrayLiteral("\",");
        line += TypeField(child);
        line += ',';
        line += QByteArray::number(child.folder ? 0 : child.data.size());
    }
    return line;
}

QStringList SimFileSystem::NewPackagePath()
{
    MakeFolders({u"DOWNLOAD"_s});
    QStringList path;
    do {
        path = QStringList{u"DOWNLOAD"_s, u"PKG%1.DNL"_s.arg(++m_packageCounter, 4, 10, QChar(u'0'))};
    } while (Find(path));
    return path;
}

bool SimFileSystem::AddFolder(const QStringList& parts)
{
    return MakeFolders(parts) != nullptr;
}

bool SimFileSystem::AddFile(const QStringList& parts, const QByteArray& data)
{
    if (parts.isEmpty())
        return false;
    Node* parent = MakeFolders(parts.mid(0, parts.size() - 1));
    if (!parent)
        return false;
    const auto existing = parent->children.find(Key(parts.last()));
    if (existing != parent->children.end() && existing->second->folder)
        return false;
    if (!MirrorFile(parts, data))
        return false;
    StoreFile(*parent, parts.last(), data);
    return true;
}

QStringList SimFileSystem::List(const QStringList& folder) const
{
    QStringList names;
    const Node* node = Find(folder);
    if (!node || !node->folder)
        return names;
    names.reserve(qsizetype(node->children.size()));
    for (const auto& entry : node->children)
        names.append(entry.second->folder ? entry.second->name + u'/' : entry.second->name);
    return names;
}

void SimFileSystem::Reset(qint64 capacity)
{
    m_root = std::make_unique<Node>();
    m_root->folder = true;
    m_used = 0;
    m_reserved = 0;
    m_entries = 0;
    m_capacity = capacity;
    m_hostRoot.clear();
    m_packageCounter = 0;
}

void SimFileSystem::Seed()
{
    struct Sample
    {
        const char* path;
        int size;
    };
    static const char* const kFolders[] = {"DOWNLOAD",       "LOGO",         "PATTERN", "PICTURE",
                                           "PRESET",         "SEQUENCE",     "SIGNAL",  "USER",
                                           "PATTERN/CUSTOM", "USER/PROJECTS"};
    static const Sample kFiles[] = {
        {"DOWNLOAD/UPDATE.DNL", 4096},    {"LOGO/BRAND.LGO", 1500},       {"PATTERN/COLORBAR.PIC", 3000},
        {"PATTERN/CUSTOM/RAMP.CMP", 750}, {"PICTURE/TESTCARD.PIC", 5000}, {"PICTURE/SPLASH.BMP", 2054},
        {"PRESET/FACTORY.PST", 512},      {"PRESET/MSTATE01.P01", 640},   {"SEQUENCE/DEMO.SEQ", 300},
        {"SIGNAL/1080P60.CMP", 1200},     {"SIGNAL/720P50.CMP", 1100},    {"USER/README.TXT", 120},
        {"USER/PROJECTS/NOTES.TXT", 80},
    };
    for (const char* folder : kFolders)
        AddFolder(QString::fromLatin1(folder).split(u'/'));
    for (const Sample& file : kFiles) {
        const QStringList parts = QString::fromLatin1(file.path).split(u'/');
        if (!Find(parts))
            AddFile(parts, SampleData(parts.last(), file.size));
    }
}

// --- host folder -----------------------------------------------------------

bool SimFileSystem::AttachHostFolder(const QString& dir, QString* error)
{
    if (!QDir().mkpath(dir)) {
        *error = u"cannot create folder %1"_s.arg(dir);
        return false;
    }
    const QString canonical = QFileInfo(dir).canonicalFilePath();
    if (canonical.isEmpty() || !QFileInfo(canonical).isDir()) {
        *error = u"not a folder: %1"_s.arg(dir);
        return false;
    }
    Reset(m_capacity);
    m_hostRoot = canonical;
    LoadHost(m_root.get(), canonical, 0);
    return true;
}

void SimFileSystem::LoadHost(Node* folder, const QString& dir, int depth)
{
    // The entries of this folder are `depth` + 1 names deep.
    if (depth >= kMaxDepth)
        return;
    // The host keeps names as its system likes (UTF-8 names on Linux); one
    // that is not a string of Latin-1 characters cannot be a generator name.
    const QFileInfoList entries = QDir(dir).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo& info : entries) {
        // Links could lead out of the folder: they are not part of the file system.
        if (info.isSymLink() || !IsValidName(info.fileName()) || folder->children.count(Key(info.fileName())))
            continue;
        auto node = std::make_unique<Node>();
        node->name = info.fileName();
        if (info.isDir()) {
            node->folder = true;
            LoadHost(node.get(), info.filePath(), depth + 1);
        } else if (info.isFile()) {
            QFile file(info.filePath());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            node->data = file.readAll();
            node->stamp = ++m_lastStamp;
            m_used += node->data.size();
        } else {
            continue;
        }
        folder->children.emplace(Key(node->name), std::move(node));
        ++m_entries;
    }
}

QString SimFileSystem::HostPath(const QStringList& parts) const
{
    // Existing entries keep the case they are stored with on disk.
    QString path = m_hostRoot;
    const Node* node = m_root.get();
    for (const QString& name : parts) {
        const Node* child = nullptr;
        if (node && node->folder) {
            const auto it = node->children.find(Key(name));
            if (it != node->children.end())
                child = it->second.get();
        }
        path += u'/' + (child ? child->name : name);
        node = child;
    }
    return path;
}

bool SimFileSystem::HostPathIsSafe(const QStringList& parts) const
{
    const QString full = HostPath(parts);
    QString path = m_hostRoot;
    for (const QStringView name : QStringView(full).mid(m_hostRoot.size() + 1).split(u'/')) {
        path += u'/' + name.toString();
        if (QFileInfo(path).isSymLink())
            return false;
    }
    return true;
}

bool SimFileSystem::MirrorFolder(const QStringList& parts)
{
    if (m_hostRoot.isEmpty())
        return true;
    if (!HostPathIsSafe(parts))
        return false;
    const QString path = HostPath(parts);
    return QFileInfo(path).isDir() || QDir().mkdir(path);
}

bool SimFileSystem::MirrorFile(const QStringList& parts, const QByteArray& data)
{
    if (m_hostRoot.isEmpty())
        return true;
    if (!HostPathIsSafe(parts))
        return false;
    QSaveFile file(HostPath(parts));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(data);
    return file.commit();
}

bool SimFileSystem::HostHoldsOnlyLoaded(const QString& path, const Node& node) const
{
    if (m_hostRoot.isEmpty() || !node.folder)
        return true;
    std::vector<std::pair<QString, const Node*>> stack{{path, &node}};
    while (!stack.empty()) {
        const auto [dir, folder] = stack.back();
        stack.pop_back();
        const QFileInfoList entries =
            QDir(dir).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        for (const QFileInfo& info : entries) {
            const auto it = folder->children.find(Key(info.fileName()));
            if (it == folder->children.end() || it->second->name != info.fileName() || info.isSymLink() ||
                info.isDir() != it->second->folder)
                return false;
            if (it->second->folder)
                stack.emplace_back(info.filePath(), it->second.get());
        }
    }
    return true;
}

bool SimFileSystem::MirrorRemove(const QStringList& parts, const Node& node)
{
    if (m_hostRoot.isEmpty())
        return true;
    if (!HostPathIsSafe(parts))
        return false;
    const QString path = HostPath(parts);
    if (!QFileInfo::exists(path))
        return true;
    if (!node.folder)
        return QFile::remove(path);
    if (!HostHoldsOnlyLoaded(path, node))
        return false;
    // Entry by entry, never the host folder as a whole: a folder's entries
    // come after it in this list and are removed before it.
    std::vector<std::pair<QString, bool>> order{{path, true}};
    std::vector<std::pair<QString, const Node*>> stack{{path, &node}};
    while (!stack.empty()) {
        const auto [dir, folder] = stack.back();
        stack.pop_back();
        for (const auto& entry : folder->children) {
            const QString child = dir + u'/' + entry.second->name;
            order.emplace_back(child, entry.second->folder);
            if (entry.second->folder)
                stack.emplace_back(child, entry.second.get());
        }
    }
    for (auto it = order.crbegin(); it != order.crend(); ++it) {
        if (!QFileInfo::exists(it->first))
            continue;
        if (!(it->second ? QDir().rmdir(it->first) : QFile::remove(it->first)))
            return false;
    }
    return true;
}

bool SimFileSystem::MirrorRename(const QStringList& from, const QStringList& to)
{
    if (m_hostRoot.isEmpty())
        return true;
    if (!HostPathIsSafe(from) || !HostPathIsSafe(to))
        return false;
    const QString source = HostPath(from);
    QString target = HostPath(to.mid(0, to.size() - 1)) + u'/' + to.last();
    if (source == target)
        return true;
    if (QString::compare(source, target, Qt::CaseInsensitive) == 0) {
        // A change of case only: go through a temporary name for case-insensitive disks.
        const QString temporary = source + u".rename"_s;
        return QDir().rename(source, temporary) && QDir().rename(temporary, target);
    }
    return QDir().rename(source, target);
}

bool SimFileSystem::MirrorTree(const QStringList& parts, const Node& node)
{
    if (m_hostRoot.isEmpty())
        return true;
    std::vector<std::pair<QStringList, const Node*>> stack{{parts, &node}};
    while (!stack.empty()) {
        const auto [path, current] = stack.back();
        stack.pop_back();
        if (!current->folder) {
            if (!MirrorFile(path, current->data))
                return false;
            continue;
        }
        if (!HostPathIsSafe(path) || !QDir().mkdir(HostPath(path)))
            return false;
        for (const auto& entry : current->children)
            stack.emplace_back(path + QStringList{entry.second->name}, entry.second.get());
    }
    return true;
}

} // namespace vqsim
