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

    CVQComm* m_pComm;
    CUiListView* m_pListView = nullptr;
    CUiTreeView* m_pTreeView = nullptr;
};
