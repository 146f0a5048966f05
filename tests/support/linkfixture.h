#pragma once

#include "link/vqcomm.h"
#include "sim/simserver.h"
#include "tests/support/scriptedhost.h"

#include <QByteArray>

#include <memory>

// What the link sends for one change to the generator: a look at the error
// queue for what was queued before, the command line, and a look at the
// queue for the generator's answer to it.
inline QByteArray Checked(const QByteArray& line)
{
    return "stat:que:next?\r\n" + line + "stat:que:next?\r\n";
}

// An emulator with its sample content on a free loopback port, a scripted
// host and a link to the emulator: what the tests of the link, the
// transfers, the panes and the main window start from.
class CLinkFixture
{
public:
    // Starts the emulator.
    bool Start();
    // A fresh link to the emulator, not connected yet; the previous link
    // ended, faults, scripted replies and messages cleared.
    CVQComm& NewLink();
    // Connects the link, then clears the transcripts. False when it could
    // not connect.
    bool Connect();
    // NewLink() and Connect().
    bool Reset();
    // Ends the link; the wait cursor must be balanced by then.
    bool Finish();

    CSimServer m_sim;
    CScriptedHost m_host;
    std::unique_ptr<CVQComm> m_comm;
};
