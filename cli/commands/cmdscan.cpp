// vq8ctl scan: the generators in address ranges (by default the PC's own
// networks), found with the link's scan and listed for people, for --hosts and
// for --json.

#include "cli/consolehost.h"
#include "cli/ctlargs.h"
#include "cli/ctlcommand.h"
#include "cli/ctlreport.h"
#include "cli/ctlsession.h"
#include "cli/ctltarget.h"
#include "link/addressrange.h"
#include "link/devicescan.h"
#include "link/printable.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>

using namespace Qt::StringLiterals;

namespace {

const CCtlOption kConnectTimeout{{}, "connect-timeout"_L1, "MS"_L1};
constexpr int kMaxConnectTimeoutMs = 60000;
// A reply quoted after "no identity" is cut here.
constexpr qsizetype kQuotedReplyMax = 60;

QJsonValue Field(const CScanResult& result, int index)
{
    return result.IsGenerator() ? QJsonValue(result.m_fields.at(index)) : QJsonValue();
}

class CCmdScan final : public CCtlCommand
{
public:
    CCmdScan()
        : CCtlCommand({
              .name = "scan"_L1,
              .minArgs = 0,
              .maxArgs = -1,
              .synopsis = "scan [--connect-timeout MS] [RANGE...]"_L1,
              .summary = "find the generators on the network"_L1,
              .details =
                  "Looks for generators: each address of each RANGE gets a TCP connect to the\n"
                  "generator port (--port, default 5000) bounded by --connect-timeout (default\n"
                  "300 ms), then the identity query (*idn?), answered within 1 s; at most --jobs\n"
                  "addresses at once (default 64), so a /24 takes about 256 / jobs x 1.3 s at\n"
                  "the worst. A RANGE is an address (192.168.0.10), a network of at most 1024\n"
                  "addresses (192.168.0.0/24; its own and its broadcast address are left out)\n"
                  "or a run of last numbers (192.168.0.10-40). Without one, the PC's own IPv4\n"
                  "networks: each cut to the /24 around the PC's address, loopback and\n"
                  "link-local left out.\n"
                  "\nEach generator that answered is a line on standard output, in address\n"
                  "order:\n"
                  "  ADDRESS  MAKER  MODEL  SERIAL  FIRMWARE  TIME\n"
                  "TIME is the answer time. An address that took the connection but answered\n"
                  "nothing, or no identity, is listed as \"no identity\" under -v only. The first\n"
                  "word of a line is the address: the output can be given to --hosts as it is.\n"
                  "Exit status 0 when a generator answered, 1 when none did.\n"
                  "\n--json: {\"port\", \"ranges\", \"scanned\", \"count\", \"generators\":\n"
                  "[{\"host\", \"identity\", \"maker\", \"model\", \"serial\", \"firmware\", \"ms\"}]};\n"
                  "under -v also the addresses without an identity (\"identity\": null).\n"_L1,
              .options =
                  {
                      {&kConnectTimeout, "give up a connect after MS ms (default 300)"_L1},
                  },
              .examples = "vq8ctl scan\n"
                          "vq8ctl scan 192.168.0.0/24 10.1.2.5-40\n"
                          "vq8ctl scan > generators.txt; vq8ctl --hosts generators.txt idn\n"_L1,
              .kind = Kind::Apart,
              .drainsQueue = false,
              .completion = Completion::None,
          })
    {
    }

    QString CheckUsage(const CCtlArgs& args) const override
    {
        if (args.IsSet(u"host") || args.IsSet(u"hosts") || args.Demo())
            return u"scan takes ranges, not --host, --hosts or --demo"_s;
        if (args.IsSet(kConnectTimeout)) {
            bool ok = false;
            const int ms = args.Value(kConnectTimeout).toInt(&ok);
            if (!ok || ms < 1 || ms > kMaxConnectTimeoutMs)
                return u"not a time in ms (1 to %1): \"%2\""_s.arg(kMaxConnectTimeoutMs)
                    .arg(args.Value(kConnectTimeout));
        }
        return QString();
    }

