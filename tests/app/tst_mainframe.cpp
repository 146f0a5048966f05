#include "app/commandids.h"
#include "app/guihost.h"
#include "app/mainframe.h"
#include "dialogs/vqfiledialog.h"
#include "link/appsettings.h"
#include "link/vqevents.h"
#include "tests/support/linkfixture.h"
#include "tests/support/modalanswerer.h"
#include "views/filelistmodel.h"
#include "views/uilistview.h"
#include "views/uitreeview.h"

#include <QAction>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QList<int> COMMANDS = {ID_PC_TO_VQ,         ID_VQ_TO_PC,         ID_NEW_FOLDER,     ID_DELETE_ITEM,
                             ID_RENAME_ITEM,      ID_REFRESH,          ID_CHECK_ERROR,    ID_OPTIONS,
                             ID_APP_ABOUT,        ID_UP_ONE_LEVEL,     ID_NETWORK,        ID_APP_EXIT,
                             ID_VIEW_LARGE_ICONS, ID_VIEW_SMALL_ICONS, ID_VIEW_LIST,      ID_VIEW_DETAIL,
                             ID_SORT_BY_NAME,     ID_SORT_BY_SIZE,     ID_EXPLORE,        ID_TREE_EXPLORE,
                             ID_TREE_RENAME,      ID_VIEW_TOOLBAR,     ID_VIEW_STATUS_BAR};
// Available whatever the connection.
const QList<int> ALWAYS = {ID_NETWORK,         ID_APP_EXIT,     ID_VIEW_LARGE_ICONS, ID_VIEW_SMALL_ICONS,
                           ID_VIEW_LIST,       ID_VIEW_DETAIL,  ID_SORT_BY_NAME,     ID_SORT_BY_SIZE,
                           ID_EXPLORE,         ID_TREE_EXPLORE, ID_TREE_RENAME,      ID_VIEW_TOOLBAR,
                           ID_VIEW_STATUS_BAR, ID_OPTIONS,      ID_APP_ABOUT};
// Enabled while the command channel is open.
const QList<int> CONNECTED = {ID_PC_TO_VQ,    ID_VQ_TO_PC,    ID_NEW_FOLDER, ID_DELETE_ITEM,
                              ID_RENAME_ITEM, ID_CHECK_ERROR, ID_REFRESH};

QTreeWidgetItem* Child(QTreeWidgetItem* parent, const QString& label)
{
    for (int i = 0; parent && i < parent->childCount(); ++i) {
        if (parent->child(i)->text(0) == label)
            return parent->child(i);
    }
    return nullptr;
}

QStringList Texts(const QList<QAction*>& actions)
{
    QStringList texts;
    for (const QAction* action : actions)
        texts << (action->isSeparator() ? u"-"_s : action->text());
    return texts;
}

} // namespace

// A main window on a fresh emulator, connected through a scripted host.
struct CFrameFixture
{
    CFrameFixture()
    {
        frame = std::make_unique<CMainFrame>(&comm, &settings);
        frame->show();
    }
    // Batches run through the window's own list, quickly.
    bool ConnectForTransfers()
    {
        comm.SetDelayScale(0.02);
        host.SetTransferReceiver(frame->ListView());
        return Connect();
    }
    bool Connect()
    {
        if (!started || !comm.Connect())
            return false;
        frame->TreeView()->RebuildTree();
        frame->UpdateCommandUI();
        return true;
    }
    QTreeWidgetItem* FirstLevel(const QString& name) const
    {
        return Child(frame->TreeView()->GetRootItem(), name);
    }
    // /F0:/USER holding `files` (name, content) shown in the list, ready
    // for transfers, `selected` selected there.
    bool SelectInUser(const QList<std::pair<QString, QByteArray>>& files, const QStringList& selected)
    {
        for (const auto& [name, data] : files) {
            if (!sim.AddFile(u"/F0:/USER/"_s + name, data))
                return false;
        }
        if (!ConnectForTransfers())
            return false;
        frame->TreeView()->setCurrentItem(FirstLevel(u"USER"_s));
        CUiListView* list = frame->ListView();
        for (const QString& name : selected)
            list->IconView()->selectionModel()->select(list->Model()->index(list->FindItemByName(name), 0),
                                                       QItemSelectionModel::Select);
        return true;
    }

    CLinkFixture link;
    CSimServer& sim = link.m_sim;
    CScriptedHost& host = link.m_host;
    const bool started = link.Start();
    CVQComm& comm = link.NewLink(); // not connected yet
    CAppSettings settings;
    std::unique_ptr<CMainFrame> frame;
};

