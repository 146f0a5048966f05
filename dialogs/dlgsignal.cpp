#include "dialogs/dlgsignal.h"

using namespace Qt::StringLiterals;

CDlgSignal::CDlgSignal(QWidget* parent) : CDlgFileKind(u"Signal File"_s, 0, parent) {}
