#pragma once

#include "link/fileinfo.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <array>
#include <functional>
#include <vector>

// The rows of the file list: one CFileInfo per entry of the current folder,
// with its size text and icon index worked out once when the row is added.
// The model keeps its own order (SortRows); the views never sort.
class CFileListModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CFileListModel)

public:
    enum Column : int
    {
        COLUMN_NAME = 0,
        COLUMN_SIZE = 1,
        COLUMN_COUNT = 2,
    };
    // Icon indexes, in the order of the image lists.
    enum Image : int
    {
        IMAGE_FOLDER = 0,
        IMAGE_PAGE = 1,
        IMAGE_PRESET = 2,
        IMAGE_DOWNLOAD = 3,
        IMAGE_LOGO = 4,
        IMAGE_SEQUENCE = 5,
        IMAGE_PICTURE = 6,
        IMAGE_SIGNAL = 7,
        IMAGE_COUNT = 8,
    };

    explicit CFileListModel(QObject* parent = nullptr);
    ~CFileListModel() override;

    static int ImageIndex(const CFileInfo& info);
    // Folders before files, then by name or size; a negative key reverses
    // the whole order (files before folders). Returns -1, 0 or +1.
    static int CompareEntries(const CFileInfo& a, const CFileInfo& b, int sortKey);

    // Replaces every row in one reset, then orders them by `sortKey`.
    void SetEntries(std::vector<CFileInfo>&& entries, int sortKey);
    void Clear();
    void SortRows(int sortKey);
    // Formats every size text again (a new number format of the user's locale).
    void RefreshSizeTexts();
    // Adds a row at the end, out of order (a folder being named).
    void AppendEntry(CFileInfo&& info);
    // The entry of `row` takes a new name; the order stays as it is.
    void SetEntryName(int row, const QString& name);
    // Names may be edited (not in the root, whose entries are fixed).
    void SetEditable(bool editable) { m_bEditable = editable; }
    // The folder the rows are in: a dragged row carries its device path.
    void SetFolder(const QString& path) { m_strFolder = path; }
    // Makes what a drag of `entries` (in the model's folder) carries; without
    // one a drag carries their device paths as text.
    using DragMaker = std::function<QMimeData*(const QString& folder, const QList<CFileInfo>& entries)>;
    void SetDragMaker(DragMaker maker) { m_dragMaker = std::move(maker); }
    // The row shown as the target of a drag, -1 for none.
    void SetDropRow(int row);
    int DropRow() const { return m_nDropRow; }

    int Count() const { return int(m_rows.size()); }
    const CFileInfo* Entry(int row) const;
    // First row whose name equals `name` ignoring case, or -1.
    int FindByName(const QString& name) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;

private:
    struct Row
    {
        CFileInfo info;
        QString sizeText; // empty for folders
        int image = IMAGE_PAGE;
    };
    static Row MakeRow(CFileInfo&& info);

    std::vector<Row> m_rows;
    std::array<QIcon, IMAGE_COUNT> m_icons;
    QString m_strFolder;
    DragMaker m_dragMaker;
    bool m_bEditable = false;
    int m_nDropRow = -1;
};
