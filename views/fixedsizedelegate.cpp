#include "fixedsizedelegate.h"

CFixedSizeDelegate::CFixedSizeDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

CFixedSizeDelegate::~CFixedSizeDelegate() = default;

QSize CFixedSizeDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (m_size.isValid())
        return m_size;
    return QStyledItemDelegate::sizeHint(option, index);
}
