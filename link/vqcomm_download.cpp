// Download: files from the PC to the generator, one worker per file.
#include "link/vqcomm.h"

#include "link/catalogreply.h"
#include "link/pcpath.h"
#include "link/socketerror.h"
#include "link/stringtable.h"
#include "link/vqevents.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <vector>

using namespace Qt::StringLiterals;

namespace {
QString ExistsMessage(const QString& name)
{
    return u"This file already exists : \""_s + name + u'"';
}
} // namespace

QByteArray CVQComm::BlockHeader(quint64 size)
{
    const QByteArray length = QByteArray::number(size);
    return '#' + QByteArray::number(length.size()) + length;
}

int CVQComm::StatPCFile(CDownloadFile& file)
{
    const QFileInfo info(file.GetPath());
    if (!info.exists() || info.isDir()) {
        ShowError(PathMessage(LoadStringResource(IDS_FILE_NOT_FOUND), file.GetPath()));
        return 0;
    }
    file.SetSize(info.size());
    return 1;
}

bool CVQComm::ReadTargetCatalog(const QString& folder, QSet<QString>& files)
{
    const QByteArray reply = QueryCatalogReply(folder);
    if (reply.isEmpty())
        return false;
    double used = 0.0;
    double freeBytes = 0.0;
    qsizetype pos = 0;
    CatalogStep step = CatalogStep::NotAnEntry;
    if (ReadCatalogFigures(reply, used, freeBytes, pos)) {
        CFileInfo entry;
        while ((step = ReadCatalogEntry(reply, pos, entry)) == CatalogStep::Entry) {
            if (!entry.IsFolder())
                files.insert(entry.GetUpperName());
        }
    }
    // A name the listing could not show would be replaced without a question.
    if (step != CatalogStep::End) {
        ShowError(PathMessage(u"The generator's listing of this folder could not be read"_s, folder));
        return false;
    }
    m_memoryUsed = used;
    m_memoryFree = freeBytes;
    return true;
}

int CVQComm::PrepareDownload(const QStringList& pcPaths, const QString& targetFolder)
{
    const auto stop = [this] {
        m_downloadList.RemoveAll();
        return 0;
    };
    m_downloadList.SetTargetFolder(targetFolder);

    // Same-folder mode: the file list already shows the target folder and
    // the memory figures are known, so the generator need not be asked.
    const QString listFolder = m_pHost ? m_pHost->ListFolder() : QString();
    const bool sameFolder =
        !listFolder.isEmpty() && listFolder == targetFolder && !(m_memoryUsed == 0.0 && m_memoryFree == 0.0);
    // The names of the files the target folder holds, upper case.
    QSet<QString> listed;
    if (!sameFolder && !ReadTargetCatalog(targetFolder, listed))
        return 0;

    m_downloadList.RemoveAll();
    quint64 total = 0;
    for (const QString& path : pcPaths) {
        CDownloadFile file;
        if (!file.SetPath(path)) {
            if (ShowError(PathMessage(LoadStringResource(IDS_FILE_NOT_FOUND), path),
                          MB_OKCANCEL | MB_ICONSTOP) == IDOK)
                continue;
            return stop();
        }
        // The name becomes a device name as it is: refuse what the generator
        // could not take before anything is sent.
        if (!CheckNewName(file.GetName()))
            return stop();
        // With SetReplaceExisting a name that is taken is sent again, which
        // replaces the generator's file.
        if (!m_bReplaceExisting && sameFolder && m_pHost->ListHasItem(file.GetName())) {
            ShowError(ExistsMessage(file.GetName()));
            return stop();
        }
        // Names on the generator ignore case, so "a.seq" would replace "A.SEQ".
        if (!m_bReplaceExisting && !sameFolder && listed.contains(file.GetName().toUpper())) {
            if (ShowError(ExistsMessage(file.GetName()), MB_OKCANCEL | MB_ICONSTOP) == IDOK)
                continue;
            return stop();
        }
        if (!StatPCFile(file))
            return stop();
        if (file.GetSize() > MAX_DOWNLOAD_SIZE) {
            ShowError(PathMessage(u"File too large to send (1,000,000,000 bytes or more)"_s, path));
            return stop();
        }
        total += static_cast<quint64>(file.GetSize());
        m_downloadList.Add(file);
    }
    if (m_downloadList.IsEmpty())
        return stop();

    if (static_cast<quint64>(static_cast<qint64>(m_memoryFree)) < total) {
        ShowError(u"Insufficient memory free space in VQ."_s);
        return stop();
    }
    if (m_downloadList.GetCount() > TS_FILE_ALLOWANCE) {
        ShowError(
            u"A count of TS files in VQ will exceed the number of limit.\nOnly %1 TS file(s) can be downloaded."_s
                .arg(TS_FILE_ALLOWANCE));
        return stop();
    }
    for (int i = 0; i < m_downloadList.GetCount(); ++i) {
        if (!MakeDownloadHeader(*m_downloadList.GetAt(i), targetFolder))
            return stop();
    }

    if (!BeginBatch())
        return stop();
    m_downloadList.StartIteration();
    CLinkEvent next(WM_DOWNLOAD_NEXT, 0);
    QCoreApplication::sendEvent(m_pNotifyWnd, &next);
    return 1;
}

