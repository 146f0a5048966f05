#include "views/uilistview.h"

#include "link/channelwait.h"
#include "link/devicename.h"
#include "link/transferchain.h"
#include "link/vqcomm.h"
#include "link/vqevents.h"
#include "views/devicedragdata.h"
#include "views/filelistmodel.h"
#include "views/fixedsizedelegate.h"
#include "views/uitreeview.h"
#include "views/veskdoc.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPointer>
#include <QTemporaryDir>
#include <QTreeView>

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Cells of the icon modes; fixed, so that laying out many items costs little.
constexpr QSize LARGE_ICON_GRID(100, 76);
constexpr QSize SMALL_ICON_GRID(168, 22);
constexpr QSize LIST_GRID(200, 22);
// An item fills its cell but for a small gap.
constexpr QSize CELL_GAP(4, 2);
constexpr int LAYOUT_BATCH = 2000;

} // namespace

CUiListView::CUiListView(CVeskDoc* pDoc, QWidget* parent) : QStackedWidget(parent), m_pDoc(pDoc)
{
    setObjectName(u"fileList"_s);
    m_pModel = new CFileListModel(this);

    m_pIconView = new QListView(this);
    m_pIconView->setObjectName(u"fileIcons"_s);
    m_pIconView->setModel(m_pModel);
    m_pIconView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pIconView->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    m_pIconView->setUniformItemSizes(true);
    m_pIconView->setLayoutMode(QListView::Batched);
    m_pIconView->setBatchSize(LAYOUT_BATCH);
    m_pIconView->setResizeMode(QListView::Adjust);
    m_pIconView->setContextMenuPolicy(Qt::CustomContextMenu);
    // The editor's text goes to EndLabelEdit once the editor has gone (the
    // end of an edit may ask questions and read the folder again), or
    // before the list shows another folder, whichever comes first.
    const CLabelEditDelegate::Handler labelEdited = [this](const QModelIndex& index, const QString& text,
                                                           bool accepted) {
        m_pendingEdit = {QPersistentModelIndex(index), text, accepted};
        CChannelWait::Post(this, [this] { RunPendingEdit(false); });
    };
    m_pIconDelegate = new CFixedSizeDelegate(labelEdited, m_pIconView);
    m_pIconView->setItemDelegate(m_pIconDelegate);

    m_pDetailView = new QTreeView(this);
    m_pDetailView->setObjectName(u"fileDetails"_s);
    m_pDetailView->setModel(m_pModel);
    m_pDetailView->setSelectionModel(m_pIconView->selectionModel());
    m_pDetailView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pDetailView->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    m_pDetailView->setRootIsDecorated(false);
    m_pDetailView->setItemsExpandable(false);
    m_pDetailView->setUniformRowHeights(true);
    m_pDetailView->setAllColumnsShowFocus(true);
    m_pDetailView->setSortingEnabled(false);
    m_pDetailView->setIconSize(QSize(16, 16));
    m_pDetailView->setContextMenuPolicy(Qt::CustomContextMenu);
    m_pDetailDelegate = new CLabelEditDelegate(labelEdited, m_pDetailView);
    m_pDetailView->setItemDelegate(m_pDetailDelegate);
    QHeaderView* header = m_pDetailView->header();
    header->setStretchLastSection(false);
    header->setSectionsClickable(true);
    header->setSectionsMovable(false);
    header->setSortIndicatorShown(true);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->resizeSection(0, m_nColumnWidth[0]);
    header->resizeSection(1, m_nColumnWidth[1]);
    // A header click sorts the model; the view itself never reorders.
    connect(header, &QHeaderView::sectionClicked, this, [this](int section) { SortBy(section + 1); });

    addWidget(m_pIconView);
    addWidget(m_pDetailView);

    // Over the view, never a page of its own: the panes' focus stays on the view.
    m_pUnreadNote =
        new QLabel(u"This folder could not be read from the generator.\nF5 reads it again."_s, this);
    m_pUnreadNote->setObjectName(u"unreadNote"_s);
    m_pUnreadNote->setAlignment(Qt::AlignCenter);
    m_pUnreadNote->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_pUnreadNote->hide();

    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(m_pIconView), static_cast<QAbstractItemView*>(m_pDetailView)}) {
        view->installEventFilter(this);
        view->viewport()->installEventFilter(this);
        connect(view, &QAbstractItemView::doubleClicked, this,
                [this](const QModelIndex& index) { OpenItem(index.row()); });
        connect(view, &QWidget::customContextMenuRequested, this, &CUiListView::ShowContextMenu);
    }

    ApplyListMode();
    UpdateSortIndicator();

    // The batch's pauses, next files and reconnection are the link's; what
    // the list adds is emptying itself and reading its folder again.
    if (CVQComm* comm = Comm()) {
        m_pChain = new CTransferChain(comm, this);
        connect(m_pChain, &CTransferChain::ClearList, this, &CUiListView::ClearList);
        connect(m_pChain, &CTransferChain::Refresh, this, &CUiListView::Refresh);
        connect(m_pChain, &CTransferChain::BatchEnded, this, [this](int wParam) {
            CheckBatchResult(wParam);
            Q_EMIT StateChanged();
        });
    }
    // A drag out carries the entries' device paths and, for the desktop
    // and file managers, their files, fetched when the drop asks for them.
    m_pModel->SetDragMaker([this](const QString& folder, const QList<CFileInfo>& entries) -> QMimeData* {
        const QPointer<CUiListView> list(this);
        return new CDeviceDragData(
            folder, entries, DragFolder(),
            [list](const QString& deviceFolder, const QList<CFileInfo>& files, const QString& localFolder) {
                return list && list->FetchForDrop(deviceFolder, files, localFolder);
            },
            [list] {
                if (list)
                    list->AbandonFetch();
            });
    });
    if (m_pDoc)
        m_pDoc->m_pListView = this;
}

