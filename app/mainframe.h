#pragma once

#include <QMainWindow>
#include <QString>

class CAppSettings;
class CVQComm;
class QAction;
class QFrame;
class QLabel;
class QSplitter;

// The program's one top-level window: menu, status bar with the object and
// memory panes, and the splitter holding the folder tree and the file list.
class CMainFrame final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CMainFrame)

public:
    static constexpr int STATUS_PANE_MIN_WIDTH = 80;

    // Placed from `pSettings` at once; placement goes back there when the
    // window closes or is destroyed. Both must outlive the frame.
    CMainFrame(CVQComm* pComm, CAppSettings* pSettings, QWidget* parent = nullptr);
    ~CMainFrame() override;

    void SetStatusTexts(const QString& objects, const QString& memory);
    QString ObjectsText() const { return m_strObjectsPane; }
    QString MemoryText() const { return m_strMemoryPane; }

    // Empties both panes (after a failed connect).
    void ClearViews();
    // Records position, size and tree pane width into the settings.
    void StorePlacement();

    QSplitter* Splitter() const { return m_pSplitter; }
    QFrame* TreePane() const { return m_pTreePane; }
    QFrame* ListPane() const { return m_pListPane; }
    QAction* NetworkAction() const { return m_pNetworkAction; }

public Q_SLOTS:
    // The Network command: the address dialog, then, once connected, the
    // device's folders and identity.
    void OnNetwork();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateMenus();
    void CreateStatusBar();
    void CreatePanes();
    void ApplyPlacement();
    // Reads the device's folders into the tree; the folder tree pane fills it in.
    void RebuildTree();

    CVQComm* m_pComm;
    CAppSettings* m_pSettings;
    QSplitter* m_pSplitter = nullptr;
    QFrame* m_pTreePane = nullptr;
    QFrame* m_pListPane = nullptr;
    QAction* m_pNetworkAction = nullptr;
    QLabel* m_pObjectsLabel = nullptr;
    QLabel* m_pMemoryLabel = nullptr;
    QString m_strMemoryPane;
    QString m_strObjectsPane;
};
