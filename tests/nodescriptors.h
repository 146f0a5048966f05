#pragma once

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <sys/resource.h>

// While it lives the process may open no further descriptor: the system
// refuses the next socket, as on a machine that has run out of them. Those
// open already stay usable.
class CNoDescriptors
{
public:
    CNoDescriptors()
    {
        m_bSet = ::getrlimit(RLIMIT_NOFILE, &m_old) == 0;
        rlimit none = m_old;
        none.rlim_cur = 0;
        m_bSet = m_bSet && ::setrlimit(RLIMIT_NOFILE, &none) == 0;
    }
    ~CNoDescriptors() { Restore(); }
    CNoDescriptors(const CNoDescriptors&) = delete;
    CNoDescriptors& operator=(const CNoDescriptors&) = delete;

    bool IsSet() const { return m_bSet; }
    void Restore()
    {
        if (m_bSet)
            ::setrlimit(RLIMIT_NOFILE, &m_old);
        m_bSet = false;
    }

private:
    rlimit m_old{};
    bool m_bSet = false;
};
#endif
