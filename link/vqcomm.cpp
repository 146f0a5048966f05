#include "vqcomm.h"

#include "cmdsocket.h"
#include "socketerror.h"
#include "stringtable.h"

#include <QThread>

using namespace Qt::StringLiterals;

QString g_replyLine;

CVQComm::CVQComm(CLinkHost* host) : m_pHost(host), m_socket(std::make_unique<CCmdSocket>()) {}

// Closes the socket without sending anything; a transfer still running is
// cancelled and waited for.
CVQComm::~CVQComm()
{
    if (IsTransferRunning()) {
        CancelTransfer();
        JoinTransferThread();
    }
}

int CVQComm::Connect()
{
    if (m_connected)
        return 1;
    CWaitCursor wait(m_pHost);
    if (!m_socket->Connect(m_host, m_port, CONNECT_TIMEOUT_MS)) {
        m_socket->Close();
        ShowError(u"Cannot connect to \""_s + m_host + u'"');
        ClearViews();
        return 0;
    }
    m_connected = 1;
    return 1;
}

int CVQComm::Disconnect()
{
    m_socket->Close();
    m_connected = 0;
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
    if (m_socket->Send(bytes, CONNECT_TIMEOUT_MS))
        return 1;
    ReportSocketError();
    Disconnect();
    return 0;
}

const QString& CVQComm::ReadReply()
{
    g_replyLine.clear();
    if (!m_connected)
        return g_replyLine;
    QByteArray line;
    if (!m_socket->ReadLine(line, REPLY_WATCHDOG_MS)) {
        // The link stays marked connected; the next send will tell.
        ReportSocketError();
        g_replyLine.clear();
        return g_replyLine;
    }
    g_replyLine = QString::fromLatin1(line);
    return g_replyLine;
}

void CVQComm::AbortBlockingCall()
{
    m_socket->CancelWait();
}

void CVQComm::ReportSocketError()
{
    ShowError(SocketErrorText(LastSocketError()));
}

int CVQComm::ShowError(const QString& text, int style)
{
    if (!m_pHost)
        return (style & MB_BUTTONMASK) == MB_OKCANCEL ? IDCANCEL : IDOK;
    m_pHost->Beep();
    return m_pHost->MessageBox(text, style);
}

int CVQComm::ShowErrorId(int id, int style)
{
    return ShowError(LoadString(id), style);
}

void CVQComm::ClearViews()
{
    if (m_pHost)
        m_pHost->ClearViews();
}

int CVQComm::QueryIdentity()
{
    if (!SendCommand(u"*idn?"_s))
        return 0;
    return ReadReply().isEmpty() ? 0 : 1;
}
