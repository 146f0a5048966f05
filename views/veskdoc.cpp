#include "views/veskdoc.h"

#include "link/vqcomm.h"
#include "views/uitreeview.h"

bool CVeskDoc::ChannelLost() const
{
    return m_pComm && !m_pComm->IsConnected() && !m_pComm->IsInBatch() && m_pTreeView &&
           m_pTreeView->GetRootItem();
}

void CVeskDoc::ReopenLostChannel()
{
    if (ChannelLost())
        m_pComm->Reconnect();
}
