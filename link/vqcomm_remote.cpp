// CVQComm: the single-command operations on the generator's file system, and
// the one place where device paths become command arguments. Each change is
// checked against the generator's error queue (vqcomm_errorqueue.cpp).

#include "link/vqcomm.h"

#include "link/devicename.h"
#include "link/stringtable.h"

using namespace Qt::StringLiterals;

QString CVQComm::QuotedPath(const QString& path)
{
    // The argument is sent as it is: a quote or a line end inside it would
    // end the argument or the line and let a second command through.
    if (!IsWireSafePath(path)) {
        ShowError(InvalidNameMessage(path));
        return QString();
    }
    return u'"' + path + u'"';
}

bool CVQComm::IsValidNewName(const QString& name)
{
    return ::IsValidNewName(name);
}

bool CVQComm::CheckNewName(const QString& name)
{
    if (!IsValidNewName(name)) {
        ShowError(InvalidNameMessage(name));
        return false;
    }
    // The generator would refuse it with a plain "File name error"; the
    // message says why, with the name shortened to what a box can show.
    if (name.size() > MAX_DEVICE_NAME_LENGTH) {
        constexpr qsizetype kHead = 40;
        constexpr qsizetype kTail = 20;
        const QString shown = name.left(kHead) + QChar(0x2026) + name.right(kTail);
        ShowError(PathMessage(
            u"Invalid file name: %1 characters, at most %2"_s.arg(name.size()).arg(MAX_DEVICE_NAME_LENGTH),
            shown));
        return false;
    }
    return true;
}

namespace {

// "<keyword> "<path>"", or empty when the path was refused.
QString OnePathLine(CVQComm& comm, QLatin1StringView keyword, const QString& path)
{
    const QString quoted = comm.QuotedPath(path);
    if (quoted.isEmpty())
        return QString();
    return keyword + u' ' + quoted;
}

QString TwoPathLine(CVQComm& comm, QLatin1StringView keyword, const QString& source,
                    QLatin1StringView separator, const QString& destination)
{
    const QString from = comm.QuotedPath(source);
    if (from.isEmpty())
        return QString();
    const QString to = comm.QuotedPath(destination);
    if (to.isEmpty())
        return QString();
    return keyword + u' ' + from + separator + to;
}

} // namespace

int CVQComm::MakeFolder(const QString& path)
{
    return SendChange(OnePathLine(*this, "mmem:mdir"_L1, path), path);
}

int CVQComm::RemoveFolder(const QString& path)
{
    return SendChange(OnePathLine(*this, "mmem:rdir"_L1, path), path);
}

int CVQComm::DeleteAll(const QString& path)
{
    return SendChange(OnePathLine(*this, "mmem:del:all"_L1, path), path);
}

int CVQComm::DeleteEntry(const QString& path)
{
    return SendChange(OnePathLine(*this, "mmem:del"_L1, path), path);
}

int CVQComm::MoveEntry(const QString& source, const QString& destination)
{
    if (source == destination)
        return 1;
    // A refusal names what the user asked for too: the new name of a
    // rename, the place of a move.
    const qsizetype slash = source.lastIndexOf(u'/');
    const bool rename = slash >= 0 && destination.lastIndexOf(u'/') == slash &&
                        destination.startsWith(QStringView(source).first(slash + 1));
    const QString detail = rename ? PathMessage(u"New name"_s, destination.mid(slash + 1))
                                  : PathMessage(u"Moving to"_s, destination);
    return SendChange(TwoPathLine(*this, "mmem:move"_L1, source, ","_L1, destination), source, detail);
}

int CVQComm::CopyEntry(const QString& source, const QString& destination)
{
    if (source == destination)
        return 1;
    return SendChange(TwoPathLine(*this, "mmem:copy"_L1, source, ", "_L1, destination), source,
                      PathMessage(u"Copying to"_s, destination));
}

int CVQComm::IsFolderEmpty(const QString& path)
{
    const QString cdir = OnePathLine(*this, "mmem:cdir"_L1, path);
    if (cdir.isEmpty())
        return 0;
    int empty = 0;
    RetryLostRead([&] {
        if (!SendCommand(cdir) || !SendCommand(u"mmem:cat?"_s))
            return 0;
        const QString& reply = ReadReply();
        // Every entry is quoted, so a line without a quote lists nothing.
        empty = reply.contains(u'"') ? 0 : 1;
        return reply.isEmpty() ? 0 : 1;
    });
    return empty;
}
