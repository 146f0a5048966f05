// The list's drag-and-drop: drops of PC files and of device paths onto
// either pane.
#include "views/uilistview.h"

#include "link/channelwait.h"
#include "link/devicename.h"
#include "link/vqcomm.h"
#include "views/filelistmodel.h"
#include "views/uitreeview.h"
#include "views/veskdoc.h"

#include <QAbstractItemView>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <algorithm>

using namespace Qt::StringLiterals;

bool CUiListView::IsDroppable(const QMimeData* mime)
{
    if (!mime)
        return false;
    if (mime->hasUrls()) {
        const QList<QUrl> urls = mime->urls();
        return std::any_of(urls.cbegin(), urls.cend(), [](const QUrl& url) { return url.isLocalFile(); });
    }
    return mime->hasText();
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

int CUiListView::DropDeviceItems(const QStringList& sources, const QString& targetFolder, int effect)
{
    CVQComm* comm = Comm();
    if (!comm)
        return 0;
    int done = 0;
    bool tried = false;
    bool arrived = false;
    for (const QString& source : sources) {
        const qsizetype slash = source.lastIndexOf(u'/');
        // A text that names no entry does nothing, and ends the drop there.
        if (slash <= 0 || slash == source.size() - 1)
            break;
        const QString destination =
            targetFolder + (targetFolder.endsWith(u'/') ? QString() : u"/"_s) + source.mid(slash + 1);
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

void CUiListView::DropData(const QMimeData* mime, const QString& targetFolder)
{
    CVQComm* comm = Comm();
    if (!comm || !mime)
        return;
    if (mime->hasUrls()) {
        QStringList paths;
        const QList<QUrl> urls = mime->urls();
        for (const QUrl& url : urls) {
            if (url.isLocalFile())
                paths.append(QDir::toNativeSeparators(url.toLocalFile()));
        }
        // The batch asks its questions once the drag is over: a dialog inside
        // the drop would hold the desktop's drag.
        if (!paths.isEmpty())
            CChannelWait::Post(this,
                               [comm, paths, targetFolder] { comm->PrepareDownload(paths, targetFolder); });
        return;
    }
    if (mime->hasText()) {
        // Device paths, one a line (a drag of several list entries).
        QStringList sources;
        const QStringList lines = mime->text().split(u'\n', Qt::SkipEmptyParts);
        for (const QString& line : lines) {
            if (!line.trimmed().isEmpty())
                sources.append(line.trimmed());
        }
        CChannelWait::Post(
            this, [this, sources, targetFolder] { DropDeviceItems(sources, targetFolder, DROP_COPY); });
    }
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
