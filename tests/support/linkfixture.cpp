#include "tests/support/linkfixture.h"

using namespace Qt::StringLiterals;

bool CLinkFixture::Start()
{
    CSimOptions options;
    options.m_nPort = 0;
    return m_sim.Start(options);
}

CVQComm& CLinkFixture::NewLink()
{
    m_comm.reset();
    m_sim.SetFaults({});
    m_sim.ClearScriptedReplies();
    m_host.ClearMessages();
    m_comm = std::make_unique<CVQComm>(&m_host);
    m_comm->SetHost(u"127.0.0.1"_s);
    m_comm->SetPort(m_sim.Port());
    return *m_comm;
}

bool CLinkFixture::Connect()
{
    const bool connected = m_comm->Connect() == 1;
    m_sim.ClearTranscripts();
    return connected;
}

bool CLinkFixture::Reset()
{
    NewLink();
    return Connect();
}

bool CLinkFixture::Finish()
{
    m_comm.reset();
    return m_host.WaitCursorDepth() == 0;
}
