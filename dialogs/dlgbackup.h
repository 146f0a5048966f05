#pragma once

#include <QDialog>
#include <QPointer>
#include <QStringList>

class CGeneratorRun;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// "Back Up the Generator" and "Restore to the Generator": vq8ctl's backup
// (a generator folder, all of it by default, copied to a PC folder with its
// manifest of sizes and SHA-256) and restore (the manifest's files put back,
// each checked first and read back after), with progress and Cancel. A
// restore shows its plan first and changes nothing until it is confirmed; a
// backup asks before it replaces an earlier backup in the same PC folder.
class CDlgBackup final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDlgBackup)

public:
    enum class Mode
    {
        Backup,
        Restore,
    };

    // `host` as people write it ("10.0.0.5", "127.0.0.1:5001").
    CDlgBackup(Mode mode, const QString& host, QWidget* parent = nullptr);
    ~CDlgBackup() override;

    void SetPcFolder(const QString& folder);
    // Backup: the folder backed up (/F0:/ for all). Restore: where the
    // backup goes (empty: the folder it was taken of).
    void SetGeneratorFolder(const QString& folder);
    void SetDeleteExtra(bool on);

    // Starts the backup, or the restore's preview; false when it cannot.
    bool Start();
    void Cancel();
    bool Running() const { return m_bRunning; }

    QLabel* Summary() const { return m_pSummary; }
    QProgressBar* Progress() const { return m_pProgress; }
    // The restore's plan as last shown.
    QString PreviewText() const { return m_strPreview; }

    static inline const QString MANIFEST = QStringLiteral("vq8-backup.json");

public Q_SLOTS:
    // Escape cancels what runs; with nothing running it closes.
    void reject() override;

Q_SIGNALS:
    // The backup, or the restore (or its refusal), has ended.
    void Ended();

private:
    CGeneratorRun* NewRun(const QStringList& command);
    QStringList Command(bool dryRun) const;
    void PreviewEnded(CGeneratorRun* run);
    void RunEnded(CGeneratorRun* run);
    void SetRunning(bool running);
    void Browse();
    QString PcFolder() const;

    Mode m_eMode;
    QString m_strHost;
    QLineEdit* m_pFolder;
    QLineEdit* m_pPcFolder;
    QCheckBox* m_pDelete;
    QProgressBar* m_pProgress;
    QLabel* m_pSummary;
    QPushButton* m_pStart;
    QPushButton* m_pCancel;
    QPushButton* m_pClose;
    QPointer<CGeneratorRun> m_pRun;
    QString m_strPreview;
    bool m_bRunning = false;
};
