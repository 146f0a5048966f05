#include "link/stringtable.h"
#include "tests/support/explorerfixture.h"

#include <QAbstractItemModelTester>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QtTest>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString ROOT_LABEL_PREFIX = u"VQ820 ["_s;

} // namespace

class TestFolderTree final : public QObject
{
    Q_OBJECT

private:
    // Types `text` into the open label editor of `item` and presses Enter;
    // returns once the rename has run.
    static bool TypeLabel(CUiTreeView* tree, QTreeWidgetItem* item, const QString& text)
    {
        auto* editor = qobject_cast<QLineEdit*>(tree->indexWidget(tree->indexFromItem(item)));
        if (!editor)
            return false;
        editor->setText(text);
        QTest::keyClick(editor, Qt::Key_Return);
        // The rename runs once the editor has closed.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        return true;
    }

private Q_SLOTS:
    void rebuild()
    {
        CExplorerFixture f;
        QAbstractItemModelTester tester(f.pTree->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(f.Connect());
        f.splitter.show();
        f.pTree->RebuildTree();
        // Once, for the list; the root's folders come from what it read.
        QCOMPARE(f.Sent(), QByteArray("mmem:cdir \"/F0:/\"\r\nmmem:cat?\r\n"));
        QTreeWidgetItem* root = f.pTree->GetRootItem();
        QVERIFY(root);
        QCOMPARE(root->text(0), ROOT_LABEL_PREFIX + f.sim.Address().toString() + u']');
        QVERIFY(root->isExpanded());
        QCOMPARE(f.pTree->currentItem(), root);
        QCOMPARE(f.pList->GetCurrentPath(), u"/F0:/"_s);
        QCOMPARE(root->childCount(), 8);
        // Sorted by label, each with the placeholder that draws the expand button.
        QCOMPARE(root->child(0)->text(0), u"DOWNLOAD"_s);
        QCOMPARE(root->child(7)->text(0), u"USER"_s);
        QCOMPARE(root->child(2)->childCount(), 1);
        QCOMPARE(root->child(2)->child(0)->text(0), u"DUMY"_s);
        QVERIFY(!f.pTree->IsLoaded(root->child(2)));

        // A second build starts over.
        f.Item(u"USER/PROJECTS"_s);
        f.pTree->RebuildTree();
        QCOMPARE(f.pTree->topLevelItemCount(), 1);
        QVERIFY(!f.pTree->IsLoaded(f.Child(f.pTree->GetRootItem(), u"USER"_s)));

        // USER for the walk; the new root's folders come from the list, which
        // shows the root, and the list reads it once more.
        QCOMPARE(f.Sent(),
                 QByteArray("mmem:cdir \"/F0:/USER\"\r\nmmem:cat?\r\nmmem:cdir \"/F0:/\"\r\nmmem:cat?\r\n"));

        f.pTree->ClearTree();
        QCOMPARE(f.pTree->topLevelItemCount(), 0);
        QVERIFY(!f.pTree->GetRootItem());
        // Emptying the tree does not fill the list.
        QCOMPARE(f.Sent(), QByteArray());
    }

    void itemPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("root") << QString() << u"/F0:/"_s;
        QTest::newRow("first level") << u"USER"_s << u"/F0:/USER"_s;
        QTest::newRow("second level") << u"USER/PROJECTS"_s << u"/F0:/USER/PROJECTS"_s;
    }

