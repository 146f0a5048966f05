#pragma once

#include "cli/ctlargs.h"
#include "cli/ctlreport.h"
#include "cli/ctlsession.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <memory>

class CConsoleHost;
class CCtlCommand;
class CInterruptWatcher;
class CSimServer;
class CVQComm;
class CWireTrace;
class QFile;

// vq8ctl: runs one command line with the console host in place of the
// desktop program's windows. The command (CCtlRegistry) runs on the
// generator's link, or apart from it (scan), or once per generator of
// several (CCtlFleet); this class sets each up, watches for Ctrl+C and
// writes the report.
class CCtlTool
{
public:
    explicit CCtlTool(CConsoleHost& host);
    ~CCtlTool();
    CCtlTool(const CCtlTool&) = delete;
    CCtlTool& operator=(const CCtlTool&) = delete;

    // Runs the command line (arguments[0] is the program) and returns the exit status.
    int Run(const QStringList& arguments);
    // Ctrl+C, from any thread (CCtlSession::OnRequest says what it does).
    void Interrupt();

    // Scales the fixed pauses of a transfer batch; 1 (real time) by default,
    // smaller in tests.
    void SetDelayScale(double scale) { m_delayScale = scale; }
    // The environment read for VQ8_HOST and VQ8_PORT (the process's by default).
    void SetEnvironment(const QProcessEnvironment& environment) { m_session.SetEnvironment(environment); }
    // The program a run for one of several generators starts (this program by default).
    void SetWorkerProgram(const QString& program) { m_strWorkerProgram = program; }

private:
    // The report's command and the keys its document always holds.
    void SetReportCommand();
    void WatchRequests();
    int RunFleet();
    int RunOnGenerator(CCtlCommand& command);
    // 1 when connected, 0 after a failure, -1 for bad usage.
    int Connect();
    bool OpenTrace();
    int Finish(int status);
    static QString Now();

    CConsoleHost& m_host;
    CCtlArgs m_args;
    CCtlReport m_report;
    CCtlSession m_session;
    std::unique_ptr<CSimServer> m_pDemo;
    std::unique_ptr<CVQComm> m_pComm;
    std::unique_ptr<CInterruptWatcher> m_pWatcher;
    std::unique_ptr<QFile> m_pTraceFile;
    std::unique_ptr<CWireTrace> m_pTrace;
    double m_delayScale = 1.0;
    bool m_bConnected = false; // the generator answered at the start
    QString m_strWorkerProgram;
    // The command ends by Ctrl+C or SIGTERM as a matter of course.
    bool m_bEndsOnRequest = false;
};
