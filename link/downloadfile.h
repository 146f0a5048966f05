#pragma once

#include <QString>
#include <QtGlobal>

// One PC file of a download batch.
class CDownloadFile
{
public:
    CDownloadFile() = default;

    // Stores the PC path ("\\" or "/" on Windows, "/" elsewhere). When a separator follows the
    // first character, the name becomes the text after the last separator and
    // 1 is returned; otherwise the name is left as it was and 0 is returned.
    int SetPath(const QString& path);
    const QString& GetPath() const { return m_localPath; }
    const QString& GetName() const { return m_fileName; }
    qint64 GetSize() const { return m_size; }
    void SetSize(qint64 size) { m_size = size; }
    const QString& GetCommandPrefix() const { return m_commandPrefix; }
    void SetCommandPrefix(const QString& prefix) { m_commandPrefix = prefix; }

private:
    QString m_localPath;
    QString m_fileName;
    qint64 m_size = 0;
    QString m_commandPrefix;
};
