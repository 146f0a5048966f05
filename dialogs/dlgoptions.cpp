#include "dialogs/dlgoptions.h"

#include "dialogs/dlgsupport.h"
#include "dialogs/vqfiledialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

using vqdlg::DluX;
using vqdlg::DluY;

CDlgOptions::CDlgOptions(const QString& editor, QWidget* parent)
    : QDialog(parent), m_strEditor(editor), m_pEditor(new QLineEdit(this)),
      m_pBrowse(new QPushButton(u"...."_s, this)),
      m_pUnpaced(new QCheckBox(u"Copy to the PC &without pauses"_s, this))
{
    setWindowTitle(u"Set Options"_s);

    auto* group = new QGroupBox(u"Options"_s, this);
    auto* rows = new QVBoxLayout(group);
    rows->setContentsMargins(DluX(this, 10), DluY(this, 12), DluX(this, 6), DluY(this, 12));
    rows->setSpacing(DluY(this, 8));
    auto* row = new QHBoxLayout;
    rows->addLayout(row);
    // A generator that needs no pause between chunks gives its files at full speed.
    m_pUnpaced->setToolTip(u"Without the pause before each 32 KiB chunk"_s);
    rows->addWidget(m_pUnpaced);
    auto* label = new QLabel(u"&Editor:"_s, group);
    label->setBuddy(m_pEditor);
    m_pEditor->setMinimumWidth(DluX(this, 185));
    m_pEditor->setText(m_strEditor);
    m_pBrowse->setFixedWidth(
        std::max(DluX(this, 16), m_pBrowse->fontMetrics().horizontalAdvance(u"...."_s) + 12));
    m_pBrowse->setAutoDefault(false);
    row->addWidget(label);
    row->addWidget(m_pEditor, 1);
    row->addWidget(m_pBrowse);
    connect(m_pBrowse, &QPushButton::clicked, this, &CDlgOptions::OnBrowse);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgOptions::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDlgOptions::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_pEditor->setFocus(Qt::OtherFocusReason);
}

std::unique_ptr<QFileDialog> CDlgOptions::MakeBrowseDialog(QWidget* parent)
{
    auto dialog = std::make_unique<QFileDialog>(parent);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    // One program: the editor is one file, so one file is chosen.
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters(CVQFileDialog::ConvertFilter(BROWSE_FILTER));
#ifdef Q_OS_WIN
    // Elsewhere programs have no suffix, and one added would name no file.
    dialog->setDefaultSuffix(u"exe"_s);
#endif
    return dialog;
}

void CDlgOptions::OnBrowse()
{
    const std::unique_ptr<QFileDialog> dialog = MakeBrowseDialog(this);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return;
    m_pEditor->setText(QDir::toNativeSeparators(dialog->selectedFiles().constFirst()));
}

void CDlgOptions::SetUploadWithoutPauses(bool on)
{
    m_bUploadWithoutPauses = on;
    m_pUnpaced->setChecked(on);
}

void CDlgOptions::accept()
{
    const QString text = m_pEditor->text();
    if (!vqdlg::CheckLength(this, text, MAX_EDITOR_CHARS))
        return;
    m_strEditor = text;
    m_bUploadWithoutPauses = m_pUnpaced->isChecked();
    QDialog::accept();
}
