#pragma once

#include <QStyledItemDelegate>

#include <functional>

// An item delegate whose editor never writes into the model: the text the
// user typed goes to a handler, which changes the label itself once the
// generator has agreed to the new name.
class CLabelEditDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CLabelEditDelegate)

public:
    using Handler = std::function<void(const QModelIndex& index, const QString& text)>;

    CLabelEditDelegate(Handler handler, QObject* parent);
    ~CLabelEditDelegate() override;

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

private:
    Handler m_handler;
};
