#pragma once

#include <QDialog>
#include <QString>

#include <memory>

class QCheckBox;
class QFileDialog;
class QLineEdit;
class QPushButton;

// The editor options: the program the sequence dialog's Edit starts. The
// caller gives the path in use and, after OK, takes Editor() back.
class CDlgOptions final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDlgOptions)

public:
    static constexpr int MAX_EDITOR_CHARS = 256;
    static inline const QString BROWSE_FILTER =
        QStringLiteral("Executable File (*.exe)|*.exe|All Files (*.*)|*.*|");

    explicit CDlgOptions(const QString& editor, QWidget* parent = nullptr);

    QString Editor() const { return m_strEditor; }
    // "Copy to the PC without pauses": the check box, as shown and as confirmed.
    void SetUploadWithoutPauses(bool on);
    bool UploadWithoutPauses() const { return m_bUploadWithoutPauses; }
    QCheckBox* UnpacedBox() const { return m_pUnpaced; }
    QLineEdit* EditorEdit() const { return m_pEditor; }
    QPushButton* BrowseButton() const { return m_pBrowse; }

    // The browse button's file chooser, configured.
    static std::unique_ptr<QFileDialog> MakeBrowseDialog(QWidget* parent);

public Q_SLOTS:
    // Refused, the dialog staying open, when the path is too long.
    void accept() override;
    void OnBrowse();

private:
    QString m_strEditor;
    bool m_bUploadWithoutPauses = false;
    QLineEdit* m_pEditor;
    QPushButton* m_pBrowse;
    QCheckBox* m_pUnpaced;
};
