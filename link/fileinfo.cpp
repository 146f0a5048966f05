#include "link/fileinfo.h"

#include <QLocale>

using namespace Qt::StringLiterals;

namespace {

// Seconds from 1601-01-01 to 1970-01-01, and file-time ticks per second.
constexpr quint64 kEpochDeltaSeconds = 11644473600ULL;
constexpr quint64 kTicksPerSecond = 10000000ULL;

} // namespace

FileKind FileKindFromName(const QString& name)
{
    const QString upper = name.toUpper();
    const qsizetype n = upper.size();
    if (n < 4)
        return KIND_OTHER;
    // Exactly a three-character extension.
    const qsizetype ext = n - 4;
    if (upper.lastIndexOf(u'.') != ext)
        return KIND_OTHER;

    // The first occurrence decides: a name holding the extension earlier as
    // well (A.DNL.DNL) is not of that kind.
    struct Rule
    {
        QLatin1StringView text;
        FileKind kind;
    };
    static constexpr Rule rules[] = {
        {".DNL"_L1, KIND_DOWNLOAD}, {".LGO"_L1, KIND_LOGO},    {".SEQ"_L1, KIND_SEQUENCE},
        {".PST"_L1, KIND_PRESET},   {".PIC"_L1, KIND_PICTURE}, {".CMP"_L1, KIND_SIGNAL},
    };
    for (const Rule& rule : rules) {
        if (upper.indexOf(rule.text) == ext)
            return rule.kind;
    }
    // Saved machine states: MSTATE01.P02 and the like.
    if (upper.startsWith("MSTATE"_L1) && upper.indexOf(".P"_L1) == ext)
        return KIND_PRESET;
    return KIND_OTHER;
}

CFileInfo::CFileInfo(const QString& name, qint64 size, quint32 seconds, int isFolder)
    : m_name(name), m_upperName(name.toUpper()),
      m_time((quint64(seconds) + kEpochDeltaSeconds) * kTicksPerSecond), m_size(size), m_isFolder(isFolder)
{
}

CFileInfo::CFileInfo(const QString& name, quint64 fileTime, qint64 size, int isFolder)
    : m_name(name), m_upperName(name.toUpper()), m_time(fileTime), m_size(size), m_isFolder(isFolder)
{
}

void CFileInfo::SetName(const QString& name)
{
    m_name = name;
    m_upperName = name.toUpper();
}

FileKind CFileInfo::GetKind() const
{
    return FileKindFromName(m_upperName);
}

QString CFileInfo::SizeText() const
{
    // The integer overload groups digits and adds no fractional part.
    return QLocale().toString(qlonglong(m_size));
}
