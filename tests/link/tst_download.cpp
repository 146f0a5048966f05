#include "tests/support/cancelpoints.h"
#include "tests/support/transferfixture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
const QString kFolder = u"/F0:/DNTEST"_s;

QByteArray Random(qsizetype size)
{
    QList<quint32> words((size + 3) / 4);
    QRandomGenerator::global()->fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char*>(words.constData()), size);
}
} // namespace

class TestDownload : public QObject
{
    Q_OBJECT

private:
    CTransferFixture m_f;

    // The transcript of the transfer connection that begins with `start`.
    QByteArray TransferTranscript(const QByteArray& start)
    {
        const QList<QByteArray> all = m_f.m_sim.Transcripts();
        for (const QByteArray& t : all) {
            if (t.startsWith(start))
                return t;
        }
        return QByteArray();
    }

    QStringList Write(const QList<QPair<QString, QByteArray>>& files)
    {
        QStringList paths;
        for (const auto& [name, data] : files) {
            if (!m_f.WritePc(name, data))
                return {};
            paths << m_f.PcPath(name);
        }
        return paths;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_f.Start());
        QVERIFY(m_f.m_sim.AddFolder(kFolder));
    }

    void init()
    {
        m_f.Reset();
        m_f.m_sim.ClearErrors();
        m_f.ClearPc();
    }

    void cleanup() { m_f.m_sim.SetFaults({}); }

    // The exact bytes of one file on its transfer connection.
    void wire_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("empty") << u"E0.SEQ"_s << QByteArray()
                               << QByteArray("mmem:data \"/F0:/DNTEST/E0.SEQ\",#10\r\n");
        QTest::newRow("one byte") << u"E1.LGO"_s << QByteArray("x")
                                  << QByteArray("mmem:data \"/F0:/DNTEST/E1.LGO\",#11x\r\n");
        QTest::newRow("75 bytes") << u"E75.PIC"_s << QByteArray(75, 'a')
                                  << QByteArray("mmem:data \"/F0:/DNTEST/E75.PIC\",#275") +
                                         QByteArray(75, 'a') + "\r\n";
        QTest::newRow("package") << u"PKG.DNL"_s << QByteArray("hello")
                                 << QByteArray("mmem:load:download #15hello\r\n");
        const QByteArray awkward = QByteArray("\n\r\n#\"\0,", 7).repeated(100);
        QTest::newRow("LF CR # quote NUL")
            << u"AW.CMP"_s << awkward
            << QByteArray("mmem:data \"/F0:/DNTEST/AW.CMP\",#3700") + awkward + "\r\n";
    }

    void wire()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, expected);
        const QStringList paths = Write({{name, data}});
        QVERIFY(m_f.m_comm->PrepareDownload(paths, kFolder));
        QVERIFY(m_f.WaitBatchEnd());
        QCOMPARE(m_f.m_host.MessageTexts(), QStringList());
        QCOMPARE(TransferTranscript(expected.left(10)), expected);
        if (!name.endsWith(u".DNL"_s))
            QCOMPARE(m_f.m_sim.FileData(kFolder + u'/' + name), data);
        const auto progress = m_f.m_host.ProgressRecord();
        QCOMPARE(progress.files, QStringList{name}); // no suffix for one file
        QCOMPARE(progress.captions, QStringList{u"From '"_s + QFileInfo(m_f.m_dir.path()).fileName() +
                                                u"' to 'VQ:"_s + kFolder + u'\''});
        QCOMPARE(progress.completes, 1);
        QCOMPARE(progress.ends, QList<int>{1});
        QCOMPARE(m_f.m_endParams, QList<int>{1});
        QVERIFY(m_f.ChannelAnswers());
        QVERIFY(m_f.m_comm->DeleteEntry(kFolder + u'/' + name) || name.endsWith(u".DNL"_s));
    }

    void sizes_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("32767") << 32767;
        QTest::newRow("32768") << 32768;
        QTest::newRow("65536") << 65536;
        QTest::newRow("100001") << 100001;
    }

    void sizes()
    {
        QFETCH(int, size);
        const QByteArray data = Random(size);
        const QString name = u"S%1.SEQ"_s.arg(size);
        QVERIFY(m_f.m_comm->PrepareDownload(Write({{name, data}}), kFolder));
        QVERIFY(m_f.WaitBatchEnd());
        QCOMPARE(m_f.m_host.MessageTexts(), QStringList());
        QCOMPARE(m_f.m_sim.FileData(kFolder + u'/' + name), data);
        QVERIFY(m_f.m_comm->DeleteEntry(kFolder + u'/' + name));
    }

    void fiveFiles()
    {
        QList<QPair<QString, QByteArray>> files;
        for (int i = 1; i <= 5; ++i)
            files.append({u"FIVE%1.SEQ"_s.arg(i), Random(1000 * i)});
        QVERIFY(m_f.m_comm->PrepareDownload(Write(files), kFolder));
        QVERIFY(m_f.WaitBatchEnd());
        QCOMPARE(m_f.m_host.MessageTexts(), QStringList());
        QStringList expected;
        for (int i = 1; i <= 5; ++i)
            expected << u"FIVE%1.SEQ   [%1/5]"_s.arg(i);
        QCOMPARE(m_f.m_host.ProgressRecord().files, expected);
        for (const auto& [name, data] : files) {
            QCOMPARE(m_f.m_sim.FileData(kFolder + u'/' + name), data);
            QVERIFY(m_f.m_comm->DeleteEntry(kFolder + u'/' + name));
        }
        QCOMPARE(m_f.m_endParams, QList<int>{1});
    }

    // One confirmation per file by kind; a Cancel on the third sends nothing.
    void confirmations()
    {
        const QStringList paths = Write({{u"K1.LGO"_s, "1"}, {u"K2.PST"_s, "2"}, {u"K3.DNL"_s, "3"}});
        m_f.m_host.QueueConfirmAnswer(IDOK);
        m_f.m_host.QueueConfirmAnswer(IDOK);
        m_f.m_host.QueueConfirmAnswer(IDCANCEL);
        m_f.m_sim.ClearTranscripts();
        QCOMPARE(m_f.m_comm->PrepareDownload(paths, kFolder), 0);
        const auto asked = m_f.m_host.Confirmations();
        QCOMPARE(asked.size(), 3);
        QCOMPARE(asked.at(0).kind, KIND_LOGO);
        QCOMPARE(asked.at(1).kind, KIND_PRESET);
        QCOMPARE(asked.at(2).kind, KIND_DOWNLOAD);
        QCOMPARE(asked.at(2).path, paths.at(2));
        QCOMPARE(m_f.m_host.MessageTexts(), QStringList());
        QVERIFY(!m_f.m_sim.AllReceived().contains("mmem:data "));
        QVERIFY(!m_f.m_sim.AllReceived().contains("mmem:load"));
        QCOMPARE(m_f.m_host.ProgressRecord().sinks, 0);
        QVERIFY(m_f.ChannelAnswers());
    }

    // What the pre-check refuses before anything is sent.
    void refusals_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("message");
        QTest::newRow("1,000,000,000 bytes")
            << u"HUGE.SEQ"_s << qint64(1000000000)
            << u"File too large to send (1,000,000,000 bytes or more) : \"%1\""_s;
        QTest::newRow("comma in the name")
            << u"A,B.SEQ"_s << qint64(3) << u"Invalid file name : \"A,B.SEQ\""_s;
        QTest::newRow("missing") << u"GONE.SEQ"_s << qint64(-1) << u"File not found : \"%1\""_s;
        QTest::newRow("memory") << u"MEM.SEQ"_s << qint64(70 * 1024 * 1024)
                                << u"Insufficient memory free space in VQ."_s;
    }

    void refusals()
    {
        QFETCH(QString, name);
        QFETCH(qint64, size);
        QFETCH(QString, message);
        const QString path = m_f.PcPath(name);
        if (size >= 0) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(size)); // sparse: quick even when huge
        }
        m_f.m_sim.ClearTranscripts();
        QCOMPARE(m_f.m_comm->PrepareDownload({path}, kFolder), 0);
        QCOMPARE(m_f.m_host.MessageTexts(),
                 QStringList{message.contains(u"%1"_s) ? message.arg(path) : message});
        QVERIFY(!m_f.m_sim.AllReceived().contains(",#"));
        QCOMPARE(m_f.m_comm->DownloadList().GetCount(), 0);
        QVERIFY(m_f.ChannelAnswers());
        QFile::remove(path);
    }

    // A target listing that is not whole could hide the name about to be
    // replaced: nothing is sent.
    void unreadableTargetListing_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("cut after an entry's comma") << QByteArray("1000,99999999,\"OTHER.SEQ\",SEQ,5,\n");
        QTest::newRow("text after the figures") << QByteArray("1000,99999999 BUSY\n");
        QTest::newRow("unquoted names") << QByteArray("1000,99999999,HERE.SEQ,SEQ,16\n");
        QTest::newRow("figures not numbers") << QByteArray("x,y,\"HERE.SEQ\",SEQ,16\n");
    }
    void unreadableTargetListing()
    {
        QFETCH(QByteArray, reply);
        QVERIFY(m_f.m_sim.AddFile(kFolder + u"/HERE.SEQ"_s, "on the generator"));
        const QStringList paths = Write({{u"HERE.SEQ"_s, "pc"}});
        m_f.m_sim.SetScriptedReply("mmem:cat?", reply, true);
        m_f.m_sim.ClearTranscripts();
        QCOMPARE(m_f.m_comm->PrepareDownload(paths, kFolder), 0);
        QCOMPARE(
            m_f.m_host.MessageTexts(),
            QStringList{u"The generator's listing of this folder could not be read : \"%1\""_s.arg(kFolder)});
        QVERIFY(!m_f.m_sim.AllReceived().contains(",#"));
        QCOMPARE(m_f.m_comm->DownloadList().GetCount(), 0);
        QCOMPARE(m_f.m_sim.FileData(kFolder + u"/HERE.SEQ"_s), QByteArray("on the generator"));
        QVERIFY(m_f.ChannelAnswers());
        QVERIFY(m_f.m_comm->DeleteEntry(kFolder + u"/HERE.SEQ"_s));
    }

    // An existing name: the catalog lets the user skip it, the list's items stop the batch.
    void existing_data()
    {
        QTest::addColumn<bool>("sameFolder");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("started");
        QTest::addColumn<int>("style");
        QTest::newRow("catalog, OK skips") << false << int(IDOK) << 1 << (MB_OKCANCEL | MB_ICONSTOP);
        QTest::newRow("catalog, Cancel stops") << false << int(IDCANCEL) << 0 << (MB_OKCANCEL | MB_ICONSTOP);
        QTest::newRow("list, stops") << true << int(IDOK) << 0 << (MB_OK | MB_ICONSTOP);
    }

    void existing()
    {
        QFETCH(bool, sameFolder);
        QFETCH(int, answer);
        QFETCH(int, started);
        QFETCH(int, style);
        QVERIFY(m_f.m_sim.AddFile(kFolder + u"/HERE.SEQ"_s, "on the generator"));
        const QStringList paths = Write({{u"here.seq"_s, "pc"}, {u"NEW.SEQ"_s, "new"}});
        if (sameFolder) {
            m_f.m_host.SetList(kFolder, {u"HERE.SEQ"_s});
            m_f.m_comm->SetMemoryFigures(1, 1e9);
        }
        m_f.m_host.QueueAnswer(answer);
        m_f.m_sim.ClearTranscripts();
        QCOMPARE(m_f.m_comm->PrepareDownload(paths, kFolder), started);
        if (started)
            QVERIFY(m_f.WaitBatchEnd());
        QCOMPARE(m_f.m_host.MessageTexts(), QStringList{u"This file already exists : \"here.seq\""_s});
        QCOMPARE(m_f.m_host.Messages().value(0).style, style);
        QCOMPARE(m_f.m_sim.FileData(kFolder + u"/HERE.SEQ"_s), QByteArray("on the generator"));
        QCOMPARE(m_f.m_sim.Exists(kFolder + u"/NEW.SEQ"_s), started == 1);
        // Same-folder mode never asks the generator.
        QCOMPARE(m_f.m_sim.AllReceived().contains("mmem:cat?"), !sameFolder);
        QVERIFY(m_f.ChannelAnswers());
        QVERIFY(m_f.m_comm->DeleteEntry(kFolder + u"/HERE.SEQ"_s));
        if (started)
            QVERIFY(m_f.m_comm->DeleteEntry(kFolder + u"/NEW.SEQ"_s));
    }

