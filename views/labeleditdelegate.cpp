#include "views/labeleditdelegate.h"

#include <QLineEdit>
#include <QPersistentModelIndex>

namespace {
// The item an editor edits, kept on the editor itself.
constexpr char kEditedIndex[] = "vqEditedIndex";
} // namespace

CLabelEditDelegate::CLabelEditDelegate(Handler handler, QObject* parent)
    : QStyledItemDelegate(parent), m_handler(std::move(handler))
{
    connect(this, &QAbstractItemDelegate::closeEditor, this, &CLabelEditDelegate::OnCloseEditor);
}

CLabelEditDelegate::~CLabelEditDelegate() = default;

QWidget* CLabelEditDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                          const QModelIndex& index) const
{
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (editor)
        editor->setProperty(kEditedIndex, QVariant::fromValue(QPersistentModelIndex(index)));
    m_pEditor = editor;
    return editor;
}

void CLabelEditDelegate::setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const
{
    const auto* lineEdit = qobject_cast<const QLineEdit*>(editor);
    if (lineEdit && m_handler)
        m_handler(index, lineEdit->text(), true);
}

void CLabelEditDelegate::CommitEditor()
{
    QWidget* editor = m_pEditor;
    if (!editor)
        return;
    m_pEditor = nullptr;
    Q_EMIT commitData(editor);
    Q_EMIT closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void CLabelEditDelegate::OnCloseEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    if (editor == m_pEditor)
        m_pEditor = nullptr;
    // Escape: the edit ends without a text, and the handler hears of it.
    if (hint != QAbstractItemDelegate::RevertModelCache || !editor || !m_handler)
        return;
    const auto index = editor->property(kEditedIndex).value<QPersistentModelIndex>();
    if (index.isValid())
        m_handler(index, QString(), false);
}
