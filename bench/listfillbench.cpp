// vq-bench listfill: FillFromDevice of one large folder from the in-process
// emulator into a real file list, offscreen, best of a few runs. Also times
// paging through the filled list, which must not depend on the item count.

#include "bench/benchcommands.h"
#include "bench/crowdedfolder.h"
#include "link/vqcomm.h"
#include "views/uilistview.h"
#include "views/veskdoc.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QScrollBar>

#include <algorithm>
#include <cstdio>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

double Ms(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int RunListFillBench(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Times FillFromDevice of one folder into the file list."_s);
    parser.addHelpOption();
    const QCommandLineOption entriesOption(u"entries"_s, u"Files in the folder."_s, u"N"_s, u"100000"_s);
    const QCommandLineOption runsOption(u"runs"_s, u"Runs; the best counts."_s, u"R"_s, u"3"_s);
    const QCommandLineOption modeOption(u"mode"_s, u"View mode 0-3 (large icons, details, small, list)."_s,
                                        u"M"_s, u"0"_s);
    parser.addOption(entriesOption);
    parser.addOption(runsOption);
    parser.addOption(modeOption);
    parser.process(arguments);

    bool ok = false;
    const int entries = parser.value(entriesOption).toInt(&ok);
    if (!ok || entries < 0) {
        std::fprintf(stderr, "vq-bench listfill: --entries needs a count\n");
        return 2;
    }
    const int runs = std::max(1, parser.value(runsOption).toInt());
    const int mode = std::clamp(parser.value(modeOption).toInt(), 0, 3);

    CCrowdedFolder crowd;
    if (!crowd.Start("listfill", entries))
        return 1;
    CVQComm& comm = crowd.Comm();
    const QString& folder = crowd.Folder();

    CVeskDoc doc(&comm);
    CUiListView list(&doc);
    list.SetViewMode(mode);
    list.resize(800, 600);
    list.show();
    QApplication::processEvents();

    double best = std::numeric_limits<double>::max();
    for (int run = 0; run < runs; ++run) {
        list.ClearList();
        QApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        list.FillFromDevice(folder);
        // The first screenful is part of the fill as the user sees it.
        list.ItemView()->viewport()->repaint();
        const double ms = Ms(timer);
        if (list.ItemCount() != entries) {
            std::fprintf(stderr, "vq-bench listfill: %d items, %d expected\n", list.ItemCount(), entries);
            return 1;
        }
        best = std::min(best, ms);
    }

    // Paging from top to bottom in steps, each step painted at once.
    QAbstractItemView* view = list.ItemView();
    // The list mode flows top to bottom and scrolls sideways.
    QScrollBar* bar =
        mode == CUiListView::VIEW_LIST ? view->horizontalScrollBar() : view->verticalScrollBar();
    // Let the batched icon layout finish first.
    QElapsedTimer layout;
    layout.start();
    for (int i = 0; i < 10000 && layout.elapsed() < 20000 && bar->maximum() == 0; ++i)
        QApplication::processEvents();
    QApplication::processEvents();
    constexpr int steps = 50;
    QElapsedTimer scroll;
    scroll.start();
    for (int step = 0; step <= steps; ++step) {
        bar->setValue(bar->maximum() / steps * step);
        view->viewport()->repaint();
    }
    std::fprintf(stderr, "layout settled after %.1f ms; %d painted pages: %.2f ms a page\n", Ms(layout),
                 steps + 1, Ms(scroll) / (steps + 1));
    std::printf("RESULT listfill_%d %.1f ms\n", entries, best);
    return 0;
}
