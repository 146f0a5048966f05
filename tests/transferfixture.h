#pragma once

#include "scriptedhost.h"
#include "simserver.h"
#include "transferchain.h"
#include "vqcomm.h"

#include <QTemporaryDir>

#include <memory>

// An emulator on a free loopback port, a scripted host, a link and its
// transfer chain, and a temporary PC folder: what every transfer test needs.
class CTransferFixture
{
public:
    CTransferFixture();
    ~CTransferFixture();

    bool Start();
    // A fresh link and chain, connected, with the sim's faults cleared and
    // the records emptied. `scale` shortens the fixed pauses.
    void Reset(double scale = 0.05);
    // Runs the event loop until the batch has ended (chain reconnected).
    bool WaitBatchEnd(int timeoutMs = 20000);

    QString PcPath(const QString& name) const;
    bool WritePc(const QString& name, const QByteArray& data) const;
    QByteArray ReadPc(const QString& name) const;
    // Names in the PC folder, temporaries included.
    QStringList PcFiles() const;

    CSimServer m_sim;
    CScriptedHost m_host;
    std::unique_ptr<CVQComm> m_comm;
    std::unique_ptr<CTransferChain> m_chain;
    QTemporaryDir m_dir;
    int m_batchesEnded = 0;
    QList<int> m_endParams;
};
