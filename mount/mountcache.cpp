#include "mount/mountcache.h"

#include "mount/mountname.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

const QString kPendingList = u"pending.list"_s;

bool HasFiles(const QString& folder)
{
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    return it.hasNext();
}

// Moves `from` to `to`, making the folders on the way.
bool MoveInto(const QString& from, const QString& to)
{
    return QDir().mkpath(QFileInfo(to).absolutePath()) && QDir().rename(from, to);
}

} // namespace

CMountCache::CMountCache() = default;

CMountCache::~CMountCache() = default;

QString CMountCache::DefaultRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + u"/vq8ctl/mount"_s;
}

bool CMountCache::Open(const QString& root, const QString& host, quint16 port, QString* error,
                       QStringList* notes)
{
    static const QRegularExpression unsafe(u"[^A-Za-z0-9.-]"_s);
    m_strFolder =
        QDir(root).absoluteFilePath(QString(host).replace(unsafe, u"_"_s) + u'_' + QString::number(port));
    if (!QDir().mkpath(m_strFolder)) {
        *error = u"cannot make the cache folder \"%1\""_s.arg(m_strFolder);
        return false;
    }
    m_pLock = std::make_unique<QLockFile>(m_strFolder + u"/lock"_s);
    m_pLock->setStaleLockTime(0);
    if (!m_pLock->tryLock(0)) {
        qint64 pid = 0;
        QString hostName;
        QString application;
        m_pLock->getLockInfo(&pid, &hostName, &application);
        *error =
            u"another mount of this generator uses the cache folder \"%1\" (process %2)"_s.arg(m_strFolder)
                .arg(pid);
        m_pLock.reset();
        return false;
    }

    // What an earlier mount left: its unsent files are the user's, the rest
    // were copies.
    m_strUnsent = m_strFolder + u"/unsent/"_s + QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss"_s);
    const QString& unsent = m_strUnsent;
    QFile pending(m_strFolder + u'/' + kPendingList);
    if (pending.open(QIODevice::ReadOnly | QIODevice::Text)) {
        for (const QByteArray& line : pending.readAll().split('\n')) {
            const QList<QByteArray> fields = line.split('\t');
            if (fields.size() != 2)
                continue;
            const QString path = QString::fromUtf8(fields.at(0));
            const QString file = QString::fromUtf8(fields.at(1));
            const QString kept = unsent + u'/' + DeviceToRelativePcPath(path);
            if (QFileInfo::exists(file) && MoveInto(file, kept))
                notes->append(u"an earlier mount did not send \"%1\": kept as \"%2\""_s.arg(path, kept));
        }
        pending.close();
    }
    const QString local = m_strFolder + u"/local"_s;
    if (HasFiles(local) && MoveInto(local, unsent + u"/local"_s))
        notes->append(u"files an earlier mount kept on the PC only: in \"%1/local\""_s.arg(unsent));
    QDir(local).removeRecursively();
    QDir(m_strFolder + u"/files"_s).removeRecursively();
    QDir(m_strFolder + u"/outbox"_s).removeRecursively();
    QFile::remove(m_strFolder + u'/' + kPendingList);
    return true;
}

QString CMountCache::CopyPath(const QString& devicePath) const
{
    return m_strFolder + u"/files/"_s + DeviceToRelativePcPath(devicePath);
}

QString CMountCache::LocalPath(const QString& devicePath) const
{
    return m_strFolder + u"/local/"_s + DeviceToRelativePcPath(devicePath);
}

QString CMountCache::OutboxPath(const QString& devicePath) const
{
    return m_strFolder + u"/outbox/"_s + DeviceToRelativePcPath(devicePath);
}

QString CMountCache::KeepUnsent(const QString& local, const QString& devicePath)
{
    const QString base = m_strUnsent + u'/' + DeviceToRelativePcPath(devicePath);
    QString kept = base;
    for (int n = 1; QFileInfo::exists(kept); ++n)
        kept = base + u'.' + QString::number(n);
    return MoveInto(local, kept) ? kept : QString();
}

void CMountCache::DropCopies()
{
    // Files kept on the PC stay (a later mount moves them aside); empty folders go.
    if (!HasFiles(m_strFolder + u"/local"_s))
        QDir(m_strFolder + u"/local"_s).removeRecursively();
    QDir(m_strFolder + u"/files"_s).removeRecursively();
    QDir(m_strFolder + u"/outbox"_s).removeRecursively();
    QFile::remove(m_strFolder + u'/' + kPendingList);
}

void CMountCache::SavePending(const QStringList& lines)
{
    QSaveFile file(m_strFolder + u'/' + kPendingList);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(lines.join(u'\n').toUtf8() + '\n');
        file.commit();
    }
}
