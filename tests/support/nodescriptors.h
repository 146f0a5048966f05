#pragma once

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <sys/resource.h>

// While it lives the process may open no further descriptor, as on a machine
// that has run out of them: the next socket is refused.
class CNoDescriptors
{
public:
    CNoDescriptors() : m_bSet(::getrlimit(RLIMIT_NOFILE, &m_old) == 0)
    {
        rlimit none = m_old;
        none.rlim_cur = 0;
        m_bSet = m_bSet && ::setrlimit(RLIMIT_NOFILE, &none) == 0;
    }
    ~CNoDescriptors() { Restore(); }
    Q_DISABLE_COPY_MOVE(CNoDescriptors)

    bool IsSet() const { return m_bSet; }
    void Restore() { m_bSet = m_bSet && ::setrlimit(RLIMIT_NOFILE, &m_old) != 0; }

private:
    rlimit m_old{};
    bool m_bSet;
};
#endif
