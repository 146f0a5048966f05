#pragma once

#include "link/fileinfo.h"
#include "link/settingsnames.h"

#include <QPersistentModelIndex>
#include <QStackedWidget>
#include <QString>

#include <array>
#include <functional>
#include <memory>

class CFileListModel;
class CLabelEditDelegate;
class CTransferChain;
class CFixedSizeDelegate;
class CVeskDoc;
class CVQComm;
class QAbstractItemView;
class QKeyEvent;
class QLabel;
class QListView;
class QMimeData;
class QMenu;
class QTemporaryDir;
class QTreeView;

// The entries of the current generator folder: one model shown as large
// icons, details, small icons or a list. Also the receiver of the transfer
// batch's messages.
class CUiListView final : public QStackedWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CUiListView)

public:
    enum ViewMode : int
    {
        VIEW_LARGE_ICONS = 0,
        VIEW_DETAILS = 1,
        VIEW_SMALL_ICONS = 2,
        VIEW_LIST = 3,
    };
    enum SortKey : int
    {
        SORT_BY_NAME = 1,
        SORT_BY_SIZE = 2,
    };
    // The context menus by their resource numbers.
    enum MenuId : int
    {
        MENU_NONE = 0,
        MENU_BACKGROUND = 142,
        MENU_FOLDER = 143,
        MENU_FILE = 144,
    };
    // Drop effects.
    enum DropEffect : int
    {
        DROP_NONE = 0,
        DROP_COPY = 1,
        DROP_MOVE = 2,
    };
    // New folders are proposed as "New Folder", then "New Folder(2)" up to this.
    static constexpr int MAX_NEW_FOLDER_NUMBER = 255;
    static inline const QString NEW_FOLDER_NAME = QStringLiteral("New Folder");
    // A PC folder dropped on a pane (followed by " : " and its path).
    static inline const QString FOLDER_NOT_COPIED_TEXT =
        QStringLiteral("A folder is not copied by a drop, only files (vq8ctl put -r copies folders)");

    // Receives view mode, sort key and the two column widths when the list goes.
    using StateSink = std::function<void(int mode, int sortKey, int nameWidth, int sizeWidth)>;

    explicit CUiListView(CVeskDoc* pDoc, QWidget* parent = nullptr);
    ~CUiListView() override;

    // The state kept between runs; values out of range keep the defaults.
    void RestoreState(int mode, int sortKey, int nameWidth, int sizeWidth);
    void SetStateSink(StateSink sink) { m_stateSink = std::move(sink); }
    void SetContextMenus(QMenu* pBackground, QMenu* pFolder, QMenu* pFile);

    // Shows the entries of `path`. A folder that could not be read shows as
    // such (IsFolderRead), never as an empty one.
    void FillFromDevice(const QString& path);
    void Refresh();
    bool IsFolderRead() const { return m_bFolderRead; }
    void ClearList();
    // Empties the list and forgets its folder (the connection is gone).
    void ClearFolder();
    QString GetCurrentPath() const { return m_strCurrentPath; }
    int FindItemByName(const QString& name) const;
    int GetNextSelectedName(int start, QString& name) const;
    int GetNextSelectedEntry(int start, CFileInfo& entry) const;
    // The name of the next folder after `position` (-1: from the first);
    // at the end an empty name and `position` -1.
    QString NextFolderName(int& position) const;
    void SetViewMode(int mode);
    int GetViewMode() const { return m_nViewMode; }
    void SortBy(int key);
    int GetSortKey() const { return m_nSortKey; }
    void OpenItem(int index);
    void OpenSelected();
    void RefreshSizeTexts();

    // --- editing the generator from the list ---
    // Label editing of the first selected entry (1037 in the root).
    void BeginRename();
    // The end of a label edit of `row`: `accepted` false when it was
    // cancelled; a name confirmed unchanged is no change. A rename or a new
    // folder goes to the generator; the label changes only once the
    // generator took it. Returns 1 when it did. `leavingFolder`: the list is
    // about to show another folder, so a refused name ends the edit as
    // Escape does instead of being edited again.
    int EndLabelEdit(int row, const QString& text, bool accepted, bool leavingFolder = false);
    // Ends the label edit in progress now (its editor, when still open,
    // gives its text as Enter would): the list is about to change folder.
    void FinishLabelEdit();
    bool IsNewFolderPending() const { return m_bNewFolderPending; }
    // Deletes the selected entries after the user's confirmation; 1 when the
    // user confirmed (the caller then refreshes both panes).
    int DeleteSelected();
    // A new folder item at the end, its label in edit; the folder is made
    // when the edit ends.
    void CreateNewFolder();

    // --- drops ---
    // Whether a drop at `index` (-1: empty space) is taken.
    bool CanDropAt(int index) const;
    void SetDropItem(int index);
    int DropItem() const { return m_nDropItem; }
    // The folder a drop onto the list goes to: the highlighted folder item,
    // else the current folder.
    QString GetDropTargetPath() const;
    // Copies (DROP_COPY) or moves (DROP_MOVE) the device entry `source`
    // into `targetFolder`; returns 1 when the generator did it.
    int DropDeviceItem(const QString& source, const QString& targetFolder, int effect);
    // The same for several entries, in order, stopping at the first the
    // generator refuses (or a text that names none); returns how many went.
    int DropDeviceItems(const QStringList& sources, const QString& targetFolder, int effect);
    // The drop of `data` onto `targetFolder`, from either pane: PC files go
    // to the download engine (once the drop is over), a text naming device
    // paths (one a line) has them copied on the generator.
    void DropData(const QMimeData* mime, const QString& targetFolder);
    // True when `data` is something the panes take.
    static bool IsDroppable(const QMimeData* mime);

    // --- drags out ---
    // Copies the files `files` of the device folder `deviceFolder` into the
    // local folder `localFolder` (made here), as a batch with the progress
    // display and its Cancel, waiting for its end: true when every file
    // arrived whole. Otherwise nothing of the batch is left there.
    bool FetchForDrop(const QString& deviceFolder, const QList<CFileInfo>& files, const QString& localFolder);
    // The target of the drop stopped waiting for the files being fetched:
    // the copy stops, and the user is told why nothing arrived.
    void AbandonFetch();
    // The folder the files of drags out go to; it goes with the list.
    QString DragFolder();
    static inline const QString DROP_ABANDONED_TEXT = QStringLiteral(
        "The files were not copied: the program they were dropped on stopped waiting for them.\n\n"
        "VQ to PC copies files of any size.");

    // After a batch, the channel open again: names every file sent that the
    // generator does not list with its size, and shows what the generator
    // queued meanwhile (it refuses a file without a word on the transfer
    // connection).
    void CheckBatchResult(int wParam);

    // Shift+F10: the context menu from the keyboard, as the Menu key gives it.
    static bool IsContextMenuKey(const QKeyEvent* event);
    // The context menu of the current item (or of the folder when there is
    // none), shown by it.
    void ShowKeyboardMenu();

    int ItemCount() const;
    int ColumnWidth(int column) const;
    // Which context menu a right click at `pos` (viewport coordinates of the
    // shown view) pops up; none while the generator is not connected.
    int ContextMenuIdAt(const QPoint& pos) const;

    // The receiver of a transfer batch's messages.
    CTransferChain* TransferChain() const { return m_pChain; }
    CFileListModel* Model() const { return m_pModel; }
    QListView* IconView() const { return m_pIconView; }
    QTreeView* DetailView() const { return m_pDetailView; }
    QAbstractItemView* ItemView() const;

