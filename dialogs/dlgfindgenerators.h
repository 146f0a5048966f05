#pragma once

#include "link/addressrange.h"

#include <QDialog>

class CDeviceScan;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;
struct CScanResult;

// The network dialog's "Find": scans address ranges for generators on the
// event loop (the window stays live; Cancel stops the scan at once), lists
// those that answered with their identity, and OK or a double-click on one
// chooses its address.
class CDlgFindGenerators final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDlgFindGenerators)

public:
    enum Column
    {
        COLUMN_ADDRESS,
        COLUMN_MAKER,
        COLUMN_MODEL,
        COLUMN_SERIAL,
        COLUMN_FIRMWARE,
        COLUMN_TIME,
    };

    // Scans `ranges` on `port` once the dialog runs.
    CDlgFindGenerators(const QList<CAddressRange>& ranges, quint16 port, QWidget* parent = nullptr);
    ~CDlgFindGenerators() override;

    // The address of the generator chosen; empty when none is.
    QString ChosenAddress() const;
    QTreeWidget* List() const { return m_pList; }
    CDeviceScan* Scan() const { return m_pScan; }

    // The ranges Find scans: those the program set (the demo: its own
    // emulator's address), else the PC's own networks.
    static QList<CAddressRange> SearchRanges();
    static void SetSearchRanges(const QList<CAddressRange>& ranges);

public Q_SLOTS:
    void reject() override;

private:
    void StartScan();
    void AddResult(const CScanResult& result);
    void ScanFinished(bool cancelled);

    QList<CAddressRange> m_ranges;
    quint16 m_nPort;
    CDeviceScan* m_pScan;
    QLabel* m_pStatus;
    QProgressBar* m_pProgress;
    QTreeWidget* m_pList;
    QPushButton* m_pOk;
};
