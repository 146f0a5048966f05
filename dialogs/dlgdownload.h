#pragma once

#include "dialogs/dlgfilekind.h"

// The confirmation of a download file.
class CDlgDownload final : public CDlgFileKind
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDlgDownload)

public:
    explicit CDlgDownload(QWidget* parent = nullptr);
};