    int Run(CCtlSession& session) override
    {
        CDeviceScan scan;
        return session.RunApart([&] { return Scan(session, scan); },
                                [&scan](CConsole::Request) {
                                    // The scan stops at once, in its own thread's time.
                                    QMetaObject::invokeMethod(
                                        &scan, [&scan] { scan.Cancel(); }, Qt::QueuedConnection);
                                });
    }

private:
    static int Scan(CCtlSession& session, CDeviceScan& scan);
    static void Print(CCtlSession& session, const QList<CScanResult>& results);
};

int CCmdScan::Scan(CCtlSession& session, CDeviceScan& scan)
{
    const CCtlArgs& args = session.Args();
    CConsoleHost& host = session.Host();
    CCtlReport& report = session.Report();
    QList<CAddressRange> ranges;
    for (const QString& argument : args.Arguments()) {
        QString error;
        const std::optional<CAddressRange> range = CAddressRange::Parse(argument, &error);
        if (!range) {
            host.Error(error);
            return CTL_USAGE;
        }
        ranges.append(*range);
    }
    if (args.Arguments().isEmpty()) {
        ranges = CAddressRange::PcNetworks();
        if (ranges.isEmpty()) {
            host.Error(u"this PC has no network to scan (give a range)"_s);
            return CTL_FAILED;
        }
    }
    QString portFrom;
    const quint16 port = CCtlTarget::ResolvePort(args, session.Environment(), host, &portFrom);
    if (port == 0)
        return CTL_USAGE;

    QList<QHostAddress> addresses;
    QSet<quint32> seen;
    QJsonArray rangeTexts;
    QStringList shown;
    for (const CAddressRange& range : std::as_const(ranges)) {
        rangeTexts.append(range.Text());
        shown.append(range.Text());
        for (const QHostAddress& address : range.Addresses()) {
            if (!seen.contains(address.toIPv4Address())) {
                seen.insert(address.toIPv4Address());
                addresses.append(address);
            }
        }
    }
    report.Set(u"port"_s, int(port));
    report.Set(u"ranges"_s, rangeTexts);
    report.Set(u"scanned"_s, int(addresses.size()));

    scan.SetJobs(args.Jobs() > 0 ? args.Jobs() : CDeviceScan::DEFAULT_JOBS);
    if (args.IsSet(kConnectTimeout))
        scan.SetConnectTimeout(args.Value(kConnectTimeout).toInt());
    if (args.Verbose())
        host.Error(u"scanning %1 addresses (%2) on port %3 (from %4), %5 at once"_s.arg(addresses.size())
                       .arg(shown.join(u", "_s))
                       .arg(port)
                       .arg(portFrom)
                       .arg(scan.Jobs()));
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    bool stopped = false;
    QObject::connect(&scan, &CDeviceScan::Finished, &loop, [&](bool cancelled) {
        stopped = cancelled;
        loop.quit();
    });
    scan.Start(addresses, port);
    if (scan.IsRunning())
        loop.exec();

    const QList<CScanResult> results = scan.Results();
    Print(session, results);
    const auto found =
        std::count_if(results.cbegin(), results.cend(), [](const CScanResult& r) { return r.IsGenerator(); });
    report.Set(u"count"_s, int(found));
    if (args.Verbose())
        host.Error(u"%1 of %2 addresses answered with an identity in %3 s"_s.arg(found)
                       .arg(addresses.size())
                       .arg(double(clock.elapsed()) / 1000.0, 0, 'f', 1));
    if (found == 0) {
        // A scan cut short has found nothing yet; Ctrl+C says so itself.
        if (!stopped)
            host.Error(u"no generator answered"_s);
        return CTL_FAILED;
    }
    return CTL_OK;
}

void CCmdScan::Print(CCtlSession& session, const QList<CScanResult>& results)
{
    const bool verbose = session.Args().Verbose();
    QList<QStringList> rows;
    QJsonArray generators;
    for (const CScanResult& result : results) {
        if (!result.IsGenerator() && !verbose)
            continue;
        const QString host = result.m_address.toString();
        generators.append(
            QJsonObject{{u"host"_s, host},
                        {u"identity"_s, result.IsGenerator() ? QJsonValue(result.m_strReply) : QJsonValue()},
                        {u"maker"_s, Field(result, 0)},
                        {u"model"_s, Field(result, 1)},
                        {u"serial"_s, Field(result, 2)},
                        {u"firmware"_s, Field(result, 3)},
                        {u"ms"_s, result.m_nMs}});
        if (result.IsGenerator()) {
            rows.append(QStringList{host} + result.m_fields + QStringList{u"%1 ms"_s.arg(result.m_nMs)});
        } else {
            const QString said =
                result.m_strReply.isEmpty()
                    ? u"(no reply line)"_s
                    : u"(answered \"%1\")"_s.arg(ShortenedText(result.m_strReply, kQuotedReplyMax));
            rows.append(QStringList{host, u"no identity"_s, said});
        }
    }
    session.Report().Set(u"generators"_s, generators);
    if (session.Args().Json())
        return;
    // Columns as wide as their widest text: the list is read by people too.
    // A row without identity has its own second and third columns.
    QList<qsizetype> widths(6, 0);
    for (const QStringList& row : std::as_const(rows)) {
        for (qsizetype i = 0; i < (row.size() == widths.size() ? row.size() : 1); ++i)
            widths[i] = std::max(widths[i], row.at(i).size());
    }
    for (const QStringList& row : std::as_const(rows)) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i) {
            const qsizetype width = row.size() == widths.size() || i == 0 ? widths.at(i) : row.at(i).size();
            line += i + 1 < row.size() ? row.at(i).leftJustified(width + 2) : row.at(i);
        }
        session.Host().Out(line);
    }
}

} // namespace

std::unique_ptr<CCtlCommand> MakeScanCommand()
{
    return std::make_unique<CCmdScan>();
}
