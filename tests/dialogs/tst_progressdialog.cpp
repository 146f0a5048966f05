#include "dialogs/copyanimation.h"
#include "dialogs/dlgcopyprogress.h"
#include "link/progresssink.h"
#include "link/vqcomm.h"
#include "link/vqevents.h"
#include "tests/support/scriptedhost.h"

#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include <thread>

using namespace Qt::StringLiterals;

using Counts = QList<quint64>;
using Positions = QList<int>;

namespace {

// Records the end message the dialog passes on.
class CEndRecorder final : public QObject
{
public:
    QList<int> m_ends;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != static_cast<QEvent::Type>(WM_TRANSFER_END))
            return QObject::event(e);
        m_ends.append(static_cast<CLinkEvent*>(e)->WParam());
        return true;
    }
};

} // namespace

class TestProgressDialog final : public QObject
{
    Q_OBJECT

private:
    qint64 m_now = 1000000;
    CScriptedHost m_host;
    CVQComm m_comm{&m_host};
    CEndRecorder m_receiver;

    // A dialog on the test's clock; it deletes itself when its batch ends.
    CDlgCopyProgress* MakeDialog(const QString& clip = CDlgCopyProgress::CLIP)
    {
        auto* dialog = new CDlgCopyProgress(
            &m_comm, nullptr, [this] { return m_now; }, clip);
        dialog->Sink()->SetReceiver(&m_receiver);
        return dialog;
    }
    // The dialog is gone and has passed the end on, which is posted: Windows'
    // event loop may deliver it after the deletion.
    void EndBatch(CDlgCopyProgress* dialog, int wParam)
    {
        QPointer<CDlgCopyProgress> guard(dialog);
        const qsizetype ends = m_receiver.m_ends.size();
        QCoreApplication::postEvent(dialog->Sink(), new CLinkEvent(WM_TRANSFER_END, wParam));
        QTRY_VERIFY(guard.isNull());
        QTRY_COMPARE(m_receiver.m_ends.size(), ends + 1);
    }

private Q_SLOTS:
    void init()
    {
        m_host.ClearMessages();
        m_receiver.m_ends.clear();
        g_transferCancelled = 0;
    }

    // The window stays hidden until the first file; a clip that cannot be
    // loaded is reported and the window works without it.
    void opening_data()
    {
        QTest::addColumn<QString>("clip");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("own clip") << CDlgCopyProgress::CLIP << QStringList();
        QTest::newRow("no clip") << u":/anim/none.svg"_s << QStringList{u"Error: Cannot open CAnimateCtrl"_s};
        QTest::newRow("not a clip") << u":/icons/page.svg"_s
                                    << QStringList{u"Error: Cannot open CAnimateCtrl"_s};
    }

    void opening()
    {
        QFETCH(QString, clip);
        QFETCH(QStringList, messages);
        CDlgCopyProgress* dialog = MakeDialog(clip);
        QCOMPARE(m_host.MessageTexts(), messages);
        QCOMPARE(dialog->Animation()->IsOpen(), messages.isEmpty() ? 1 : 0);
        QCOMPARE(dialog->windowTitle(), u"Copying..."_s);
        QCOMPARE(dialog->FileNameLabel()->text(), u"Filename"_s);
        QCOMPARE(dialog->DirectionLabel()->text(), u"from VQ to PC"_s);
        QCOMPARE(dialog->RemainingLabel()->text(), QString());
        QCOMPARE(dialog->ProgressBar()->value(), 0);
        QVERIFY(!dialog->isVisible());

        dialog->Sink()->StartFile(u"A.SEQ"_s, 1000, u"From 'VQ:/F0:/USER' to '/tmp'"_s, 1);
        QVERIFY(dialog->isVisible());
        QVERIFY(!dialog->isModal());
        QCOMPARE(dialog->FileNameLabel()->text(), u"A.SEQ"_s);
        QCOMPARE(dialog->DirectionLabel()->text(), u"From 'VQ:/F0:/USER' to '/tmp'"_s);
        QCOMPARE(dialog->Animation()->IsPlaying(), messages.isEmpty() ? 1 : 0);
        EndBatch(dialog, 0);
    }

