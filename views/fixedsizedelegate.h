#pragma once

#include <QStyledItemDelegate>

// Gives every item the same size, the cell of the icon modes: names wrap or
// elide inside the cell, and no item's text is ever measured for layout.
class CFixedSizeDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CFixedSizeDelegate)

public:
    explicit CFixedSizeDelegate(QObject* parent);
    ~CFixedSizeDelegate() override;

    void SetItemSize(const QSize& size) { m_size = size; }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    QSize m_size;
};
