// vq-bench catalogmem: what one large catalog costs in memory, in the link
// (ReadCatalog and the walk, entries kept as the file list keeps them) and in
// vq8ctl ls and --json ls, measured from outside as the process's peak.
// The generator is a scripted peer on loopback that answers every "mmem:cat?"
// with the same line of --megabytes of entries.

#include "bench/benchcommands.h"
#include "bench/benchhost.h"
#include "bench/childpeak.h"
#include "link/vqcomm.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>

#include <atomic>
#include <cstdio>
#include <future>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

// `used,free` and entries `,"NAME",SEQ,SIZE` up to `bytes`, names
// `nameLength` characters long.
QByteArray MakeCatalog(qint64 bytes, int nameLength, qint64& entries)
{
    QByteArray line("1000000,2000000");
    line.reserve(bytes + 64);
    entries = 0;
    while (line.size() < bytes) {
        QByteArray name = "CLIP" + QByteArray::number(entries).rightJustified(7, '0');
        name = name.leftJustified(nameLength - 4, 'X') + ".SEQ";
        line += ",\"" + name + "\",SEQ," + QByteArray::number(1 + entries % 9973);
        ++entries;
    }
    return line;
}

// A generator that answers the queries vq8ctl ls makes, one connection at a
// time, until it is told to stop. The catalog goes out in pieces as the
// client takes them, so the peer holds no copy of it in its socket.
class CCatalogPeer
{
public:
    explicit CCatalogPeer(QByteArray catalog) : m_catalog(std::move(catalog)) {}
    ~CCatalogPeer()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

    quint16 Start()
    {
        std::promise<quint16> listening;
        std::future<quint16> port = listening.get_future();
        m_thread = std::thread([this, &listening] { Run(listening); });
        return port.get();
    }

private:
    void Run(std::promise<quint16>& listening)
    {
        QTcpServer server;
        listening.set_value(server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0);
        while (!m_stop) {
            if (!server.waitForNewConnection(100))
                continue;
            std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
            Serve(*socket);
        }
    }

    void Serve(QTcpSocket& socket)
    {
        QByteArray pending;
        while (!m_stop && socket.state() == QAbstractSocket::ConnectedState) {
            if (!socket.waitForReadyRead(100))
                continue;
            pending += socket.readAll();
            for (qsizetype lf = pending.indexOf('\n'); lf >= 0; lf = pending.indexOf('\n')) {
                const QByteArray command = pending.first(lf).trimmed();
                pending.remove(0, lf + 1);
                if (command == "mmem:cat?")
                    SendCatalog(socket);
                else if (command == "*idn?")
                    Write(socket, "VELTRANE,VQ820,0,5.60\n");
                else if (command == "stat:que:next?")
                    Write(socket, "0,\"No error\"\n");
            }
        }
    }

    void Write(QTcpSocket& socket, const QByteArray& bytes)
    {
        socket.write(bytes);
        while (!m_stop && socket.bytesToWrite() > 0 && socket.state() == QAbstractSocket::ConnectedState)
            socket.waitForBytesWritten(100);
    }

    void SendCatalog(QTcpSocket& socket)
    {
        constexpr qsizetype piece = 64 * 1024;
        for (qsizetype at = 0; at < m_catalog.size() && !m_stop; at += piece)
            Write(socket, QByteArray::fromRawData(m_catalog.constData() + at,
                                                  std::min(piece, m_catalog.size() - at)));
        Write(socket, "\n");
    }

    QByteArray m_catalog;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// vq8ctl with `arguments` against the peer: its peak in KiB, -1 where the
// system does not tell, -2 when it failed.
qint64 ToolPeak(const QStringList& arguments, quint16 port)
{
    const QString tool = QDir(QCoreApplication::applicationDirPath()).filePath(u"../cli/vq8ctl"_s);
    const CChildPeak run = RunMeasured(
        tool,
        QStringList{u"--host"_s, u"127.0.0.1"_s, u"--port"_s, QString::number(port), u"-q"_s} + arguments);
    if (run.m_nExitCode != 0) {
        std::fprintf(stderr, "vq-bench catalogmem: vq8ctl %s failed (%d)\n", qPrintable(arguments.join(u' ')),
                     run.m_nExitCode);
        return -2;
    }
    return run.m_nPeakKiB;
}

} // namespace

