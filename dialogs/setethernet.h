#pragma once

#include "dialogs/recenthosts.h"

#include <QDialog>

class CIpAddressEdit;
class CVQComm;
class QComboBox;
class QPushButton;

// The network dialog: the generator's IPv4 address. OK reconnects the link to
// the address shown; an address that connects joins the recent ones, which a
// drop-down beside the fields offers, newest first.
class CSetEthernet final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSetEthernet)

public:
    // `pRecent`: the recent addresses, by default the application's.
    explicit CSetEthernet(CVQComm* pComm, QWidget* parent = nullptr,
                          CRecentHosts* pRecent = CRecentHosts::Shared());

    CIpAddressEdit* AddressEdit() const { return m_pAddress; }
    // After OK: the link connected to the address shown (else it kept the
    // generator it had, or has none).
    bool Connected() const { return m_bConnected; }
    QComboBox* RecentBox() const { return m_pRecent; }
    QPushButton* FindButton() const { return m_pFind; }

public Q_SLOTS:
    void accept() override;

private:
    void OnRecentChosen(int index);
    // Looks for generators (CDlgFindGenerators) and fills in the one chosen.
    void OnFind();

    CVQComm* m_pComm;
    CRecentHosts* m_pRecentHosts;
    CIpAddressEdit* m_pAddress;
    QComboBox* m_pRecent;
    QPushButton* m_pFind;
    // A generator Find chose on a port of its own (the demo's emulators):
    // its address, while the fields still show it, connects on that port.
    QString m_strFoundHost;
    quint16 m_nFoundPort = 0;
    bool m_bConnected = false;
};
