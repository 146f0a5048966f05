// vq-bench download / upload / batch / progress / tree: the transfer engines
// against the emulator running as a process of its own (../sim/vq820-sim next
// to vq-bench; tree also runs ../cli/vq8ctl).

#include "bench/benchcommands.h"
#include "bench/simprocess.h"
#include "bench/vq8ctlrun.h"
#include "dialogs/dlgcopyprogress.h"
#include "link/transferchain.h"
#include "link/vqcomm.h"
#include "link/vqevents.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr double kMiB = 1024.0 * 1024.0;
const QString kFolder = u"/F0:/USER"_s;

double Now()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return double(clock.nsecsElapsed()) / 1e9;
}

// Resident set size in bytes (current, or the peak so far).
qint64 Rss(bool peak)
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray key = peak ? "VmHWM:" : "VmRSS:";
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return 0;
}

// Samples the resident size while a transfer runs; the peak counts.
class CRssSampler
{
public:
    CRssSampler()
        : m_base(Rss(false)), m_thread([this] {
              while (!m_stop) {
                  m_peak = std::max(m_peak.load(), Rss(false));
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
              }
          })
    {
    }
    ~CRssSampler() { Stop(); }
    double GrowthMiB()
    {
        Stop();
        return double(std::max<qint64>(0, m_peak - m_base)) / kMiB;
    }

private:
    void Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    qint64 m_base;
    std::atomic<qint64> m_peak{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// When the data phase of the last file began and ended, as its progress
// reports show it: from the first report to SetComplete.
struct CTiming
{
    std::atomic<double> firstAt{0.0};
    std::atomic<quint64> firstDone{0};
    std::atomic<double> completeAt{0.0};
    std::atomic<quint64> lastDone{0};
};

// Times the reports, and hands them on to `pShown` when given (the progress
// dialog's sink), the end of the batch too.
class CTimingSink final : public CProgressSink
{
public:
    explicit CTimingSink(CTiming* timing, CProgressSink* pShown = nullptr)
        : m_pTiming(timing), m_pShown(pShown)
    {
    }
    void StartFile(const QString& name, quint64 total, const QString& caption, int enable) override
    {
        m_pTiming->firstAt = 0.0;
        m_pTiming->completeAt = 0.0;
        if (m_pShown)
            m_pShown->StartFile(name, total, caption, enable);
    }
    void UpdateProgress(quint64 done) override
    {
        if (m_pTiming->firstAt == 0.0) {
            m_pTiming->firstAt = Now();
            m_pTiming->firstDone = done;
        }
        m_pTiming->lastDone = done;
        if (m_pShown)
            m_pShown->UpdateProgress(done);
    }
    void SetComplete() override
    {
        m_pTiming->completeAt = Now();
        if (m_pShown)
            m_pShown->SetComplete();
    }

protected:
    void TransferEnded(int wParam) override
    {
        if (m_pShown)
            QCoreApplication::postEvent(m_pShown, new CLinkEvent(WM_TRANSFER_END, wParam));
    }

private:
    CTiming* m_pTiming;
    CProgressSink* m_pShown;
};

// Messages to stderr, answered OK; one timing sink per batch.
class CBenchHost final : public CLinkHost
{
public:
    int ShowMessageBox(const QString& text, int, const QString&) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        ++m_messages;
        return IDOK;
    }
    void Beep() override {}
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void SetStatusTexts(const QString&, const QString&) override {}
    void ClearViews() override {}
    CProgressSink* CreateProgressSink() override
    {
        // Each deletes itself when the batch ends.
        CProgressSink* shown =
            m_pDialogOwner ? (new CDlgCopyProgress(nullptr, m_pDialogOwner))->Sink() : nullptr;
        return new CTimingSink(&m_timing, shown);
    }
    QObject* TransferReceiver() override { return m_receiver; }

    // Seconds and bytes of the last file's data phase after its first chunk.
    double DataSeconds() const { return m_timing.completeAt - m_timing.firstAt; }
    double DataBytes() const { return double(m_timing.lastDone - m_timing.firstDone); }

    QObject* m_receiver = nullptr;
    QWidget* m_pDialogOwner = nullptr; // set: the progress dialog shows each batch
    CTiming m_timing;
    std::atomic<int> m_messages{0};
};

// A link, its chain and a host, connected to the emulator.
struct CBenchLink
{
    explicit CBenchLink(const CSimProcess& sim)
    {
        comm.SetHost(sim.m_address);
        comm.SetPort(sim.m_port);
        host.m_receiver = &chain;
        QObject::connect(&chain, &CTransferChain::BatchEnded, &chain, [this](int) { loop.quit(); });
    }
    bool RunBatch()
    {
        QTimer::singleShot(600000, &loop, [this] { loop.exit(1); });
        return loop.exec() == 0 && host.m_messages == 0;
    }
    CBenchHost host;
    CVQComm comm{&host};
    CTransferChain chain{&comm};
    QEventLoop loop;
};

bool WritePcFile(const QString& path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk(1 << 20, '\0');
    for (qsizetype i = 0; i < chunk.size(); ++i)
        chunk[i] = char((i * 131 + 7) & 0xFF);
    for (qint64 left = size; left > 0;) {
        const qint64 n = std::min<qint64>(left, chunk.size());
        if (file.write(chunk.constData(), n) != n)
            return false;
        left -= n;
    }
    return true;
}

// Sends a block with a bare socket in large writes; seconds for the data.
double SendRaw(const CSimProcess& sim, const QString& devicePath, const QString& pcPath, qint64 size)
{
    QFile file(pcPath);
    QTcpSocket socket;
    socket.connectToHost(sim.m_address, sim.m_port);
    if (!file.open(QIODevice::ReadOnly) || !socket.waitForConnected(5000))
        return -1;
    const QByteArray length = QByteArray::number(size);
    socket.write("mmem:data \"" + devicePath.toLatin1() + "\",#" + QByteArray::number(length.size()) +
                 length);
    socket.waitForBytesWritten(5000);
    const double start = Now();
    QByteArray buffer(1 << 20, '\0');
    for (qint64 left = size; left > 0;) {
        const qint64 n = file.read(buffer.data(), std::min<qint64>(left, buffer.size()));
        if (n <= 0 || socket.write(buffer.constData(), n) != n)
            return -1;
        while (socket.bytesToWrite() > 0) {
            if (!socket.waitForBytesWritten(30000))
                return -1;
        }
        left -= n;
    }
    const double seconds = Now() - start;
    socket.write("\r\n");
    socket.waitForBytesWritten(5000);
    // The generator has taken the block when it answers the next query.
    socket.write("*idn?\r\n");
    while (!socket.canReadLine() && socket.waitForReadyRead(30000)) {
    }
    return seconds;
}

qint64 SizeOption(QCommandLineParser& parser, const QCommandLineOption& option)
{
    bool ok = false;
    const qint64 size = parser.value(option).toLongLong(&ok);
    return ok && size >= 0 ? size : -1;
}

// The --size of a one-file benchmark; -1 after a message when it is out of range.
// With `noPacing` the benchmark also takes --no-pacing.
qint64 OneFileSize(const QStringList& arguments, const char* command, const QString& description,
                   const QString& defaultSize, bool* noPacing = nullptr)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    const QCommandLineOption sizeOption(u"size"_s, u"File size in bytes."_s, u"bytes"_s, defaultSize);
    parser.addOption(sizeOption);
    const QCommandLineOption pacingOption(u"no-pacing"_s, u"Without the pause before each chunk."_s);
    if (noPacing)
        parser.addOption(pacingOption);
    parser.process(arguments);
    if (noPacing)
        *noPacing = parser.isSet(pacingOption);
    const qint64 size = SizeOption(parser, sizeOption);
    if (size < TRANSFER_CHUNK * 4 || size > MAX_DOWNLOAD_SIZE) {
        std::fprintf(stderr, "vq-bench %s: --size from %lld to %lld\n", command, TRANSFER_CHUNK * 4,
                     MAX_DOWNLOAD_SIZE);
        return -1;
    }
    return size;
}

