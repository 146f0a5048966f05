#include "fixedsizedelegate.h"

CFixedSizeDelegate::CFixedSizeDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

CFixedSizeDelegate::~CFixedSizeDelegate() = default;

QSize CFixedSizeDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (m_size.isValid())
        return m_size;
    return QStyledItemDelegate::sizeHint(option, index);
}

void CFixedSizeDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    // A name under its icon starts right below it rather than in the middle of the cell.
    if (option->decorationPosition == QStyleOptionViewItem::Top)
        option->displayAlignment = Qt::AlignHCenter | Qt::AlignTop;
}