class TestMainFrame final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void enabling_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("folder"); // first-level folder shown, empty for the root
        QTest::addColumn<bool>("treeActive");
        QTest::addColumn<bool>("closedAfterwards"); // the channel closes behind the panes' back
        QTest::addColumn<QList<int>>("alsoEnabled");

        QTest::newRow("never connected") << false << QString() << false << false << QList<int>{};
        QTest::newRow("root") << true << QString() << false << false << CONNECTED;
        QTest::newRow("folder, list active")
            << true << u"USER"_s << false << false << CONNECTED + QList<int>{ID_UP_ONE_LEVEL};
        QTest::newRow("folder, tree active")
            << true << u"USER"_s << true << false << CONNECTED + QList<int>{ID_UP_ONE_LEVEL};
        // The generator went away: Refresh connects again.
        QTest::newRow("channel lost") << true << u"USER"_s << true << true << QList<int>{ID_REFRESH};
    }

    void enabling()
    {
        QFETCH(bool, connected);
        QFETCH(QString, folder);
        QFETCH(bool, treeActive);
        QFETCH(bool, closedAfterwards);
        QFETCH(QList<int>, alsoEnabled);

        CFrameFixture f;
        if (connected)
            QVERIFY(f.Connect());
        if (!folder.isEmpty())
            f.frame->TreeView()->setCurrentItem(f.FirstLevel(folder));
        f.frame->SetActiveView(treeActive ? static_cast<QWidget*>(f.frame->TreeView()) : f.frame->ListView());
        if (closedAfterwards) {
            f.comm.Disconnect();
            f.frame->UpdateCommandUI();
        }
        for (const int id : COMMANDS) {
            const bool expected = ALWAYS.contains(id) || alsoEnabled.contains(id);
            if (f.frame->Action(id)->isEnabled() != expected)
                QFAIL(qPrintable(u"command %1: %2"_s.arg(id).arg(expected ? u"greyed"_s : u"enabled"_s)));
        }
    }

    void viewModeCheck_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("mode");
        QTest::newRow("large icons") << int(ID_VIEW_LARGE_ICONS) << 0;
        QTest::newRow("details") << int(ID_VIEW_DETAIL) << 1;
        QTest::newRow("small icons") << int(ID_VIEW_SMALL_ICONS) << 2;
        QTest::newRow("list") << int(ID_VIEW_LIST) << 3;
    }

    void viewModeCheck()
    {
        QFETCH(int, command);
        QFETCH(int, mode);
        CFrameFixture f;
        const QList<int> modes = {ID_VIEW_LARGE_ICONS, ID_VIEW_SMALL_ICONS, ID_VIEW_LIST, ID_VIEW_DETAIL};
        const auto checked = [&f, &modes] {
            QList<int> ids;
            for (const int id : modes) {
                if (f.frame->Action(id)->isChecked())
                    ids << id;
            }
            return ids;
        };
        // From the command, and from the list itself.
        f.frame->Action(command)->trigger();
        QCOMPARE(f.frame->ListView()->GetViewMode(), mode);
        QCOMPARE(checked(), QList<int>{command});
        f.frame->ListView()->SetViewMode((mode + 1) % 4);
        QCOMPARE(checked().size(), 1);
        QVERIFY(checked().first() != command);
        f.frame->ListView()->SetViewMode(mode);
        QCOMPARE(checked(), QList<int>{command});
    }

    void toolBarAndPrompts()
    {
        CFrameFixture f;
        const QList<QAction*> buttons = f.frame->ToolBar()->actions();
        QList<int> ids;
        for (const QAction* action : buttons)
            ids << (action->isSeparator() ? 0 : action->data().toInt());
        QCOMPARE(ids, (QList<int>{ID_PC_TO_VQ, ID_VQ_TO_PC, 0, ID_UP_ONE_LEVEL, 0, ID_VIEW_LARGE_ICONS,
                                  ID_VIEW_SMALL_ICONS, ID_VIEW_LIST, ID_VIEW_DETAIL}));
        QCOMPARE(f.frame->Action(ID_PC_TO_VQ)->toolTip(), u"PC to VQ"_s);
        QCOMPARE(f.frame->Action(ID_PC_TO_VQ)->statusTip(), u"Download the file to VQ"_s);
        QCOMPARE(f.frame->Action(ID_VIEW_DETAIL)->toolTip(), u"Details"_s);
        QCOMPARE(f.frame->Action(ID_UP_ONE_LEVEL)->statusTip(), u"Up One Level"_s);
        QCOMPARE(f.frame->windowTitle(), u"VQ8 Comm"_s);
    }

    void menus()
    {
        CFrameFixture f;
        const QList<QAction*> top = f.frame->menuBar()->actions();
        QCOMPARE(Texts(top), (QStringList{u"&File"_s, u"&View"_s, u"&Utility"_s, u"&Help"_s}));
        QCOMPARE(Texts(top[0]->menu()->actions()),
                 (QStringList{u"&PC to VQ"_s, u"&VQ to PC"_s, u"-"_s, u"Ne&w"_s, u"-"_s, u"&Delete"_s,
                              u"&Rename"_s, u"-"_s, u"E&xit"_s}));
        QCOMPARE(Texts(top[1]->menu()->actions()),
                 (QStringList{u"&Toolbar"_s, u"&Status Bar"_s, u"-"_s, u"Lar&ge Icons"_s, u"S&mall Icons"_s,
                              u"&List"_s, u"&Detail"_s, u"-"_s, u"Arrange &Icons"_s, u"-"_s, u"&Refresh"_s}));
        QCOMPARE(Texts(top[2]->menu()->actions()),
                 (QStringList{u"&Network"_s, u"&Check Error"_s, u"&Options"_s, u"-"_s,
                              u"Compare with &PC Folder..."_s, u"&Send to Several Generators..."_s,
                              u"&Back Up the Generator..."_s, u"&Restore to the Generator..."_s}));
        QCOMPARE(Texts(top[3]->menu()->actions()), QStringList{u"&About VQ8 Comm..."_s});
        QCOMPARE(Texts(f.frame->ContextMenu(143)->actions()),
                 (QStringList{u"&Explore"_s, u"-"_s, u"&Delete"_s, u"&Rename"_s}));
        QCOMPARE(Texts(f.frame->ContextMenu(144)->actions()),
                 (QStringList{u"&VQ to PC"_s, u"-"_s, u"&Delete"_s, u"&Rename"_s}));
        QCOMPARE(
            Texts(f.frame->ContextMenu(147)->actions()),
            (QStringList{u"&Explorer"_s, u"-"_s, u"&Rename"_s, u"-"_s, u"Compare with &PC Folder..."_s}));
        QCOMPARE(
            Texts(f.frame->ContextMenu(142)->actions()),
            (QStringList{u"&View"_s, u"-"_s, u"Arrange &Icons"_s, u"-"_s, u"&Refresh"_s, u"-"_s, u"&New"_s}));
        // The background menu's "Details" is the details command under its own text.
        QMenu* viewMenu = f.frame->ContextMenu(142)->actions().first()->menu();
        QAction* details = viewMenu->actions().last();
        QCOMPARE(details->text(), u"&Details"_s);
        details->trigger();
        QCOMPARE(f.frame->ListView()->GetViewMode(), int(CUiListView::VIEW_DETAILS));
        QVERIFY(details->isChecked());
    }

    void navigationCommands()
    {
        CFrameFixture f;
        QVERIFY(f.Connect());
        CUiTreeView* tree = f.frame->TreeView();
        CUiListView* list = f.frame->ListView();
        QVERIFY(!f.frame->Action(ID_UP_ONE_LEVEL)->isEnabled());

        // Explorer on the tree's context item.
        QTreeWidgetItem* user = f.FirstLevel(u"USER"_s);
        QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, tree->visualItemRect(user).center());
        QCOMPARE(tree->GetContextItem(), user);
        f.frame->Action(ID_TREE_EXPLORE)->trigger();
        QCOMPARE(list->GetCurrentPath(), u"/F0:/USER"_s);
        QVERIFY(f.frame->Action(ID_UP_ONE_LEVEL)->isEnabled());

        // Explore opens the selected folder of the list.
        f.frame->SetActiveView(list);
        list->IconView()->setCurrentIndex(
            list->IconView()->model()->index(list->FindItemByName(u"PROJECTS"_s), 0));
        f.frame->Action(ID_EXPLORE)->trigger();
        QCOMPARE(list->GetCurrentPath(), u"/F0:/USER/PROJECTS"_s);

        f.frame->Action(ID_UP_ONE_LEVEL)->trigger();
        QCOMPARE(list->GetCurrentPath(), u"/F0:/USER"_s);
        f.frame->Action(ID_UP_ONE_LEVEL)->trigger();
        QCOMPARE(list->GetCurrentPath(), u"/F0:/"_s);
        QVERIFY(!f.frame->Action(ID_UP_ONE_LEVEL)->isEnabled());

        // Sorting from the menu reaches the list.
        f.frame->Action(ID_SORT_BY_SIZE)->trigger();
        QCOMPARE(list->GetSortKey(), 2);
        f.frame->Action(ID_SORT_BY_SIZE)->trigger();
        QCOMPARE(list->GetSortKey(), -2);

        // Rename of a first-level context item is refused with 1037.
        tree->setCurrentItem(user);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(user).center());
        f.frame->Action(ID_TREE_RENAME)->trigger();
        QCOMPARE(f.host.MessageTexts(), QStringList{u"Can not rename this folder"_s});
    }

    void deleteCommandInTree()
    {
        CFrameFixture f;
        QVERIFY(f.sim.AddFolder(u"/F0:/USER/OLD"_s));
        QVERIFY(f.Connect());
        CUiTreeView* tree = f.frame->TreeView();
        QTreeWidgetItem* user = f.FirstLevel(u"USER"_s);
        tree->setCurrentItem(user);
        user->setExpanded(true);
        QTreeWidgetItem* old = user->child(0);
        QCOMPARE(old->text(0), u"OLD"_s);
        tree->setCurrentItem(old);
        f.frame->SetActiveView(tree);
        f.frame->Action(ID_DELETE_ITEM)->trigger();
        QCOMPARE(f.host.Messages().size(), 1);
        QTRY_VERIFY(!f.sim.Exists(u"/F0:/USER/OLD"_s));
        QCOMPARE(f.frame->ListView()->GetCurrentPath(), u"/F0:/USER"_s);
        QCOMPARE(f.frame->ListView()->FindItemByName(u"OLD"_s), -1);
    }

    void systemLocaleChangeReachesList()
    {
        CFrameFixture f;
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(f.Connect());
        f.frame->TreeView()->setCurrentItem(f.FirstLevel(u"DOWNLOAD"_s));
        const QModelIndex size = f.frame->ListView()->Model()->index(0, 1);
        QCOMPARE(size.data().toString(), u"4,096"_s);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        // As the platform announces a change of the regional settings.
        QEvent change(QEvent::LocaleChange);
        QCoreApplication::sendEvent(qApp, &change);
        QCOMPARE(size.data().toString(), u"4.096"_s);
        QLocale::setDefault(before);
    }

    void guiHostReachesList()
    {
        CFrameFixture f;
        QVERIFY(f.Connect());
        CGuiHost gui;
        QVERIFY(!gui.TransferReceiver());
        gui.SetMainFrame(f.frame.get());
        f.frame->TreeView()->setCurrentItem(f.FirstLevel(u"SIGNAL"_s));
        QCOMPARE(gui.TransferReceiver(), f.frame->ListView());
        QCOMPARE(gui.ListFolder(), u"/F0:/SIGNAL"_s);
        QCOMPARE(gui.ListHasItem(u"720p50.cmp"_s), 1);
        QCOMPARE(gui.ListHasItem(u"720P50"_s), 0);

        // The channel closes for a batch's file and opens at its end: the
        // commands follow each message of the batch.
        f.comm.Disconnect();
        CLinkEvent done(WM_UPLOAD_DONE, 0);
        QCoreApplication::sendEvent(f.frame->ListView(), &done);
        QVERIFY(!f.frame->Action(ID_DELETE_ITEM)->isEnabled());
    }

    void clearViews()
    {
        CFrameFixture f;
        QVERIFY(f.Connect());
        QVERIFY(f.frame->ListView()->ItemCount() > 0);
        f.frame->ClearViews();
        QCOMPARE(f.frame->TreeView()->topLevelItemCount(), 0);
        QCOMPARE(f.frame->ListView()->ItemCount(), 0);
        QCOMPARE(f.frame->ListView()->GetCurrentPath(), QString());
        // The next connect (a failed one empties the views) shows the
        // generator's folders again, not what the emptied list holds.
        f.comm.Disconnect();
        QVERIFY(f.Connect());
        QCOMPARE(f.frame->TreeView()->GetRootItem()->childCount(), 8);
        QCOMPARE(f.frame->ListView()->ItemCount(), 8);
    }

    void panesTakeFocusInTurn()
    {
        CFrameFixture f;
        QApplication::setActiveWindow(f.frame.get());
        QVERIFY(QTest::qWaitForWindowActive(f.frame.get()));
        f.frame->ListView()->ItemView()->setFocus();
        QCOMPARE(f.frame->ActiveView(), f.frame->ListView());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
        QCOMPARE(f.frame->ActiveView(), f.frame->TreeView());
        QVERIFY(f.frame->TreeView()->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6, Qt::ShiftModifier);
        QCOMPARE(f.frame->ActiveView(), f.frame->ListView());
        QVERIFY(f.frame->ListView()->ItemView()->hasFocus());
    }

    void listStateGoesToSettings()
    {
        CFrameFixture f;
        ListViewState stored;
        stored.mode = 3;
        stored.sortKey = -1;
        stored.firstColumnWidth = 123;
        stored.secondColumnWidth = 95; // above any style's least width of a column
        f.settings.SetListViewState(stored);
        f.frame = std::make_unique<CMainFrame>(&f.comm, &f.settings);
        QCOMPARE(f.frame->ListView()->GetViewMode(), 3);
        QVERIFY(f.frame->Action(ID_VIEW_LIST)->isChecked());
        f.frame->Action(ID_VIEW_DETAIL)->trigger();
        f.frame->ListView()->SortBy(2);
        f.frame.reset();
        const ListViewState kept = f.settings.GetListViewState();
        QCOMPARE((QList<int>{kept.mode, kept.sortKey, kept.firstColumnWidth, kept.secondColumnWidth}),
                 (QList<int>{1, 2, 123, 95}));
    }

    // "PC to VQ" in the root refuses before any dialog.
    void transferCommandsRefusedAtRoot_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("message");
        QTest::newRow("PC to VQ") << int(ID_PC_TO_VQ) << u"Can not download to root directory."_s;
        QTest::newRow("VQ to PC") << int(ID_VQ_TO_PC) << u"Can not upload from root directory."_s;
    }
    void transferCommandsRefusedAtRoot()
    {
        QFETCH(int, command);
        CFrameFixture f;
        QVERIFY(f.Connect());
        CModalAnswerer<QFileDialog> chooser([](QFileDialog* dialog) { dialog->reject(); });
        f.frame->Action(command)->trigger();
        QTEST(f.host.MessageTexts().value(0), "message");
        QCOMPARE(f.host.Messages().first().style, int(MB_OK | MB_ICONSTOP));
        QCOMPARE(chooser.Answered(), 0);
    }

    // "VQ to PC": every target is asked first; a Cancel on any of them, or a
    // selection that is not files only, transfers nothing.
    void uploadSelectionRefused_data()
    {
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<int>("cancelAt"); // 1-based save dialog, 0 none
        QTest::addColumn<QString>("message");
        QTest::newRow("nothing selected") << QStringList() << 0 << u"Please select a file to upload."_s;
        QTest::newRow("a folder among the files")
            << QStringList{u"README.TXT"_s, u"PROJECTS"_s} << 0 << u"A folder cannot be transferred to PC."_s;
        QTest::newRow("second target cancelled")
            << QStringList{u"A.SEQ"_s, u"B.CMP"_s, u"README.TXT"_s} << 2 << QString();
    }
    void uploadSelectionRefused()
    {
        QFETCH(QStringList, selected);
        QFETCH(int, cancelAt);
        QFETCH(QString, message);
        CFrameFixture f;
        QVERIFY(f.SelectInUser({{u"A.SEQ"_s, "aaaa"}, {u"B.CMP"_s, "bbbb"}}, selected));
        QTemporaryDir dir;
        int asked = 0;
        CModalAnswerer<CVQFileDialog> chooser([&](CVQFileDialog* dialog) {
            ++asked;
            if (asked == cancelAt) {
                dialog->reject();
                return;
            }
            TypeAndConfirm(dialog, dir.filePath(u"target%1"_s.arg(asked)));
        });
        const int connections = f.sim.ConnectionCount();
        f.frame->Action(ID_VQ_TO_PC)->trigger();
        QCOMPARE(f.host.MessageTexts(), message.isEmpty() ? QStringList() : QStringList{message});
        if (!message.isEmpty())
            QCOMPARE(f.host.Messages().first().style, int(MB_OK | MB_ICONINFORMATION));
        QCOMPARE(f.host.BeepCount(), 0); // remarks, not errors
        QCOMPARE(asked, cancelAt);
        QTest::qWait(100);
        QCOMPARE(f.sim.ConnectionCount(), connections); // no transfer connection
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
        QVERIFY(f.comm.IsConnected());
    }

    // A generator name this PC cannot take, a name typed that it cannot
    // take, and a second file for one target are each told by one message
    // naming the rule and the name; the others of the batch arrive.
    void uploadNamesThePcCannotTake_data()
    {
        QTest::addColumn<QStringList>("names");   // on the generator, in list order, all selected
        QTest::addColumn<QStringList>("typed");   // in the save dialogs, in the order asked
        QTest::addColumn<QStringList>("refused"); // the names the messages are about
        QTest::addColumn<QStringList>("arrived"); // on the PC afterwards
#ifdef Q_OS_WIN
        // (The emulator holds no name with a character Windows reserves.)
        const QStringList generatorNames{u"CON.TXT"_s, u"TRAIL."_s, u"TRAIL "_s};
        const QString typedName = u"TRAIL."_s;
#else
        // The generator holds no name that this PC cannot take.
        const QStringList generatorNames;
        const QString typedName = u"x\\y"_s;
#endif
        for (const QString& name : generatorNames)
            QTest::addRow("generator name %s", qPrintable(name))
                << QStringList{u"A.SEQ"_s, name, u"Z.SEQ"_s} << QStringList{u"a"_s, u"z"_s}
                << QStringList{name} << QStringList{u"a"_s, u"z"_s};
        QTest::newRow("typed name") << QStringList{u"A.SEQ"_s, u"Z.SEQ"_s} << QStringList{typedName, u"z"_s}
                                    << QStringList{typedName} << QStringList{u"z"_s};
        QTest::newRow("one target twice")
            << QStringList{u"A.SEQ"_s, u"Z.SEQ"_s} << QStringList{u"a"_s, u"A"_s} << QStringList{u"A"_s}
            << QStringList{u"a"_s};
    }
    void uploadNamesThePcCannotTake()
    {
        QFETCH(QStringList, names);
        QFETCH(QStringList, typed);
        QFETCH(QStringList, refused);
        QFETCH(QStringList, arrived);
        CFrameFixture f;
        QList<std::pair<QString, QByteArray>> files;
        for (const QString& name : names)
            files.append({name, name.toLatin1()});
        QVERIFY(f.SelectInUser(files, names));
        QCOMPARE(f.frame->ListView()->IconView()->selectionModel()->selectedIndexes().size(), names.size());
        QTemporaryDir dir;
        QStringList asked;
        CModalAnswerer<CVQFileDialog> chooser([&](CVQFileDialog* dialog) {
            asked.append(dialog->selectedFiles().value(0).section(u'/', -1));
            TypeAndConfirm(dialog, dir.path() + u'/' + typed.value(asked.size() - 1));
        });
        f.frame->Action(ID_VQ_TO_PC)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!f.comm.IsInBatch() && f.comm.IsConnected(), 15000);
        QCOMPARE(asked.size(), typed.size());
        const QStringList messages = f.host.MessageTexts();
        QCOMPARE(messages.size(), refused.size());
        for (qsizetype i = 0; i < refused.size(); ++i)
            QVERIFY2(messages.at(i).endsWith(u'"' + refused.at(i) + u'"') ||
                         messages.at(i).endsWith(QDir::toNativeSeparators(u'/' + refused.at(i)) + u'"'),
                     qPrintable(messages.at(i)));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), arrived);
        // Each arrived file is the generator file whose dialog named it.
        for (const QString& name : arrived) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(file.readAll().startsWith(name.toUpper().toLatin1()), qPrintable(name));
        }
    }

    // Each save chooser of a batch opens where the one before was confirmed,
    // so Enter in each keeps the files together; the first of a run where
    // the user last confirmed a chooser of either kind, kept between runs.
    void uploadChoosersFollowTheUser()
    {
        CFrameFixture f;
        QVERIFY(f.SelectInUser({{u"D1.TXT"_s, "d1"}, {u"D2.TXT"_s, "d2"}}, {u"D1.TXT"_s, u"D2.TXT"_s}));
        QTemporaryDir dir;
        const QString last = dir.filePath(u"lastrun"_s);
        const QString backE = dir.filePath(u"backE"_s);
        QVERIFY(QDir().mkpath(last) && QDir().mkpath(backE));
        CVQFileDialog::SetLastFolder(QDir::toNativeSeparators(last)); // as read from the settings
        QStringList opened;
        CModalAnswerer<CVQFileDialog> saver([&](CVQFileDialog* dialog) {
            opened << dialog->directory().absolutePath();
            // The first moved to backE/ by hand; the second only confirmed.
            TypeAndConfirm(dialog, opened.size() == 1 ? QDir(backE).filePath(u"D1.TXT"_s) : u"D2.TXT"_s);
        });
        f.frame->Action(ID_VQ_TO_PC)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!f.comm.IsInBatch() && f.comm.IsConnected(), 15000);
        QCOMPARE(opened, (QStringList{last, backE}));
        QCOMPARE(QDir(backE).entryList(QDir::Files), (QStringList{u"D1.TXT"_s, u"D2.TXT"_s}));
        // The open chooser starts there too, and the program keeps the place.
        QCOMPARE(CVQFileDialog::StartFolder(1), backE);
        QCOMPARE(CVQFileDialog::LastFolder(), QDir::toNativeSeparators(backE));
        // A kept folder that is gone: the home folder.
        CVQFileDialog::SetLastFolder(QDir::toNativeSeparators(dir.filePath(u"gone"_s)));
        QCOMPARE(CVQFileDialog::StartFolder(0), QDir::homePath());
        CVQFileDialog::SetLastFolder(QString());
    }

    // The road of a download and of an upload through the menu.
    void downloadAndUploadByMenu()
    {
        CFrameFixture f;
        QVERIFY(f.ConnectForTransfers());
        f.frame->TreeView()->setCurrentItem(f.FirstLevel(u"USER"_s));
        const QString objectsBefore = f.host.ObjectsText();
        QTemporaryDir dir;
        QByteArray one(100000, 'x');
        for (int i = 0; i < one.size(); ++i)
            one[i] = char(i * 7);
        const QByteArray two = "second file";
        for (const auto& [name, data] : {std::pair{u"one.seq"_s, one}, std::pair{u"two.txt"_s, two}}) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(data);
        }
        {
            CModalAnswerer<CVQFileDialog> chooser([&](CVQFileDialog* dialog) {
                QCOMPARE(dialog->windowTitle(), CVQFileDialog::DOWNLOAD_TITLE);
                dialog->setDirectory(dir.path());
                TypeAndConfirm(dialog, u"\"one.seq\" \"two.txt\""_s);
            });
            f.frame->Action(ID_PC_TO_VQ)->trigger();
            QCOMPARE(chooser.Answered(), 1);
        }
        QTRY_VERIFY_WITH_TIMEOUT(f.frame->ListView()->FindItemByName(u"two.txt"_s) >= 0, 15000);
        QTRY_VERIFY(f.comm.IsConnected() && !f.comm.IsInBatch());
        QCOMPARE(f.sim.FileData(u"/F0:/USER/one.seq"_s), one);
        QCOMPARE(f.sim.FileData(u"/F0:/USER/two.txt"_s), two);
        QCOMPARE(f.host.ObjectsText(), u"4 object[s]"_s);
        QVERIFY(f.host.MemoryText().contains(u"Memory free"_s));
        QVERIFY(objectsBefore != f.host.ObjectsText());
        QVERIFY(f.host.MessageTexts().isEmpty());

        // And back: the file the generator holds arrives on the PC.
        CUiListView* list = f.frame->ListView();
        list->IconView()->selectionModel()->select(
            list->Model()->index(list->FindItemByName(u"one.seq"_s), 0), QItemSelectionModel::ClearAndSelect);
        const QString target = dir.filePath(u"back.seq"_s);
        CModalAnswerer<CVQFileDialog> saver([&](CVQFileDialog* dialog) {
            QCOMPARE(dialog->windowTitle(), CVQFileDialog::UPLOAD_TITLE);
            TypeAndConfirm(dialog, target);
        });
        f.frame->Action(ID_VQ_TO_PC)->trigger();
        QCOMPARE(saver.Answered(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!f.comm.IsInBatch() && f.comm.IsConnected(), 15000);
        QFile back(target);
        QVERIFY(back.open(QIODevice::ReadOnly));
        QCOMPARE(back.readAll(), one);
    }

    // A file the generator refuses (its memory fills up once the batch has
    // been checked) is named to the user.
    void refusedFileIsNamed()
    {
        CFrameFixture f;
        QVERIFY(f.ConnectForTransfers());
        f.frame->TreeView()->setCurrentItem(f.FirstLevel(u"USER"_s));
        QTemporaryDir dir;
        QFile file(dir.filePath(u"big.cmp"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(50000, 'b'));
        file.close();
        QVERIFY(f.comm.PrepareDownload({file.fileName()}, u"/F0:/USER"_s));
        f.sim.SetCapacity(f.sim.Used() + 1000);
        QTRY_VERIFY_WITH_TIMEOUT(!f.comm.IsInBatch() && f.comm.IsConnected(), 15000);
        QTRY_VERIFY(!f.host.MessageTexts().isEmpty());
        const QString text = f.host.MessageTexts().last();
        QVERIFY2(text.contains(u"/F0:/USER/big.cmp: 50000 bytes sent, not listed"_s), qPrintable(text));
        QVERIFY2(text.contains(u"Media full"_s), qPrintable(text));
    }

    // While no generator is connected the status bar says so, not the
    // figures of the last one.
    void statusWhileDisconnected()
    {
        CFrameFixture f;
        QCOMPARE(f.frame->findChild<QLabel*>(u"memoryPane"_s)->text(), CMainFrame::NOT_CONNECTED_TEXT);
        QVERIFY(f.Connect());
        f.frame->SetStatusTexts(f.host.ObjectsText(), f.host.MemoryText()); // as the window's own host does
        QCOMPARE(f.frame->findChild<QLabel*>(u"objectsPane"_s)->text(), u"8 object[s]"_s);
        f.comm.Disconnect();
        f.frame->UpdateCommandUI();
        QCOMPARE(f.frame->findChild<QLabel*>(u"objectsPane"_s)->text(), QString());
        QCOMPARE(f.frame->findChild<QLabel*>(u"memoryPane"_s)->text(), CMainFrame::CONNECTION_LOST_TEXT);
        f.frame->ClearViews();
        QCOMPARE(f.frame->findChild<QLabel*>(u"memoryPane"_s)->text(), CMainFrame::NOT_CONNECTED_TEXT);
    }

    // The hint that stands for the figures is read whole in a window of the
    // default width, clear of the other panes.
    void offlineHintShownWhole_data()
    {
        QTest::addColumn<bool>("lost");
        QTest::newRow("not connected") << false;
        QTest::newRow("connection lost") << true;
    }
    void offlineHintShownWhole()
    {
        QFETCH(bool, lost);
        CFrameFixture f;
        if (lost) {
            QVERIFY(f.Connect());
            f.comm.Disconnect();
            f.frame->UpdateCommandUI();
        }
        f.frame->resize(720, 560);
        QVERIFY(QTest::qWaitForWindowExposed(f.frame.get()));
        auto* memory = f.frame->findChild<QLabel*>(u"memoryPane"_s);
        auto* message = f.frame->findChild<QLabel*>(u"messagePane"_s);
        QCOMPARE(memory->text(), lost ? CMainFrame::CONNECTION_LOST_TEXT : CMainFrame::NOT_CONNECTED_TEXT);
        QTRY_VERIFY(memory->contentsRect().width() >=
                    memory->fontMetrics().horizontalAdvance(memory->text()));
        QVERIFY(!f.frame->findChild<QLabel*>(u"objectsPane"_s)->isVisible());
        QVERIFY(!memory->geometry().intersects(message->geometry()));
        QVERIFY(memory->geometry().right() <= f.frame->statusBar()->width());
    }

    // The message pane and the memory pane share the room the object pane
    // leaves; prompts show in the message pane; the list's menu shows the
    // icon of every view mode.
    void statusPanesAndMenuIcons()
    {
        CFrameFixture f;
        f.frame->resize(1200, 400);
        QVERIFY(QTest::qWaitForWindowExposed(f.frame.get()));
        auto* message = f.frame->findChild<QLabel*>(u"messagePane"_s);
        auto* memory = f.frame->findChild<QLabel*>(u"memoryPane"_s);
        QTRY_VERIFY(memory->width() > memory->sizeHint().width() + 100);
        QVERIFY(std::abs(message->width() - memory->width()) < 20);
        QStatusTipEvent tip(u"Connect to VQ"_s);
        QCoreApplication::sendEvent(f.frame.get(), &tip);
        QCOMPARE(message->text(), u"Connect to VQ"_s);
        const QList<QAction*> modes = f.frame->ContextMenu(142)->actions().first()->menu()->actions();
        QCOMPARE(modes.size(), 4);
        for (const QAction* mode : modes)
            QVERIFY2(!mode->icon().isNull(), qPrintable(mode->text()));
    }

    // The generator goes away and comes back: a folder that could not be
    // read is never shown as an empty one, the panes keep what they showed,
    // and Refresh connects again without the network dialog.
    void generatorAwayAndBack()
    {
        CFrameFixture f;
        QVERIFY(f.Connect());
        CUiListView* list = f.frame->ListView();
        const quint16 port = f.sim.Port();
        f.sim.Stop();
        f.frame->TreeView()->setCurrentItem(f.FirstLevel(u"USER"_s)); // a click on a folder
        QVERIFY(!list->IsFolderRead());
        QVERIFY(list->findChild<QLabel*>(u"unreadNote"_s)->isVisibleTo(list));
        QVERIFY(f.frame->Action(ID_REFRESH)->isEnabled());
        // Another click while it is still away: said, and nothing emptied.
        f.frame->TreeView()->setCurrentItem(f.FirstLevel(u"PRESET"_s));
        QCOMPARE(f.host.MessageTexts().value(1), u"Cannot connect to \"127.0.0.1\""_s);
        QCOMPARE(f.host.ClearViewsCount(), 0);
        QCOMPARE(f.frame->TreeView()->GetRootItem()->childCount(), 8);
        QVERIFY(!list->IsFolderRead());

        CSimOptions options;
        options.m_nPort = port;
        QVERIFY2(f.sim.Start(options), qPrintable(f.sim.ErrorString()));
        f.frame->Action(ID_REFRESH)->trigger();
        QVERIFY(f.comm.IsConnected());
        QVERIFY(list->IsFolderRead());
        QVERIFY(!list->findChild<QLabel*>(u"unreadNote"_s)->isVisibleTo(list));
        QVERIFY(list->FindItemByName(u"FACTORY.PST"_s) >= 0);
    }

    // Closing the window during a batch asks first; Cancel goes on copying,
    // OK stops the copy as Cancel does and leaves nothing at the target.
    void exitDuringCopy()
    {
        CFrameFixture f;
        QVERIFY(f.ConnectForTransfers());
        f.comm.SetDelayScale(1.0); // one chunk per 100 ms: the copy takes a while
        QVERIFY(f.sim.AddFile(u"/F0:/USER/LONG.PIC"_s, QByteArray(2000000, 'p')));
        f.frame->TreeView()->setCurrentItem(f.FirstLevel(u"USER"_s));
        QTemporaryDir dir;
        const CFileInfo entry(u"LONG.PIC"_s, qint64(2000000), quint32(0), 0);
        f.comm.SetUploadFolder(u"/F0:/USER"_s);
        f.comm.QueueUpload(&entry, dir.filePath(u"LONG.PIC"_s));
        QVERIFY(f.comm.StartUpload());
        QTRY_VERIFY(f.host.ProgressRecord().lastDone > 0);

        f.host.QueueAnswer(IDCANCEL);
        QVERIFY(!f.frame->close());
        QCOMPARE(f.host.MessageTexts(), QStringList{CMainFrame::STOP_COPY_TEXT});
        QCOMPARE(f.host.Messages().first().style, int(MB_OKCANCEL | MB_ICONQUESTION));
        QVERIFY(f.comm.IsTransferRunning());

        f.host.QueueAnswer(IDOK);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(f.frame->close());
        QVERIFY(timer.elapsed() < 2000);
        QVERIFY(!f.comm.IsTransferRunning());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // A folder that appeared on the generator: one Refresh shows it in both
    // panes, and opening it from the list selects it in the tree.
    void refreshAndOpenNewFolder()
    {
        CFrameFixture f;
        QVERIFY(f.Connect());
        CUiTreeView* tree = f.frame->TreeView();
        QTreeWidgetItem* user = f.FirstLevel(u"USER"_s);
        tree->setCurrentItem(user);
        user->setExpanded(true);
        QVERIFY(f.sim.AddFolder(u"/F0:/USER/LATE"_s));
        f.sim.ClearTranscripts();
        f.frame->Action(ID_REFRESH)->trigger();
        QCOMPARE(f.sim.AllReceived().count("mmem:cat?"), 1);
        QVERIFY(f.frame->ListView()->FindItemByName(u"LATE"_s) >= 0);
        QVERIFY(Child(user, u"LATE"_s));

        QVERIFY(f.sim.AddFolder(u"/F0:/USER/LATER"_s));
        f.frame->ListView()->Refresh(); // the list knows, the tree not yet
        f.frame->ListView()->OpenItem(f.frame->ListView()->FindItemByName(u"LATER"_s));
        QCOMPARE(tree->ItemPath(tree->currentItem()), u"/F0:/USER/LATER"_s);
    }

    // The window fits on its screen, whatever size was stored.
    void windowFitsTheScreen()
    {
        CFrameFixture f;
        const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
        WindowPlacement placement;
        placement.width = room.width() * 2;
        placement.height = room.height() * 2;
        f.settings.SetWindowPlacement(placement);
        CMainFrame frame(&f.comm, &f.settings);
        QVERIFY(frame.width() <= room.width());
        QVERIFY(frame.height() <= room.height());
        QVERIFY(room.contains(frame.pos()));
    }
};

QTEST_MAIN(TestMainFrame)
#include "tst_mainframe.moc"
