#pragma once

#include <QPointer>
#include <QStyledItemDelegate>

#include <functional>

// An item delegate whose editor never writes into the model: the text the
// user typed goes to a handler, which changes the label itself once the
// generator has agreed to the new name. An edit ended with Escape reaches the
// handler too, without a text (`accepted` false).
class CLabelEditDelegate : public QStyledItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CLabelEditDelegate)

public:
    using Handler = std::function<void(const QModelIndex& index, const QString& text, bool accepted)>;

    CLabelEditDelegate(Handler handler, QObject* parent);
    ~CLabelEditDelegate() override;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

    // Ends an edit whose editor is still open as Enter would: its text goes
    // to the handler and the editor closes. Does nothing without one.
    void CommitEditor();

private:
    void OnCloseEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint);

    Handler m_handler;
    mutable QPointer<QWidget> m_pEditor; // the editor open now, if any
};
