#include "link/pcname.h"

#include "link/devicename.h"
#include "link/stringtable.h"

#include <QList>

using namespace Qt::StringLiterals;

namespace {

bool IsSeparator(QChar c, PcPathStyle style)
{
    return c == u'/' || (style == PcPathStyle::Windows && c == u'\\');
}

// The device names Windows opens instead of a file, whatever extension
// follows: "NUL.TXT" and "nul .txt" are the device too. The superscript
// digits are Latin-1 and so can come from the generator.
bool IsWindowsDeviceName(QStringView name)
{
    QStringView stem = name.left(name.indexOf(u'.'));
    while (stem.endsWith(u' '))
        stem.chop(1);
    static const QStringList fixed{u"CON"_s, u"PRN"_s, u"AUX"_s, u"NUL"_s, u"CONIN$"_s, u"CONOUT$"_s};
    for (const QString& each : fixed) {
        if (stem.compare(each, Qt::CaseInsensitive) == 0)
            return true;
    }
    if (stem.size() != 4)
        return false;
    const QStringView port = stem.left(3);
    if (port.compare(u"COM"_s, Qt::CaseInsensitive) != 0 && port.compare(u"LPT"_s, Qt::CaseInsensitive) != 0)
        return false;
    const QChar digit = stem.at(3);
    return (digit >= u'0' && digit <= u'9') || digit == u'\u00B9' || digit == u'\u00B2' || digit == u'\u00B3';
}

// The names of `path` between its separators; a Windows path's drive ("C:")
// or share ("\\\\pc") is a name too, so that two paths compare name by name.
QList<QStringView> PathNames(QStringView path, PcPathStyle style)
{
    QList<QStringView> names;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= path.size(); ++i) {
        if (i == path.size() || IsSeparator(path.at(i), style)) {
            if (i > start)
                names.append(path.mid(start, i - start));
            start = i + 1;
        }
    }
    return names;
}

} // namespace

PcNameProblem CheckPcName(QStringView name, PcPathStyle style)
{
    if (name.isEmpty() || name == u"." || name == u"..")
        return PcNameProblem::Empty;
    for (const QChar c : name) {
        // "\\" is refused on every PC: a name that holds it would be two
        // names once the file is copied to Windows.
        if (c == u'/' || c == u'\\')
            return PcNameProblem::Separator;
        if (!IsNameCharacter(c))
            return c == u'"' && style == PcPathStyle::Windows ? PcNameProblem::ReservedCharacter
                                                              : PcNameProblem::Control;
    }
    if (style == PcPathStyle::Posix)
        return PcNameProblem::None;
    for (const QChar c : name) {
        if (u"<>:\"|?*"_s.contains(c))
            return PcNameProblem::ReservedCharacter;
    }
    if (IsWindowsDeviceName(name))
        return PcNameProblem::DeviceName;
    if (name.endsWith(u'.') || name.endsWith(u' '))
        return PcNameProblem::TrailingDotOrSpace;
    return PcNameProblem::None;
}

QString PcNameRule(PcNameProblem problem)
{
    switch (problem) {
    case PcNameProblem::None:
        break;
    case PcNameProblem::Empty:
        return u"no name"_s;
    case PcNameProblem::Separator:
        return u"a folder separator / or \\"_s;
    case PcNameProblem::Control:
        return u"a control character or one the generator cannot send"_s;
    case PcNameProblem::ReservedCharacter:
        return u"Windows reserves < > : \" | ? *"_s;
    case PcNameProblem::DeviceName:
        return u"a device name of Windows: CON, PRN, AUX, NUL, COM1-9, LPT1-9, also with an extension"_s;
    case PcNameProblem::TrailingDotOrSpace:
        return u"Windows drops a dot or a space at the end"_s;
    }
    return QString();
}

QString PcNameRefusal(const QString& name, PcPathStyle style)
{
    const PcNameProblem problem = CheckPcName(name, style);
    if (problem == PcNameProblem::None)
        return QString();
    return PathMessage(u"Not a name the PC can take"_s, name, PcNameRule(problem));
}

QString JoinPcPath(QStringView folder, QStringView name, PcPathStyle style)
{
    if (folder.isEmpty() || CheckPcName(name, style) != PcNameProblem::None)
        return QString();
    const QChar separator =
        style == PcPathStyle::Windows && folder.contains(u'\\') && !folder.contains(u'/') ? u'\\' : u'/';
    QString joined = folder.toString();
    if (!IsSeparator(joined.back(), style))
        joined += separator;
    joined += name;

    // The result, read as the system reads it, names `folder`'s names and then
    // one more, `name` itself, and is rooted exactly when `folder` is: no
    // "..", no drive, no root of its own.
    const QList<QStringView> inside = PathNames(folder, style);
    const QList<QStringView> result = PathNames(joined, style);
    if (result.size() != inside.size() + 1 || result.back() != name || result.back() == u"." ||
        result.back() == u"..")
        return QString();
    for (qsizetype i = 0; i < inside.size(); ++i) {
        if (result.at(i) != inside.at(i))
            return QString();
    }
    if (IsRootedPcPath(joined, style) != IsRootedPcPath(folder, style) ||
        (style == PcPathStyle::Windows && result.back().contains(u':')))
        return QString();
    return joined;
}

QString PcPathKey(QStringView path, PcPathStyle style)
{
    QStringList names;
    for (QStringView each : PathNames(path, style)) {
        if (style == PcPathStyle::Windows) {
            while (each.size() > 1 && each != u".." && (each.endsWith(u'.') || each.endsWith(u' ')))
                each.chop(1);
        }
        names.append(each.toString().toCaseFolded());
    }
    const bool rooted = !path.isEmpty() && IsSeparator(path.front(), style);
    return (rooted ? u"/"_s : QString()) + names.join(u'/');
}
