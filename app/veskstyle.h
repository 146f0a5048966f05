#pragma once

#include <QProxyStyle>

// The program's look over the platform's style: buttons of dialogs and
// message boxes show their text only, as a Windows program's do, whatever
// icons the desktop's theme would add.
class CVeskStyle final : public QProxyStyle
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CVeskStyle)

public:
    // Takes `base` (null: the platform's default style).
    explicit CVeskStyle(QStyle* base = nullptr);
    ~CVeskStyle() override;

    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
};
