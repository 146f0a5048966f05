#pragma once

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTime>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "link/cmdsocket.h"
#include "link/downloadfilelist.h"
#include "link/fileinfo.h"
#include "link/linkhost.h"
#include "link/progresssink.h"

class QFile;
class QFileDevice;
class QObject;

// TCP port of the generator: the command channel and every transfer connection.
inline constexpr quint16 COMMAND_PORT = 5000;
// A reply wait fails when no byte of the reply arrives for this long.
inline constexpr int REPLY_WATCHDOG_MS = 2000;
// A connect attempt gives up after this long.
inline constexpr int CONNECT_TIMEOUT_MS = 5000;
// Disconnect pauses this long after closing the socket.
inline constexpr int DISCONNECT_PAUSE_MS = 100;
// The identity query.
inline constexpr char IDENTITY_QUERY[] = "*idn?";
// The error-queue query as it goes on the wire.
inline constexpr char ERROR_QUEUE_QUERY_LINE[] = "stat:que:next?\r\n";
// A reading of the error queue gives up after this many entries.
inline constexpr int MAX_QUEUE_READS = 100;
// Entries read that belonged to nothing the user did are kept for the error
// list, the newest this many.
inline constexpr int MAX_KEPT_ERRORS = 1000;

// The line ReadReply read last (CR and NUL dropped, LF removed).
extern QString g_replyLine;

// Catalog state shared by every reader of a catalog (always the GUI thread).
extern QByteArray g_catalogText; // the reply as it came (Latin-1), until the walk ends
extern qsizetype g_catalogPos;   // cursor into g_catalogText: the unconsumed part starts here
extern double g_catalogUsed;
extern double g_catalogFree;
extern int g_catalogCount;
extern qint64 g_catalogBytes;

// The device link: the command channel to the generator, the catalog cursor and
// the operations that change the generator's file system. Operations return 1
// on success and 0 on failure; the user has been told through the host where a
// message applies.
// --- transfers ---
// Data moves in chunks of this size.
inline constexpr qint64 TRANSFER_CHUNK = 32768;
// A transfer connection on which no byte moves for this long fails.
inline constexpr int TRANSFER_IDLE_MS = 30000;
// The remaining TS-file allowance of the generator (never asked).
inline constexpr int TS_FILE_ALLOWANCE = 12345678;
// A block header carries at most nine length digits.
inline constexpr qint64 MAX_DOWNLOAD_SIZE = 999999999;

// The transfer connection of the worker of the moment, and the Cancel flag.
// Cancel may come from the GUI thread at any time (CVQComm::CancelTransfer).
extern CCmdSocket g_transferSocket;
extern std::atomic<int> g_transferCancelled;

class CVQComm final
{
public:
    explicit CVQComm(CLinkHost* host = nullptr);
    ~CVQComm();
    CVQComm(const CVQComm&) = delete;
    CVQComm& operator=(const CVQComm&) = delete;

    void SetLinkHost(CLinkHost* host) { m_pHost = host; }
    CLinkHost* LinkHost() const { return m_pHost; }

    // --- command channel ---
    int Connect();
    // Opens the channel to `host` and makes it the link's generator. An open
    // channel stays open, and in use, until the new one is: when `host`
    // cannot be reached the link keeps its generator (after the message).
    int ConnectTo(const QString& host) { return ConnectTo(host, m_port); }
    // The same on another port, which becomes the link's once it answers.
    int ConnectTo(const QString& host, quint16 port);
    // Connect, for a channel lost while the views show the generator: a
    // failure is told as Connect tells it, but the views are not emptied.
    int Reconnect();
    int Disconnect();
    int IsConnected() const { return m_connected; }
    QString GetHost() const { return m_host; }
    void SetHost(const QString& host) { m_host = host; }
    quint16 GetPort() const { return m_port; }
    void SetPort(quint16 port) { m_port = port; }

