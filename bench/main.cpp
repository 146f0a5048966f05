#include "bench/benchcommands.h"
#include "bench/childpeak.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>

namespace {

// Add a subcommand here.
constexpr BenchCommand kCommands[] = {
    {"catalog", "time reading a folder catalog of --entries N files", &RunCatalogBench},
    {"catalogmem", "peak memory of a catalog of --megabytes in the link, vq8ctl ls and --json ls",
     &RunCatalogMemBench},
    {"listfill", "time filling the file list with a folder of --entries N files", &RunListFillBench, true},
    {"download", "one download of --size bytes through the engine against a bare socket", &RunDownloadBench},
    {"upload", "one upload of --size bytes against its pacing", &RunUploadBench},
    {"batch", "per-file time of a batch of --files N of --size bytes, both directions", &RunBatchBench},
    {"progress", "one download of --size bytes with the progress dialog shown and without", &RunProgressBench,
     true},
    {"tree", "vq8ctl put -r and get -r of a tree of --files N: seconds per file", &RunTreeBench},
    {"soak", "--connections N at once, --sessions N short ones, --idle N, --slow-readers N: grows? serves?",
     &RunSoakBench},
    {"fleet", "vq8ctl put to --hosts N emulators with each --jobs J, against one generator", &RunFleetBench},
    {"sync", "vq8ctl sync of a --megabytes set in place: the record's hashing, --checksum's read back",
     &RunSyncBench},
    {"mount", "cat of --size bytes and ls -l of --entries N files through vq8ctl mount, against get and ls",
     &RunMountBench},
};

void PrintUsage()
{
    std::fprintf(stderr, "usage: vq-bench <command> [options]\n\ncommands:\n");
    for (const BenchCommand& command : kCommands)
        std::fprintf(stderr, "  %-12s %s\n", command.name, command.summary);
    std::fprintf(stderr, "\n'vq-bench <command> --help' shows the options of a command.\n");
}

// The widget benchmarks run without a screen unless a platform is named.
std::unique_ptr<QCoreApplication> MakeApplication(int& argc, char* argv[])
{
    const char* name = argc > 1 ? argv[1] : "";
    for (const BenchCommand& command : kCommands) {
        if (command.widgets && std::strcmp(command.name, name) == 0) {
            if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
                qputenv("QT_QPA_PLATFORM", "offscreen");
            return std::make_unique<QApplication>(argc, argv);
        }
    }
    return std::make_unique<QCoreApplication>(argc, argv);
}

} // namespace

int main(int argc, char* argv[])
{
    if (int exitCode = 0; RunChildPeakLauncher(argc, argv, exitCode))
        return exitCode;
    const std::unique_ptr<QCoreApplication> app = MakeApplication(argc, argv);
    // What vq8ctl records of the emulators stays with the run, not the user's.
    QTemporaryDir records;
    if (qEnvironmentVariableIsEmpty("VQ8_RECORD_DIR"))
        qputenv("VQ8_RECORD_DIR", QFile::encodeName(records.path()));
    QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 2) {
        PrintUsage();
        return 2;
    }
    const QString name = arguments.at(1);
    for (const BenchCommand& command : kCommands) {
        if (name == QLatin1StringView(command.name)) {
            // The subcommand sees "<program> <name>" as its program name.
            const QString taken = arguments.takeAt(1);
            arguments[0] += u' ' + taken;
            return command.run(arguments);
        }
    }
    PrintUsage();
    return 2;
}