public:
    enum Fault
    {
        CloseMidData,
        Stall,
        Refused,
    };

private Q_SLOTS:
    void faults_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("endParam");
        QTest::newRow("generator closes mid-file")
            << int(CloseMidData) << u"Connection closed by foreign host."_s << 1 << 1;
        QTest::newRow("generator stops reading")
            << int(Stall) << u"The generator stopped receiving for 0.5 s : \"PATH\""_s << 1 << 1;
        QTest::newRow("connection refused") << int(Refused) << u"Socket error."_s << 2 << 0;
    }

    // A failure in the data phase ends the batch after the file; one before
    // it lets the next file be tried.
    void faults()
    {
        QFETCH(int, fault);
        QFETCH(QString, message);
        QFETCH(int, files);
        QFETCH(int, endParam);
        const QStringList paths =
            Write({{u"FA1.SEQ"_s, Random(8 * 1024 * 1024)}, {u"FA2.SEQ"_s, Random(10)}});
        m_f.m_comm->SetTransferIdleMs(500);
        CSimFaults faults;
        faults.m_nCloseAfterDataBytes = fault == CloseMidData ? 100000 : -1;
        faults.m_bStallTransfer = fault == Stall;
        faults.m_bRefuseConnections = fault == Refused;
        QElapsedTimer timer;
        timer.start();
        m_f.m_sim.SetFaults(faults);
        QVERIFY(m_f.m_comm->PrepareDownload(paths, kFolder));
        QVERIFY(m_f.WaitBatchEnd());
        QVERIFY2(timer.elapsed() < 15000, "every wait is bounded");
        const QStringList texts = m_f.m_host.MessageTexts();
        message.replace(u"PATH"_s, paths.first());
        QVERIFY2(!texts.isEmpty() && texts.first() == message, qPrintable(texts.join(u'|')));
        QCOMPARE(m_f.m_host.ProgressRecord().files.size(), files);
        QCOMPARE(m_f.m_endParams, QList<int>{endParam});
        m_f.m_sim.SetFaults({});
        if (!m_f.m_comm->IsConnected())
            QVERIFY(m_f.m_comm->Connect());
        QVERIFY(m_f.ChannelAnswers());
        QVERIFY(!m_f.m_sim.Exists(kFolder + u"/FA2.SEQ"_s));
        m_f.m_comm->DeleteEntry(kFolder + u"/FA1.SEQ"_s);
    }

    // Progress counts what reached the generator: a file the system could
    // take whole into its send buffer is not complete while the generator
    // reads nothing of it. (Where the system tells nothing of what arrived,
    // as on Windows, the bytes in its buffers count: the file is larger than
    // the buffers of both ends together, which grow while the generator
    // still reads.)
    void progressCountsWhatArrived()
    {
        const qsizetype size = 4 * 1024 * 1024;
        const QStringList paths = Write({{u"PR1.SEQ"_s, Random(size)}});
        CSimFaults faults;
        faults.m_bStallTransfer = true;
        m_f.m_sim.SetFaults(faults);
        QVERIFY(m_f.m_comm->PrepareDownload(paths, kFolder));
        QTRY_VERIFY_WITH_TIMEOUT(m_f.m_host.ProgressRecord().lastDone >= 32768, 10000);
        QTest::qWait(500);
        QCOMPARE(m_f.m_host.ProgressRecord().completes, 0);
        QVERIFY(m_f.m_host.ProgressRecord().lastDone < quint64(size));
        m_f.m_comm->CancelTransfer();
        QVERIFY(m_f.WaitBatchEnd());
        m_f.m_sim.SetFaults({});
        QVERIFY(m_f.ChannelAnswers());
        QVERIFY(!m_f.m_sim.Exists(kFolder + u"/PR1.SEQ"_s));
    }

