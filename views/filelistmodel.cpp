#include "views/filelistmodel.h"

#include "views/iconcache.h"

#include <QMimeData>
#include <QPalette>

#include <algorithm>
#include <numeric>
#include <utility>

using namespace Qt::StringLiterals;

CFileListModel::CFileListModel(QObject* parent) : QAbstractTableModel(parent)
{
    m_icons = {CachedIcon(ICON_FOLDER_CLOSED), CachedIcon(ICON_PAGE),  CachedIcon(ICON_PRESET),
               CachedIcon(ICON_DOWNLOAD),      CachedIcon(ICON_LOGO),  CachedIcon(ICON_SEQUENCE),
               CachedIcon(ICON_PICTURE),       CachedIcon(ICON_SIGNAL)};
}

CFileListModel::~CFileListModel() = default;

int CFileListModel::ImageIndex(const CFileInfo& info)
{
    if (info.IsFolder())
        return IMAGE_FOLDER;
    switch (info.GetKind()) {
    case KIND_PRESET:
        return IMAGE_PRESET;
    case KIND_DOWNLOAD:
        return IMAGE_DOWNLOAD;
    case KIND_LOGO:
        return IMAGE_LOGO;
    case KIND_SEQUENCE:
        return IMAGE_SEQUENCE;
    case KIND_PICTURE:
        return IMAGE_PICTURE;
    case KIND_SIGNAL:
        return IMAGE_SIGNAL;
    case KIND_OTHER:
        break;
    }
    return IMAGE_PAGE;
}

namespace {

// The upper-case names unit by unit as unsigned values; a name that ends
// first is the smaller.
int NameOrder(const CFileInfo& a, const CFileInfo& b)
{
    const int order = QStringView(a.GetUpperName()).compare(QStringView(b.GetUpperName()), Qt::CaseSensitive);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

} // namespace

int CFileListModel::CompareEntries(const CFileInfo& a, const CFileInfo& b, int sortKey)
{
    int result = 0;
    if (a.IsFolder())
        result = b.IsFolder() ? NameOrder(a, b) : -1;
    else if (b.IsFolder())
        result = 1;
    else if (std::abs(sortKey) == 2 && a.GetSize() != b.GetSize())
        result = a.GetSize() < b.GetSize() ? -1 : 1;
    else
        result = NameOrder(a, b);
    return sortKey < 0 ? -result : result;
}

CFileListModel::Row CFileListModel::MakeRow(CFileInfo&& info)
{
    Row row;
    row.image = ImageIndex(info);
    if (!info.IsFolder())
        row.sizeText = info.SizeText();
    row.info = std::move(info);
    return row;
}

void CFileListModel::SetEntries(std::vector<CFileInfo>&& entries, int sortKey)
{
    std::vector<Row> rows;
    rows.reserve(entries.size());
    for (CFileInfo& info : entries)
        rows.push_back(MakeRow(std::move(info)));
    entries.clear();
    // Equal entries keep their catalog order.
    std::stable_sort(rows.begin(), rows.end(), [sortKey](const Row& a, const Row& b) {
        return CompareEntries(a.info, b.info, sortKey) < 0;
    });
    beginResetModel();
    m_rows = std::move(rows);
    m_nDropRow = -1;
    endResetModel();
}

void CFileListModel::Clear()
{
    if (m_rows.empty())
        return;
    beginResetModel();
    m_rows.clear();
    m_nDropRow = -1;
    endResetModel();
}

void CFileListModel::SortRows(int sortKey)
{
    if (m_rows.size() < 2)
        return;
    std::vector<int> order(m_rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [this, sortKey](int a, int b) {
        return CompareEntries(m_rows[size_t(a)].info, m_rows[size_t(b)].info, sortKey) < 0;
    });

    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(m_rows.size());
    for (size_t i = 0; i < order.size(); ++i)
        newRowOf[size_t(order[i])] = int(i);
    std::vector<Row> sorted;
    sorted.reserve(m_rows.size());
    for (const int from : order)
        sorted.push_back(std::move(m_rows[size_t(from)]));
    m_rows = std::move(sorted);

    // Selection and current item follow their rows.
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after.push_back(index.isValid() ? createIndex(newRowOf[size_t(index.row())], index.column())
                                        : QModelIndex());
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void CFileListModel::RefreshSizeTexts()
{
    for (Row& row : m_rows) {
        if (!row.info.IsFolder())
            row.sizeText = row.info.SizeText();
    }
    if (!m_rows.empty())
        Q_EMIT dataChanged(index(0, COLUMN_SIZE), index(Count() - 1, COLUMN_SIZE), {Qt::DisplayRole});
}

void CFileListModel::AppendEntry(CFileInfo&& info)
{
    const int row = Count();
    beginInsertRows(QModelIndex(), row, row);
    m_rows.push_back(MakeRow(std::move(info)));
    endInsertRows();
}

void CFileListModel::SetEntryName(int row, const QString& name)
{
    if (row < 0 || row >= Count())
        return;
    Row& entry = m_rows[size_t(row)];
    entry.info.SetName(name);
    // A file's kind, and so its icon, follows its name.
    entry.image = ImageIndex(entry.info);
    Q_EMIT dataChanged(index(row, COLUMN_NAME), index(row, COLUMN_NAME));
}

void CFileListModel::SetDropRow(int row)
{
    if (row == m_nDropRow)
        return;
    const int previous = std::exchange(m_nDropRow, row);
    for (const int changed : {previous, row}) {
        if (changed >= 0 && changed < Count())
            Q_EMIT dataChanged(index(changed, 0), index(changed, COLUMN_COUNT - 1),
                               {Qt::BackgroundRole, Qt::ForegroundRole});
    }
}

const CFileInfo* CFileListModel::Entry(int row) const
{
    if (row < 0 || row >= Count())
        return nullptr;
    return &m_rows[size_t(row)].info;
}

int CFileListModel::FindByName(const QString& name) const
{
    for (int row = 0; row < Count(); ++row) {
        if (m_rows[size_t(row)].info.GetName().compare(name, Qt::CaseInsensitive) == 0)
            return row;
    }
    return -1;
}

int CFileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Count();
}

int CFileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : COLUMN_COUNT;
}

