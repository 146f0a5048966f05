#include "link/devicepath.h"

#include "link/pcname.h"

#include <QRegularExpression>
#include <QStringList>

using namespace Qt::StringLiterals;

QString ToDevicePath(const QString& argument)
{
    QStringView rest(argument);
    if (rest.startsWith(u'/'))
        rest = rest.sliced(1);
    if (rest.startsWith(u"F0:"_s, Qt::CaseInsensitive))
        rest = rest.sliced(3);
    QStringList parts;
    for (const QStringView part : rest.split(u'/', Qt::SkipEmptyParts))
        parts.append(part.toString());
    return DEVICE_ROOT_PATH + parts.join(u'/');
}

bool IsDeviceRoot(const QString& path)
{
    return path == DEVICE_ROOT_PATH;
}

QString DeviceParent(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (IsDeviceRoot(path) || slash < DEVICE_ROOT_PATH.size())
        return DEVICE_ROOT_PATH;
    return path.left(slash);
}

int DeviceDepth(const QString& path)
{
    return IsDeviceRoot(path) ? 0 : int(path.mid(DEVICE_ROOT_PATH.size()).count(u'/')) + 1;
}

QString DeviceName(const QString& path)
{
    if (IsDeviceRoot(path))
        return QString();
    return path.mid(path.lastIndexOf(u'/') + 1);
}

bool IsFixedDeviceFolder(const QString& path)
{
    return IsDeviceRoot(path) || IsDeviceRoot(DeviceParent(path));
}

QString JoinDevicePath(const QString& folder, const QString& name)
{
    return IsDeviceRoot(folder) ? folder + name : folder + u'/' + name;
}

namespace {
bool HasPatternCharacter(QStringView text)
{
    return text.contains(u'*') || text.contains(u'?') || text.contains(u'[');
}
} // namespace

bool IsDevicePattern(const QString& path)
{
    return HasPatternCharacter(DeviceName(path));
}

bool HasPatternInFolder(const QString& path)
{
    return HasPatternCharacter(DeviceParent(path));
}

bool MatchesDevicePattern(const QString& pattern, const QString& name)
{
    // Names hold no "/", so the path form of the conversion matches them whole.
    const QRegularExpression expression(QRegularExpression::wildcardToRegularExpression(pattern),
                                        QRegularExpression::CaseInsensitiveOption);
    // A "[" that is never closed makes no pattern: the name is taken as it stands.
    if (!expression.isValid())
        return pattern.compare(name, Qt::CaseInsensitive) == 0;
    return expression.match(name).hasMatch();
}

bool IsSafePcName(const QString& name)
{
    return CheckPcName(name) == PcNameProblem::None;
}