    int SendCommand(const QString& command);
    int SendRaw(const QByteArray& bytes);
    const QString& ReadReply();
    // ReadReply for a line used as bytes (a catalog): no text is made of it.
    // Empty on failure, after the message.
    bool ReadReplyLine(QByteArray& line);
    // Cancels a reply wait in progress (from any thread); does nothing otherwise.
    void AbortBlockingCall();
    // Shows the text for the calling thread's last socket error, followed by
    // `reason` when one is given.
    void ReportSocketError(const QString& reason = QString());
    // The error beep, then the message box; a remark (the information icon)
    // comes without the beep.
    int ShowError(const QString& text, int style = MB_OK | MB_ICONSTOP);
    int ShowErrorId(int id, int style = MB_OK | MB_ICONSTOP);
    void ClearViews();
    int QueryIdentity();

    // --- error queue ---
    enum class QueueEnd
    {
        Clear,      // the code-0 entry came
        Unreadable, // a line that does not start with a number ended the reading
        NoReply,    // a send or receive failed, or the reply was empty
        TooLong,    // MAX_QUEUE_READS entries and no end
    };
    // Reads "stat:que:next?" until the code-0 entry, an empty reply, a line
    // that does not start with a number, or MAX_QUEUE_READS entries. The
    // entries before the last line go to `entries`, the line that ended the
    // reading to `last` (empty when there was none).
    QueueEnd ReadErrorQueue(QStringList& entries, QString* last = nullptr);
    // The code of a queue line, read as the C library reads an integer (no
    // digits read as 0); `numeric` tells whether there were digits.
    static int QueueCode(QStringView line, bool* numeric = nullptr);
    // The generator's text of a queue line: the quoted part, else the line.
    static QString QueueText(const QString& line);
    // A queue entry the link took from the generator in this run, and what
    // the program did with it. The generator forgets what has been read, so
    // the error list shows these after the queue as it is now.
    struct CTakenError
    {
        QString m_strEntry;
        QString m_strNote; // e.g. `shown for "/F0:/USER/A"`
        QTime m_time;
    };
    // Every entry taken in this run, oldest first (the newest MAX_KEPT_ERRORS).
    const QList<CTakenError>& TakenErrors() const { return m_takenErrors; }
    void KeepErrors(const QStringList& entries, const QString& note);
    // Reads the queue, when something may have been queued since it was
    // last read to its end, and keeps what it finds (not shown: it belongs
    // to nothing the user does next).
    void DrainEarlierErrors();
    // Reads the queue after a transfer batch: the entries the batch's Cancel
    // caused itself (a block cut short, one per cancelled file) are taken off
    // without a word; the others go to `entries`, to be shown.
    QueueEnd ReadErrorsAfterBatch(QStringList& entries);
    // The queue entries of the last change the generator refused (one per
    // line), empty when it took the last change.
    const QString& LastRefusal() const { return m_strLastRefusal; }
    // Whether a refusal is also shown as a message (the default); a caller
    // that words refusals itself reads LastRefusal instead.
    void SetShowRefusals(bool show) { m_bShowRefusals = show; }

    // Reads (listings, the look at the queue before a change) that fail
    // because the generator closed the channel (it restarted, say) open a
    // fresh channel and ask once more before anything is said. Off by
    // default: the command-line tool reports every failure as it happens.
    void SetRetryLostReads(bool retry) { m_bRetryLostReads = retry; }

