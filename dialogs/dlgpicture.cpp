#include "dialogs/dlgpicture.h"

using namespace Qt::StringLiterals;

CDlgPicture::CDlgPicture(QWidget* parent) : CDlgFileKind(u"Picture File"_s, 0, parent) {}
