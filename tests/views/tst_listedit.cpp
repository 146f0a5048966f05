#include "link/devicename.h"
#include "link/stringtable.h"
#include "tests/support/explorerfixture.h"

#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QTemporaryDir>
#include <QtTest>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

const QString kFolder = u"/F0:/USER/T"_s;

// The list shows a test folder holding `names` ("NAME/" a folder, else a file).
bool ShowFolder(CExplorerFixture& f, const QStringList& names)
{
    if (!f.sim.AddFolder(kFolder))
        return false;
    for (const QString& name : names) {
        const bool ok = name.endsWith(u'/') ? f.sim.AddFolder(kFolder + u'/' + name.chopped(1))
                                            : f.sim.AddFile(kFolder + u'/' + name, name.toLatin1());
        if (!ok)
            return false;
    }
    if (!f.Start())
        return false;
    f.pTree->setCurrentItem(f.Item(u"USER/T"_s));
    f.host.ClearMessages();
    return f.pList->GetCurrentPath() == kFolder;
}

void Select(CExplorerFixture& f, const QStringList& names)
{
    QItemSelectionModel* selection = f.pList->IconView()->selectionModel();
    selection->clear();
    for (const QString& name : names)
        selection->select(f.pList->Model()->index(f.pList->FindItemByName(name), 0),
                          QItemSelectionModel::Select);
}

// Sends a drag over `widget` at `pos`, then drops it there when asked.
// Returns whether the last event was accepted.
bool Drag(QWidget* widget, const QPoint& pos, const QMimeData& data, bool drop)
{
    QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &enter);
    QDragMoveEvent move(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
    if (!drop)
        return move.isAccepted() && move.dropAction() == Qt::CopyAction;
    QDropEvent dropEvent(QPointF(pos), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &dropEvent);
    return dropEvent.isAccepted();
}

QPoint RowPoint(CExplorerFixture& f, const QString& name)
{
    return f.pList->IconView()
        ->visualRect(f.pList->Model()->index(f.pList->FindItemByName(name), 0))
        .center();
}

} // namespace

