#include "mount/mountname.h"

#include "link/devicename.h"
#include "link/devicepath.h"

#include <QRegularExpression>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

bool IsPcOnlyName(QStringView name)
{
    static const QRegularExpression pattern(
        u"^(?:.+~|\\..+\\.sw[a-z]|4913|\\.~lock\\..*#|\\.goutputstream-.*|~\\$.*)$"_s,
        QRegularExpression::DotMatchesEverythingOption);
    return pattern.match(name.toString()).hasMatch();
}

QString NameProblem(QStringView name)
{
    if (name.isEmpty() || name == u"." || name == u"..")
        return u"it is not a name"_s;
    if (name.size() > MAX_DEVICE_NAME_LENGTH)
        return u"it is longer than %1 characters"_s.arg(MAX_DEVICE_NAME_LENGTH);
    for (const QChar c : name) {
        if (c == u',')
            return u"it holds a comma, which would break the generator's listing"_s;
        if (c == u'\\')
            return u"it holds \"\\\", which the generator reads as a folder"_s;
        if (c == u'"')
            return u"it holds a double quote, which would end the name on the command line"_s;
        if (c.unicode() > 0xFF)
            return u"it holds U+%1, which the generator cannot store (one Latin-1 byte a character)"_s.arg(
                c.unicode(), 4, 16, QLatin1Char('0'));
        if (!IsNameCharacter(c))
            return u"it holds a control character"_s;
    }
    return QString();
}

bool MountToDevicePath(const char* path, const QString& root, QString& devicePath)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(QByteArrayView(path));
    if (decoder.hasError())
        return false;
    devicePath = root;
    for (const QStringView name : QStringView(text).split(u'/', Qt::SkipEmptyParts))
        devicePath = JoinDevicePath(devicePath, name.toString());
    return true;
}

QString DeviceToRelativePcPath(const QString& devicePath)
{
    QString relative = u"F0"_s;
    const QString below = devicePath.mid(DEVICE_ROOT_PATH.size());
    if (!below.isEmpty())
        relative += u'/' + below;
    return relative;
}
