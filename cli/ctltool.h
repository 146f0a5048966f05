#pragma once

#include "cli/ctlargs.h"
#include "cli/ctlreport.h"
#include "link/fileinfo.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class CConsoleHost;
class CInterruptWatcher;
class CSimServer;
class CVQComm;
class CWireTrace;
class QFile;
struct CSyncEntry;
struct CSyncStep;
struct CTransferRecord;

// Exit statuses of vq8ctl.
enum : int
{
    CTL_OK = 0,            // all done
    CTL_FAILED = 1,        // an operation failed or the generator reported an error
    CTL_USAGE = 2,         // bad usage
    CTL_INTERRUPTED = 130, // Ctrl+C (SIGINT), as Unix tools report it
};

// The refusal of a target directly in the root.
inline const QString CTL_ROOT_TARGET_TEXT = QStringLiteral("Nothing can be placed directly in \"/F0:/\".");

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
    // Ctrl+C, from any thread: during a transfer the first one cancels it
    // through the engine (the batch ends after the file under way, the
    // report follows); any other one cuts every wait at once.
    void Interrupt();

    // Scales the fixed pauses of a transfer batch; 1 (real time) by default,
    // smaller in tests.
    void SetDelayScale(double scale) { m_delayScale = scale; }
    // The environment read for VQ8_HOST and VQ8_PORT (the process's by default).
    void SetEnvironment(const QProcessEnvironment& environment) { m_environment = environment; }

    // The program a run for one of several generators starts (this program by default).
    void SetWorkerProgram(const QString& program) { m_strWorkerProgram = program; }

    // The generator address the desktop program has stored; empty when none is.
    static QString StoredHost();
    // The port: --port, else VQ8_PORT, else COMMAND_PORT, and in `from` which;
    // 0 after a message when VQ8_PORT is no port.
    static quint16 ResolvePort(const CCtlArgs& args, const QProcessEnvironment& environment,
                               CConsoleHost& host, QString* from);