    // The text on the 16th report, after `elapsed` seconds of a file of
    // `total` bytes of which `done` have moved.
    void remainingTime_data()
    {
        QTest::addColumn<qint64>("elapsed");
        QTest::addColumn<quint64>("total");
        QTest::addColumn<quint64>("done");
        QTest::addColumn<QString>("text");
        // remaining = (total - done) * elapsed / done: with done = elapsed = 10, total - done.
        const QList<std::pair<quint64, QString>> table = {
            {0, u"1 Second Remaining"_s},      {1, u"2 Seconds Remaining"_s},
            {58, u"59 Seconds Remaining"_s},   {59, u"1 Minute Remaining"_s},
            {60, u"2 Minutes Remaining"_s},    {119, u"2 Minutes Remaining"_s},
            {3539, u"59 Minutes Remaining"_s}, {3540, u"1 Hour Remaining"_s},
            {3599, u"1 Hour Remaining"_s},     {3600, u"2 Hours Remaining"_s},
            {7199, u"2 Hours Remaining"_s},    {7200, u"3 Hours Remaining"_s},
        };
        for (const auto& [remaining, text] : table)
            QTest::addRow("%llu s", remaining) << qint64(10) << 10 + remaining << quint64(10) << text;
        QTest::newRow("within 5 s") << qint64(4) << quint64(1000) << quint64(10) << QString();
        QTest::newRow("nothing moved") << qint64(60) << quint64(1000) << quint64(0) << QString();
    }

    void remainingTime()
    {
        QFETCH(qint64, elapsed);
        QFETCH(quint64, total);
        QFETCH(quint64, done);
        QFETCH(QString, text);
        CDlgCopyProgress* dialog = MakeDialog();
        dialog->Sink()->StartFile(u"A.SEQ"_s, total, u"caption"_s, 1);
        m_now += elapsed;
        for (int i = 0; i < 15; ++i)
            dialog->Sink()->UpdateProgress(done);
        QCOMPARE(dialog->RemainingLabel()->text(), QString());
        dialog->Sink()->UpdateProgress(done);
        QCOMPARE(dialog->RemainingLabel()->text(), text);
        EndBatch(dialog, 0);
    }

    // The bar after each report: 2 per step, one step per report at most.
    void bar_data()
    {
        QTest::addColumn<quint64>("total");
        QTest::addColumn<Counts>("reports");
        QTest::addColumn<Positions>("positions");

        Counts tiny;
        Positions tinyBars;
        for (int i = 1; i <= 52; ++i) {
            tiny << quint64(std::min(i, 40));
            tinyBars << std::min(100, 2 * i);
        }
        QTest::newRow("under 50 bytes: 2 per report") << quint64(40) << tiny << tinyBars;
        QTest::newRow("a jump moves one step, then catches up")
            << quint64(1000) << Counts{10, 19, 20, 100, 100, 100, 100, 100, 100}
            << Positions{0, 0, 2, 4, 6, 8, 10, 10, 10};
    }

    void bar()
    {
        QFETCH(quint64, total);
        QFETCH(Counts, reports);
        QFETCH(Positions, positions);
        CDlgCopyProgress* dialog = MakeDialog();
        dialog->Sink()->StartFile(u"A.SEQ"_s, total, u"caption"_s, 1);
        Positions seen;
        for (const quint64 done : reports) {
            dialog->Sink()->UpdateProgress(done);
            seen << dialog->ProgressBar()->value();
        }
        QCOMPARE(seen, positions);
        dialog->Sink()->SetComplete();
        QCOMPARE(dialog->ProgressBar()->value(), 100);
        // The next file starts at 0.
        dialog->Sink()->StartFile(u"B.SEQ"_s, total, u"caption"_s, 1);
        QCOMPARE(dialog->ProgressBar()->value(), 0);
        EndBatch(dialog, 0);
    }

