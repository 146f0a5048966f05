#include "cli/ctltool.h"

#include "cli/consolehost.h"
#include "cli/ctlcommand.h"
#include "cli/ctlerrorqueue.h"
#include "cli/ctlfleet.h"
#include "cli/ctlregistry.h"
#include "cli/ctltarget.h"
#include "console/interruptwatcher.h"
#include "link/hostport.h"
#include "link/vqcomm.h"
#include "link/wiretrace.h"
#include "sim/simserver.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSaveFile>

using namespace Qt::StringLiterals;

CCtlTool::CCtlTool(CConsoleHost& host) : m_host(host), m_session(host, m_args, m_report)
{
    // A reader gone from standard output ends the run as SIGTERM would
    // (runs for several generators too), and the status says why.
    m_host.SetOutputClosedHandler([] { CConsole::PostRequest(CConsole::Request::Terminate); });
}

CCtlTool::~CCtlTool()
{
    // The watcher's thread reaches the link: it goes first.
    m_pWatcher.reset();
    m_session.SetLink(nullptr);
    m_pComm.reset();
    CWireTrace::Install(nullptr);
}

void CCtlTool::SetReportCommand()
{
    m_report.SetCommand(m_args.Command());
    if (const CCtlCommand* command = CCtlRegistry::Find(m_args.Command())) {
        const unsigned keys = command->Describe().reportKeys;
        m_report.SetFixedKeys(keys & CCtlCommand::REPORT_FILES, keys & CCtlCommand::REPORT_OPERATIONS);
    }
}

int CCtlTool::Run(const QStringList& arguments)
{
    switch (m_args.Parse(arguments)) {
    case CCtlArgs::Outcome::Usage:
        m_host.Error(m_args.ErrorText());
        m_host.Print(u"Try \"vq8ctl --help\".\n"_s);
        // A script that asked for JSON gets its document also now.
        if (arguments.contains(u"--json"_s)) {
            SetReportCommand();
            m_host.Out(m_report.Document(CTL_USAGE, m_host.Messages()));
        }
        return CTL_USAGE;
    case CCtlArgs::Outcome::Help:
        for (const auto& command : CCtlRegistry::All()) {
            if (command->Describe().kind == CCtlCommand::Kind::Help)
                return CCtlRegistry::Create(command->Describe().name)->Run(m_session);
        }
        return CTL_USAGE;
    case CCtlArgs::Outcome::Version:
        m_host.Out(u"vq8ctl "_s + QCoreApplication::applicationVersion());
        return CTL_OK;
    case CCtlArgs::Outcome::Run:
        break;
    }
    SetReportCommand();
    // What a production line files with the result: what ran, with what, when.
    m_report.Set(u"tool"_s, QJsonObject{{u"name"_s, u"vq8ctl"_s},
                                        {u"version"_s, QCoreApplication::applicationVersion()}});
    m_report.Set(u"arguments"_s, QJsonArray::fromStringList(arguments.mid(1)));
    m_report.Set(u"started"_s, Now());
    m_host.SetQuiet(m_args.Quiet());
    m_host.SetForceProgress(m_args.Progress());
    m_host.SetAnswerPolicy(m_args.Yes()  ? AnswerPolicy::Yes
                           : m_args.No() ? AnswerPolicy::No
                                         : AnswerPolicy::Ask);
    const std::unique_ptr<CCtlCommand> command = CCtlRegistry::Create(m_args.Command());
    if (command->Describe().kind == CCtlCommand::Kind::Apart) {
        // It takes every request itself (CCtlSession::RunApart).
        m_bEndsOnRequest = command->Describe().endsOnRequest;
        WatchRequests();
        return Finish(command->Run(m_session));
    }
    if (m_args.IsFleet())
        return RunFleet();

    if (!OpenTrace())
        return Finish(CTL_FAILED);
    m_pComm = std::make_unique<CVQComm>(&m_host);
    m_pComm->SetDelayScale(m_delayScale);
    // Refusals are worded here, with what the generator was asked.
    m_pComm->SetShowRefusals(false);
    m_session.SetLink(m_pComm.get());
    WatchRequests();

    const int errorsBefore = m_host.ErrorCount();
    int status = RunOnGenerator(*command);
    // A stop message means something failed, whatever the operation returned.
    if (status == CTL_OK && m_host.ErrorCount() != errorsBefore)
        status = CTL_FAILED;
    return Finish(status);
}

void CCtlTool::WatchRequests()
{
    m_pWatcher = std::make_unique<CInterruptWatcher>(
        [this](CConsole::Request request) { return m_session.OnRequest(request); });
}

int CCtlTool::RunFleet()
{
    CCtlFleet fleet(m_host, m_args, m_report, m_session.Environment());
    if (!m_strWorkerProgram.isEmpty())
        fleet.SetProgram(m_strWorkerProgram);
    WatchRequests();
    return Finish(m_session.RunApart([&] { return fleet.Run(); },
                                     [&fleet](CConsole::Request request) { fleet.Interrupt(request); }));
}

