#pragma once

#include "link/fileinfo.h"

#include <QDialog>
#include <QString>

#include <memory>

class QDialogButtonBox;
class QHBoxLayout;
class QLineEdit;
class QPushButton;

// The confirmation of one PC file before a download batch, chosen by the
// file's kind: the full PC path, read-only, with OK (the file joins the batch)
// and Cancel (the batch stops). The kinds differ by caption and extras.
class CDlgFileKind : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDlgFileKind)

public:
    ~CDlgFileKind() override;

    // The dialog for a file of `kind`; `editor` is the program the sequence
    // dialog's Edit starts.
    static std::unique_ptr<CDlgFileKind> Create(FileKind kind, const QString& editor,
                                                QWidget* parent = nullptr);

    void SetFile(const QString& path);
    QString File() const { return m_strFile; }
    QLineEdit* FileEdit() const { return m_pFile; }
    QPushButton* OkButton() const { return m_pOk; }
    QPushButton* CancelButton() const { return m_pCancel; }

public Q_SLOTS:
    // Refused, the dialog staying open, when the path is longer than the limit.
    void accept() override;

protected:
    // `limit`: the most characters OK takes, 0 for none.
    CDlgFileKind(const QString& caption, int limit, QWidget* parent);
    // Where a dialog puts a button of its own, left of OK.
    QPushButton* AddButton(const QString& text);

private:
    QLineEdit* m_pFile;
    QDialogButtonBox* m_pButtons;
    QHBoxLayout* m_pButtonRow;
    QPushButton* m_pOk;
    QPushButton* m_pCancel;
    QString m_strFile;
    int m_nLimit;
};
