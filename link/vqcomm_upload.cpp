// Upload: files from the generator to the PC, one worker per file.
#include "link/vqcomm.h"

#include "link/blockheader.h"
#include "link/pcpath.h"
#include "link/socketerror.h"
#include "link/stringtable.h"
#include "link/vqevents.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QStorageInfo>
#include <QThread>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

using namespace Qt::StringLiterals;

namespace {
constexpr int kPacingMs = 100;       // before every data receive
constexpr int kDigitPauseMs = 20;    // between "#" and the digit count
constexpr int kFailurePauseMs = 500; // after a worker failed before its data phase

// Writes all of `data`. A short write is tried again for the rest, so that a
// failure leaves the system's reason in the file's error.
bool WriteAll(QFileDevice& file, const char* data, qint64 size)
{
    while (size > 0) {
        const qint64 n = file.write(data, size);
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

// A name beside `path` that nothing holds yet, of the form "NAME.XXXXXX"
// that a copy ended from outside is known to leave.
QString FreeNameBeside(const QString& path)
{
    static const QString kCharacters = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"_s;
    for (;;) {
        QString name = path + u'.';
        for (int i = 0; i < 6; ++i)
            name += kCharacters.at(QRandomGenerator::global()->bounded(int(kCharacters.size())));
        if (!QFileInfo::exists(name) && !QFileInfo(name).isSymLink())
            return name;
    }
}

// Puts the file `from` in the place of the link `to`: the link itself is
// replaced, as a rename does, and what it names stays as it was.
bool ReplaceLink(const QString& from, const QString& to, QString& reason)
{
    std::error_code error;
    std::filesystem::rename(QFileInfo(from).filesystemFilePath(), QFileInfo(to).filesystemFilePath(), error);
    if (!error)
        return true;
    reason = QString::fromLocal8Bit(error.message()).trimmed();
    return false;
}

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
    // The file's place in the batch, as the download shows it: "   [2/5]".
    const qsizetype count = std::min(m_uploadEntries.size(), m_uploadTargets.size());
    const QString suffix = count > 1 ? u"   [%1/%2]"_s.arg(m_uploadEntryPos + 1).arg(count) : QString();
    const CFileInfo entry = m_uploadEntries.at(m_uploadEntryPos++);
    const QString target = m_uploadTargets.at(m_uploadTargetPos++);
    const QString devicePath = m_uploadFolder + u'/' + entry.GetName();
    if (UploadFile(devicePath, target, static_cast<quint64>(entry.GetSize()), suffix) != 1) {
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

int CVQComm::UploadFile(const QString& devicePath, const QString& pcPath, quint64 size, const QString& suffix)
{
    if (!IsRootedPcPath(pcPath)) {
        ShowError(PathMessage(LoadStringResource(IDS_FILE_NOT_OPEN), pcPath));
        return 0;
    }

    const QString nativePath = QDir::toNativeSeparators(pcPath);
    const qsizetype lastSeparator = LastPcSeparator(nativePath);

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
        m_pProgressDlg->StartFile(fileName + suffix, size, caption, 1);

    m_transferCommand = command.toLatin1();
    m_transferSize = size;
    m_transferName = devicePath;
    Disconnect();
    m_localPath = pcPath;
    StartTransferThread(&CVQComm::UploadThreadProc);
    return 1;
}

void CVQComm::UploadThreadProc()
{
    // A failure before the data is told (unless Cancel caused it), and the batch goes on.
    const auto failBeforeData = [this](const QString& text) {
        if (!g_transferCancelled)
            ShowError(text);
        EndUploadThread(0);
    };
    if (g_transferCancelled)
        return EndUploadThread(0);
    if (!g_transferSocket.Connect(m_host, m_port, CONNECT_TIMEOUT_MS)) {
        if (m_bEndBatchOnConnectFailure)
            m_aborted = 1;
        return failBeforeData(TransferConnectErrorText());
    }
    if (!g_transferSocket.Send(m_transferCommand, m_transferIdleMs))
        return failBeforeData(TransferErrorText(false));

    // The block header: "#", one digit n, n length digits.
    char header[BLOCK_HEADER_MAX_BYTES];
    qsizetype have = 0;
    for (;;) {
        const int size = BlockHeaderSize(QByteArrayView(header, have));
        if (size < 0)
            return failBeforeData(u"Error: Data format invalid."_s);
        if (size == have)
            break;
        if (have == 1 && !PauseTransfer(ScaledDelay(kDigitPauseMs)))
            return EndUploadThread(0); // between "#" and the digit count
        if (!g_transferSocket.ReceiveExactly(header + have, size - have, m_transferIdleMs))
            return failBeforeData(TransferErrorText(true));
        have = size;
    }
    // The block is the file as the generator has it now; a listing that
    // says otherwise is out of date, and neither size makes a true copy.
    const quint64 length = static_cast<quint64>(BlockHeaderLength(QByteArrayView(header, have)));
    if (length != m_transferSize) {
        return failBeforeData(
            PathMessage(u"File changed on the generator (listed with %1 bytes, now %2): fetch it again"_s
                            .arg(m_transferSize)
                            .arg(length),
                        m_transferName));
    }

    TransferOutcome outcome = TransferOutcome::None;
    {
        // Written beside the target and renamed over it only when complete: a
        // failed or cancelled copy never touches what was there. The
        // temporary file is gone when this scope ends. A link at the target
        // is replaced, never written through (a save follows a link to what
        // it names): the file is saved under a free name beside it and then
        // takes the link's place.
        const bool link = QFileInfo(m_localPath).isSymLink();
        const QString savedAt = link ? FreeNameBeside(m_localPath) : m_localPath;
        QSaveFile file(savedAt);
        if (!file.open(QIODevice::WriteOnly))
            return failBeforeData(
                PathMessage(LoadStringResource(IDS_FILE_NOT_OPEN), m_localPath, file.errorString()));
        outcome = ReceiveUploadData(file);
        if (outcome == TransferOutcome::Success && !g_transferCancelled) {
            QString reason;
            if (!file.commit()) {
                ShowWriteError(file);
                outcome = TransferOutcome::Failure;
            } else if (link && !ReplaceLink(savedAt, m_localPath, reason)) {
                QFile::remove(savedAt);
                ShowError(PathMessage(LoadStringResource(IDS_CANNOT_WRITE_FILE), m_localPath, reason));
                outcome = TransferOutcome::Failure;
            } else if (m_pWorkerSink) {
                m_pWorkerSink->SetComplete();
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
    // Exactly the block's bytes: what follows it on the connection is no part of the file.
    std::vector<char> buffer(static_cast<size_t>(TRANSFER_CHUNK));
    quint64 total = 0;
    while (total < m_transferSize) {
        if (m_bUploadPacing && !PauseTransfer(ScaledDelay(kPacingMs)))
            return TransferOutcome::Cancelled;
        const qint64 want = static_cast<qint64>(std::min<quint64>(TRANSFER_CHUNK, m_transferSize - total));
        const qint64 n = g_transferSocket.Receive(buffer.data(), want, m_transferIdleMs);
        if (n <= 0) {
            // 0: the generator closed the connection before the whole file came.
            if (g_transferCancelled)
                return TransferOutcome::Cancelled;
            ShowError(TransferErrorText(true));
            return TransferOutcome::Failure;
        }
        total += static_cast<quint64>(n);
        if (!WriteAll(file, buffer.data(), n)) {
            ShowWriteError(file);
            return TransferOutcome::Failure;
        }
        if (g_transferCancelled)
            return TransferOutcome::Cancelled;
        if (m_pWorkerSink)
            m_pWorkerSink->UpdateProgress(total);
    }
    return TransferOutcome::Success;
}

void CVQComm::ShowWriteError(const QFileDevice& file)
{
    // The system's reason (a full disk, a name too long) says what to do about it.
    ShowError(PathMessage(LoadStringResource(IDS_CANNOT_WRITE_FILE), m_localPath,
                          file.error() == QFileDevice::NoError ? QString() : file.errorString()));
}

void CVQComm::EndUploadThread(int success)
{
    CloseTransferSocket();
    if (!success)
        PauseTransfer(ScaledDelay(kFailurePauseMs));
    if (m_pWorkerNotify)
        QCoreApplication::postEvent(m_pWorkerNotify, new CLinkEvent(WM_UPLOAD_DONE, 0));
}
