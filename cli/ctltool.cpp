#include "ctltool.h"

#include "consolehost.h"
#include "devicepath.h"
#include "interruptwatcher.h"
#include "realscan.h"
#include "settingsnames.h"
#include "simserver.h"
#include "stringtable.h"
#include "transferchain.h"
#include "vqcomm.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString NAME_EXISTS_TEXT =
    u"A file with the name you specified already exists.\n\nSpecify a different filename."_s;
const QString NEW_FOLDER_HERE_TEXT = u"Cannot create a new folder in this place."_s;
const QString REMOVE_FOLDER_TEXT = u"Cannot remove this folder."_s;
const QString ROOT_TARGET_TEXT = u"Nothing can be placed directly in \"/F0:/\"."_s;

QString SizeLine(const QString& label, double bytes)
{
    return u"%1 %2 %3"_s.arg(label, QString::number(qint64(bytes)), CVQComm::FormatSize(bytes));
}

} // namespace

CCtlTool::CCtlTool(CConsoleHost& host) : m_host(host) {}

CCtlTool::~CCtlTool() = default;

QString CCtlTool::StoredHost()
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, vqsettings::ORGANISATION,
                       vqsettings::APPLICATION);
    settings.beginGroup(vqsettings::GROUP);
    const QVariant value = settings.value(vqsettings::KEY_TARGET_HOST);
    // A hand-edited ini file may hold an unquoted list, which reads back as its parts.
    const QString host =
        (value.typeId() == QMetaType::QStringList ? value.toStringList().join(u',') : value.toString())
            .trimmed();
    return host.isEmpty() ? vqsettings::DEFAULT_TARGET_HOST : host;
}

int CCtlTool::Run(const QStringList& arguments)
{
    switch (m_args.Parse(arguments)) {
    case CCtlArgs::Outcome::Usage:
        m_host.Error(m_args.ErrorText());
        m_host.Print(u"Try \"vq8ctl --help\".\n"_s);
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
    m_host.SetQuiet(m_args.Quiet());
    m_host.SetAnswerPolicy(m_args.Yes()  ? AnswerPolicy::Yes
                           : m_args.No() ? AnswerPolicy::No
                                         : AnswerPolicy::Ask);

    const int errorsBefore = m_host.ErrorCount();
    int status = RunCommand();
    // A stop message means something failed, whatever the operation returned.
    if (status == CTL_OK && m_host.ErrorCount() != errorsBefore)
        status = CTL_FAILED;
    m_pComm.reset();
    m_pDemo.reset();
    return status;
}

void CCtlTool::Interrupt()
{
    m_interrupted = true;
    // The engine's own Cancel: the batch ends after the current file, and an
    // upload's partial file is removed by the worker.
    if (m_transferring)
        m_pComm->CancelTransfer();
}

int CCtlTool::Connect()
{
    m_pComm = std::make_unique<CVQComm>(&m_host);
    m_pComm->SetDelayScale(m_delayScale);
    if (m_args.Demo()) {
        m_pDemo = std::make_unique<vqsim::SimServer>();
        vqsim::SimOptions options;
        options.port = 0;
        if (!m_pDemo->Start(options)) {
            m_host.Error(u"cannot start the emulator: "_s + m_pDemo->ErrorString());
            return 0;
        }
        m_pComm->SetHost(m_pDemo->Address().toString());
        m_pComm->SetPort(m_pDemo->Port());
    } else {
        m_pComm->SetHost(m_args.Host().isEmpty() ? StoredHost() : m_args.Host());
        m_pComm->SetPort(m_args.Port());
    }
    return m_pComm->Connect();
}

int CCtlTool::RunCommand()
{
    if (!Connect())
        return CTL_FAILED;
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
        Refuse(u"Unreadable error queue entry : \""_s + end + u'"');
        return false;
    case CVQComm::QueueEnd::TooLong:
        break;
    }
    Refuse(u"The error queue did not end after %1 entries."_s.arg(MAX_QUEUE_READS));
    return false;
}

int CCtlTool::CheckErrorQueue()
{
    QStringList errors;
    const bool read = ReadErrorQueue(errors);
    for (const QString& error : errors)
        m_host.Error(u"generator error: "_s + error);
    return read && errors.isEmpty() ? CTL_OK : CTL_FAILED;
}

bool CCtlTool::DrainEarlierErrors()
{
    QStringList errors;
    if (!ReadErrorQueue(errors))
        return false;
    for (const QString& error : errors)
        m_host.Note(u"earlier generator error (before this command): "_s + error);
    return true;
}

// --- catalog -----------------------------------------------------------------

