#include "views/uitreeview.h"

#include "link/channelwait.h"
#include "link/devicename.h"
#include "link/stringtable.h"
#include "link/vqcomm.h"
#include "views/iconcache.h"
#include "views/labeleditdelegate.h"
#include "views/uilistview.h"
#include "views/veskdoc.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Drawing off for as long as it lives; back on (and repainted) on every way out.
class CNoRedraw final
{
public:
    explicit CNoRedraw(QWidget* widget) : m_pWidget(widget), m_bWasOn(widget->updatesEnabled())
    {
        m_pWidget->setUpdatesEnabled(false);
    }
    ~CNoRedraw() { m_pWidget->setUpdatesEnabled(m_bWasOn); }
    Q_DISABLE_COPY_MOVE(CNoRedraw)

private:
    QWidget* m_pWidget;
    bool m_bWasOn;
};

} // namespace

CUiTreeView::CUiTreeView(CVeskDoc* pDoc, QWidget* parent) : QTreeWidget(parent), m_pDoc(pDoc)
{
    m_iconPlaceholder = CachedIcon(ICON_DRIVE_OK);
    m_iconFolder = CachedIcon(ICON_FOLDER_CLOSED);
    m_iconFolderOpen = CachedIcon(ICON_FOLDER_OPEN);
    m_iconRoot = CachedIcon(ICON_GENERATOR);
    m_iconRootSelected = CachedIcon(ICON_GENERATOR_SELECTED);

    setObjectName(u"folderTree"_s);
    setColumnCount(1);
    setHeaderHidden(true);
    setIconSize(QSize(16, 16));
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    setSortingEnabled(false);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setItemDelegate(new CLabelEditDelegate(
        [this](const QModelIndex& index, const QString& text, bool accepted) {
            // A cancelled edit changes nothing in the tree.
            if (accepted)
                OnLabelEdited(index, text);
        },
        this));
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);

    // Drops are taken as the panes take them, never as the tree's own moves.
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(false);

    connect(this, &QTreeWidget::currentItemChanged, this, &CUiTreeView::OnCurrentItemChanged);
    // Expanding loads; collapsing finds the item loaded and does nothing.
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
        if (m_pDoc)
            m_pDoc->ReopenLostChannel();
        LoadChildren(item);
    });
    connect(this, &QTreeWidget::itemCollapsed, this, &CUiTreeView::LoadChildren);

    if (m_pDoc)
        m_pDoc->m_pTreeView = this;
}

CUiTreeView::~CUiTreeView()
{
    m_bSuppressSelChange = true;
    if (m_pDoc && m_pDoc->m_pTreeView == this)
        m_pDoc->m_pTreeView = nullptr;
}

CVQComm* CUiTreeView::Comm() const
{
    return m_pDoc ? m_pDoc->GetComm() : nullptr;
}

bool CUiTreeView::IsFixedItem(const QTreeWidgetItem* item) const
{
    return item == m_hRootItem || (item && item->parent() == m_hRootItem);
}

bool CUiTreeView::IsLoaded(const QTreeWidgetItem* item) const
{
    return item && (item->data(0, FLAGS_ROLE).toInt() & ITEM_LOADED) != 0;
}

bool CUiTreeView::IsBelow(const QTreeWidgetItem* item, const QTreeWidgetItem* ancestor) const
{
    for (const QTreeWidgetItem* walk = item ? item->parent() : nullptr; walk; walk = walk->parent()) {
        if (walk == ancestor)
            return true;
    }
    return false;
}

QTreeWidgetItem* CUiTreeView::GetContextItem() const
{
    return m_hContextItem.isValid() ? itemFromIndex(m_hContextItem) : nullptr;
}

void CUiTreeView::SetItemIcon(QTreeWidgetItem* item, bool selected)
{
    if (!item || item->data(0, PLACEHOLDER_ROLE).toBool())
        return;
    if (item == m_hRootItem)
        item->setIcon(0, selected ? m_iconRootSelected : m_iconRoot);
    else
        item->setIcon(0, selected ? m_iconFolderOpen : m_iconFolder);
}

