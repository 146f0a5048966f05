#include "dialogs/aboutdlg.h"

#include "dialogs/dlgsupport.h"
#include "res/icons.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

using vqdlg::DluX;
using vqdlg::DluY;

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(u"About VQ8Comm"_s);

    auto* icon = new QLabel(this);
    const int side = DluX(this, 20);
    icon->setPixmap(MakeIcon(ICON_APP).pixmap(QSize(side, side)));
    icon->setFixedSize(side, side);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(DluY(this, 6));
    for (const QString& text : {VERSION_LINE, BUILD_DATE_LINE, LEGAL_NOTICE}) {
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        texts->addWidget(label);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, Qt::Vertical, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    buttons->button(QDialogButtonBox::Ok)->setMinimumWidth(DluX(this, 50));
    connect(buttons, &QDialogButtonBox::accepted, this, &CAboutDlg::accept);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(DluX(this, 11), DluY(this, 9), DluX(this, 11), DluY(this, 9));
    layout->setHorizontalSpacing(DluX(this, 16));
    layout->addWidget(icon, 0, 0, Qt::AlignTop);
    layout->addLayout(texts, 0, 1);
    layout->addWidget(buttons, 0, 2, Qt::AlignTop);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
