// Upload: files from the generator to the PC, one worker per file.
#include "vqcomm.h"

#include "blockheader.h"
#include "socketerror.h"
#include "stringtable.h"
#include "vqevents.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStorageInfo>
#include <QThread>

#include <system_error>
#include <vector>

using namespace Qt::StringLiterals;

namespace {
constexpr int kPacingMs = 100;       // before every data receive
constexpr int kDigitPauseMs = 20;    // between "#" and the digit count
constexpr int kFailurePauseMs = 500; // after a worker failed before its data phase

// The system's text for a free-space query that failed.
QString FreeSpaceErrorText(const QString& folder)
{
    const auto code = QFileInfo::exists(folder) ? std::errc::io_error : std::errc::no_such_file_or_directory;
    return QString::fromStdString(std::make_error_code(code).message());
}
} // namespace

void CVQComm::ClearUploadQueue()
{
    m_uploadEntries.clear();
    m_uploadTargets.clear();
    m_uploadEntryPos = 0;
    m_uploadTargetPos = 0;
}

void CVQComm::QueueUpload(const CFileInfo* entry, const QString& pcPath)
{
    m_uploadEntries.append(*entry);
    m_uploadTargets.append(pcPath);
}

int CVQComm::StartUpload()
{
    m_uploadEntryPos = 0;
    m_uploadTargetPos = 0;
    if (!BeginBatch()) {
        ClearUploadQueue();
        return 0;
    }
    CLinkEvent next(WM_UPLOAD_NEXT, 0);
    QCoreApplication::sendEvent(m_pNotifyWnd, &next);
    return 1;
}

int CVQComm::UploadNext()
{
    JoinTransferThread();
    if (m_uploadEntryPos >= m_uploadEntries.size() || m_uploadTargetPos >= m_uploadTargets.size() ||
        m_aborted || g_transferCancelled) {
        EndBatch(0);
        ClearUploadQueue();
        return 1;
    }
    const CFileInfo entry = m_uploadEntries.at(m_uploadEntryPos++);
    const QString target = m_uploadTargets.at(m_uploadTargetPos++);
    const QString devicePath = m_uploadFolder + u'/' + entry.GetName();
    if (UploadFile(devicePath, target, static_cast<quint64>(entry.GetSize())) != 1) {
        EndBatch(0);
        ClearUploadQueue();
        return 0;
    }
    return 1;
}

QString CVQComm::MakeUploadCommand(const QString& devicePath)
{
    const QString quoted = QuotedPath(devicePath);
    if (quoted.isEmpty())
        return QString();
    return u"mmem:data? "_s + quoted + u"\r\n"_s;
}

int CVQComm::UploadFile(const QString& devicePath, const QString& pcPath, quint64 size)
{
    // Where drive letters exist the target must name one; elsewhere it must be absolute.
#ifdef Q_OS_WIN
    const bool rooted = pcPath.contains(u':');
#else
    const bool rooted = QDir::isAbsolutePath(pcPath);
#endif
    if (!rooted) {
        ShowError(PathMessage(LoadStringResource(IDS_FILE_NOT_OPEN), pcPath));
        return 0;
    }

    const QString nativePath = QDir::toNativeSeparators(pcPath);
    const QChar separator = QDir::separator();
    const qsizetype lastSeparator = nativePath.lastIndexOf(separator);

    const QString targetFolder = QFileInfo(pcPath).absolutePath();
    const QStorageInfo storage(targetFolder);
    if (!storage.isValid() || !storage.isReady()) {
        ShowError(FreeSpaceErrorText(targetFolder), MB_OK | MB_ICONWARNING);
    } else if (static_cast<quint64>(std::max<qint64>(storage.bytesAvailable(), 0)) < size) {
        if (ShowError(u"Insufficient disk free space in PC, continue ?"_s, MB_OKCANCEL | MB_ICONQUESTION) !=
            IDOK)
            return 0; // the batch ends; the chain reopens the command channel
    }

    QString pcFolder = nativePath;
    QString fileName;
    if (lastSeparator > 0) {
        pcFolder = nativePath.left(lastSeparator);
        fileName = nativePath.mid(lastSeparator + 1);
    }
    QString deviceFolder = devicePath;
    const qsizetype lastSlash = devicePath.lastIndexOf(u'/');
    if (lastSlash > 0) {
        deviceFolder = devicePath.left(lastSlash);
        if (fileName.isEmpty())
            fileName = devicePath.mid(lastSlash + 1);
    }
    const QString caption = u"From 'VQ:"_s + deviceFolder + u"' to '"_s + pcFolder + u'\'';

    const QString command = MakeUploadCommand(devicePath);
    if (command.isEmpty())
        return 0;
    if (m_pProgressDlg)
        m_pProgressDlg->StartFile(fileName, size, caption, 1);

    m_transferCommand = command.toLatin1();
    m_transferSize = size;
    Disconnect();
    m_localPath = pcPath;
    StartTransferThread(&CVQComm::UploadThreadProc);
    return 1;
}

