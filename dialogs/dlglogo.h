#pragma once

#include "dialogs/dlgfilekind.h"

// The confirmation of a logo file.
class CDlgLogo final : public CDlgFileKind
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDlgLogo)

public:
    explicit CDlgLogo(QWidget* parent = nullptr);
};