    // --- catalog ---
    int ReadCatalog(const QString& path, CFileInfo& first);
    // The walk of a catalog reply that ReadCatalog has read: the memory
    // figures, then the first entry (link/catalogreply.h has the grammar).
    int BeginCatalog(const QByteArray& reply, CFileInfo& first);
    int NextCatalogEntry(CFileInfo& entry);
    void EndCatalog();
    // How the last listing ended. Only Complete is the folder: the figures
    // alone are an empty one.
    enum class CatalogEnd
    {
        NoReply,    // nothing came (a failed command or an empty reply)
        Unreadable, // the memory figures could not be read: no listing at all
        CutShort,   // text that is not a whole entry came after the figures or
                    // after an entry (a cut, an unquoted name, trailing text);
                    // the entries before it were delivered
        Complete,
    };
    CatalogEnd LastCatalogEnd() const { return m_eCatalogEnd; }
    // The bytes of the files of the last listing and the memory figures its
    // reply gave (0 and 0 when they were unreadable; MemoryUsed keeps the last
    // good pair).
    qint64 LastCatalogBytes() const;
    double LastCatalogUsed() const { return m_dLastCatalogUsed; }
    double LastCatalogFree() const { return m_dLastCatalogFree; }
    // About how many entries the catalog text still to be walked holds (to
    // reserve room for them).
    qsizetype EstimatedCatalogEntries() const;
    // The last reply line read, empty after a failed read. A catalog's is
    // kept only when it could not be read (for the message that says so).
    QString LastReply() const;
    // Changes to `path` (always, even when empty), asks for its catalog and
    // returns the reply's bytes, without touching the catalog cursor. Empty
    // when a command failed.
    QByteArray QueryCatalogReply(const QString& path);
    static QString FormatSize(double bytes);
    QString GetRootLabel() const;
    void UpdateStatusText();
    double MemoryUsed() const { return m_memoryUsed; }
    double MemoryFree() const { return m_memoryFree; }
    void SetMemoryFigures(double used, double freeBytes)
    {
        m_memoryUsed = used;
        m_memoryFree = freeBytes;
    }

    // --- remote file operations ---
    // Each returns 0 after telling the user when the line could not be sent
    // or the generator refused it (its error queue says so).
    int MakeFolder(const QString& path);
    int RemoveFolder(const QString& path);
    int DeleteAll(const QString& path);
    int DeleteEntry(const QString& path);
    int MoveEntry(const QString& source, const QString& destination);
    int CopyEntry(const QString& source, const QString& destination);
    int IsFolderEmpty(const QString& path);

    // A device path as a quoted command argument: `"path"`. Returns an empty
    // text and tells the user when the path cannot travel safely (a double
    // quote, a control character or a character the wire cannot carry).
    QString QuotedPath(const QString& path);
    // Names the user gives (a new name, the name of a PC file to send): also
    // no comma, "/" or "\\", not empty, "." or "..". IsValidNewName only
    // answers; CheckNewName tells the user when it refuses.
    static bool IsValidNewName(const QString& name);
    bool CheckNewName(const QString& name);

    // --- transfers (the GUI thread, except the worker functions) ---
    // Upload: generator to PC.
    void ClearUploadQueue();
    void SetUploadFolder(const QString& folder) { m_uploadFolder = folder; }
    // The entry is copied.
    void QueueUpload(const CFileInfo* entry, const QString& pcPath);
    int StartUpload();
    int UploadNext();
    // `suffix` follows the file's name in the progress display ("   [2/5]").
    int UploadFile(const QString& devicePath, const QString& pcPath, quint64 size,
                   const QString& suffix = QString());
    // "mmem:data? "path"" and CR LF; empty (after a message) for an unsafe path.
    QString MakeUploadCommand(const QString& devicePath);

    // Download: PC to generator.
    // A name already in the target folder: asked about (the default), or
    // sent again without a question, which replaces the generator's file.
    void SetReplaceExisting(bool replace) { m_bReplaceExisting = replace; }
    int PrepareDownload(const QStringList& pcPaths, const QString& targetFolder);
    int MakeDownloadHeader(CDownloadFile& file, const QString& targetFolder);
    int DownloadNext(int wParam);
    int DownloadFile(CDownloadFile* file, const QString& targetFolder, const QString& suffix);
    int StatPCFile(CDownloadFile& file);
    // "#<digits><size>": the block header for `size` data bytes.
    static QByteArray BlockHeader(quint64 size);

    // A file of the last download batch that the generator should now hold.
    struct CSentFile
    {
        QString m_strFolder;
        QString m_strName;
        qint64 m_nSize = 0;
    };
    // The files of the last download batch whose data all went out (not the
    // packages, which the generator files under names of its own); taking
    // them empties the record.
    QList<CSentFile> TakeSentFiles();
    // True from the start of a batch until the link reconnects after it (the
    // command channel is closed meanwhile, but the link is not idle).
    bool IsInBatch() const { return m_bInBatch; }
    // The transfer chain is about to reconnect after the batch.
    void BatchFinished() { m_bInBatch = false; }

