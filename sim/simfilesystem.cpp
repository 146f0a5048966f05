#include "sim/simfilesystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

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

QByteArray TypeField(const CSimFileSystem::CNode& node)
{
    if (node.m_bFolder)
        return QByteArrayLiteral("DIR");
    const qsizetype dot = node.m_strName.lastIndexOf(u'.');
    const QString ext = dot < 0 ? QString() : node.m_strName.mid(dot + 1);
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
    case SIM_NO_ERROR:
        return u"No error"_s;
    case SIM_SYNTAX_ERROR:
        return u"Syntax error"_s;
    case SIM_DATA_TYPE_ERROR:
        return u"Data type error"_s;
    case SIM_PARAMETER_NOT_ALLOWED:
        return u"Parameter not allowed"_s;
    case SIM_MISSING_PARAMETER:
        return u"Missing parameter"_s;
    case SIM_UNDEFINED_HEADER:
        return u"Undefined header"_s;
    case SIM_INVALID_BLOCK_DATA:
        return u"Invalid block data"_s;
    case SIM_TOO_MUCH_DATA:
        return u"Too much data"_s;
    case SIM_MASS_STORAGE_ERROR:
        return u"Mass storage error"_s;
    case SIM_MEDIA_FULL:
        return u"Media full"_s;
    case SIM_FILE_NAME_NOT_FOUND:
        return u"File name not found"_s;
    case SIM_FILE_NAME_ERROR:
        return u"File name error"_s;
    case SIM_QUEUE_OVERFLOW:
        return u"Queue overflow"_s;
    default:
        return u"Error"_s;
    }
}

CSimFileSystem::CSimFileSystem(qint64 capacity) : m_pRoot(std::make_unique<CNode>()), m_nCapacity(capacity)
{
    m_pRoot->m_bFolder = true;
}

CSimFileSystem::~CSimFileSystem() = default;

CSimFileSystem::CNode::~CNode()
{
    // Each node freed here has had its children taken away first, so its
    // own destructor finds nothing to free: the depth of the tree never
    // reaches the stack.
    std::vector<std::unique_ptr<CNode>> pending;
    for (auto& entry : m_children)
        pending.push_back(std::move(entry.second));
    m_children.clear();
    while (!pending.empty()) {
        std::unique_ptr<CNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& entry : node->m_children)
            pending.push_back(std::move(entry.second));
        node->m_children.clear();
    }
}

int CSimFileSystem::SplitPath(const QString& path, QStringList* parts)
{
    parts->clear();
    static const QLatin1StringView ROOT_PREFIX("/F0:");
    if (!path.startsWith(ROOT_PREFIX, Qt::CaseInsensitive))
        return SIM_FILE_NAME_ERROR;
    QStringView rest = QStringView(path).mid(ROOT_PREFIX.size());
    if (rest.isEmpty() || rest == u"/")
        return SIM_NO_ERROR;
    if (!rest.startsWith(u'/'))
        return SIM_FILE_NAME_ERROR;
    rest = rest.mid(1);
    if (rest.endsWith(u'/'))
        rest.chop(1);
    for (const QStringView name : rest.split(u'/')) {
        if (!IsValidName(name.toString()))
            return SIM_FILE_NAME_ERROR;
        parts->append(name.toString());
    }
    if (parts->size() > MAX_DEPTH)
        return SIM_FILE_NAME_ERROR;
    return SIM_NO_ERROR;
}

bool CSimFileSystem::IsValidName(const QString& name)
{
    if (name.isEmpty() || name.size() > MAX_NAME_LENGTH || name == u"."_s || name == u".."_s)
        return false;
    static const QString FORBIDDEN_CHARACTERS = u"/\\\",:*?<>|"_s;
    for (const QChar c : name) {
        // A name is bytes on the wire: one Latin-1 character each.
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c.unicode() > 0xff ||
            FORBIDDEN_CHARACTERS.contains(c))
            return false;
    }
    return true;
}

QString CSimFileSystem::JoinPath(const QStringList& parts)
{
    return u"/F0:/"_s + parts.join(u'/');
}