CUiListView::~CUiListView()
{
    if (m_nViewMode == VIEW_DETAILS)
        ReadColumnWidths();
    if (m_stateSink)
        m_stateSink(m_nViewMode, m_nSortKey, m_nColumnWidth[0], m_nColumnWidth[1]);
    if (m_pDoc && m_pDoc->m_pListView == this)
        m_pDoc->m_pListView = nullptr;
}

CVQComm* CUiListView::Comm() const
{
    return m_pDoc ? m_pDoc->GetComm() : nullptr;
}

QAbstractItemView* CUiListView::ItemView() const
{
    if (m_nViewMode == VIEW_DETAILS)
        return m_pDetailView;
    return m_pIconView;
}

void CUiListView::RestoreState(int mode, int sortKey, int nameWidth, int sizeWidth)
{
    if (nameWidth > 0)
        m_nColumnWidth[0] = nameWidth;
    if (sizeWidth > 0)
        m_nColumnWidth[1] = sizeWidth;
    m_pDetailView->header()->resizeSection(0, m_nColumnWidth[0]);
    m_pDetailView->header()->resizeSection(1, m_nColumnWidth[1]);
    const int key = std::abs(sortKey);
    if (key == SORT_BY_NAME || key == SORT_BY_SIZE) {
        m_nSortKey = sortKey;
        m_pModel->SortRows(m_nSortKey);
        UpdateSortIndicator();
    }
    if (mode >= VIEW_LARGE_ICONS && mode <= VIEW_LIST) {
        // The widths just set must not be read back from a hidden header.
        m_nViewMode = mode;
        ApplyListMode();
    }
    Q_EMIT StateChanged();
}

void CUiListView::SetContextMenus(QMenu* pBackground, QMenu* pFolder, QMenu* pFile)
{
    m_pMenus = {pBackground, pFolder, pFile};
}

void CUiListView::FillFromDevice(const QString& path)
{
    // A label edit of the folder shown ends in that folder.
    FinishLabelEdit();
    CVQComm* comm = Comm();
    CWaitCursor wait(comm ? comm->LinkHost() : nullptr);
    // Set before asking, so that a failed read still names the folder.
    m_strCurrentPath = path;
    m_pModel->SetFolder(path);
    // The root's entries are fixed.
    m_pModel->SetEditable(!path.isEmpty() && path != DEVICE_ROOT_PATH);
    m_bNewFolderPending = false;

    // Emptied at once; drawing goes off only while the entries go in, so
    // that the list paints while the generator is asked.
    m_pModel->Clear();
    std::vector<CFileInfo> entries;
    if (comm) {
        CFileInfo entry;
        if (comm->ReadCatalog(path, entry)) {
            // A guess that saves regrowth.
            entries.reserve(size_t(comm->EstimatedCatalogEntries()));
            do {
                entries.push_back(std::move(entry));
            } while (comm->NextCatalogEntry(entry));
        }
        comm->EndCatalog();
    }
    // Nothing read, or a listing that is not all of the folder, is not an
    // empty folder, nor one with only the entries before the break. (A failed
    // connect on the way has emptied the list and forgotten its folder: then
    // there is nothing to say.)
    const CVQComm::CatalogEnd end = comm ? comm->LastCatalogEnd() : CVQComm::CatalogEnd::NoReply;
    m_bFolderRead = m_strCurrentPath.isEmpty() || end == CVQComm::CatalogEnd::Complete;
    if (!m_bFolderRead)
        entries.clear();
    setUpdatesEnabled(false);
    m_pModel->SetEntries(std::move(entries), m_nSortKey);
    m_pUnreadNote->setVisible(!m_bFolderRead);
    setUpdatesEnabled(true);

    if (comm && m_bFolderRead)
        comm->UpdateStatusText();
    Q_EMIT StateChanged();
}