// --files and --size of a batch benchmark; false after a message when either
// is out of range.
bool BatchOptions(const QStringList& arguments, const char* command, const QString& description,
                  int defaultFiles, int maxFiles, int* files, qint64* size)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    const QCommandLineOption filesOption(u"files"_s, u"Files in the batch."_s, u"N"_s,
                                         QString::number(defaultFiles));
    const QCommandLineOption sizeOption(u"size"_s, u"Size of each file in bytes."_s, u"bytes"_s, u"1024"_s);
    parser.addOption(filesOption);
    parser.addOption(sizeOption);
    parser.process(arguments);
    *files = parser.value(filesOption).toInt();
    *size = SizeOption(parser, sizeOption);
    if (*files < 1 || *files > maxFiles || *size < 0 || *size > TRANSFER_CHUNK) {
        std::fprintf(stderr, "vq-bench %s: --files 1..%d, --size 0..%lld\n", command, maxFiles,
                     TRANSFER_CHUNK);
        return false;
    }
    return true;
}

} // namespace

int RunDownloadBench(const QStringList& arguments)
{
    const qint64 size = OneFileSize(
        arguments, "download", u"One download through the engine against a bare socket."_s, u"268435456"_s);
    if (size < 0)
        return 2;

    QTemporaryDir dir;
    CSimProcess sim;
    const QString pcPath = dir.filePath(u"BENCH.SEQ"_s);
    if (!dir.isValid() || !WritePcFile(pcPath, size) || !sim.Start(3 * size + 64 * 1024 * 1024))
        return 1;

    // The bare socket before and after the engine; the faster run counts, so
    // the ratio is never flattered by a slow emulator.
    const double rawBefore = SendRaw(sim, kFolder + u"/RAW.SEQ"_s, pcPath, size);

    CBenchLink link(sim);
    if (!link.comm.Connect())
        return 1;
    CRssSampler rss;
    if (!link.comm.PrepareDownload({QDir::toNativeSeparators(pcPath)}, kFolder) || !link.RunBatch())
        return 1;
    const double rssGrowth = rss.GrowthMiB();
    const double engineSeconds = link.host.DataSeconds();
    const double engineMiB = link.host.DataBytes() / kMiB;
    const double rawAfter = SendRaw(sim, kFolder + u"/RAW.SEQ"_s, pcPath, size);
    const double rawSeconds = std::min(rawBefore, rawAfter);
    if (rawBefore <= 0 || rawAfter <= 0 || engineSeconds <= 0)
        return 1;
    const double engineRate = engineMiB / engineSeconds;
    const double rawRate = double(size) / kMiB / rawSeconds;
    std::printf("RESULT download_mib_s %.1f MiB/s\n", engineRate);
    std::printf("RESULT download_raw_mib_s %.1f MiB/s\n", rawRate);
    std::printf("RESULT download_ratio %.3f ratio\n", engineRate / rawRate);
    std::printf("RESULT rss_growth_mib %.1f MiB\n", rssGrowth);
    return 0;
}

