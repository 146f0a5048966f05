#pragma once

#include "tests/support/linkfixture.h"
#include "views/filelistmodel.h"
#include "views/uilistview.h"
#include "views/uitreeview.h"
#include "views/veskdoc.h"

#include <QByteArray>
#include <QSplitter>

// A folder tree and a file list on a fresh emulator with its sample content,
// connected through a scripted host, as the main window arranges them.
struct CExplorerFixture
{
    CExplorerFixture()
    {
        pTree = new CUiTreeView(&doc, &splitter);
        pList = new CUiListView(&doc, &splitter);
        splitter.resize(800, 500);
    }
    Q_DISABLE_COPY_MOVE(CExplorerFixture)

    bool Connect() { return started && comm.Connect() == 1; }
    // Connects, builds the tree from the root and shows both panes.
    bool Start()
    {
        if (!Connect())
            return false;
        splitter.show();
        pTree->RebuildTree();
        sim.ClearTranscripts();
        return true;
    }

    // Start, with transfer batches running through the list, quickly.
    bool StartForTransfers()
    {
        comm.SetDelayScale(0.02);
        comm.SetUploadPacing(false);
        host.SetTransferReceiver(pList);
        return Start();
    }

    // Everything the client sent since the last call: a reply round trip
    // marks the end, so commands without a reply have arrived too.
    QByteArray Sent()
    {
        static const QByteArray marker = "*idn?\r\n";
        if (!comm.SendCommand(QStringLiteral("*idn?")))
            return QByteArray("<send failed>");
        comm.ReadReply();
        QByteArray all = sim.AllReceived();
        sim.ClearTranscripts();
        if (all.endsWith(marker))
            all.chop(marker.size());
        return all;
    }

    // The child of `parent` labelled `label`, or null.
    static QTreeWidgetItem* Child(QTreeWidgetItem* parent, const QString& label)
    {
        for (int i = 0; parent && i < parent->childCount(); ++i) {
            if (parent->child(i)->text(0) == label)
                return parent->child(i);
        }
        return nullptr;
    }
    // The item of a path below the root ("USER/PROJECTS"), loading on the way.
    QTreeWidgetItem* Item(const QString& path)
    {
        QTreeWidgetItem* item = pTree->GetRootItem();
        const QStringList parts = path.split(u'/', Qt::SkipEmptyParts);
        for (const QString& part : parts) {
            pTree->LoadChildren(item);
            item = Child(item, part);
        }
        return item;
    }
    QStringList ListNames() const
    {
        QStringList names;
        for (int row = 0; row < pList->ItemCount(); ++row)
            names << pList->Model()->index(row, 0).data().toString();
        return names;
    }

    CLinkFixture link;
    CSimServer& sim = link.m_sim;
    CScriptedHost& host = link.m_host;
    const bool started = link.Start();
    CVQComm& comm = link.NewLink(); // not connected yet
    CVeskDoc doc{&comm};
    QSplitter splitter; // after the document: the panes go first
    CUiTreeView* pTree = nullptr;
    CUiListView* pList = nullptr;
};
