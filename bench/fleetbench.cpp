// vq-bench fleet: one set of files sent to many generators at once with
// vq8ctl --hosts, against the time of one generator. Each generator is an
// emulator process of its own on 127.0.0.2, 127.0.0.3, ... (one port for all).

#include "bench/benchcommands.h"
#include "bench/simprocess.h"
#include "bench/vq8ctlrun.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <list>

using namespace Qt::StringLiterals;

namespace {

// The emulators on 127.0.0.2 and up, on one port free on each address.
bool StartFleet(int count, std::list<CSimProcess>& sims, quint16& port)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        sims.clear();
        port = 0;
        bool all = true;
        for (int i = 0; i < count && all; ++i) {
            CSimProcess& sim = sims.emplace_back();
            sim.StopWithParent();
            all = sim.Start(256 * 1024 * 1024, u"127.0.0.%1"_s.arg(2 + i), port);
            port = sim.m_port;
        }
        if (all)
            return true;
    }
    return false;
}

} // namespace

int RunFleetBench(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"The same files sent to --hosts N generators (emulator processes on 127.0.0.2 and up) with\n"
        "vq8ctl --hosts and each --jobs J, against one generator's time: the aim is at most\n"
        "1.3 x ceil(N / J) x that time."_s);
    parser.addHelpOption();
    const QCommandLineOption hostsOption(u"hosts"_s, u"Generators (default 20, at most 200)."_s, u"n"_s,
                                         u"20"_s);
    const QCommandLineOption jobsOption(
        u"jobs"_s, u"Generators at once, a comma-separated list (default 4,20)."_s, u"list"_s, u"4,20"_s);
    const QCommandLineOption filesOption(u"files"_s, u"Files sent (default 10)."_s, u"n"_s, u"10"_s);
    const QCommandLineOption sizeOption(u"size"_s, u"Bytes per file (default 10000)."_s, u"bytes"_s,
                                        u"10000"_s);
    parser.addOptions({hostsOption, jobsOption, filesOption, sizeOption});
    parser.process(arguments);
    const int hosts = parser.value(hostsOption).toInt();
    const int files = parser.value(filesOption).toInt();
    const qint64 size = parser.value(sizeOption).toLongLong();
    QList<int> jobs;
    for (const QString& text : parser.value(jobsOption).split(u',', Qt::SkipEmptyParts))
        jobs.append(text.toInt());
    if (hosts < 1 || hosts > 200 || files < 1 || size < 0 || jobs.isEmpty() || jobs.contains(0)) {
        std::fprintf(stderr, "vq-bench fleet: bad options\n");
        return 2;
    }

    QTemporaryDir dir;
    QStringList paths;
    for (int i = 0; i < files; ++i) {
        QFile file(dir.filePath(u"F%1.SEQ"_s.arg(i)));
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(size, char('a' + i % 26))) != size)
            return 1;
        paths.append(file.fileName());
    }
    std::list<CSimProcess> sims;
    quint16 port = 0;
    if (!dir.isValid() || !StartFleet(hosts, sims, port)) {
        std::fprintf(stderr, "vq-bench fleet: the emulators did not start\n");
        return 1;
    }
    // Every run replaces what the one before sent: the same work each time.
    const QStringList put =
        QStringList{u"-q"_s, u"--yes"_s, u"--port"_s, QString::number(port), u"put"_s, u"--force"_s} + paths +
        QStringList{u"USER"_s};
    const double one = TimeVq8ctl(QStringList{u"--host"_s, u"127.0.0.2"_s} + put, "fleet");
    if (one < 0)
        return 1;
    std::printf("RESULT fleet_one_s %.2f s\n", one);
    const QString range = u"127.0.0.2-%1"_s.arg(hosts + 1);
    for (const int j : std::as_const(jobs)) {
        const double all =
            TimeVq8ctl(QStringList{u"--hosts"_s, range, u"--jobs"_s, QString::number(j)} + put, "fleet");
        if (all < 0)
            return 1;
        const int rounds = (hosts + j - 1) / j;
        std::printf("RESULT fleet_jobs%d_s %.2f s\n", j, all);
        std::printf("RESULT fleet_jobs%d_ratio %.3f ratio\n", j, all / (rounds * one));
    }
    return 0;
}
