#include "cli/ctlcatalog.h"

#include "cli/consolehost.h"
#include "cli/ctlargs.h"
#include "cli/ctlcommand.h"
#include "cli/ctlerrorqueue.h"
#include "cli/ctlsession.h"
#include "link/devicename.h"
#include "link/devicepath.h"
#include "link/pcname.h"
#include "link/printable.h"
#include "link/stringtable.h"
#include "link/vqcomm.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QString JoinRelative(const QString& folder, const QString& name)
{
    return folder.isEmpty() ? name : folder + u'/' + name;
}

} // namespace

const CFileInfo* CCtlListing::Find(const QString& name) const
{
    const QString upper = name.toUpper();
    const auto it = std::find_if(entries.cbegin(), entries.cend(),
                                 [&](const CFileInfo& entry) { return entry.GetUpperName() == upper; });
    return it == entries.cend() ? nullptr : &*it;
}

CCtlCatalog::CCtlCatalog(CCtlSession& session) : m_session(session) {}

bool CCtlCatalog::Read(const QString& folder, CCtlListing& listing, const QString& about)
{
    CVQComm& link = m_session.Link();
    listing = CCtlListing();
    listing.folder = folder;
    // A refused folder is told as the command the user gave.
    m_session.Queue().SetSubject(m_session.Args().Command() + u' ' +
                                 CCtlSession::Quoted(about.isEmpty() ? folder : about));
    const int errorsBefore = m_session.Host().ErrorCount();
    CFileInfo entry;
    int more = link.ReadCatalog(folder, entry);
    while (more) {
        listing.entries.append(entry);
        more = link.NextCatalogEntry(entry);
    }
    link.EndCatalog();
    if (m_session.Host().ErrorCount() != errorsBefore)
        return false;
    const QString reply = link.LastReply();
    switch (link.LastCatalogEnd()) {
    case CVQComm::CatalogEnd::NoReply:
        m_session.Refuse(u"No catalog reply from the generator."_s);
        return false;
    case CVQComm::CatalogEnd::Unreadable:
        m_session.RefuseQuoting(u"Unreadable catalog reply"_s, reply);
        return false;
    case CVQComm::CatalogEnd::CutShort:
        // A listing that ended early is not the folder.
        m_session.RefuseQuoting(u"Unreadable catalog entry in the reply"_s, reply);
        return false;
    case CVQComm::CatalogEnd::Complete:
        break;
    }
    // The folder change is not answered: a refused folder shows in the queue only,
    // and the catalog then is that of another folder.
    if (m_session.Queue().Check() != CTL_OK)
        return false;
    listing.bytes = link.LastCatalogBytes();
    listing.used = link.LastCatalogUsed();
    listing.freeBytes = link.LastCatalogFree();
    link.UpdateStatusText();
    return true;
}

const CCtlListing* CCtlCatalog::Cached(const QString& folder)
{
    const QString key = folder.toUpper();
    if (const auto it = m_listings.constFind(key); it != m_listings.cend())
        return &it.value();
    CCtlListing listing;
    if (!Read(folder, listing))
        return nullptr;
    return &m_listings.insert(key, listing).value();
}

CCtlCatalog::Found CCtlCatalog::LookUp(const QString& path, CFileInfo* entry)
{
    // A name the wire cannot carry is refused as such, not looked for.
    if (m_session.Link().QuotedPath(path).isEmpty())
        return Found::Failed;
    CCtlListing listing;
    if (!Read(DeviceParent(path), listing, path))
        return Found::Failed;
    const CFileInfo* info = listing.Find(DeviceName(path));
    if (!info)
        return Found::No;
    if (entry)
        *entry = *info;
    return Found::Yes;
}

int CCtlCatalog::Require(const QString& path, CFileInfo* entry)
{
    switch (LookUp(path, entry)) {
    case Found::Failed:
        return CTL_FAILED;
    case Found::No:
        return m_session.Refuse(PathMessage(LoadStringResource(IDS_FILE_NOT_FOUND), path));
    case Found::Yes:
        break;
    }
    return CTL_OK;
}

