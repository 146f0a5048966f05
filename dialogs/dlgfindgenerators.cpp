#include "dialogs/dlgfindgenerators.h"

#include "link/devicescan.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// Set by the program for its whole run (the demo); empty: the PC's networks
// on the link's port.
QList<CAddressRange> g_searchRanges;
QList<quint16> g_searchPorts;

constexpr int kAddressKeyRole = Qt::UserRole;
constexpr int kHostRole = Qt::UserRole + 1;
constexpr int kPortRole = Qt::UserRole + 2;

} // namespace

CDlgFindGenerators::CDlgFindGenerators(const QList<CAddressRange>& ranges, const QList<quint16>& ports,
                                       QWidget* parent)
    : QDialog(parent), m_ranges(ranges), m_ports(ports), m_pScan(new CDeviceScan(this)),
      m_pStatus(new QLabel(this)), m_pProgress(new QProgressBar(this)), m_pList(new QTreeWidget(this))
{
    setWindowTitle(u"Find Generators"_s);

    m_pList->setHeaderLabels({u"Address"_s, u"Maker"_s, u"Model"_s, u"Serial"_s, u"Firmware"_s, u"Answer"_s});
    m_pList->setRootIsDecorated(false);
    m_pList->setUniformRowHeights(true);
    m_pList->setAllColumnsShowFocus(true);
    m_pList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_pList->setMinimumSize(fontMetrics().averageCharWidth() * 72, fontMetrics().height() * 10);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_pOk = buttons->button(QDialogButtonBox::Ok);
    m_pOk->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgFindGenerators::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDlgFindGenerators::reject);
    connect(m_pList, &QTreeWidget::itemSelectionChanged, m_pOk,
            [this] { m_pOk->setEnabled(!m_pList->selectedItems().isEmpty()); });
    connect(m_pList, &QTreeWidget::itemDoubleClicked, this, &CDlgFindGenerators::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pStatus);
    layout->addWidget(m_pProgress);
    layout->addWidget(m_pList, 1);
    layout->addWidget(buttons);

    connect(m_pScan, &CDeviceScan::Answered, this, &CDlgFindGenerators::AddResult);
    connect(m_pScan, &CDeviceScan::Progress, m_pProgress, [this](int done, int total) {
        m_pProgress->setMaximum(std::max(total, 1));
        m_pProgress->setValue(done);
    });
    connect(m_pScan, &CDeviceScan::Finished, this, &CDlgFindGenerators::ScanFinished);

    QStringList shown;
    for (const CAddressRange& range : std::as_const(m_ranges))
        shown.append(range.Text());
    QStringList portTexts;
    for (const quint16 port : std::as_const(m_ports))
        portTexts.append(QString::number(port));
    m_pStatus->setText(shown.isEmpty() ? u"This PC has no network to search."_s
                                       : u"Looking for generators in %1 on port%2 %3..."_s.arg(
                                             shown.join(u", "_s), m_ports.size() > 1 ? u"s"_s : QString(),
                                             portTexts.join(u", "_s)));
    // Once the dialog's own loop runs: it paints while the scan goes on.
    QTimer::singleShot(0, this, &CDlgFindGenerators::StartScan);
}

CDlgFindGenerators::~CDlgFindGenerators() = default;

QList<CAddressRange> CDlgFindGenerators::SearchRanges()
{
    return g_searchRanges.isEmpty() ? CAddressRange::PcNetworks() : g_searchRanges;
}

void CDlgFindGenerators::SetSearchRanges(const QList<CAddressRange>& ranges)
{
    g_searchRanges = ranges;
}

QList<quint16> CDlgFindGenerators::SearchPorts(quint16 port)
{
    return g_searchPorts.isEmpty() ? QList<quint16>{port} : g_searchPorts;
}

void CDlgFindGenerators::SetSearchPorts(const QList<quint16>& ports)
{
    g_searchPorts = ports;
}

QString CDlgFindGenerators::ChosenAddress() const
{
    const QTreeWidgetItem* item = m_pList->currentItem();
    return item ? item->data(COLUMN_ADDRESS, kHostRole).toString() : QString();
}

quint16 CDlgFindGenerators::ChosenPort() const
{
    const QTreeWidgetItem* item = m_pList->currentItem();
    return item ? quint16(item->data(COLUMN_ADDRESS, kPortRole).toUInt()) : 0;
}

QList<CHostPort> CDlgFindGenerators::ChosenPlaces() const
{
    QList<CHostPort> places;
    // In the list's order, whatever order they were selected in.
    for (int row = 0; row < m_pList->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = m_pList->topLevelItem(row);
        if (!item->isSelected())
            continue;
        CHostPort place;
        place.m_strHost = item->data(COLUMN_ADDRESS, kHostRole).toString();
        if (m_ports.size() > 1)
            place.m_nPort = quint16(item->data(COLUMN_ADDRESS, kPortRole).toUInt());
        places.append(place);
    }
    return places;
}

void CDlgFindGenerators::SetMultiSelection(bool on)
{
    m_pList->setSelectionMode(on ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

void CDlgFindGenerators::reject()
{
    m_pScan->Cancel();
    QDialog::reject();
}

void CDlgFindGenerators::StartScan()
{
    QList<QHostAddress> addresses;
    for (const CAddressRange& range : std::as_const(m_ranges))
        addresses += range.Addresses();
    m_pScan->Start(addresses, m_ports);
}

void CDlgFindGenerators::AddResult(const CScanResult& result)
{
    if (!result.IsGenerator())
        return;
    CHostPort place{result.m_address.toString(), m_ports.size() > 1 ? result.m_nPort : quint16(0)};
    auto* item = new QTreeWidgetItem(QStringList{place.Text()} + result.m_fields +
                                     QStringList{u"%1 ms"_s.arg(result.m_nMs)});
    const quint64 key = (quint64(result.m_address.toIPv4Address()) << 16) | result.m_nPort;
    item->setData(COLUMN_ADDRESS, kAddressKeyRole, key);
    item->setData(COLUMN_ADDRESS, kHostRole, place.m_strHost);
    item->setData(COLUMN_ADDRESS, kPortRole, result.m_nPort);
    // In address order, as they are found.
    int row = 0;
    while (row < m_pList->topLevelItemCount() &&
           m_pList->topLevelItem(row)->data(COLUMN_ADDRESS, kAddressKeyRole).toULongLong() < key)
        ++row;
    m_pList->insertTopLevelItem(row, item);
}

void CDlgFindGenerators::ScanFinished(bool cancelled)
{
    const int found = m_pList->topLevelItemCount();
    if (cancelled)
        m_pStatus->setText(u"Stopped."_s);
    else if (found == 0)
        m_pStatus->setText(u"No generator answered."_s);
    else
        m_pStatus->setText(found == 1 ? u"1 generator found."_s : u"%1 generators found."_s.arg(found));
    if (found > 0 && !m_pList->currentItem())
        m_pList->setCurrentItem(m_pList->topLevelItem(0));
}
