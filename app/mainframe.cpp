#include "app/mainframe.h"

#include "app/localechange.h"
#include "app/veskapp.h"
#include "dialogs/aboutdlg.h"
#include "dialogs/dlgbackup.h"
#include "dialogs/dlgcomparefolder.h"
#include "dialogs/dlgerrorlist.h"
#include "dialogs/dlgoptions.h"
#include "dialogs/dlgsendmany.h"
#include "dialogs/setethernet.h"
#include "dialogs/vqfiledialog.h"
#include "link/appsettings.h"
#include "link/devicename.h"
#include "link/hostport.h"
#include "link/pcname.h"
#include "link/stringtable.h"
#include "link/transferchain.h"
#include "link/vqcomm.h"
#include "res/icons.h"
#include "views/uilistview.h"
#include "views/uitreeview.h"
#include "views/veskdoc.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSet>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QToolBar>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Every command: id, menu text, prompt ("status prompt\ntool tip").
struct CommandText
{
    int id;
    QStringView text;
    QStringView prompt;
};

constexpr CommandText COMMANDS[] = {
    {ID_PC_TO_VQ, u"&PC to VQ", u"Download the file to VQ\nPC to VQ"},
    {ID_VQ_TO_PC, u"&VQ to PC", u"Upload the file from VQ\nVQ to PC"},
    {ID_NEW_FOLDER, u"&Folder", u"Create new folder.\nFolder"},
    {ID_DELETE_ITEM, u"&Delete", u"Deletes the selected item.\nDelete"},
    {ID_RENAME_ITEM, u"&Rename", u"Renames the selected item.\nRename"},
    {ID_APP_EXIT, u"E&xit", u"Quit the application\nExit"},
    {ID_VIEW_TOOLBAR, u"&Toolbar", u"Show or hide the toolbar\nToggle ToolBar"},
    {ID_VIEW_STATUS_BAR, u"&Status Bar", u"Show or hide the status bar\nToggle StatusBar"},
    {ID_VIEW_LARGE_ICONS, u"Lar&ge Icons", u"Displays items by using large icons.\nLarge Icons"},
    {ID_VIEW_SMALL_ICONS, u"S&mall Icons", u"Displays items by using small icons.\nSmall Icons"},
    {ID_VIEW_LIST, u"&List", u"Displays items in a list.\nList"},
    {ID_VIEW_DETAIL, u"&Detail", u"Displays information about each item in the windows.\nDetails"},
    {ID_SORT_BY_NAME, u"by &Name", u"Sorts items alphabetically by name.\nName"},
    {ID_SORT_BY_SIZE, u"by &Size", u"Sorts items by size.\nSize"},
    {ID_REFRESH, u"&Refresh", u"Refresh item information.\nRefresh"},
    {ID_NETWORK, u"&Network", u"Connect to VQ\nConnect"},
    {ID_CHECK_ERROR, u"&Check Error", u"Checks errors of VQ.\nCheck"},
    {ID_OPTIONS, u"&Options", u"Sets editor path.\nEditor"},
    {ID_APP_ABOUT, u"&About VQ8 Comm...",
     u"Display program information, version number and copyright\nAbout"},
    {ID_EXPLORE, u"&Explore", u"Explorer.\nExplorer"},
    {ID_TREE_EXPLORE, u"&Explorer", u"Explorer\nExplorer"},
    {ID_TREE_RENAME, u"&Rename", u"Rename the selected directory.\nRename"},
    {ID_UP_ONE_LEVEL, u"Up One Level", u"Up One Level\nUp One Level"},
    {ID_COMPARE_FOLDER, u"Compare with &PC Folder...",
     u"Compares a generator folder with a PC folder, and makes one hold what the other holds.\nCompare"},
    {ID_BACKUP, u"&Back Up the Generator...",
     u"Copies the generator's files to a PC folder with a manifest.\nBack Up"},
    {ID_RESTORE, u"&Restore to the Generator...", u"Puts a backup back onto the generator.\nRestore"},
    {ID_SEND_MANY, u"&Send to Several Generators...",
     u"Makes a generator folder hold a PC folder on several generators at once.\nSend to Several"},
};

// The commands that need the command channel.
constexpr int NEED_CONNECTION[] = {ID_PC_TO_VQ,    ID_VQ_TO_PC,    ID_NEW_FOLDER, ID_DELETE_ITEM,
                                   ID_RENAME_ITEM, ID_CHECK_ERROR, ID_REFRESH,    ID_COMPARE_FOLDER,
                                   ID_BACKUP,      ID_RESTORE};

} // namespace

