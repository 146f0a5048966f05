// vq-bench catalog: reading one folder's catalog end to end against the
// in-process emulator, best of a few runs.

#include "bench/benchcommands.h"
#include "bench/crowdedfolder.h"
#include "link/vqcomm.h"

#include <QCommandLineParser>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <limits>

using namespace Qt::StringLiterals;

int RunCatalogBench(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Times ReadCatalog and every NextCatalogEntry of one folder."_s);
    parser.addHelpOption();
    const QCommandLineOption entriesOption(u"entries"_s, u"Files in the folder."_s, u"N"_s, u"10000"_s);
    const QCommandLineOption runsOption(u"runs"_s, u"Runs; the best counts."_s, u"R"_s, u"5"_s);
    const QCommandLineOption splitOption(u"split"_s, u"Also print the reply and walk times to stderr."_s);
    parser.addOption(entriesOption);
    parser.addOption(runsOption);
    parser.addOption(splitOption);
    parser.process(arguments);

    bool ok = false;
    const int entries = parser.value(entriesOption).toInt(&ok);
    if (!ok || entries < 0) {
        std::fprintf(stderr, "vq-bench catalog: --entries needs a count\n");
        return 2;
    }
    const int runs = std::max(1, parser.value(runsOption).toInt());

    CCrowdedFolder crowd;
    if (!crowd.Start("catalog", entries))
        return 1;
    CVQComm& comm = crowd.Comm();
    const QString& folder = crowd.Folder();

    double best = std::numeric_limits<double>::max();
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        CFileInfo entry;
        int count = 0;
        const int first = comm.ReadCatalog(folder, entry);
        const double replyMs = double(timer.nsecsElapsed()) / 1e6;
        if (first) {
            do {
                ++count;
            } while (comm.NextCatalogEntry(entry));
        }
        comm.EndCatalog();
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (parser.isSet(splitOption))
            std::fprintf(stderr, "run %d: reply %.1f ms, walk %.1f ms\n", run + 1, replyMs, ms - replyMs);
        if (count != entries) {
            std::fprintf(stderr, "vq-bench catalog: %d entries read, %d expected\n", count, entries);
            return 1;
        }
        best = std::min(best, ms);
    }
    std::printf("RESULT catalog_%d %.1f ms\n", entries, best);
    return 0;
}