int RunUploadBench(const QStringList& arguments)
{
    bool noPacing = false;
    const qint64 size = OneFileSize(
        arguments, "upload", u"One upload through the engine against its pacing of one chunk per 100 ms."_s,
        u"4194304"_s, &noPacing);
    if (size < 0)
        return 2;
    QTemporaryDir dir;
    CSimProcess sim;
    const QString source = dir.filePath(u"SOURCE.SEQ"_s);
    if (!dir.isValid() || !WritePcFile(source, size) || !sim.Start(2 * size + 64 * 1024 * 1024))
        return 1;
    if (SendRaw(sim, kFolder + u"/UP.SEQ"_s, source, size) < 0)
        return 1;

    CBenchLink link(sim);
    if (!link.comm.Connect())
        return 1;
    link.comm.SetUploadPacing(!noPacing);
    const CFileInfo entry(u"UP.SEQ"_s, size, quint32(1700000000), 0);
    link.comm.SetUploadFolder(kFolder);
    link.comm.QueueUpload(&entry, QDir::toNativeSeparators(dir.filePath(u"UP.SEQ"_s)));
    CRssSampler rss;
    if (!link.comm.StartUpload() || !link.RunBatch())
        return 1;
    const double rssGrowth = rss.GrowthMiB();
    if (QFileInfo(dir.filePath(u"UP.SEQ"_s)).size() != size)
        return 1;
    // One chunk per 100 ms at best.
    const double rate = link.host.DataBytes() / link.host.DataSeconds();
    constexpr double kPacedRate = double(TRANSFER_CHUNK) * 10.0;
    if (noPacing) {
        std::printf("RESULT upload_unpaced_bytes_s %.0f B/s\n", rate);
        std::printf("RESULT upload_unpaced_speedup %.1f ratio\n", rate / kPacedRate);
    } else {
        std::printf("RESULT upload_bytes_s %.0f B/s\n", rate);
        std::printf("RESULT upload_pacing_efficiency %.3f ratio\n", rate / kPacedRate);
    }
    std::printf("RESULT rss_growth_mib %.1f MiB\n", rssGrowth);
    return 0;
}