CMainFrame::CMainFrame(CVQComm* pComm, CAppSettings* pSettings, QWidget* parent)
    : QMainWindow(parent), m_pComm(pComm), m_pSettings(pSettings), m_pDoc(std::make_unique<CVeskDoc>(pComm))
{
    setWindowTitle(u"VQ8 Comm"_s);
    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreatePanes();
    CreateContextMenus();
    ApplyPlacement();

    // F6 and Shift+F6: the next and the previous pane (there are two).
    auto* next = new QShortcut(QKeySequence(Qt::Key_F6), this);
    connect(next, &QShortcut::activated, this, &CMainFrame::FocusNextPane);
    auto* previous = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6), this);
    connect(previous, &QShortcut::activated, this, &CMainFrame::FocusNextPane);

    m_focusConnection = connect(qApp, &QApplication::focusChanged, this,
                                [this](QWidget*, QWidget* now) { OnFocusChanged(now); });
    RelayLocaleChanges(this);
    UpdateCommandUI();
}

CMainFrame::~CMainFrame()
{
    disconnect(m_focusConnection);
    StorePlacement();
    // The panes go first: they hand their state over and still reach the
    // document on their way out.
    std::unique_ptr<QWidget> panes(takeCentralWidget());
    panes.reset();
    m_pTreeView = nullptr;
    m_pListView = nullptr;
    m_pActiveView = nullptr;
}

QAction* CMainFrame::AddCommand(int id, const QString& text, const QString& prompt)
{
    auto* action = new QAction(text, this);
    const qsizetype newline = prompt.indexOf(u'\n');
    action->setStatusTip(newline < 0 ? prompt : prompt.left(newline));
    action->setToolTip(newline < 0 ? prompt : prompt.mid(newline + 1));
    action->setData(id);
    m_actions.insert(id, action);
    return action;
}

QAction* CMainFrame::AddAlias(QMenu* menu, int id, const QString& text)
{
    QAction* command = Action(id);
    auto* alias = menu->addAction(text);
    alias->setIcon(command->icon());
    alias->setStatusTip(command->statusTip());
    alias->setCheckable(command->isCheckable());
    const auto mirror = [alias, command] {
        alias->setEnabled(command->isEnabled());
        alias->setChecked(command->isChecked());
    };
    mirror();
    connect(command, &QAction::changed, alias, mirror);
    connect(alias, &QAction::triggered, command, [command] { command->trigger(); });
    return alias;
}

