#pragma once

#include "link/transferchain.h"
#include "tests/support/linkfixture.h"

#include <QTemporaryDir>

#include <memory>

// The link fixture with the link's transfer chain and a temporary PC
// folder: what every transfer test needs.
class CTransferFixture : public CLinkFixture
{
public:
    ~CTransferFixture();

    // Starts the emulator; false also when the PC folder could not be made.
    bool Start();
    // A fresh link and chain, connected, with the sim's faults cleared and
    // the records emptied. `scale` shortens the fixed pauses.
    bool Reset(double scale = 0.05);
    // Runs the event loop until the batch has ended (chain reconnected).
    bool WaitBatchEnd(int timeoutMs = 20000);

    QString PcPath(const QString& name) const;
    bool WritePc(const QString& name, const QByteArray& data) const;
    QByteArray ReadPc(const QString& name) const;
    // Names in the PC folder, temporaries included.
    QStringList PcFiles() const;
    // Removes every file of the PC folder.
    void ClearPc() const;
    // The command channel is open and answers the identity query.
    bool ChannelAnswers();

    std::unique_ptr<CTransferChain> m_chain;
    QTemporaryDir m_dir;
    int m_batchesEnded = 0;
    QList<int> m_endParams;
};
