#include "cli/ctltool.h"

#include "cli/consolehost.h"
#include "cli/ctlfleet.h"
#include "cli/ctlscan.h"
#include "cli/interruptwatcher.h"
#include "link/devicename.h"
#include "link/devicepath.h"
#include "link/printable.h"
#include "link/settingsnames.h"
#include "link/stringtable.h"
#include "link/transferchain.h"
#include "link/vqcomm.h"
#include "link/wiretrace.h"
#include "sim/simserver.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSaveFile>
#include <QSettings>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString NAME_EXISTS_TEXT =
    u"A file with the name you specified already exists.\n\nSpecify a different filename."_s;
const QString NEW_FOLDER_HERE_TEXT = u"Cannot create a new folder in this place."_s;
const QString REMOVE_FOLDER_TEXT = u"Cannot remove this folder."_s;
// A reply quoted in a message is cut here: a broken catalog can be megabytes.
constexpr qsizetype kQuotedReplyMax = 200;

QString SizeLine(const QString& label, double bytes)
{
    return u"%1 %2 %3"_s.arg(label, QString::number(qint64(bytes)), CVQComm::FormatSize(bytes));
}

QJsonObject MemoryObject(double used, double freeBytes)
{
    return QJsonObject{{u"used"_s, used}, {u"free"_s, freeBytes}, {u"total"_s, used + freeBytes}};
}

QJsonObject EntryObject(const QString& path, const CFileInfo& info)
{
    return QJsonObject{{u"name"_s, info.GetName()},
                       {u"path"_s, path},
                       {u"type"_s, info.IsFolder() ? u"folder"_s : u"file"_s},
                       {u"size"_s, double(info.GetSize())}};
}

QString EntryLine(const CFileInfo& info)
{
    return info.IsFolder() ? u"d 0 "_s + info.GetName()
                           : u"f %1 %2"_s.arg(QString::number(info.GetSize()), info.GetName());
}

QString Quoted(const QString& path)
{
    return u'"' + path + u'"';
}

} // namespace

const CFileInfo* CCtlTool::Listing::Find(const QString& name) const
{
    const QString upper = name.toUpper();
    const auto it = std::find_if(entries.cbegin(), entries.cend(),
                                 [&](const CFileInfo& entry) { return entry.GetUpperName() == upper; });
    return it == entries.cend() ? nullptr : &*it;
}

CCtlTool::CCtlTool(CConsoleHost& host) : m_host(host) {}

CCtlTool::~CCtlTool()
{
    // The watcher's thread reaches the link: it goes first.
    m_pWatcher.reset();
    m_pComm.reset();
    CWireTrace::Install(nullptr);
}

QString CCtlTool::StoredHost()
{
    const std::unique_ptr<QSettings> settings = vqsettings::OpenStore();
    settings->beginGroup(vqsettings::GROUP);
    return vqsettings::ReadTargetHost(*settings);
}

int CCtlTool::Run(const QStringList& arguments)
{
    switch (m_args.Parse(arguments)) {
    case CCtlArgs::Outcome::Usage:
        m_host.Error(m_args.ErrorText());
        m_host.Print(u"Try \"vq8ctl --help\".\n"_s);
        // A script that asked for JSON gets its document also now.
        if (arguments.contains(u"--json"_s)) {
            m_report.SetCommand(m_args.Command());
            m_host.Out(m_report.Document(CTL_USAGE, m_host.Messages()));
        }
        return CTL_USAGE;
    case CCtlArgs::Outcome::Help:
        m_host.Out(CCtlArgs::HelpText(m_args.HelpTopic()).chopped(1));
        return CTL_OK;
    case CCtlArgs::Outcome::Version:
        m_host.Out(u"vq8ctl "_s + QCoreApplication::applicationVersion());
        return CTL_OK;
    case CCtlArgs::Outcome::Run:
        break;
    }
    m_report.SetCommand(m_args.Command());
    m_host.SetQuiet(m_args.Quiet());
    m_host.SetForceProgress(m_args.Progress());
    m_host.SetAnswerPolicy(m_args.Yes()  ? AnswerPolicy::Yes
                           : m_args.No() ? AnswerPolicy::No
                                         : AnswerPolicy::Ask);
    if (m_args.Command() == u"scan") {
        CCtlScan scan(m_host, m_args, m_report, m_environment);
        return RunApart([&] { return scan.Run(); }, [&] { scan.Interrupt(); });
    }
    if (m_args.IsFleet()) {
        CCtlFleet fleet(m_host, m_args, m_report, m_environment);
        if (!m_strWorkerProgram.isEmpty())
            fleet.SetProgram(m_strWorkerProgram);
        return RunApart([&] { return fleet.Run(); }, [&] { fleet.Interrupt(); });
    }

    if (!OpenTrace())
        return Finish(CTL_FAILED);
    m_pComm = std::make_unique<CVQComm>(&m_host);
    m_pComm->SetDelayScale(m_delayScale);
    // Refusals are worded here, with what the generator was asked.
    m_pComm->SetShowRefusals(false);
    m_pWatcher =
        std::make_unique<CInterruptWatcher>([this](bool signalled) { return OnInterrupt(signalled); });

    const int errorsBefore = m_host.ErrorCount();
    int status = RunCommand();
    // A stop message means something failed, whatever the operation returned.
    if (status == CTL_OK && m_host.ErrorCount() != errorsBefore)
        status = CTL_FAILED;
    return Finish(status);
}