void CMainFrame::CreateActions()
{
    for (const CommandText& command : COMMANDS)
        AddCommand(command.id, command.text.toString(), command.prompt.toString());

    Action(ID_PC_TO_VQ)->setIcon(MakeIcon(ICON_PC_TO_VQ));
    Action(ID_VQ_TO_PC)->setIcon(MakeIcon(ICON_VQ_TO_PC));
    Action(ID_UP_ONE_LEVEL)->setIcon(MakeIcon(ICON_UP_ONE_LEVEL));
    Action(ID_VIEW_LARGE_ICONS)->setIcon(MakeIcon(ICON_VIEW_LARGE_ICONS));
    Action(ID_VIEW_SMALL_ICONS)->setIcon(MakeIcon(ICON_VIEW_SMALL_ICONS));
    Action(ID_VIEW_LIST)->setIcon(MakeIcon(ICON_VIEW_LIST));
    Action(ID_VIEW_DETAIL)->setIcon(MakeIcon(ICON_VIEW_DETAILS));
    Action(ID_NETWORK)->setIcon(MakeIcon(ICON_NETWORK));
    Action(ID_APP_EXIT)->setMenuRole(QAction::QuitRole);

    m_pViewModeGroup = new QActionGroup(this);
    m_pViewModeGroup->setExclusive(true);
    const std::pair<int, int> modes[] = {{ID_VIEW_LARGE_ICONS, CUiListView::VIEW_LARGE_ICONS},
                                         {ID_VIEW_SMALL_ICONS, CUiListView::VIEW_SMALL_ICONS},
                                         {ID_VIEW_LIST, CUiListView::VIEW_LIST},
                                         {ID_VIEW_DETAIL, CUiListView::VIEW_DETAILS}};
    for (const auto& [id, mode] : modes) {
        QAction* action = Action(id);
        action->setCheckable(true);
        m_pViewModeGroup->addAction(action);
        connect(action, &QAction::triggered, this, [this, viewMode = mode] {
            if (m_pListView)
                m_pListView->SetViewMode(viewMode);
        });
    }

    // Keys users of explorer windows expect; the panes keep theirs (Delete,
    // Enter, F2 and the label editor's own).
    Action(ID_REFRESH)->setShortcut(QKeySequence(Qt::Key_F5));
    Action(ID_UP_ONE_LEVEL)
        ->setShortcuts({QKeySequence(Qt::ALT | Qt::Key_Up), QKeySequence(Qt::Key_Backspace)});

    connect(Action(ID_APP_EXIT), &QAction::triggered, this, &QWidget::close);
    connect(Action(ID_PC_TO_VQ), &QAction::triggered, this, &CMainFrame::OnPcToVq);
    connect(Action(ID_VQ_TO_PC), &QAction::triggered, this, &CMainFrame::OnVqToPc);
    connect(Action(ID_NEW_FOLDER), &QAction::triggered, this, &CMainFrame::OnNewFolder);
    connect(Action(ID_CHECK_ERROR), &QAction::triggered, this, &CMainFrame::OnCheckError);
    connect(Action(ID_OPTIONS), &QAction::triggered, this, &CMainFrame::OnOptions);
    connect(Action(ID_SEND_MANY), &QAction::triggered, this, &CMainFrame::OnSendMany);
    connect(Action(ID_COMPARE_FOLDER), &QAction::triggered, this, &CMainFrame::OnCompareFolder);
    connect(Action(ID_BACKUP), &QAction::triggered, this, [this] { OnBackup(true); });
    connect(Action(ID_RESTORE), &QAction::triggered, this, [this] { OnBackup(false); });
    connect(Action(ID_APP_ABOUT), &QAction::triggered, this, &CMainFrame::OnAbout);
    connect(Action(ID_NETWORK), &QAction::triggered, this, &CMainFrame::OnNetwork);
    connect(Action(ID_DELETE_ITEM), &QAction::triggered, this, &CMainFrame::OnDelete);
    connect(Action(ID_RENAME_ITEM), &QAction::triggered, this, &CMainFrame::OnRename);
    connect(Action(ID_REFRESH), &QAction::triggered, this, &CMainFrame::OnRefresh);
    connect(Action(ID_EXPLORE), &QAction::triggered, this, &CMainFrame::OnExplore);
    connect(Action(ID_TREE_EXPLORE), &QAction::triggered, this, &CMainFrame::OnTreeExplore);
    connect(Action(ID_TREE_RENAME), &QAction::triggered, this, &CMainFrame::OnTreeRename);
    connect(Action(ID_UP_ONE_LEVEL), &QAction::triggered, this, &CMainFrame::OnUpOneLevel);
    connect(Action(ID_SORT_BY_NAME), &QAction::triggered, this, [this] {
        if (m_pListView)
            m_pListView->SortBy(CUiListView::SORT_BY_NAME);
    });
    connect(Action(ID_SORT_BY_SIZE), &QAction::triggered, this, [this] {
        if (m_pListView)
            m_pListView->SortBy(CUiListView::SORT_BY_SIZE);
    });

    QAction* statusBarAction = Action(ID_VIEW_STATUS_BAR);
    statusBarAction->setCheckable(true);
    statusBarAction->setChecked(true);
    connect(statusBarAction, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });
}

void CMainFrame::CreateMenus()
{
    QMenu* file = menuBar()->addMenu(u"&File"_s);
    file->addAction(Action(ID_PC_TO_VQ));
    file->addAction(Action(ID_VQ_TO_PC));
    file->addSeparator();
    QMenu* fileNew = file->addMenu(u"Ne&w"_s);
    fileNew->addAction(Action(ID_NEW_FOLDER));
    file->addSeparator();
    file->addAction(Action(ID_DELETE_ITEM));
    file->addAction(Action(ID_RENAME_ITEM));
    file->addSeparator();
    file->addAction(Action(ID_APP_EXIT));

    QMenu* view = menuBar()->addMenu(u"&View"_s);
    view->addAction(Action(ID_VIEW_TOOLBAR));
    view->addAction(Action(ID_VIEW_STATUS_BAR));
    view->addSeparator();
    view->addAction(Action(ID_VIEW_LARGE_ICONS));
    view->addAction(Action(ID_VIEW_SMALL_ICONS));
    view->addAction(Action(ID_VIEW_LIST));
    view->addAction(Action(ID_VIEW_DETAIL));
    view->addSeparator();
    QMenu* arrange = view->addMenu(u"Arrange &Icons"_s);
    arrange->addAction(Action(ID_SORT_BY_NAME));
    arrange->addAction(Action(ID_SORT_BY_SIZE));
    view->addSeparator();
    view->addAction(Action(ID_REFRESH));

    QMenu* utility = menuBar()->addMenu(u"&Utility"_s);
    utility->addAction(Action(ID_NETWORK));
    utility->addAction(Action(ID_CHECK_ERROR));
    utility->addAction(Action(ID_OPTIONS));
    utility->addSeparator();
    utility->addAction(Action(ID_COMPARE_FOLDER));
    utility->addAction(Action(ID_SEND_MANY));
    utility->addAction(Action(ID_BACKUP));
    utility->addAction(Action(ID_RESTORE));

    QMenu* help = menuBar()->addMenu(u"&Help"_s);
    help->addAction(Action(ID_APP_ABOUT));

    // What a menu shows is checked as it opens, too.
    for (QMenu* menu : {file, fileNew, view, arrange, utility, help})
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
}