public:
    enum Change
    {
        Grown,
        Shrunk,
        Removed,
    };

private Q_SLOTS:
    void changedAfterCheck_data()
    {
        QTest::addColumn<int>("change");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("endParam");
        QTest::newRow("grown") << int(Grown) << u"Can not read from the file."_s << 1;
        QTest::newRow("shrunk") << int(Shrunk) << u"Can not read from the file."_s << 1;
        // The system's reason (%2) says why it did not open.
        QTest::newRow("removed") << int(Removed) << u"File not open (%2) : \"%1\""_s << 0;
    }

    // The second file changes after the pre-check: never a byte beyond the
    // announced count, never a header without data.
    void changedAfterCheck()
    {
        QFETCH(int, change);
        QFETCH(QString, message);
        QFETCH(int, endParam);
        const QByteArray second = Random(40000);
        const QStringList paths = Write({{u"CH1.SEQ"_s, Random(100)}, {u"CH2.SEQ"_s, second}});
        QVERIFY(m_f.m_comm->PrepareDownload(paths, kFolder));
        QFile file(paths.at(1));
        if (change == Removed) {
            QVERIFY(file.remove());
        } else {
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.resize(change == Grown ? 40001 : 39999));
            file.close();
        }
        QVERIFY(m_f.WaitBatchEnd());
        if (message.contains(u"%1"_s)) {
            QFile gone(paths.at(1));
            QVERIFY(!gone.open(QIODevice::ReadOnly));
            message = message.arg(paths.at(1), gone.errorString());
        }
        QCOMPARE(m_f.m_host.MessageTexts(), QStringList{message});
        QCOMPARE(m_f.m_endParams, QList<int>{endParam});
        const QByteArray prefix("mmem:data \"/F0:/DNTEST/CH2.SEQ\",#540000");
        const QByteArray sent = TransferTranscript(prefix);
        if (change == Removed)
            QVERIFY(sent.isEmpty());
        else
            QVERIFY2(sent.size() - prefix.size() < second.size(),
                     "the changed file's block is never complete");
        QVERIFY(!m_f.m_sim.Exists(kFolder + u"/CH2.SEQ"_s));
        QVERIFY(m_f.ChannelAnswers());
        QVERIFY(m_f.m_comm->DeleteEntry(kFolder + u"/CH1.SEQ"_s));
    }

    void cancel_data()
    {
        QTest::addColumn<int>("when");
        QTest::addColumn<int>("endParam"); // 1: the batch wrote to the generator
        for (const CancelPoint& point : kCancelPoints)
            QTest::newRow(point.row) << int(point.when) << (point.when == AtZero ? 0 : 1);
    }

    void cancel()
    {
        QFETCH(int, when);
        QFETCH(int, endParam);
        m_f.Reset(1.0);
        const QByteArray first = Random(24 * 1024 * 1024);
        const QStringList paths = Write({{u"CA1.SEQ"_s, first}, {u"CA2.SEQ"_s, Random(10)}});
        CVQComm* comm = m_f.m_comm.get();
        if (when == LastChunk) {
            const quint64 size = quint64(first.size());
            m_f.m_host.SetOnUpdate([comm, size](quint64 done) {
                if (done + TRANSFER_CHUNK >= size && done < size)
                    comm->CancelTransfer();
            });
        } else if (when == MidFile) {
            // The generator stops reading: the worker sits in a send when Cancel comes.
            CSimFaults faults;
            faults.m_bStallTransfer = true;
            m_f.m_sim.SetFaults(faults);
        }
        QVERIFY(comm->PrepareDownload(paths, kFolder));
        if (when == AtZero) {
            comm->CancelTransfer();
        } else if (when == MidFile) {
            QTRY_VERIFY_WITH_TIMEOUT(m_f.m_host.ProgressRecord().lastDone >= 65536, 10000);
            QTest::qWait(300);
            QVERIFY(comm->IsTransferRunning());
            QElapsedTimer timer;
            timer.start();
            comm->CancelTransfer();
            QTRY_VERIFY_WITH_TIMEOUT(!comm->IsTransferRunning(), 1000);
            QVERIFY2(timer.elapsed() < 250, "the worker stops within 200 ms");
        } else if (when == BetweenFiles) {
            QTRY_VERIFY_WITH_TIMEOUT(m_f.m_host.ProgressRecord().completes == 1, 10000);
            comm->CancelTransfer();
        }
        QVERIFY(m_f.WaitBatchEnd());
        QCOMPARE(m_f.m_host.MessageTexts(), QStringList());
        QVERIFY(!m_f.m_sim.Exists(kFolder + u"/CA2.SEQ"_s));
        if (when == BetweenFiles)
            QCOMPARE(m_f.m_sim.FileData(kFolder + u"/CA1.SEQ"_s), first);
        else
            QVERIFY(m_f.m_sim.FileData(kFolder + u"/CA1.SEQ"_s) != first);
        QCOMPARE(m_f.m_host.ProgressRecord().files.size(), 1);
        if (when != AtZero)
            QCOMPARE(m_f.m_endParams, QList<int>{endParam});
        m_f.m_sim.SetFaults({});
        QVERIFY(m_f.ChannelAnswers());
        if (m_f.m_sim.Exists(kFolder + u"/CA1.SEQ"_s))
            QVERIFY(m_f.m_comm->DeleteEntry(kFolder + u"/CA1.SEQ"_s));
    }
};

QTEST_GUILESS_MAIN(TestDownload)
#include "tst_download.moc"
