#include "link/stringtable.h"

using namespace Qt::StringLiterals;

QString LoadStringResource(int id)
{
    switch (id) {
    case IDS_SOCKETS_INIT_FAILED:
        return u"Windows sockets initialization failed."_s;
    case IDS_FILE_NOT_OPEN:
        return u"File not open"_s;
    case IDS_CANNOT_READ_FILE:
        return u"Can not read from the file."_s;
    case IDS_CANNOT_WRITE_FILE:
        return u"Can not write to the file."_s;
    case IDS_FILE_NOT_FOUND:
        return u"File not found"_s;
    case IDS_NAME_EXISTS:
        return u"A file with the name you specified already exists. Specify a diffent filename."_s;
    case IDS_CANNOT_RENAME_FOLDER:
        return u"Can not rename this folder"_s;
    case IDS_RENAME_ACCESS_DENIED:
        return u"Cannot rename \"%1\": Access is denied.\n\nMake sure the file is not currentry in use."_s;
    default:
        return QString();
    }
}

QString PathMessage(const QString& text, const QString& path)
{
    return text + u" : \""_s + path + u'"';
}

QString PathMessage(const QString& text, const QString& path, const QString& reason)
{
    return PathMessage(reason.isEmpty() ? text : text + u" ("_s + reason + u')', path);
}
