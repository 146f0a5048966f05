#pragma once

#include "bench/benchhost.h"
#include "link/vqcomm.h"
#include "sim/simserver.h"

#include <QString>

#include <memory>

// An in-process emulator with one folder of many small files of every kind,
// and a link connected to it: the ground the catalog and list benchmarks stand on.
class CCrowdedFolder
{
public:
    // False after saying why on stderr, prefixed with `command`.
    bool Start(const char* command, int entries);
    const QString& Folder() const { return m_folder; }
    CVQComm& Comm() { return *m_comm; }

private:
    CSimServer m_sim;
    CBenchHost m_host;
    std::unique_ptr<CVQComm> m_comm;
    QString m_folder;
};
