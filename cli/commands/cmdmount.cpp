// vq8ctl mount: the generator's files as a folder of the PC (FUSE; the mount
// itself is in mount/, built where libfuse3 is).

#include "cli/consolehost.h"
#include "cli/ctlargs.h"
#include "cli/ctlcommand.h"
#include "cli/ctlreport.h"
#include "cli/ctlsession.h"
#include "cli/ctltarget.h"
#include "link/devicepath.h"

#ifdef VQ_HAVE_MOUNT
#include "mount/mount.h"
#include "mount/mountlog.h"
#include "sim/simserver.h"

#include <QDir>
#include <QJsonArray>
#endif

using namespace Qt::StringLiterals;

namespace {

const CCtlOption kReadOnly{{}, "read-only"_L1, {}};
const CCtlOption kCacheDir{{}, "cache-dir"_L1, "DIR"_L1, true};
const CCtlOption kListingMs{{}, "listing-ms"_L1, "MS"_L1};
constexpr int kMaxListingMs = 3600000;

class CCmdMount final : public CCtlCommand
{
public:
    CCmdMount()
        : CCtlCommand({
              .name = "mount"_L1,
              .minArgs = 1,
              .maxArgs = 2,
              .synopsis = "mount [--read-only] [--no-pacing] [FOLDER] MOUNTPOINT"_L1,
              .summary = "show the generator's files (or one folder) as a folder of the PC"_L1,
              .details = "Mounts the generator's file system, or its FOLDER, at the PC folder\n"
                         "MOUNTPOINT (Linux, FUSE) and serves it in the foreground until Ctrl+C,\n"
                         "SIGTERM or \"fusermount3 -u MOUNTPOINT\". Any program can then open, edit and\n"
                         "save the generator's files.\n"
                         "\nThe generator moves whole files only, so the mount keeps whole copies in a\n"
                         "cache (--cache-dir, default ~/.cache/vq8ctl/mount): a file is fetched whole\n"
                         "when it is first opened (again when its listed size changed), and a file\n"
                         "written is sent whole when the program closes, flushes or syncs it. The close\n"
                         "waits for the generator and fails when the file did not arrive: ENOSPC for\n"
                         "no room, EINVAL for a name the generator refused, EACCES for another refusal,\n"
                         "EIO when the generator did not answer; the generator's file is then as it\n"
                         "was. Nothing is created on the generator before that send. A file may not\n"
                         "exceed 999,999,999 bytes (EFBIG). Editors' temporaries and lock files (*~,\n"
                         ".*.swp, 4913, .~lock.*#, .goutputstream-*, ~$*) stay on the PC; an editor's\n"
                         "save by a temporary file renamed over the original leaves exactly the new\n"
                         "bytes. A rename over an existing file deletes that file, then moves. Names\n"
                         "follow the generator's rules (refused with EINVAL, the reason in the log);\n"
                         "letter case is ignored and kept, as the generator does. Packages (.DNL) are\n"
                         "read but not saved through the mount: vq8ctl put takes them in.\n"
                         "\nEvery operation goes through one queue, one at a time, with the engines'\n"
                         "pauses between files; files are fetched at the engine's pace (one 32 KiB\n"
                         "chunk per 100 ms) unless --no-pacing. Listings are kept --listing-ms (default\n"
                         "2000) and read again after the mount's own changes; sizes are the catalog's;\n"
                         "df shows the generator's memory. Dates: when the mount last read or wrote\n"
                         "the file, else when the mount began (the generator keeps none). A generator\n"
                         "that stops answering fails operations with EIO within 10 s; the mount serves\n"
                         "again when it is back.\n"
                         "\nBytes that could not be sent are never dropped: while the file is open they\n"
                         "are what the mount shows (a later save sends them); once it is closed they\n"
                         "move to the cache's unsent/ folder, named in the log, and the mount shows\n"
                         "the generator's file again. Copy them back in, or vq8ctl put them, to send\n"
                         "them. Ending the mount tries what is still open once more, then lists what\n"
                         "was not sent (exit status 1). -v logs every operation.\n"
                         "\n--json: {\"mountPoint\", \"folder\", \"left\": [lines]}.\n"_L1,
              .options =
                  {
                      {&kReadOnly, "mount read-only"_L1},
                      {&CTL_OPTION_NO_PACING,
                       "fetch without the pause of 100 ms before each 32 KiB chunk"_L1},
                      {&kCacheDir, "keep the copies in DIR (default ~/.cache/vq8ctl/mount)"_L1},
                      {&kListingMs, "use a folder's listing MS ms before reading it again (default 2000)"_L1},
                  },
              .examples = "mkdir -p ~/vq820 && vq8ctl --host 192.168.0.10 mount ~/vq820\n"
                          "vq8ctl mount --read-only SIGNAL /mnt/signals\n"
                          "fusermount3 -u ~/vq820\n"_L1,
              .kind = Kind::Apart,
              .drainsQueue = false,
              .completion = Completion::GeneratorThenPc,
              .endsOnRequest = true,
          })
    {
    }

