// What the upload and download engines share: the transfer socket, Cancel,
// the worker thread and the end of a batch.
#include "link/vqcomm.h"

#include "link/socketerror.h"
#include "link/stringtable.h"
#include "link/vqevents.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cmath>
#include <mutex>
#include <utility>

using namespace Qt::StringLiterals;

CCmdSocket g_transferSocket("transfer");
std::atomic<int> g_transferCancelled{0};

namespace {
// Guards the life of the transfer socket's descriptor against Shutdown from
// another thread; held only for the instant of a close or a shutdown.
std::mutex g_transferSocketLock;
constexpr int kPauseSliceMs = 10;
} // namespace

int CVQComm::ScaledDelay(int ms) const
{
    return static_cast<int>(std::lround(ms * m_delayScale));
}

bool CVQComm::PauseTransfer(int ms)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (g_transferCancelled)
            return false;
        const qint64 left = ms - timer.elapsed();
        if (left <= 0)
            return true;
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(left, kPauseSliceMs)));
    }
}

QString CVQComm::TransferErrorText(bool generatorSends) const
{
    if (LastSocketError() != SE_TIMEDOUT)
        return SocketErrorText(LastSocketError());
    const QString text = generatorSends ? u"The generator stopped sending for %1 s"_s
                                        : u"The generator stopped receiving for %1 s"_s;
    return PathMessage(text.arg(m_transferIdleMs / 1000.0), m_transferName);
}

void CVQComm::CloseTransferSocket()
{
    std::lock_guard lock(g_transferSocketLock);
    g_transferSocket.Close();
}

QString CVQComm::TransferConnectErrorText()
{
    return g_transferSocket.CreateFailed() ? TEXT_CANNOT_CREATE_SOCKET : SocketErrorText(LastSocketError());
}

void CVQComm::CancelTransfer()
{
    // The flag first: a worker whose wait fails next must see it and stay silent.
    g_transferCancelled = 1;
    std::lock_guard lock(g_transferSocketLock);
    g_transferSocket.Shutdown();
    g_transferSocket.CancelWait();
}

bool CVQComm::BeginBatch()
{
    m_pNotifyWnd = m_pHost ? m_pHost->TransferReceiver() : nullptr;
    if (!m_pNotifyWnd)
        return false;
    CProgressSink* sink = m_pHost->CreateProgressSink();
    if (!sink)
        sink = new CProgressSink(); // silent; deletes itself when the batch ends
    sink->SetReceiver(m_pNotifyWnd);
    m_pProgressDlg = sink;
    m_bInBatch = true;
    m_sentFiles.clear();
    m_nCutBlocks = 0;
    m_aborted = 0;
    g_transferCancelled = 0;
    return true;
}

void CVQComm::StartTransferThread(void (CVQComm::*proc)())
{
    JoinTransferThread();
    m_pWorkerSink = m_pProgressDlg;
    m_pWorkerNotify = m_pNotifyWnd;
    // A plain thread: joining it is a synchronisation every tool can see.
    m_workerRunning = true;
    m_worker = std::thread([this, proc] {
        (this->*proc)();
        m_workerRunning = false;
    });
}

void CVQComm::JoinTransferThread()
{
    if (m_worker.joinable())
        m_worker.join();
}

bool CVQComm::IsTransferRunning() const
{
    return m_workerRunning;
}

QList<CVQComm::CSentFile> CVQComm::TakeSentFiles()
{
    return std::exchange(m_sentFiles, {});
}

void CVQComm::EndBatch(int wParam)
{
    JoinTransferThread();
    if (m_pProgressDlg)
        QCoreApplication::postEvent(m_pProgressDlg, new CLinkEvent(WM_TRANSFER_END, wParam));
    m_pProgressDlg = nullptr;
}