bool CCtlTool::ReadListing(const QString& folder, Listing& listing)
{
    listing = Listing();
    listing.folder = folder;
    const int errorsBefore = m_host.ErrorCount();
    // The count is set only once a reply has arrived: a failure leaves the mark.
    g_catalogCount = -1;
    CFileInfo entry;
    int more = m_pComm->ReadCatalog(folder, entry);
    while (more) {
        listing.entries.append(entry);
        more = m_pComm->NextCatalogEntry(entry);
    }
    m_pComm->EndCatalog();
    if (m_host.ErrorCount() != errorsBefore)
        return false;
    const QString reply = g_replyLine;
    if (g_catalogCount < 0 || reply.isEmpty()) {
        Refuse(u"No catalog reply from the generator."_s);
        return false;
    }
    // An empty folder and an unreadable reply both end the cursor at once;
    // only the figures tell them apart.
    const qsizetype quote = reply.indexOf(u'"');
    double used = 0.0;
    double freeBytes = 0.0;
    if (!ScanRealPair(QStringView(reply).first(quote < 0 ? reply.size() : std::max<qsizetype>(quote - 1, 0)),
                      used, freeBytes)) {
        Refuse(u"Unreadable catalog reply : \""_s + reply + u'"');
        return false;
    }
    // A listing that ended early is not the folder.
    if (m_pComm->CatalogCutShort()) {
        Refuse(u"Unreadable catalog entry in the reply : \""_s + reply + u'"');
        return false;
    }
    // The folder change is not answered: a refused folder shows in the queue only,
    // and the catalog then is that of another folder.
    if (CheckErrorQueue() != CTL_OK)
        return false;
    listing.bytes = g_catalogBytes;
    listing.used = used;
    listing.freeBytes = freeBytes;
    m_pComm->UpdateStatusText();
    return true;
}

CCtlTool::Found CCtlTool::LookUp(const QString& path, CFileInfo* entry)
{
    // A name the wire cannot carry is refused as such, not looked for.
    if (m_pComm->QuotedPath(path).isEmpty())
        return Found::Failed;
    Listing listing;
    if (!ReadListing(DeviceParent(path), listing))
        return Found::Failed;
    const QString upper = DeviceName(path).toUpper();
    for (const CFileInfo& info : std::as_const(listing.entries)) {
        if (info.GetUpperName() == upper) {
            if (entry)
                *entry = info;
            return Found::Yes;
        }
    }
    return Found::No;
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

// --- commands ----------------------------------------------------------------

int CCtlTool::CmdIdn()
{
    if (!m_pComm->QueryIdentity())
        return CTL_FAILED;
    m_host.Out(g_replyLine);
    return CTL_OK;
}

int CCtlTool::CmdLs()
{
    Listing listing;
    if (!ReadListing(ToDevicePath(m_args.Arguments().value(0)), listing))
        return CTL_FAILED;
    if (m_args.Json()) {
        QJsonArray entries;
        for (const CFileInfo& info : std::as_const(listing.entries)) {
            entries.append(QJsonObject{{u"name"_s, info.GetName()},
                                       {u"folder"_s, info.IsFolder() != 0},
                                       {u"size"_s, double(info.GetSize())}});
        }
        const QJsonObject document{{u"folder"_s, listing.folder},
                                   {u"entries"_s, entries},
                                   {u"count"_s, int(listing.entries.size())},
                                   {u"bytes"_s, double(listing.bytes)},
                                   {u"memoryUsed"_s, listing.used},
                                   {u"memoryFree"_s, listing.freeBytes},
                                   {u"objectsText"_s, m_host.ObjectsText()},
                                   {u"memoryText"_s, m_host.MemoryText()}};
        m_host.Out(QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented)).trimmed());
        return CTL_OK;
    }
    for (const CFileInfo& info : std::as_const(listing.entries)) {
        m_host.Out(info.IsFolder() ? u"d 0 "_s + info.GetName()
                                   : u"f %1 %2"_s.arg(QString::number(info.GetSize()), info.GetName()));
    }
    m_host.Status(m_host.ObjectsText());
    m_host.Status(m_host.MemoryText());
    return CTL_OK;
}

int CCtlTool::CmdDf()
{
    Listing listing;
    if (!ReadListing(DEVICE_ROOT.toString(), listing))
        return CTL_FAILED;
    const double total = listing.used + listing.freeBytes;
    if (m_args.Json()) {
        const QJsonObject document{
            {u"used"_s, listing.used}, {u"free"_s, listing.freeBytes}, {u"total"_s, total}};
        m_host.Out(QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented)).trimmed());
        return CTL_OK;
    }
    m_host.Out(SizeLine(u"used"_s, listing.used));
    m_host.Out(SizeLine(u"free"_s, listing.freeBytes));
    m_host.Out(SizeLine(u"total"_s, total));
    return CTL_OK;
}