int CVQComm::MakeDownloadHeader(CDownloadFile& file, const QString& targetFolder)
{
    CWaitCursor wait(m_pHost);
    const QString devicePath = targetFolder + u'/' + file.GetName();
    const FileKind kind = FileKindFromName(devicePath);
    QString prefix;
    if (kind == KIND_DOWNLOAD) {
        prefix = u"mmem:load:download "_s;
    } else {
        const QString quoted = QuotedPath(devicePath);
        if (quoted.isEmpty())
            return 0;
        prefix = u"mmem:data "_s + quoted + u',';
    }
    const int answer = m_pHost ? m_pHost->ConfirmDownload(kind, file.GetPath()) : IDOK;
    if (answer != IDOK)
        return 0;
    file.SetCommandPrefix(prefix);
    return 1;
}

int CVQComm::DownloadNext(int wParam)
{
    JoinTransferThread();
    // The file before is in the generator's hands now, when all of it went out.
    if (m_bDownloadComplete.exchange(false))
        m_sentFiles.append(m_currentDownload);
    if (m_aborted || g_transferCancelled) {
        EndBatch(m_downloadList.GetTaken() > 1 ? 1 : wParam);
        m_downloadList.RemoveAll();
        return 0;
    }
    QString suffix;
    if (m_downloadList.GetCount() > 1)
        suffix = u"   [%1/%2]"_s.arg(m_downloadList.GetTaken() + 1).arg(m_downloadList.GetCount());
    CDownloadFile* file = m_downloadList.GetNext();
    if (!DownloadFile(file, m_downloadList.GetTargetFolder(), suffix)) {
        EndBatch(wParam);
        m_downloadList.RemoveAll();
        return 0;
    }
    return 1;
}

int CVQComm::DownloadFile(CDownloadFile* file, const QString& targetFolder, const QString& suffix)
{
    if (!file)
        return 0;
    const QString nativePath = QDir::toNativeSeparators(file->GetPath());
    const qsizetype last = LastPcSeparator(nativePath);
    const QString pcFolder = last >= 0 ? nativePath.left(last) : QString();
    const QString folderName = pcFolder.mid(LastPcSeparator(pcFolder) + 1);
    const QString caption = u"From '"_s + folderName + u"' to 'VQ:"_s + targetFolder + u'\'';

    const quint64 size = static_cast<quint64>(file->GetSize());
    if (m_pProgressDlg)
        m_pProgressDlg->StartFile(file->GetName() + suffix, size, caption, 1);
    m_transferSize = size;
    m_transferCommand = file->GetCommandPrefix().toLatin1() + BlockHeader(size);
    // A package goes under a name of the generator's own: nothing to look for.
    m_currentDownload = {targetFolder,
                         FileKindFromName(file->GetName()) == KIND_DOWNLOAD ? QString() : file->GetName(),
                         file->GetSize()};
    m_bDownloadComplete = false;
    Disconnect();
    m_localPath = file->GetPath();
    m_transferName = m_localPath;
    StartTransferThread(&CVQComm::DownloadThreadProc);
    return 1;
}