int CCtlTool::Finish(int status)
{
    m_pWatcher.reset();
    m_apartInterrupt = nullptr;
    if (Interrupted()) {
        status = CTL_INTERRUPTED;
        m_host.Error(u"interrupted"_s);
    }
    if (!m_args.Report().isEmpty()) {
        QSaveFile file(m_args.Report());
        const QByteArray document = m_report.Document(status, m_host.Messages()).toUtf8() + '\n';
        if (!file.open(QIODevice::WriteOnly) || file.write(document) != document.size() || !file.commit()) {
            m_host.Error(u"cannot write the report : \""_s + m_args.Report() + u"\": "_s +
                         file.errorString());
            status = status == CTL_OK ? CTL_FAILED : status;
        }
    }
    if (m_args.Json())
        m_host.Out(m_report.Document(status, m_host.Messages()));
    m_pComm.reset();
    m_pDemo.reset();
    CWireTrace::Install(nullptr);
    m_pTrace.reset();
    m_pTraceFile.reset();
    return status;
}

bool CCtlTool::OpenTrace()
{
    const QString target = m_args.Trace();
    if (target.isEmpty())
        return true;
    CWireTrace::Writer writer;
    if (target == u"-") {
        writer = [this](const QString& line) { m_host.TraceLine(line); };
    } else {
        m_pTraceFile = std::make_unique<QFile>(target);
        if (!m_pTraceFile->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
            m_host.Error(u"cannot write the trace : \""_s + target + u"\": "_s + m_pTraceFile->errorString());
            return false;
        }
        writer = [file = m_pTraceFile.get()](const QString& line) {
            file->write((line + u'\n').toUtf8());
            file->flush();
        };
    }
    m_pTrace = std::make_unique<CWireTrace>(std::move(writer));
    CWireTrace::Install(m_pTrace.get());
    return true;
}

void CCtlTool::Interrupt()
{
    OnInterrupt(true);
}

bool CCtlTool::OnInterrupt(bool signalled)
{
    // A command that runs without the link takes every Ctrl+C itself.
    if (m_apartInterrupt) {
        if (signalled) {
            ++m_interrupts;
            m_apartInterrupt();
        }
        return false;
    }
    // The watcher's thread: only the link's thread-safe calls and flags here.
    if (signalled && ++m_interrupts == 1 && m_transferring && !m_aborting) {
        // The engine's own Cancel: the batch ends after the file under way,
        // and an upload's partial file is removed by the worker.
        m_pComm->CancelTransfer();
        return false;
    }
    if (!m_aborting.exchange(true))
        m_host.SetInterrupted();
    // Every wait is cut, also those that begin after this call.
    m_pComm->AbortBlockingCall();
    if (m_transferring)
        m_pComm->CancelTransfer();
    return true;
}

