#pragma once

#include "filelistmodel.h"
#include "linkfixture.h"
#include "scriptedhost.h"
#include "simserver.h"
#include "uilistview.h"
#include "uitreeview.h"
#include "veskdoc.h"
#include "vqcomm.h"

#include <QByteArray>
#include <QSplitter>
#include <QTest>

#include <memory>

// A folder tree and a file list on a fresh emulator with its sample content,
// connected through a scripted host, as the main window arranges them.
struct CExplorerFixture
{
    CExplorerFixture()
    {
        CSimOptions options;
        options.m_nPort = 0;
        options.m_bSeed = true;
        m_bStarted = sim.Start(options);
        comm.SetHost(sim.Address().toString());
        comm.SetPort(sim.Port());
        pTree = new CUiTreeView(&doc, &splitter);
        pList = new CUiListView(&doc, &splitter);
        splitter.resize(800, 500);
    }
    Q_DISABLE_COPY_MOVE(CExplorerFixture)

    bool Connect() { return m_bStarted && comm.Connect() == 1; }
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

    CSimServer sim;
    CScriptedHost host;
    CVQComm comm{&host};
    CVeskDoc doc{&comm};
    QSplitter splitter; // after the document: the panes go first
    CUiTreeView* pTree = nullptr;
    CUiListView* pList = nullptr;

private:
    bool m_bStarted = false;
};
