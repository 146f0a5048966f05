#include "cli/ctlfleet.h"

#include "cli/consolehost.h"
#include "cli/ctlargs.h"
#include "cli/ctlcommand.h"
#include "cli/ctlregistry.h"
#include "cli/ctlreport.h"
#include "cli/ctlsession.h"
#include "cli/ctltarget.h"
#include "cli/workerprocess.h"
#include "link/addressrange.h"
#include "link/hostport.h"
#include "link/vqcomm.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLockFile>

using namespace Qt::StringLiterals;

namespace {

// "2 files, 7.81KB"; under --dry-run "2 files planned, 7.81KB".
QString FilesText(int files, double bytes, bool planned)
{
    return u"%1 file%2%3, %4"_s.arg(files)
        .arg(files == 1 ? QString() : u"s"_s)
        .arg(planned ? u" planned"_s : QString())
        .arg(CVQComm::FormatSize(bytes));
}

// A generator as part of a PC name: a port's colon is no part of a Windows
// name ("127.0.0.1_5001").
QString FileNameOf(const QString& host)
{
    return QString(host).replace(u':', u'_');
}

// A word written as an address or a range (digits and dots first), whether or
// not it is a valid one; a host name never looks like this.
bool LooksLikeAddress(const QString& word)
{
    return !word.isEmpty() && word.front().isDigit() && word.contains(u'.') && !word.back().isLetter();
}

} // namespace

struct CCtlFleet::CMember
{
    QString host;
    QStringList arguments;
    QString reportPath;
    QString pcFolder; // made for this generator; removed again if it stays empty
    std::unique_ptr<CWorkerProcess> process;
    QByteArray pending[2]; // standard output and error: the line not yet ended
    QElapsedTimer clock;
    qint64 ms = 0;
    int status = -1; // -1: not run (yet)
    bool ended = false;
    QJsonObject document;
};

CCtlFleet::CCtlFleet(CConsoleHost& host, const CCtlArgs& args, CCtlReport& report,
                     const QProcessEnvironment& environment)
    : m_host(host), m_args(args), m_report(report), m_environment(environment),
      m_strProgram(QCoreApplication::applicationFilePath()),
      m_reports(QDir(QDir::tempPath()).filePath(SPOOL_PREFIX + u"XXXXXX"_s))
{
    // The folder is this run's while its lock is held; the lock of a run
    // that was killed is stale, and that run's folder goes here.
    if (m_reports.isValid()) {
        m_pLock = std::make_unique<QLockFile>(m_reports.filePath(SPOOL_LOCK));
        m_pLock->setStaleLockTime(0);
        m_pLock->tryLock(0);
    }
    RemoveAbandonedSpools();
}

