#pragma once

#include "views/labeleditdelegate.h"

// Gives every item the same size, the cell of the icon modes: names wrap or
// elide inside the cell, and no item's text is ever measured for layout.
// Labels are edited as CLabelEditDelegate does.
class CFixedSizeDelegate final : public CLabelEditDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CFixedSizeDelegate)

public:
    CFixedSizeDelegate(Handler handler, QObject* parent);
    ~CFixedSizeDelegate() override;

    void SetItemSize(const QSize& size) { m_size = size; }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // Under an icon a name is edited in one framed line where it stands, as
    // wide as its cell (the whole space below the icon would centre it a
    // line lower, and without a frame the edit would not show).
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    QSize m_size;
};