int CCtlTool::Connect()
{
    QString hostFrom = u"--host"_s;
    QString portFrom = u"--port"_s;
    QString host = m_args.Host();
    quint16 port = m_args.Port();
    if (m_args.Demo()) {
        m_pDemo = std::make_unique<CSimServer>();
        CSimOptions options;
        options.m_nPort = 0;
        if (!m_pDemo->Start(options)) {
            m_host.Error(u"cannot start the emulator: "_s + m_pDemo->ErrorString());
            return 0;
        }
        host = m_pDemo->Address().toString();
        port = m_pDemo->Port();
        hostFrom = portFrom = u"--demo"_s;
    }
    if (host.isEmpty()) {
        host = m_environment.value(u"VQ8_HOST"_s).trimmed();
        hostFrom = u"VQ8_HOST"_s;
    }
    if (host.isEmpty()) {
        host = StoredHost();
        hostFrom = u"the desktop program's setting"_s;
    }
    if (host.isEmpty()) {
        host = vqsettings::DEFAULT_TARGET_HOST;
        hostFrom = u"the default"_s;
    }
    if (port == 0) {
        port = ResolvePort(m_args, m_environment, m_host, &portFrom);
        if (port == 0)
            return -1;
    }
    if (m_args.Verbose())
        m_host.Error(
            u"generator %1:%2 (address from %3, port from %4)"_s.arg(host).arg(port).arg(hostFrom, portFrom));
    m_pComm->SetHost(host);
    m_pComm->SetPort(port);
    m_report.Set(u"generator"_s, QJsonObject{{u"host"_s, host}, {u"port"_s, int(port)}});
    return m_pComm->Connect();
}

quint16 CCtlTool::ResolvePort(const CCtlArgs& args, const QProcessEnvironment& environment,
                              CConsoleHost& host, QString* from)
{
    if (args.Port() != 0) {
        *from = u"--port"_s;
        return args.Port();
    }
    if (environment.contains(u"VQ8_PORT"_s)) {
        *from = u"VQ8_PORT"_s;
        const quint16 port = CCtlArgs::ParsePort(environment.value(u"VQ8_PORT"_s));
        if (port == 0)
            host.Error(u"not a port in VQ8_PORT: \""_s + environment.value(u"VQ8_PORT"_s) + u'"');
        return port;
    }
    *from = u"the default"_s;
    return COMMAND_PORT;
}

int CCtlTool::RunApart(const std::function<int()>& run, const std::function<void()>& interrupt)
{
    m_apartInterrupt = interrupt;
    m_pWatcher =
        std::make_unique<CInterruptWatcher>([this](bool signalled) { return OnInterrupt(signalled); });
    return Finish(run());
}

int CCtlTool::RunCommand()
{
    switch (Connect()) {
    case -1:
        return CTL_USAGE;
    case 0:
        return CTL_FAILED;
    default:
        break;
    }
    const QString command = m_args.Command();
    if (command == u"idn")
        return CmdIdn();
    if (command == u"errors")
        return CmdErrors();
    if (!DrainEarlierErrors())
        return CTL_FAILED;
    if (command == u"ls")
        return CmdLs();
    if (command == u"df")
        return CmdDf();
    if (command == u"mkdir")
        return CmdMkdir();
    if (command == u"rmdir")
        return CmdRmdir();
    if (command == u"rm")
        return CmdRm();
    if (command == u"mv")
        return CmdMoveCopy(false);
    if (command == u"cp")
        return CmdMoveCopy(true);
    if (command == u"put")
        return CmdPut();
    if (command == u"get")
        return CmdGet();
    if (command == u"sync")
        return CmdSync();
    return CTL_USAGE; // the parser knows every command
}

int CCtlTool::Refuse(const QString& text)
{
    m_pComm->ShowError(text);
    return CTL_FAILED;
}

// --- error queue -------------------------------------------------------------

bool CCtlTool::ReadErrorQueue(QStringList& errors, QString* last)
{
    const int errorsBefore = m_host.ErrorCount();
    QString end;
    switch (m_pComm->ReadErrorQueue(errors, &end)) {
    case CVQComm::QueueEnd::Clear:
        if (last)
            *last = end;
        return true;
    case CVQComm::QueueEnd::NoReply:
        // A failed receive has been reported; an empty line is no answer either.
        if (m_host.ErrorCount() == errorsBefore)
            Refuse(u"No answer from the error queue."_s);
        return false;
    case CVQComm::QueueEnd::Unreadable:
        Refuse(u"Unreadable error queue entry : \""_s + ShortenedText(end, kQuotedReplyMax) + u'"');
        return false;
    case CVQComm::QueueEnd::TooLong:
        break;
    }
    Refuse(u"The error queue did not end after %1 entries."_s.arg(MAX_QUEUE_READS));
    return false;
}