int RunBatchBench(const QStringList& arguments)
{
    int files = 0;
    qint64 size = 0;
    if (!BatchOptions(arguments, "batch",
                      u"Per-file time of a batch in each direction against its fixed pauses."_s, 5, 1000,
                      &files, &size))
        return 2;
    QTemporaryDir dir;
    CSimProcess sim;
    if (!dir.isValid() || !sim.Start(64 * 1024 * 1024 + files * size * 4))
        return 1;
    QStringList paths;
    for (int i = 0; i < files; ++i) {
        paths << QDir::toNativeSeparators(dir.filePath(u"B%1.SEQ"_s.arg(i)));
        if (!WritePcFile(paths.last(), size))
            return 1;
    }

    CBenchLink link(sim);
    if (!link.comm.Connect())
        return 1;
    // Download: from the call to the reopened command channel.
    double start = Now();
    if (!link.comm.PrepareDownload(paths, kFolder) || !link.RunBatch())
        return 1;
    const double downloadMs = (Now() - start) * 1000.0 / files;

    std::vector<std::unique_ptr<CFileInfo>> entries;
    link.comm.SetUploadFolder(kFolder);
    for (int i = 0; i < files; ++i) {
        entries.push_back(std::make_unique<CFileInfo>(u"B%1.SEQ"_s.arg(i), size, quint32(1700000000), 0));
        link.comm.QueueUpload(entries.back().get(),
                              QDir::toNativeSeparators(dir.filePath(u"U%1.SEQ"_s.arg(i))));
    }
    start = Now();
    if (!link.comm.StartUpload() || !link.RunBatch())
        return 1;
    const double uploadMs = (Now() - start) * 1000.0 / files;

    // The fixed pauses per file: Disconnect's 100 ms before each file, the
    // chain's pause after it (1 s after a download, 100 ms after an upload),
    // an upload's 20 ms before the digit count and 100 ms before its data,
    // and Disconnect's 100 ms at the end.
    const double downloadMin = (files * (100.0 + 1000.0) + 100.0) / files;
    const double uploadMin = (files * (100.0 + 20.0 + 100.0 + 100.0) + 100.0) / files;
    std::printf("RESULT download_per_file_ms %.1f ms\n", downloadMs);
    std::printf("RESULT download_per_file_min_ms %.1f ms\n", downloadMin);
    std::printf("RESULT download_per_file_ratio %.3f ratio\n", downloadMs / downloadMin);
    std::printf("RESULT upload_per_file_ms %.1f ms\n", uploadMs);
    std::printf("RESULT upload_per_file_min_ms %.1f ms\n", uploadMin);
    std::printf("RESULT upload_per_file_ratio %.3f ratio\n", uploadMs / uploadMin);
    return 0;
}

int RunProgressBench(const QStringList& arguments)
{
    const qint64 size = OneFileSize(
        arguments, "progress",
        u"One download's data phase with the progress dialog shown against one with no display."_s,
        u"268435456"_s);
    if (size < 0)
        return 2;
    QTemporaryDir dir;
    CSimProcess sim;
    const QString pcPath = dir.filePath(u"BENCH.SEQ"_s);
    if (!dir.isValid() || !WritePcFile(pcPath, size) || !sim.Start(2 * size + 64 * 1024 * 1024))
        return 1;

    QWidget owner; // the main window's place
    owner.resize(640, 480);
    owner.show();
    CBenchLink link(sim);
    if (!link.comm.Connect())
        return 1;
    // Runs in turn, with and without the dialog; the best of each counts.
    constexpr int kRounds = 3;
    double best[2] = {0.0, 0.0};
    for (int round = 0; round < kRounds; ++round) {
        for (int shown = 0; shown < 2; ++shown) {
            link.host.m_pDialogOwner = shown ? &owner : nullptr;
            if (!link.comm.PrepareDownload({QDir::toNativeSeparators(pcPath)}, kFolder) || !link.RunBatch() ||
                !link.comm.DeleteEntry(kFolder + u"/BENCH.SEQ"_s))
                return 1;
            const double rate = link.host.DataBytes() / kMiB / link.host.DataSeconds();
            best[shown] = std::max(best[shown], rate);
            std::fprintf(stderr, "round %d, dialog %s: %.1f MiB/s\n", round + 1, shown ? "shown" : "none",
                         rate);
        }
    }
    std::printf("RESULT progress_none_mib_s %.1f MiB/s\n", best[0]);
    std::printf("RESULT progress_dialog_mib_s %.1f MiB/s\n", best[1]);
    std::printf("RESULT progress_dialog_ratio %.3f ratio\n", best[1] / best[0]);
    return 0;
}

