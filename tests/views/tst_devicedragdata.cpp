#include "tests/support/explorerfixture.h"
#include "views/devicedragdata.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QListView>
#include <QMimeData>
#include <QTemporaryDir>
#include <QtTest>
#include <QUrl>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString kFolder = u"/F0:/USER/OUT"_s;

// A drop target as a file manager is one: it takes file URLs, and copies
// the files they name into its own folder once the drop has handed them
// over; a text target keeps the text.
class CFileDropTarget final : public QWidget
{
public:
    explicit CFileDropTarget(const QString& folder) : m_strFolder(folder) { setAcceptDrops(true); }

    QStringList m_copied; // names, in order
    QString m_strText;    // the text offered with the files
    bool m_bEntered = false;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        m_bEntered = event->mimeData()->hasUrls();
        if (m_bEntered)
            event->acceptProposedAction();
    }
    void dropEvent(QDropEvent* event) override
    {
        m_strText = event->mimeData()->text();
        const QList<QUrl> urls = event->mimeData()->urls();
        for (const QUrl& url : urls) {
            const QString name = QFileInfo(url.toLocalFile()).fileName();
            if (QFile::copy(url.toLocalFile(), QDir(m_strFolder).filePath(name)))
                m_copied << name;
        }
        event->acceptProposedAction();
    }

private:
    QString m_strFolder;
};

// Enters, moves over and drops on `target`, as the system's drag does.
void DropOn(QWidget* target, const QMimeData& data)
{
    const QPoint pos = target->rect().center();
    QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return;
    QDragMoveEvent move(pos, Qt::CopyAction, &data, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &move);
    QDropEvent drop(QPointF(pos), Qt::CopyAction, &data, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
}

QByteArray Content(const QString& name)
{
    // Large enough for several chunks of the transfer.
    return name == u"BIG.PIC"_s ? QByteArray(300000, 'b') : name.toLatin1();
}

// The list shows kFolder holding `names` (folders end in "/"), batches
// running through it quickly.
bool ShowOut(CExplorerFixture& f, const QStringList& names)
{
    if (!f.sim.AddFolder(kFolder))
        return false;
    for (const QString& name : names) {
        const bool added = name.endsWith(u'/') ? f.sim.AddFolder(kFolder + u'/' + name.chopped(1))
                                               : f.sim.AddFile(kFolder + u'/' + name, Content(name));
        if (!added)
            return false;
    }
    if (!f.StartForTransfers())
        return false;
    f.pTree->setCurrentItem(f.Item(u"USER/OUT"_s));
    return f.pList->GetCurrentPath() == kFolder;
}

} // namespace

