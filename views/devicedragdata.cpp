#include "views/devicedragdata.h"

#include "views/mousebuttons.h"

#include <QDir>
#include <QPointer>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {
const QString TEXT_FORMAT = u"text/plain"_s;
const QString URI_LIST_FORMAT = u"text/uri-list"_s;
} // namespace

CDeviceDragData::CDeviceDragData(const QString& deviceFolder, const QList<CFileInfo>& entries,
                                 const QString& localFolder, Fetch fetch, std::function<void()> abandon)
    : m_strDeviceFolder(deviceFolder), m_strLocalFolder(localFolder), m_fetch(std::move(fetch)),
      m_abandon(std::move(abandon))
{
    const QString prefix = deviceFolder + (deviceFolder.endsWith(u'/') ? QString() : u"/"_s);
    for (const CFileInfo& entry : entries) {
        m_devicePaths.append(prefix + entry.GetName());
        if (!entry.IsFolder())
            m_files.append(entry);
    }
}

CDeviceDragData::~CDeviceDragData()
{
    // The system lets a drag go once its target is done with it, which a
    // target that stops waiting is, in the middle of the fetch.
    if (m_state == State::Fetching && m_abandon)
        m_abandon();
}

QStringList CDeviceDragData::DevicePaths() const
{
    return m_devicePaths;
}

QStringList CDeviceDragData::formats() const
{
    QStringList formats{DEVICE_PATHS_FORMAT};
    if (!m_files.isEmpty() && m_fetch && m_state != State::Failed)
        formats.append(URI_LIST_FORMAT);
    formats.append(TEXT_FORMAT);
    return formats;
}

bool CDeviceDragData::hasFormat(const QString& mimeType) const
{
    return formats().contains(mimeType);
}

QList<QUrl> CDeviceDragData::FileUrls() const
{
    QList<QUrl> urls;
    const QDir folder(m_strLocalFolder);
    for (const CFileInfo& file : m_files)
        urls.append(QUrl::fromLocalFile(folder.filePath(file.GetName())));
    return urls;
}

QVariant CDeviceDragData::retrieveData(const QString& mimeType, QMetaType type) const
{
    if (mimeType == DEVICE_PATHS_FORMAT)
        return m_devicePaths.join(u'\n').toUtf8();
    if (mimeType == TEXT_FORMAT)
        return m_devicePaths.join(u'\n');
    if (mimeType != URI_LIST_FORMAT || m_files.isEmpty() || !m_fetch)
        return {};

    // A target looking while the button is held learns where the files will
    // be; the drop itself (the button up) fetches them, once. A target that
    // asks again meanwhile gets nothing yet.
    if (m_state == State::NotAsked && !MouseButtonHeld()) {
        m_state = State::Fetching;
        // The window works while the files come; the drag may go meanwhile.
        const QPointer<const CDeviceDragData> alive(this);
        const bool fetched = m_fetch(m_strDeviceFolder, m_files, m_strLocalFolder);
        if (!alive)
            return {};
        m_state = fetched ? State::Fetched : State::Failed;
    }
    if (m_state == State::Fetching || m_state == State::Failed)
        return {};
    const QList<QUrl> urls = FileUrls();
    if (type.id() == QMetaType::QByteArray || type.id() == QMetaType::QString) {
        QByteArray lines;
        for (const QUrl& url : urls)
            lines += url.toEncoded() + "\r\n";
        return type.id() == QMetaType::QString ? QVariant(QString::fromUtf8(lines)) : QVariant(lines);
    }
    QVariantList list;
    for (const QUrl& url : urls)
        list.append(url);
    return list;
}
