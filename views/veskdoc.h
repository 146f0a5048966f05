#pragma once

#include <QtGlobal>

class CUiListView;
class CUiTreeView;
class CVQComm;

// The document: how the two panes find each other and the device link.
// The panes store themselves here when they are made and clear their
// pointer when they go.
class CVeskDoc final
{
    Q_DISABLE_COPY_MOVE(CVeskDoc)

public:
    explicit CVeskDoc(CVQComm* pComm) : m_pComm(pComm) {}

    CVQComm* GetComm() const { return m_pComm; }

    // The generator went away: the channel closed while the panes show what
    // it held (not for a batch, which closes it on purpose).
    bool ChannelLost() const;
    // The panes keep what they showed, and the next read the user asks for
    // opens the lost channel again, without the network dialog; when it
    // stays closed, the read fails and the pane says it could not read.
    void ReopenLostChannel();

    CVQComm* m_pComm;
    CUiListView* m_pListView = nullptr;
    CUiTreeView* m_pTreeView = nullptr;
};
