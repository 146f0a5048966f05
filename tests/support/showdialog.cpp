// vq-showdialog NAME OUT.png: shows one of the program's dialogs filled with
// sample content, takes a screenshot of the whole screen with ImageMagick's
// import and ends. For looking at the dialogs under Xvfb (see
// scripts/dialog-screenshots.sh); not part of the product.

#include "dialogs/aboutdlg.h"
#include "dialogs/dlgcopyprogress.h"
#include "dialogs/dlgerrorlist.h"
#include "dialogs/dlgfilekind.h"
#include "dialogs/dlgfindgenerators.h"
#include "dialogs/dlgoptions.h"
#include "dialogs/recenthosts.h"
#include "dialogs/setethernet.h"
#include "dialogs/vqfiledialog.h"
#include "link/progresssink.h"
#include "link/vqcomm.h"
#include "sim/simserver.h"

#include <QApplication>
#include <QProcess>
#include <QTimer>

#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: vq-showdialog progress|preset|sequence|logo|download|picture|signal|"
                             "options|errors|about|network|find|open|save OUT.png\n");
        return 2;
    }
    const QString name = args.at(1);
    CSimServer sim;
    CSimOptions options;
    options.m_nPort = 0;
    sim.Start(options);
    CVQComm comm;
    comm.SetHost(sim.Address().toString());
    comm.SetPort(sim.Port());
    CRecentHosts recent;
    recent.SetHosts({u"192.168.0.1"_s, u"10.20.30.40"_s, u"172.16.5.120"_s});

    const QString path = u"/home/lab/signals/customer projects/2011/HD timing set/1080P50_SMPTE.seq"_s;
    std::unique_ptr<QWidget> owned;
    QWidget* dialog = nullptr;
    const QMap<QString, FileKind> kinds = {{u"preset"_s, KIND_PRESET},   {u"sequence"_s, KIND_SEQUENCE},
                                           {u"logo"_s, KIND_LOGO},       {u"download"_s, KIND_DOWNLOAD},
                                           {u"picture"_s, KIND_PICTURE}, {u"signal"_s, KIND_SIGNAL}};
    if (name == u"progress"_s) {
        auto* progress = new CDlgCopyProgress(&comm);
        CProgressSink* sink = progress->Sink();
        sink->StartFile(u"1080P50_SMPTE.seq   [2/5]"_s, 1000000, u"From 'VQ:/F0:/SEQUENCE' to '/home/lab'"_s,
                        1);
        for (int i = 1; i <= 20; ++i)
            sink->UpdateProgress(quint64(i) * 20000);
        dialog = progress;
    } else if (kinds.contains(name)) {
        auto kind = CDlgFileKind::Create(kinds.value(name), u"xdg-open"_s);
        kind->SetFile(path);
        owned = std::move(kind);
    } else if (name == u"options"_s) {
        owned = std::make_unique<CDlgOptions>(u"xdg-open"_s);
    } else if (name == u"errors"_s) {
        comm.Connect();
        sim.PushError(-113, u"Undefined header"_s);
        sim.PushError(-256, u"File name not found"_s);
        comm.KeepErrors({u"-257,\"File name error\""_s}, u"shown for \"/F0:/USER/ALPHA/SUB\""_s);
        owned = std::make_unique<CDlgErrorList>(&comm);
    } else if (name == u"about"_s) {
        owned = std::make_unique<CAboutDlg>();
    } else if (name == u"network"_s) {
        owned = std::make_unique<CSetEthernet>(&comm, nullptr, &recent);
    } else if (name == u"find"_s) {
        // The emulator's own loopback address: nothing else is ever scanned here.
        owned = std::make_unique<CDlgFindGenerators>(
            QList<CAddressRange>{*CAddressRange::Parse(sim.Address().toString())}, sim.Port());
    } else if (name == u"open"_s) {
        owned = CVQFileDialog::MakeDownloadDialog();
    } else if (name == u"save"_s) {
        owned = CVQFileDialog::MakeUploadDialog(u"1080P50.SEQ"_s, KIND_SEQUENCE);
    } else {
        std::fprintf(stderr, "vq-showdialog: no dialog %s\n", qPrintable(name));
        return 2;
    }
    if (owned)
        dialog = owned.get();
    dialog->show();
    dialog->move(40, 40);
    const QString out = args.at(2);
    // 1.2 s: the sheet of the animation is on its way then.
    QTimer::singleShot(1200, &app, [out] {
        const int rc = QProcess::execute(u"import"_s, {u"-window"_s, u"root"_s, out});
        QCoreApplication::exit(rc == 0 ? 0 : 1);
    });
    return QApplication::exec();
}
