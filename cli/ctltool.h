#pragma once

#include "ctlargs.h"
#include "fileinfo.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class CConsoleHost;
class CVQComm;
namespace vqsim {
class SimServer;
}

// Exit statuses of vq8ctl.
enum : int
{
    CTL_OK = 0,     // all done
    CTL_FAILED = 1, // an operation failed or the generator reported an error
    CTL_USAGE = 2,  // bad usage
};

// vq8ctl: runs one command line against the generator through the device
// link, with the console host in place of the desktop program's windows.
class CCtlTool
{
public:
    explicit CCtlTool(CConsoleHost& host);
    ~CCtlTool();
    CCtlTool(const CCtlTool&) = delete;
    CCtlTool& operator=(const CCtlTool&) = delete;

    // Runs the command line (arguments[0] is the program) and returns the exit status.
    int Run(const QStringList& arguments);
    // Ctrl+C, delivered through the event loop: cancels a transfer in progress.
    void Interrupt();

    // Scales the fixed pauses of a transfer batch; 1 (real time) by default,
    // smaller in tests.
    void SetDelayScale(double scale) { m_delayScale = scale; }

    // The generator address the desktop program has stored, else its default.
    static QString StoredHost();

private:
    struct Listing
    {
        QString folder;
        QList<CFileInfo> entries;
        qint64 bytes = 0;
        double used = 0.0;
        double freeBytes = 0.0;
    };
    enum class Found
    {
        Yes,
        No,
        Failed,
    };

    int RunCommand();
    int Connect();

    int CmdIdn();
    int CmdLs();
    int CmdDf();
    int CmdMkdir();
    int CmdRmdir();
    int CmdRm();
    int CmdMoveCopy(bool copy);
    int CmdErrors();
    int CmdPut();
    int CmdGet();

    // The catalog of `folder`; false after a message when it could not be read
    // or the generator refused the folder.
    bool ReadListing(const QString& folder, Listing& listing);
    Found LookUp(const QString& path, CFileInfo* entry = nullptr);
    // CTL_OK when the entry exists; otherwise the failure, after its message.
    int RequireEntry(const QString& path, CFileInfo* entry = nullptr);
    // Reads the queue up to its code-0 entry; false after a message when it
    // could not be read to the end.
    bool ReadErrorQueue(QStringList& errors, QString* last = nullptr);
    // After a change: prints every error; CTL_FAILED when there was one.
    int CheckErrorQueue();
    // Errors left from before this run are shown as such, not blamed on it.
    bool DrainEarlierErrors();
    int Refuse(const QString& text);
    // Runs one batch that `start` begins through the engine, until the chain
    // says it has ended. CTL_FAILED when it did not start, failed or was
    // cancelled; the command channel is open again afterwards.
    int RunBatch(const std::function<int()>& start);

    CConsoleHost& m_host;
    CCtlArgs m_args;
    std::unique_ptr<vqsim::SimServer> m_pDemo;
    std::unique_ptr<CVQComm> m_pComm;
    double m_delayScale = 1.0;
    bool m_transferring = false;
    bool m_interrupted = false;
};
