#include "app/guihost.h"
#include "app/mainframe.h"
#include "link/appsettings.h"
#include "link/channelwait.h"
#include "link/transferchain.h"
#include "link/vqcomm.h"
#include "link/vqevents.h"
#include "sim/simserver.h"
#include "tests/support/modalanswerer.h"
#include "views/uitreeview.h"

#include <QAbstractButton>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

using namespace Qt::StringLiterals;

namespace {
// Counts its paintings inside waits of the command channel.
class CPaintCounter final : public QWidget
{
public:
    int m_nPaintsInWait = 0;

protected:
    void paintEvent(QPaintEvent*) override { m_nPaintsInWait += CChannelWait::Active() ? 1 : 0; }
};

// An emulator on a free loopback port, and a link to it through the GUI host.
struct CGuiLink
{
    CGuiLink()
    {
        CSimOptions options;
        options.m_nPort = 0;
        sim.Start(options);
        comm.SetHost(sim.Address().toString());
        comm.SetPort(sim.Port());
    }
    CSimServer sim;
    CGuiHost host;
    CVQComm comm{&host};
};
} // namespace

class TestGuiHost final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void messageBox_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("fromWorker");
        QTest::addColumn<bool>("underWaitCursor");
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("click");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("title");

        const int okCancel = int(QMessageBox::Ok | QMessageBox::Cancel);
        QTest::newRow("stop") << int(MB_OK | MB_ICONSTOP) << QString() << false << false
                              << int(QMessageBox::Critical) << int(QMessageBox::Ok) << int(QMessageBox::Ok)
                              << int(IDOK) << u"VQ8 Comm"_s;
        QTest::newRow("question, cancel")
            << int(MB_OKCANCEL | MB_ICONQUESTION) << QString() << false << false << int(QMessageBox::Question)
            << okCancel << int(QMessageBox::Cancel) << int(IDCANCEL) << u"VQ8 Comm"_s;
        QTest::newRow("warning, own caption")
            << int(MB_OK | MB_ICONWARNING) << u"Download"_s << false << false << int(QMessageBox::Warning)
            << int(QMessageBox::Ok) << int(QMessageBox::Ok) << int(IDOK) << u"Download"_s;
        QTest::newRow("from a worker thread")
            << int(MB_OKCANCEL | MB_ICONQUESTION) << QString() << true << false << int(QMessageBox::Question)
            << okCancel << int(QMessageBox::Cancel) << int(IDCANCEL) << u"VQ8 Comm"_s;
        QTest::newRow("under the wait cursor")
            << int(MB_OK | MB_ICONSTOP) << QString() << false << true << int(QMessageBox::Critical)
            << int(QMessageBox::Ok) << int(QMessageBox::Ok) << int(IDOK) << u"VQ8 Comm"_s;
    }

    void messageBox()
    {
        QFETCH(int, style);
        QFETCH(QString, caption);
        QFETCH(bool, fromWorker);
        QFETCH(bool, underWaitCursor);
        QFETCH(int, icon);
        QFETCH(int, buttons);
        QFETCH(int, click);
        QFETCH(int, result);
        QFETCH(QString, title);

        CGuiHost host;
        struct Seen
        {
            QString title, text;
            int icon = -1, buttons = -1, cursor = -1;
            bool guiThread = false;
        } seen;
        CModalAnswerer<QMessageBox> answer([&seen, click](QMessageBox* box) {
            seen.title = box->windowTitle();
            seen.text = box->text();
            seen.icon = int(box->icon());
            seen.buttons = int(box->standardButtons());
            seen.guiThread = QThread::currentThread() == box->thread() && box->thread() == qApp->thread();
            seen.cursor = QApplication::overrideCursor() ? int(QApplication::overrideCursor()->shape()) : -1;
            box->button(QMessageBox::StandardButton(click))->click();
        });

        if (underWaitCursor)
            host.BeginWaitCursor();
        int answered = 0;
        if (fromWorker) {
            std::atomic<bool> done = false;
            std::thread worker([&] {
                answered = host.ShowMessageBox(u"Continue ?"_s, style, caption);
                done = true;
            });
            QTRY_VERIFY(done.load());
            worker.join();
        } else {
            answered = host.ShowMessageBox(u"Continue ?"_s, style, caption);
        }

        QCOMPARE(answered, result);
        QCOMPARE(seen.title, title);
        QCOMPARE(seen.text, u"Continue ?"_s);
        QCOMPARE(seen.icon, icon);
        QCOMPARE(seen.buttons, buttons);
        QVERIFY(seen.guiThread);
        QCOMPARE(seen.cursor, underWaitCursor ? int(Qt::ArrowCursor) : -1);
        if (underWaitCursor) {
            // The wait cursor is back once the box is gone.
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
            host.EndWaitCursor();
        }
        QVERIFY(!QApplication::overrideCursor());
    }

    void waitCursorNests()
    {
        CGuiHost host;
        host.EndWaitCursor(); // unmatched: nothing to restore
        QVERIFY(!QApplication::overrideCursor());
        {
            CWaitCursor outer(&host);
            {
                CWaitCursor inner(&host);
                QCOMPARE(host.WaitCursorDepth(), 2);
            }
            QVERIFY(QApplication::overrideCursor());
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        }
        QVERIFY(!QApplication::overrideCursor());

        // Someone else's cursor survives an extra End.
        QApplication::setOverrideCursor(Qt::CrossCursor);
        host.EndWaitCursor();
        QVERIFY(QApplication::overrideCursor());
        QApplication::restoreOverrideCursor();

        // A host that goes away takes its cursors with it.
        {
            CGuiHost leaving;
            leaving.BeginWaitCursor();
        }
        QVERIFY(!QApplication::overrideCursor());
    }

    // While the command channel waits for a silent generator, a window that
    // asks to be painted is painted; a batch's message posted meanwhile runs
    // only once the wait is over.
    void channelWaitPaintsOnly()
    {
        CGuiLink link;
        QCOMPARE(link.comm.Connect(), 1);
        CVQComm& comm = link.comm;
        CSimFaults silent;
        silent.m_nReplyDelayMs = 4000; // beyond the reply wait's 2 s
        link.sim.SetFaults(silent);

        CPaintCounter widget;
        widget.resize(64, 64);
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        QTimer updates;
        connect(&updates, &QTimer::timeout, &widget, [&widget] { widget.update(); });
        updates.start(100);
        CTransferChain chain(&comm);
        QTimer::singleShot(500, &chain, [&chain] {
            QCoreApplication::postEvent(&chain, new CLinkEvent(WM_TRANSFER_END, 0));
        });
        int ended = 0;
        bool endedInWait = false;
        connect(&chain, &CTransferChain::BatchEnded, this, [&] {
            ++ended;
            endedInWait = endedInWait || CChannelWait::Active();
        });
        CModalAnswerer<QMessageBox> answer([](QMessageBox* box) { box->button(QMessageBox::Ok)->click(); });

        QElapsedTimer waited;
        waited.start();
        QCOMPARE(comm.QueryIdentity(), 0); // "Socket error." after 2 s of silence
        QVERIFY(waited.elapsed() >= REPLY_WATCHDOG_MS - 100);
        QVERIFY2(widget.m_nPaintsInWait >= 5, qPrintable(QString::number(widget.m_nPaintsInWait)));
        QTRY_COMPARE(ended, 1);
        QVERIFY(!endedInWait);
        QCOMPARE(answer.Answered(), 1);
    }

    // When a batch is over the keyboard, which its progress window had, goes
    // back to the main window, to the pane that had it.
    void keyboardBackAfterBatch()
    {
        CGuiLink link;
        CGuiHost& host = link.host;
        CVQComm& comm = link.comm;
        comm.SetDelayScale(0.02);
        host.SetComm(&comm);
        CAppSettings settings;
        CMainFrame frame(&comm, &settings);
        host.SetMainFrame(&frame);
        frame.show();
        QApplication::setActiveWindow(&frame);
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        QCOMPARE(comm.Connect(), 1);
        frame.TreeView()->RebuildTree();
        frame.TreeView()->setFocus();
        QTemporaryDir dir;
        QFile file(dir.filePath(u"keys.txt"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keys");
        file.close();
        bool progressHadKeyboard = false;
        connect(qApp, &QGuiApplication::focusWindowChanged, this, [&progressHadKeyboard](QWindow* window) {
            progressHadKeyboard = progressHadKeyboard || (window && window->title() == u"Copying..."_s);
        });
        CModalAnswerer<QDialog> confirm([](QDialog* dialog) { dialog->accept(); }); // the file-kind dialog
        QVERIFY(comm.PrepareDownload({file.fileName()}, u"/F0:/USER"_s));
        QTRY_VERIFY_WITH_TIMEOUT(comm.IsConnected() && !comm.IsInBatch(), 15000);
        QVERIFY(progressHadKeyboard);
        QTRY_COMPARE(QApplication::activeWindow(), &frame);
        QCOMPARE(QApplication::focusWidget(), frame.TreeView());
        host.SetMainFrame(nullptr);
    }

    // Status texts from a transfer worker reach the window on the GUI thread.
    void statusTextsFromWorker()
    {
        CVQComm comm;
        CAppSettings settings;
        CMainFrame frame(&comm, &settings);
        CGuiHost host;
        host.SetMainFrame(&frame);
        std::thread worker([&host] { host.SetStatusTexts(u"7 objects"_s, u"2,048 bytes"_s); });
        worker.join();
        QTRY_COMPARE(frame.ObjectsText(), u"7 objects"_s);
        QCOMPARE(frame.MemoryText(), u"2,048 bytes"_s);
    }

    // The program closes while a transfer worker waits for the answer to a
    // message box: the question is answered for the user, unseen, and the
    // link ends at once instead of waiting for ever.
    void closingWhileAWorkerAsks()
    {
        CSimServer sim;
        CSimOptions options;
        options.m_nPort = 0;
        QVERIFY(sim.Start(options));
        CSimFaults faults;
        faults.m_bMalformedBlockHeader = true; // the worker reports it in a message box
        sim.SetFaults(faults);

        CGuiHost host;
        auto comm = std::make_unique<CVQComm>(&host);
        comm->SetHost(sim.Address().toString());
        comm->SetPort(sim.Port());
        CAppSettings settings;
        auto frame = std::make_unique<CMainFrame>(comm.get(), &settings);
        host.SetMainFrame(frame.get());
        QCOMPARE(comm->Connect(), 1);
        const CFileInfo entry(u"README.TXT"_s, qint64(120), quint32(0), 0);
        comm->SetUploadFolder(u"/F0:/USER"_s);
        comm->QueueUpload(&entry, QDir::temp().filePath(u"vq-closing.txt"_s));
        QCOMPARE(comm->StartUpload(), 1);
        // No event is handled from here on: the worker's box is never shown.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        QElapsedTimer timer;
        timer.start();
        comm->EndTransfers(); // as the program's exit does, before the window goes
        host.SetMainFrame(nullptr);
        frame.reset();
        comm.reset();
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
        // Later questions get the same answer at once.
        std::thread late(
            [&host] { QCOMPARE(host.ShowMessageBox(u"Again ?"_s, MB_OKCANCEL), int(IDCANCEL)); });
        late.join();
        QCOMPARE(host.ShowMessageBox(u"Here ?"_s, MB_OKCANCEL), int(IDCANCEL));
    }
};

QTEST_MAIN(TestGuiHost)
#include "tst_guihost.moc"
