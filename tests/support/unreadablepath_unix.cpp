#include "tests/support/unreadablepath.h"

#include <QFile>

#include <unistd.h>

#ifdef __linux__
#include <linux/capability.h>
#include <sys/syscall.h>
#endif

namespace {

#ifdef __linux__
// The capabilities that let root read and search whatever the permissions say.
constexpr unsigned kBypass = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);

// Clears (or sets again) them in this thread's effective set; they stay permitted.
bool SetBypass(bool on)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    data[0].effective = on ? data[0].effective | (data[0].permitted & kBypass) : data[0].effective & ~kBypass;
    return ::syscall(SYS_capset, &header, data) == 0;
}
#endif

} // namespace

CUnreadablePath::CUnreadablePath(const QString& path, QFileDevice::Permissions permissions)
    : m_strPath(path), m_before(QFile::permissions(path))
{
    if (!QFile::setPermissions(path, permissions))
        return;
    m_active = true;
    if (::geteuid() != 0)
        return;
#ifdef __linux__
    m_capabilitiesSet = SetBypass(false);
#endif
    m_active = m_capabilitiesSet;
}

CUnreadablePath::~CUnreadablePath()
{
#ifdef __linux__
    if (m_capabilitiesSet)
        SetBypass(true);
#endif
    QFile::setPermissions(m_strPath, m_before);
}