int RunCatalogMemBench(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Peak memory of one catalog of --megabytes in the link and in vq8ctl."_s);
    parser.addHelpOption();
    const QCommandLineOption sizeOption(u"megabytes"_s, u"Length of the catalog line (10^6 bytes)."_s,
                                        u"MB"_s, u"25"_s);
    const QCommandLineOption nameOption(u"name-length"_s, u"Characters of each entry's name."_s, u"N"_s,
                                        u"15"_s);
    const QCommandLineOption noToolOption(u"no-tool"_s, u"Only the link, not vq8ctl."_s);
    // One phase per run: the heap the first leaves behind would serve the second.
    const QCommandLineOption walkOption(
        u"walk-only"_s, u"The link's own cost: entries looked at, not kept as the file list keeps them."_s);
    parser.addOption(sizeOption);
    parser.addOption(nameOption);
    parser.addOption(noToolOption);
    parser.addOption(walkOption);
    parser.process(arguments);
    const double megabytes = parser.value(sizeOption).toDouble();
    const int nameLength = std::max(15, parser.value(nameOption).toInt());
    if (megabytes <= 0) {
        std::fprintf(stderr, "vq-bench catalogmem: --megabytes needs a size\n");
        return 2;
    }

    qint64 entries = 0;
    const QByteArray catalog = MakeCatalog(qint64(megabytes * 1e6), nameLength, entries);
    const double catalogMiB = double(catalog.size()) / kMiB;
    std::fprintf(stderr, "catalog: %lld bytes, %lld entries\n", qint64(catalog.size()), entries);
    CCatalogPeer peer(catalog);
    const quint16 port = peer.Start();
    if (port == 0) {
        std::fprintf(stderr, "vq-bench catalogmem: cannot listen on 127.0.0.1\n");
        return 1;
    }

    // The link: the reply and the walk, with the entries kept as the file list
    // keeps them, or only looked at (the link's own cost).
    CBenchHost host;
    CVQComm comm(&host);
    comm.SetHost(u"127.0.0.1"_s);
    comm.SetPort(port);
    if (!comm.Connect())
        return 1;
    {
        const bool keep = !parser.isSet(walkOption);
        const bool reset = ResetOwnPeak();
        const qint64 base = OwnResidentKiB();
        QElapsedTimer timer;
        timer.start();
        std::vector<CFileInfo> kept;
        qint64 count = 0;
        CFileInfo entry;
        if (comm.ReadCatalog(u"/F0:/USER/BENCH"_s, entry)) {
            do {
                ++count;
                if (keep)
                    kept.push_back(std::move(entry));
            } while (comm.NextCatalogEntry(entry));
        }
        comm.EndCatalog();
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        const qint64 peak = OwnPeakKiB();
        if (count != entries) {
            std::fprintf(stderr, "vq-bench catalogmem: %lld entries read, %lld expected\n", count, entries);
            return 1;
        }
        const char* phase = keep ? "kept" : "walk";
        std::printf("RESULT catalogmem_link_%s_ms %.0f ms\n", phase, ms);
        if (reset && base >= 0 && peak >= 0) {
            const double grown = double(peak - base) / 1024.0;
            std::printf("RESULT catalogmem_link_%s_peak_mib %.1f MiB\n", phase, grown);
            std::printf("RESULT catalogmem_link_%s_ratio %.2f x\n", phase, grown / catalogMiB);
        }
    }

    // The peer serves one connection at a time.
    comm.Disconnect();
    if (parser.isSet(noToolOption))
        return 0;
    // vq8ctl: its own start-up cost first, so the catalog's share shows.
    const qint64 idle = ToolPeak({u"idn"_s}, port);
    const qint64 ls = ToolPeak({u"ls"_s, u"/F0:/USER/BENCH"_s}, port);
    const qint64 json = ToolPeak({u"--json"_s, u"ls"_s, u"/F0:/USER/BENCH"_s}, port);
    if (idle == -2 || ls == -2 || json == -2)
        return 1;
    if (idle < 0 || ls < 0 || json < 0)
        return 0;
    std::printf("RESULT catalogmem_vq8ctl_idn_peak_mib %.1f MiB\n", double(idle) / 1024.0);
    std::printf("RESULT catalogmem_vq8ctl_ls_peak_mib %.1f MiB\n", double(ls) / 1024.0);
    std::printf("RESULT catalogmem_vq8ctl_json_ls_peak_mib %.1f MiB\n", double(json) / 1024.0);
    std::printf("RESULT catalogmem_vq8ctl_ls_ratio %.2f x\n", double(ls - idle) / 1024.0 / catalogMiB);
    std::printf("RESULT catalogmem_vq8ctl_json_ls_ratio %.2f x\n", double(json - idle) / 1024.0 / catalogMiB);
    return 0;
}