    void itemPath()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        CExplorerFixture f;
        QVERIFY(f.Start());
        QTreeWidgetItem* item = f.Item(path);
        QVERIFY(item);
        QCOMPARE(f.pTree->ItemPath(item), expected);
    }

    void expandReadsOnce()
    {
        CExplorerFixture f;
        QVERIFY(f.Start());
        QTreeWidgetItem* user = f.Child(f.pTree->GetRootItem(), u"USER"_s);
        user->setExpanded(true);
        user->setExpanded(false);
        user->setExpanded(true);
        QCOMPARE(f.Sent(), QByteArray("mmem:cdir \"/F0:/USER\"\r\nmmem:cat?\r\n"));
        QCOMPARE(user->childCount(), 1);
        QCOMPARE(user->child(0)->text(0), u"PROJECTS"_s);
        QCOMPARE(f.pList->GetCurrentPath(), u"/F0:/"_s); // expanding does not select
    }

    void emptyFolderLosesExpandButton()
    {
        CExplorerFixture f;
        QVERIFY(f.Start());
        QTreeWidgetItem* sequence = f.Child(f.pTree->GetRootItem(), u"SEQUENCE"_s);
        QVERIFY(f.pTree->model()->hasChildren(f.pTree->indexFromItem(sequence)));
        sequence->setExpanded(true);
        QCOMPARE(sequence->childCount(), 0);
        QVERIFY(!f.pTree->model()->hasChildren(f.pTree->indexFromItem(sequence)));
    }

    void selectionFillsList()
    {
        CExplorerFixture f;
        QVERIFY(f.Start());
        f.pTree->setCurrentItem(f.Item(u"PATTERN/CUSTOM"_s));
        QCOMPARE(f.pList->GetCurrentPath(), u"/F0:/PATTERN/CUSTOM"_s);
        QCOMPARE(f.ListNames(), QStringList{u"RAMP.CMP"_s});
        QCOMPARE(f.host.ObjectsText(), u"1 object[s]"_s);

        // Up one level, up again to the root, and nowhere beyond.
        f.pTree->SelectParent();
        QCOMPARE(f.pList->GetCurrentPath(), u"/F0:/PATTERN"_s);
        f.pTree->SelectParent();
        QCOMPARE(f.pList->GetCurrentPath(), u"/F0:/"_s);
        f.Sent();
        f.pTree->SelectParent();
        QCOMPARE(f.Sent(), QByteArray());
    }

    void selectChildByName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown");
        QTest::newRow("exact") << u"PROJECTS"_s << u"/F0:/USER/PROJECTS"_s;
        QTest::newRow("other case selects nothing") << u"projects"_s << u"/F0:/USER"_s;
        QTest::newRow("missing") << u"NONE"_s << u"/F0:/USER"_s;
    }

    void selectChildByName()
    {
        QFETCH(QString, name);
        QFETCH(QString, shown);
        CExplorerFixture f;
        QVERIFY(f.Start());
        f.pTree->setCurrentItem(f.Child(f.pTree->GetRootItem(), u"USER"_s));
        f.pTree->SelectChildByName(name);
        QCOMPARE(f.pList->GetCurrentPath(), shown);
        QCOMPARE(f.pTree->ItemPath(f.pTree->currentItem()), shown);
    }

    void rename_data()
    {
        QTest::addColumn<QString>("selected"); // folder shown beforehand
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("newText");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QString>("label"); // of the item afterwards

        const QString noMessage;
        const QString cannotRename = LoadStringResource(IDS_CANNOT_RENAME_FOLDER);
        QTest::newRow("root refused")
            << QString() << QString() << u"X"_s << cannotRename << QByteArray() << QString();
        QTest::newRow("first level refused")
            << QString() << u"USER"_s << u"X"_s << cannotRename << QByteArray() << u"USER"_s;
        QTest::newRow("same name sends nothing")
            << QString() << u"USER/Alpha"_s << u"Alpha"_s << noMessage << QByteArray() << u"Alpha"_s;
        QTest::newRow("empty name") << QString() << u"USER/Alpha"_s << QString() << noMessage << QByteArray()
                                    << u"Alpha"_s;
        QTest::newRow("duplicate") << QString() << u"USER/beta"_s << u"Alpha"_s
                                   << LoadStringResource(IDS_NAME_EXISTS) << QByteArray() << u"beta"_s;
        QTest::newRow("case-only duplicate is another name")
            << QString() << u"USER/beta"_s << u"BETA"_s << noMessage
            << Checked("mmem:move \"/F0:/USER/beta\",\"/F0:/USER/BETA\"\r\n") << u"BETA"_s;
        QTest::newRow("shown folder refused")
            << u"USER/Alpha"_s << u"USER/Alpha"_s << u"Gamma"_s
            << LoadStringResource(IDS_RENAME_ACCESS_DENIED).arg(u"Alpha"_s) << QByteArray() << u"Alpha"_s;
        QTest::newRow("ancestor of the shown folder refused")
            << u"USER/PROJECTS/DEEP"_s << u"USER/PROJECTS"_s << u"Gamma"_s
            << LoadStringResource(IDS_RENAME_ACCESS_DENIED).arg(u"PROJECTS"_s) << QByteArray()
            << u"PROJECTS"_s;
        QTest::newRow("sibling of the shown folder")
            << u"USER/Alpha"_s << u"USER/beta"_s << u"Gamma"_s << noMessage
            << Checked("mmem:move \"/F0:/USER/beta\",\"/F0:/USER/Gamma\"\r\n") << u"Gamma"_s;
        // Names on the generator ignore case: it refuses what the tree allowed.
        // The refusal names the name refused.
        QTest::newRow("refused by the generator")
            << QString() << u"USER/beta"_s << u"ALPHA"_s
            << u"File name error : \"/F0:/USER/beta\"\nNew name : \"ALPHA\""_s
            << Checked("mmem:move \"/F0:/USER/beta\",\"/F0:/USER/ALPHA\"\r\n") + "stat:que:next?\r\n"
            << u"beta"_s;
        QTest::newRow("a character the generator refuses")
            << QString() << u"USER/beta"_s << u"BAD*ONE"_s
            << u"File name error : \"/F0:/USER/beta\"\nNew name : \"BAD*ONE\""_s
            << Checked("mmem:move \"/F0:/USER/beta\",\"/F0:/USER/BAD*ONE\"\r\n") + "stat:que:next?\r\n"
            << u"beta"_s;
        const QString tooLong = QString(300, u'N') + u"END"_s;
        QTest::newRow("too long: refused before asking")
            << QString() << u"USER/beta"_s << tooLong
            << u"Invalid file name: 303 characters, at most 255 : \"%1\u2026%2\""_s.arg(tooLong.left(40),
                                                                                        tooLong.right(20))
            << QByteArray() << u"beta"_s;
        // The item moves to its place among its siblings (the list does not show them).
        QTest::newRow("renamed folder takes its place")
            << QString() << u"USER/beta"_s << u"Zeta"_s << noMessage
            << Checked("mmem:move \"/F0:/USER/beta\",\"/F0:/USER/Zeta\"\r\n") << u"Zeta"_s;
        QTest::newRow("a path is not a name")
            << QString() << u"USER/beta"_s << u"../Gamma"_s << u"Invalid file name : \"../Gamma\""_s
            << QByteArray() << u"beta"_s;
    }

    void rename()
    {
        QFETCH(QString, selected);
        QFETCH(QString, item);
        QFETCH(QString, newText);
        QFETCH(QString, message);
        QFETCH(QByteArray, sent);
        QFETCH(QString, label);

        CExplorerFixture f;
        for (const QString& folder : {u"USER/Alpha"_s, u"USER/beta"_s, u"USER/PROJECTS/DEEP"_s})
            QVERIFY(f.sim.AddFolder(u"/F0:/"_s + folder));
        QVERIFY(f.Start());
        if (!selected.isEmpty())
            f.pTree->setCurrentItem(f.Item(selected));
        QTreeWidgetItem* edited = f.Item(item);
        QVERIFY(edited);
        f.Sent();

        f.pTree->BeginRenameItem(edited);
        if (f.pTree->IsFixedItem(edited)) {
            QVERIFY(!f.pTree->indexWidget(f.pTree->indexFromItem(edited)));
            // The end of an edit on such an item is refused the same way.
            f.pTree->EndLabelEdit(edited, newText);
            QCOMPARE(f.host.MessageTexts(), (QStringList{message, message}));
        } else {
            QVERIFY(TypeLabel(f.pTree, edited, newText));
            QCOMPARE(f.host.MessageTexts(), message.isEmpty() ? QStringList() : QStringList{message});
        }
        QCOMPARE(f.Sent(), sent);
        QCOMPARE(edited->text(0), label.isEmpty() ? edited->text(0) : label);
        if (!message.isEmpty())
            QCOMPARE(f.host.Messages().first().style, int(MB_OK | MB_ICONSTOP));
        // A duplicate name puts the editor back on the item.
        const bool editing = f.pTree->indexWidget(f.pTree->indexFromItem(edited)) != nullptr;
        QCOMPARE(editing, QLatin1StringView(QTest::currentDataTag()) == "duplicate"_L1);
        // Folders stay in order of their names, renamed or not.
        if (QTreeWidgetItem* parent = edited->parent()) {
            QStringList labels;
            for (int i = 0; i < parent->childCount(); ++i)
                labels << parent->child(i)->text(0);
            QStringList sorted = labels;
            std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
                return a.compare(b, Qt::CaseInsensitive) < 0;
            });
            QCOMPARE(labels, sorted);
        }
    }

    void renameInShownFolderRefreshesList()
    {
        CExplorerFixture f;
        QVERIFY(f.sim.AddFolder(u"/F0:/USER/Alpha"_s));
        QVERIFY(f.Start());
        QTreeWidgetItem* user = f.Item(u"USER"_s);
        f.pTree->setCurrentItem(user);
        user->setExpanded(true);
        QTreeWidgetItem* alpha = f.Child(user, u"Alpha"_s);
        f.Sent();
        f.pTree->BeginRenameItem(alpha);
        QVERIFY(TypeLabel(f.pTree, alpha, u"Omega"_s));
        // One catalog read: the list's; the tree's children come from the list.
        QCOMPARE(f.Sent(), Checked("mmem:move \"/F0:/USER/Alpha\",\"/F0:/USER/Omega\"\r\n") +
                               "mmem:cdir \"/F0:/USER\"\r\nmmem:cat?\r\n");
        QVERIFY(f.ListNames().contains(u"Omega"_s));
        QVERIFY(f.Child(user, u"Omega"_s));
        QVERIFY(!f.Child(user, u"Alpha"_s));
        QVERIFY(f.sim.IsFolder(u"/F0:/USER/Omega"_s));
    }

    void remove_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<bool>("filled"); // a file in it
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<bool>("gone");

        const QByteArray reread = "mmem:cdir \"/F0:/USER\"\r\nmmem:cat?\r\n";
        QTest::newRow("first level refused") << u"USER"_s << false << int(IDOK) << 1 << QByteArray() << false;
        QTest::newRow("cancelled") << u"USER/Alpha"_s << false << int(IDCANCEL) << 1 << QByteArray() << false;
        QTest::newRow("removed") << u"USER/Alpha"_s << false << int(IDOK) << 1
                                 << Checked("mmem:rdir \"/F0:/USER/Alpha\"\r\n") + reread << true;
        // The generator removes empty folders only: one with entries is
        // offered to go with them.
        QTest::newRow("not empty: cancelled")
            << u"USER/Alpha"_s << true << int(IDCANCEL) << 1 << QByteArray() << false;
        QTest::newRow("not empty: removed with its entries")
            << u"USER/Alpha"_s << true << int(IDOK) << 1
            << Checked("mmem:del:all \"/F0:/USER/Alpha\"\r\n") + "mmem:rdir \"/F0:/USER/Alpha\"\r\n" +
                   "stat:que:next?\r\n" + reread
            << true;
    }

    void remove()
    {
        QFETCH(QString, item);
        QFETCH(bool, filled);
        QFETCH(int, answer);
        QFETCH(int, result);
        QFETCH(QByteArray, sent);
        QFETCH(bool, gone);

        CExplorerFixture f;
        QVERIFY(f.sim.AddFolder(u"/F0:/USER/Alpha"_s));
        if (filled)
            QVERIFY(f.sim.AddFile(u"/F0:/USER/Alpha/D1.TXT"_s, "d1"));
        QVERIFY(f.Start());
        QTreeWidgetItem* target = f.Item(item);
        const QString label = target->text(0);
        f.pTree->setCurrentItem(target);
        f.Sent();
        f.host.QueueAnswer(answer);
        QCOMPARE(f.pTree->DeleteSelectedFolder(), result);
        QCOMPARE(f.Sent(), sent);
        const QList<CScriptedHost::Message> messages = f.host.Messages();
        QCOMPARE(messages.size(), 1);
        if (f.pTree->IsFixedItem(f.Item(item))) {
            QCOMPARE(messages.first().text, u"Cannot remove this folder."_s);
            QCOMPARE(messages.first().style, int(MB_OK | MB_ICONSTOP));
        } else if (filled) {
            QCOMPARE(messages.first().text, CUiTreeView::FOLDER_NOT_EMPTY_QUESTION.arg(label));
            QCOMPARE(messages.first().caption, u"Confirm Folder Delete"_s);
            QCOMPARE(messages.first().style, int(MB_OKCANCEL | MB_ICONQUESTION));
        } else {
            QCOMPARE(messages.first().text, u"Are you sure you want to remove the file '%1' ?"_s.arg(label));
            QCOMPARE(messages.first().caption, u"Confirm File Delete"_s);
            QCOMPARE(messages.first().style, int(MB_OKCANCEL | MB_ICONQUESTION));
        }
        QCOMPARE(f.sim.Exists(u"/F0:/"_s + item), !gone);
        QCOMPARE(f.Item(item) == nullptr, gone);
        // The removed folder was shown: the selection and the list move up to its parent.
        if (gone)
            QCOMPARE(f.pList->GetCurrentPath(), u"/F0:/USER"_s);
        QCOMPARE(f.host.WaitCursorDepth(), 0);
    }

    // The generator went away and came back (a restart) while the tree
    // showed it: the first click reads the folder without a word. Gone for
    // good, the click says so once, and a click on the folder that could
    // not be read reads it again once the generator is back (not a rename).
    void generatorBack_data()
    {
        QTest::addColumn<bool>("backAtOnce");
        QTest::newRow("back before the click") << true;
        QTest::newRow("back after a failed click") << false;
    }
    void generatorBack()
    {
        QFETCH(bool, backAtOnce);
        CExplorerFixture f;
        f.comm.SetRetryLostReads(true);
        QVERIFY(f.Start());
        CSimOptions options;
        options.m_nPort = f.sim.Port();
        f.sim.Stop();
        if (backAtOnce)
            QVERIFY(f.sim.Start(options));

        QTreeWidgetItem* user = f.Item(u"USER"_s);
        const QPoint at = f.pTree->visualItemRect(user).center();
        QTest::mouseClick(f.pTree->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(f.pTree->currentItem(), user);
        QCOMPARE(f.pList->GetCurrentPath(), u"/F0:/USER"_s);
        if (!backAtOnce) {
            QCOMPARE(f.host.MessageTexts(),
                     QStringList{u"Cannot connect to \"%1\""_s.arg(f.sim.Address().toString())});
            QVERIFY(!f.pList->IsFolderRead());
            QVERIFY(f.sim.Start(options));
            // A second click on the selected folder: it is read again.
            QTest::mouseClick(f.pTree->viewport(), Qt::LeftButton, {}, at);
            QTest::qWait(QApplication::doubleClickInterval() + 100);
            QVERIFY(!f.pTree->indexWidget(f.pTree->indexFromItem(user)));
            f.host.ClearMessages();
        }
        QTRY_VERIFY(f.pList->IsFolderRead());
        QVERIFY(f.host.MessageTexts().isEmpty());
        QVERIFY(f.pList->FindItemByName(u"PROJECTS"_s) >= 0);
        QVERIFY(f.comm.IsConnected());
    }

    void deleteKeyRemoves()
    {
        CExplorerFixture f;
        QVERIFY(f.sim.AddFolder(u"/F0:/USER/Alpha"_s));
        QVERIFY(f.Start());
        f.pTree->setCurrentItem(f.Item(u"USER/Alpha"_s));
        f.host.QueueAnswer(IDCANCEL);
        QTest::keyClick(f.pTree, Qt::Key_Delete);
        QCOMPARE(f.host.Messages().size(), 1);
        QCOMPARE(f.host.Messages().first().caption, u"Confirm File Delete"_s);
    }

    // A right click only names the item the menu acts on: the selection and
    // the list stay, nothing is read, and the menu's Rename renames a
    // sibling of the folder shown.
    void rightClickThenRename()
    {
        CExplorerFixture f;
        for (const QString& folder : {u"USER/Alpha"_s, u"USER/Beta"_s})
            QVERIFY(f.sim.AddFolder(u"/F0:/"_s + folder));
        QVERIFY(f.Start());
        QTreeWidgetItem* alpha = f.Item(u"USER/Alpha"_s);
        QTreeWidgetItem* beta = f.Item(u"USER/Beta"_s);
        f.Item(u"USER"_s)->setExpanded(true);
        f.pTree->setCurrentItem(alpha);
        f.Sent();
        QTest::mouseClick(f.pTree->viewport(), Qt::RightButton, {}, f.pTree->visualItemRect(beta).center());
        QCOMPARE(f.pTree->currentItem(), alpha);
        QCOMPARE(f.pTree->GetContextItem(), beta);
        QCOMPARE(f.Sent(), QByteArray());
        f.pTree->BeginRenameItem(f.pTree->GetContextItem());
        QVERIFY(TypeLabel(f.pTree, beta, u"Gamma"_s));
        QCOMPARE(f.host.MessageTexts(), QStringList());
        QVERIFY(f.sim.IsFolder(u"/F0:/USER/Gamma"_s));
        QCOMPARE(beta->text(0), u"Gamma"_s);
        QCOMPARE(f.pList->GetCurrentPath(), u"/F0:/USER/Alpha"_s);
    }

    // A folder whose listing could not be read, or only in part, keeps its
    // expand button and is read again at the next expansion.
    void unreadFolderStaysExpandable_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("text after the figures") << QByteArray("1000,2000 BUSY\n");
        QTest::newRow("cut after a folder") << QByteArray("1000,2000,\"PROJECTS/\",DIR,0,\n");
        QTest::newRow("not a catalog") << QByteArray("not a catalog\n");
    }
    void unreadFolderStaysExpandable()
    {
        QFETCH(QByteArray, reply);
        CExplorerFixture f;
        QVERIFY(f.Start());
        QTreeWidgetItem* user = f.Child(f.pTree->GetRootItem(), u"USER"_s);
        f.sim.SetScriptedReply("mmem:cat?", reply, true);
        user->setExpanded(true);
        QVERIFY(!f.pTree->IsLoaded(user));
        QVERIFY(f.pTree->model()->hasChildren(f.pTree->indexFromItem(user)));
        QTRY_VERIFY(!user->isExpanded()); // its placeholder out of sight
        user->setExpanded(true);
        QVERIFY(f.pTree->IsLoaded(user));
        QVERIFY(f.Child(user, u"PROJECTS"_s));
    }

    void contextItem()
    {
        CExplorerFixture f;
        QMenu menu;
        menu.addAction(u"x"_s);
        f.pTree->SetContextMenu(&menu);
        QVERIFY(f.Start());
        QSignalSpy shown(f.pTree, &CUiTreeView::ContextMenuShown);
        QTreeWidgetItem* user = f.Child(f.pTree->GetRootItem(), u"USER"_s);
        const QPoint onUser = f.pTree->visualItemRect(user).center();
        QContextMenuEvent onItem(QContextMenuEvent::Mouse, onUser, f.pTree->viewport()->mapToGlobal(onUser));
        QApplication::sendEvent(f.pTree->viewport(), &onItem);
        QCOMPARE(f.pTree->GetContextItem(), user);
        QCOMPARE(shown.count(), 1);
        QTRY_COMPARE(QApplication::activePopupWidget(), &menu);
        menu.close();

        // From the keyboard, Shift+F10 or the Menu key: the selected folder's menu.
        f.pTree->setCurrentItem(user);
        for (const int way : {0, 1}) {
            f.pTree->setFocus();
            if (way == 0) {
                QTest::keyClick(f.pTree, Qt::Key_F10, Qt::ShiftModifier);
            } else {
                QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(1, 1),
                                      f.pTree->mapToGlobal(QPoint(1, 1)));
                QApplication::sendEvent(f.pTree->viewport(), &key);
            }
            QCOMPARE(shown.count(), 2 + way);
            QCOMPARE(f.pTree->GetContextItem(), user);
            QTRY_COMPARE(QApplication::activePopupWidget(), &menu);
            QVERIFY(menu.geometry().contains(f.pTree->viewport()->mapToGlobal(onUser)));
            menu.close();
        }
        shown.clear();

        // Empty space: no menu, no context item.
        const QPoint empty(5, f.pTree->viewport()->height() - 3);
        QContextMenuEvent onNothing(QContextMenuEvent::Mouse, empty, f.pTree->viewport()->mapToGlobal(empty));
        QApplication::sendEvent(f.pTree->viewport(), &onNothing);
        QVERIFY(!f.pTree->GetContextItem());
        QCOMPARE(shown.count(), 0);

        // A context item that goes away is forgotten, not left dangling.
        QTest::mouseClick(f.pTree->viewport(), Qt::LeftButton, {}, onUser);
        QCOMPARE(f.pTree->GetContextItem(), user);
        f.pTree->RebuildTree();
        QVERIFY(!f.pTree->GetContextItem());
    }
};

QTEST_MAIN(TestFolderTree)
#include "tst_foldertree.moc"