void CCtlTool::ShowRefusal(const QStringList& entries)
{
    QStringList shown;
    for (const QString& entry : entries) {
        shown.append(ShortenedText(entry, kQuotedReplyMax));
        m_report.AddGeneratorError(entry);
    }
    m_host.Error(u"generator refused "_s + m_strSubject + u": "_s + shown.join(u"; "_s));
}

int CCtlTool::CheckErrorQueue()
{
    QStringList errors;
    const bool read = ReadErrorQueue(errors);
    if (!errors.isEmpty())
        ShowRefusal(errors);
    return read && errors.isEmpty() ? CTL_OK : CTL_FAILED;
}

bool CCtlTool::DrainEarlierErrors()
{
    QStringList errors;
    if (!ReadErrorQueue(errors))
        return false;
    for (const QString& error : errors) {
        m_host.Note(u"earlier generator error (before this command): "_s + error);
        m_report.AddEarlierError(error);
    }
    return true;
}

int CCtlTool::Change(const QString& action, const QString& path, const QString& target,
                     const std::function<int()>& run)
{
    m_strSubject =
        m_args.Command() + u' ' + Quoted(path) + (target.isEmpty() ? QString() : u' ' + Quoted(target));
    if (Interrupted())
        return CTL_FAILED;
    if (run()) {
        m_report.AddOperation(action, path, target, u"done"_s);
        return CTL_OK;
    }
    if (!m_pComm->LastRefusal().isEmpty())
        ShowRefusal(m_pComm->LastRefusal().split(u'\n'));
    m_report.AddOperation(action, path, target, u"failed"_s);
    return CTL_FAILED;
}

// --- catalog -----------------------------------------------------------------

bool CCtlTool::ReadListing(const QString& folder, Listing& listing, const QString& about)
{
    listing = Listing();
    listing.folder = folder;
    // A refused folder is told as the command the user gave.
    m_strSubject = m_args.Command() + u' ' + Quoted(about.isEmpty() ? folder : about);
    const int errorsBefore = m_host.ErrorCount();
    CFileInfo entry;
    int more = m_pComm->ReadCatalog(folder, entry);
    while (more) {
        listing.entries.append(entry);
        more = m_pComm->NextCatalogEntry(entry);
    }
    m_pComm->EndCatalog();
    if (m_host.ErrorCount() != errorsBefore)
        return false;
    const QString reply = m_pComm->LastReply();
    switch (m_pComm->LastCatalogEnd()) {
    case CVQComm::CatalogEnd::NoReply:
        Refuse(u"No catalog reply from the generator."_s);
        return false;
    case CVQComm::CatalogEnd::Unreadable:
        Refuse(u"Unreadable catalog reply : \""_s + ShortenedText(reply, kQuotedReplyMax) + u'"');
        return false;
    case CVQComm::CatalogEnd::CutShort:
        // A listing that ended early is not the folder.
        Refuse(u"Unreadable catalog entry in the reply : \""_s + ShortenedText(reply, kQuotedReplyMax) +
               u'"');
        return false;
    case CVQComm::CatalogEnd::Complete:
        break;
    }
    // The folder change is not answered: a refused folder shows in the queue only,
    // and the catalog then is that of another folder.
    if (CheckErrorQueue() != CTL_OK)
        return false;
    listing.bytes = m_pComm->LastCatalogBytes();
    listing.used = m_pComm->LastCatalogUsed();
    listing.freeBytes = m_pComm->LastCatalogFree();
    m_pComm->UpdateStatusText();
    return true;
}

const CCtlTool::Listing* CCtlTool::CachedListing(const QString& folder)
{
    const QString key = folder.toUpper();
    if (const auto it = m_listings.constFind(key); it != m_listings.cend())
        return &it.value();
    Listing listing;
    if (!ReadListing(folder, listing))
        return nullptr;
    return &m_listings.insert(key, listing).value();
}