const CSimFileSystem::CNode* CSimFileSystem::Find(const QStringList& parts) const
{
    const CNode* node = m_pRoot.get();
    for (const QString& name : parts) {
        if (!node->m_bFolder)
            return nullptr;
        const auto it = node->m_children.find(Key(name));
        if (it == node->m_children.end())
            return nullptr;
        node = it->second.get();
    }
    return node;
}

CSimFileSystem::CNode* CSimFileSystem::FindNode(const QStringList& parts)
{
    return const_cast<CNode*>(Find(parts));
}

CSimFileSystem::CNode* CSimFileSystem::ParentOf(const QStringList& parts, int* error)
{
    CNode* parent = FindNode(parts.mid(0, parts.size() - 1));
    if (!parent) {
        *error = SIM_FILE_NAME_NOT_FOUND;
        return nullptr;
    }
    if (!parent->m_bFolder) {
        *error = SIM_FILE_NAME_ERROR;
        return nullptr;
    }
    *error = SIM_NO_ERROR;
    return parent;
}

CSimFileSystem::CNode* CSimFileSystem::MakeFolders(const QStringList& parts)
{
    CNode* node = m_pRoot.get();
    QStringList done;
    for (const QString& name : parts) {
        if (!node->m_bFolder)
            return nullptr;
        done.append(name);
        const auto it = node->m_children.find(Key(name));
        if (it != node->m_children.end()) {
            node = it->second.get();
            continue;
        }
        if (!MirrorFolder(done))
            return nullptr;
        node = &AddChild(*node, name, true);
    }
    return node->m_bFolder ? node : nullptr;
}

CSimFileSystem::CNode& CSimFileSystem::AddChild(CNode& parent, const QString& name, bool folder)
{
    auto node = std::make_unique<CNode>();
    node->m_strName = name;
    node->m_bFolder = folder;
    Restamp(*node);
    CNode& added = *node;
    parent.m_children[Key(name)] = std::move(node);
    Restamp(parent);
    ++m_nEntries;
    return added;
}

CSimFileSystem::CTreeStats CSimFileSystem::Stats(const CNode& node)
{
    CTreeStats stats;
    std::vector<std::pair<const CNode*, int>> stack{{&node, 0}};
    while (!stack.empty()) {
        const auto [current, depth] = stack.back();
        stack.pop_back();
        stats.m_nBytes += current->m_data.size();
        stats.m_nHeight = std::max(stats.m_nHeight, depth);
        for (const auto& child : current->m_children)
            stack.emplace_back(child.second.get(), depth + 1);
        stats.m_nEntries += qint64(current->m_children.size());
    }
    return stats;
}

std::unique_ptr<CSimFileSystem::CNode> CSimFileSystem::Clone(const CNode& node)
{
    const auto copyOf = [](const CNode& source) {
        auto copy = std::make_unique<CNode>();
        copy->m_strName = source.m_strName;
        copy->m_bFolder = source.m_bFolder;
        copy->m_data = source.m_data;
        copy->m_nStamp = source.m_nStamp;
        return copy;
    };
    std::unique_ptr<CNode> top = copyOf(node);
    std::vector<std::pair<const CNode*, CNode*>> stack{{&node, top.get()}};
    while (!stack.empty()) {
        const auto [source, copy] = stack.back();
        stack.pop_back();
        for (const auto& [key, child] : source->m_children) {
            std::unique_ptr<CNode> childCopy = copyOf(*child);
            stack.emplace_back(child.get(), childCopy.get());
            copy->m_children.emplace(key, std::move(childCopy));
        }
    }
    return top;
}

void CSimFileSystem::Forget(const CNode& node)
{
    const CTreeStats stats = Stats(node);
    m_nUsed -= stats.m_nBytes;
    m_nEntries -= stats.m_nEntries + 1;
}

