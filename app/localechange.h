#pragma once

class QWidget;

// New regional settings of the user reach `window` and the widgets in it as
// QEvent::LocaleChange, as Qt itself tells them on other systems. On Windows
// Qt 6 turns the system's announcement (WM_SETTINGCHANGE for "intl") into no
// event, and does not pass on one sent to the application either: there the
// announcement becomes a LocaleChange of the application, which is passed on
// to every widget of `window` that keeps the default locale.
// localechange_win.cpp; localechange_unix.cpp does nothing.
void RelayLocaleChanges(QWidget* window);
