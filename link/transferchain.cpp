#include "link/transferchain.h"

#include "link/channelwait.h"
#include "link/vqcomm.h"
#include "link/vqevents.h"

#include <QCoreApplication>
#include <QTimer>

namespace {
constexpr int kUploadPauseMs = 100;
constexpr int kDownloadPauseMs = 500; // twice: the list's wait, then the link's
constexpr int kReconnectPauseMs = 500;
} // namespace

CTransferChain::CTransferChain(CVQComm* comm, QObject* parent) : QObject(parent), m_pComm(comm) {}

CTransferChain::~CTransferChain() = default;

void CTransferChain::After(int ms, void (CTransferChain::*step)(int), int wParam)
{
    // A pause that ends inside a wait of the command channel takes its step
    // once the wait is over.
    QTimer::singleShot(m_pComm->ScaledDelay(ms), Qt::PreciseTimer, this, [this, step, wParam] {
        CChannelWait::Post(this, [this, step, wParam] { (this->*step)(wParam); });
    });
}

bool CTransferChain::event(QEvent* e)
{
    CLinkEvent::Received();
    const int type = static_cast<int>(e->type());
    if (type != WM_UPLOAD_DONE && type != WM_UPLOAD_NEXT && type != WM_DOWNLOAD_DONE &&
        type != WM_DOWNLOAD_NEXT && type != WM_TRANSFER_END)
        return QObject::event(e);
    const int wParam = static_cast<CLinkEvent*>(e)->WParam();
    // Nothing of a batch runs inside a wait of the command channel: the
    // message comes again once the wait is over.
    if (CChannelWait::Active()) {
        QCoreApplication::postEvent(this, new CLinkEvent(type, wParam));
        return true;
    }
    switch (type) {
    case WM_UPLOAD_NEXT:
        m_pComm->UploadNext();
        break;
    case WM_UPLOAD_DONE:
        After(kUploadPauseMs, &CTransferChain::PostUploadNext, 0);
        break;
    case WM_DOWNLOAD_NEXT:
        m_pComm->DownloadNext(wParam);
        break;
    case WM_DOWNLOAD_DONE:
        After(kDownloadPauseMs, &CTransferChain::PauseThenPostDownloadNext, wParam);
        break;
    case WM_TRANSFER_END:
        m_pComm->JoinTransferThread();
        m_pComm->Disconnect();
        if (wParam == 1) {
            Q_EMIT ClearList();
            After(kReconnectPauseMs, &CTransferChain::Reconnect, wParam);
        } else {
            Reconnect(wParam);
        }
        break;
    default:
        break;
    }
    return true;
}

void CTransferChain::PostUploadNext(int)
{
    QCoreApplication::postEvent(this, new CLinkEvent(WM_UPLOAD_NEXT, 0));
}

void CTransferChain::PauseThenPostDownloadNext(int wParam)
{
    After(kDownloadPauseMs, &CTransferChain::PostDownloadNext, wParam);
}

void CTransferChain::PostDownloadNext(int wParam)
{
    QCoreApplication::postEvent(this, new CLinkEvent(WM_DOWNLOAD_NEXT, wParam));
}

void CTransferChain::Reconnect(int wParam)
{
    // Until here the batch still holds the link: the pause before the
    // reconnect is not a lost generator.
    m_pComm->BatchFinished();
    m_pComm->Connect();
    if (wParam == 1)
        Q_EMIT Refresh();
    Q_EMIT BatchEnded(wParam);
}