Q_SIGNALS:
    // The folder, the view mode or the sort order changed.
    void StateChanged();
    void ContextMenuShown(int menuId);

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ReadColumnWidths();
    void ApplyListMode();
    void ShowContextMenu(const QPoint& pos);
    void ShowMenu(int menuId, const QPoint& pos);
    void UpdateSortIndicator();
    QList<int> SelectedRows() const;
    CVQComm* Comm() const;
    QString EntryPath(const QString& name) const;
    void EditRow(int row);
    void ReloadTreeSelected();
    // The device paths of a drag within the program, or of a text naming them.
    static QStringList DroppedDevicePaths(const QMimeData* mime);
    // PC paths of a drop: folders are refused (said once, naming them),
    // files go on to the download engine.
    void DropPcPaths(const QStringList& paths, const QString& targetFolder);
    // Whether copying `source` to `destination` may be asked of the
    // generator; says why not when it may not (`more`: entries follow, which
    // the user may go on with).
    // `existing`: the names in the target folder (read when first needed).
    bool CheckDeviceCopy(const QString& source, const QString& destination,
                         const std::function<QStringList()>& existing, bool more, bool& stop);
    // The tree shows the entries of the list's folder as they are now.
    void ReloadTreeFolder();
    // Runs the end of the last label edit, if one is waiting.
    void RunPendingEdit(bool leavingFolder);
    bool HandleDrag(QEvent* event);

    // The end of a label edit, kept from the moment the editor gives its
    // text until it runs (once the editor has gone, or before a new folder).
    struct CPendingEdit
    {
        QPersistentModelIndex m_index;
        QString m_strText;
        bool m_bAccepted = false;
    };

    CVeskDoc* m_pDoc;
    QString m_strCurrentPath;
    bool m_bFolderRead = true;
    CPendingEdit m_pendingEdit;
    int m_nDropItem = -1;
    bool m_bNewFolderPending = false;
    int m_nViewMode = VIEW_LARGE_ICONS;
    std::array<int, 2> m_nColumnWidth{vqsettings::DEFAULT_NAME_COLUMN_WIDTH,
                                      vqsettings::DEFAULT_SIZE_COLUMN_WIDTH};
    int m_nSortKey = SORT_BY_NAME;
    StateSink m_stateSink;
    CFileListModel* m_pModel = nullptr;
    QListView* m_pIconView = nullptr;
    CFixedSizeDelegate* m_pIconDelegate = nullptr;
    QTreeView* m_pDetailView = nullptr;
    CLabelEditDelegate* m_pDetailDelegate = nullptr;
    QLabel* m_pUnreadNote = nullptr;
    std::array<QMenu*, 3> m_pMenus{};
    CTransferChain* m_pChain = nullptr;
    std::unique_ptr<QTemporaryDir> m_pDragFolder;
    int m_nDrags = 0;
    bool m_bFetchAbandoned = false;
};
