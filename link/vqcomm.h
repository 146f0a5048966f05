#pragma once

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <thread>

#include "cmdsocket.h"
#include "downloadfilelist.h"
#include "fileinfo.h"
#include "linkhost.h"
#include "progresssink.h"

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

// The line ReadReply read last (CR and NUL dropped, LF removed).
extern QString g_replyLine;

// Catalog state shared by every reader of a catalog (always the GUI thread).
extern QString g_catalogText;   // the reply not yet consumed
extern qsizetype g_catalogPos;  // cursor into g_catalogText: the unconsumed part starts here
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
    int Disconnect();
    int IsConnected() const { return m_connected; }
    QString GetHost() const { return m_host; }
    void SetHost(const QString& host) { m_host = host; }
    quint16 GetPort() const { return m_port; }
    void SetPort(quint16 port) { m_port = port; }

    int SendCommand(const QString& command);
    int SendRaw(const QByteArray& bytes);
    const QString& ReadReply();
    // Cancels a reply wait in progress (from any thread); does nothing otherwise.
    void AbortBlockingCall();
    // Shows the text for the calling thread's last socket error.
    void ReportSocketError();
    int ShowError(const QString& text, int style = MB_OK | MB_ICONSTOP);
    int ShowErrorId(int id, int style = MB_OK | MB_ICONSTOP);
    void ClearViews();
    int QueryIdentity();

    // --- catalog ---
    int ReadCatalog(const QString& path, CFileInfo& first);
    int NextCatalogEntry(CFileInfo& entry);
    void EndCatalog();
    static CFileInfo ParseCatalogEntry(QStringView text);
    QString QueryCatalogText(const QString& path);
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
    static int IsValidNewName(const QString& name);
    int CheckNewName(const QString& name);

    // --- transfers (the GUI thread, except the worker functions) ---
    // Upload: generator to PC.
    void ClearUploadQueue();
    void SetUploadFolder(const QString& folder) { m_uploadFolder = folder; }
    // `entry` must stay alive until the batch has ended.
    void QueueUpload(const CFileInfo* entry, const QString& pcPath);
    int StartUpload();
    int UploadNext();
    int UploadFile(const QString& devicePath, const QString& pcPath, quint64 size);
    // "mmem:data? "path"" and CR LF; empty (after a message) for an unsafe path.
    QString MakeUploadCommand(const QString& devicePath);

    // Download: PC to generator.
    int PrepareDownload(const QStringList& pcPaths, const QString& targetFolder);
    int MakeDownloadHeader(CDownloadFile& file, const QString& targetFolder);
    int DownloadNext(int wParam);
    int DownloadFile(CDownloadFile* file, const QString& targetFolder, const QString& suffix);
    int StatPCFile(CDownloadFile& file);
    // "#<digits><size>": the block header for `size` data bytes.
    static QByteArray BlockHeader(quint64 size);

    // Cancel of the progress display; any thread, any moment of a batch.
    void CancelTransfer();
    // Waits for the worker of the last file to end (it has posted its last
    // message or is about to). The chain calls it when a batch is over.
    void JoinTransferThread();
    int IsTransferRunning() const;

    // Test and benchmark settings; the defaults are the real behaviour.
    void SetTransferIdleMs(int ms) { m_transferIdleMs = ms; }
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
    void EndUploadThread(int success);
    void DownloadThreadProc();
    TransferOutcome SendDownloadData(QFile& file);
    void EndDownloadThread(int flag);
    void StartTransferThread(void (CVQComm::*proc)());
    // Creates the batch's progress sink and finds the chain; 0 without a chain.
    int BeginBatch();
    void EndBatch(int wParam);
    // Sleeps on the worker thread in short slices; 0 as soon as Cancel comes.
    static int PauseTransfer(int ms);
    // Closes g_transferSocket so that a concurrent Cancel never shuts down a
    // descriptor that has been reused.
    static void CloseTransferSocket();

    QString m_uploadFolder;
    QList<const CFileInfo*> m_uploadEntries;
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
    std::atomic<int> m_aborted{0};
    CDownloadFileList m_downloadList;
    std::thread m_worker;
    std::atomic<bool> m_workerRunning{false};
    int m_transferIdleMs = TRANSFER_IDLE_MS;
    double m_delayScale = 1.0;

private:
    CLinkHost* m_pHost = nullptr;
    QString m_host;
    quint16 m_port = COMMAND_PORT;
    int m_connected = 0;
    double m_memoryUsed = 0.0;
    double m_memoryFree = 0.0;
    std::unique_ptr<CCmdSocket> m_socket;
};
