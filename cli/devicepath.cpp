#include "devicepath.h"

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
    return DEVICE_ROOT.toString() + parts.join(u'/');
}

bool IsDeviceRoot(const QString& path)
{
    return path == DEVICE_ROOT;
}

QString DeviceParent(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (IsDeviceRoot(path) || slash < DEVICE_ROOT.size())
        return DEVICE_ROOT.toString();
    return path.left(slash);
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
