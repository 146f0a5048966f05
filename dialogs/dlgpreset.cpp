#include "dialogs/dlgpreset.h"

#include <QLineEdit>

using namespace Qt::StringLiterals;

CDlgPreset::CDlgPreset(QWidget* parent) : CDlgFileKind(u"Preset file"_s, MAX_PATH_CHARS, parent)
{
    // Not on the Tab path: the buttons come first.
    FileEdit()->setFocusPolicy(Qt::ClickFocus);
}
