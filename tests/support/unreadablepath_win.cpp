#include "tests/support/unreadablepath.h"

// Windows takes read permissions from access lists the tests do not change.
CUnreadablePath::CUnreadablePath(const QString& path, QFileDevice::Permissions permissions)
    : m_strPath(path), m_before(permissions)
{
}

CUnreadablePath::~CUnreadablePath() = default;