private:
    struct Listing
    {
        QString folder;
        QList<CFileInfo> entries;
        qint64 bytes = 0;
        double used = 0.0;
        double freeBytes = 0.0;
        const CFileInfo* Find(const QString& name) const;
    };
    enum class Found
    {
        Yes,
        No,
        Failed,
    };
    // An entry an argument named, by its path.
    struct Match
    {
        QString path;
        CFileInfo entry;
    };
    // One file of a copy either way.
    struct CopyFile
    {
        QString source;
        QString target;
        QString folder; // the generator folder of the batch it goes in
        qint64 size = 0;
        bool existed = false; // put: a file of that name was there
        qint64 existingSize = -1;
        CFileInfo entry; // get: the generator's entry
        QString outcome;
        qint64 transferred = 0;
        bool started = false;
        bool complete = false;
    };
    struct CopyPlan
    {
        QStringList folders; // to make, parents first
        QList<CopyFile> files;
        QStringList problems;
        int madeFolders = 0; // the first this many of `folders` have been made
    };

    int RunCommand();
    // A command that needs no link (scan, several generators) with its own
    // handling of Ctrl+C.
    int RunApart(const std::function<int()>& run, const std::function<void()>& interrupt);
    int Connect();
    bool OnInterrupt(bool signalled);
    bool Interrupted() const { return m_interrupts > 0; }
    bool OpenTrace();
    int Finish(int status);

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
    int CmdSync();

    // The catalog of `folder`; false after a message when it could not be read
    // or the generator refused the folder (told as the command on `about`,
    // by default the folder).
    bool ReadListing(const QString& folder, Listing& listing, const QString& about = QString());
    // The same, read once per folder for the command.
    const Listing* CachedListing(const QString& folder);
    Found LookUp(const QString& path, CFileInfo* entry = nullptr);
    // CTL_OK when the entry exists; otherwise the failure, after its message.
    int RequireEntry(const QString& path, CFileInfo* entry = nullptr);
    // The entries an argument names: a path, or a pattern in its last name
    // matched against one listing. False after a message; with `missingOk`
    // nothing found is no failure.
    bool Resolve(const QString& argument, QList<Match>& matches, bool missingOk);
    // Reads the queue up to its code-0 entry; false after a message when it
    // could not be read to the end.
    bool ReadErrorQueue(QStringList& errors, QString* last = nullptr);
    // After a change or a listing: prints what the generator refused of the
    // subject; CTL_FAILED when it did.
    int CheckErrorQueue();
    // Errors left from before this run are shown as such, not blamed on it.
    bool DrainEarlierErrors();
    int Refuse(const QString& text);
    // Runs one change through the link under its subject ("mkdir", path):
    // CTL_OK, or CTL_FAILED after the generator's refusal in the tool's words.
    int Change(const QString& action, const QString& path, const QString& target,
               const std::function<int()>& run);
    void ShowRefusal(const QStringList& entries);
    // Runs one batch that `start` begins through the engine, until the chain
    // says it has ended. CTL_FAILED when it did not start, failed or was
    // cancelled; the command channel is open again afterwards.
    int RunBatch(const std::function<int()>& start);

    // put and get, file by file and for trees.
    bool PlanPut(const QStringList& sources, const QString& folder, CopyPlan& plan);
    void PlanPutFolder(const QString& pcFolder, const QString& deviceFolder, bool exists, int depth,
                       QStringList& seen, CopyPlan& plan);
    void PlanPutFile(const QString& pcPath, const QString& deviceFolder, const Listing* listing,
                     CopyPlan& plan);
    bool PlanGet(const QList<Match>& sources, const QString& target, bool intoFolder, CopyPlan& plan);
    void PlanGetFolder(const QString& deviceFolder, const QString& pcFolder, int depth, CopyPlan& plan);
    int ConfirmKinds(const QList<CopyFile>& files);
    // `replace`: a file of the same name is sent again (put --force).
    int SendPlan(CopyPlan& plan, bool replace);
    int FetchPlan(CopyPlan& plan, bool toStandardOutput);
    void ApplyRecords(QList<CopyFile>& files, const QList<qsizetype>& run,
                      const QList<CTransferRecord>& records);
    void PrintPlan(const CopyPlan& plan, bool put);
    int ReportFiles(const QList<CopyFile>& files, const QString& success, int status);
    // The message when the PC disk that `target` goes to (or would go to) has
    // less than `bytes` free; empty when it has room.
    static QString PcRoomProblem(const QString& target, qint64 bytes);

    // sync, either way.
    int SyncToGenerator(const QString& pcFolder, const QString& folder);
    int SyncToPc(const QString& folder, const QString& pcFolder);
    // The entries below a generator folder (its sub-folders' with -r), and
    // the files' catalog entries, by path below it. False after a message.
    bool ListDeviceTree(const QString& folder, QList<CSyncEntry>& entries, QHash<QString, CFileInfo>& files);
    // False after a message for each clash or name the generator would not take.
    bool CheckSyncSteps(const QList<CSyncStep>& steps, const QString& sendingRoot, bool toGenerator);
    int PrintSyncPlan(const QList<CSyncStep>& steps, CopyPlan& plan, const QString& receivingRoot,
                      bool toGenerator);
    // The copies of the steps; `files` are the generator's entries (towards the PC).
    CopyPlan SyncCopyPlan(const QList<CSyncStep>& steps, const QString& pcFolder, const QString& folder,
                          bool toGenerator, const QHash<QString, CFileInfo>& files);
    // After the copies: the lines of what was done, --verify, the report.
    int EndSync(const QList<CSyncStep>& steps, CopyPlan& plan, int status, bool toGenerator);
    // Fetches each file copied once more and compares it with the PC's copy;
    // one that differs gets the outcome "differs". CTL_FAILED after a message
    // for each that differs or could not be read.
    int VerifyCopies(QList<CopyFile>& files, bool sent);

    CConsoleHost& m_host;
    CCtlArgs m_args;
    CCtlReport m_report;
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
    std::unique_ptr<CSimServer> m_pDemo;
    std::unique_ptr<CVQComm> m_pComm;
    std::unique_ptr<CInterruptWatcher> m_pWatcher;
    std::unique_ptr<QFile> m_pTraceFile;
    std::unique_ptr<CWireTrace> m_pTrace;
    QHash<QString, Listing> m_listings;
    QString m_strSubject; // what the generator is asked, for its refusals
    QElapsedTimer m_transferClock;
    qint64 m_transferMs = 0;
    double m_delayScale = 1.0;
    QString m_strWorkerProgram;
    std::function<void()> m_apartInterrupt;
    std::atomic<bool> m_transferring{false};
    std::atomic<bool> m_aborting{false};
    std::atomic<int> m_interrupts{0};
};