int CSimFileSystem::MakeFolder(const QStringList& parts)
{
    if (parts.size() < 2)
        return SIM_FILE_NAME_ERROR;
    int error = SIM_NO_ERROR;
    CNode* parent = ParentOf(parts, &error);
    if (!parent)
        return error;
    if (parent->m_children.count(Key(parts.last())))
        return SIM_FILE_NAME_ERROR;
    if (m_nEntries >= MAX_ENTRIES)
        return SIM_MEDIA_FULL;
    if (!MirrorFolder(parts))
        return SIM_MASS_STORAGE_ERROR;
    AddChild(*parent, parts.last(), true);
    return SIM_NO_ERROR;
}

int CSimFileSystem::RemoveFolder(const QStringList& parts)
{
    const CNode* node = Find(parts);
    if (!node)
        return SIM_FILE_NAME_NOT_FOUND;
    if (!node->m_bFolder || parts.size() < 2)
        return SIM_FILE_NAME_ERROR;
    if (!node->m_children.empty())
        return SIM_MASS_STORAGE_ERROR;
    return Delete(parts);
}

int CSimFileSystem::Delete(const QStringList& parts)
{
    if (parts.size() < 2)
        return Find(parts) ? SIM_FILE_NAME_ERROR : SIM_FILE_NAME_NOT_FOUND;
    int error = SIM_NO_ERROR;
    CNode* parent = ParentOf(parts, &error);
    if (!parent)
        return error;
    const auto it = parent->m_children.find(Key(parts.last()));
    if (it == parent->m_children.end())
        return SIM_FILE_NAME_NOT_FOUND;
    if (it->second->m_bFolder && !it->second->m_children.empty())
        return SIM_MASS_STORAGE_ERROR;
    if (!MirrorRemove(parts, *it->second))
        return SIM_MASS_STORAGE_ERROR;
    Forget(*it->second);
    parent->m_children.erase(it);
    Restamp(*parent);
    return SIM_NO_ERROR;
}

int CSimFileSystem::DeleteAll(const QStringList& parts)
{
    CNode* node = FindNode(parts);
    if (!node)
        return SIM_FILE_NAME_NOT_FOUND;
    if (!node->m_bFolder || parts.isEmpty())
        return SIM_FILE_NAME_ERROR;
    // Nothing goes when something below would have to stay.
    for (const auto& entry : node->m_children) {
        const CNode& child = *entry.second;
        if (child.m_bFolder && !HostHoldsOnlyLoaded(HostPath(parts + QStringList{child.m_strName}), child))
            return SIM_MASS_STORAGE_ERROR;
    }
    while (!node->m_children.empty()) {
        const auto it = node->m_children.begin();
        if (!MirrorRemove(parts + QStringList{it->second->m_strName}, *it->second))
            return SIM_MASS_STORAGE_ERROR;
        Forget(*it->second);
        node->m_children.erase(it);
        Restamp(*node);
    }
    return SIM_NO_ERROR;
}

int CSimFileSystem::CheckTarget(const QStringList& source, const CNode& node, const QStringList& target,
                                CNode** to)
{
    int error = SIM_NO_ERROR;
    *to = ParentOf(target, &error);
    if (!*to)
        return error;
    // The destination is the entry's new path, never a folder to go into:
    // a name that is taken is refused, whatever it names.
    const bool sameEntry = target.size() == source.size() && IsPrefixOf(source, target);
    if (!sameEntry && ((*to)->m_children.count(Key(target.last())) || IsPrefixOf(source, target)))
        return SIM_FILE_NAME_ERROR;
    if (target.size() + Stats(node).m_nHeight > MAX_DEPTH)
        return SIM_FILE_NAME_ERROR;
    return SIM_NO_ERROR;
}

