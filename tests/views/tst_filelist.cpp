#include "link/vqevents.h"
#include "tests/support/explorerfixture.h"
#include "views/filelistmodel.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

CFileInfo Entry(const QString& text)
{
    // "NAME/" is a folder, "NAME:size" a file.
    if (text.endsWith(u'/'))
        return CFileInfo(text.chopped(1), 0, quint32(1), 1);
    const qsizetype colon = text.lastIndexOf(u':');
    return CFileInfo(text.left(colon), text.mid(colon + 1).toLongLong(), quint32(1), 0);
}

// A double click as a mouse delivers it: press, release, then the second
// press arriving as a double click, and its release.
void DoubleClick(QWidget* widget, const QPoint& pos)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, pos);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, pos, widget->mapToGlobal(pos), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &dbl);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, pos);
}

} // namespace

class TestFileList final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void compareEntries_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("result");

        QTest::newRow("folders by name") << u"ABC/"_s << u"abd/"_s << 1 << -1;
        QTest::newRow("folder before file") << u"ZZZ/"_s << u"AAA:1"_s << 1 << -1;
        QTest::newRow("file after folder") << u"AAA:1"_s << u"ZZZ/"_s << 1 << 1;
        QTest::newRow("descending: file before folder") << u"AAA:1"_s << u"ZZZ/"_s << -1 << -1;
        QTest::newRow("case only: equal") << u"Demo.seq:1"_s << u"DEMO.SEQ:9"_s << 1 << 0;
        QTest::newRow("shorter name first") << u"AB:5"_s << u"ABC:1"_s << 1 << -1;
        // Upper-case units, not a locale's order: '_' (0x5F) after 'B' (0x42).
        QTest::newRow("unit order") << u"a_:1"_s << u"ab:1"_s << 1 << 1;
        QTest::newRow("size decides") << u"B:10"_s << u"A:20"_s << 2 << -1;
        QTest::newRow("size descending") << u"B:10"_s << u"A:20"_s << -2 << 1;
        QTest::newRow("equal sizes by name") << u"B:10"_s << u"A:10"_s << 2 << 1;
        QTest::newRow("size key: folders by name") << u"B/"_s << u"A/"_s << 2 << 1;
        QTest::newRow("size key: folder before big file") << u"B/"_s << u"A:0"_s << 2 << -1;
        QTest::newRow("name key ignores size") << u"A:99"_s << u"B:1"_s << 1 << -1;
        QTest::newRow("sizes beyond 32 bits") << u"A:4294967297"_s << u"B:4294967296"_s << 2 << 1;
    }

    void compareEntries()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, key);
        QFETCH(int, result);
        QCOMPARE(CFileListModel::CompareEntries(Entry(a), Entry(b), key), result);
        // Swapped operands give the opposite answer.
        QCOMPARE(CFileListModel::CompareEntries(Entry(b), Entry(a), key), -result);
    }

    void imageIndex_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("image");
        QTest::newRow("folder") << u"PATTERN/"_s << int(CFileListModel::IMAGE_FOLDER);
        QTest::newRow("other") << u"README.TXT:1"_s << int(CFileListModel::IMAGE_PAGE);
        QTest::newRow("preset") << u"FACTORY.PST:1"_s << int(CFileListModel::IMAGE_PRESET);
        QTest::newRow("download") << u"UPDATE.DNL:1"_s << int(CFileListModel::IMAGE_DOWNLOAD);
        QTest::newRow("logo") << u"BRAND.LGO:1"_s << int(CFileListModel::IMAGE_LOGO);
        QTest::newRow("sequence") << u"DEMO.SEQ:1"_s << int(CFileListModel::IMAGE_SEQUENCE);
        QTest::newRow("picture") << u"TESTCARD.PIC:1"_s << int(CFileListModel::IMAGE_PICTURE);
        QTest::newRow("signal") << u"1080P60.CMP:1"_s << int(CFileListModel::IMAGE_SIGNAL);
    }

    void imageIndex()
    {
        QFETCH(QString, entry);
        QFETCH(int, image);
        QCOMPARE(CFileListModel::ImageIndex(Entry(entry)), image);
    }

    void modelTester()
    {
        CExplorerFixture f;
        QAbstractItemModelTester tester(f.pList->Model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(f.Start());
        f.pList->FillFromDevice(u"/F0:/SIGNAL"_s);
        f.pList->IconView()->selectionModel()->select(
            f.pList->Model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        f.pList->SortBy(2);
        f.pList->SortBy(2);
        f.pList->RefreshSizeTexts();
        f.pList->ClearList();
        QCOMPARE(f.pList->ItemCount(), 0);
    }

    void fillShowsFolder()
    {
        CExplorerFixture f;
        QVERIFY(f.Start());
        f.pList->FillFromDevice(u"/F0:/PICTURE"_s);
        QCOMPARE(f.Sent(), QByteArray("mmem:cdir \"/F0:/PICTURE\"\r\nmmem:cat?\r\n"));
        QCOMPARE(f.pList->GetCurrentPath(), u"/F0:/PICTURE"_s);
        QCOMPARE(f.ListNames(), (QStringList{u"SPLASH.BMP"_s, u"TESTCARD.PIC"_s}));
        const QAbstractItemModel* model = f.pList->Model();
        QCOMPARE(model->index(1, 1).data().toString(), QLocale().toString(5000));
        QCOMPARE(model->index(1, 1).data(Qt::TextAlignmentRole).toInt(),
                 int(Qt::AlignRight | Qt::AlignVCenter));
        QCOMPARE(f.host.ObjectsText(), u"2 object[s]"_s);
        QCOMPARE(f.host.WaitCursorDepth(), 0);

        // Folders have no size text.
        f.pList->FillFromDevice(u"/F0:/PATTERN"_s);
        QCOMPARE(f.ListNames().first(), u"CUSTOM"_s);
        QVERIFY(model->index(0, 1).data().toString().isEmpty());

        // An empty folder leaves the list empty and drawing on.
        QVERIFY(f.sim.AddFolder(u"/F0:/USER/EMPTY"_s));
        f.pList->FillFromDevice(u"/F0:/USER/EMPTY"_s);
        QCOMPARE(f.pList->ItemCount(), 0);
        QVERIFY(f.pList->updatesEnabled());
        QCOMPARE(f.host.ObjectsText(), u"0 object[s]"_s);
    }

    // A reply that is not a whole listing shows the folder as not read,
    // never as an empty folder nor as the entries before the break; only the
    // figures alone are an empty folder.
    void unreadableListing_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("read");
        QTest::newRow("unquoted names") << QByteArray("1000,2000,A.TXT,BIN,5,B.TXT,BIN,5\n") << false;
        QTest::newRow("text after the figures") << QByteArray("1000,2000 BUSY\n") << false;
        QTest::newRow("cut after an entry's comma") << QByteArray("1000,2000,\"A.TXT\",TXT,5,\n") << false;
        QTest::newRow("cut in an entry") << QByteArray("1000,2000,\"A.TXT\",TXT,5,\"B.T\n") << false;
        QTest::newRow("figures only") << QByteArray("1000,2000\n") << true;
    }
    void unreadableListing()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, read);
        CExplorerFixture f;
        QVERIFY(f.Start());
        f.pList->FillFromDevice(u"/F0:/SIGNAL"_s);
        QVERIFY(f.pList->ItemCount() > 0);
        f.sim.SetScriptedReply("mmem:cat?", reply, true);
        f.pList->FillFromDevice(u"/F0:/USER"_s);
        QCOMPARE(f.pList->IsFolderRead(), read);
        QCOMPARE(f.pList->findChild<QLabel*>(u"unreadNote"_s)->isVisibleTo(f.pList), !read);
        QCOMPARE(f.pList->ItemCount(), 0);
        QCOMPARE(f.pList->GetCurrentPath(), u"/F0:/USER"_s);
    }

    void sortOrder_data()
    {
        QTest::addColumn<QList<int>>("clicks"); // header sections clicked in turn
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("order");

        QTest::newRow("as filled") << QList<int>{} << 1
                                   << QStringList{u"alpha"_s, u"Zed"_s, u"A.seq"_s, u"b.txt"_s, u"c.pst"_s};
        QTest::newRow("name twice: files first")
            << QList<int>{0} << -1 << QStringList{u"c.pst"_s, u"b.txt"_s, u"A.seq"_s, u"Zed"_s, u"alpha"_s};
        QTest::newRow("name, name: ascending again")
            << QList<int>{0, 0} << 1 << QStringList{u"alpha"_s, u"Zed"_s, u"A.seq"_s, u"b.txt"_s, u"c.pst"_s};
        QTest::newRow("size: equal sizes by name")
            << QList<int>{1} << 2 << QStringList{u"alpha"_s, u"Zed"_s, u"b.txt"_s, u"c.pst"_s, u"A.seq"_s};
        QTest::newRow("size twice") << QList<int>{1, 1} << -2
                                    << QStringList{u"A.seq"_s, u"c.pst"_s, u"b.txt"_s, u"Zed"_s, u"alpha"_s};
        QTest::newRow("descending name, then size: ascending size")
            << QList<int>{0, 1} << 2 << QStringList{u"alpha"_s, u"Zed"_s, u"b.txt"_s, u"c.pst"_s, u"A.seq"_s};
    }

    void sortOrder()
    {
        QFETCH(QList<int>, clicks);
        QFETCH(int, key);
        QFETCH(QStringList, order);

        CExplorerFixture f;
        QVERIFY(f.sim.AddFolder(u"/F0:/USER/SORT"_s));
        QVERIFY(f.sim.AddFile(u"/F0:/USER/SORT/b.txt"_s, QByteArray(10, 'x')));
        QVERIFY(f.sim.AddFolder(u"/F0:/USER/SORT/Zed"_s));
        QVERIFY(f.sim.AddFile(u"/F0:/USER/SORT/A.seq"_s, QByteArray(30, 'x')));
        QVERIFY(f.sim.AddFile(u"/F0:/USER/SORT/c.pst"_s, QByteArray(10, 'x')));
        QVERIFY(f.sim.AddFolder(u"/F0:/USER/SORT/alpha"_s));
        QVERIFY(f.Start());
        f.pList->SetViewMode(CUiListView::VIEW_DETAILS);
        f.pList->FillFromDevice(u"/F0:/USER/SORT"_s);

        // The selection stays with its entry through every sort.
        const int selectedRow = f.pList->FindItemByName(u"b.txt"_s);
        f.pList->DetailView()->selectionModel()->select(
            f.pList->Model()->index(selectedRow, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);

        QHeaderView* header = f.pList->DetailView()->header();
        for (const int section : clicks) {
            const QPoint inside(header->sectionViewportPosition(section) + 5, header->height() / 2);
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, inside);
        }
        QCOMPARE(f.pList->GetSortKey(), key);
        QCOMPARE(f.ListNames(), order);
        QCOMPARE(header->sortIndicatorSection(), std::abs(key) - 1);
        QString name;
        QCOMPARE(f.pList->GetNextSelectedName(-1, name), order.indexOf(u"b.txt"_s));
        QCOMPARE(name, u"b.txt"_s);

        // A new fill keeps the chosen order.
        f.pList->Refresh();
        QCOMPARE(f.ListNames(), order);
    }

    void findItemByName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("row");
        QTest::newRow("exact") << u"1080P60.CMP"_s << 0;
        QTest::newRow("other case") << u"720p50.cmp"_s << 1;
        QTest::newRow("prefix only") << u"720P50"_s << -1;
        QTest::newRow("trailing blank") << u"720P50.CMP "_s << -1;
        QTest::newRow("empty") << QString() << -1;
    }

    void findItemByName()
    {
        QFETCH(QString, name);
        QFETCH(int, row);
        CExplorerFixture f;
        QVERIFY(f.Start());
        f.pList->FillFromDevice(u"/F0:/SIGNAL"_s);
        QCOMPARE(f.pList->FindItemByName(name), row);
    }

    void selectionWalks()
    {
        CExplorerFixture f;
        QVERIFY(f.Start());
        f.pList->FillFromDevice(u"/F0:/USER"_s); // PROJECTS/, README.TXT
        QVERIFY(f.sim.AddFolder(u"/F0:/USER/ZETA"_s));
        f.pList->Refresh(); // PROJECTS/, ZETA/, README.TXT
        int position = -1;
        QCOMPARE(f.pList->NextFolderName(position), u"PROJECTS"_s);
        QCOMPARE(position, 0);
        QCOMPARE(f.pList->NextFolderName(position), u"ZETA"_s);
        QCOMPARE(f.pList->NextFolderName(position), QString());
        QCOMPARE(position, -1);

        QItemSelectionModel* selection = f.pList->IconView()->selectionModel();
        for (const int row : {2, 0})
            selection->select(f.pList->Model()->index(row, 0), QItemSelectionModel::Select);
        CFileInfo entry;
        QCOMPARE(f.pList->GetNextSelectedEntry(-1, entry), 0);
        QCOMPARE(entry.GetName(), u"PROJECTS"_s);
        QCOMPARE(f.pList->GetNextSelectedEntry(0, entry), 2);
        QCOMPARE(entry.GetName(), u"README.TXT"_s);
        QCOMPARE(f.pList->GetNextSelectedEntry(2, entry), -1);
    }

    void viewModesKeepWidths_data()
    {
        QTest::addColumn<int>("closeIn");
        QTest::newRow("closed in details") << int(CUiListView::VIEW_DETAILS);
        QTest::newRow("closed in list") << int(CUiListView::VIEW_LIST);
    }

    void viewModesKeepWidths()
    {
        QFETCH(int, closeIn);
        QList<int> handed;
        {
            CExplorerFixture f;
            f.pList->SetStateSink([&handed](int mode, int key, int name, int size) {
                handed = {mode, key, name, size};
            });
            f.splitter.show();
            f.pList->SetViewMode(CUiListView::VIEW_DETAILS);
            QCOMPARE(f.pList->currentWidget(), f.pList->DetailView());
            QHeaderView* header = f.pList->DetailView()->header();
            header->resizeSection(0, 151);
            header->resizeSection(1, 77);
            for (const int mode : {CUiListView::VIEW_LARGE_ICONS, CUiListView::VIEW_SMALL_ICONS,
                                   CUiListView::VIEW_LIST, CUiListView::VIEW_DETAILS}) {
                f.pList->SetViewMode(mode);
                QCOMPARE(f.pList->GetViewMode(), mode);
                QCOMPARE(f.pList->currentWidget(), mode == CUiListView::VIEW_DETAILS
                                                       ? static_cast<QWidget*>(f.pList->DetailView())
                                                       : f.pList->IconView());
            }
            QCOMPARE(header->sectionSize(0), 151);
            QCOMPARE(header->sectionSize(1), 77);
            header->resizeSection(0, 160);
            f.pList->SortBy(2);
            f.pList->SetViewMode(closeIn);
        }
        QCOMPARE(handed, (QList<int>{closeIn, 2, 160, 77}));
    }

    void restoreState_data()
    {
        QTest::addColumn<QList<int>>("stored"); // mode, key, name width, size width
        QTest::addColumn<QList<int>>("taken");
        QTest::newRow("as stored") << QList<int>{3, -2, 180, 90} << QList<int>{3, -2, 180, 90};
        QTest::newRow("nonsense keeps defaults") << QList<int>{7, 5, 0, -3} << QList<int>{0, 1, 200, 110};
    }

    void restoreState()
    {
        QFETCH(QList<int>, stored);
        QFETCH(QList<int>, taken);
        CExplorerFixture f;
        f.pList->RestoreState(stored[0], stored[1], stored[2], stored[3]);
        QCOMPARE((QList<int>{f.pList->GetViewMode(), f.pList->GetSortKey(), f.pList->ColumnWidth(0),
                             f.pList->ColumnWidth(1)}),
                 taken);
    }

    void contextMenu_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("target"); // an item's name, or empty space
        QTest::addColumn<int>("menu");
        QTest::newRow("disconnected, on a file") << false << u"README.TXT"_s << int(CUiListView::MENU_NONE);
        QTest::newRow("disconnected, empty space") << false << QString() << int(CUiListView::MENU_NONE);
        QTest::newRow("empty space") << true << QString() << int(CUiListView::MENU_BACKGROUND);
        QTest::newRow("folder") << true << u"PROJECTS"_s << int(CUiListView::MENU_FOLDER);
        QTest::newRow("file") << true << u"README.TXT"_s << int(CUiListView::MENU_FILE);
        // From the keyboard (Shift+F10): the current item's menu, by it.
        QTest::newRow("Shift+F10, folder") << true << u"PROJECTS"_s << int(CUiListView::MENU_FOLDER);
        QTest::newRow("Shift+F10, file") << true << u"README.TXT"_s << int(CUiListView::MENU_FILE);
        QTest::newRow("Shift+F10, no current item") << true << QString() << int(CUiListView::MENU_BACKGROUND);
        QTest::newRow("Shift+F10, disconnected") << false << QString() << int(CUiListView::MENU_NONE);
    }

    void contextMenu()
    {
        QFETCH(bool, connected);
        QFETCH(QString, target);
        QFETCH(int, menu);

        CExplorerFixture f;
        QMenu background, folder, file;
        f.pList->SetContextMenus(&background, &folder, &file);
        background.addAction(u"x"_s);
        folder.addAction(u"x"_s);
        file.addAction(u"x"_s);
        QVERIFY(f.Start());
        f.pList->SetViewMode(CUiListView::VIEW_DETAILS);
        f.pList->FillFromDevice(u"/F0:/USER"_s);
        if (!connected)
            f.comm.Disconnect();

        QTreeView* view = f.pList->DetailView();
        const int row = target.isEmpty() ? -1 : f.pList->FindItemByName(target);
        const QPoint pos = row < 0 ? QPoint(10, view->viewport()->height() - 5)
                                   : view->visualRect(f.pList->Model()->index(row, 0)).center();
        QSignalSpy shown(f.pList, &CUiListView::ContextMenuShown);
        if (QString::fromLatin1(QTest::currentDataTag()).startsWith(u"Shift+F10"_s)) {
            view->setCurrentIndex(row < 0 ? QModelIndex() : f.pList->Model()->index(row, 0));
            QTest::keyClick(view, Qt::Key_F10, Qt::ShiftModifier);
        } else {
            QContextMenuEvent event(QContextMenuEvent::Mouse, pos, view->viewport()->mapToGlobal(pos));
            QApplication::sendEvent(view->viewport(), &event);
        }
        if (menu == CUiListView::MENU_NONE) {
            QCOMPARE(shown.count(), 0);
            QVERIFY(!QApplication::activePopupWidget());
        } else {
            QCOMPARE(shown.count(), 1);
            QCOMPARE(shown.first().first().toInt(), menu);
            QMenu* expected = menu == CUiListView::MENU_BACKGROUND ? &background
                              : menu == CUiListView::MENU_FOLDER   ? &folder
                                                                   : &file;
            QTRY_COMPARE(QApplication::activePopupWidget(), expected);
            expected->close();
        }
    }

    void localeChangeReformatsSizes()
    {
        CExplorerFixture f;
        QVERIFY(f.Start());
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        f.pList->FillFromDevice(u"/F0:/DOWNLOAD"_s);
        QCOMPARE(f.pList->Model()->index(0, 1).data().toString(), u"4,096"_s);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        // Texts are made once per item: unchanged until the change is announced.
        QCOMPARE(f.pList->Model()->index(0, 1).data().toString(), u"4,096"_s);
        QEvent change(QEvent::LocaleChange);
        QApplication::sendEvent(f.pList, &change);
        QCOMPARE(f.pList->Model()->index(0, 1).data().toString(), u"4.096"_s);
        QLocale::setDefault(before);
    }

    void transferEnd_data()
    {
        QTest::addColumn<int>("wParam");
        QTest::addColumn<QByteArray>("reread");
        // Then, either way, what the generator queued meanwhile is read.
        QTest::newRow("nothing written: items stay") << 0 << QByteArray("stat:que:next?\r\n");
        QTest::newRow("files written: read again")
            << 1 << QByteArray("mmem:cdir \"/F0:/SIGNAL\"\r\nmmem:cat?\r\nstat:que:next?\r\n");
    }

    void transferEnd()
    {
        QFETCH(int, wParam);
        QFETCH(QByteArray, reread);
        CExplorerFixture f;
        f.comm.SetDelayScale(0.02);
        QVERIFY(f.Start());
        f.pList->FillFromDevice(u"/F0:/SIGNAL"_s);
        QVERIFY(f.sim.AddFile(u"/F0:/SIGNAL/NEW.CMP"_s, QByteArray(7, 'n')));
        f.Sent();
        const int connections = f.sim.ConnectionCount();
        QSignalSpy resets(f.pList->Model(), &QAbstractItemModel::modelReset);

        QCoreApplication::postEvent(f.pList, new CLinkEvent(WM_TRANSFER_END, wParam));
        QTRY_VERIFY(f.sim.ConnectionCount() > connections); // the channel reopened
        QTRY_VERIFY(f.comm.IsConnected());
        QCOMPARE(f.Sent(), reread);
        // Emptied before the pause, filled after it; or left alone.
        QCOMPARE(resets.count(), wParam == 1 ? 2 : 0);
        QCOMPARE(f.pList->ItemCount(), wParam == 1 ? 3 : 2);
        QCOMPARE(f.pList->GetCurrentPath(), u"/F0:/SIGNAL"_s);
    }

    void downloadBatchThroughList()
    {
        CExplorerFixture f;
        QVERIFY(f.StartForTransfers());
        f.pTree->setCurrentItem(f.Item(u"USER"_s));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QStringList files;
        for (const QString& name : {u"one.txt"_s, u"two.txt"_s}) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(name.toUtf8().repeated(10));
            files << file.fileName();
        }
        QVERIFY(f.comm.PrepareDownload(files, f.pList->GetCurrentPath()));
        // Two files, the pauses between them, the reconnection and a new listing.
        QTRY_VERIFY_WITH_TIMEOUT(f.pList->FindItemByName(u"TWO.TXT"_s) >= 0, 10000);
        QVERIFY(f.pList->FindItemByName(u"one.txt"_s) >= 0);
        QTRY_VERIFY(f.comm.IsConnected());
        QCOMPARE(f.sim.FileData(u"/F0:/USER/two.txt"_s), QByteArray("two.txt").repeated(10));
    }

    void keysOpenAndIgnore()
    {
        CExplorerFixture f;
        QVERIFY(f.Start());
        f.pTree->setCurrentItem(f.Item(u"USER"_s));
        QCOMPARE(f.pList->GetCurrentPath(), u"/F0:/USER"_s);
        QListView* view = f.pList->IconView();
        view->setFocus();

        // Enter on a file does nothing.
        view->setCurrentIndex(f.pList->Model()->index(f.pList->FindItemByName(u"README.TXT"_s), 0));
        f.Sent();
        QTest::keyClick(view, Qt::Key_Return);
        QCOMPARE(f.Sent(), QByteArray());
        QCOMPARE(f.pList->GetCurrentPath(), u"/F0:/USER"_s);

        // Enter on a folder opens it through the tree.
        view->setCurrentIndex(f.pList->Model()->index(f.pList->FindItemByName(u"PROJECTS"_s), 0));
        QTest::keyClick(view, Qt::Key_Return);
        QCOMPARE(f.pList->GetCurrentPath(), u"/F0:/USER/PROJECTS"_s);
        QCOMPARE(f.pTree->ItemPath(f.pTree->currentItem()), u"/F0:/USER/PROJECTS"_s);
        QCOMPARE(f.ListNames(), QStringList{u"NOTES.TXT"_s});
    }

    void doubleClickOpensFolder()
    {
        CExplorerFixture f;
        QVERIFY(f.Start());
        f.pList->SetViewMode(CUiListView::VIEW_DETAILS);
        QTreeView* view = f.pList->DetailView();
        QCoreApplication::processEvents(); // the delayed layout of the shown view
        const QRect rect =
            view->visualRect(f.pList->Model()->index(f.pList->FindItemByName(u"PATTERN"_s), 0));
        DoubleClick(view->viewport(), rect.center());
        QCOMPARE(f.pList->GetCurrentPath(), u"/F0:/PATTERN"_s);
        QCOMPARE(f.pTree->currentItem()->text(0), u"PATTERN"_s);
        QCOMPARE(f.Sent(), QByteArray("mmem:cdir \"/F0:/PATTERN\"\r\nmmem:cat?\r\n"));
        // Expanding the shown folder takes its folders from the list, not the generator.
        f.pTree->currentItem()->setExpanded(true);
        QCOMPARE(f.Sent(), QByteArray());
        QVERIFY(f.Child(f.pTree->currentItem(), u"CUSTOM"_s));

        // Empty space: nothing.
        DoubleClick(view->viewport(), QPoint(5, view->viewport()->height() - 3));
        QCOMPARE(f.pList->GetCurrentPath(), u"/F0:/PATTERN"_s);
        QCOMPARE(f.Sent(), QByteArray());
    }
};

QTEST_MAIN(TestFileList)
#include "tst_filelist.moc"
