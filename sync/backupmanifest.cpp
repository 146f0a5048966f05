#include "sync/backupmanifest.h"

#include "sync/filehash.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace {

constexpr int kFormat = 1;

// A path below the backed-up folder that stays there.
bool IsRelativePath(const QString& path)
{
    if (path.isEmpty() || path.startsWith(u'/') || path.contains(u'\\') || path.contains(u':'))
        return false;
    const QStringList names = path.split(u'/');
    return std::none_of(names.cbegin(), names.cend(),
                        [](const QString& name) { return name.isEmpty() || name == u"." || name == u".."; });
}

} // namespace

QByteArray CBackupManifest::ToJson() const
{
    QJsonArray files;
    for (const CFile& file : m_files)
        files.append(QJsonObject{{u"path"_s, file.m_strPath},
                                 {u"size"_s, double(file.m_nSize)},
                                 {u"sha256"_s, CFileHash::Hex(file.m_sha256)}});
    const QJsonObject root{{u"format"_s, kFormat},     {u"generator"_s, m_generator.ToJson()},
                           {u"folder"_s, m_strFolder}, {u"taken"_s, m_taken.toString(Qt::ISODateWithMs)},
                           {u"tool"_s, m_strTool},     {u"folders"_s, QJsonArray::fromStringList(m_folders)},
                           {u"files"_s, files}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool CBackupManifest::FromJson(const QByteArray& text, CBackupManifest& manifest, QString* error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    const QJsonObject root = document.object();
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (parseError.error != QJsonParseError::NoError)
        return fail(parseError.errorString());
    if (root.value(u"format"_s).toInt() != kFormat || !root.value(u"files"_s).isArray())
        return fail(u"not a backup manifest"_s);
    CBackupManifest read;
    read.m_generator = CGeneratorIdentity::FromJson(root.value(u"generator"_s).toObject());
    read.m_strFolder = root.value(u"folder"_s).toString();
    read.m_taken = QDateTime::fromString(root.value(u"taken"_s).toString(), Qt::ISODateWithMs);
    read.m_strTool = root.value(u"tool"_s).toString();
    for (const QJsonValue& folder : root.value(u"folders"_s).toArray()) {
        if (!IsRelativePath(folder.toString()))
            return fail(u"a folder that is not a path below the backup: \"%1\""_s.arg(folder.toString()));
        read.m_folders.append(folder.toString());
    }
    for (const QJsonValue& value : root.value(u"files"_s).toArray()) {
        const QJsonObject file = value.toObject();
        CFile entry{file.value(u"path"_s).toString(), qint64(file.value(u"size"_s).toDouble(-1)),
                    CFileHash::FromHex(file.value(u"sha256"_s).toString())};
        if (!IsRelativePath(entry.m_strPath))
            return fail(u"a file that is not a path below the backup: \"%1\""_s.arg(entry.m_strPath));
        if (entry.m_nSize < 0 || entry.m_sha256.isEmpty())
            return fail(u"a file without its size and SHA-256: \"%1\""_s.arg(entry.m_strPath));
        read.m_files.append(entry);
    }
    manifest = read;
    return true;
}

QString CBackupManifest::PathIn(const QString& pcFolder)
{
    return QDir(pcFolder).filePath(FILE_NAME);
}

bool CBackupManifest::Write(const QString& pcFolder, QString* error) const
{
    QSaveFile file(PathIn(pcFolder));
    const QByteArray text = ToJson();
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool CBackupManifest::Read(const QString& pcFolder, CBackupManifest& manifest, QString* error)
{
    QFile file(PathIn(pcFolder));
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return FromJson(file.readAll(), manifest, error);
}