void CMainFrame::CreateContextMenus()
{
    // 142: the list's empty space.
    auto* background = new QMenu(this);
    QMenu* viewMenu = background->addMenu(u"&View"_s);
    viewMenu->addAction(Action(ID_VIEW_LARGE_ICONS));
    viewMenu->addAction(Action(ID_VIEW_SMALL_ICONS));
    viewMenu->addAction(Action(ID_VIEW_LIST));
    AddAlias(viewMenu, ID_VIEW_DETAIL, u"&Details"_s);
    background->addSeparator();
    QMenu* arrange = background->addMenu(u"Arrange &Icons"_s);
    arrange->addAction(Action(ID_SORT_BY_NAME));
    AddAlias(arrange, ID_SORT_BY_SIZE, u"by Si&ze"_s);
    background->addSeparator();
    background->addAction(Action(ID_REFRESH));
    background->addSeparator();
    QMenu* newMenu = background->addMenu(u"&New"_s);
    newMenu->addAction(Action(ID_NEW_FOLDER));

    // 143: a folder item of the list.
    auto* folder = new QMenu(this);
    folder->addAction(Action(ID_EXPLORE));
    folder->addSeparator();
    folder->addAction(Action(ID_DELETE_ITEM));
    folder->addAction(Action(ID_RENAME_ITEM));

    // 144: a file item of the list.
    auto* file = new QMenu(this);
    file->addAction(Action(ID_VQ_TO_PC));
    file->addSeparator();
    file->addAction(Action(ID_DELETE_ITEM));
    file->addAction(Action(ID_RENAME_ITEM));

    // 147: a tree item.
    auto* tree = new QMenu(this);
    tree->addAction(Action(ID_TREE_EXPLORE));
    tree->addSeparator();
    tree->addAction(Action(ID_TREE_RENAME));
    tree->addSeparator();
    tree->addAction(Action(ID_COMPARE_FOLDER));

    m_contextMenus = {{142, background}, {143, folder}, {144, file}, {147, tree}};
    for (QMenu* menu : {background, folder, file, tree})
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    m_pListView->SetContextMenus(background, folder, file);
    m_pTreeView->SetContextMenu(tree);
}

void CMainFrame::CreateToolBar()
{
    m_pToolBar = new QToolBar(u"Standard"_s, this);
    m_pToolBar->setObjectName(u"standardToolBar"_s);
    m_pToolBar->setIconSize(QSize(16, 16));
    m_pToolBar->setMovable(true);
    m_pToolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_pToolBar->addAction(Action(ID_PC_TO_VQ));
    m_pToolBar->addAction(Action(ID_VQ_TO_PC));
    m_pToolBar->addSeparator();
    m_pToolBar->addAction(Action(ID_UP_ONE_LEVEL));
    m_pToolBar->addSeparator();
    m_pToolBar->addAction(Action(ID_VIEW_LARGE_ICONS));
    m_pToolBar->addAction(Action(ID_VIEW_SMALL_ICONS));
    m_pToolBar->addAction(Action(ID_VIEW_LIST));
    m_pToolBar->addAction(Action(ID_VIEW_DETAIL));
    addToolBar(Qt::TopToolBarArea, m_pToolBar);
    setDockOptions(dockOptions() | QMainWindow::AnimatedDocks);

    // The tool bar's own show/hide action under the command's name.
    QAction* toggle = Action(ID_VIEW_TOOLBAR);
    toggle->setCheckable(true);
    toggle->setChecked(true);
    connect(toggle, &QAction::toggled, m_pToolBar, &QWidget::setVisible);
    connect(m_pToolBar, &QToolBar::visibilityChanged, toggle, [toggle, this](bool visible) {
        // Hidden with its window, it stays on.
        if (isVisible())
            toggle->setChecked(visible);
    });
}