void CUiListView::Refresh()
{
    const QString path = m_strCurrentPath;
    FillFromDevice(path);
}

void CUiListView::ClearFolder()
{
    // Nothing shown is from the generator any more, not even the folder.
    m_strCurrentPath.clear();
    m_pModel->SetFolder(QString());
    m_pModel->SetEditable(false);
    ClearList();
}

void CUiListView::ClearList()
{
    m_bFolderRead = true;
    m_pUnreadNote->hide();
    m_pModel->Clear();
    ItemView()->viewport()->repaint();
    Q_EMIT StateChanged();
}

int CUiListView::ItemCount() const
{
    return m_pModel->Count();
}

int CUiListView::FindItemByName(const QString& name) const
{
    return m_pModel->FindByName(name);
}

QList<int> CUiListView::SelectedRows() const
{
    // The icon modes select the name cell only, details the whole row.
    QList<int> rows;
    const QModelIndexList selected = m_pIconView->selectionModel()->selectedIndexes();
    rows.reserve(selected.size());
    for (const QModelIndex& index : selected)
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int CUiListView::GetNextSelectedName(int start, QString& name) const
{
    const QList<int> rows = SelectedRows();
    const auto next = std::upper_bound(rows.cbegin(), rows.cend(), start);
    if (next == rows.cend())
        return -1;
    name = m_pModel->Entry(*next)->GetName();
    return *next;
}

int CUiListView::GetNextSelectedEntry(int start, CFileInfo& entry) const
{
    const QList<int> rows = SelectedRows();
    const auto next = std::upper_bound(rows.cbegin(), rows.cend(), start);
    if (next == rows.cend())
        return -1;
    entry = *m_pModel->Entry(*next);
    return *next;
}

QString CUiListView::NextFolderName(int& position) const
{
    for (int row = std::max(position + 1, 0); row < m_pModel->Count(); ++row) {
        const CFileInfo* info = m_pModel->Entry(row);
        if (info->IsFolder()) {
            position = row;
            return info->GetName();
        }
    }
    position = -1;
    return QString();
}

int CUiListView::ColumnWidth(int column) const
{
    if (m_nViewMode == VIEW_DETAILS)
        return m_pDetailView->header()->sectionSize(column);
    return m_nColumnWidth[size_t(column)];
}

void CUiListView::ReadColumnWidths()
{
    const QHeaderView* header = m_pDetailView->header();
    m_nColumnWidth[0] = header->sectionSize(0);
    m_nColumnWidth[1] = header->sectionSize(1);
}

void CUiListView::SetViewMode(int mode)
{
    if (mode < VIEW_LARGE_ICONS || mode > VIEW_LIST)
        return;
    if (m_nViewMode == VIEW_DETAILS)
        ReadColumnWidths();
    m_nViewMode = mode;
    ApplyListMode();
    Q_EMIT StateChanged();
}

void CUiListView::ApplyListMode()
{
    const bool hadFocus = hasFocus() || (currentWidget() && currentWidget()->hasFocus());
    if (m_nViewMode == VIEW_DETAILS) {
        m_pDetailView->header()->resizeSection(0, m_nColumnWidth[0]);
        m_pDetailView->header()->resizeSection(1, m_nColumnWidth[1]);
        setCurrentWidget(m_pDetailView);
    } else {
        // Static movement keeps the icon modes on the plain grid layout,
        // which costs the same for every item.
        QListView* view = m_pIconView;
        if (m_nViewMode == VIEW_LARGE_ICONS) {
            view->setViewMode(QListView::IconMode);
            view->setFlow(QListView::LeftToRight);
            view->setIconSize(QSize(32, 32));
            view->setGridSize(LARGE_ICON_GRID);
            m_pIconDelegate->SetItemSize(LARGE_ICON_GRID - CELL_GAP);
            view->setWordWrap(true);
        } else {
            view->setViewMode(QListView::ListMode);
            view->setFlow(m_nViewMode == VIEW_LIST ? QListView::TopToBottom : QListView::LeftToRight);
            view->setIconSize(QSize(16, 16));
            view->setGridSize(m_nViewMode == VIEW_LIST ? LIST_GRID : SMALL_ICON_GRID);
            m_pIconDelegate->SetItemSize((m_nViewMode == VIEW_LIST ? LIST_GRID : SMALL_ICON_GRID) - CELL_GAP);
            view->setWordWrap(false);
        }
        view->setMovement(QListView::Static);
        view->setWrapping(true);
        view->setResizeMode(QListView::Adjust);
        view->setTextElideMode(Qt::ElideRight);
        setCurrentWidget(m_pIconView);
    }
    // Drags carry an entry's device path; drops are handled here, never as
    // the view's own moves (a change of view mode resets these).
    for (QAbstractItemView* each :
         {static_cast<QAbstractItemView*>(m_pIconView), static_cast<QAbstractItemView*>(m_pDetailView)}) {
        each->setDragDropMode(QAbstractItemView::DragDrop);
        each->setDefaultDropAction(Qt::CopyAction);
        each->viewport()->setAcceptDrops(true);
    }
    if (hadFocus)
        currentWidget()->setFocus(Qt::OtherFocusReason);
}

void CUiListView::SortBy(int key)
{
    if (key != SORT_BY_NAME && key != SORT_BY_SIZE)
        return;
    m_nSortKey = key == std::abs(m_nSortKey) ? -m_nSortKey : key;
    m_pModel->SortRows(m_nSortKey);
    UpdateSortIndicator();
    Q_EMIT StateChanged();
}

void CUiListView::UpdateSortIndicator()
{
    m_pDetailView->header()->setSortIndicator(std::abs(m_nSortKey) - 1,
                                              m_nSortKey < 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void CUiListView::OpenItem(int index)
{
    const CFileInfo* info = m_pModel->Entry(index);
    if (!info || !info->IsFolder())
        return;
    // The tree's selection change fills this list with the folder.
    const QString name = info->GetName();
    if (CUiTreeView* tree = m_pDoc ? m_pDoc->m_pTreeView : nullptr)
        tree->SelectChildByName(name);
}

void CUiListView::OpenSelected()
{
    const QList<int> rows = SelectedRows();
    if (!rows.isEmpty())
        OpenItem(rows.first());
}

void CUiListView::RefreshSizeTexts()
{
    m_pModel->RefreshSizeTexts();
}

QString CUiListView::EntryPath(const QString& name) const
{
    return m_strCurrentPath + u'/' + name;
}

void CUiListView::ReloadTreeSelected()
{
    if (CUiTreeView* tree = m_pDoc ? m_pDoc->m_pTreeView : nullptr)
        tree->ReloadSelected();
}

void CUiListView::CheckBatchResult(int wParam)
{
    CVQComm* comm = Comm();
    if (!comm || !comm->IsConnected())
        return;
    const QList<CVQComm::CSentFile> sent = comm->TakeSentFiles();
    QStringList wrong;
    if (wParam == 1) {
        // The list has just read its folder; another folder is read once.
        QHash<QString, std::vector<CFileInfo>> listings;
        for (const CVQComm::CSentFile& file : sent) {
            const CFileInfo* listed = nullptr;
            if (file.m_strFolder == m_strCurrentPath) {
                listed = m_pModel->Entry(FindItemByName(file.m_strName));
            } else {
                auto it = listings.find(file.m_strFolder);
                if (it == listings.end()) {
                    std::vector<CFileInfo> entries;
                    CFileInfo entry;
                    for (int more = comm->ReadCatalog(file.m_strFolder, entry); more;
                         more = comm->NextCatalogEntry(entry))
                        entries.push_back(entry);
                    comm->EndCatalog();
                    it = listings.insert(file.m_strFolder, std::move(entries));
                }
                for (const CFileInfo& entry : *it) {
                    if (!listed && entry.GetName().compare(file.m_strName, Qt::CaseInsensitive) == 0)
                        listed = &entry;
                }
            }
            if (!listed || listed->IsFolder())
                wrong.append(u"%1/%2: %3 bytes sent, not listed"_s.arg(file.m_strFolder, file.m_strName)
                                 .arg(file.m_nSize));
            else if (listed->GetSize() != file.m_nSize)
                wrong.append(u"%1/%2: %3 bytes sent, %4 listed"_s.arg(file.m_strFolder, file.m_strName)
                                 .arg(file.m_nSize)
                                 .arg(listed->GetSize()));
        }
    }
    QStringList refusals;
    comm->ReadErrorsAfterBatch(refusals);
    if (!wrong.isEmpty() || !refusals.isEmpty()) {
        QString text;
        if (!wrong.isEmpty())
            text = u"The generator does not hold these files as they were sent:\n"_s + wrong.join(u'\n');
        if (!refusals.isEmpty())
            text += (text.isEmpty() ? QString() : u"\n\n"_s) + u"The generator reported:\n"_s +
                    refusals.join(u'\n');
        comm->ShowError(text);
    }
}

int CUiListView::ContextMenuIdAt(const QPoint& pos) const
{
    const CVQComm* comm = Comm();
    if (!comm || !comm->IsConnected())
        return MENU_NONE;
    const QModelIndex index = ItemView()->indexAt(pos);
    const CFileInfo* info = index.isValid() ? m_pModel->Entry(index.row()) : nullptr;
    if (!info)
        return MENU_BACKGROUND;
    return info->IsFolder() ? MENU_FOLDER : MENU_FILE;
}

bool CUiListView::IsContextMenuKey(const QKeyEvent* event)
{
    return event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier;
}

void CUiListView::ShowKeyboardMenu()
{
    QAbstractItemView* view = ItemView();
    const QModelIndex current = view->currentIndex();
    if (!current.isValid()) {
        ShowMenu(Comm() && Comm()->IsConnected() ? MENU_BACKGROUND : MENU_NONE, QPoint(0, 0));
        return;
    }
    view->scrollTo(current);
    ShowContextMenu(view->visualRect(current).center());
}

void CUiListView::ShowContextMenu(const QPoint& pos)
{
    ShowMenu(ContextMenuIdAt(pos), pos);
}

void CUiListView::ShowMenu(int id, const QPoint& pos)
{
    QMenu* menu = nullptr;
    if (id == MENU_BACKGROUND)
        menu = m_pMenus[0];
    else if (id == MENU_FOLDER)
        menu = m_pMenus[1];
    else if (id == MENU_FILE)
        menu = m_pMenus[2];
    if (!menu)
        return;
    Q_EMIT ContextMenuShown(id);
    menu->popup(ItemView()->viewport()->mapToGlobal(pos));
}

bool CUiListView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pIconView->viewport() || watched == m_pDetailView->viewport()) {
        if (HandleDrag(event))
            return true;
    }
    // A key an open label editor passed on (Return, for one) is the editor's.
    if (event->type() == QEvent::KeyPress && (watched == m_pIconView || watched == m_pDetailView) &&
        !static_cast<QAbstractItemView*>(watched)->indexWidget(
            static_cast<QAbstractItemView*>(watched)->currentIndex())) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete) {
            DeleteSelected();
        } else if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            OpenSelected();
        } else if (IsContextMenuKey(key)) {
            ShowKeyboardMenu();
            return true;
        }
    }
    return QStackedWidget::eventFilter(watched, event);
}

bool CUiListView::event(QEvent* event)
{
    switch (int(event->type())) {
    case WM_TRANSFER_END:
    case WM_DOWNLOAD_NEXT:
    case WM_DOWNLOAD_DONE:
    case WM_UPLOAD_NEXT:
    case WM_UPLOAD_DONE:
        // Messages of a batch addressed to the list go on to its chain; the
        // command channel may have closed or opened on the way.
        if (m_pChain)
            QCoreApplication::sendEvent(m_pChain, event);
        Q_EMIT StateChanged();
        return true;
    default:
        return QStackedWidget::event(event);
    }
}

void CUiListView::resizeEvent(QResizeEvent* event)
{
    QStackedWidget::resizeEvent(event);
    m_pUnreadNote->setGeometry(rect());
}

void CUiListView::changeEvent(QEvent* event)
{
    // A new number format of the user's regional settings reaches every
    // window that keeps the default locale.
    if (event->type() == QEvent::LocaleChange)
        RefreshSizeTexts();
    QStackedWidget::changeEvent(event);
}