int CCtlTool::RunOnGenerator(CCtlCommand& command)
{
    switch (Connect()) {
    case -1:
        return CTL_USAGE;
    case 0:
        m_report.SetFailure(u"unreachable"_s, m_host.Messages().value(0, u"cannot connect"_s));
        return CTL_FAILED;
    default:
        break;
    }
    m_bConnected = true;
    if (command.Describe().drainsQueue && !m_session.Queue().DrainEarlier())
        return CTL_FAILED;
    if (command.Describe().identifies && !m_session.Identify())
        return CTL_FAILED;
    return command.Run(m_session);
}

QString CCtlTool::Now()
{
    // ISO 8601 with the zone's offset, as a log from another site reads it.
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

int CCtlTool::Finish(int status)
{
    m_pWatcher.reset();
    m_host.FlushRepeats();
    if (m_host.OutputClosed()) {
        status = CTL_FAILED;
        m_host.Error(u"standard output closed: stopped"_s);
    } else if (m_session.Interrupted() && !m_bEndsOnRequest) {
        status = CTL_INTERRUPTED;
        m_host.Error(u"interrupted"_s);
    }
    // A run whose generator went away midway failed for that, whatever it met next.
    if (status == CTL_FAILED && m_bConnected && m_pComm && !m_pComm->IsConnected() && !m_pComm->IsInBatch())
        m_report.SetFailure(u"connection-lost"_s, u"connection lost : "_s + m_host.Messages().value(0));
    m_report.Set(u"ended"_s, Now());
    if (!m_args.Report().isEmpty()) {
        QSaveFile file(m_args.Report());
        const auto write = [&file](const QByteArray& piece) { return file.write(piece) == piece.size(); };
        if (!file.open(QIODevice::WriteOnly) || !m_report.Write(status, m_host.Messages(), write) ||
            !write("\n") || !file.commit()) {
            m_host.Error(u"cannot write the report : \""_s + CCtlSession::ShownPcPath(m_args.Report()) +
                         u"\": "_s + file.errorString());
            status = status == CTL_OK ? CTL_FAILED : status;
        }
    }
    if (m_args.Json() && m_report.Write(status, m_host.Messages(),
                                        [this](const QByteArray& piece) { return m_host.OutText(piece); }))
        m_host.OutText("\n");
    m_session.SetLink(nullptr);
    m_pComm.reset();
    m_pDemo.reset();
    CWireTrace::Install(nullptr);
    m_pTrace.reset();
    m_pTraceFile.reset();
    return status;
}

bool CCtlTool::OpenTrace()
{
    const QString target = m_args.Trace();
    if (target.isEmpty())
        return true;
    CWireTrace::Writer writer;
    if (target == u"-") {
        writer = [this](const QString& line) { m_host.TraceLine(line); };
    } else {
        m_pTraceFile = std::make_unique<QFile>(target);
        if (!m_pTraceFile->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
            m_host.Error(u"cannot write the trace : \""_s + CCtlSession::ShownPcPath(target) + u"\": "_s +
                         m_pTraceFile->errorString());
            return false;
        }
        writer = [file = m_pTraceFile.get()](const QString& line) {
            file->write((line + u'\n').toUtf8());
            file->flush();
        };
    }
    m_pTrace = std::make_unique<CWireTrace>(std::move(writer));
    CWireTrace::Install(m_pTrace.get());
    return true;
}

void CCtlTool::Interrupt()
{
    m_session.OnRequest(CConsole::Request::Interrupt);
}

int CCtlTool::Connect()
{
    QString hostFrom;
    QString portFrom = u"--port"_s;
    QString host;
    quint16 port = m_args.Port();
    if (m_args.Demo()) {
        m_pDemo = CCtlTarget::StartDemo(m_host);
        if (!m_pDemo)
            return 0;
        host = m_pDemo->Address().toString();
        port = m_pDemo->Port();
        hostFrom = portFrom = u"--demo"_s;
    } else {
        host = CCtlTarget::ResolveHost(m_args, m_session.Environment(), &hostFrom);
        // A port written with the address ("127.0.0.1:5001") is that generator's own.
        if (const auto place = CHostPort::Parse(host); place && place->m_nPort != 0) {
            host = place->m_strHost;
            port = place->m_nPort;
            portFrom = hostFrom;
        }
    }
    if (port == 0) {
        port = CCtlTarget::ResolvePort(m_args, m_session.Environment(), m_host, &portFrom);
        if (port == 0)
            return -1;
    }
    if (m_args.Verbose())
        m_host.Error(
            u"generator %1:%2 (address from %3, port from %4)"_s.arg(host).arg(port).arg(hostFrom, portFrom));
    m_pComm->SetHost(host);
    m_pComm->SetPort(port);
    m_report.Set(u"generator"_s, QJsonObject{{u"host"_s, host}, {u"port"_s, int(port)}});
    return m_pComm->Connect();
}