namespace {

// One run of the command-line tool; its seconds, or -1 when it failed.
double RunTool(const CSimProcess& sim, const QStringList& arguments)
{
    return RunVq8ctl(sim, arguments, "tree");
}

bool SameFiles(const QString& a, const QString& b, int& count)
{
    QDir dir(a);
    for (const QFileInfo& info : dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        const QString other = QDir(b).filePath(info.fileName());
        if (info.isDir()) {
            if (!SameFiles(info.filePath(), other, count))
                return false;
            continue;
        }
        QFile one(info.filePath());
        QFile two(other);
        if (!one.open(QIODevice::ReadOnly) || !two.open(QIODevice::ReadOnly) ||
            one.readAll() != two.readAll())
            return false;
        ++count;
    }
    return true;
}

} // namespace

int RunTreeBench(const QStringList& arguments)
{
    int files = 0;
    qint64 size = 0;
    if (!BatchOptions(arguments, "tree",
                      u"A folder tree put to the generator and got back with vq8ctl -r: "
                      "seconds per file against the fixed pauses of the engines."_s,
                      200, 10000, &files, &size))
        return 2;
    // Three levels: the top folder, 4 below it, 4 below each of those.
    QTemporaryDir dir;
    QStringList folders{u"TREE"_s};
    for (int i = 0; i < 4; ++i) {
        folders << u"TREE/A%1"_s.arg(i);
        for (int j = 0; j < 4; ++j)
            folders << u"TREE/A%1/B%2"_s.arg(i).arg(j);
    }
    for (const QString& folder : std::as_const(folders)) {
        if (!QDir(dir.path()).mkpath(folder))
            return 1;
    }
    for (int i = 0; i < files; ++i) {
        if (!WritePcFile(dir.filePath(u"%1/F%2.SEQ"_s.arg(folders.at(i % folders.size())).arg(i)), size))
            return 1;
    }
    CSimProcess sim;
    if (!dir.isValid() || !sim.Start(64 * 1024 * 1024 + files * size * 4))
        return 1;

    const double put = RunTool(sim, {u"put"_s, u"-r"_s, dir.filePath(u"TREE"_s), kFolder});
    const double get = RunTool(sim, {u"get"_s, u"-r"_s, kFolder + u"/TREE"_s, dir.filePath(u"PACED"_s)});
    const double unpaced =
        RunTool(sim, {u"get"_s, u"-r"_s, u"--no-pacing"_s, kFolder + u"/TREE"_s, dir.filePath(u"UNPACED"_s)});
    int paced = 0;
    int fast = 0;
    if (put < 0 || get < 0 || unpaced < 0 ||
        !SameFiles(dir.filePath(u"TREE"_s), dir.filePath(u"PACED"_s), paced) ||
        !SameFiles(dir.filePath(u"TREE"_s), dir.filePath(u"UNPACED"_s), fast) || paced != files ||
        fast != files) {
        std::fprintf(stderr, "vq-bench tree: the tree did not come back whole\n");
        return 1;
    }
    // The fixed pauses: per file sent, Disconnect's 100 ms and the chain's
    // 1 s; per file fetched, 100 ms + 20 ms before the digit count + 100 ms
    // per chunk (one here) + the chain's 100 ms; per folder's batch, the
    // reconnect (100 ms, and 500 ms after a batch that wrote).
    const double batches = double(std::min<qsizetype>(files, folders.size()));
    const double putFixed = (files * 1.1 + batches * 0.6) / files;
    const double getFixed = (files * 0.32 + batches * 0.1) / files;
    const double unpacedFixed = (files * 0.22 + batches * 0.1) / files;
    std::printf("RESULT tree_put_s_per_file %.3f s\n", put / files);
    std::printf("RESULT tree_put_fixed_s_per_file %.3f s\n", putFixed);
    std::printf("RESULT tree_put_ratio %.3f ratio\n", put / files / putFixed);
    std::printf("RESULT tree_get_s_per_file %.3f s\n", get / files);
    std::printf("RESULT tree_get_fixed_s_per_file %.3f s\n", getFixed);
    std::printf("RESULT tree_get_ratio %.3f ratio\n", get / files / getFixed);
    std::printf("RESULT tree_get_unpaced_s_per_file %.3f s\n", unpaced / files);
    std::printf("RESULT tree_get_unpaced_fixed_s_per_file %.3f s\n", unpacedFixed);
    return 0;
}