class TestListEdit final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void newFolderName_data()
    {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QString>("proposed");
        QTest::newRow("empty folder") << QStringList() << u"New Folder"_s;
        QTest::newRow("first two taken")
            << QStringList{u"New Folder/"_s, u"New Folder(2)"_s} << u"New Folder(3)"_s;
        QTest::newRow("case ignored, files count") << QStringList{u"new folder"_s} << u"New Folder(2)"_s;
        QTest::newRow("(1) blocks nothing") << QStringList{u"New Folder(1)/"_s} << u"New Folder"_s;
    }
    void newFolderName()
    {
        QFETCH(QStringList, present);
        CExplorerFixture f;
        QVERIFY(ShowFolder(f, present));
        f.Sent();
        f.pList->CreateNewFolder();
        const int last = f.pList->ItemCount() - 1;
        QTEST(f.pList->Model()->Entry(last)->GetName(), "proposed");
        QVERIFY(f.pList->Model()->Entry(last)->IsFolder());
        QVERIFY(f.pList->IsNewFolderPending());
        QVERIFY(f.pList->IconView()->indexWidget(f.pList->Model()->index(last, 0)));
        // Nothing reaches the generator before the edit ends.
        QCOMPARE(f.Sent(), QByteArray());
    }

    // The end of a new folder's edit, step by step: a text typed, or Escape
    // ("<esc>"). Each refused name puts the editor back on the same item.
    void newFolderEdit_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("made");
        const QString invalid = u"Invalid file name : \"a/b\""_s;
        QTest::newRow("escape makes the proposed name")
            << QStringList{u"<esc>"_s} << QStringList() << u"New Folder"_s;
        QTest::newRow("typed name") << QStringList{u"Alpha"_s} << QStringList() << u"Alpha"_s;
        QTest::newRow("proposed name confirmed")
            << QStringList{u"New Folder"_s} << QStringList() << u"New Folder"_s;
        QTest::newRow("taken name, then another")
            << QStringList{u"a.txt"_s, u"Beta"_s} << QStringList{TEXT_NAME_TAKEN} << u"Beta"_s;
        QTest::newRow("invalid name, then escape")
            << QStringList{u"a/b"_s, u"<esc>"_s} << QStringList{invalid} << u"New Folder"_s;
    }
    void newFolderEdit()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, made);
        CExplorerFixture f;
        QVERIFY(ShowFolder(f, {u"A.TXT"_s}));
        f.pList->CreateNewFolder();
        const int row = f.pList->ItemCount() - 1;
        for (const QString& step : std::as_const(steps))
            f.pList->EndLabelEdit(row, step == u"<esc>" ? QString() : step, step != u"<esc>");
        QTEST(f.host.MessageTexts(), "messages");
        QVERIFY(!f.pList->IsNewFolderPending());
        QVERIFY(f.sim.IsFolder(kFolder + u'/' + made));
        QCOMPARE(f.pList->Model()->Entry(row)->GetName(), made);
        // The tree shows the new folder too.
        QVERIFY(CExplorerFixture::Child(f.pTree->currentItem(), made));
    }

    void rename_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("editing");
        QTest::newRow("file renamed") << u"A.TXT"_s << u"C.TXT"_s << QStringList() << u"C.TXT"_s << false;
        QTest::newRow("folder renamed") << u"SUB"_s << u"SUB2"_s << QStringList() << u"SUB2"_s << false;
        // A second slow click opens the editor; leaving it as it was changes nothing.
        QTest::newRow("unchanged is no change")
            << u"A.TXT"_s << u"A.TXT"_s << QStringList() << u"A.TXT"_s << false;
        QTest::newRow("case-only duplicate")
            << u"A.TXT"_s << u"b.txt"_s << QStringList{TEXT_NAME_TAKEN} << u"A.TXT"_s << true;
        // Taken on the generator since the list was read: the generator says no.
        QTest::newRow("refused by the generator")
            << u"A.TXT"_s << u"LATE.TXT"_s
            << QStringList{u"File name error : \"/F0:/USER/T/A.TXT\"\nNew name : \"LATE.TXT\""_s}
            << u"A.TXT"_s << false;
    }
    void rename()
    {
        QFETCH(QString, item);
        QFETCH(QString, text);
        QFETCH(QString, label);
        QFETCH(bool, editing);
        QFETCH(QStringList, messages);
        CExplorerFixture f;
        QVERIFY(ShowFolder(f, {u"A.TXT"_s, u"B.TXT"_s, u"SUB/"_s}));
        QVERIFY(f.sim.AddFile(kFolder + u"/LATE.TXT"_s, "x"));
        Select(f, {item});
        f.Sent();
        f.pList->BeginRename();
        const QModelIndex index = f.pList->Model()->index(f.pList->FindItemByName(item), 0);
        auto* editor = qobject_cast<QLineEdit*>(f.pList->IconView()->indexWidget(index));
        QVERIFY(editor);
        // Typed and confirmed as a user does.
        editor->selectAll();
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        // The editor commits, then the end of the edit runs once it has gone.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QTRY_COMPARE(f.host.MessageTexts(), messages);
        QTRY_COMPARE(f.pList->Model()->data(index).toString(), label);
        QTRY_COMPARE(f.pList->IconView()->indexWidget(index) != nullptr, editing);
        QVERIFY(f.sim.Exists(kFolder + u'/' + label));
        QCOMPARE(bool(CExplorerFixture::Child(f.pTree->currentItem(), u"SUB2"_s)), label == u"SUB2");
        if (text == item)
            QVERIFY(!f.Sent().contains("mmem:move"));
    }

    // An edit ended by a click on a tree folder is done in its own folder
    // before the list shows the other one; a refused name then ends the
    // edit as Escape does.
    void editEndedByTreeClick_data()
    {
        QTest::addColumn<bool>("newFolder");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("entries"); // the folder's, afterwards
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("new folder") << true << u"XYZ"_s << QStringList{u"A.TXT"_s, u"XYZ/"_s}
                                    << QStringList();
        QTest::newRow("rename") << false << u"C.TXT"_s << QStringList{u"C.TXT"_s} << QStringList();
        QTest::newRow("new folder, name taken")
            << true << u"a.txt"_s << QStringList{u"A.TXT"_s, u"New Folder/"_s}
            << QStringList{TEXT_NAME_TAKEN};
    }
    void editEndedByTreeClick()
    {
        QFETCH(bool, newFolder);
        QFETCH(QString, typed);
        CExplorerFixture f;
        QVERIFY(ShowFolder(f, {u"A.TXT"_s}));
        QApplication::setActiveWindow(&f.splitter);
        QVERIFY(QTest::qWaitForWindowActive(&f.splitter));
        if (newFolder) {
            f.pList->CreateNewFolder();
        } else {
            Select(f, {u"A.TXT"_s});
            f.pList->BeginRename();
        }
        QAbstractItemView* view = f.pList->IconView();
        auto* editor = qobject_cast<QLineEdit*>(view->indexWidget(view->currentIndex()));
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, typed);
        QTreeWidgetItem* signal = f.Item(u"SIGNAL"_s);
        QTest::mouseClick(f.pTree->viewport(), Qt::LeftButton, {}, f.pTree->visualItemRect(signal).center());
        QCOMPARE(f.pList->GetCurrentPath(), u"/F0:/SIGNAL"_s);
        QTEST(f.sim.List(kFolder), "entries");
        QTEST(f.host.MessageTexts(), "messages");
        QVERIFY(!f.pList->IsNewFolderPending());
    }

    void renameAndCreateRefusedAtRoot()
    {
        CExplorerFixture f;
        QVERIFY(f.Start());
        Select(f, {u"USER"_s});
        f.pList->BeginRename();
        f.pList->CreateNewFolder();
        QCOMPARE(f.pList->DeleteSelected(), 0);
        QCOMPARE(f.host.MessageTexts(),
                 (QStringList{LoadStringResource(IDS_CANNOT_RENAME_FOLDER), TEXT_CANNOT_CREATE_FOLDER_HERE,
                              TEXT_CANNOT_REMOVE_FOLDER}));
        QVERIFY(!f.pList->IconView()->indexWidget(f.pList->Model()->index(0, 0)));
        QCOMPARE(f.Sent(), QByteArray());
    }

    void deleteSelected_data()
    {
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QStringList>("gone");
        QTest::addColumn<QStringList>("kept");
        QTest::newRow("one file") << QStringList{u"A.TXT"_s} << int(IDOK)
                                  << u"Are you sure you want to remove the file 'A.TXT' ?"_s
                                  << u"Confirm File Delete"_s << QStringList{u"A.TXT"_s}
                                  << QStringList{u"B.TXT"_s};
        QTest::newRow("two files") << QStringList{u"A.TXT"_s, u"B.TXT"_s} << int(IDOK)
                                   << u"Are you sure you want to remove these 2 files ?"_s
                                   << u"Confirm Multiple File Delete"_s << QStringList{u"A.TXT"_s, u"B.TXT"_s}
                                   << QStringList{u"FULL"_s};
        QTest::newRow("cancelled") << QStringList{u"A.TXT"_s, u"B.TXT"_s} << int(IDCANCEL)
                                   << u"Are you sure you want to remove these 2 files ?"_s
                                   << u"Confirm Multiple File Delete"_s << QStringList()
                                   << QStringList{u"A.TXT"_s, u"B.TXT"_s};
        QTest::newRow("empty folder: the file question")
            << QStringList{u"EMPTY"_s} << int(IDOK) << u"Are you sure you want to remove the file 'EMPTY' ?"_s
            << u"Confirm File Delete"_s << QStringList{u"EMPTY"_s} << QStringList();
        QTest::newRow("folder with entries: only it is emptied")
            << QStringList{u"FULL"_s, u"A.TXT"_s} << int(IDOK)
            << u"Are you sure you want to remove ALL files under 'FULL' ?"_s << u"Confirm Folder Delete"_s
            << QStringList{u"FULL/X.TXT"_s} << QStringList{u"FULL"_s, u"A.TXT"_s};
    }
    void deleteSelected()
    {
        QFETCH(QStringList, selected);
        QFETCH(int, answer);
        QFETCH(QStringList, gone);
        QFETCH(QStringList, kept);
        CExplorerFixture f;
        QVERIFY(f.sim.AddFolder(kFolder + u"/FULL"_s));
        QVERIFY(f.sim.AddFile(kFolder + u"/FULL/X.TXT"_s, "x"));
        QVERIFY(ShowFolder(f, {u"A.TXT"_s, u"B.TXT"_s, u"EMPTY/"_s}));
        Select(f, selected);
        f.host.QueueAnswer(answer);
        QCOMPARE(f.pList->DeleteSelected(), answer == IDOK ? 1 : 0);
        const QList<CScriptedHost::Message> messages = f.host.Messages();
        QCOMPARE(messages.size(), 1);
        QTEST(messages.first().text, "question");
        QTEST(messages.first().caption, "caption");
        QCOMPARE(messages.first().style, int(MB_OKCANCEL | MB_ICONQUESTION));
        for (const QString& name : std::as_const(gone))
            QVERIFY2(!f.sim.Exists(kFolder + u'/' + name), qPrintable(name));
        for (const QString& name : std::as_const(kept))
            QVERIFY2(f.sim.Exists(kFolder + u'/' + name), qPrintable(name));
        // The list shows what the generator holds.
        QCOMPARE(f.pList->ItemCount(), f.sim.List(kFolder).size());
    }

    // The second of two deletions fails: the first stays done, the generator's
    // refusal is shown, and both panes are read again.
    void deleteStopsAtFirstFailure()
    {
        CExplorerFixture f;
        QVERIFY(ShowFolder(f, {u"A.TXT"_s, u"B.TXT"_s, u"C.TXT"_s}));
        QVERIFY(f.comm.DeleteEntry(kFolder + u"/B.TXT"_s)); // gone behind the list's back
        Select(f, {u"A.TXT"_s, u"B.TXT"_s, u"C.TXT"_s});
        f.host.QueueAnswer(IDOK);
        QCOMPARE(f.pList->DeleteSelected(), 1);
        QCOMPARE(f.host.MessageTexts().value(1), u"File name not found : \"/F0:/USER/T/B.TXT\""_s);
        QVERIFY(!f.sim.Exists(kFolder + u"/A.TXT"_s));
        QVERIFY(f.sim.Exists(kFolder + u"/C.TXT"_s));
        QCOMPARE(f.ListNames(), QStringList{u"C.TXT"_s});
    }

    void dropAcceptance_data()
    {
        QTest::addColumn<QString>("folder"); // the list's folder
        QTest::addColumn<QString>("over");   // list item, "" for empty space, or "tree:PATH"
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("target");
        QTest::newRow("root, empty space") << u"/F0:/"_s << QString() << false << QString();
        QTest::newRow("root, folder item") << u"/F0:/"_s << u"USER"_s << true << u"/F0:/USER"_s;
        QTest::newRow("file item") << u"/F0:/USER"_s << u"README.TXT"_s << false << QString();
        QTest::newRow("folder below the root")
            << u"/F0:/USER"_s << u"PROJECTS"_s << true << u"/F0:/USER/PROJECTS"_s;
        QTest::newRow("empty space below the root") << u"/F0:/USER"_s << QString() << true << u"/F0:/USER"_s;
        QTest::newRow("tree root") << u"/F0:/"_s << u"tree:/F0:/"_s << false << QString();
        QTest::newRow("tree folder") << u"/F0:/"_s << u"tree:/F0:/SIGNAL"_s << true << u"/F0:/SIGNAL"_s;
    }
    void dropAcceptance()
    {
        QFETCH(QString, folder);
        QFETCH(QString, over);
        QFETCH(bool, accepted);
        QFETCH(QString, target);
        CExplorerFixture f;
        QVERIFY(f.Start());
        if (folder != DEVICE_ROOT_PATH)
            f.pTree->setCurrentItem(f.Item(folder.mid(5)));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(u"/tmp/x.txt"_s)});
        if (over.startsWith(u"tree:")) {
            const QString path = over.mid(5);
            QTreeWidgetItem* item = path == DEVICE_ROOT_PATH ? f.pTree->GetRootItem() : f.Item(path.mid(5));
            QCOMPARE(Drag(f.pTree->viewport(), f.pTree->visualItemRect(item).center(), data, false),
                     accepted);
            QCOMPARE(f.pTree->DropItem() ? f.pTree->ItemPath(f.pTree->DropItem()) : QString(), target);
            return;
        }
        const QPoint pos = over.isEmpty()
                               ? f.pList->IconView()->viewport()->rect().bottomRight() - QPoint(5, 5)
                               : RowPoint(f, over);
        QCOMPARE(Drag(f.pList->IconView()->viewport(), pos, data, false), accepted);
        if (accepted)
            QCOMPARE(f.pList->GetDropTargetPath(), target);
        // Refused everywhere while the channel is closed (no generator, or a batch).
        f.comm.Disconnect();
        QVERIFY(!Drag(f.pList->IconView()->viewport(), pos, data, false));
    }

    // PC files from the desktop dropped on a folder item are sent there.
    void filesDroppedArrive()
    {
        CExplorerFixture f;
        QVERIFY(f.StartForTransfers());
        f.pTree->setCurrentItem(f.Item(u"USER"_s));
        QTemporaryDir dir;
        QFile file(dir.filePath(u"dropped.seq"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("sequence");
        file.close();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(file.fileName())});
        QVERIFY(Drag(f.pList->IconView()->viewport(), RowPoint(f, u"PROJECTS"_s), data, true));
        QCOMPARE(f.pList->DropItem(), -1);
        QTRY_COMPARE_WITH_TIMEOUT(f.sim.FileData(u"/F0:/USER/PROJECTS/dropped.seq"_s), QByteArray("sequence"),
                                  10000);
        QTRY_VERIFY(f.comm.IsConnected());
    }

    // Under a large icon the name is edited in one framed line where the
    // label stands, as wide as the cell.
    void largeIconEditor()
    {
        CExplorerFixture f;
        QVERIFY(ShowFolder(f, {u"A.TXT"_s}));
        QCOMPARE(f.pList->GetViewMode(), int(CUiListView::VIEW_LARGE_ICONS));
        Select(f, {u"A.TXT"_s});
        f.pList->BeginRename();
        const QModelIndex index = f.pList->Model()->index(0, 0);
        auto* editor = qobject_cast<QLineEdit*>(f.pList->IconView()->indexWidget(index));
        QVERIFY(editor);
        const QRect cell = f.pList->IconView()->visualRect(index);
        const QRect at = editor->geometry();
        QVERIFY(editor->hasFrame());
        QCOMPARE(at.height(), editor->sizeHint().height());
        QCOMPARE(at.left(), cell.left());
        QVERIFY(at.width() >= cell.width());
        // Right under the icon, where the label's first line is.
        QVERIFY2(at.top() >= cell.top() + f.pList->IconView()->iconSize().height() &&
                     at.top() <= cell.top() + f.pList->IconView()->iconSize().height() + 8,
                 qPrintable(u"%1 in %2"_s.arg(at.top()).arg(cell.top())));
        QTest::keyClick(editor, Qt::Key_Escape);
    }

    // A drop copies files, not folders: a PC folder is named and left out;
    // with files beside it the user may go on with them.
    void pcFolderDropped_data()
    {
        QTest::addColumn<bool>("withFile");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("fileArrives");
        QTest::newRow("a folder alone") << false << int(IDOK) << false;
        QTest::newRow("with a file: OK sends the file") << true << int(IDOK) << true;
        QTest::newRow("with a file: Cancel sends nothing") << true << int(IDCANCEL) << false;
    }
    void pcFolderDropped()
    {
        QFETCH(bool, withFile);
        QFETCH(int, answer);
        QFETCH(bool, fileArrives);
        CExplorerFixture f;
        QVERIFY(f.StartForTransfers());
        f.pTree->setCurrentItem(f.Item(u"USER"_s));
        QTemporaryDir dir;
        const QString folder = dir.filePath(u"src"_s);
        QVERIFY(QDir().mkpath(folder));
        QList<QUrl> urls{QUrl::fromLocalFile(folder)};
        if (withFile) {
            QFile file(dir.filePath(u"beside.seq"_s));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("seq") == 3);
            urls << QUrl::fromLocalFile(file.fileName());
        }
        QMimeData data;
        data.setUrls(urls);
        f.host.QueueAnswer(answer);
        f.Sent();
        QVERIFY(Drag(f.pList->IconView()->viewport(), RowPoint(f, u"PROJECTS"_s), data, true));
        QTRY_COMPARE(f.host.MessageTexts().size(), 1);
        const QString expected =
            PathMessage(CUiListView::FOLDER_NOT_COPIED_TEXT, QDir::toNativeSeparators(folder));
        QCOMPARE(f.host.MessageTexts().constFirst(),
                 withFile ? expected + u"\n\nOK sends the files dropped with it; Cancel sends nothing."_s
                          : expected);
        QCOMPARE(f.host.Messages().constFirst().style, int((withFile ? MB_OKCANCEL : MB_OK) | MB_ICONSTOP));
        if (fileArrives) {
            QTRY_COMPARE_WITH_TIMEOUT(f.sim.FileData(u"/F0:/USER/PROJECTS/beside.seq"_s), QByteArray("seq"),
                                      10000);
            QTRY_VERIFY(f.comm.IsConnected());
        } else {
            QTest::qWait(50);
            QCOMPARE(f.Sent(), QByteArray());
        }
        QCOMPARE(f.host.MessageTexts().size(), 1);
    }

    // A drag of several entries carries each of them; dropped on a folder
    // they are copied there in order. A name already there is said before
    // the generator is asked: OK goes on with the others, Cancel stops.
    void dragOfSeveral_data()
    {
        QTest::addColumn<QStringList>("present"); // in the target before
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("arrived");
        QTest::addColumn<int>("messages");
        QTest::newRow("all copied") << QStringList() << int(IDOK)
                                    << QStringList{u"A.TXT"_s, u"B.TXT"_s, u"C.TXT"_s} << 0;
        QTest::newRow("a name there: skipped")
            << QStringList{u"b.txt"_s} << int(IDOK) << QStringList{u"A.TXT"_s, u"C.TXT"_s} << 1;
        QTest::newRow("a name there: Cancel stops")
            << QStringList{u"B.TXT"_s} << int(IDCANCEL) << QStringList{u"A.TXT"_s} << 1;
    }
    void dragOfSeveral()
    {
        QFETCH(QStringList, present);
        QFETCH(QStringList, arrived);
        CExplorerFixture f;
        for (const QString& name : std::as_const(present))
            QVERIFY(f.sim.AddFile(u"/F0:/SIGNAL/"_s + name, "there"));
        QFETCH(int, answer);
        f.host.QueueAnswer(answer);
        QVERIFY(ShowFolder(f, {u"C.TXT"_s, u"A.TXT"_s, u"B.TXT"_s, u"D.TXT"_s}));
        QModelIndexList dragged;
        for (const QString& name : {u"C.TXT"_s, u"B.TXT"_s, u"A.TXT"_s})
            dragged << f.pList->Model()->index(f.pList->FindItemByName(name), 0);
        const std::unique_ptr<QMimeData> data(f.pList->Model()->mimeData(dragged));
        QCOMPARE(data->text(), u"/F0:/USER/T/A.TXT\n/F0:/USER/T/B.TXT\n/F0:/USER/T/C.TXT"_s);
        QTreeWidgetItem* signal = f.Item(u"SIGNAL"_s);
        QVERIFY(Drag(f.pTree->viewport(), f.pTree->visualItemRect(signal).center(), *data, true));
        // The whole drop runs at once, once the drag is over.
        QTRY_COMPARE(f.sim.FileData(u"/F0:/SIGNAL/A.TXT"_s), QByteArray("A.TXT"));
        for (const QString& name : {u"A.TXT"_s, u"B.TXT"_s, u"C.TXT"_s}) {
            const QByteArray copied = f.sim.FileData(u"/F0:/SIGNAL/"_s + name);
            QCOMPARE(copied == name.toLatin1(), arrived.contains(name));
        }
        QTEST(int(f.host.MessageTexts().size()), "messages");
        if (!present.isEmpty()) {
            QCOMPARE(f.host.MessageTexts().constFirst(),
                     u"This file already exists : \"/F0:/SIGNAL/B.TXT\""_s);
            QCOMPARE(f.host.Messages().constFirst().style, int(MB_OKCANCEL | MB_ICONSTOP));
            QCOMPARE(f.sim.FileData(u"/F0:/SIGNAL/"_s + present.constFirst()), QByteArray("there"));
        }
    }

    void textDrops_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("target");  // the tree folder dropped on
        QTest::addColumn<QString>("arrives"); // empty: nothing copied
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("sent"); // when nothing is copied
        const QString none;
        QTest::newRow("a generator file") << u"/F0:/USER/README.TXT"_s << u"SIGNAL"_s
                                          << u"/F0:/SIGNAL/README.TXT"_s << none << QByteArray();
        QTest::newRow("no slash") << u"README.TXT"_s << u"SIGNAL"_s << none << none << QByteArray();
        QTest::newRow("only a leading slash")
            << u"/README.TXT"_s << u"SIGNAL"_s << none << none << QByteArray();
        // What the generator would refuse with a bare "File name error" is
        // said before it is asked.
        QTest::newRow("a folder onto itself")
            << u"/F0:/USER/PROJECTS"_s << u"USER/PROJECTS"_s << none
            << u"A folder cannot be copied into itself : \"/F0:/USER/PROJECTS\""_s << QByteArray();
        QTest::newRow("a name the folder holds") << u"/F0:/USER/README.TXT"_s << u"SIGNAL"_s << none
                                                 << u"This file already exists : \"/F0:/SIGNAL/README.TXT\""_s
                                                 << QByteArray("mmem:cdir \"/F0:/SIGNAL\"\r\nmmem:cat?\r\n");
    }
    // Text naming a generator path dropped on a tree folder copies it there;
    // a list item dragged carries such a text.
    void textDrops()
    {
        QFETCH(QString, text);
        QFETCH(QString, target);
        QFETCH(QString, arrives);
        QFETCH(QString, message);
        CExplorerFixture f;
        if (QLatin1StringView(QTest::currentDataTag()) == "a name the folder holds"_L1)
            QVERIFY(f.sim.AddFile(u"/F0:/SIGNAL/README.TXT"_s, "kept"));
        QVERIFY(f.Start());
        f.pTree->setCurrentItem(f.Item(u"USER"_s));
        QTreeWidgetItem* folder = f.Item(target);
        QVERIFY(folder);
        f.pTree->scrollToItem(folder); // its parents open
        std::unique_ptr<QMimeData> data;
        const int row = f.pList->FindItemByName(text.mid(text.lastIndexOf(u'/') + 1));
        if (text.startsWith(u"/F0:/USER/"_s) && row >= 0) {
            // The list's own drag of the entry.
            data.reset(f.pList->Model()->mimeData({f.pList->Model()->index(row, 0)}));
            QCOMPARE(data->text(), text);
        } else {
            data = std::make_unique<QMimeData>();
            data->setText(text);
        }
        f.Sent();
        QVERIFY(Drag(f.pTree->viewport(), f.pTree->visualItemRect(folder).center(), *data, true));
        QTest::qWait(50);
        QCOMPARE(f.host.MessageTexts(), message.isEmpty() ? QStringList() : QStringList{message});
        if (arrives.isEmpty()) {
            QTEST(f.Sent(), "sent");
        } else {
            QCOMPARE(f.sim.FileData(arrives), f.sim.FileData(u"/F0:/USER/README.TXT"_s));
            QVERIFY(f.sim.Exists(u"/F0:/USER/README.TXT"_s));
        }
        if (!message.isEmpty())
            QCOMPARE(f.host.Messages().constFirst().style, int(MB_OK | MB_ICONSTOP));
    }
};

QTEST_MAIN(TestListEdit)
#include "tst_listedit.moc"