int CUiTreeView::SortedPosition(const QTreeWidgetItem* parent, const QString& name)
{
    // Sorted by label among the folders; a placeholder stays last.
    int position = 0;
    const int count = parent->childCount();
    while (position < count) {
        const QTreeWidgetItem* sibling = parent->child(position);
        if (sibling->data(0, PLACEHOLDER_ROLE).toBool())
            break;
        const QString label = sibling->text(0);
        int order = label.compare(name, Qt::CaseInsensitive);
        if (order == 0)
            order = label.compare(name, Qt::CaseSensitive);
        if (order > 0)
            break;
        ++position;
    }
    return position;
}

void CUiTreeView::PlaceSorted(QTreeWidgetItem* item)
{
    QTreeWidgetItem* parent = item->parent();
    if (!parent)
        return;
    const bool expanded = item->isExpanded();
    const bool hadContext = GetContextItem() == item;
    parent->takeChild(parent->indexOfChild(item));
    parent->insertChild(SortedPosition(parent, item->text(0)), item);
    // Taken out and put back, the item is new to the view: it opens as it was.
    if (expanded) {
        const QSignalBlocker quiet(this); // its children are read already
        item->setExpanded(true);
    }
    if (hadContext)
        m_hContextItem = QPersistentModelIndex(indexFromItem(item));
}

QTreeWidgetItem* CUiTreeView::InsertFolderItem(QTreeWidgetItem* parent, const QString& name)
{
    const int position = SortedPosition(parent, name);
    auto* item = new QTreeWidgetItem(QStringList{name});
    item->setData(0, FLAGS_ROLE, 0);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    item->setIcon(0, m_iconFolder);
    parent->insertChild(position, item);

    AddPlaceholder(item);
    return item;
}

void CUiTreeView::AddPlaceholder(QTreeWidgetItem* item)
{
    // Only there so that the expand button shows until the children are read.
    auto* placeholder = new QTreeWidgetItem(QStringList{PLACEHOLDER_LABEL});
    placeholder->setData(0, PLACEHOLDER_ROLE, true);
    placeholder->setIcon(0, m_iconPlaceholder);
    placeholder->setFlags(Qt::ItemIsEnabled);
    item->addChild(placeholder);
}

void CUiTreeView::LoadChildren(QTreeWidgetItem* item)
{
    if (!item || item->data(0, PLACEHOLDER_ROLE).toBool())
        return;
    CVQComm* comm = Comm();
    CWaitCursor wait(comm ? comm->LinkHost() : nullptr);
    if (IsLoaded(item))
        return;
    item->setData(0, FLAGS_ROLE, item->data(0, FLAGS_ROLE).toInt() | ITEM_LOADED);
    if (item->childCount() > 0)
        delete item->takeChild(0);

    const QString path = ItemPath(item);
    CUiListView* list = m_pDoc ? m_pDoc->m_pListView : nullptr;
    if (list && list->GetCurrentPath() == path && list->IsFolderRead()) {
        // The list shows this folder already: no need to ask the generator.
        int position = -1;
        for (QString name = list->NextFolderName(position); position >= 0;
             name = list->NextFolderName(position))
            InsertFolderItem(item, name);
        return;
    }
    if (!comm)
        return;
    // A failed read may empty the tree (a failed connect on the way).
    const QPersistentModelIndex alive(indexFromItem(item));
    CFileInfo entry;
    if (comm->ReadCatalog(path, entry)) {
        do {
            if (entry.IsFolder())
                InsertFolderItem(item, entry.GetName());
        } while (comm->NextCatalogEntry(entry));
    }
    comm->EndCatalog();
    // Nothing read, or only part, is not a folder without (other) folders:
    // the next expansion reads again.
    if (alive.isValid() && comm->LastCatalogEnd() != CVQComm::CatalogEnd::Complete)
        ForgetChildren(item);
}

void CUiTreeView::ForgetChildren(QTreeWidgetItem* item)
{
    item->setData(0, FLAGS_ROLE, item->data(0, FLAGS_ROLE).toInt() & ~ITEM_LOADED);
    qDeleteAll(item->takeChildren());
    AddPlaceholder(item);
    // Closed again once its expansion is over, the placeholder out of sight;
    // that closing reads nothing.
    const QPersistentModelIndex unread(indexFromItem(item));
    CChannelWait::Post(this, [this, unread] {
        const QSignalBlocker quiet(this);
        if (unread.isValid() && !IsLoaded(itemFromIndex(unread)))
            collapse(unread);
    });
}

