// vq-bench mount: the built vq8ctl mount (FUSE) against vq8ctl get and ls of
// the same files, on an emulator in this process: cat of a big file through
// the mount (fetched whole, unpaced) against get --no-pacing, and a listing
// of a crowded folder through the mount against vq8ctl ls.

#include "bench/benchcommands.h"
#include "sim/simserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

QString Tool()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(u"../cli/vq8ctl"_s);
}

// Runs a program to its end: its seconds, or -1 when it failed.
double Timed(const QString& program, const QStringList& arguments, const QString& output = QString())
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardOutputFile(output.isEmpty() ? QProcess::nullDevice() : output);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    process.start();
    if (!process.waitForFinished(600000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        std::fprintf(stderr, "vq-bench mount: %s %s failed\n", qPrintable(program),
                     qPrintable(arguments.join(u' ')));
        return -1;
    }
    return double(clock.nsecsElapsed()) / 1e9;
}

bool SameBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.readAll() == bytes;
}

// vq8ctl mount as a process of its own, ended by SIGTERM.
class CMountProcess
{
public:
    bool Start(const QStringList& target, const QString& cache, const QString& point)
    {
        m_process.setProgram(Tool());
        m_process.setArguments(
            target + QStringList{u"mount"_s, u"--no-pacing"_s, u"--cache-dir"_s, cache, u"USER"_s, point});
        m_process.start();
        m_process.waitForStarted();
        QByteArray said;
        QElapsedTimer clock;
        clock.start();
        while (!said.contains("mounted at") && clock.elapsed() < 10000 &&
               m_process.state() == QProcess::Running) {
            m_process.waitForReadyRead(100);
            said += m_process.readAllStandardError();
        }
        if (!said.contains("mounted at"))
            std::fprintf(stderr, "vq-bench mount: vq8ctl mount did not start: %s\n", said.constData());
        return said.contains("mounted at");
    }
    ~CMountProcess()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(20000))
            m_process.kill();
    }

private:
    QProcess m_process;
};

} // namespace

int RunMountBench(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"cat of a file through vq8ctl mount against vq8ctl get (both unpaced), and ls -l of a crowded "
        "folder through the mount (each with a fresh listing) against vq8ctl ls; best of --rounds, each with "
        "a fresh mount."_s);
    parser.addHelpOption();
    const QCommandLineOption sizeOption(u"size"_s, u"Bytes of the big file."_s, u"bytes"_s, u"20971520"_s);
    const QCommandLineOption entriesOption(u"entries"_s, u"Files in the crowded folder."_s, u"N"_s,
                                           u"10000"_s);
    const QCommandLineOption roundsOption(u"rounds"_s, u"Rounds; the best counts."_s, u"R"_s, u"3"_s);
    parser.addOption(sizeOption);
    parser.addOption(entriesOption);
    parser.addOption(roundsOption);
    parser.process(arguments);
    const qint64 size = parser.value(sizeOption).toLongLong();
    const int entries = parser.value(entriesOption).toInt();
    const int rounds = std::max(1, parser.value(roundsOption).toInt());
    if (size < 1 || size > 999999999 || entries < 1) {
        std::fprintf(stderr, "vq-bench mount: --size 1..999999999, --entries 1 or more\n");
        return 2;
    }
    if (!QFile::exists(u"/dev/fuse"_s)) {
        std::fprintf(stderr, "vq-bench mount: no /dev/fuse here\n");
        return 1;
    }

    CSimServer sim;
    CSimOptions options;
    options.m_nPort = 0;
    options.m_nCapacity = size + qint64(entries) * 200 + 64 * 1024 * 1024;
    options.m_nTranscriptLimit = 0;
    if (!sim.Start(options))
        return 1;
    QByteArray big(size, Qt::Uninitialized);
    QRandomGenerator generator(7);
    for (char& c : big)
        c = char(generator.bounded(256));
    sim.AddFile(u"/F0:/USER/BIG.BIN"_s, big);
    sim.AddFolder(u"/F0:/USER/CROWD"_s);
    for (int i = 0; i < entries; ++i)
        sim.AddFile(u"/F0:/USER/CROWD/F%1.SEQ"_s.arg(i, 5, 10, QLatin1Char('0')), QByteArray(100, 'x'));
    const QStringList target{u"--host"_s, sim.Address().toString(), u"--port"_s, QString::number(sim.Port())};

    QTemporaryDir dir;
    const QString point = dir.filePath(u"point"_s);
    if (!dir.isValid() || !QDir().mkpath(point))
        return 1;
    constexpr double kNone = std::numeric_limits<double>::max();
    double get = kNone;
    double cat = kNone;
    double cached = kNone;
    double ls = kNone;
    double mountLs = kNone;
    double mountLsLong = kNone;
    for (int round = 0; round < rounds; ++round) {
        const QString got = dir.filePath(u"got.bin"_s);
        QFile::remove(got);
        const double getSeconds =
            Timed(Tool(), target + QStringList{u"-q"_s, u"get"_s, u"--no-pacing"_s, u"USER/BIG.BIN"_s, got});
        const double lsSeconds = Timed(Tool(), target + QStringList{u"-q"_s, u"ls"_s, u"USER/CROWD"_s});
        if (getSeconds < 0 || lsSeconds < 0 || !SameBytes(got, big))
            return 1;

        // A fresh mount each round, with an empty cache: the file is fetched.
        const QString cache = dir.filePath(u"cache%1"_s.arg(round));
        CMountProcess mount;
        if (!mount.Start(target, cache, point))
            return 1;
        const QString catted = dir.filePath(u"cat.bin"_s);
        const double catSeconds = Timed(u"cat"_s, {point + u"/BIG.BIN"_s}, catted);
        const double cachedSeconds = Timed(u"cat"_s, {point + u"/BIG.BIN"_s}, catted);
        // Each listing fresh: the mount keeps one 2 s.
        const double lsPlainSeconds = Timed(u"ls"_s, {point + u"/CROWD"_s});
        QThread::msleep(2100);
        const double lsLongSeconds = Timed(u"ls"_s, {u"-l"_s, point + u"/CROWD"_s});
        if (catSeconds < 0 || cachedSeconds < 0 || lsLongSeconds < 0 || lsPlainSeconds < 0 ||
            !SameBytes(catted, big))
            return 1;
        std::fprintf(
            stderr,
            "round %d: get %.3f s, cat %.3f s (again %.3f s); vq8ctl ls %.3f s, ls -l %.3f s, ls %.3f s\n",
            round + 1, getSeconds, catSeconds, cachedSeconds, lsSeconds, lsLongSeconds, lsPlainSeconds);
        get = std::min(get, getSeconds);
        cat = std::min(cat, catSeconds);
        cached = std::min(cached, cachedSeconds);
        ls = std::min(ls, lsSeconds);
        mountLsLong = std::min(mountLsLong, lsLongSeconds);
        mountLs = std::min(mountLs, lsPlainSeconds);
    }
    std::printf("RESULT mount_get_s %.3f s\n", get);
    std::printf("RESULT mount_cat_s %.3f s\n", cat);
    std::printf("RESULT mount_cat_vs_get %.3f ratio\n", get / cat);
    std::printf("RESULT mount_cat_cached_s %.3f s\n", cached);
    std::printf("RESULT mount_vq8ctl_ls_s %.3f s\n", ls);
    std::printf("RESULT mount_ls_l_s %.3f s\n", mountLsLong);
    std::printf("RESULT mount_ls_s %.3f s\n", mountLs);
    std::printf("RESULT mount_ls_l_vs_vq8ctl_ls %.3f ratio\n", ls / mountLsLong);
    return 0;
}
