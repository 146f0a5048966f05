#include "mainframe.h"

#include "appsettings.h"
#include "setethernet.h"
#include "vqcomm.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>

using namespace Qt::StringLiterals;

CMainFrame::CMainFrame(CVQComm* pComm, CAppSettings* pSettings, QWidget* parent)
    : QMainWindow(parent), m_pComm(pComm), m_pSettings(pSettings)
{
    setWindowTitle(u"VQ8 Comm"_s);
    CreateMenus();
    CreateStatusBar();
    CreatePanes();
    ApplyPlacement();
}

CMainFrame::~CMainFrame()
{
    StorePlacement();
}

void CMainFrame::CreateMenus()
{
    QMenu* file = menuBar()->addMenu(u"&File"_s);
    QAction* exit = file->addAction(u"E&xit"_s);
    exit->setStatusTip(u"Quit the application"_s);
    exit->setMenuRole(QAction::QuitRole);
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QMenu* utility = menuBar()->addMenu(u"&Utility"_s);
    m_pNetworkAction = utility->addAction(u"&Network"_s);
    m_pNetworkAction->setStatusTip(u"Connect to VQ"_s);
    m_pNetworkAction->setToolTip(u"Connect"_s);
    connect(m_pNetworkAction, &QAction::triggered, this, &CMainFrame::OnNetwork);
}

void CMainFrame::CreateStatusBar()
{
    // The message pane is the status bar's own; the object pane keeps a
    // minimum width and the memory pane grows with its text.
    m_pObjectsLabel = new QLabel(this);
    m_pObjectsLabel->setMinimumWidth(STATUS_PANE_MIN_WIDTH);
    m_pMemoryLabel = new QLabel(this);
    m_pMemoryLabel->setMinimumWidth(STATUS_PANE_MIN_WIDTH);
    statusBar()->addPermanentWidget(m_pObjectsLabel);
    statusBar()->addPermanentWidget(m_pMemoryLabel);
}

void CMainFrame::CreatePanes()
{
    m_pSplitter = new QSplitter(Qt::Horizontal, this);
    m_pSplitter->setChildrenCollapsible(false);
    // Placeholders until the folder tree and the file list take their places.
    m_pTreePane = new QFrame(m_pSplitter);
    m_pTreePane->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    m_pTreePane->setObjectName(u"treePane"_s);
    m_pTreePane->setAutoFillBackground(true);
    m_pTreePane->setBackgroundRole(QPalette::Base);
    m_pListPane = new QFrame(m_pSplitter);
    m_pListPane->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    m_pListPane->setObjectName(u"listPane"_s);
    m_pListPane->setAutoFillBackground(true);
    m_pListPane->setBackgroundRole(QPalette::Base);
    m_pSplitter->addWidget(m_pTreePane);
    m_pSplitter->addWidget(m_pListPane);
    // Resizing the window resizes the list; the tree keeps its width.
    m_pSplitter->setStretchFactor(0, 0);
    m_pSplitter->setStretchFactor(1, 1);
    setCentralWidget(m_pSplitter);
    m_pListPane->setFocus(Qt::OtherFocusReason);
}

void CMainFrame::ApplyPlacement()
{
    const WindowPlacement placement = m_pSettings->GetWindowPlacement();
    resize(placement.width, placement.height);
    m_pSplitter->setSizes({placement.treeWidth, qMax(0, width() - placement.treeWidth)});

    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    QRect wanted(placement.left, placement.top, width(), height());
    bool centre = placement.left < 0 && placement.top < 0;
    // A place on no screen at all (a monitor since removed) would hide the
    // window for good; such a window is centred instead.
    if (!centre && screen) {
        bool visible = false;
        const QList<QScreen*> screens = QGuiApplication::screens();
        for (const QScreen* each : screens)
            visible = visible || each->availableGeometry().intersects(wanted);
        centre = !visible;
    }
    if (centre && screen)
        wanted.moveCenter(available.center());
    move(wanted.topLeft());
}

void CMainFrame::StorePlacement()
{
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
    StorePlacement();
    QMainWindow::closeEvent(event);
}

void CMainFrame::SetStatusTexts(const QString& objects, const QString& memory)
{
    m_strObjectsPane = objects;
    m_strMemoryPane = memory;
    m_pObjectsLabel->setText(objects);
    m_pMemoryLabel->setText(memory);
}

void CMainFrame::ClearViews()
{
    // The folder tree and the file list empty themselves here once they exist.
}

void CMainFrame::RebuildTree()
{
    // The folder tree pane reads the root folder here once it exists.
}

void CMainFrame::OnNetwork()
{
    CSetEthernet dialog(m_pComm, this);
    if (dialog.exec() != QDialog::Accepted || !m_pComm->IsConnected())
        return;
    RebuildTree();
    m_pComm->QueryIdentity();
}
