#pragma once

#include "dialogs/dlgfilekind.h"

// The confirmation of a preset file, and of a file of no known kind. Its path
// may have at most MAX_PATH_CHARS characters.
class CDlgPreset final : public CDlgFileKind
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDlgPreset)

public:
    static constexpr int MAX_PATH_CHARS = 256;

    explicit CDlgPreset(QWidget* parent = nullptr);
};
