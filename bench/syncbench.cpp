// vq-bench sync: what knowing the contents costs a sync of a set that is in
// place: the record's hashing of the PC's files against none (--no-record),
// and --checksum's read back of every file (unpaced) against the record.

#include "bench/benchcommands.h"
#include "bench/simprocess.h"
#include "bench/vq8ctlrun.h"
#include "sync/filehash.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

using namespace Qt::StringLiterals;

int RunSyncBench(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"A set of --files files, --megabytes in all, in two folders, synced to the emulator once; then "
        "a sync with the record, one without (--no-record) and one with --checksum --no-pacing, each of "
        "the set in place, and SHA-256 of the set in this process."_s);
    parser.addHelpOption();
    const QCommandLineOption filesOption(u"files"_s, u"Files in the set."_s, u"N"_s, u"40"_s);
    const QCommandLineOption megabytesOption(u"megabytes"_s, u"The set's size in MB."_s, u"MB"_s, u"30"_s);
    parser.addOption(filesOption);
    parser.addOption(megabytesOption);
    parser.process(arguments);
    const int files = parser.value(filesOption).toInt();
    const qint64 megabytes = parser.value(megabytesOption).toLongLong();
    if (files < 2 || files > 10000 || megabytes < 1 || megabytes > 900) {
        std::fprintf(stderr, "vq-bench sync: --files 2..10000, --megabytes 1..900\n");
        return 2;
    }
    const qint64 total = megabytes * 1000 * 1000;
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    // Contents of their own, so no two files are alike.
    QRandomGenerator random(27);
    QStringList paths;
    for (int i = 0; i < files; ++i) {
        const QString path =
            dir.filePath(u"SET/%1/F%2.PIC"_s.arg(i % 2 ? u"B"_s : u"A"_s).arg(i, 3, 10, QChar(u'0')));
        QDir().mkpath(QFileInfo(path).absolutePath());
        QByteArray bytes(total / files, Qt::Uninitialized);
        random.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return 1;
        paths.append(path);
    }
    CSimProcess sim;
    sim.StopWithParent();
    if (!sim.Start(2 * total + 64 * 1024 * 1024))
        return 1;
    const QStringList sync{u"sync"_s, u"-r"_s, dir.filePath(u"SET"_s), u"/F0:/USER/SET"_s};
    if (RunVq8ctl(sim, sync + QStringList{u"--no-pacing"_s}, "sync") < 0)
        return 1;
    const double withRecord = RunVq8ctl(sim, sync, "sync");
    const double withoutRecord = RunVq8ctl(sim, sync + QStringList{u"--no-record"_s}, "sync");
    const double checksum = RunVq8ctl(sim, sync + QStringList{u"--checksum"_s, u"--no-pacing"_s}, "sync");
    if (withRecord < 0 || withoutRecord < 0 || checksum < 0)
        return 1;
    QElapsedTimer clock;
    clock.start();
    for (const QString& path : std::as_const(paths)) {
        if (CFileHash::OfFile(path).isEmpty())
            return 1;
    }
    const double hashing = double(clock.nsecsElapsed()) / 1e9;
    const double mb = double(total) / 1e6;
    std::printf("RESULT sync_in_place_no_record_s %.3f s\n", withoutRecord);
    std::printf("RESULT sync_in_place_record_s %.3f s\n", withRecord);
    std::printf("RESULT sync_record_ms_per_mb %.2f ms\n", (withRecord - withoutRecord) * 1000 / mb);
    std::printf("RESULT sync_in_place_checksum_s %.3f s\n", checksum);
    // A read back is a fetch: the upload engine's fixed pauses per file
    // (about 0.22 s unpaced) come with it, so both figures.
    std::printf("RESULT sync_checksum_ms_per_mb %.2f ms\n", (checksum - withRecord) * 1000 / mb);
    std::printf("RESULT sync_checksum_s_per_file %.3f s\n", (checksum - withRecord) / files);
    std::printf("RESULT sha256_mb_per_s %.1f MB/s\n", mb / hashing);
    return 0;
}