void CVQComm::DownloadThreadProc()
{
    // The file is opened before the connection: a file that cannot be read
    // never leaves a block header without its data on the generator.
    QFile file(m_localPath);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowError(PathMessage(LoadStringResource(IDS_FILE_NOT_OPEN), m_localPath, file.errorString()));
        // The batch ends here, without a refresh: nothing was sent.
        if (m_pWorkerSink)
            QCoreApplication::postEvent(m_pWorkerSink, new CLinkEvent(WM_TRANSFER_END, 0));
        return;
    }
    if (g_transferCancelled)
        return EndDownloadThread(0);
    if (!g_transferSocket.Connect(m_host, m_port, CONNECT_TIMEOUT_MS)) {
        if (!g_transferCancelled)
            ShowError(TransferConnectErrorText());
        if (m_bEndBatchOnConnectFailure)
            m_aborted = 1;
        return EndDownloadThread(0);
    }
    if (!m_transferCommand.isEmpty() && !g_transferSocket.Send(m_transferCommand, m_transferIdleMs)) {
        if (!g_transferCancelled)
            ShowError(TransferErrorText(false));
        // Part of the header may have gone: the generator may hold a block
        // that never ends, and says so once the connection closes.
        ++m_nCutBlocks;
        return EndDownloadThread(0);
    }

    const TransferOutcome outcome = SendDownloadData(file);
    if (outcome == TransferOutcome::Success) {
        if (m_pWorkerSink)
            m_pWorkerSink->SetComplete();
        if (g_transferSocket.Send("\r\n", 2, m_transferIdleMs))
            m_bDownloadComplete = !m_currentDownload.m_strName.isEmpty();
        else if (!g_transferCancelled)
            ShowError(TransferErrorText(false));
    } else {
        // The block is cut short here, which the generator reports in its
        // queue: that entry restates the Cancel or the message just shown.
        ++m_nCutBlocks;
        g_transferSocket.Shutdown();
        m_aborted = 1;
    }
    file.close();
    EndDownloadThread(1);
}

CVQComm::TransferOutcome CVQComm::SendDownloadData(QFile& file)
{
    // The file is read in chunks but sent a few chunks at a time: the bytes
    // on the wire are the same and the socket is called far less often.
    // Progress counts the bytes the generator has acknowledged, not those the
    // system holds for sending, so a full bar means the file has arrived.
    // Before the last chunk everything sent so far is awaited, so that a
    // Cancel up to then still keeps that chunk back.
    constexpr int kChunksPerSend = 8;
    std::vector<char> buffer(static_cast<size_t>(TRANSFER_CHUNK * kChunksPerSend + 1));
    int chunks = 0;
    qint64 pending = 0;
    quint64 total = 0;
    quint64 sent = 0;
    quint64 reported = 0;

    const auto report = [&](qint64 unacknowledged) {
        const quint64 arrived = sent - std::min<quint64>(sent, static_cast<quint64>(unacknowledged));
        if (arrived > reported) {
            reported = arrived;
            if (m_pWorkerSink)
                m_pWorkerSink->UpdateProgress(arrived);
        }
    };
    const auto failed = [&]() {
        if (!g_transferCancelled)
            ShowError(TransferErrorText(false));
        return g_transferCancelled ? TransferOutcome::Cancelled : TransferOutcome::Failure;
    };
    const auto flush = [&]() {
        if (pending > 0 && !g_transferSocket.Send(buffer.data(), pending, m_transferIdleMs))
            return false;
        sent += static_cast<quint64>(pending);
        pending = 0;
        chunks = 0;
        report(g_transferSocket.Unacknowledged());
        return true;
    };
    const auto arrived = [&]() { return g_transferSocket.WaitAcknowledged(0, m_transferIdleMs, report); };

    for (;;) {
        // Near the end ask for one byte more than is left: a file that has
        // grown shows itself before its last chunk goes out, so the
        // generator never gets a block that differs from what was checked.
        const quint64 left = m_transferSize - total;
        const bool lastRead = left <= static_cast<quint64>(TRANSFER_CHUNK);
        if ((lastRead || chunks == kChunksPerSend) && !flush())
            return failed();
        if (lastRead && !arrived())
            return failed();
        const qint64 want = lastRead ? static_cast<qint64>(left) + 1 : TRANSFER_CHUNK;
        const qint64 n = file.read(buffer.data() + pending, want);
        const bool grew = lastRead && n == want;
        const bool shrank = n >= 0 && n < want && static_cast<quint64>(n) != left;
        if (n < 0 || grew || shrank) {
            ShowErrorId(IDS_CANNOT_READ_FILE);
            return TransferOutcome::Failure;
        }
        total += static_cast<quint64>(n);
        if (g_transferCancelled) {
            m_aborted = 1;
            return TransferOutcome::Cancelled;
        }
        pending += n;
        ++chunks;
        if (total == m_transferSize) {
            if (!flush() || !arrived())
                return failed();
            return TransferOutcome::Success;
        }
    }
}

void CVQComm::EndDownloadThread(int flag)
{
    CloseTransferSocket();
    if (m_pWorkerNotify)
        QCoreApplication::postEvent(m_pWorkerNotify, new CLinkEvent(WM_DOWNLOAD_DONE, flag));
}
