#include "dialogs/dlgsequence.h"

#include "dialogs/dlgsupport.h"
#include "link/stringtable.h"

#include <QProcess>
#include <QPushButton>

using namespace Qt::StringLiterals;

CDlgSequence::CDlgSequence(const QString& editor, QWidget* parent)
    : CDlgFileKind(u"Sequence file"_s, 0, parent), m_strEditor(editor), m_pEdit(AddButton(u"Edit"_s))
{
    connect(m_pEdit, &QPushButton::clicked, this, &CDlgSequence::OnEdit);
}

QString CDlgSequence::EditorErrorText(const QString& editor)
{
    return PathMessage(EDITOR_ERROR, editor) + u"\n\n"_s + EDITOR_HINT;
}

void CDlgSequence::OnEdit()
{
    // One argument, as it is: no quotes around a path with blanks.
    if (m_strEditor.isEmpty() || !QProcess::startDetached(m_strEditor, {File()}))
        vqdlg::ShowStop(this, EditorErrorText(m_strEditor));
}
