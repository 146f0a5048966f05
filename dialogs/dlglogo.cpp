#include "dialogs/dlglogo.h"

using namespace Qt::StringLiterals;

CDlgLogo::CDlgLogo(QWidget* parent) : CDlgFileKind(u"Logo File"_s, 0, parent) {}