void CMainFrame::CreateStatusBar()
{
    // The message pane (the commands' prompts) and the memory pane share the
    // width the object pane leaves; each keeps a minimum width.
    m_pMessageLabel = new QLabel(this);
    m_pMessageLabel->setObjectName(u"messagePane"_s);
    m_pMessageLabel->setMinimumWidth(STATUS_PANE_MIN_WIDTH);
    m_pObjectsLabel = new QLabel(this);
    m_pObjectsLabel->setObjectName(u"objectsPane"_s);
    m_pObjectsLabel->setMinimumWidth(STATUS_PANE_MIN_WIDTH);
    m_pMemoryLabel = new QLabel(this);
    m_pMemoryLabel->setObjectName(u"memoryPane"_s);
    m_pMemoryLabel->setMinimumWidth(STATUS_PANE_MIN_WIDTH);
    statusBar()->addWidget(m_pMessageLabel, 1);
    statusBar()->addPermanentWidget(m_pObjectsLabel);
    statusBar()->addPermanentWidget(m_pMemoryLabel, 1);
}

bool CMainFrame::event(QEvent* event)
{
    // Prompts go to the message pane; the status bar's own message would
    // hide it and squeeze the memory pane's share.
    if (event->type() == QEvent::StatusTip) {
        m_pMessageLabel->setText(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

void CMainFrame::CreatePanes()
{
    m_pSplitter = new QSplitter(Qt::Horizontal, this);
    m_pSplitter->setChildrenCollapsible(false);
    m_pTreeView = new CUiTreeView(m_pDoc.get(), m_pSplitter);
    m_pListView = new CUiListView(m_pDoc.get(), m_pSplitter);
    const ListViewState state = m_pSettings->GetListViewState();
    m_pListView->RestoreState(state.mode, state.sortKey, state.firstColumnWidth, state.secondColumnWidth);
    CAppSettings* settings = m_pSettings;
    m_pListView->SetStateSink([settings](int mode, int sortKey, int nameWidth, int sizeWidth) {
        ListViewState kept = settings->GetListViewState();
        kept.mode = mode;
        kept.sortKey = sortKey;
        kept.firstColumnWidth = nameWidth;
        kept.secondColumnWidth = sizeWidth;
        settings->SetListViewState(kept);
    });
    m_pSplitter->addWidget(m_pTreeView);
    m_pSplitter->addWidget(m_pListView);
    // Resizing the window resizes the list; the tree keeps its width.
    m_pSplitter->setStretchFactor(0, 0);
    m_pSplitter->setStretchFactor(1, 1);
    setCentralWidget(m_pSplitter);

    connect(m_pListView, &CUiListView::StateChanged, this, &CMainFrame::UpdateCommandUI);
    if (CTransferChain* chain = m_pListView->TransferChain())
        connect(chain, &CTransferChain::BatchEnded, this, &CMainFrame::RestorePaneFocus);
    connect(m_pTreeView, &CUiTreeView::SelectionMoved, this, &CMainFrame::UpdateCommandUI);
    m_pActiveView = m_pListView;
    m_pListView->ItemView()->setFocus(Qt::OtherFocusReason);
}

void CMainFrame::ApplyPlacement()
{
    const WindowPlacement placement = m_pSettings->GetWindowPlacement();
    resize(placement.width, placement.height);
    m_pSplitter->setSizes({placement.treeWidth, qMax(0, width() - placement.treeWidth)});

    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        move(placement.left, placement.top);
        return;
    }
    // The stored place is that of the frame; the size that of the inside.
    const QMargins frame = FrameMargins();
    QRect outer(placement.left, placement.top, width() + frame.left() + frame.right(),
                height() + frame.top() + frame.bottom());
    bool centre = placement.left < 0 && placement.top < 0;
    // A place on no screen at all (a monitor since removed) would hide the
    // window for good; such a window is centred instead.
    QScreen* target = centre ? screen : QGuiApplication::screenAt(outer.center());
    if (!centre && !target) {
        const QList<QScreen*> screens = QGuiApplication::screens();
        for (QScreen* each : screens) {
            if (!target && each->availableGeometry().intersects(outer))
                target = each;
        }
        centre = !target;
    }
    const QRect room = (target ? target : screen)->availableGeometry();
    // The window, its title bar and its menu stay on the screen, at any
    // scale: a stored or default size too large for it shrinks to it.
    if (outer.width() > room.width() || outer.height() > room.height()) {
        outer.setSize(outer.size().boundedTo(room.size()));
        resize(outer.width() - frame.left() - frame.right(), outer.height() - frame.top() - frame.bottom());
        if (centre)
            outer.moveCenter(room.center());
        outer.moveLeft(std::clamp(outer.left(), room.left(), room.right() + 1 - outer.width()));
        outer.moveTop(std::clamp(outer.top(), room.top(), room.bottom() + 1 - outer.height()));
        move(outer.topLeft());
        return;
    }
    QRect wanted(placement.left, placement.top, width(), height());
    if (centre)
        wanted.moveCenter(room.center());
    // A title bar above the screen could never be grabbed again.
    else if (wanted.top() < room.top() - frame.top())
        wanted.moveTop(room.top());
    move(wanted.topLeft());
}

QMargins CMainFrame::FrameMargins() const
{
    // Once shown the window system knows; before, the style's title bar and border.
    if (isVisible() && frameGeometry() != geometry()) {
        const QRect outer = frameGeometry();
        const QRect inner = geometry();
        return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                        outer.bottom() - inner.bottom());
    }
    const int border = style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, this);
    const int title = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    return QMargins(border, title + border, border, border);
}