int CSimFileSystem::Move(const QStringList& source, const QStringList& target)
{
    if (source.size() < 2 || target.size() < 2)
        return SIM_FILE_NAME_ERROR;
    int error = SIM_NO_ERROR;
    CNode* from = ParentOf(source, &error);
    if (!from)
        return error;
    const auto it = from->m_children.find(Key(source.last()));
    if (it == from->m_children.end())
        return SIM_FILE_NAME_NOT_FOUND;
    CNode* to = nullptr;
    if ((error = CheckTarget(source, *it->second, target, &to)))
        return error;
    QStringList stored = source;
    stored.last() = it->second->m_strName;
    if (!MirrorRename(stored, target))
        return SIM_MASS_STORAGE_ERROR;
    std::unique_ptr<CNode> node = std::move(it->second);
    from->m_children.erase(it);
    node->m_strName = target.last();
    to->m_children.emplace(Key(target.last()), std::move(node));
    Restamp(*from);
    Restamp(*to);
    return SIM_NO_ERROR;
}

int CSimFileSystem::Copy(const QStringList& source, const QStringList& target)
{
    if (source.isEmpty() || target.size() < 2)
        return SIM_FILE_NAME_ERROR;
    const CNode* node = Find(source);
    if (!node)
        return SIM_FILE_NAME_NOT_FOUND;
    CNode* to = nullptr;
    if (const int error = CheckTarget(source, *node, target, &to))
        return error;
    if (IsPrefixOf(source, target))
        return SIM_FILE_NAME_ERROR; // a copy onto itself
    const CTreeStats stats = Stats(*node);
    if (stats.m_nBytes > Free() || m_nEntries + stats.m_nEntries + 1 > MAX_ENTRIES)
        return SIM_MEDIA_FULL;
    std::unique_ptr<CNode> copy = Clone(*node);
    copy->m_strName = target.last();
    if (!MirrorTree(target, *copy))
        return SIM_MASS_STORAGE_ERROR;
    m_nUsed += stats.m_nBytes;
    m_nEntries += stats.m_nEntries + 1;
    to->m_children.emplace(Key(target.last()), std::move(copy));
    Restamp(*to);
    return SIM_NO_ERROR;
}

int CSimFileSystem::CheckWrite(const QStringList& parts, qint64 size, qint64* replaced) const
{
    *replaced = 0;
    if (parts.size() < 2)
        return SIM_FILE_NAME_ERROR;
    const CNode* parent = Find(parts.mid(0, parts.size() - 1));
    if (!parent)
        return SIM_FILE_NAME_NOT_FOUND;
    if (!parent->m_bFolder)
        return SIM_FILE_NAME_ERROR;
    if (const auto it = parent->m_children.find(Key(parts.last())); it != parent->m_children.end()) {
        if (it->second->m_bFolder)
            return SIM_FILE_NAME_ERROR;
        *replaced = it->second->m_data.size();
    } else if (m_nEntries >= MAX_ENTRIES) {
        return SIM_MEDIA_FULL;
    }
    // Blocks other connections are receiving keep their room.
    if (size - *replaced > Free())
        return SIM_MEDIA_FULL;
    return SIM_NO_ERROR;
}

int CSimFileSystem::Reserve(const QStringList& parts, qint64 size)
{
    qint64 replaced = 0;
    if (const int error = CheckWrite(parts, 0, &replaced))
        return error;
    if (size > Free())
        return SIM_MEDIA_FULL;
    m_nReserved += size;
    return SIM_NO_ERROR;
}

void CSimFileSystem::Release(qint64 size)
{
    m_nReserved = std::max<qint64>(m_nReserved - size, 0);
}

int CSimFileSystem::WriteFile(const QStringList& parts, const QByteArray& data)
{
    qint64 replaced = 0;
    if (const int error = CheckWrite(parts, data.size(), &replaced))
        return error;
    if (!MirrorFile(parts, data))
        return SIM_MASS_STORAGE_ERROR;
    StoreFile(*FindNode(parts.mid(0, parts.size() - 1)), parts.last(), data);
    return SIM_NO_ERROR;
}

void CSimFileSystem::StoreFile(CNode& parent, const QString& name, const QByteArray& data)
{
    const auto it = parent.m_children.find(Key(name));
    CNode& node = it != parent.m_children.end() ? *it->second : AddChild(parent, name, false);
    if (data.size() != node.m_data.size())
        Restamp(parent);
    m_nUsed += data.size() - node.m_data.size();
    node.m_data = data;
    Restamp(node);
}

