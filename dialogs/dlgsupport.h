#pragma once

#include <QString>

class QGridLayout;
class QLineEdit;
class QPushButton;
class QWidget;

// What the program's dialogs share: the caption of their messages, sizes in
// dialog units (so the layouts follow the font and the screen's scale) and the
// length check of a text field.
namespace vqdlg {

// The caption of every message box of the program.
inline const QString APP_TITLE = QStringLiteral("VQ8 Comm");

// Dialog units of `widget`'s font in pixels: a horizontal unit is a quarter of
// the average character width, a vertical one an eighth of the line height.
int DluX(const QWidget* widget, int units);
int DluY(const QWidget* widget, int units);

// A stop message owned by `owner`, after the error sound.
void ShowStop(QWidget* owner, const QString& text);

// 1 when the path `text` has at most `limit` characters; otherwise tells
// the user, owned by `owner`, and returns 0.
int CheckLength(QWidget* owner, const QString& text, int limit);

// The rows "PC folder: [pcFolder] [browse]" and "Generator folder: [folder]"
// of the windows that work on a folder of each side, their labels' mnemonics
// on the fields; rows 0 and 1 of the grid returned.
QGridLayout* FolderRows(QWidget* owner, QLineEdit* pcFolder, QPushButton* browse, QLineEdit* folder);

} // namespace vqdlg