void CVQComm::UploadThreadProc()
{
    const auto failBeforeData = [this](bool report) {
        if (report && !g_transferCancelled)
            ReportTransferSocketError();
        EndUploadThread(0);
    };

    if (g_transferCancelled)
        return EndUploadThread(0);
    if (!g_transferSocket.Connect(m_host, m_port, CONNECT_TIMEOUT_MS))
        return failBeforeData(true);
    if (!g_transferSocket.Send(m_transferCommand, m_transferIdleMs))
        return failBeforeData(true);

    // The block header: "#", one digit n, n length digits. The byte count
    // comes from the catalog, not from the length digits.
    char header[BLOCK_HEADER_MAX_BYTES];
    qsizetype have = 0;
    for (;;) {
        const int size = BlockHeaderSize(QByteArrayView(header, have));
        if (size < 0) {
            if (!g_transferCancelled)
                ShowError(u"Error: Data format invalid."_s);
            return EndUploadThread(0);
        }
        if (size == have)
            break;
        if (have == 1 && !PauseTransfer(ScaledDelay(kDigitPauseMs)))
            return EndUploadThread(0); // between "#" and the digit count
        if (!g_transferSocket.ReceiveExactly(header + have, size - have, m_transferIdleMs))
            return failBeforeData(true);
        have = size;
    }

    TransferOutcome outcome = m_transferSize == 0 ? TransferOutcome::Success : TransferOutcome::None;
    {
        // Written beside the target and renamed over it only when complete: a
        // failed or cancelled copy never touches what was there. The
        // temporary file is gone when this scope ends.
        QSaveFile file(m_localPath);
        if (!file.open(QIODevice::WriteOnly)) {
            if (!g_transferCancelled)
                ShowError(PathMessage(LoadStringResource(IDS_FILE_NOT_OPEN), m_localPath));
            return EndUploadThread(0);
        }
        if (outcome == TransferOutcome::None)
            outcome = ReceiveUploadData(file);
        if (outcome == TransferOutcome::Success && !g_transferCancelled) {
            if (file.commit()) {
                if (m_pWorkerSink)
                    m_pWorkerSink->SetComplete();
            } else {
                ShowErrorId(IDS_CANNOT_WRITE_FILE);
                outcome = TransferOutcome::Failure;
            }
        } else {
            file.cancelWriting();
            if (outcome == TransferOutcome::Success)
                outcome = TransferOutcome::Cancelled; // Cancel on the last chunk still wins
        }
    }
    if (outcome != TransferOutcome::Success) {
        g_transferSocket.Shutdown();
        m_aborted = 1;
    }
    EndUploadThread(outcome == TransferOutcome::Success ? 1 : 0);
}

CVQComm::TransferOutcome CVQComm::ReceiveUploadData(QFileDevice& file)
{
    std::vector<char> buffer(static_cast<size_t>(TRANSFER_CHUNK));
    quint64 total = 0;
    for (;;) {
        if (m_bUploadPacing && !PauseTransfer(ScaledDelay(kPacingMs)))
            return TransferOutcome::Cancelled;
        const qint64 n = g_transferSocket.Receive(buffer.data(), TRANSFER_CHUNK, m_transferIdleMs);
        if (n <= 0) {
            // 0: the generator closed the connection before the whole file came.
            if (g_transferCancelled)
                return TransferOutcome::Cancelled;
            ReportSocketError();
            return TransferOutcome::Failure;
        }
        qint64 chunk = n;
        bool last = false;
        total += static_cast<quint64>(n);
        if (total >= m_transferSize) {
            chunk -= static_cast<qint64>(total - m_transferSize); // excess bytes are dropped
            last = true;
        }
        if (file.write(buffer.data(), chunk) != chunk) {
            ShowErrorId(IDS_CANNOT_WRITE_FILE);
            return TransferOutcome::Failure;
        }
        if (g_transferCancelled)
            return TransferOutcome::Cancelled;
        if (m_pWorkerSink)
            m_pWorkerSink->UpdateProgress(std::min(total, m_transferSize));
        if (last)
            return TransferOutcome::Success;
    }
}

void CVQComm::EndUploadThread(int success)
{
    CloseTransferSocket();
    if (!success)
        PauseTransfer(ScaledDelay(kFailurePauseMs));
    if (m_pWorkerNotify)
        QCoreApplication::postEvent(m_pWorkerNotify, new CLinkEvent(WM_UPLOAD_DONE, 0));
}
