#include "benchcommands.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

// Add a subcommand here.
constexpr BenchCommand kCommands[] = {
    {"catalog", "time reading a folder catalog of --entries N files", &RunCatalogBench},
    {"download", "one download of --size bytes through the engine against a bare socket", &RunDownloadBench},
    {"upload", "one upload of --size bytes against its pacing", &RunUploadBench},
    {"batch", "per-file time of a batch of --files N of --size bytes, both directions", &RunBatchBench},
};

void PrintUsage()
{
    std::fprintf(stderr, "usage: vq-bench <command> [options]\n\ncommands:\n");
    for (const BenchCommand& command : kCommands)
        std::fprintf(stderr, "  %-12s %s\n", command.name, command.summary);
    std::fprintf(stderr, "\n'vq-bench <command> --help' shows the options of a command.\n");
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
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
