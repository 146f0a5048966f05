#pragma once

#include "dialogs/dlgfilekind.h"

// The confirmation of a picture file.
class CDlgPicture final : public CDlgFileKind
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDlgPicture)

public:
    explicit CDlgPicture(QWidget* parent = nullptr);
};
