#include "sync/syncrecord.h"

#include "sync/filehash.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr int kFormat = 1;
// Another run on the same generator holds the lock no longer than a write takes.
constexpr int kLockWaitMs = 10000;

// A file name that can be read as what it is for, and one per key.
QString FileName(const CGeneratorIdentity& generator)
{
    QString readable =
        u"%1-%2-%3-%4-%5"_s
            .arg(generator.m_strMaker, generator.m_strModel, generator.m_strSerial, generator.m_strHost)
            .arg(generator.m_nPort);
    for (QChar& c : readable) {
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != u'.' && c != u'-')
            c = u'_';
    }
    const QByteArray digest =
        QCryptographicHash::hash(generator.Key().toUtf8(), QCryptographicHash::Sha256).toHex().left(8);
    return readable.left(100) + u'-' + QString::fromLatin1(digest) + u".json"_s;
}

} // namespace

CSyncRecord::CSyncRecord(const CGeneratorIdentity& generator, const QString& folder)
    : m_generator(generator),
      m_strFile(QDir(folder.isEmpty() ? DefaultFolder() : folder).filePath(FileName(generator)))
{
}

QString CSyncRecord::DefaultFolder()
{
    const QString set = qEnvironmentVariable("VQ8_RECORD_DIR");
    if (!set.isEmpty())
        return set;
    // Shared by the window and vq8ctl, whose application names differ.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           u"/Veltrane/VQ8 Comm/records"_s;
}

QString CSyncRecord::Key(const QString& devicePath)
{
    return devicePath.toUpper();
}

bool CSyncRecord::Parse(const QByteArray& text, QHash<QString, CEntry>& entries, QString* problem)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    const QJsonObject root = document.object();
    if (error.error != QJsonParseError::NoError || !document.isObject() ||
        root.value(u"format"_s).toInt() != kFormat || !root.value(u"files"_s).isObject()) {
        if (problem)
            *problem = error.error != QJsonParseError::NoError ? error.errorString() : u"not a record"_s;
        return false;
    }
    const QJsonObject files = root.value(u"files"_s).toObject();
    for (auto it = files.constBegin(); it != files.constEnd(); ++it) {
        // An entry that does not read as one is left out: it only costs a read back.
        const QJsonObject file = it.value().toObject();
        const QByteArray sha = CFileHash::FromHex(file.value(u"sha256"_s).toString());
        const double size = file.value(u"size"_s).toDouble(-1);
        const bool unconfirmed = file.value(u"unconfirmed"_s).toBool();
        if ((sha.isEmpty() && !unconfirmed) || size < 0 || size != double(qint64(size)) ||
            !it.key().startsWith(u"/F0:/"_s))
            continue;
        entries.insert(Key(it.key()), {qint64(size), unconfirmed ? QByteArray() : sha, unconfirmed});
    }
    return true;
}

bool CSyncRecord::Load(QString* problem)
{
    m_entries.clear();
    m_changes.clear();
    QFile file(m_strFile);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        if (problem)
            *problem = file.errorString();
        return false;
    }
    QHash<QString, CEntry> read;
    if (!Parse(file.readAll(), read, problem))
        return false;
    m_entries = read;
    return true;
}

std::optional<CSyncRecord::CEntry> CSyncRecord::Find(const QString& devicePath) const
{
    const auto it = m_entries.constFind(Key(devicePath));
    if (it == m_entries.cend())
        return std::nullopt;
    return it.value();
}

void CSyncRecord::Apply(QHash<QString, CEntry>& entries, const CChange& change) const
{
    if (change.m_bBelow) {
        const QString prefix = change.m_strKey.endsWith(u'/') ? change.m_strKey : change.m_strKey + u'/';
        entries.removeIf([&](const auto& entry) { return entry.key().startsWith(prefix); });
    } else if (change.m_entry) {
        entries.insert(change.m_strKey, *change.m_entry);
    } else {
        entries.remove(change.m_strKey);
    }
}

void CSyncRecord::Set(const QString& devicePath, qint64 size, const QByteArray& sha256)
{
    const CChange change{Key(devicePath), false, CEntry{size, sha256}};
    Apply(m_entries, change);
    m_changes.append(change);
}

void CSyncRecord::SetUnconfirmed(const QString& devicePath, qint64 size)
{
    const CChange change{Key(devicePath), false, CEntry{size, QByteArray(), true}};
    Apply(m_entries, change);
    m_changes.append(change);
}

bool CSyncRecord::Forget(const QString& devicePath)
{
    // Another run may have set it since this one read the file: the change is kept all the same.
    const CChange change{Key(devicePath), false, std::nullopt};
    const qsizetype before = m_entries.size();
    Apply(m_entries, change);
    m_changes.append(change);
    return m_entries.size() != before;
}

bool CSyncRecord::ForgetBelow(const QString& deviceFolder)
{
    const CChange change{Key(deviceFolder), true, std::nullopt};
    const qsizetype before = m_entries.size();
    Apply(m_entries, change);
    m_changes.append(change);
    return m_entries.size() != before;
}

QByteArray CSyncRecord::Text(const QHash<QString, CEntry>& entries) const
{
    QJsonObject files;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it)
        files.insert(it.key(),
                     it.value().m_bUnconfirmed
                         ? QJsonObject{{u"size"_s, double(it.value().m_nSize)}, {u"unconfirmed"_s, true}}
                         : QJsonObject{{u"size"_s, double(it.value().m_nSize)},
                                       {u"sha256"_s, CFileHash::Hex(it.value().m_sha256)}});
    const QJsonObject root{
        {u"format"_s, kFormat}, {u"generator"_s, m_generator.ToJson()}, {u"files"_s, files}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool CSyncRecord::Save(QString* problem)
{
    if (m_changes.isEmpty())
        return true;
    const QFileInfo info(m_strFile);
    if (!QDir().mkpath(info.absolutePath())) {
        if (problem)
            *problem = u"cannot make the folder"_s;
        return false;
    }
    QLockFile lock(m_strFile + u".lock"_s);
    lock.setStaleLockTime(30000);
    if (!lock.tryLock(kLockWaitMs)) {
        if (problem)
            *problem = u"locked by another run"_s;
        return false;
    }
    // The file as others left it, with this run's changes on top.
    QHash<QString, CEntry> merged;
    QFile current(m_strFile);
    if (current.open(QIODevice::ReadOnly))
        Parse(current.readAll(), merged, nullptr);
    current.close();
    for (const CChange& change : std::as_const(m_changes))
        Apply(merged, change);
    QSaveFile file(m_strFile);
    const QByteArray text = Text(merged);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        if (problem)
            *problem = file.errorString();
        return false;
    }
    m_changes.clear();
    m_entries = merged;
    return true;
}
