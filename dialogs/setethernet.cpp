#include "dialogs/setethernet.h"

#include "dialogs/dlgfindgenerators.h"
#include "dialogs/ipaddressedit.h"
#include "link/vqcomm.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

CSetEthernet::CSetEthernet(CVQComm* pComm, QWidget* parent, CRecentHosts* pRecent)
    : QDialog(parent), m_pComm(pComm), m_pRecentHosts(pRecent), m_pAddress(new CIpAddressEdit(this)),
      m_pRecent(new QComboBox(this)), m_pFind(new QPushButton(u"&Find..."_s, this))
{
    setWindowTitle(u"Ethernet"_s);

    auto* group = new QGroupBox(u"Target Device"_s, this);
    auto* row = new QHBoxLayout(group);
    auto* label = new QLabel(u"IP &Address"_s, group);
    label->setBuddy(m_pAddress);
    row->addWidget(label);
    row->addSpacing(8);
    row->addWidget(m_pAddress, 1);
    row->addSpacing(8);
    row->addWidget(m_pRecent);
    row->addWidget(m_pFind);

    // The addresses that connected last; choosing one fills the fields.
    const QStringList hosts = m_pRecentHosts ? m_pRecentHosts->Hosts() : QStringList();
    m_pRecent->addItems(hosts);
    m_pRecent->setPlaceholderText(u"Recent"_s);
    m_pRecent->setCurrentIndex(-1);
    m_pRecent->setEnabled(!hosts.isEmpty());
    m_pRecent->setToolTip(u"Addresses that connected last"_s);
    m_pRecent->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    connect(m_pRecent, &QComboBox::activated, this, &CSetEthernet::OnRecentChosen);
    // An address typed over a chosen one is no longer that one.
    connect(m_pAddress, &CIpAddressEdit::AddressEdited, m_pRecent,
            [this] { m_pRecent->setCurrentIndex(-1); });

    m_pFind->setToolTip(u"Look for generators on this PC's networks"_s);
    m_pFind->setAutoDefault(false);
    connect(m_pFind, &QPushButton::clicked, this, &CSetEthernet::OnFind);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSetEthernet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSetEthernet::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // A host that is not a dotted address (a hand-edited setting) shows as an
    // empty address rather than as a guess.
    if (const auto fields = CIpAddressEdit::ParseAddress(m_pComm->GetHost()))
        m_pAddress->SetAddress(*fields);
    // Typing into the filled dialog replaces the address shown.
    m_pAddress->SelectField(0);
}

void CSetEthernet::OnRecentChosen(int index)
{
    if (const auto fields = CIpAddressEdit::ParseAddress(m_pRecent->itemText(index))) {
        m_pAddress->SetAddress(*fields);
        m_pAddress->SelectField(0);
    }
}

void CSetEthernet::OnFind()
{
    CDlgFindGenerators dialog(CDlgFindGenerators::SearchRanges(),
                              CDlgFindGenerators::SearchPorts(m_pComm->GetPort()), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (const auto fields = CIpAddressEdit::ParseAddress(dialog.ChosenAddress())) {
        m_strFoundHost = dialog.ChosenAddress();
        m_nFoundPort = dialog.ChosenPort();
        m_pAddress->SetAddress(*fields);
        m_pRecent->setCurrentIndex(-1);
        m_pAddress->SelectField(0);
    }
}

void CSetEthernet::accept()
{
    CWaitCursor wait(m_pComm->LinkHost());
    // An address left entirely empty names no device: keep the stored host
    // instead of replacing it with 0.0.0.0.
    const QString host = m_pAddress->IsBlank() ? m_pComm->GetHost() : m_pAddress->Text();
    // A working channel stays until the new address has answered. A failed
    // connect has told the user through the host; the dialog closes anyway.
    const quint16 port = host == m_strFoundHost && m_nFoundPort != 0 ? m_nFoundPort : m_pComm->GetPort();
    m_bConnected = m_pComm->ConnectTo(host, port) == 1;
    if (m_bConnected && m_pRecentHosts)
        m_pRecentHosts->Add(host);
    QDialog::accept();
}
