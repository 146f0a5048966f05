#pragma once

#include "link/devicescan.h"

#include <QProcessEnvironment>

class CConsoleHost;
class CCtlArgs;
class CCtlReport;

// vq8ctl scan: finds the generators in the ranges given (by default the PC's
// own networks) with the link's scan, and lists them for people, for --hosts
// and for --json.
class CCtlScan final
{
public:
    CCtlScan(CConsoleHost& host, const CCtlArgs& args, CCtlReport& report,
             const QProcessEnvironment& environment);
    CCtlScan(const CCtlScan&) = delete;
    CCtlScan& operator=(const CCtlScan&) = delete;

    // The exit status.
    int Run();
    // Ctrl+C, from any thread: the scan stops at once.
    void Interrupt();

private:
    void Print(const QList<CScanResult>& results);

    CConsoleHost& m_host;
    const CCtlArgs& m_args;
    CCtlReport& m_report;
    QProcessEnvironment m_environment;
    CDeviceScan m_scan;
};