    // Cancel of the progress display; any thread, any moment of a batch.
    void CancelTransfer();
    // Waits for the worker of the last file to end (it has posted its last
    // message or is about to). The chain calls it when a batch is over.
    void JoinTransferThread();
    bool IsTransferRunning() const;
    // The program is closing: a running worker is cancelled and waited for,
    // its questions answered Cancel unseen. Its receivers (the file list,
    // the progress display) may go once this has returned.
    void EndTransfers();

    // A transfer connection that cannot be made ends the batch (the files
    // after it are not started) instead of the next file trying again: for
    // callers that report a lost generator once. Off by default.
    void SetEndBatchOnConnectFailure(bool end) { m_bEndBatchOnConnectFailure = end; }

    // Uploads wait before every chunk they receive (one chunk per 100 ms),
    // as the generator has always been read; off for generators that need no pause.
    void SetUploadPacing(bool paced) { m_bUploadPacing = paced; }
    bool UploadPacing() const { return m_bUploadPacing; }

    // Test and benchmark settings; the defaults are the real behaviour.
    void SetTransferIdleMs(int ms) { m_transferIdleMs = ms; }
    void SetReplyLineLimits(qint64 baseMs, qint64 ceilingMs, qint64 maxBytes);
    // Scales every fixed pause of a batch (chain waits, the pause after a
    // closed connection, the upload's pacing) for fast tests; 1 is real time.
    void SetDelayScale(double scale) { m_delayScale = scale; }
    double DelayScale() const { return m_delayScale; }
    int ScaledDelay(int ms) const;
    const CDownloadFileList& DownloadList() const { return m_downloadList; }

private:
    enum class TransferOutcome
    {
        None,
        Success,
        Failure,
        Cancelled
    };
    void UploadThreadProc();
    TransferOutcome ReceiveUploadData(QFileDevice& file);
    // "Can not write to the file." with the system's reason and the PC path.
    void ShowWriteError(const QFileDevice& file);
    void EndUploadThread(int success);
    void DownloadThreadProc();
    TransferOutcome SendDownloadData(QFile& file);
    void EndDownloadThread(int flag);
    void StartTransferThread(void (CVQComm::*proc)());
    // Creates the batch's progress sink and finds the chain; false without a chain.
    bool BeginBatch();
    void EndBatch(int wParam);
    // Sleeps on the worker thread in short slices; false as soon as Cancel comes.
    static bool PauseTransfer(int ms);
    // The text of a failed wait on the transfer connection after it was made
    // (the calling thread's last socket error): a generator that went silent
    // for the idle time has stopped sending (`generatorSends`) or receiving,
    // said with the file's name; any other failure is the socket error's text.
    QString TransferErrorText(bool generatorSends) const;
    // The text of a worker's failed connect: "Cannot create Socket." when the
    // system gave no socket, else the socket error's.
    static QString TransferConnectErrorText();
    // Closes g_transferSocket so that a concurrent Cancel never shuts down a
    // descriptor that has been reused.
    static void CloseTransferSocket();