CCtlTool::Found CCtlTool::LookUp(const QString& path, CFileInfo* entry)
{
    // A name the wire cannot carry is refused as such, not looked for.
    if (m_pComm->QuotedPath(path).isEmpty())
        return Found::Failed;
    Listing listing;
    if (!ReadListing(DeviceParent(path), listing, path))
        return Found::Failed;
    const CFileInfo* info = listing.Find(DeviceName(path));
    if (!info)
        return Found::No;
    if (entry)
        *entry = *info;
    return Found::Yes;
}

int CCtlTool::RequireEntry(const QString& path, CFileInfo* entry)
{
    switch (LookUp(path, entry)) {
    case Found::Failed:
        return CTL_FAILED;
    case Found::No:
        return Refuse(PathMessage(LoadStringResource(IDS_FILE_NOT_FOUND), path));
    case Found::Yes:
        break;
    }
    return CTL_OK;
}

bool CCtlTool::Resolve(const QString& argument, QList<Match>& matches, bool missingOk)
{
    const QString path = ToDevicePath(argument);
    if (HasPatternInFolder(path)) {
        Refuse(PathMessage(u"A pattern may stand only in the last name"_s, path));
        return false;
    }
    if (!IsDevicePattern(path)) {
        CFileInfo entry;
        switch (IsDeviceRoot(path) ? Found::No : LookUp(path, &entry)) {
        case Found::Failed:
            return false;
        case Found::No:
            if (missingOk)
                return true;
            Refuse(PathMessage(LoadStringResource(IDS_FILE_NOT_FOUND), path));
            return false;
        case Found::Yes:
            matches.append({JoinDevicePath(DeviceParent(path), entry.GetName()), entry});
            return true;
        }
    }
    Listing listing;
    const QString folder = DeviceParent(path);
    if (!ReadListing(folder, listing, path))
        return false;
    const QString pattern = DeviceName(path);
    const qsizetype before = matches.size();
    for (const CFileInfo& entry : std::as_const(listing.entries)) {
        if (MatchesDevicePattern(pattern, entry.GetName()))
            matches.append({JoinDevicePath(folder, entry.GetName()), entry});
    }
    // A name that only looks like a pattern is taken as it is.
    if (matches.size() == before) {
        if (const CFileInfo* literal = listing.Find(pattern))
            matches.append({JoinDevicePath(folder, literal->GetName()), *literal});
    }
    if (matches.size() == before && !missingOk) {
        Refuse(PathMessage(u"No match"_s, path));
        return false;
    }
    return true;
}

// --- commands ----------------------------------------------------------------

int CCtlTool::CmdIdn()
{
    if (!m_pComm->QueryIdentity())
        return CTL_FAILED;
    m_report.Set(u"identity"_s, m_pComm->LastReply());
    if (!m_args.Json())
        m_host.Out(m_pComm->LastReply());
    return CTL_OK;
}

int CCtlTool::CmdLs()
{
    const QString argument = m_args.Arguments().value(0);
    const QString path = ToDevicePath(argument);
    Listing listing;
    QList<Match> matches;
    const bool pattern = IsDevicePattern(path);
    if (HasPatternInFolder(path))
        return Refuse(PathMessage(u"A pattern may stand only in the last name"_s, path));
    if (pattern) {
        if (!Resolve(argument, matches, false) || !ReadListing(DeviceParent(path), listing))
            return CTL_FAILED;
    } else {
        if (!ReadListing(path, listing))
            return CTL_FAILED;
        for (const CFileInfo& info : std::as_const(listing.entries))
            matches.append({JoinDevicePath(path, info.GetName()), info});
    }
    QJsonArray entries;
    qint64 bytes = 0;
    for (const Match& match : std::as_const(matches)) {
        entries.append(EntryObject(match.path, match.entry));
        if (!match.entry.IsFolder())
            bytes += match.entry.GetSize();
        if (!m_args.Json())
            m_host.Out(EntryLine(match.entry));
    }
    m_report.Set(u"path"_s, listing.folder);
    m_report.Set(u"pattern"_s, pattern ? QJsonValue(DeviceName(path)) : QJsonValue());
    m_report.Set(u"entries"_s, entries);
    m_report.Set(u"count"_s, int(matches.size()));
    m_report.Set(u"bytes"_s, double(bytes));
    m_report.Set(u"memory"_s, MemoryObject(listing.used, listing.freeBytes));
    if (!m_args.Json() && !pattern) {
        m_host.Status(m_host.ObjectsText());
        m_host.Status(m_host.MemoryText());
    }
    return CTL_OK;
}

