#pragma once

#include "scriptedhost.h"
#include "simserver.h"
#include "vqcomm.h"

#include <QByteArray>

#include <memory>

// What the link sends for one change to the generator: a look at the error
// queue for what was queued before, the command line, and a look at the
// queue for the generator's answer to it.
inline QByteArray Checked(const QByteArray& line)
{
    return "stat:que:next?\r\n" + line + "stat:que:next?\r\n";
}

// An emulator on a free loopback port, a scripted host and a link to the
// emulator: what the tests of the command channel, the catalog and the remote
// operations start from.
class CLinkFixture
{
public:
    // Starts the emulator (once per test program).
    bool Start();
    // A fresh, connected link; faults, scripted replies, messages and
    // transcripts cleared. False when the link could not connect.
    bool Reset();
    // Ends the link; the wait cursor must be balanced by then.
    bool Finish();

    CSimServer m_sim;
    CScriptedHost m_host;
    std::unique_ptr<CVQComm> m_comm;
};
