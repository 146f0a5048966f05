#include "dialogs/dlgfilekind.h"

#include "dialogs/dlgdownload.h"
#include "dialogs/dlglogo.h"
#include "dialogs/dlgpicture.h"
#include "dialogs/dlgpreset.h"
#include "dialogs/dlgsequence.h"
#include "dialogs/dlgsignal.h"
#include "dialogs/dlgsupport.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

using vqdlg::DluX;
using vqdlg::DluY;

CDlgFileKind::CDlgFileKind(const QString& caption, int limit, QWidget* parent)
    : QDialog(parent), m_pFile(new QLineEdit(this)),
      m_pButtons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)),
      m_pButtonRow(new QHBoxLayout), m_pOk(m_pButtons->button(QDialogButtonBox::Ok)),
      m_pCancel(m_pButtons->button(QDialogButtonBox::Cancel)), m_nLimit(limit)
{
    setWindowTitle(caption);

    auto* label = new QLabel(u"File:"_s, this);
    // Read-only; a long path scrolls in its field, its end (the name) in view.
    m_pFile->setReadOnly(true);
    m_pFile->setMinimumWidth(DluX(this, 247));

    for (QPushButton* button : {m_pOk, m_pCancel})
        button->setMinimumWidth(DluX(this, 50));
    m_pOk->setDefault(true);
    connect(m_pButtons, &QDialogButtonBox::accepted, this, &CDlgFileKind::accept);
    connect(m_pButtons, &QDialogButtonBox::rejected, this, &CDlgFileKind::reject);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(DluX(this, 10), DluY(this, 14), DluX(this, 10), DluY(this, 10));
    layout->setVerticalSpacing(DluY(this, 12));
    layout->addWidget(label, 0, 0);
    layout->addWidget(m_pFile, 0, 1);
    m_pButtonRow->addStretch(1);
    m_pButtonRow->addWidget(m_pButtons);
    layout->addLayout(m_pButtonRow, 1, 0, 1, 2);
    layout->setColumnStretch(1, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

CDlgFileKind::~CDlgFileKind() = default;

std::unique_ptr<CDlgFileKind> CDlgFileKind::Create(FileKind kind, const QString& editor, QWidget* parent)
{
    switch (kind) {
    case KIND_DOWNLOAD:
        return std::make_unique<CDlgDownload>(parent);
    case KIND_LOGO:
        return std::make_unique<CDlgLogo>(parent);
    case KIND_SEQUENCE:
        return std::make_unique<CDlgSequence>(editor, parent);
    case KIND_PICTURE:
        return std::make_unique<CDlgPicture>(parent);
    case KIND_SIGNAL:
        return std::make_unique<CDlgSignal>(parent);
    case KIND_PRESET:
    case KIND_OTHER:
        break;
    }
    // A file of no known kind is confirmed as a preset file.
    return std::make_unique<CDlgPreset>(parent);
}

void CDlgFileKind::SetFile(const QString& path)
{
    m_strFile = path;
    m_pFile->setText(path);
}

QPushButton* CDlgFileKind::AddButton(const QString& text)
{
    // Apart from OK and Cancel, on their left, a gap before them.
    auto* button = new QPushButton(text, this);
    button->setMinimumWidth(DluX(this, 50));
    button->setAutoDefault(false);
    m_pButtonRow->insertWidget(1, button);
    m_pButtonRow->insertSpacing(2, DluX(this, 9));
    return button;
}

void CDlgFileKind::accept()
{
    const QString text = m_pFile->text();
    if (m_nLimit > 0 && !vqdlg::CheckLength(this, text, m_nLimit))
        return;
    m_strFile = text;
    QDialog::accept();
}