int CCtlTool::CmdDf()
{
    Listing listing;
    if (!ReadListing(DEVICE_ROOT_PATH, listing))
        return CTL_FAILED;
    m_report.Set(u"memory"_s, MemoryObject(listing.used, listing.freeBytes));
    if (!m_args.Json()) {
        m_host.Out(SizeLine(u"used"_s, listing.used));
        m_host.Out(SizeLine(u"free"_s, listing.freeBytes));
        m_host.Out(SizeLine(u"total"_s, listing.used + listing.freeBytes));
    }
    return CTL_OK;
}

int CCtlTool::CmdMkdir()
{
    const bool parents = m_args.Parents();
    for (const QString& argument : m_args.Arguments()) {
        if (Interrupted())
            return CTL_FAILED;
        const QString path = ToDevicePath(argument);
        // The folders from the first level down to the path; the root's own
        // (the first level) are never made.
        QStringList chain;
        for (QString step = path; !IsDeviceRoot(step); step = DeviceParent(step))
            chain.prepend(step);
        if (!parents && IsFixedDeviceFolder(path))
            return Refuse(NEW_FOLDER_HERE_TEXT);
        if (!parents)
            chain = QStringList{path};
        bool madeOne = false; // below a folder just made nothing exists yet
        for (const QString& folder : std::as_const(chain)) {
            CFileInfo existing;
            const Found found = madeOne ? Found::No : LookUp(folder, &existing);
            if (found == Found::Failed)
                return CTL_FAILED;
            if (found == Found::Yes) {
                if (!parents)
                    return Refuse(NAME_EXISTS_TEXT);
                if (!existing.IsFolder())
                    return Refuse(PathMessage(u"Not a folder"_s, folder));
                if (folder == path)
                    m_report.AddOperation(u"mkdir"_s, folder, QString(), u"existed"_s);
                continue;
            }
            if (IsFixedDeviceFolder(folder))
                return Refuse(NEW_FOLDER_HERE_TEXT);
            if (!m_pComm->CheckNewName(DeviceName(folder)))
                return CTL_FAILED;
            if (Change(u"mkdir"_s, folder, QString(), [&] { return m_pComm->MakeFolder(folder); }) != CTL_OK)
                return CTL_FAILED;
            madeOne = true;
        }
    }
    return CTL_OK;
}

int CCtlTool::CmdRmdir()
{
    for (const QString& argument : m_args.Arguments()) {
        const QString path = ToDevicePath(argument);
        if (IsFixedDeviceFolder(path))
            return Refuse(REMOVE_FOLDER_TEXT);
        CFileInfo entry;
        if (const int result = RequireEntry(path, &entry); result != CTL_OK)
            return result;
        if (!entry.IsFolder())
            return Refuse(PathMessage(u"Not a folder"_s, path));
        if (!m_pComm->IsFolderEmpty(path))
            return Refuse(PathMessage(u"Folder not empty"_s, path));
        if (Change(u"rmdir"_s, path, QString(), [&] { return m_pComm->RemoveFolder(path); }) != CTL_OK)
            return CTL_FAILED;
    }
    return CTL_OK;
}

