#include "labeleditdelegate.h"

#include <QLineEdit>

CLabelEditDelegate::CLabelEditDelegate(Handler handler, QObject* parent)
    : QStyledItemDelegate(parent), m_handler(std::move(handler))
{
}

CLabelEditDelegate::~CLabelEditDelegate() = default;

void CLabelEditDelegate::setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const
{
    const auto* lineEdit = qobject_cast<const QLineEdit*>(editor);
    if (lineEdit && m_handler)
        m_handler(index, lineEdit->text());
}
