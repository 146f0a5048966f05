// The list's drag-and-drop: drops of PC files and of device paths onto
// either pane.
#include "views/uilistview.h"

#include "link/channelwait.h"
#include "link/devicename.h"
#include "link/stringtable.h"
#include "link/transferchain.h"
#include "link/vqcomm.h"
#include "views/devicedragdata.h"
#include "views/filelistmodel.h"
#include "views/uitreeview.h"
#include "views/veskdoc.h"

#include <QAbstractItemView>
#include <QDir>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QMimeData>
#include <QPointer>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

bool CUiListView::IsDroppable(const QMimeData* mime)
{
    if (!mime)
        return false;
    // A drag of the list's own entries: its file URLs are never looked at.
    if (mime->hasFormat(CDeviceDragData::DEVICE_PATHS_FORMAT))
        return true;
    if (mime->hasUrls()) {
        const QList<QUrl> urls = mime->urls();
        return std::any_of(urls.cbegin(), urls.cend(), [](const QUrl& url) { return url.isLocalFile(); });
    }
    return mime->hasText();
}

QStringList CUiListView::DroppedDevicePaths(const QMimeData* mime)
{
    const QString text = mime->hasFormat(CDeviceDragData::DEVICE_PATHS_FORMAT)
                             ? QString::fromUtf8(mime->data(CDeviceDragData::DEVICE_PATHS_FORMAT))
                             : mime->text();
    // One a line (a drag of several list entries).
    QStringList sources;
    const QStringList lines = text.split(u'\n', Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        if (!line.trimmed().isEmpty())
            sources.append(line.trimmed());
    }
    return sources;
}

bool CUiListView::CanDropAt(int index) const
{
    // Nothing is taken while the channel is closed: disconnected, or a batch runs.
    const CVQComm* comm = Comm();
    if (!comm || !comm->IsConnected())
        return false;
    if (index < 0)
        return !m_strCurrentPath.isEmpty() && m_strCurrentPath != DEVICE_ROOT_PATH;
    const CFileInfo* info = m_pModel->Entry(index);
    return info && info->IsFolder();
}

void CUiListView::SetDropItem(int index)
{
    m_nDropItem = index;
    m_pModel->SetDropRow(index);
}

QString CUiListView::GetDropTargetPath() const
{
    QString path = m_strCurrentPath;
    const CFileInfo* info = m_pModel->Entry(m_nDropItem);
    if (info && info->IsFolder()) {
        if (path != DEVICE_ROOT_PATH)
            path += u'/';
        path += info->GetName();
    }
    return path;
}

int CUiListView::DropDeviceItem(const QString& source, const QString& targetFolder, int effect)
{
    return DropDeviceItems({source}, targetFolder, effect) == 1 ? 1 : 0;
}

bool CUiListView::CheckDeviceCopy(const QString& source, const QString& destination,
                                  const std::function<QStringList()>& existing, bool more, bool& stop)
{
    CVQComm* comm = Comm();
    stop = true;
    // Names on the generator ignore case.
    const QString from = source.toUpper();
    const QString to = destination.toUpper();
    if (to.startsWith(from + u'/')) {
        // The generator would refuse it with a bare "File name error".
        comm->ShowError(PathMessage(u"A folder cannot be copied into itself"_s, source));
        return false;
    }
    const QString name = destination.mid(destination.lastIndexOf(u'/') + 1);
    if (from != to && existing().contains(name, Qt::CaseInsensitive)) {
        // As before sending PC files: the entry there stays, and the user
        // may go on with the others.
        const int style = more ? MB_OKCANCEL | MB_ICONSTOP : MB_OK | MB_ICONSTOP;
        stop =
            comm->ShowError(PathMessage(u"This file already exists"_s, destination), style) != IDOK || !more;
        return false;
    }
    stop = false;
    return true;
}

