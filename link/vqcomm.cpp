#include "link/vqcomm.h"

#include "link/channelwait.h"
#include "link/cmdsocket.h"
#include "link/socketerror.h"
#include "link/stringtable.h"

#include <QThread>

#include <utility>

using namespace Qt::StringLiterals;

QString g_replyLine;

namespace {
// What the user is told when a channel could not be opened to `host`.
QString ConnectFailureText(const CCmdSocket& socket, const QString& host)
{
    return socket.CreateFailed() ? TEXT_CANNOT_CREATE_SOCKET : u"Cannot connect to \""_s + host + u'"';
}
} // namespace

CVQComm::CVQComm(CLinkHost* host) : m_pHost(host), m_socket(MakeChannelSocket()) {}

std::unique_ptr<CCmdSocket> CVQComm::MakeChannelSocket()
{
    auto socket = std::make_unique<CCmdSocket>();
    socket->SetLineLimits(m_nLineBaseMs, m_nLineCeilingMs, m_nLineMaxBytes);
    // The host lets the window paint while the channel waits; whatever would
    // use the link meanwhile waits for the end of the wait (CChannelWait).
    socket->SetWaitHook([this] {
        if (!m_pHost)
            return;
        const CChannelWait inside;
        m_pHost->ChannelWaiting();
    });
    return socket;
}

void CVQComm::SetReplyLineLimits(qint64 baseMs, qint64 ceilingMs, qint64 maxBytes)
{
    m_nLineBaseMs = baseMs;
    m_nLineCeilingMs = ceilingMs;
    m_nLineMaxBytes = maxBytes;
    m_socket->SetLineLimits(baseMs, ceilingMs, maxBytes);
}

// Closes the socket without sending anything; a transfer still running is
// cancelled and waited for.
CVQComm::~CVQComm()
{
    EndTransfers();
}

void CVQComm::EndTransfers()
{
    if (!m_worker.joinable())
        return;
    // A worker may be waiting for an answer to a message box: the host
    // answers it, unseen, so that the wait ends.
    if (m_pHost)
        m_pHost->AbandonQuestions();
    CancelTransfer();
    JoinTransferThread();
}

int CVQComm::Connect()
{
    return ConnectChannel(true);
}

int CVQComm::Reconnect()
{
    return ConnectChannel(false);
}

int CVQComm::ConnectChannel(bool clearViewsOnFailure)
{
    if (m_connected)
        return 1;
    if (CChannelWait::Active())
        return 0; // never a second channel from inside a wait of the first
    CWaitCursor wait(m_pHost);
    if (!OpenChannel(clearViewsOnFailure))
        return 0;
    m_connected = 1;
    if (m_pHost)
        m_pHost->ConnectionChanged();
    return 1;
}

bool CVQComm::OpenChannel(bool clearViewsOnFailure)
{
    m_bReopen = false;
    if (!m_socket->Connect(m_host, m_port, CONNECT_TIMEOUT_MS)) {
        m_socket->Close();
        const bool was = m_connected != 0;
        m_connected = 0;
        if (was && m_pHost)
            m_pHost->ConnectionChanged();
        ShowError(ConnectFailureText(*m_socket, m_host));
        if (clearViewsOnFailure)
            ClearViews();
        return false;
    }
    // Whatever the generator queued before is nothing this connection did.
    m_bQueueUnread = true;
    return true;
}

int CVQComm::ConnectTo(const QString& host, quint16 port)
{
    if (!m_connected) {
        m_host = host;
        m_port = port;
        return Connect();
    }
    if (CChannelWait::Active())
        return 0;
    CWaitCursor wait(m_pHost);
    std::unique_ptr<CCmdSocket> fresh = MakeChannelSocket();
    if (!fresh->Connect(host, port, CONNECT_TIMEOUT_MS)) {
        // The generator in use stays in use, views and all.
        ShowError(ConnectFailureText(*fresh, host));
        return 0;
    }
    m_socket = std::move(fresh); // the old channel closes here, sending nothing
    m_host = host;
    m_port = port;
    m_bReopen = false;
    m_bQueueUnread = true;
    if (m_pHost)
        m_pHost->ConnectionChanged();
    return 1;
}

int CVQComm::Disconnect()
{
    m_socket->Close();
    const bool was = m_connected != 0;
    m_connected = 0;
    m_bReopen = false;
    if (was && m_pHost)
        m_pHost->ConnectionChanged();
    QThread::msleep(static_cast<unsigned long>(ScaledDelay(DISCONNECT_PAUSE_MS)));
    return 1;
}

