#include "dialogs/dlgdownload.h"

using namespace Qt::StringLiterals;

CDlgDownload::CDlgDownload(QWidget* parent) : CDlgFileKind(u"Download File"_s, 0, parent) {}