int CUiListView::DropDeviceItems(const QStringList& sources, const QString& targetFolder, int effect)
{
    CVQComm* comm = Comm();
    if (!comm)
        return 0;
    // The names in the target folder, for the check before each copy: the
    // list's own when it shows that folder, else one listing of it, read
    // when the first entry is about to go.
    QStringList names;
    bool listed = false;
    const auto existing = [&]() -> QStringList {
        if (std::exchange(listed, true))
            return names;
        if (targetFolder == m_strCurrentPath) {
            for (int row = 0; row < m_pModel->Count(); ++row)
                names.append(m_pModel->Entry(row)->GetName());
            return names;
        }
        CFileInfo entry;
        for (int more = comm->ReadCatalog(targetFolder, entry); more; more = comm->NextCatalogEntry(entry))
            names.append(entry.GetName());
        comm->EndCatalog();
        return names;
    };
    int done = 0;
    bool tried = false;
    bool arrived = false;
    for (qsizetype i = 0; i < sources.size(); ++i) {
        const QString& source = sources.at(i);
        const qsizetype slash = source.lastIndexOf(u'/');
        // A text that names no entry does nothing, and ends the drop there.
        if (slash <= 0 || slash == source.size() - 1)
            break;
        const QString destination =
            targetFolder + (targetFolder.endsWith(u'/') ? QString() : u"/"_s) + source.mid(slash + 1);
        bool stop = false;
        if (effect == DROP_COPY &&
            !CheckDeviceCopy(source, destination, existing, i + 1 < sources.size(), stop)) {
            if (stop)
                break;
            continue;
        }
        tried = true;
        int result = 0;
        if (effect == DROP_COPY)
            result = comm->CopyEntry(source, destination);
        else if (effect == DROP_MOVE)
            result = comm->MoveEntry(source, destination);
        // The generator's refusal has been shown; the entries after it stay.
        if (result != 1)
            break;
        ++done;
        arrived = arrived || source != destination;
    }
    if (effect == DROP_MOVE && tried)
        Refresh();
    // The folder that received the entries shows them.
    if (arrived) {
        if (CUiTreeView* tree = m_pDoc ? m_pDoc->m_pTreeView : nullptr)
            tree->FolderChanged(targetFolder);
    }
    return done;
}

void CUiListView::DropPcPaths(const QStringList& paths, const QString& targetFolder)
{
    CVQComm* comm = Comm();
    // A drop copies files, not folders: a folder's files are sent by
    // dropping them, or with "vq8ctl put -r".
    QStringList files;
    QStringList folders;
    for (const QString& path : paths)
        (QFileInfo(path).isDir() ? folders : files).append(path);
    if (!folders.isEmpty()) {
        QStringList lines;
        for (const QString& folder : std::as_const(folders))
            lines.append(PathMessage(FOLDER_NOT_COPIED_TEXT, folder));
        if (files.isEmpty()) {
            comm->ShowError(lines.join(u'\n'));
            return;
        }
        lines.append(u"\nOK sends the files dropped with it; Cancel sends nothing."_s);
        if (comm->ShowError(lines.join(u'\n'), MB_OKCANCEL | MB_ICONSTOP) != IDOK)
            return;
    }
    comm->PrepareDownload(files, targetFolder);
}

void CUiListView::DropData(const QMimeData* mime, const QString& targetFolder)
{
    CVQComm* comm = Comm();
    if (!comm || !mime)
        return;
    // The batch asks its questions once the drag is over: a dialog inside
    // the drop would hold the desktop's drag.
    if (!mime->hasFormat(CDeviceDragData::DEVICE_PATHS_FORMAT) && mime->hasUrls()) {
        QStringList paths;
        const QList<QUrl> urls = mime->urls();
        for (const QUrl& url : urls) {
            if (url.isLocalFile())
                paths.append(QDir::toNativeSeparators(url.toLocalFile()));
        }
        if (!paths.isEmpty())
            CChannelWait::Post(this, [this, paths, targetFolder] { DropPcPaths(paths, targetFolder); });
        return;
    }
    if (mime->hasFormat(CDeviceDragData::DEVICE_PATHS_FORMAT) || mime->hasText()) {
        const QStringList sources = DroppedDevicePaths(mime);
        CChannelWait::Post(
            this, [this, sources, targetFolder] { DropDeviceItems(sources, targetFolder, DROP_COPY); });
    }
}

