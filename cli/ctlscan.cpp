#include "cli/ctlscan.h"

#include "cli/consolehost.h"
#include "cli/ctlargs.h"
#include "cli/ctlreport.h"
#include "cli/ctltool.h"
#include "link/addressrange.h"
#include "link/printable.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>

using namespace Qt::StringLiterals;

namespace {

// A reply quoted after "no identity" is cut here.
constexpr qsizetype kQuotedReplyMax = 60;

QJsonValue Field(const CScanResult& result, int index)
{
    return result.IsGenerator() ? QJsonValue(result.m_fields.at(index)) : QJsonValue();
}

} // namespace

CCtlScan::CCtlScan(CConsoleHost& host, const CCtlArgs& args, CCtlReport& report,
                   const QProcessEnvironment& environment)
    : m_host(host), m_args(args), m_report(report), m_environment(environment)
{
}

void CCtlScan::Interrupt()
{
    QMetaObject::invokeMethod(
        &m_scan, [this] { m_scan.Cancel(); }, Qt::QueuedConnection);
}

int CCtlScan::Run()
{
    QList<CAddressRange> ranges;
    for (const QString& argument : m_args.Arguments()) {
        QString error;
        const std::optional<CAddressRange> range = CAddressRange::Parse(argument, &error);
        if (!range) {
            m_host.Error(error);
            return CTL_USAGE;
        }
        ranges.append(*range);
    }
    if (m_args.Arguments().isEmpty()) {
        ranges = CAddressRange::PcNetworks();
        if (ranges.isEmpty()) {
            m_host.Error(u"this PC has no network to scan (give a range)"_s);
            return CTL_FAILED;
        }
    }
    QString portFrom;
    const quint16 port = CCtlTool::ResolvePort(m_args, m_environment, m_host, &portFrom);
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
    m_report.Set(u"port"_s, int(port));
    m_report.Set(u"ranges"_s, rangeTexts);
    m_report.Set(u"scanned"_s, int(addresses.size()));

    m_scan.SetJobs(m_args.Jobs() > 0 ? m_args.Jobs() : CDeviceScan::DEFAULT_JOBS);
    if (m_args.ConnectTimeoutMs() > 0)
        m_scan.SetConnectTimeout(m_args.ConnectTimeoutMs());
    if (m_args.Verbose())
        m_host.Error(u"scanning %1 addresses (%2) on port %3 (from %4), %5 at once"_s.arg(addresses.size())
                         .arg(shown.join(u", "_s))
                         .arg(port)
                         .arg(portFrom)
                         .arg(m_scan.Jobs()));
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    bool stopped = false;
    QObject::connect(&m_scan, &CDeviceScan::Finished, &loop, [&](bool cancelled) {
        stopped = cancelled;
        loop.quit();
    });
    m_scan.Start(addresses, port);
    if (m_scan.IsRunning())
        loop.exec();

    const QList<CScanResult> results = m_scan.Results();
    Print(results);
    const auto found =
        std::count_if(results.cbegin(), results.cend(), [](const CScanResult& r) { return r.IsGenerator(); });
    m_report.Set(u"count"_s, int(found));
    if (m_args.Verbose())
        m_host.Error(u"%1 of %2 addresses answered with an identity in %3 s"_s.arg(found)
                         .arg(addresses.size())
                         .arg(double(clock.elapsed()) / 1000.0, 0, 'f', 1));
    if (found == 0) {
        // A scan cut short has found nothing yet; Ctrl+C says so itself.
        if (!stopped)
            m_host.Error(u"no generator answered"_s);
        return CTL_FAILED;
    }
    return CTL_OK;
}

void CCtlScan::Print(const QList<CScanResult>& results)
{
    QList<QStringList> rows;
    QJsonArray generators;
    for (const CScanResult& result : results) {
        if (!result.IsGenerator() && !m_args.Verbose())
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
    m_report.Set(u"generators"_s, generators);
    if (m_args.Json())
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
        m_host.Out(line);
    }
}
