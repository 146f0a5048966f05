#include "cli/ctlsession.h"

#include "cli/consolehost.h"
#include "cli/ctlargs.h"
#include "cli/ctlcatalog.h"
#include "cli/ctlcommand.h"
#include "cli/ctlerrorqueue.h"
#include "cli/ctlreport.h"
#include "cli/ctltransfers.h"
#include "link/printable.h"
#include "link/stringtable.h"
#include "link/vqcomm.h"
#include "sync/syncrecord.h"

#include <QDir>
#include <QJsonObject>

using namespace Qt::StringLiterals;

CCtlSession::CCtlSession(CConsoleHost& host, const CCtlArgs& args, CCtlReport& report)
    : m_host(host), m_args(args), m_report(report), m_pQueue(std::make_unique<CCtlErrorQueue>(*this)),
      m_pCatalog(std::make_unique<CCtlCatalog>(*this)), m_pTransfers(std::make_unique<CCtlTransfers>(*this))
{
}

CCtlSession::~CCtlSession() = default;

int CCtlSession::Refuse(const QString& text) const
{
    m_pLink->ShowError(text);
    return CTL_FAILED;
}

int CCtlSession::Fail(const QString& kind, const QString& text, const QJsonObject& figures) const
{
    m_report.SetFailure(kind, text, figures);
    return Refuse(text);
}

bool CCtlSession::Identify()
{
    if (m_bIdentified)
        return true;
    if (!m_pLink->QueryIdentity())
        return false;
    m_generator = CGeneratorIdentity::FromReply(m_pLink->GetHost(), m_pLink->GetPort(), m_pLink->LastReply());
    m_bIdentified = true;
    m_report.Set(u"generator"_s, m_generator.ToJson());
    return true;
}

CSyncRecord* CCtlSession::Record()
{
    if (!m_bIdentified || m_args.IsSet(u"no-record"))
        return nullptr;
    if (!m_pRecord) {
        m_pRecord = std::make_unique<CSyncRecord>(m_generator);
        QString problem;
        if (!m_pRecord->Load(&problem))
            m_host.Note(u"the record of this generator could not be read (%1): it starts again, and files "
                        "it would have proven the same are \"size only\" until then : \"%2\""_s.arg(
                            problem, ShownPcPath(m_pRecord->FilePath())));
    }
    return m_pRecord.get();
}

void CCtlSession::SaveRecord()
{
    QString problem;
    if (m_pRecord && !m_pRecord->Save(&problem))
        m_host.Note(u"the record of this generator could not be written (%1) : \"%2\""_s.arg(
            problem, ShownPcPath(m_pRecord->FilePath())));
}

int CCtlSession::RefuseQuoting(const QString& text, const QString& reply) const
{
    return Refuse(text + u" : \""_s + ShortenedText(reply, QUOTED_REPLY_MAX) + u'"');
}

QString CCtlSession::Quoted(const QString& path)
{
    return u'"' + path + u'"';
}

QString CCtlSession::ShownPcPath(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

QString CCtlSession::PcPathMessage(const QString& text, const QString& path)
{
    return PathMessage(text, ShownPcPath(path));
}

bool CCtlSession::OnRequest(CConsole::Request request)
{
    const bool signalled = request != CConsole::Request::None;
    if (!m_pLink) {
        // What runs without the link takes every request itself.
        if (!signalled)
            return false;
        ++m_interrupts;
        const std::lock_guard lock(m_apartMutex);
        if (m_apartStop)
            m_apartStop(request);
        else if (m_firstRequest == CConsole::Request::None)
            m_firstRequest = request;
        return false;
    }
    // The watcher's thread: only the link's thread-safe calls and flags here.
    if (signalled && ++m_interrupts == 1 && request == CConsole::Request::Interrupt && m_transferring &&
        !m_aborting) {
        // The engine's own Cancel: the batch ends after the file under way,
        // and an upload's partial file is removed by the worker.
        m_pLink->CancelTransfer();
        return false;
    }
    if (!m_aborting.exchange(true))
        m_host.SetInterrupted();
    // Every wait is cut, also those that begin after this call.
    m_pLink->AbortBlockingCall();
    if (m_transferring)
        m_pLink->CancelTransfer();
    return true;
}

int CCtlSession::RunApart(const std::function<int()>& run, const std::function<void(CConsole::Request)>& stop)
{
    {
        const std::lock_guard lock(m_apartMutex);
        m_apartStop = stop;
        if (m_firstRequest != CConsole::Request::None)
            stop(m_firstRequest);
    }
    const int status = run();
    const std::lock_guard lock(m_apartMutex);
    m_apartStop = nullptr;
    return status;
}