int CCtlTool::CmdMkdir()
{
    const QString path = ToDevicePath(m_args.Arguments().at(0));
    if (IsFixedDeviceFolder(path))
        return Refuse(NEW_FOLDER_HERE_TEXT);
    if (!m_pComm->CheckNewName(DeviceName(path)))
        return CTL_FAILED;
    switch (LookUp(path)) {
    case Found::Failed:
        return CTL_FAILED;
    case Found::Yes:
        return Refuse(NAME_EXISTS_TEXT);
    case Found::No:
        break;
    }
    return m_pComm->MakeFolder(path) ? CTL_OK : CTL_FAILED;
}

int CCtlTool::CmdRmdir()
{
    const QString path = ToDevicePath(m_args.Arguments().at(0));
    if (IsFixedDeviceFolder(path))
        return Refuse(REMOVE_FOLDER_TEXT);
    CFileInfo entry;
    if (const int result = RequireEntry(path, &entry); result != CTL_OK)
        return result;
    if (!entry.IsFolder())
        return Refuse(PathMessage(u"Not a folder"_s, path));
    if (!m_pComm->IsFolderEmpty(path))
        return Refuse(PathMessage(u"Folder not empty"_s, path));
    return m_pComm->RemoveFolder(path) ? CTL_OK : CTL_FAILED;
}

