#include "cli/ctltransfers.h"

#include "cli/consolehost.h"
#include "cli/ctlcommand.h"
#include "cli/ctlsession.h"
#include "link/transferchain.h"
#include "link/vqcomm.h"

#include <QEventLoop>

CCtlTransfers::CCtlTransfers(CCtlSession& session) : m_session(session) {}

int CCtlTransfers::RunBatch(const std::function<int()>& start)
{
    CVQComm& link = m_session.Link();
    CConsoleHost& host = m_session.Host();
    CTransferChain chain(&link);
    QEventLoop loop;
    bool ended = false;
    QObject::connect(&chain, &CTransferChain::BatchEnded, &loop, [&](int) {
        ended = true;
        loop.quit();
    });
    host.SetTransferReceiver(&chain);
    m_clock.start();
    m_session.SetTransferring(true);
    // A Ctrl+C that came just before is the engine's Cancel all the same.
    if (m_session.Interrupted())
        link.CancelTransfer();
    const int started = start();
    if (started && !ended)
        loop.exec();
    m_session.SetTransferring(false);
    m_nMs += m_clock.elapsed();
    host.SetTransferReceiver(nullptr);
    host.EndProgress();
    if (!started) {
        // Refused before anything moved; the link may have closed the channel.
        if (!link.IsConnected() && !m_session.Interrupted())
            link.Connect();
        return CTL_FAILED;
    }
    if (m_session.Interrupted())
        return CTL_FAILED;
    return link.IsConnected() ? CTL_OK : CTL_FAILED;
}