int CSimFileSystem::Open(const QStringList& parts, qint64* size, quint64* stamp) const
{
    const CNode* node = Find(parts);
    if (!node)
        return SIM_FILE_NAME_NOT_FOUND;
    if (node->m_bFolder)
        return SIM_FILE_NAME_ERROR;
    *size = node->m_data.size();
    *stamp = node->m_nStamp;
    return SIM_NO_ERROR;
}

int CSimFileSystem::ReadChunk(const QStringList& parts, quint64 stamp, qint64 offset, qsizetype max,
                              QByteArray* out) const
{
    const CNode* node = Find(parts);
    if (!node || node->m_bFolder || node->m_nStamp != stamp || offset < 0 || offset > node->m_data.size())
        return SIM_FILE_NAME_NOT_FOUND;
    *out = node->m_data.mid(qsizetype(offset), max);
    return SIM_NO_ERROR;
}

int CSimFileSystem::CheckFolder(const QStringList& parts) const
{
    const CNode* node = Find(parts);
    if (!node)
        return SIM_FILE_NAME_NOT_FOUND;
    return node->m_bFolder ? SIM_NO_ERROR : SIM_FILE_NAME_ERROR;
}

QByteArray CSimFileSystem::Figures() const
{
    return QByteArray::number(m_nUsed) + ',' + QByteArray::number(Free());
}

int CSimFileSystem::BeginCatalog(const QStringList& folder, CCatalogCursor* cursor) const
{
    if (const int error = CheckFolder(folder))
        return error;
    *cursor = CCatalogCursor();
    cursor->m_folder = folder;
    cursor->m_nStamp = Find(folder)->m_nStamp;
    cursor->m_head = Figures();
    return SIM_NO_ERROR;
}

int CSimFileSystem::NextCatalogPiece(CCatalogCursor* cursor, qsizetype max, QByteArray* out, bool* done) const
{
    const CNode* node = Find(cursor->m_folder);
    if (!node || !node->m_bFolder || node->m_nStamp != cursor->m_nStamp)
        return SIM_FILE_NAME_NOT_FOUND;
    *out = std::exchange(cursor->m_head, QByteArray());
    auto it =
        cursor->m_bStarted ? node->m_children.upper_bound(cursor->m_strLastKey) : node->m_children.begin();
    for (; it != node->m_children.end() && out->size() < max; ++it) {
        const CNode& child = *it->second;
        *out += ",\"";
        *out += child.m_strName.toLatin1();
        *out += child.m_bFolder ? QByteArrayLiteral("/\",") : QByteArrayLiteral("\",");
        *out += TypeField(child);
        *out += ',';
        *out += QByteArray::number(child.m_bFolder ? 0 : child.m_data.size());
        cursor->m_strLastKey = it->first;
        cursor->m_bStarted = true;
    }
    *done = it == node->m_children.end();
    return SIM_NO_ERROR;
}

QStringList CSimFileSystem::NewPackagePath()
{
    MakeFolders({u"DOWNLOAD"_s});
    QStringList path;
    do {
        path = QStringList{u"DOWNLOAD"_s, u"PKG%1.DNL"_s.arg(++m_nPackageCounter, 4, 10, QChar(u'0'))};
    } while (Find(path));
    return path;
}

bool CSimFileSystem::AddFolder(const QStringList& parts)
{
    return MakeFolders(parts) != nullptr;
}

bool CSimFileSystem::AddFile(const QStringList& parts, const QByteArray& data)
{
    if (parts.isEmpty())
        return false;
    CNode* parent = MakeFolders(parts.mid(0, parts.size() - 1));
    if (!parent)
        return false;
    const auto existing = parent->m_children.find(Key(parts.last()));
    if (existing != parent->m_children.end() && existing->second->m_bFolder)
        return false;
    if (!MirrorFile(parts, data))
        return false;
    StoreFile(*parent, parts.last(), data);
    return true;
}