    QString CheckUsage(const CCtlArgs& args) const override
    {
        if (args.IsFleet())
            return u"mount takes one generator"_s;
        if (args.IsSet(kListingMs)) {
            bool ok = false;
            const int ms = args.Value(kListingMs).toInt(&ok);
            if (!ok || ms < 0 || ms > kMaxListingMs)
                return u"not a time in ms (0 to %1): \"%2\""_s.arg(kMaxListingMs).arg(args.Value(kListingMs));
        }
        return QString();
    }

    int Run(CCtlSession& session) override
    {
#ifdef VQ_HAVE_MOUNT
        return Mount(session);
#else
        session.Host().Error(u"mount is "_s + QLatin1StringView(VQ_MOUNT_MISSING));
        return CTL_FAILED;
#endif
    }

#ifdef VQ_HAVE_MOUNT
private:
    static int Mount(CCtlSession& session)
    {
        const CCtlArgs& args = session.Args();
        CConsoleHost& host = session.Host();
        QStringList arguments = args.Arguments();
        CMountOptions options;
        options.m_strMountPoint = arguments.takeLast();
        options.m_strFolder = ToDevicePath(arguments.value(0));
        options.m_strCacheDir = args.Value(kCacheDir);
        options.m_bReadOnly = args.IsSet(kReadOnly);
        options.m_bPacing = !args.IsSet(CTL_OPTION_NO_PACING);
        if (args.IsSet(kListingMs))
            options.m_nListingMs = args.Value(kListingMs).toInt();

        std::unique_ptr<CSimServer> demo;
        QString hostFrom;
        QString portFrom;
        if (args.Demo()) {
            demo = CCtlTarget::StartDemo(host);
            if (!demo)
                return CTL_FAILED;
            options.m_strHost = demo->Address().toString();
            options.m_nPort = demo->Port();
        } else {
            options.m_strHost = CCtlTarget::ResolveHost(args, session.Environment(), &hostFrom);
            options.m_nPort = CCtlTarget::ResolvePort(args, session.Environment(), host, &portFrom);
            if (options.m_nPort == 0)
                return CTL_USAGE;
        }
        session.Report().Set(u"mountPoint"_s, QDir(options.m_strMountPoint).absolutePath());
        session.Report().Set(u"folder"_s, options.m_strFolder);

        CMountLog log([&host](const QString& line) { host.Error(line); }, args.Verbose());
        CMount mount(options, log);
        return session.RunApart(
            [&]() -> int {
                if (!mount.Start()) {
                    // Stopped before it was mounted: that was no normal end.
                    if (!session.Interrupted())
                        return CTL_FAILED;
                    host.Error(u"interrupted"_s);
                    return CTL_INTERRUPTED;
                }
                host.Note(u"\"%1\" of %2:%3 mounted at \"%4\"; Ctrl+C or fusermount3 -u ends it"_s.arg(
                    options.m_strFolder, options.m_strHost, QString::number(options.m_nPort),
                    QDir::toNativeSeparators(mount.Options().m_strMountPoint)));
                mount.Serve();
                const QStringList left = mount.Finish();
                for (const QString& line : left)
                    host.Error(line);
                session.Report().Set(u"left"_s, QJsonArray::fromStringList(left));
                const bool unsent = std::any_of(left.cbegin(), left.cend(), [](const QString& line) {
                    return line.startsWith(u"not sent");
                });
                if (!unsent)
                    host.Note(u"unmounted"_s);
                return unsent ? CTL_FAILED : CTL_OK;
            },
            [&mount](CConsole::Request) { mount.Stop(); });
    }
#endif
};

} // namespace

std::unique_ptr<CCtlCommand> MakeMountCommand()
{
    return std::make_unique<CCmdMount>();
}