void CUiTreeView::GetItemPath(const QTreeWidgetItem* item, QString& path) const
{
    QString text;
    for (const QTreeWidgetItem* walk = item; walk && walk != m_hRootItem; walk = walk->parent())
        text = text.isEmpty() ? walk->text(0) : walk->text(0) + u'/' + text;
    path = DEVICE_ROOT_PATH + text;
}

QString CUiTreeView::ItemPath(const QTreeWidgetItem* item) const
{
    QString path;
    GetItemPath(item, path);
    return path;
}

void CUiTreeView::ClearTree()
{
    m_bSuppressSelChange = true;
    {
        CNoRedraw noRedraw(this);
        clear();
    }
    m_hRootItem = nullptr;
    m_hDropItem = nullptr; // gone with the items
    m_hContextItem = QPersistentModelIndex();
    m_bSuppressSelChange = false;
    Q_EMIT SelectionMoved();
}

void CUiTreeView::RebuildTree()
{
    ClearTree();
    CVQComm* comm = Comm();
    m_hRootItem = new QTreeWidgetItem(this, QStringList{comm ? comm->GetRootLabel() : QString()});
    m_hRootItem->setData(0, FLAGS_ROLE, 0);
    m_hRootItem->setIcon(0, m_iconRoot);
    // The selection fills the list with the root's entries first, so that the
    // root's children come from what this connection has just read, never
    // from a list left over from before.
    setCurrentItem(m_hRootItem);
    LoadChildren(m_hRootItem);
    m_hRootItem->setExpanded(true);
    setUpdatesEnabled(true);
    viewport()->repaint();
}

void CUiTreeView::ReloadItem(QTreeWidgetItem* item)
{
    if (!item)
        return;
    // The selection never stays on an item that is about to go: it moves up
    // to the reloaded item, and the list follows it.
    if (IsBelow(currentItem(), item))
        setCurrentItem(item);
    if (IsBelow(m_hDropItem, item))
        m_hDropItem = nullptr;
    CNoRedraw noRedraw(this);
    if (IsLoaded(item)) {
        item->setData(0, FLAGS_ROLE, 0);
        const QList<QTreeWidgetItem*> children = item->takeChildren();
        qDeleteAll(children);
    }
    LoadChildren(item);
}

void CUiTreeView::ReloadSelected()
{
    ReloadItem(currentItem());
}

void CUiTreeView::SelectChildByName(const QString& name)
{
    QTreeWidgetItem* selected = currentItem();
    if (!selected)
        return;
    LoadChildren(selected);
    // A folder that came since the tree last read its parent: read it again.
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < selected->childCount(); ++i) {
            QTreeWidgetItem* child = selected->child(i);
            if (child->text(0) == name) {
                setCurrentItem(child);
                scrollToItem(child);
                return;
            }
        }
        if (pass == 0)
            ReloadItem(selected);
    }
}

QTreeWidgetItem* CUiTreeView::FindItem(const QString& path) const
{
    if (!m_hRootItem || !path.startsWith(DEVICE_ROOT_PATH))
        return nullptr;
    QTreeWidgetItem* item = m_hRootItem;
    const QStringList parts = path.mid(DEVICE_ROOT_PATH.size()).split(u'/', Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; item && i < item->childCount() && !next; ++i) {
            if (item->child(i)->text(0) == part && !item->child(i)->data(0, PLACEHOLDER_ROLE).toBool())
                next = item->child(i);
        }
        item = next;
    }
    return item;
}

void CUiTreeView::FolderChanged(const QString& path)
{
    QTreeWidgetItem* item = FindItem(path);
    // The list reads the folder; the item's children then come from it.
    if (item && item == currentItem()) {
        if (CUiListView* list = m_pDoc ? m_pDoc->m_pListView : nullptr)
            list->Refresh();
    }
    ReloadFolder(path);
}

void CUiTreeView::ReloadFolder(const QString& path)
{
    // A reload that would take the selected item away waits for the next one.
    QTreeWidgetItem* item = FindItem(path);
    if (item && (item == currentItem() || (IsLoaded(item) && !IsBelow(currentItem(), item))))
        ReloadItem(item);
}

void CUiTreeView::SetDropItem(QTreeWidgetItem* item)
{
    if (m_hDropItem == item)
        return;
    if (m_hDropItem) {
        m_hDropItem->setBackground(0, QBrush());
        m_hDropItem->setForeground(0, QBrush());
    }
    m_hDropItem = item;
    if (m_hDropItem) {
        m_hDropItem->setBackground(0, palette().brush(QPalette::Highlight));
        m_hDropItem->setForeground(0, palette().brush(QPalette::HighlightedText));
    }
}