QStringList CSimFileSystem::List(const QStringList& folder) const
{
    QStringList names;
    const CNode* node = Find(folder);
    if (!node || !node->m_bFolder)
        return names;
    names.reserve(qsizetype(node->m_children.size()));
    for (const auto& entry : node->m_children)
        names.append(entry.second->m_bFolder ? entry.second->m_strName + u'/' : entry.second->m_strName);
    return names;
}

void CSimFileSystem::Reset(qint64 capacity)
{
    m_pRoot = std::make_unique<CNode>();
    m_pRoot->m_bFolder = true;
    m_nUsed = 0;
    m_nReserved = 0;
    m_nEntries = 0;
    m_nCapacity = capacity;
    m_strHostRoot.clear();
    m_nPackageCounter = 0;
}

void CSimFileSystem::Seed(bool files)
{
    struct CSample
    {
        const char* m_pPath;
        int m_nSize;
    };
    static const char* const SEED_FOLDERS[] = {"DOWNLOAD",       "LOGO",         "PATTERN", "PICTURE",
                                               "PRESET",         "SEQUENCE",     "SIGNAL",  "USER",
                                               "PATTERN/CUSTOM", "USER/PROJECTS"};
    static const CSample SEED_FILES[] = {
        {"DOWNLOAD/UPDATE.DNL", 4096},    {"LOGO/BRAND.LGO", 1500},       {"PATTERN/COLORBAR.PIC", 3000},
        {"PATTERN/CUSTOM/RAMP.CMP", 750}, {"PICTURE/TESTCARD.PIC", 5000}, {"PICTURE/SPLASH.BMP", 2054},
        {"PRESET/FACTORY.PST", 512},      {"PRESET/MSTATE01.P01", 640},   {"SEQUENCE/DEMO.SEQ", 300},
        {"SIGNAL/1080P60.CMP", 1200},     {"SIGNAL/720P50.CMP", 1100},    {"USER/README.TXT", 120},
        {"USER/PROJECTS/NOTES.TXT", 80},
    };
    for (const char* folder : SEED_FOLDERS) {
        const QStringList parts = QString::fromLatin1(folder).split(u'/');
        if (files || parts.size() == 1)
            AddFolder(parts);
    }
    for (const CSample& file : SEED_FILES) {
        if (!files)
            break;
        const QStringList parts = QString::fromLatin1(file.m_pPath).split(u'/');
        if (!Find(parts))
            AddFile(parts, SampleData(parts.last(), file.m_nSize));
    }
}

// --- host folder -----------------------------------------------------------

bool CSimFileSystem::AttachHostFolder(const QString& dir, QString* error)
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
    Reset(m_nCapacity);
    m_strHostRoot = canonical;
    LoadHost(m_pRoot.get(), canonical, 0);
    return true;
}

void CSimFileSystem::LoadHost(CNode* folder, const QString& dir, int depth)
{
    // The entries of this folder are `depth` + 1 names deep.
    if (depth >= MAX_DEPTH)
        return;
    // The host keeps names as its system likes (UTF-8 names on Linux); one
    // that is not a string of Latin-1 characters cannot be a generator name.
    const QFileInfoList entries = QDir(dir).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo& info : entries) {
        // Links could lead out of the folder: they are not part of the file system.
        if (info.isSymLink() || !IsValidName(info.fileName()) ||
            folder->m_children.count(Key(info.fileName())))
            continue;
        auto node = std::make_unique<CNode>();
        node->m_strName = info.fileName();
        Restamp(*node);
        if (info.isDir()) {
            node->m_bFolder = true;
            LoadHost(node.get(), info.filePath(), depth + 1);
        } else if (info.isFile()) {
            QFile file(info.filePath());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            node->m_data = file.readAll();
            m_nUsed += node->m_data.size();
        } else {
            continue;
        }
        folder->m_children.emplace(Key(node->m_strName), std::move(node));
        ++m_nEntries;
    }
}