CCtlCatalog::Found CCtlCatalog::ExactFolder(const QString& folder)
{
    if (IsDeviceRoot(folder))
        return Found::Yes;
    // The folders above first: each of their names is taken as it stands.
    if (HasPatternInFolder(folder)) {
        if (const Found above = ExactFolder(DeviceParent(folder)); above != Found::Yes)
            return above;
    }
    CFileInfo entry;
    const Found found = LookUp(folder, &entry);
    return found == Found::Yes && !entry.IsFolder() ? Found::No : found;
}

bool CCtlCatalog::Resolve(const QString& argument, QList<CCtlMatch>& matches, bool missingOk, bool* pattern)
{
    const QString path = ToDevicePath(argument);
    const bool literal = m_session.Args().IsSet(CTL_OPTION_LITERAL);
    const QString folder = DeviceParent(path);
    if (pattern)
        *pattern = false;
    // Only the last name may be a pattern: a folder's name is taken as it stands.
    if (!literal && HasPatternInFolder(path)) {
        switch (ExactFolder(folder)) {
        case Found::Failed:
            return false;
        case Found::No:
            m_session.Refuse(PathMessage(u"A pattern may stand only in the last name"_s, path));
            return false;
        case Found::Yes:
            break;
        }
    }
    if (!literal && IsDevicePattern(path)) {
        // A name is a name: an entry called exactly so is that entry, and the
        // argument is a pattern only when no entry has its name.
        CCtlListing listing;
        if (!Read(folder, listing, path))
            return false;
        const QString name = DeviceName(path);
        if (const CFileInfo* exact = listing.Find(name)) {
            matches.append({JoinDevicePath(folder, exact->GetName()), *exact});
            return true;
        }
        if (pattern)
            *pattern = true;
        const qsizetype before = matches.size();
        for (const CFileInfo& entry : std::as_const(listing.entries)) {
            if (MatchesDevicePattern(name, entry.GetName()))
                matches.append({JoinDevicePath(folder, entry.GetName()), entry});
        }
        if (matches.size() == before && !missingOk) {
            m_session.Refuse(PathMessage(u"No match"_s, path));
            return false;
        }
        return true;
    }
    CFileInfo entry;
    switch (IsDeviceRoot(path) ? Found::No : LookUp(path, &entry)) {
    case Found::Failed:
        return false;
    case Found::No:
        if (missingOk)
            return true;
        m_session.Refuse(PathMessage(LoadStringResource(IDS_FILE_NOT_FOUND), path));
        return false;
    case Found::Yes:
        matches.append({JoinDevicePath(DeviceParent(path), entry.GetName()), entry});
        break;
    }
    return true;
}

bool CCtlCatalog::ListTree(const QString& folder, bool recursive, QList<CSyncEntry>& entries,
                           QHash<QString, CFileInfo>& files)
{
    struct Pending
    {
        QString device;
        QString relative;
    };
    QList<Pending> pending{{folder, QString()}};
    while (!pending.isEmpty()) {
        const Pending next = pending.takeFirst();
        CCtlListing listing;
        if (!Read(next.device, listing))
            return false;
        for (const CFileInfo& entry : std::as_const(listing.entries)) {
            const QString device = JoinDevicePath(next.device, entry.GetName());
            // The path of a deletion or of a PC file is made of this name.
            if (const PcNameProblem problem = CheckPcName(entry.GetName()); problem != PcNameProblem::None) {
                m_session.Refuse(PathMessage(u"Not a name a sync can take"_s, device, PcNameRule(problem)));
                return false;
            }
            const QString relative = JoinRelative(next.relative, entry.GetName());
            if (!entry.IsFolder()) {
                entries.append({relative, entry.GetSize(), false});
                files.insert(relative, entry);
            } else if (recursive) {
                if (DeviceDepth(device) > MAX_DEVICE_DEPTH) {
                    m_session.Refuse(PathMessage(u"Too deep"_s, device));
                    return false;
                }
                entries.append({relative, 0, true});
                pending.append({device, relative});
            }
        }
    }
    return true;
}

int CCtlCatalog::Landing(const QString& source, QString& target)
{
    if (const int result = Require(source); result != CTL_OK)
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
        return m_session.Refuse(CTL_ROOT_TARGET_TEXT);
    if (found == Found::Yes)
        return m_session.Refuse(TEXT_NAME_TAKEN);
    if (!m_session.Link().CheckNewName(DeviceName(target)))
        return CTL_FAILED;
    return CTL_OK;
}
