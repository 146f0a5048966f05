#include "bench/crowdedfolder.h"

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

bool CCrowdedFolder::Start(const char* command, int entries)
{
    CSimOptions options;
    options.m_nPort = 0;
    options.m_nCapacity = std::max<qint64>(options.m_nCapacity, qint64(entries) * 200);
    if (!m_sim.Start(options)) {
        std::fprintf(stderr, "vq-bench %s: %s\n", command, qPrintable(m_sim.ErrorString()));
        return false;
    }

    m_folder = u"/F0:/USER/Bench"_s;
    static const QString kinds[] = {u".seq"_s, u".pst"_s, u".lgo"_s, u".pic"_s,
                                    u".cmp"_s, u".dnl"_s, u".txt"_s};
    bool filled = m_sim.IsFolder(u"/F0:/USER"_s) && m_sim.AddFolder(m_folder);
    for (int i = 0; filled && i < entries; ++i) {
        const QString name = u"Clip%1"_s.arg(i, 7, 10, QChar(u'0')) + kinds[i % 7];
        filled = m_sim.AddFile(m_folder + u'/' + name, QByteArray(1 + i % 97, 'v'));
    }
    if (!filled) {
        std::fprintf(stderr, "vq-bench %s: the emulator refused the files\n", command);
        return false;
    }

    m_comm = std::make_unique<CVQComm>(&m_host);
    m_comm->SetHost(m_sim.Address().toString());
    m_comm->SetPort(m_sim.Port());
    return m_comm->Connect() == 1;
}