int CVQComm::SendCommand(const QString& command)
{
    return SendRaw(command.toLatin1() + "\r\n");
}

int CVQComm::SendRaw(const QByteArray& bytes)
{
    if (!m_connected)
        return 0;
    // Inside a wait of this channel another exchange is under way: a line
    // sent now would take its reply.
    if (CChannelWait::Active()) {
        SetLastSocketError(SE_INPROGRESS);
        return 0;
    }
    // A reply that failed may still be on its way on the old connection: it
    // must never be read as the answer to this command.
    if (m_bReopen) {
        CWaitCursor wait(m_pHost);
        if (!OpenChannel())
            return 0;
    }
    if (bytes != ERROR_QUEUE_QUERY_LINE)
        m_bQueueUnread = true;
    if (m_socket->Send(bytes, CONNECT_TIMEOUT_MS))
        return 1;
    ReportSocketError();
    Disconnect();
    return 0;
}

const QString& CVQComm::ReadReply()
{
    QByteArray line;
    ReadReplyLine(line);
    g_replyLine = QString::fromLatin1(line);
    return g_replyLine;
}

bool CVQComm::ReadReplyLine(QByteArray& line)
{
    line.clear();
    g_replyLine.clear();
    m_unreadCatalog.clear();
    if (!m_connected || m_bReopen || CChannelWait::Active())
        return false;
    if (!m_socket->ReadLine(line, REPLY_WATCHDOG_MS)) {
        // The link stays marked connected; the next command opens a fresh
        // channel, so that nothing of this reply can arrive as another's.
        ReportSocketError(m_socket->LineFailureReason());
        m_socket->Close();
        m_bReopen = true;
        line.clear();
        return false;
    }
    return true;
}

void CVQComm::AbortBlockingCall()
{
    m_socket->CancelWait();
}

void CVQComm::ReportSocketError(const QString& reason)
{
    const int code = LastSocketError();
    // A channel the generator closed (a restart, a cable pulled and back) is
    // opened again by the read that found it gone; only a retry that fails
    // too is told.
    if (m_bQuietLoss && code == SE_CONNRESET) {
        m_nQuietLossCode = code;
        return;
    }
    // The socket error's text, and why when the link knows more (one of a
    // reply line's own bounds ended it, the reply watchdog's silence among them).
    ShowError(reason.isEmpty() ? SocketErrorText(code) : SocketErrorText(code) + u' ' + reason);
}

int CVQComm::RetryLostRead(const std::function<int()>& read)
{
    // Nested reads are retried by the outermost one.
    if (!m_bRetryLostReads || m_bQuietLoss)
        return read();
    m_bQuietLoss = true;
    m_nQuietLossCode = 0;
    const int result = read();
    m_bQuietLoss = false;
    const int lost = std::exchange(m_nQuietLossCode, 0);
    if (lost == 0)
        return result;
    if (!ReopenLostChannel()) {
        // A failed connect has been told; a channel that could not even be
        // tried again has not: say what happened, once.
        if (CChannelWait::Active())
            ShowError(SocketErrorText(lost));
        return result;
    }
    return read();
}

bool CVQComm::ReopenLostChannel()
{
    if (CChannelWait::Active())
        return false;
    // A failed send has closed the channel; a failed reply left it marked
    // open, to be reopened by the next command.
    if (!m_connected)
        return Reconnect() == 1;
    CWaitCursor wait(m_pHost);
    m_socket->Close();
    return OpenChannel(false);
}

int CVQComm::ShowError(const QString& text, int style)
{
    if (!m_pHost)
        return (style & MB_BUTTONMASK) == MB_OKCANCEL ? IDCANCEL : IDOK;
    // Errors and refusals beep; a remark on the user's selection does not.
    if ((style & MB_ICONMASK) != MB_ICONINFORMATION)
        m_pHost->Beep();
    return m_pHost->ShowMessageBox(text, style);
}

int CVQComm::ShowErrorId(int id, int style)
{
    return ShowError(LoadStringResource(id), style);
}

void CVQComm::ClearViews()
{
    if (m_pHost)
        m_pHost->ClearViews();
}

int CVQComm::QueryIdentity()
{
    if (!SendCommand(QString::fromLatin1(IDENTITY_QUERY)))
        return 0;
    return ReadReply().isEmpty() ? 0 : 1;
}