bool CUiTreeView::CanDropAt(const QTreeWidgetItem* item) const
{
    const CVQComm* comm = Comm();
    // Nothing is taken while the channel is closed: disconnected, or a batch runs.
    return comm && comm->IsConnected() && item && item != m_hRootItem &&
           !item->data(0, PLACEHOLDER_ROLE).toBool();
}

void CUiTreeView::dragEnterEvent(QDragEnterEvent* event)
{
    // Taken so that the moves are seen; the first move decides.
    if (CUiListView::IsDroppable(event->mimeData())) {
        event->setDropAction(Qt::IgnoreAction);
        event->accept();
    } else {
        event->ignore();
    }
    dragMoveEvent(event);
}

void CUiTreeView::dragMoveEvent(QDragMoveEvent* event)
{
    QTreeWidgetItem* item = itemAt(event->position().toPoint());
    if (CUiListView::IsDroppable(event->mimeData()) && CanDropAt(item)) {
        SetDropItem(item);
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else if (event->type() != QEvent::DragEnter) {
        event->ignore();
    }
}

void CUiTreeView::dragLeaveEvent(QDragLeaveEvent* event)
{
    SetDropItem(nullptr);
    event->accept();
}

void CUiTreeView::dropEvent(QDropEvent* event)
{
    QTreeWidgetItem* item = itemAt(event->position().toPoint());
    CUiListView* list = m_pDoc ? m_pDoc->m_pListView : nullptr;
    if (list && CanDropAt(item)) {
        list->DropData(event->mimeData(), ItemPath(item));
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
    SetDropItem(nullptr);
}

void CUiTreeView::SelectParent()
{
    QTreeWidgetItem* selected = currentItem();
    if (selected && selected->parent())
        setCurrentItem(selected->parent());
}

CUiTreeView::Contents CUiTreeView::FolderContents(const QString& path) const
{
    // The list has read it when it shows it: no need to ask again.
    const CUiListView* list = m_pDoc ? m_pDoc->m_pListView : nullptr;
    if (list && list->GetCurrentPath() == path && list->IsFolderRead())
        return list->ItemCount() > 0 ? Contents::NotEmpty : Contents::Empty;
    CVQComm* comm = Comm();
    if (!comm)
        return Contents::Unknown;
    CFileInfo first;
    const int any = comm->ReadCatalog(path, first);
    comm->EndCatalog();
    if (any)
        return Contents::NotEmpty;
    return comm->LastCatalogEnd() == CVQComm::CatalogEnd::Complete ? Contents::Empty : Contents::Unknown;
}

int CUiTreeView::DeleteFolderItem(QTreeWidgetItem* item)
{
    if (!item)
        return 0;
    CVQComm* comm = Comm();
    if (!comm)
        return 0;
    if (IsFixedItem(item)) {
        comm->ShowError(TEXT_CANNOT_REMOVE_FOLDER);
        return 1;
    }
    CWaitCursor wait(comm->LinkHost());
    const QString label = item->text(0);
    const QString path = ItemPath(item);
    CLinkHost* host = comm->LinkHost();
    const auto ask = [host](const QString& text, const QString& caption) {
        return host ? host->ShowMessageBox(text, MB_OKCANCEL | MB_ICONQUESTION, caption) : IDCANCEL;
    };
    // The generator removes empty folders only, and its refusal would not
    // say why: a folder with entries is offered to go with them, as
    // "vq8ctl rm -r" does.
    const bool withContents = FolderContents(path) == Contents::NotEmpty;
    if (withContents) {
        if (ask(FOLDER_NOT_EMPTY_QUESTION.arg(label), u"Confirm Folder Delete"_s) != IDOK)
            return 1;
    } else if (ask(u"Are you sure you want to remove the file '%1' ?"_s.arg(label),
                   u"Confirm File Delete"_s) != IDOK) {
        return 1;
    }
    const bool emptied = withContents && comm->DeleteAll(path) == 1;
    const bool removed = (emptied || !withContents) && comm->RemoveFolder(path) == 1;
    // Emptied but kept (the generator refused the folder itself): it shows
    // what is left of it.
    QTreeWidgetItem* changed = removed ? item->parent() : item;
    if (!removed && !emptied)
        return 0;
    if (changed && changed == currentItem()) {
        if (CUiListView* list = m_pDoc->m_pListView)
            list->Refresh();
    }
    ReloadItem(changed);
    return removed ? 1 : 0;
}

int CUiTreeView::DeleteSelectedFolder()
{
    return DeleteFolderItem(currentItem());
}

void CUiTreeView::BeginRename()
{
    BeginRenameItem(currentItem());
}

void CUiTreeView::BeginRenameItem(QTreeWidgetItem* item)
{
    if (!item || IsFixedItem(item)) {
        if (CVQComm* comm = Comm())
            comm->ShowErrorId(IDS_CANNOT_RENAME_FOLDER);
        return;
    }
    editItem(item, 0);
}

bool CUiTreeView::ShowsUnread(const QTreeWidgetItem* item) const
{
    const CUiListView* list = m_pDoc ? m_pDoc->m_pListView : nullptr;
    return item && list && !list->IsFolderRead() && list->GetCurrentPath() == ItemPath(item);
}

void CUiTreeView::ReadAgain(QTreeWidgetItem* item)
{
    CUiListView* list = m_pDoc ? m_pDoc->m_pListView : nullptr;
    if (!item || !list || item != currentItem())
        return;
    m_pDoc->ReopenLostChannel();
    list->FillFromDevice(ItemPath(item));
}

bool CUiTreeView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    QTreeWidgetItem* item = itemFromIndex(index);
    // A click on the selected folder that could not be read reads it again:
    // the click that selects a folder reads it, and this one is its retry.
    if (trigger == SelectedClicked && item == currentItem() && ShowsUnread(item)) {
        const QPersistentModelIndex clicked(index);
        CChannelWait::Post(this, [this, clicked] {
            if (clicked.isValid())
                ReadAgain(itemFromIndex(clicked));
        });
        return false;
    }
    if (!item || IsFixedItem(item) || item->data(0, PLACEHOLDER_ROLE).toBool())
        return false;
    if (!QTreeWidget::edit(index, trigger, event))
        return false;
    m_strOldLabel = item->text(0);
    return true;
}

void CUiTreeView::OnLabelEdited(const QModelIndex& index, const QString& text)
{
    // The editor is still closing here; the rename may ask questions and
    // re-read the tree, so it runs once the editor has gone.
    const QPersistentModelIndex edited(index);
    CChannelWait::Post(this, [this, edited, text] {
        if (QTreeWidgetItem* item = edited.isValid() ? itemFromIndex(edited) : nullptr)
            EndLabelEdit(item, text);
    });
}

int CUiTreeView::EndLabelEdit(QTreeWidgetItem* item, const QString& newText)
{
    CVQComm* comm = Comm();
    if (!comm)
        return 0;
    if (!item || IsFixedItem(item)) {
        comm->ShowErrorId(IDS_CANNOT_RENAME_FOLDER);
        return 0;
    }
    const QString oldLabel = m_strOldLabel;
    m_strOldLabel.clear();
    if (oldLabel.isEmpty() || newText.isEmpty() || newText == oldLabel)
        return 0;

    // A name that is not a plain folder name would move the folder elsewhere
    // or not reach the generator intact.
    if (!comm->CheckNewName(newText))
        return 0;

    QTreeWidgetItem* parent = item->parent();
    for (int i = 0; parent && i < parent->childCount(); ++i) {
        const QTreeWidgetItem* sibling = parent->child(i);
        if (sibling != item && sibling->text(0) == newText) {
            comm->ShowErrorId(IDS_NAME_EXISTS);
            editItem(item, 0);
            return 0;
        }
    }

    const QString oldPath = ItemPath(item);
    if (const QTreeWidgetItem* selected = currentItem()) {
        if ((ItemPath(selected) + u'/').startsWith(oldPath + u'/')) {
            comm->ShowError(LoadStringResource(IDS_RENAME_ACCESS_DENIED).arg(oldLabel));
            return 0;
        }
    }

    const QString newPath = oldPath.left(oldPath.lastIndexOf(u'/') + 1) + newText;
    if (comm->MoveEntry(oldPath, newPath) != 1)
        return 0;
    item->setText(0, newText);

    if (parent && parent == currentItem()) {
        if (CUiListView* list = m_pDoc->m_pListView)
            list->Refresh();
        ReloadItem(parent);
    } else {
        PlaceSorted(item);
    }
    return 1;
}

void CUiTreeView::OnCurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous)
{
    SetItemIcon(previous, false);
    SetItemIcon(current, true);
    if (!m_bSuppressSelChange && current && !current->data(0, PLACEHOLDER_ROLE).toBool()) {
        if (CUiListView* list = m_pDoc ? m_pDoc->m_pListView : nullptr) {
            m_pDoc->ReopenLostChannel();
            list->FillFromDevice(ItemPath(current));
        }
    }
    Q_EMIT SelectionMoved();
}

