#pragma once

#include "dialogs/dlgfilekind.h"

class QPushButton;

// The confirmation of a sequence file, with Edit: the file opens in the
// external editor first, the dialog staying open.
class CDlgSequence final : public CDlgFileKind
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDlgSequence)

public:
    static inline const QString EDITOR_ERROR = QStringLiteral("Error: Cannot find this editor");
    // Under the error: how to choose another editor.
    static inline const QString EDITOR_HINT = QStringLiteral("Utility, Options chooses another editor.");
    // The message when `editor` could not be started: which program was
    // tried, and where another is chosen.
    static QString EditorErrorText(const QString& editor);

    CDlgSequence(const QString& editor, QWidget* parent = nullptr);

    QString Editor() const { return m_strEditor; }
    QPushButton* EditButton() const { return m_pEdit; }

public Q_SLOTS:
    // Starts the editor with the path as its one argument, unchanged.
    void OnEdit();

private:
    QString m_strEditor;
    QPushButton* m_pEdit;
};