QString CSimFileSystem::HostPath(const QStringList& parts) const
{
    // Existing entries keep the case they are stored with on disk.
    QString path = m_strHostRoot;
    const CNode* node = m_pRoot.get();
    for (const QString& name : parts) {
        const CNode* child = nullptr;
        if (node && node->m_bFolder) {
            const auto it = node->m_children.find(Key(name));
            if (it != node->m_children.end())
                child = it->second.get();
        }
        path += u'/' + (child ? child->m_strName : name);
        node = child;
    }
    return path;
}

bool CSimFileSystem::HostPathIsSafe(const QStringList& parts) const
{
    const QString full = HostPath(parts);
    QString path = m_strHostRoot;
    for (const QStringView name : QStringView(full).mid(m_strHostRoot.size() + 1).split(u'/')) {
        path += u'/' + name.toString();
        if (QFileInfo(path).isSymLink())
            return false;
    }
    return true;
}

bool CSimFileSystem::MirrorFolder(const QStringList& parts)
{
    if (m_strHostRoot.isEmpty())
        return true;
    if (!HostPathIsSafe(parts))
        return false;
    const QString path = HostPath(parts);
    return QFileInfo(path).isDir() || QDir().mkdir(path);
}

bool CSimFileSystem::MirrorFile(const QStringList& parts, const QByteArray& data)
{
    if (m_strHostRoot.isEmpty())
        return true;
    if (!HostPathIsSafe(parts))
        return false;
    QSaveFile file(HostPath(parts));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(data);
    return file.commit();
}

bool CSimFileSystem::HostHoldsOnlyLoaded(const QString& path, const CNode& node) const
{
    if (m_strHostRoot.isEmpty() || !node.m_bFolder)
        return true;
    std::vector<std::pair<QString, const CNode*>> stack{{path, &node}};
    while (!stack.empty()) {
        const auto [dir, folder] = stack.back();
        stack.pop_back();
        const QFileInfoList entries =
            QDir(dir).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        for (const QFileInfo& info : entries) {
            const auto it = folder->m_children.find(Key(info.fileName()));
            if (it == folder->m_children.end() || it->second->m_strName != info.fileName() ||
                info.isSymLink() || info.isDir() != it->second->m_bFolder)
                return false;
            if (it->second->m_bFolder)
                stack.emplace_back(info.filePath(), it->second.get());
        }
    }
    return true;
}

bool CSimFileSystem::MirrorRemove(const QStringList& parts, const CNode& node)
{
    if (m_strHostRoot.isEmpty())
        return true;
    if (!HostPathIsSafe(parts))
        return false;
    const QString path = HostPath(parts);
    if (!QFileInfo::exists(path))
        return true;
    if (!node.m_bFolder)
        return QFile::remove(path);
    if (!HostHoldsOnlyLoaded(path, node))
        return false;
    // Entry by entry, never the host folder as a whole: a folder's entries
    // come after it in this list and are removed before it.
    std::vector<std::pair<QString, bool>> order{{path, true}};
    std::vector<std::pair<QString, const CNode*>> stack{{path, &node}};
    while (!stack.empty()) {
        const auto [dir, folder] = stack.back();
        stack.pop_back();
        for (const auto& entry : folder->m_children) {
            const QString child = dir + u'/' + entry.second->m_strName;
            order.emplace_back(child, entry.second->m_bFolder);
            if (entry.second->m_bFolder)
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

bool CSimFileSystem::MirrorRename(const QStringList& from, const QStringList& to)
{
    if (m_strHostRoot.isEmpty())
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

bool CSimFileSystem::MirrorTree(const QStringList& parts, const CNode& node)
{
    if (m_strHostRoot.isEmpty())
        return true;
    std::vector<std::pair<QStringList, const CNode*>> stack{{parts, &node}};
    while (!stack.empty()) {
        const auto [path, current] = stack.back();
        stack.pop_back();
        if (!current->m_bFolder) {
            if (!MirrorFile(path, current->m_data))
                return false;
            continue;
        }
        if (!HostPathIsSafe(path) || !QDir().mkdir(HostPath(path)))
            return false;
        for (const auto& entry : current->m_children)
            stack.emplace_back(path + QStringList{entry.second->m_strName}, entry.second.get());
    }
    return true;
}
