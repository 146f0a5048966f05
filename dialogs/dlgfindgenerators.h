#pragma once

#include "link/addressrange.h"
#include "link/hostport.h"

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
// chooses its address. Where it looks on several ports (the demo's
// emulators) each generator shows as ADDRESS:PORT; with several to choose
// (SetMultiSelection) OK takes every one selected.
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

    // Scans `ranges` on `port` (on each of `ports`) once the dialog runs.
    CDlgFindGenerators(const QList<CAddressRange>& ranges, quint16 port, QWidget* parent = nullptr)
        : CDlgFindGenerators(ranges, QList<quint16>{port}, parent)
    {
    }
    CDlgFindGenerators(const QList<CAddressRange>& ranges, const QList<quint16>& ports,
                       QWidget* parent = nullptr);
    ~CDlgFindGenerators() override;

    // The address of the generator chosen; empty when none is.
    QString ChosenAddress() const;
    // Its port (the one scanned when there was one).
    quint16 ChosenPort() const;
    // Every generator selected, with its port where several were scanned.
    QList<CHostPort> ChosenPlaces() const;
    void SetMultiSelection(bool on);
    QTreeWidget* List() const { return m_pList; }
    CDeviceScan* Scan() const { return m_pScan; }

    // The ranges Find scans: those the program set (the demo: its own
    // emulator's address), else the PC's own networks.
    static QList<CAddressRange> SearchRanges();
    static void SetSearchRanges(const QList<CAddressRange>& ranges);
    // The ports Find tries: those the program set (the demo: one per
    // emulator), else `port`.
    static QList<quint16> SearchPorts(quint16 port);
    static void SetSearchPorts(const QList<quint16>& ports);

public Q_SLOTS:
    void reject() override;

private:
    void StartScan();
    void AddResult(const CScanResult& result);
    void ScanFinished(bool cancelled);

    QList<CAddressRange> m_ranges;
    QList<quint16> m_ports;
    CDeviceScan* m_pScan;
    QLabel* m_pStatus;
    QProgressBar* m_pProgress;
    QTreeWidget* m_pList;
    QPushButton* m_pOk;
};
