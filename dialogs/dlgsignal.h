#pragma once

#include "dialogs/dlgfilekind.h"

// The confirmation of a signal file.
class CDlgSignal final : public CDlgFileKind
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDlgSignal)

public:
    explicit CDlgSignal(QWidget* parent = nullptr);
};
