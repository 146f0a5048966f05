#include "views/fixedsizedelegate.h"

#include <QLineEdit>

CFixedSizeDelegate::CFixedSizeDelegate(Handler handler, QObject* parent)
    : CLabelEditDelegate(std::move(handler), parent)
{
}

CFixedSizeDelegate::~CFixedSizeDelegate() = default;

QSize CFixedSizeDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (m_size.isValid())
        return m_size;
    return CLabelEditDelegate::sizeHint(option, index);
}

void CFixedSizeDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    CLabelEditDelegate::initStyleOption(option, index);
    // A name under its icon starts right below it rather than in the middle of the cell.
    if (option->decorationPosition == QStyleOptionViewItem::Top)
        option->displayAlignment = Qt::AlignHCenter | Qt::AlignTop;
}

void CFixedSizeDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                              const QModelIndex& index) const
{
    CLabelEditDelegate::updateEditorGeometry(editor, option, index);
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    if (opt.decorationPosition != QStyleOptionViewItem::Top)
        return;
    if (auto* line = qobject_cast<QLineEdit*>(editor))
        line->setFrame(true);
    const int top = editor->geometry().top();
    editor->setGeometry(QRect(option.rect.left(), top, option.rect.width(), editor->sizeHint().height()));
}