void CUiTreeView::drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const
{
    // The branch area holds one cell of the indentation per level, the
    // item's own last: its line and box there, its ancestors' lines before.
    const int indent = indentation();
    const auto hasNextSibling = [](const QModelIndex& at) { return at.sibling(at.row() + 1, 0).isValid(); };
    painter->save();
    QPen dotted(palette().color(QPalette::Dark));
    dotted.setStyle(Qt::DotLine);
    painter->setPen(dotted);

    QRect cell(rect.right() + 1 - indent, rect.top(), indent, rect.height());
    const QPoint mid = cell.center();
    const bool above = index.row() > 0 || index.parent().isValid();
    painter->drawLine(mid.x(), above ? cell.top() : mid.y(), mid.x(),
                      hasNextSibling(index) ? cell.bottom() : mid.y());
    painter->drawLine(mid.x(), mid.y(), cell.right(), mid.y());
    for (QModelIndex ancestor = index.parent(); ancestor.isValid(); ancestor = ancestor.parent()) {
        cell.translate(-indent, 0);
        if (hasNextSibling(ancestor))
            painter->drawLine(cell.center().x(), cell.top(), cell.center().x(), cell.bottom());
    }

    if (model()->hasChildren(index)) {
        const int side = std::max(9, indent / 2) | 1; // odd: the sign sits in its middle
        QRect box(0, 0, side, side);
        box.moveCenter(mid);
        painter->setPen(palette().color(QPalette::Dark));
        painter->setBrush(palette().brush(QPalette::Base));
        painter->drawRect(box.adjusted(0, 0, -1, -1));
        painter->setPen(palette().color(QPalette::Text));
        const int arm = side / 2 - 2;
        painter->drawLine(mid.x() - arm, mid.y(), mid.x() + arm, mid.y());
        if (!isExpanded(index))
            painter->drawLine(mid.x(), mid.y() - arm, mid.x(), mid.y() + arm);
    }
    painter->restore();
}