int CCtlTool::CmdRm()
{
    // In order, stopping at the first failure; what went before stays deleted.
    for (const QString& argument : m_args.Arguments()) {
        const QString path = ToDevicePath(argument);
        if (IsFixedDeviceFolder(path))
            return Refuse(REMOVE_FOLDER_TEXT);
        CFileInfo entry;
        if (const int result = RequireEntry(path, &entry); result != CTL_OK)
            return result;
        if (entry.IsFolder() && !m_pComm->IsFolderEmpty(path)) {
            if (!m_args.Recursive())
                return Refuse(PathMessage(u"Folder not empty (rm -r removes it with its entries)"_s, path));
            // "mmem:del:all" empties the folder and keeps it.
            if (!m_pComm->DeleteAll(path))
                return CTL_FAILED;
        }
        if (!m_pComm->DeleteEntry(path))
            return CTL_FAILED;
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
        return Refuse(ROOT_TARGET_TEXT);
    if (found == Found::Yes)
        return Refuse(NAME_EXISTS_TEXT);
    if (!m_pComm->CheckNewName(DeviceName(target)))
        return CTL_FAILED;
    const int done = copy ? m_pComm->CopyEntry(source, target) : m_pComm->MoveEntry(source, target);
    return done ? CTL_OK : CTL_FAILED;
}

int CCtlTool::CmdErrors()
{
    QStringList errors;
    QString last;
    const bool read = ReadErrorQueue(errors, &last);
    for (const QString& error : std::as_const(errors))
        m_host.Out(error);
    if (!read)
        return CTL_FAILED;
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
    CInterruptWatcher watcher;
    QObject::connect(&watcher, &CInterruptWatcher::Interrupted, &loop, [this] { Interrupt(); });
    m_host.SetTransferReceiver(&chain);
    m_interrupted = false;
    m_transferring = true;
    const int started = start();
    if (started && !ended)
        loop.exec();
    m_transferring = false;
    m_host.SetTransferReceiver(nullptr);
    m_host.EndProgress();
    if (!started) {
        // Refused before anything moved; the link may have closed the channel.
        if (!m_pComm->IsConnected())
            m_pComm->Connect();
        return CTL_FAILED;
    }
    if (m_interrupted) {
        m_host.Error(u"cancelled"_s);
        return CTL_FAILED;
    }
    return m_pComm->IsConnected() ? CTL_OK : CTL_FAILED;
}

int CCtlTool::CmdPut()
{
    QStringList sources = m_args.Arguments();
    const QString folder = ToDevicePath(sources.takeLast());
    if (IsDeviceRoot(folder))
        return Refuse(ROOT_TARGET_TEXT);
    Listing before;
    if (!ReadListing(folder, before))
        return CTL_FAILED;

    // The files that should be listed afterwards: not those the engine will
    // skip because the name is taken, nor packages, which the generator files
    // under a name of its own.
    struct Expected
    {
        QString name;
        qint64 size;
    };
    QList<Expected> expected;
    QStringList pcPaths;
    for (const QString& source : std::as_const(sources)) {
        const QFileInfo info(source);
        pcPaths.append(QDir::cleanPath(info.absoluteFilePath()));
        const QString upper = info.fileName().toUpper();
        const bool taken = std::any_of(before.entries.cbegin(), before.entries.cend(),
                                       [&](const CFileInfo& entry) { return entry.GetUpperName() == upper; });
        if (!taken && FileKindFromName(info.fileName()) != KIND_DOWNLOAD)
            expected.append({info.fileName(), info.size()});
    }

    const int errorsBefore = m_host.ErrorCount();
    const int refusalsBefore = m_host.RefusalCount();
    const int status = RunBatch([&] { return m_pComm->PrepareDownload(pcPaths, folder); });
    if (status != CTL_OK) {
        // Every file skipped because its name was taken, by the user's answer: nothing to do.
        if (m_host.ErrorCount() == errorsBefore && m_host.RefusalCount() == refusalsBefore &&
            expected.isEmpty() && !m_interrupted && m_pComm->IsConnected()) {
            m_host.Note(u"nothing sent"_s);
            return CTL_OK;
        }
        if (m_host.ErrorCount() == errorsBefore && m_host.RefusalCount() == refusalsBefore && !m_interrupted)
            m_host.Error(u"nothing sent"_s);
        return CTL_FAILED;
    }
    if (CheckErrorQueue() != CTL_OK)
        return CTL_FAILED;

    Listing after;
    if (!ReadListing(folder, after))
        return CTL_FAILED;
    for (const Expected& file : std::as_const(expected)) {
        const QString upper = file.name.toUpper();
        const bool listed =
            std::any_of(after.entries.cbegin(), after.entries.cend(), [&](const CFileInfo& entry) {
                return entry.GetUpperName() == upper && !entry.IsFolder() && entry.GetSize() == file.size;
            });
        if (!listed)
            return Refuse(
                PathMessage(u"Not listed with its size after sending"_s, JoinDevicePath(folder, file.name)));
    }
    return CTL_OK;
}

int CCtlTool::CmdGet()
{
    QStringList sources = m_args.Arguments();
    const QString target = sources.size() > 1 ? sources.takeLast() : QDir::currentPath();
    const QFileInfo targetInfo(target);
    const bool intoFolder = targetInfo.isDir();
    if (!intoFolder && sources.size() > 1) {
        m_host.Error(u"the target of several files must be a folder : \""_s + target + u'"');
        return CTL_USAGE;
    }

    // One batch per generator folder, in the order given; the entries stay
    // alive (and in place) until their batch has ended.
    struct Batch
    {
        QString folder;
        std::vector<CFileInfo> entries;
        QStringList targets;
    };
    std::vector<Batch> batches;
    for (const QString& source : std::as_const(sources)) {
        const QString path = ToDevicePath(source);
        CFileInfo entry;
        switch (IsFixedDeviceFolder(path) ? Found::No : LookUp(path, &entry)) {
        case Found::Failed:
            return CTL_FAILED;
        case Found::No:
            return Refuse(PathMessage(LoadStringResource(IDS_FILE_NOT_FOUND), path));
        case Found::Yes:
            break;
        }
        if (entry.IsFolder())
            return Refuse(PathMessage(u"Not a file"_s, path));
        const QString folder = DeviceParent(path);
        if (batches.empty() || batches.back().folder != folder)
            batches.push_back({folder, {}, {}});
        batches.back().entries.push_back(entry);
        batches.back().targets.append(
            QDir::cleanPath(intoFolder ? QDir(targetInfo.absoluteFilePath()).filePath(entry.GetName())
                                       : targetInfo.absoluteFilePath()));
    }

    for (const Batch& batch : batches) {
        const int errorsBefore = m_host.ErrorCount();
        const int status = RunBatch([&] {
            m_pComm->ClearUploadQueue();
            m_pComm->SetUploadFolder(batch.folder);
            for (size_t i = 0; i < batch.entries.size(); ++i)
                m_pComm->QueueUpload(&batch.entries[i], batch.targets.at(qsizetype(i)));
            return m_pComm->StartUpload();
        });
        if (status != CTL_OK || m_host.ErrorCount() != errorsBefore)
            return CTL_FAILED;
        // A file the engine did not complete is missing or has another size.
        for (size_t i = 0; i < batch.entries.size(); ++i) {
            const QFileInfo written(batch.targets.at(qsizetype(i)));
            if (!written.isFile() || written.size() != batch.entries[i].GetSize())
                return Refuse(PathMessage(u"Not received completely"_s, written.filePath()));
        }
    }
    return CTL_OK;
}