void CMainFrame::StorePlacement()
{
    if (!m_pSplitter)
        return;
    // Minimised or maximised, the size to come back to is the normal one.
    const bool normal = !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    const QRect rect = normal ? QRect(pos(), size()) : normalGeometry();
    WindowPlacement placement = m_pSettings->GetWindowPlacement();
    placement.left = rect.left();
    placement.top = rect.top();
    placement.width = rect.width();
    placement.height = rect.height();
    const QList<int> sizes = m_pSplitter->sizes();
    if (!sizes.isEmpty())
        placement.treeWidth = sizes.first();
    m_pSettings->SetWindowPlacement(placement);
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    // Leaving during a batch stops it first, as Cancel does: the file under
    // way is dropped (never left half-written at its name) and the worker
    // ends before the window goes.
    if (m_pComm->IsInBatch() || m_pComm->IsTransferRunning()) {
        CLinkHost* host = m_pComm->LinkHost();
        if (!host || host->ShowMessageBox(STOP_COPY_TEXT, MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
            event->ignore();
            return;
        }
        m_pComm->EndTransfers();
    }
    StorePlacement();
    QMainWindow::closeEvent(event);
}

void CMainFrame::SetStatusTexts(const QString& objects, const QString& memory)
{
    m_strObjectsPane = objects;
    m_strMemoryPane = memory;
    ShowStatusTexts();
}

void CMainFrame::ShowStatusTexts()
{
    // Without a generator the figures of the last one would mislead; a batch
    // closes the channel too, but the link is busy then, not gone.
    const bool offline = m_pComm && !m_pComm->IsConnected() && !m_pComm->IsInBatch();
    m_pObjectsLabel->setText(offline ? QString() : m_strObjectsPane);
    // Without figures the objects pane has nothing to say, and the hint
    // that replaces them is read whole: its pane takes the room of its text
    // from the message pane (at any scale).
    m_pObjectsLabel->setVisible(!offline);
    const QString memory =
        offline ? (m_pDoc->ChannelLost() ? CONNECTION_LOST_TEXT : NOT_CONNECTED_TEXT) : m_strMemoryPane;
    m_pMemoryLabel->setText(memory);
    const QFontMetrics metrics = m_pMemoryLabel->fontMetrics();
    const int hintWidth = metrics.horizontalAdvance(memory) + 2 * metrics.averageCharWidth();
    m_pMemoryLabel->setMinimumWidth(offline ? std::max(STATUS_PANE_MIN_WIDTH, hintWidth)
                                            : STATUS_PANE_MIN_WIDTH);
}

void CMainFrame::ClearViews()
{
    if (m_pTreeView)
        m_pTreeView->ClearTree();
    if (m_pListView)
        m_pListView->ClearFolder();
    UpdateCommandUI();
}

QWidget* CMainFrame::ActiveView() const
{
    return m_pActiveView;
}

void CMainFrame::SetActiveView(QWidget* pView)
{
    if (pView != m_pTreeView && pView != m_pListView)
        return;
    m_pActiveView = pView;
    UpdateCommandUI();
}

void CMainFrame::OnFocusChanged(QWidget* now)
{
    for (QWidget* walk = now; walk; walk = walk->parentWidget()) {
        if (walk == m_pTreeView || walk == m_pListView) {
            if (m_pActiveView != walk)
                SetActiveView(walk);
            return;
        }
    }
}

void CMainFrame::RestorePaneFocus()
{
    // The batch's dialogs have had the keyboard. With none of this program's
    // windows holding it now, the main window takes it back (the system does
    // that for owned windows where there is one to do it), and the pane that
    // had it before the batch has it again: F6, Shift+F6 and typing go on
    // from there.
    if (!QApplication::activeWindow())
        activateWindow();
    QWidget* pane =
        m_pActiveView == m_pTreeView ? static_cast<QWidget*>(m_pTreeView) : m_pListView->ItemView();
    pane->setFocus(Qt::OtherFocusReason);
}

void CMainFrame::FocusNextPane()
{
    if (!m_pTreeView || !m_pListView)
        return;
    // With two panes the next one is also the previous one.
    if (m_pActiveView == m_pTreeView) {
        m_pListView->ItemView()->setFocus(Qt::TabFocusReason);
        SetActiveView(m_pListView);
    } else {
        m_pTreeView->setFocus(Qt::TabFocusReason);
        SetActiveView(m_pTreeView);
    }
}

void CMainFrame::UpdateCommandUI()
{
    if (!m_pListView || !m_pTreeView)
        return;
    const bool connected = m_pComm && m_pComm->IsConnected();
    const QString folder = m_pListView->GetCurrentPath();
    ShowStatusTexts();

    for (const int id : NEED_CONNECTION)
        Action(id)->setEnabled(connected);
    // Refresh also connects again to a generator that went away.
    Action(ID_REFRESH)->setEnabled(connected || m_pDoc->ChannelLost());
    Action(ID_UP_ONE_LEVEL)->setEnabled(connected && !folder.isEmpty() && folder != DEVICE_ROOT_PATH);

    switch (m_pListView->GetViewMode()) {
    case CUiListView::VIEW_LARGE_ICONS:
        Action(ID_VIEW_LARGE_ICONS)->setChecked(true);
        break;
    case CUiListView::VIEW_DETAILS:
        Action(ID_VIEW_DETAIL)->setChecked(true);
        break;
    case CUiListView::VIEW_SMALL_ICONS:
        Action(ID_VIEW_SMALL_ICONS)->setChecked(true);
        break;
    case CUiListView::VIEW_LIST:
        Action(ID_VIEW_LIST)->setChecked(true);
        break;
    default:
        break;
    }
}

void CMainFrame::RebuildTree()
{
    if (m_pTreeView)
        m_pTreeView->RebuildTree();
}

void CMainFrame::OnNetwork()
{
    CSetEthernet dialog(m_pComm, this);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    // An address that did not connect leaves the generator in use, views and all.
    if (accepted && dialog.Connected()) {
        RebuildTree();
        m_pComm->QueryIdentity();
    }
    UpdateCommandUI();
}

void CMainFrame::OnDelete()
{
    if (!m_pComm->IsConnected())
        return;
    int result = 0;
    if (m_pActiveView == m_pTreeView)
        result = m_pTreeView->DeleteSelectedFolder();
    else
        result = m_pListView->DeleteSelected();
    if (result == 1)
        OnRefresh();
}

void CMainFrame::OnRename()
{
    if (!m_pComm->IsConnected())
        return;
    if (m_pActiveView == m_pTreeView)
        m_pTreeView->BeginRename();
    else
        m_pListView->BeginRename();
}

void CMainFrame::OnRefresh()
{
    m_pDoc->ReopenLostChannel();
    // The list reads the generator; the tree's item then takes its folders
    // from the list: one read, and both panes show what is there now.
    m_pListView->Refresh();
    m_pTreeView->ReloadSelected();
}

void CMainFrame::OnNewFolder()
{
    if (!m_pComm->IsConnected())
        return;
    m_pListView->ItemView()->setFocus(Qt::OtherFocusReason);
    SetActiveView(m_pListView);
    m_pListView->CreateNewFolder();
}

void CMainFrame::OnPcToVq()
{
    if (m_pListView->GetCurrentPath() == DEVICE_ROOT_PATH) {
        m_pComm->ShowError(u"Can not download to root directory."_s);
        return;
    }
    const QStringList files = CVQFileDialog::AskDownloadFiles(this);
    if (files.isEmpty())
        return;
    // The folder is asked again: it is the one shown when the files were chosen.
    m_pComm->PrepareDownload(files, m_pListView->GetCurrentPath());
}

void CMainFrame::OnVqToPc()
{
    const QString folder = m_pListView->GetCurrentPath();
    if (folder == DEVICE_ROOT_PATH) {
        m_pComm->ShowError(u"Can not upload from root directory."_s);
        return;
    }
    m_pComm->SetUploadFolder(folder);
    QList<CFileInfo> entries;
    CFileInfo entry;
    for (int row = m_pListView->GetNextSelectedEntry(-1, entry); row >= 0;
         row = m_pListView->GetNextSelectedEntry(row, entry))
        entries.append(entry);
    if (entries.isEmpty()) {
        m_pComm->ShowError(u"Please select a file to upload."_s, MB_OK | MB_ICONINFORMATION);
        return;
    }
    const bool folderChosen =
        std::any_of(entries.cbegin(), entries.cend(), [](const CFileInfo& each) { return each.IsFolder(); });
    if (folderChosen) {
        m_pComm->ShowError(u"A folder cannot be transferred to PC."_s, MB_OK | MB_ICONINFORMATION);
        return;
    }
    // Every target first: a Cancel on any of them transfers nothing. A name
    // this PC cannot take (the generator's or the one typed), or a second
    // file for one target, is told and left out; the batch goes on.
    m_pComm->ClearUploadQueue();
    QSet<QString> targets;
    for (const CFileInfo& each : std::as_const(entries)) {
        QString refusal = PcNameRefusal(each.GetName());
        QString target;
        if (refusal.isEmpty()) {
            target = CVQFileDialog::AskUploadTarget(each.GetName(), each.GetKind(), this);
            if (target.isEmpty()) {
                m_pComm->ClearUploadQueue();
                return;
            }
            refusal = PcNameRefusal(target.mid(LastPcSeparator(target) + 1));
            if (refusal.isEmpty() && targets.contains(PcPathKey(target)))
                refusal = PathMessage(u"Two files would be written to"_s, target);
        }
        if (!refusal.isEmpty()) {
            m_pComm->ShowError(refusal);
            continue;
        }
        targets.insert(PcPathKey(target));
        m_pComm->QueueUpload(&each, target);
    }
    if (!targets.isEmpty())
        m_pComm->StartUpload();
}

void CMainFrame::OnCheckError()
{
    if (!m_pComm->IsConnected())
        return;
    CDlgErrorList dialog(m_pComm, this);
    dialog.exec();
}

QString CMainFrame::CurrentFolder() const
{
    if (m_pTreeView && m_pTreeView->currentItem())
        return m_pTreeView->ItemPath(m_pTreeView->currentItem());
    return u"/F0:/"_s;
}

QString CMainFrame::CurrentPlace() const
{
    // The generator in use, reached by the window's runs on connections of their own.
    const CHostPort place{m_pComm->GetHost(),
                          m_pComm->GetPort() == COMMAND_PORT ? quint16(0) : m_pComm->GetPort()};
    return place.Text();
}

void CMainFrame::OnBackup(bool backup)
{
    if (!m_pComm->IsConnected())
        return;
    CDlgBackup dialog(backup ? CDlgBackup::Mode::Backup : CDlgBackup::Mode::Restore, CurrentPlace(), this);
    dialog.exec();
    if (!backup)
        RebuildTree();
}

void CMainFrame::OnCompareFolder()
{
    if (!m_pComm->IsConnected())
        return;
    CDlgCompareFolder dialog(CurrentPlace(), CurrentFolder(), this);
    if (CVeskApp* app = CVeskApp::Instance())
        dialog.SetPcFolder(app->LastFolder());
    dialog.exec();
    // The generator may hold other files now.
    RebuildTree();
}

void CMainFrame::OnSendMany()
{
    // Needs no connection: each generator is reached on its own.
    QStringList recent;
    if (CVeskApp* app = CVeskApp::Instance())
        recent = app->RecentHosts()->Hosts();
    CDlgSendMany dialog(recent, CurrentFolder(), this);
    dialog.exec();
}

void CMainFrame::OnOptions()
{
    // The editor is the application's, for this run only.
    CVeskApp* app = CVeskApp::Instance();
    CDlgOptions dialog(app ? app->EditorDefault() : CVeskApp::DefaultEditor(), this);
    dialog.SetUploadWithoutPauses(!m_pComm->UploadPacing());
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (app)
        app->SetEditorDefault(dialog.Editor());
    // Kept between runs, from the link, by the application.
    m_pComm->SetUploadPacing(!dialog.UploadWithoutPauses());
}

void CMainFrame::OnAbout()
{
    CAboutDlg dialog(this);
    dialog.exec();
}

void CMainFrame::OnExplore()
{
    if (m_pActiveView == m_pListView)
        m_pListView->OpenSelected();
}

void CMainFrame::OnTreeExplore()
{
    if (QTreeWidgetItem* item = m_pTreeView->GetContextItem())
        m_pTreeView->setCurrentItem(item);
}

void CMainFrame::OnTreeRename()
{
    m_pTreeView->BeginRenameItem(m_pTreeView->GetContextItem());
}

void CMainFrame::OnUpOneLevel()
{
    m_pTreeView->SelectParent();
}