    QString m_uploadFolder;
    // Copies: the entries the caller queued may go before the batch ends.
    QList<CFileInfo> m_uploadEntries;
    QStringList m_uploadTargets;
    qsizetype m_uploadEntryPos = 0;
    qsizetype m_uploadTargetPos = 0;
    QPointer<CProgressSink> m_pProgressDlg;
    // The batch's sink as the worker sees it; set before each worker starts.
    CProgressSink* m_pWorkerSink = nullptr;
    QObject* m_pWorkerNotify = nullptr;
    QPointer<QObject> m_pNotifyWnd;
    // Written on the GUI thread before a worker starts, read by the worker.
    QByteArray m_transferCommand;
    quint64 m_transferSize = 0;
    QString m_localPath;
    // The file as the worker's messages name it (the side it comes from).
    QString m_transferName;
    std::atomic<int> m_aborted{0};
    CDownloadFileList m_downloadList;
    // The file of the running download worker, and whether all its data went out.
    CSentFile m_currentDownload;
    std::atomic<bool> m_bDownloadComplete{false};
    QList<CSentFile> m_sentFiles;
    bool m_bInBatch = false;
    std::thread m_worker;
    std::atomic<bool> m_workerRunning{false};
    int m_transferIdleMs = TRANSFER_IDLE_MS;
    double m_delayScale = 1.0;
    bool m_bUploadPacing = true;
    bool m_bReplaceExisting = false;
    bool m_bEndBatchOnConnectFailure = false;

private:
    // A socket for the command channel, with the host's wait hook.
    std::unique_ptr<CCmdSocket> MakeChannelSocket();
    int ConnectChannel(bool clearViewsOnFailure);
    // Opens the socket for an open channel; false after the connect message.
    bool OpenChannel(bool clearViewsOnFailure = true);
    // Sends one change after draining what was queued before, then reads the
    // queue: false when the line was empty, could not be sent or was refused
    // (the refusal shown with `subject`).
    bool SendChange(const QString& line, const QString& subject, const QString& detail = QString());
    // `detail`: a line under the refusal that names what the change was to
    // make (the new name of a rename, the target of a copy).
    bool CheckRefusal(const QString& subject, const QString& detail);
    // Runs `read`; when the channel turned out to be gone and retries are on,
    // opens a fresh one without a word and runs `read` once more.
    int RetryLostRead(const std::function<int()>& read);
    // Opens the channel again after it was lost in a read; false after the
    // connect message.
    bool ReopenLostChannel();
    int ReadCatalogOnce(const QString& path, CFileInfo& first);
    QByteArray QueryCatalogReplyOnce(const QString& path);
    // Takes the Cancel's own entries (see ReadErrorsAfterBatch) out of `entries`.
    void DropCancelConsequences(QStringList& entries);

    CLinkHost* m_pHost = nullptr;
    QString m_host;
    quint16 m_port = COMMAND_PORT;
    int m_connected = 0;
    double m_memoryUsed = 0.0;
    double m_memoryFree = 0.0;
    qint64 m_nLineBaseMs = REPLY_LINE_BASE_MS;
    qint64 m_nLineCeilingMs = REPLY_LINE_CEILING_MS;
    qint64 m_nLineMaxBytes = REPLY_LINE_MAX_BYTES;
    std::unique_ptr<CCmdSocket> m_socket;
    // The reply of the last query failed: its bytes may still come, so the
    // next command goes on a fresh connection.
    bool m_bReopen = false;
    // Something may have been queued since the queue was last read to its end.
    bool m_bQueueUnread = true;
    // A listing that ended as `end`: the cursor is emptied, the reply kept for LastReply.
    void EndUnread(CatalogEnd end);
    // The target folder's catalog for the download pre-check: the memory
    // figures, and the file names (upper case) into `files`. False, after a
    // message, when it could not be read whole.
    bool ReadTargetCatalog(const QString& folder, QSet<QString>& files);

    CatalogEnd m_eCatalogEnd = CatalogEnd::NoReply;
    QByteArray m_unreadCatalog;
    double m_dLastCatalogUsed = 0.0;
    double m_dLastCatalogFree = 0.0;
    QList<CTakenError> m_takenErrors;
    QString m_strLastRefusal;
    bool m_bShowRefusals = true;
    bool m_bRetryLostReads = false;
    // Inside the first try of a read: a lost channel is noted, not reported.
    bool m_bQuietLoss = false;
    int m_nQuietLossCode = 0; // the socket error of the lost channel, 0 for none
    // Blocks of the last batch that its Cancel cut short: the generator
    // queues one refusal for each, which is the Cancel's doing, not an error.
    std::atomic<int> m_nCutBlocks{0};
};