class TestDeviceDragData final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A drag of list entries dropped on a file manager delivers them as
    // files, fetched when the drop asks for them, all of them or none; its
    // text (the device paths) stays offered.
    void dropOnFileManager_data()
    {
        QTest::addColumn<QStringList>("dragged");
        QTest::addColumn<bool>("cancel"); // Cancel in the progress display
        QTest::addColumn<QStringList>("copied");
        QTest::newRow("three files") << QStringList{u"A.TXT"_s, u"BIG.PIC"_s, u"C.SEQ"_s} << false
                                     << QStringList{u"A.TXT"_s, u"BIG.PIC"_s, u"C.SEQ"_s};
        QTest::newRow("Cancel: none")
            << QStringList{u"A.TXT"_s, u"BIG.PIC"_s, u"C.SEQ"_s} << true << QStringList();
        QTest::newRow("a folder among them is left out")
            << QStringList{u"A.TXT"_s, u"SUB"_s} << false << QStringList{u"A.TXT"_s};
        QTest::newRow("folders only: no files offered") << QStringList{u"SUB"_s} << false << QStringList();
    }
    void dropOnFileManager()
    {
        QFETCH(QStringList, dragged);
        QFETCH(bool, cancel);
        QFETCH(QStringList, copied);

        CExplorerFixture f;
        QVERIFY(ShowOut(f, {u"A.TXT"_s, u"BIG.PIC"_s, u"C.SEQ"_s, u"SUB/"_s}));
        if (cancel)
            f.host.SetOnUpdate([&f](quint64) { f.comm.CancelTransfer(); });

        // What the view's drag carries: the model's data for the selection.
        QItemSelectionModel* selection = f.pList->IconView()->selectionModel();
        for (const QString& name : std::as_const(dragged))
            selection->select(f.pList->Model()->index(f.pList->FindItemByName(name), 0),
                              QItemSelectionModel::Select);
        const std::unique_ptr<QMimeData> data(f.pList->Model()->mimeData(selection->selectedIndexes()));
        QVERIFY(data);
        QStringList paths; // in the list's order
        for (int row = 0; row < f.pList->ItemCount(); ++row) {
            if (dragged.contains(f.pList->Model()->Entry(row)->GetName()))
                paths << kFolder + u'/' + f.pList->Model()->Entry(row)->GetName();
        }
        QCOMPARE(data->text(), paths.join(u'\n'));

        QTemporaryDir desktop;
        CFileDropTarget target(desktop.path());
        target.resize(100, 100);
        DropOn(&target, *data);
        QCOMPARE(target.m_bEntered, dragged != QStringList{u"SUB"_s});
        QCOMPARE(target.m_copied, copied);
        for (const QString& name : std::as_const(copied)) {
            QFile file(QDir(desktop.path()).filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), Content(name));
        }
        if (target.m_bEntered)
            QCOMPARE(target.m_strText, paths.join(u'\n'));
        // Nothing but what arrived whole: no partial file at the target, and
        // the fetched copies only where the drop took them from.
        QCOMPARE(QDir(desktop.path()).entryList(QDir::Files | QDir::Hidden).size(), copied.size());
        const auto* dragData = qobject_cast<const CDeviceDragData*>(data.get());
        QVERIFY(dragData);
        QCOMPARE(dragData->Fetched(), !copied.isEmpty());
        QCOMPARE(QDir(dragData->LocalFolder()).exists(), !copied.isEmpty());
        if (cancel)
            QVERIFY(f.host.ProgressRecord().files.size() >= 1);
        else if (copied.size() == 3)
            QCOMPARE(f.host.ProgressRecord().files,
                     (QStringList{u"A.TXT   [1/3]"_s, u"BIG.PIC   [2/3]"_s, u"C.SEQ   [3/3]"_s}));
        QVERIFY(f.host.MessageTexts().isEmpty());
        QTRY_VERIFY(f.comm.IsConnected() && !f.comm.IsInBatch());
    }

    // The system lets the drag go while its files come (the target stopped
    // waiting): the copy stops, nothing is left, and the user learns why.
    void targetStopsWaiting()
    {
        CExplorerFixture f;
        QVERIFY(ShowOut(f, {u"A.TXT"_s, u"BIG.PIC"_s}));
        f.pList->IconView()->selectAll();
        std::unique_ptr<QMimeData> data(
            f.pList->Model()->mimeData(f.pList->IconView()->selectionModel()->selectedIndexes()));
        const QString local = qobject_cast<const CDeviceDragData*>(data.get())->LocalFolder();
        QObject context;
        f.host.SetOnUpdate([&context, &data](quint64) {
            QMetaObject::invokeMethod(
                &context, [&data] { data.reset(); }, Qt::QueuedConnection);
        });
        QTemporaryDir desktop;
        CFileDropTarget target(desktop.path());
        target.resize(100, 100);
        DropOn(&target, *data);
        QVERIFY(!data);
        QCOMPARE(target.m_copied, QStringList());
        QVERIFY(!QDir(local).exists());
        QCOMPARE(f.host.MessageTexts(), QStringList{CUiListView::DROP_ABANDONED_TEXT});
        QCOMPARE(f.host.Messages().constFirst().style, int(MB_OK | MB_ICONINFORMATION));
        QTRY_VERIFY(f.comm.IsConnected() && !f.comm.IsInBatch());
    }

    // While the mouse button is held a target may look at the files to
    // come: it learns where they will be, and nothing is fetched until the
    // drop; a drag within the program never fetches.
    void nothingFetchedBeforeTheDrop()
    {
#ifdef Q_OS_WIN
        // There the physical buttons count (a drag's loop eats the release),
        // which a test cannot hold down.
        QSKIP("the system's button state cannot be set from a test here");
#endif
        CExplorerFixture f;
        QVERIFY(ShowOut(f, {u"A.TXT"_s}));
        const std::unique_ptr<QMimeData> data(f.pList->Model()->mimeData({f.pList->Model()->index(0, 0)}));
        QVERIFY(data->hasUrls());
        f.Sent();

        QWidget* viewport = f.pList->IconView()->viewport();
        QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(2, 2));
        const QList<QUrl> promised = data->urls();
        QCOMPARE(promised.size(), 1);
        QVERIFY(promised.first().isLocalFile());
        QVERIFY(!QFile::exists(promised.first().toLocalFile()));
        // Dropped on a folder of the tree: copied on the generator, no file fetched.
        QCOMPARE(CUiListView::IsDroppable(data.get()), true);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(2, 2));
        QCOMPARE(f.Sent(), QByteArray());

        // The drop: the same place, now holding the file.
        QCOMPARE(data->urls(), promised);
        QFile file(promised.first().toLocalFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), Content(u"A.TXT"_s));
    }
};

QTEST_MAIN(TestDeviceDragData)
#include "tst_devicedragdata.moc"