QVariant CFileListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row& row = m_rows[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return index.column() == COLUMN_NAME ? row.info.GetName() : row.sizeText;
    case Qt::EditRole:
        return index.column() == COLUMN_NAME ? QVariant(row.info.GetName()) : QVariant();
    case Qt::DecorationRole:
        return index.column() == COLUMN_NAME ? QVariant(m_icons[size_t(row.image)]) : QVariant();
    case Qt::TextAlignmentRole:
        return index.column() == COLUMN_SIZE ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
    case Qt::BackgroundRole:
        return index.row() == m_nDropRow ? QVariant(QPalette().brush(QPalette::Highlight)) : QVariant();
    case Qt::ForegroundRole:
        return index.row() == m_nDropRow ? QVariant(QPalette().brush(QPalette::HighlightedText)) : QVariant();
    default:
        return {};
    }
}

QVariant CFileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole) {
        if (section == COLUMN_NAME)
            return u"Name"_s;
        if (section == COLUMN_SIZE)
            return u"Size"_s;
    }
    if (role == Qt::TextAlignmentRole && section == COLUMN_SIZE)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags CFileListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags =
        Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren | Qt::ItemIsDragEnabled;
    if (m_bEditable && index.column() == COLUMN_NAME)
        flags |= Qt::ItemIsEditable;
    return flags;
}

QStringList CFileListModel::mimeTypes() const
{
    return {u"text/plain"_s};
}

QMimeData* CFileListModel::mimeData(const QModelIndexList& indexes) const
{
    // The device path of every entry dragged, one a line, in the list's
    // order: dropped on a folder of either pane they are copied there.
    std::vector<int> rows;
    for (const QModelIndex& index : indexes) {
        if (Entry(index.row()))
            rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end()); // details: a cell per column
    if (rows.empty() || m_strFolder.isEmpty())
        return nullptr;
    if (m_dragMaker) {
        QList<CFileInfo> entries;
        for (const int row : rows)
            entries.append(*Entry(row));
        return m_dragMaker(m_strFolder, entries);
    }
    const QString folder = m_strFolder + (m_strFolder.endsWith(u'/') ? u""_s : u"/"_s);
    QStringList paths;
    for (const int row : rows)
        paths.append(folder + Entry(row)->GetName());
    auto* data = new QMimeData;
    data->setText(paths.join(u'\n'));
    return data;
}

Qt::DropActions CFileListModel::supportedDragActions() const
{
    return Qt::CopyAction;
}
