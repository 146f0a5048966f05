#pragma once

#include <QIcon>
#include <QPersistentModelIndex>
#include <QString>
#include <QTreeWidget>

class CVeskDoc;
class CVQComm;
class QMenu;

// The generator's folders below one root item. Children are read on their
// first expansion; the selected folder is the folder the file list shows.
class CUiTreeView final : public QTreeWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CUiTreeView)

public:
    // Item data flag: the children of this item have been read.
    static constexpr int ITEM_LOADED = 0x1;
    static constexpr int FLAGS_ROLE = Qt::UserRole;
    static constexpr int PLACEHOLDER_ROLE = Qt::UserRole + 1;
    static inline const QString PLACEHOLDER_LABEL = QStringLiteral("DUMY");
    // Asked before a folder with entries is removed with them (%1: its name).
    static inline const QString FOLDER_NOT_EMPTY_QUESTION =
        QStringLiteral("The folder '%1' is not empty.\n\nRemove it with everything in it ?");

    explicit CUiTreeView(CVeskDoc* pDoc, QWidget* parent = nullptr);
    ~CUiTreeView() override;

    // The pop-up of a folder item (Explorer, Rename); owned by the main window.
    void SetContextMenu(QMenu* pMenu) { m_pContextMenu = pMenu; }

    void RebuildTree();
    void ClearTree();
    void LoadChildren(QTreeWidgetItem* item);
    void GetItemPath(const QTreeWidgetItem* item, QString& path) const;
    QString ItemPath(const QTreeWidgetItem* item) const;
    void ReloadItem(QTreeWidgetItem* item);
    void ReloadSelected();
    void SelectChildByName(const QString& name);
    int DeleteFolderItem(QTreeWidgetItem* item);
    int DeleteSelectedFolder();
    void BeginRename();
    // Label editing of `item` under the rename rules (1037 otherwise).
    void BeginRenameItem(QTreeWidgetItem* item);
    // The end of a label edit: renames the folder on the generator and then
    // the item. Returns 1 when the folder got the new name.
    int EndLabelEdit(QTreeWidgetItem* item, const QString& newText);
    // Selects the parent of the selected item (Up One Level).
    void SelectParent();
    // The item of a device path among the items read so far, or null.
    QTreeWidgetItem* FindItem(const QString& path) const;
    // Entries came into `path` on the generator: the item shows its new
    // children (and the list, when it shows that folder, its entries).
    void FolderChanged(const QString& path);
    // The folders in `path` changed: its item, when selected or read
    // before, reads its children again (from the list when it shows `path`),
    // unless the selection is below it.
    void ReloadFolder(const QString& path);

    // --- drops ---
    // Moves the drop highlight to `item` (null: none).
    void SetDropItem(QTreeWidgetItem* item);
    QTreeWidgetItem* DropItem() const { return m_hDropItem; }
    // Whether a drop onto `item` is taken: a folder item, not the root.
    bool CanDropAt(const QTreeWidgetItem* item) const;

    QTreeWidgetItem* GetContextItem() const;
    QTreeWidgetItem* GetRootItem() const { return m_hRootItem; }
    QTreeWidgetItem* SelectedItem() const { return currentItem(); }
    // The root and its children keep their names and stay.
    bool IsFixedItem(const QTreeWidgetItem* item) const;
    bool IsLoaded(const QTreeWidgetItem* item) const;
    QString OldLabel() const { return m_strOldLabel; }

Q_SIGNALS:
    // The selection moved; the main window re-evaluates its commands.
    void SelectionMoved();
    // A context menu is about to pop up (for `item`).
    void ContextMenuShown(QTreeWidgetItem* item);

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    // Dotted lines join each folder to its parent and its siblings, with a
    // boxed plus or minus where it expands, in every style.
    void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    enum class Contents
    {
        Empty,
        NotEmpty,
        Unknown, // the listing failed
    };
    Contents FolderContents(const QString& path) const;
    // The list shows `item`'s folder as one that could not be read.
    bool ShowsUnread(const QTreeWidgetItem* item) const;
    // Reads the selected folder `item` again (its first read failed).
    void ReadAgain(QTreeWidgetItem* item);
    // The pop-up of the selected folder, by its label (Shift+F10, the Menu key).
    void ShowKeyboardMenu();
    // Where a folder named `name` goes among the children of `parent`.
    static int SortedPosition(const QTreeWidgetItem* parent, const QString& name);
    // Moves `item` to its place by label among its siblings (after a rename).
    void PlaceSorted(QTreeWidgetItem* item);
    QTreeWidgetItem* InsertFolderItem(QTreeWidgetItem* parent, const QString& name);
    void AddPlaceholder(QTreeWidgetItem* item);
    // The children of `item` were not read: it is unread again, with its placeholder.
    void ForgetChildren(QTreeWidgetItem* item);
    void SetItemIcon(QTreeWidgetItem* item, bool selected);
    void OnCurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    void OnLabelEdited(const QModelIndex& index, const QString& text);
    CVQComm* Comm() const;
    bool IsBelow(const QTreeWidgetItem* item, const QTreeWidgetItem* ancestor) const;

    CVeskDoc* m_pDoc;
    QTreeWidgetItem* m_hRootItem = nullptr;
    // Kept as an index so that an item deleted since the click is never used.
    QPersistentModelIndex m_hContextItem;
    QTreeWidgetItem* m_hDropItem = nullptr;
    bool m_bSuppressSelChange = false;
    QString m_strOldLabel;
    QMenu* m_pContextMenu = nullptr;
    QIcon m_iconPlaceholder;
    QIcon m_iconFolder;
    QIcon m_iconFolderOpen;
    QIcon m_iconRoot;
    QIcon m_iconRootSelected;
};
