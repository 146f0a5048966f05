#pragma once

#include <QFileDevice>
#include <QString>

// Makes a PC file or folder unreadable to the thread that makes this, for as
// long as it lives: its permissions are set (and given back afterwards), and
// a test run as root, whom no permission stops, sets aside the capabilities
// that let it read and search anything (on this thread and the threads it
// starts meanwhile). Where the system cannot do that (Windows), IsActive is
// false and nothing changed.
class CUnreadablePath final
{
public:
    CUnreadablePath(const QString& path, QFileDevice::Permissions permissions);
    ~CUnreadablePath();
    CUnreadablePath(const CUnreadablePath&) = delete;
    CUnreadablePath& operator=(const CUnreadablePath&) = delete;

    bool IsActive() const { return m_active; }

private:
    QString m_strPath;
    QFileDevice::Permissions m_before;
    bool m_active = false;
    bool m_capabilitiesSet = false;
};