    // The worker's reports never wait for the GUI thread: a whole file is
    // reported while the GUI thread handles no event, and the window shows
    // the last state once it does.
    void workerNeverWaits()
    {
        CDlgCopyProgress* dialog = MakeDialog();
        dialog->Sink()->StartFile(u"A.SEQ"_s, 32768 * 100, u"caption"_s, 1);
        m_now += 10;
        CProgressSink* sink = dialog->Sink();
        std::thread worker([sink] {
            for (quint64 done = 32768; done <= 32768 * 100; done += 32768)
                sink->UpdateProgress(done);
            sink->SetComplete();
        });
        worker.join();
        QCOMPARE(dialog->ProgressBar()->value(), 0);
        QTRY_COMPARE(dialog->ProgressBar()->value(), 100);
        QCOMPARE(dialog->RemainingLabel()->text(), u"1 Second Remaining"_s);
        EndBatch(dialog, 0);
    }

    // The count of reports runs on into the next file: its first estimate
    // comes with the 16th report of the batch, not of the file.
    void counterCarriesOver()
    {
        CDlgCopyProgress* dialog = MakeDialog();
        dialog->Sink()->StartFile(u"A.SEQ"_s, 1000, u"caption"_s, 1);
        for (int i = 0; i < 10; ++i)
            dialog->Sink()->UpdateProgress(100);
        dialog->Sink()->StartFile(u"B.SEQ"_s, 1000, u"caption"_s, 1);
        m_now += 10;
        for (int i = 0; i < 5; ++i)
            dialog->Sink()->UpdateProgress(500);
        QCOMPARE(dialog->RemainingLabel()->text(), QString());
        dialog->Sink()->UpdateProgress(500);
        QCOMPARE(dialog->RemainingLabel()->text(), u"11 Seconds Remaining"_s);
        EndBatch(dialog, 1);
    }

    // Cancel, Escape and the close box: the transfer is cancelled, the
    // button greys at once and the window stays until the end message,
    // which goes on to the file list.
    void cancel_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("button") << 0;
        QTest::newRow("escape") << 1;
        QTest::newRow("close box") << 2;
    }

    void cancel()
    {
        QFETCH(int, how);
        CDlgCopyProgress* dialog = MakeDialog();
        dialog->Sink()->StartFile(u"A.SEQ"_s, 1000, u"caption"_s, 1);
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QVERIFY(dialog->CancelButton()->isEnabled());
        if (how == 0)
            QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
        else if (how == 1)
            QTest::keyClick(dialog, Qt::Key_Escape);
        else
            QVERIFY(!dialog->close());
        QCOMPARE(int(g_transferCancelled), 1);
        QVERIFY(!dialog->CancelButton()->isEnabled());
        QVERIFY(dialog->isVisible());
        // Reports still coming keep it grey.
        dialog->Sink()->UpdateProgress(500);
        QCoreApplication::processEvents();
        QVERIFY(!dialog->CancelButton()->isEnabled());
        QVERIFY(dialog->isVisible());

        EndBatch(dialog, 1);
        QCOMPARE(m_receiver.m_ends, QList<int>{1});
    }

    // A long name is shortened to fit; the window keeps its size.
    void longName()
    {
        CDlgCopyProgress* dialog = MakeDialog();
        dialog->Sink()->StartFile(u"A.SEQ"_s, 1000, u"caption"_s, 1);
        const QSize size = dialog->size();
        const QString name = QString(300, u'N') + u".SEQ"_s;
        dialog->Sink()->StartFile(name, 1000, u"caption"_s, 1);
        QCOMPARE(dialog->FileNameText(), name);
        QCOMPARE(dialog->FileNameLabel()->toolTip(), name);
        QVERIFY(dialog->FileNameLabel()->text().size() < name.size());
        QCOMPARE(dialog->size(), size);
        EndBatch(dialog, 0);
    }
};

QTEST_MAIN(TestProgressDialog)
#include "tst_progressdialog.moc"
