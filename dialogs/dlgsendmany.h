#pragma once

#include <QDialog>
#include <QStringList>

#include <vector>

class CGeneratorRun;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// "Send to Several Generators": one PC folder made the content of one
// generator folder on each generator of a list (from Find, the recent
// addresses or typed, ADDRESS:PORT too), a row per generator with its
// identity, progress, files, state and reason. Each generator is a vq8ctl
// sync of its own (CGeneratorRun), at most MAX_AT_ONCE at a time; Cancel
// stops all or the one selected, the others go on. At the end the rows
// stay and the report can be saved as JSON (vq8ctl's documents) or CSV.
class CDlgSendMany final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDlgSendMany)

public:
    static constexpr int MAX_AT_ONCE = 8;

    enum Column
    {
        COLUMN_GENERATOR,
        COLUMN_IDENTITY,
        COLUMN_PROGRESS,
        COLUMN_FILES,
        COLUMN_STATE,
        COLUMN_REASON,
    };

    // `recent`: the addresses offered; `folder` the generator folder first shown.
    CDlgSendMany(const QStringList& recent, const QString& folder, QWidget* parent = nullptr);
    ~CDlgSendMany() override;

    void SetPcFolder(const QString& folder);
    void SetGeneratorFolder(const QString& folder);
    void SetDeleteExtra(bool on);
    // Same-size files read back and compared (on by default).
    void SetCheckContents(bool on);
    // Adds a generator as typed ("10.0.0.5", "127.0.0.1:5001"); false (with
    // a message box) for one that names no place, or one already listed.
    bool AddGenerator(const QString& text);
    QStringList Generators() const;

    // Starts the sends; false (with a message box) when something is missing.
    bool Start();
    bool Running() const;
    void CancelAll();
    // Cancels the run of the selected rows.
    void CancelSelected();
    // The results as a JSON document (".json") or a CSV table (any other
    // suffix); false with a message box when it cannot be written.
    bool SaveReport(const QString& path);
    QJsonDocument ReportDocument() const;
    QByteArray CsvTable() const;

    QTreeWidget* List() const { return m_pList; }
    QLabel* Summary() const { return m_pSummary; }
    const CGeneratorRun* Run(int row) const;

public Q_SLOTS:
    // Escape while sending cancels every run; the window stays with the results.
    void reject() override;

Q_SIGNALS:
    // Every run has ended.
    void AllEnded();

private:
    void Browse();
    void Find();
    void AddTyped();
    void RemoveSelected();
    void StartNext();
    void ShowRun(int row);
    void RunEnded();
    void UpdateButtons();
    void AskSaveReport();

    QLineEdit* m_pPcFolder;
    QLineEdit* m_pFolder;
    QCheckBox* m_pDelete;
    QCheckBox* m_pChecksum;
    QComboBox* m_pHost;
    QTreeWidget* m_pList;
    QLabel* m_pSummary;
    QPushButton* m_pAdd;
    QPushButton* m_pFind;
    QPushButton* m_pRemove;
    QPushButton* m_pSend;
    QPushButton* m_pCancelSelected;
    QPushButton* m_pCancelAll;
    QPushButton* m_pSave;
    QPushButton* m_pClose;
    std::vector<CGeneratorRun*> m_runs; // one per row, children of the dialog
    QString m_strStarted;               // ISO 8601 time of the last start
};
