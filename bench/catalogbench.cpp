// vq-bench catalog: reading one folder's catalog end to end against the
// in-process emulator, best of a few runs.

#include "benchcommands.h"
#include "consolehost.h"
#include "simserver.h"
#include "vqcomm.h"

#include <QCommandLineParser>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

// Makes a folder below the root (inside a fixed first-level folder when the
// emulator has one) and fills it with `entries` small files.
QString FillFolder(vqsim::SimServer& sim, int entries)
{
    const QStringList roots = sim.List(u"/F0:/"_s);
    QString folder = u"/F0:/Bench"_s;
    for (const QString& root : roots) {
        if (root.endsWith(u'/')) {
            folder = u"/F0:/"_s + root.chopped(1) + u"/Bench"_s;
            break;
        }
    }
    if (!sim.AddFolder(folder))
        return QString();
    for (int i = 0; i < entries; ++i) {
        const QString name = u"Clip%1.seq"_s.arg(i, 7, 10, QChar(u'0'));
        if (!sim.AddFile(folder + u'/' + name, QByteArray(1 + i % 97, 'v')))
            return QString();
    }
    return folder;
}

} // namespace

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

    vqsim::SimServer sim;
    vqsim::SimOptions options;
    options.port = 0;
    options.seed = false;
    options.capacity = std::max<qint64>(options.capacity, qint64(entries) * 200);
    if (!sim.Start(options)) {
        std::fprintf(stderr, "vq-bench catalog: %s\n", qPrintable(sim.ErrorString()));
        return 1;
    }
    const QString folder = FillFolder(sim, entries);
    if (folder.isEmpty()) {
        std::fprintf(stderr, "vq-bench catalog: the emulator refused the files\n");
        return 1;
    }

    CConsoleHost host;
    CVQComm comm(&host);
    comm.SetHost(sim.Address().toString());
    comm.SetPort(sim.Port());
    if (!comm.Connect())
        return 1;

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
