#pragma once

#include "app/commandids.h"

#include <QHash>
#include <QMainWindow>
#include <QMargins>
#include <QMetaObject>
#include <QString>

#include <memory>

class CAppSettings;
class CUiListView;
class CUiTreeView;
class CVeskDoc;
class CVQComm;
class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QSplitter;
class QToolBar;

// The program's one top-level window: menu, tool bar, status bar with the
// object and memory panes, and the splitter holding the folder tree and the
// file list. Every command arrives here, one QAction per command id.
class CMainFrame final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CMainFrame)

public:
    static constexpr int STATUS_PANE_MIN_WIDTH = 80;
    // The status bar while no generator is connected.
    static inline const QString NOT_CONNECTED_TEXT =
        QStringLiteral("Not connected: Utility, Network connects to the generator");
    // The status bar after the generator went away, the panes showing what it held.
    static inline const QString CONNECTION_LOST_TEXT =
        QStringLiteral("Connection lost: Refresh (F5) connects again");
    // Asked when the window closes during a transfer batch.
    static inline const QString STOP_COPY_TEXT =
        QStringLiteral("Files are being copied. Stop the copy and exit ?");

    // Placed from `pSettings` at once; placement and the list's state go back
    // there when the window closes or is destroyed. Both must outlive the frame.
    CMainFrame(CVQComm* pComm, CAppSettings* pSettings, QWidget* parent = nullptr);
    ~CMainFrame() override;

    void SetStatusTexts(const QString& objects, const QString& memory);
    QString ObjectsText() const { return m_strObjectsPane; }
    QString MemoryText() const { return m_strMemoryPane; }

    // Empties both panes (after a failed connect).
    void ClearViews();
    // Records position, size and tree pane width into the settings.
    void StorePlacement();
    // Enables, disables and checks every command from the connection, the
    // list's folder, the view mode and the active pane. Runs after each
    // change of any of them.
    void UpdateCommandUI();

    QSplitter* Splitter() const { return m_pSplitter; }
    CUiTreeView* TreeView() const { return m_pTreeView; }
    CUiListView* ListView() const { return m_pListView; }
    CVeskDoc* Document() const { return m_pDoc.get(); }
    QToolBar* ToolBar() const { return m_pToolBar; }
    QAction* Action(int id) const { return m_actions.value(id); }
    QAction* NetworkAction() const { return Action(ID_NETWORK); }
    // The context menus by resource number: 142, 143, 144 (list), 147 (tree).
    QMenu* ContextMenu(int resource) const { return m_contextMenus.value(resource); }
    // The pane that last had the focus: the tree or the list.
    QWidget* ActiveView() const;
    void SetActiveView(QWidget* pView);

public Q_SLOTS:
    // The Network command: the address dialog, then, once connected, the
    // device's folders and identity.
    void OnNetwork();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateContextMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreatePanes();
    void ApplyPlacement();
    // The window frame around the inside (title bar, borders).
    QMargins FrameMargins() const;
    // The link's texts, or the note that no generator is connected.
    void ShowStatusTexts();
    void RebuildTree();
    QAction* AddCommand(int id, const QString& text, const QString& prompt);
    // The same command under another text in a context menu.
    QAction* AddAlias(QMenu* menu, int id, const QString& text);
    void OnFocusChanged(QWidget* now);
    void FocusNextPane();
    void RestorePaneFocus();

    void OnDelete();
    void OnRename();
    void OnRefresh();
    void OnExplore();
    void OnTreeExplore();
    void OnTreeRename();
    void OnUpOneLevel();
    void OnNewFolder();
    void OnPcToVq();
    void OnVqToPc();
    void OnCheckError();
    void OnSendMany();
    void OnCompareFolder();
    void OnBackup(bool backup);
    // The generator in use as ADDRESS[:PORT].
    QString CurrentPlace() const;
    // The generator folder chosen in the tree (the root when none is).
    QString CurrentFolder() const;
    void OnOptions();
    void OnAbout();

    CVQComm* m_pComm;
    CAppSettings* m_pSettings;
    std::unique_ptr<CVeskDoc> m_pDoc;
    QSplitter* m_pSplitter = nullptr;
    CUiTreeView* m_pTreeView = nullptr;
    CUiListView* m_pListView = nullptr;
    QWidget* m_pActiveView = nullptr;
    QToolBar* m_pToolBar = nullptr;
    QActionGroup* m_pViewModeGroup = nullptr;
    QHash<int, QAction*> m_actions;
    QHash<int, QMenu*> m_contextMenus;
    QLabel* m_pMessageLabel = nullptr;
    QLabel* m_pObjectsLabel = nullptr;
    QLabel* m_pMemoryLabel = nullptr;
    QMetaObject::Connection m_focusConnection;
    QString m_strMemoryPane;
    QString m_strObjectsPane;
};
