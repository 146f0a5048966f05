#pragma once

#include <QDialog>

class CIpAddressEdit;
class CVQComm;

// The network dialog: the generator's IPv4 address. OK reconnects the link to
// the address shown.
class CSetEthernet final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSetEthernet)

public:
    explicit CSetEthernet(CVQComm* pComm, QWidget* parent = nullptr);

    CIpAddressEdit* AddressEdit() const { return m_pAddress; }

public Q_SLOTS:
    void accept() override;

private:
    CVQComm* m_pComm;
    CIpAddressEdit* m_pAddress;
};
