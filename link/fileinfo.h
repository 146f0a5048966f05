#pragma once

#include <QString>
#include <QtGlobal>

// The kind of a file, by its name. The values are fixed.
enum FileKind : int
{
    KIND_OTHER = 4,
    KIND_DOWNLOAD = 5,
    KIND_LOGO = 6,
    KIND_SEQUENCE = 7,
    KIND_PICTURE = 8,
    KIND_PRESET = 9,
    KIND_SIGNAL = 10,
};

// Classifies a PC or device file name (any case) by its extension.
FileKind FileKindFromName(const QString& name);

// One catalog entry: a file or a folder of the generator.
class CFileInfo
{
public:
    CFileInfo() = default;
    // `seconds` counts from 1970-01-01 00:00 UTC.
    CFileInfo(const QString& name, qint64 size, quint32 seconds, int isFolder);
    // `fileTime` counts 100 ns ticks from 1601-01-01 00:00 UTC.
    CFileInfo(const QString& name, quint64 fileTime, qint64 size, int isFolder);

    void SetName(const QString& name);
    int IsValid() const { return m_time != 0 ? 1 : 0; }
    int IsFolder() const { return m_isFolder; }
    qint64 GetSize() const { return m_size; }
    quint64 GetTime() const { return m_time; }
    const QString& GetName() const { return m_name; }
    const QString& GetUpperName() const { return m_upperName; }
    FileKind GetKind() const;
    // The size with the user's digit grouping, without a fractional part.
    QString SizeText() const;

private:
    QString m_name;
    QString m_upperName;
    quint64 m_time = 0;
    qint64 m_size = 0;
    int m_isFolder = 0;
};