void CUiTreeView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) {
        QTreeWidgetItem* hit = itemAt(event->position().toPoint());
        m_hContextItem = hit ? QPersistentModelIndex(indexFromItem(hit)) : QPersistentModelIndex();
    }
    // A right click only names the item its menu acts on: "Explorer" is what
    // selects (and reads) a folder, and a sibling of the shown one may be renamed.
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void CUiTreeView::contextMenuEvent(QContextMenuEvent* event)
{
    // From the keyboard the menu is the selected folder's, shown by it.
    if (event->reason() == QContextMenuEvent::Keyboard) {
        ShowKeyboardMenu();
        return;
    }
    QTreeWidgetItem* hit = itemAt(event->pos());
    m_hContextItem = hit ? QPersistentModelIndex(indexFromItem(hit)) : QPersistentModelIndex();
    if (!hit || !m_pContextMenu)
        return;
    Q_EMIT ContextMenuShown(hit);
    m_pContextMenu->popup(event->globalPos());
}

void CUiTreeView::ShowKeyboardMenu()
{
    QTreeWidgetItem* item = currentItem();
    m_hContextItem = item ? QPersistentModelIndex(indexFromItem(item)) : QPersistentModelIndex();
    if (!item || !m_pContextMenu)
        return;
    scrollToItem(item);
    Q_EMIT ContextMenuShown(item);
    m_pContextMenu->popup(viewport()->mapToGlobal(visualItemRect(item).center()));
}

void CUiTreeView::keyPressEvent(QKeyEvent* event)
{
    if (state() != QAbstractItemView::EditingState) {
        if (event->key() == Qt::Key_Delete) {
            DeleteSelectedFolder();
        } else if (CUiListView::IsContextMenuKey(event)) {
            ShowKeyboardMenu();
            return;
        }
    }
    QTreeWidget::keyPressEvent(event);
}
