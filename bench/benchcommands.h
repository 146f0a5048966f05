#pragma once

#include <QStringList>

// One subcommand of vq-bench: `vq-bench <name> [options]`. Each returns the
// process exit code and prints its figures as `RESULT <name> <value> <unit>`.
struct BenchCommand
{
    const char* name;
    const char* summary;
    int (*run)(const QStringList& arguments); // arguments[0] is "<program> <name>"
    bool widgets = false;                     // needs a QApplication (offscreen unless told)
};

int RunCatalogBench(const QStringList& arguments);
int RunCatalogMemBench(const QStringList& arguments);
int RunListFillBench(const QStringList& arguments);
int RunDownloadBench(const QStringList& arguments);
int RunUploadBench(const QStringList& arguments);
int RunBatchBench(const QStringList& arguments);
int RunProgressBench(const QStringList& arguments);
int RunTreeBench(const QStringList& arguments);
int RunSoakBench(const QStringList& arguments);
int RunFleetBench(const QStringList& arguments);
int RunSyncBench(const QStringList& arguments);
int RunMountBench(const QStringList& arguments);