void CCtlFleet::RemoveAbandonedSpools()
{
    const QDir temp(QDir::tempPath());
    for (const QString& name :
         temp.entryList({SPOOL_PREFIX + u"??????"_s}, QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString folder = temp.filePath(name);
        // A folder without its lock may be a run's that is just starting.
        if (folder == m_reports.path() || !QFileInfo::exists(QDir(folder).filePath(SPOOL_LOCK)))
            continue;
        QLockFile lock(QDir(folder).filePath(SPOOL_LOCK));
        lock.setStaleLockTime(0);
        if (lock.tryLock(0)) {
            lock.unlock();
            QDir(folder).removeRecursively();
        }
    }
}

CCtlFleet::~CCtlFleet() = default;

void CCtlFleet::Interrupt(CConsole::Request request)
{
    QMetaObject::invokeMethod(
        this, [this, request] { OnInterrupt(request); }, Qt::QueuedConnection);
}

bool CCtlFleet::ParseHostList(const QString& text, QStringList& hosts, QString* error)
{
    for (const QStringView line : QStringView(text).split(u'\n')) {
        const QStringView kept = line.first(line.contains(u'#') ? line.indexOf(u'#') : line.size()).trimmed();
        if (kept.isEmpty())
            continue;
        const QString word = kept.split(u' ', Qt::SkipEmptyParts).first().split(u'\t').first().toString();
        // A range gives its addresses; anything else is a host name as it is.
        const auto place = CHostPort::Parse(word);
        if (const auto range = CAddressRange::Parse(word)) {
            for (const QHostAddress& address : range->Addresses())
                hosts.append(address.toString());
        } else if (place && place->m_nPort != 0) {
            // One generator of several behind one address.
            hosts.append(place->Text());
        } else if (LooksLikeAddress(word)) {
            // Looks like an address or a range and is none: a typing error, not a name.
            CAddressRange::Parse(word, error);
            return false;
        } else {
            hosts.append(word);
        }
    }
    return true;
}

bool CCtlFleet::ExpandHosts(QStringList& hosts, QString* error) const
{
    hosts = m_args.Hosts();
    for (const QString& list : m_args.HostLists()) {
        QStringList more;
        if (CAddressRange::Parse(list)) {
            ParseHostList(list, more, error);
        } else if (list != u"-" && !QFileInfo::exists(list) && LooksLikeAddress(list)) {
            // A range that is not one (too wide, mistyped) is said as such, not as a missing file.
            CAddressRange::Parse(list, error);
            *error = u"--hosts: "_s + *error;
            return false;
        } else {
            QFile file;
            const bool opened = list == u"-" ? file.open(stdin, QIODevice::ReadOnly)
                                             : (file.setFileName(list), file.open(QIODevice::ReadOnly));
            if (!opened) {
                *error = u"cannot read the list of generators : \"%1\": %2"_s.arg(
                    CCtlSession::ShownPcPath(list), file.errorString());
                return false;
            }
            if (!ParseHostList(QString::fromLocal8Bit(file.readAll()), more, error)) {
                *error = list + u": "_s + *error;
                return false;
            }
        }
        for (const QString& host : std::as_const(more)) {
            // The same generator twice would be served twice at once.
            if (!hosts.contains(host))
                hosts.append(host);
        }
    }
    if (hosts.isEmpty()) {
        *error = u"no generator in the list"_s;
        return false;
    }
    return true;
}

bool CCtlFleet::PrepareMembers(const QStringList& hosts, quint16 port)
{
    const QString command = m_args.Command();
    CCtlFleetArguments fleet;
    if (!CCtlRegistry::Find(command)->FleetArguments(m_args, m_host, fleet))
        return false;

    QStringList common = m_args.ForwardedOptions();
    common << u"--port"_s << QString::number(port);
    for (qsizetype i = 0; i < hosts.size(); ++i) {
        auto member = std::make_unique<CMember>();
        member->host = hosts.at(i);
        member->reportPath = m_reports.filePath(u"%1.json"_s.arg(i));
        QStringList own = fleet.arguments;
        if (fleet.pcIndex >= 0) {
            const QString folder = QDir(fleet.pcParent).filePath(FileNameOf(member->host));
            if (fleet.madeBefore && !QFileInfo::exists(folder)) {
                if (!QDir().mkpath(folder)) {
                    m_host.Error(
                        u"Cannot make the PC folder : \"%1\""_s.arg(CCtlSession::ShownPcPath(folder)));
                    return false;
                }
                member->pcFolder = folder;
            }
            // A name ending in "/" is always taken as a folder.
            own[fleet.pcIndex] = fleet.madeBefore ? folder + u'/' : folder;
        }
        member->arguments = common;
        member->arguments << u"--host"_s << member->host << u"--report"_s << member->reportPath;
        if (!m_args.Trace().isEmpty())
            member->arguments << u"--trace"_s
                              << (m_args.Trace() == u"-" ? m_args.Trace()
                                                         : m_args.Trace() + u'.' + FileNameOf(member->host));
        member->arguments << u"--"_s << command << own;
        m_members.push_back(std::move(member));
    }
    return true;
}

int CCtlFleet::Run()
{
    QString error;
    QStringList hosts;
    if (!ExpandHosts(hosts, &error)) {
        m_host.Error(error);
        return CTL_USAGE;
    }
    QString portFrom;
    m_nPort = CCtlTarget::ResolvePort(m_args, m_environment, m_host, &portFrom);
    if (m_nPort == 0)
        return CTL_USAGE;
    if (!m_reports.isValid()) {
        m_host.Error(u"Cannot make a temporary folder"_s);
        return CTL_FAILED;
    }
    if (!PrepareMembers(hosts, m_nPort))
        return CTL_USAGE;
    const int jobs = m_args.Jobs() > 0 ? m_args.Jobs() : DEFAULT_JOBS;
    if (m_args.Verbose())
        m_host.Error(u"%1 on %2 generators (port %3, from %4), %5 at once"_s.arg(m_args.Command())
                         .arg(hosts.size())
                         .arg(m_nPort)
                         .arg(portFrom)
                         .arg(jobs));

    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    m_nNext = 0;
    m_nRunning = 0;
    connect(this, &CCtlFleet::Ended, &loop, &QEventLoop::quit);
    StartNext();
    if (!AllEnded())
        loop.exec();
    for (const auto& member : m_members) {
        // A folder made for a run that wrote nothing in it (a dry run, a failure) goes again.
        if (!member->pcFolder.isEmpty())
            QDir().rmdir(member->pcFolder);
    }
    return Summarise(clock.elapsed());
}

bool CCtlFleet::AllEnded() const
{
    return m_nRunning == 0 && (m_nNext >= m_members.size() || m_nInterrupts > 0);
}

void CCtlFleet::StartNext()
{
    const int jobs = m_args.Jobs() > 0 ? m_args.Jobs() : DEFAULT_JOBS;
    while (m_nInterrupts == 0 && m_nNext < m_members.size() && m_nRunning < jobs)
        Start(*m_members.at(m_nNext++));
    if (AllEnded())
        Q_EMIT Ended();
}

void CCtlFleet::Start(CMember& member)
{
    member.process = std::make_unique<CWorkerProcess>();
    CWorkerProcess* process = member.process.get();
    process->setProgram(m_strProgram);
    process->setArguments(member.arguments);
    process->setProcessEnvironment(m_environment);
    connect(process, &QProcess::readyReadStandardOutput, this,
            [this, &member] { ForwardOutput(member, false, false); });
    connect(process, &QProcess::readyReadStandardError, this,
            [this, &member] { ForwardOutput(member, true, false); });
    connect(process, &QProcess::finished, this, [this, &member](int code, QProcess::ExitStatus exitStatus) {
        Finished(member, exitStatus == QProcess::NormalExit ? code : CTL_FAILED);
    });
    connect(process, &QProcess::errorOccurred, this, [this, &member](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        m_host.Error(
            u"%1: cannot start %2: %3"_s.arg(member.host, m_strProgram, member.process->errorString()));
        Finished(member, CTL_FAILED);
    });
    ++m_nRunning;
    member.clock.start();
    process->start();
    // No run asks a question: the answers are --yes and --no.
    process->closeWriteChannel();
}

void CCtlFleet::ForwardOutput(CMember& member, bool errorStream, bool all)
{
    QByteArray& pending = member.pending[errorStream ? 1 : 0];
    pending += errorStream ? member.process->readAllStandardError() : member.process->readAllStandardOutput();
    qsizetype start = 0;
    for (;;) {
        qsizetype end = pending.indexOf('\n', start);
        if (end < 0 && all && start < pending.size())
            end = pending.size();
        if (end < 0)
            break;
        qsizetype length = end - start;
        // A run's text output ends its lines with CR LF on Windows.
        if (length > 0 && end < pending.size() && pending.at(end - 1) == '\r')
            --length;
        const QString line = QString::fromUtf8(pending.sliced(start, length));
        start = end + 1;
        if (!errorStream) {
            // The document is the report of all the runs; their lines would
            // spoil it. A reader gone ends every run at once, before another starts.
            if (!m_args.Json() && !m_host.OutputClosed() && !m_host.Out(member.host + u": "_s + line))
                OnInterrupt(CConsole::Request::Terminate);
        } else if (line.startsWith(CConsoleHost::PREFIX)) {
            m_host.Print(CConsoleHost::PREFIX + member.host + u": "_s +
                         line.sliced(CConsoleHost::PREFIX.size()) + u'\n');
        } else {
            m_host.Print(member.host + u": "_s + line + u'\n');
        }
    }
    pending.remove(0, std::min(start, pending.size()));
}

void CCtlFleet::Finished(CMember& member, int status)
{
    if (member.ended)
        return;
    member.ended = true;
    member.ms = member.clock.elapsed();
    member.status = status;
    ForwardOutput(member, false, true);
    ForwardOutput(member, true, true);
    QFile file(member.reportPath);
    if (file.open(QIODevice::ReadOnly))
        member.document = QJsonDocument::fromJson(file.readAll()).object();
    --m_nRunning;
    StartNext();
}

void CCtlFleet::OnInterrupt(CConsole::Request request)
{
    ++m_nInterrupts;
    for (const auto& member : m_members) {
        if (!member->process || member->ended)
            continue;
        // A third press is for a run that does not stop.
        if (m_nInterrupts >= 3)
            member->process->kill();
        else if (request == CConsole::Request::Terminate)
            member->process->terminate();
        else
            member->process->Interrupt();
    }
    StartNext();
}

int CCtlFleet::Summarise(qint64 ms)
{
    QJsonArray documents;
    int done = 0;
    int files = 0;
    double bytes = 0;
    bool moved = false; // a command that moves files
    for (const auto& member : m_members) {
        QJsonObject document = member->document;
        QString reason;
        if (member->status < 0) {
            reason = u"not started (interrupted)"_s;
        } else if (document.isEmpty()) {
            reason = member->status == CTL_INTERRUPTED ? u"interrupted"_s : u"ended without a report"_s;
        } else if (member->status != CTL_OK) {
            // One reason per generator: what the run found its failure to be.
            reason = document.value(u"failure"_s).toObject().value(u"message"_s).toString();
            if (reason.isEmpty())
                reason = document.value(u"error"_s).toObject().value(u"message"_s).toString();
        }
        if (document.isEmpty()) {
            // The runs that said nothing get a document of the same keys.
            document = QJsonObject{
                {u"command"_s, m_args.Command()},
                {u"generator"_s, QJsonObject{{u"host"_s, member->host}, {u"port"_s, int(m_nPort)}}},
                {u"ok"_s, false},
                {u"status"_s, member->status < 0 ? CTL_INTERRUPTED : member->status},
                {u"earlierErrors"_s, QJsonArray()},
                {u"error"_s, QJsonObject{{u"message"_s, reason},
                                         {u"messages"_s, QJsonArray{reason}},
                                         {u"generatorErrors"_s, QJsonArray()}}},
                {u"failure"_s, QJsonObject{{u"kind"_s, member->status == CTL_INTERRUPTED || member->status < 0
                                                           ? u"interrupted"_s
                                                           : u"failed"_s},
                                           {u"message"_s, reason}}}};
        }
        document.insert(u"seconds"_s, double(member->ms) / 1000.0);
        documents.append(document);

        QString figures;
        const QJsonObject summary = document.value(u"summary"_s).toObject();
        if (!summary.isEmpty()) {
            moved = true;
            const int count = summary.value(u"files"_s).toInt();
            files += count;
            bytes += summary.value(u"bytes"_s).toDouble();
            figures =
                FilesText(count, summary.value(u"bytes"_s).toDouble(), m_args.IsSet(CTL_OPTION_DRY_RUN)) +
                u", "_s;
        }
        figures = u" ("_s + figures + u"%1 s)"_s.arg(double(member->ms) / 1000.0, 0, 'f', 1);
        if (member->status == CTL_OK) {
            ++done;
            m_host.Note(member->host + u": done"_s + figures);
        } else {
            m_host.Error(member->host + u": failed"_s + figures + u": "_s +
                         (reason.isEmpty() ? u"failed"_s : reason));
        }
    }
    const int count = int(m_members.size());
    m_report.Set(u"generators"_s, documents);
    m_report.Set(u"summary"_s, QJsonObject{{u"generators"_s, count},
                                           {u"done"_s, done},
                                           {u"failed"_s, count - done},
                                           {u"files"_s, files},
                                           {u"bytes"_s, bytes},
                                           {u"seconds"_s, double(ms) / 1000.0}});
    QString total = u"%1 of %2 generators done"_s.arg(done).arg(count);
    if (moved)
        total += u", "_s + FilesText(files, bytes, m_args.IsSet(CTL_OPTION_DRY_RUN));
    total += u" in %1 s"_s.arg(double(ms) / 1000.0, 0, 'f', 1);
    if (done == count) {
        m_host.Note(total);
        return CTL_OK;
    }
    m_host.Error(total);
    return CTL_FAILED;
}