void CUiListView::AbandonFetch()
{
    m_bFetchAbandoned = true;
    if (CVQComm* comm = Comm())
        comm->CancelTransfer();
}

QString CUiListView::DragFolder()
{
    if (!m_pDragFolder)
        m_pDragFolder = std::make_unique<QTemporaryDir>();
    if (!m_pDragFolder->isValid())
        return QString();
    // A folder for each drag: the same name may be dragged out again.
    return m_pDragFolder->filePath(u"drag-%1"_s.arg(++m_nDrags));
}

bool CUiListView::FetchForDrop(const QString& deviceFolder, const QList<CFileInfo>& files,
                               const QString& localFolder)
{
    CVQComm* comm = Comm();
    if (!comm || !m_pChain || localFolder.isEmpty() || files.isEmpty())
        return false;
    if (m_pDoc)
        m_pDoc->ReopenLostChannel();
    // One batch at a time: while one runs the channel is closed.
    if (!comm->IsConnected() || comm->IsInBatch() || !QDir().mkpath(localFolder))
        return false;
    QDir folder(localFolder);
    m_bFetchAbandoned = false;
    comm->SetUploadFolder(deviceFolder);
    comm->ClearUploadQueue();
    for (const CFileInfo& file : files)
        comm->QueueUpload(&file, QDir::toNativeSeparators(folder.filePath(file.GetName())));

    // The drop waits for the batch, the window working meanwhile (the
    // progress display and its Cancel, the chain's pauses).
    QEventLoop loop;
    bool ended = false;
    const QPointer<CUiListView> alive(this);
    connect(m_pChain, &CTransferChain::BatchEnded, &loop, [&ended, &loop] {
        ended = true;
        loop.quit();
    });
    // The window may close meanwhile (its question stops the batch).
    connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
    if (comm->StartUpload() && !ended)
        loop.exec();
    if (!alive) {
        folder.removeRecursively();
        return false;
    }

    if (std::exchange(m_bFetchAbandoned, false)) {
        folder.removeRecursively();
        comm->ShowError(DROP_ABANDONED_TEXT, MB_OK | MB_ICONINFORMATION);
        return false;
    }
    bool whole = ended;
    for (const CFileInfo& file : files) {
        const QFileInfo fetched(folder.filePath(file.GetName()));
        whole = whole && fetched.isFile() && fetched.size() == file.GetSize();
    }
    // A Cancel or a failure leaves nothing: a target never gets some of the files.
    if (!whole)
        folder.removeRecursively();
    return whole;
}

bool CUiListView::HandleDrag(QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        // Entering decides nothing: the position does, at once and on every move.
        const QModelIndex index = ItemView()->indexAt(drag->position().toPoint());
        const int row = index.isValid() ? index.row() : -1;
        if (IsDroppable(drag->mimeData()) && CanDropAt(row)) {
            SetDropItem(row);
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else if (event->type() == QEvent::DragEnter && IsDroppable(drag->mimeData())) {
            // Taken, so that the moves to come are seen, but offering nothing here.
            drag->setDropAction(Qt::IgnoreAction);
            drag->accept();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::DragLeave:
        SetDropItem(-1);
        return true;
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QModelIndex index = ItemView()->indexAt(drop->position().toPoint());
        if (CanDropAt(index.isValid() ? index.row() : -1)) {
            DropData(drop->mimeData(), GetDropTargetPath());
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
        } else {
            drop->ignore();
        }
        SetDropItem(-1);
        return true;
    }
    default:
        return false;
    }
}
