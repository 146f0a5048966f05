#pragma once

#include <QDialog>
#include <QHash>
#include <QPointer>

class CGeneratorRun;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// "Compare with PC Folder": a generator folder and a PC folder as one tree,
// each entry marked, with counts and a filter for the differences; from it
// the PC's side sent to the generator or the generator's fetched to the PC
// (optionally deleting what the other side lacks), each previewed first
// with the room it needs against the free figure, then run with progress
// and Cancel, and compared again. Every step is a vq8ctl run on the
// generator (CGeneratorRun): the comparison is a dry run of the sync
// towards the PC (it needs no generator memory, so an over-full set is
// still compared), "Check contents" the same with --checksum.
class CDlgCompareFolder final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDlgCompareFolder)

public:
    enum class Mark
    {
        Same,          // equal by the record or by reading back
        Changed,       // another size, or other content
        OnlyPc,        // on the PC, not on the generator
        OnlyGenerator, // on the generator, not on the PC
        SizeOnly,      // the same size, contents not proven
    };
    enum Column
    {
        COLUMN_NAME,
        COLUMN_MARK,
        COLUMN_PC_SIZE,
        COLUMN_GENERATOR_SIZE,
    };
    // What the window is doing.
    enum class Step
    {
        Idle,
        Comparing,
        Previewing,
        Copying,
    };

    // `host` as people write it ("10.0.0.5", "127.0.0.1:5001").
    CDlgCompareFolder(const QString& host, const QString& folder, QWidget* parent = nullptr);
    ~CDlgCompareFolder() override;

    void SetPcFolder(const QString& folder);
    void SetDeleteExtra(bool on);
    void SetDifferencesOnly(bool on);

    // Starts a comparison (with `checksum`, every file of one size on both
    // sides read back); false when one is under way or a folder is missing.
    bool Compare(bool checksum = false);
    // Previews the copy (the window asks with the plan and the room), then
    // runs it; false when it cannot start.
    bool Send();
    bool Fetch();
    void Cancel();
    Step CurrentStep() const { return m_eStep; }

    // The marks of the last comparison, by path below the folders ("A/B.PIC";
    // a folder ends in "/").
    QHash<QString, Mark> Marks() const { return m_marks; }
    static QString MarkText(Mark mark);
    // A line of a dry run towards the PC: the path and its mark; false for
    // any other line.
    static bool MarkOfLine(const QString& line, QString* path, Mark* mark);
    // A step of vq8ctl's plan in words ("send new  A.PIC (12 bytes)").
    static QString PlanStepText(const QString& line);
    // A plan's steps in words, a line each, the first 30 and how many more.
    static QString PlanText(const QStringList& plan);

    QTreeWidget* Tree() const { return m_pTree; }
    QLabel* Counts() const { return m_pCounts; }
    QLabel* Summary() const { return m_pSummary; }
    QProgressBar* Progress() const { return m_pProgress; }
    // The preview's text as last shown (the plan and the room, or the refusal).
    QString PreviewText() const { return m_strPreview; }

public Q_SLOTS:
    // Escape cancels what runs; with nothing running it closes.
    void reject() override;

Q_SIGNALS:
    // A comparison, a preview or a copy has ended (or was refused).
    void StepEnded();

private:
    bool StartCopy(bool toGenerator);
    CGeneratorRun* NewRun(const QStringList& command);
    void CompareEnded(CGeneratorRun* run);
    void PreviewEnded(CGeneratorRun* run);
    void FreeEnded(CGeneratorRun* run);
    void CopyEnded(CGeneratorRun* run);
    void SetStep(Step step);
    void ShowMarks();
    void Browse();
    QString PcFolder() const;
    QString Folder() const;
    QStringList CopyCommand(bool dryRun) const;

    QString m_strHost;
    QLineEdit* m_pPcFolder;
    QLineEdit* m_pFolder;
    QTreeWidget* m_pTree;
    QCheckBox* m_pDifferencesOnly;
    QCheckBox* m_pDelete;
    QLabel* m_pCounts;
    QLabel* m_pSummary;
    QProgressBar* m_pProgress;
    QPushButton* m_pCompare;
    QPushButton* m_pCheck;
    QPushButton* m_pSend;
    QPushButton* m_pFetch;
    QPushButton* m_pCancel;
    QPushButton* m_pClose;
    QPointer<CGeneratorRun> m_pRun;
    Step m_eStep = Step::Idle;
    bool m_bToGenerator = true;
    QHash<QString, Mark> m_marks;
    QHash<QString, qint64> m_sizes; // on the generator
    QStringList m_plan;             // the preview's action lines
    qint64 m_nPlanBytes = 0;
    QString m_strPreview;
    QString m_strCopySummary; // shown with the comparison that follows a copy
};