int CCtlTool::CmdRm()
{
    // In order, stopping at the first failure; what went before stays deleted.
    for (const QString& argument : m_args.Arguments()) {
        const QString named = ToDevicePath(argument);
        if (IsFixedDeviceFolder(named) && !IsDevicePattern(named))
            return Refuse(REMOVE_FOLDER_TEXT);
        QList<Match> matches;
        if (!Resolve(argument, matches, m_args.Force()))
            return CTL_FAILED;
        if (matches.isEmpty())
            m_report.AddOperation(u"delete"_s, named, QString(), u"missing"_s);
        for (const Match& match : std::as_const(matches)) {
            if (Interrupted())
                return CTL_FAILED;
            const QString& path = match.path;
            if (IsFixedDeviceFolder(path))
                return Refuse(REMOVE_FOLDER_TEXT);
            if (match.entry.IsFolder() && !m_pComm->IsFolderEmpty(path)) {
                if (!m_args.Recursive())
                    return Refuse(
                        PathMessage(u"Folder not empty (rm -r removes it with its entries)"_s, path));
                // "mmem:del:all" empties the folder and keeps it.
                if (Change(u"delete-all"_s, path, QString(), [&] { return m_pComm->DeleteAll(path); }) !=
                    CTL_OK)
                    return CTL_FAILED;
            }
            if (Change(u"delete"_s, path, QString(), [&] { return m_pComm->DeleteEntry(path); }) != CTL_OK)
                return CTL_FAILED;
        }
    }
    return CTL_OK;
}

int CCtlTool::CmdMoveCopy(bool copy)
{
    const QString source = ToDevicePath(m_args.Arguments().at(0));
    QString target = ToDevicePath(m_args.Arguments().at(1));
    if (IsDeviceRoot(source) || (!copy && IsFixedDeviceFolder(source)))
        return Refuse(LoadStringResource(IDS_CANNOT_RENAME_FOLDER));
    if (const int result = RequireEntry(source); result != CTL_OK)
        return result;
    // Into an existing folder under the entry's own name, else to the new path.
    CFileInfo existing;
    Found found = IsDeviceRoot(target) ? Found::Yes : LookUp(target, &existing);
    if (found == Found::Yes && (IsDeviceRoot(target) || existing.IsFolder())) {
        target = JoinDevicePath(target, DeviceName(source));
        found = IsFixedDeviceFolder(target) ? Found::No : LookUp(target);
    }
    if (found == Found::Failed)
        return CTL_FAILED;
    if (IsFixedDeviceFolder(target))
        return Refuse(CTL_ROOT_TARGET_TEXT);
    if (found == Found::Yes)
        return Refuse(NAME_EXISTS_TEXT);
    if (!m_pComm->CheckNewName(DeviceName(target)))
        return CTL_FAILED;
    return Change(copy ? u"copy"_s : u"move"_s, source, target, [&] {
        return copy ? m_pComm->CopyEntry(source, target) : m_pComm->MoveEntry(source, target);
    });
}

int CCtlTool::CmdErrors()
{
    QStringList errors;
    QString last;
    const bool read = ReadErrorQueue(errors, &last);
    QJsonArray entries;
    for (const QString& error : std::as_const(errors)) {
        entries.append(CCtlReport::QueueEntry(error));
        m_report.AddGeneratorError(error);
        if (!m_args.Json())
            m_host.Out(error);
    }
    m_report.Set(u"errors"_s, entries);
    if (!read)
        return CTL_FAILED;
    if (!m_args.Json())
        m_host.Out(last);
    return errors.isEmpty() ? CTL_OK : CTL_FAILED;
}

int CCtlTool::RunBatch(const std::function<int()>& start)
{
    CTransferChain chain(m_pComm.get());
    QEventLoop loop;
    bool ended = false;
    QObject::connect(&chain, &CTransferChain::BatchEnded, &loop, [&](int) {
        ended = true;
        loop.quit();
    });
    m_host.SetTransferReceiver(&chain);
    m_transferClock.start();
    m_transferring = true;
    // A Ctrl+C that came just before is the engine's Cancel all the same.
    if (Interrupted())
        m_pComm->CancelTransfer();
    const int started = start();
    if (started && !ended)
        loop.exec();
    m_transferring = false;
    m_transferMs += m_transferClock.elapsed();
    m_host.SetTransferReceiver(nullptr);
    m_host.EndProgress();
    if (!started) {
        // Refused before anything moved; the link may have closed the channel.
        if (!m_pComm->IsConnected() && !Interrupted())
            m_pComm->Connect();
        return CTL_FAILED;
    }
    if (Interrupted())
        return CTL_FAILED;
    return m_pComm->IsConnected() ? CTL_OK : CTL_FAILED;
}
