#include "tests/support/cancelpoints.h"
#include "tests/support/nodescriptors.h"
#include "tests/support/transferfixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

#include <atomic>
#include <future>
#include <thread>

#include <unistd.h>
#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace Qt::StringLiterals;

namespace {
const QString kFolder = u"/F0:/UPTEST"_s;

QByteArray Payload(int kind, qsizetype size)
{
    QByteArray data(size, '\0');
    for (qsizetype i = 0; i < size; ++i) {
        switch (kind) {
        case 0:
            data[i] = '\n';
            break;
        case 1:
            data[i] = (i % 2) ? '\n' : '\r';
            break;
        case 2:
            data[i] = '#';
            break;
        case 3:
            data[i] = '"';
            break;
        case 4:
            data[i] = '\0';
            break;
        default:
            data[i] = static_cast<char>(QRandomGenerator::global()->bounded(256));
            break;
        }
    }
    return data;
}
// A generator that answers the first connection's query with `block`, one
// byte at a time, and then accepts and holds one more connection (the
// command channel reopened after the batch).
class CTricklingPeer
{
public:
    explicit CTricklingPeer(QByteArray block)
    {
        std::promise<quint16> port;
        m_port = port.get_future();
        m_thread = std::thread([block = std::move(block), p = std::move(port)]() mutable {
            QTcpServer server;
            p.set_value(server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0);
            if (!server.waitForNewConnection(10000))
                return;
            std::unique_ptr<QTcpSocket> transfer(server.nextPendingConnection());
            QByteArray query;
            while (!query.endsWith("\r\n") && transfer->waitForReadyRead(5000))
                query += transfer->readAll();
            for (const char byte : block) {
                transfer->write(&byte, 1);
                transfer->waitForBytesWritten(1000);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            transfer->waitForDisconnected(5000);
            if (server.waitForNewConnection(10000)) {
                std::unique_ptr<QTcpSocket> channel(server.nextPendingConnection());
                channel->waitForDisconnected(2000);
            }
        });
    }
    ~CTricklingPeer() { m_thread.join(); }
    CTricklingPeer(const CTricklingPeer&) = delete;
    CTricklingPeer& operator=(const CTricklingPeer&) = delete;

    quint16 Port() { return m_port.get(); }

private:
    std::future<quint16> m_port;
    std::thread m_thread;
};
// The message of a PC file that could not be written: the fixed text, the
// system's reason in parentheses and the path. True when `text` is one for `path`.
bool NamesReason(const QString& text, const QString& fixed, const QString& path)
{
    const QString tail = u") : \""_s + path + u'"';
    return text.startsWith(fixed + u" ("_s) && text.endsWith(tail) &&
           text.size() > fixed.size() + 2 + tail.size();
}
} // namespace

class TestUpload : public QObject
{
    Q_OBJECT

private:
    CTransferFixture m_f;
    // Device entries must outlive their batch.
    std::vector<std::unique_ptr<CFileInfo>> m_entries;

    const CFileInfo* Entry(const QString& name, qint64 size)
    {
        m_entries.push_back(std::make_unique<CFileInfo>(name, size, quint32(1700000000), 0));
        return m_entries.back().get();
    }

    // Puts files on the generator and queues them for the PC folder.
    void Queue(const QList<QPair<QString, QByteArray>>& files)
    {
        m_f.m_comm->SetUploadFolder(kFolder);
        for (const auto& [name, data] : files) {
            QVERIFY(m_f.m_sim.AddFile(kFolder + u'/' + name, data));
            m_f.m_comm->QueueUpload(Entry(name, data.size()), m_f.PcPath(name));
        }
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
        m_f.ClearPc();
    }

    void payloads_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("one byte") << QByteArray("x");
        QTest::newRow("LF") << Payload(0, 1000);
        QTest::newRow("CR LF") << Payload(1, 1000);
        QTest::newRow("hash") << Payload(2, 1000);
        QTest::newRow("quote") << Payload(3, 1000);
        QTest::newRow("NUL") << Payload(4, 1000);
        QTest::newRow("32768") << Payload(5, 32768);
        QTest::newRow("65536") << Payload(5, 65536);
        QTest::newRow("100001") << Payload(5, 100001);
    }

    // Every byte arrives as it was, whatever it is; the target holds nothing else.
    void payloads()
    {
        QFETCH(QByteArray, data);
        Queue({{u"P.SEQ"_s, data}});
        QVERIFY(m_f.m_comm->StartUpload());
        QVERIFY(m_f.WaitBatchEnd());
        QCOMPARE(m_f.m_host.MessageTexts(), QStringList());
        QCOMPARE(m_f.ReadPc(u"P.SEQ"_s), data);
        QCOMPARE(m_f.PcFiles(), QStringList{u"P.SEQ"_s});
        const auto progress = m_f.m_host.ProgressRecord();
        QCOMPARE(progress.files, QStringList{u"P.SEQ"_s});
        QCOMPARE(progress.captions, QStringList{u"From 'VQ:"_s + kFolder + u"' to '"_s +
                                                QDir::toNativeSeparators(m_f.m_dir.path()) + u'\''});
        QCOMPARE(progress.completes, 1);
        QCOMPARE(progress.ends, QList<int>{0});
        QCOMPARE(m_f.m_endParams, QList<int>{0});
        QVERIFY(m_f.ChannelAnswers());
    }

    void commandOnTheWire()
    {
        Queue({{u"W.PIC"_s, QByteArray("abc")}});
        QVERIFY(m_f.m_comm->StartUpload());
        QVERIFY(m_f.WaitBatchEnd());
        QVERIFY(m_f.m_sim.AllReceived().contains("mmem:data? \"/F0:/UPTEST/W.PIC\"\r\n"));
    }

public:
    enum Fault
    {
        CloseMidData,
        CloseAfterHeader,
        StallMidData,
        ExtraData,
        MalformedHeader,
        NoHash,
        BadDigit,
        ShortDigits,
        EmptyBlock,
        Indefinite,
        AfterBlock,
    };

private Q_SLOTS:
    // Each fault: the messages, whether the batch goes on with the next file,
    // and an existing target that stays as it was unless a complete copy came.
    void faults_data()
    {
        const QString closed = u"Connection closed by foreign host."_s;
        const QString invalid = u"Error: Data format invalid."_s;
        const QString silent = u"The generator stopped sending for 0.5 s : \"/F0:/UPTEST/F1.SEQ\""_s;
        const auto changed = [](const QString& name, int listed, int sent) {
            return u"File changed on the generator (listed with %1 bytes, now %2): fetch it again : "
                   "\"/F0:/UPTEST/%3\""_s.arg(listed)
                       .arg(sent)
                       .arg(name);
        };
        QTest::addColumn<int>("fault");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("nextTried");
        QTest::addColumn<bool>("written");
        QTest::newRow("short data, close") << int(CloseMidData) << QStringList{closed} << false << false;
        QTest::newRow("header, close") << int(CloseAfterHeader) << QStringList{closed} << false << false;
        QTest::newRow("short data, stall") << int(StallMidData) << QStringList{silent} << false << false;
        // Every block of this generator is 5000 bytes longer than its file.
        QTest::newRow("blocks longer than listed")
            << int(ExtraData)
            << QStringList{changed(u"F1.SEQ"_s, 200000, 205000), changed(u"F2.SEQ"_s, 3000, 8000)} << true
            << false;
        QTest::newRow("empty block") << int(EmptyBlock) << QStringList{changed(u"F1.SEQ"_s, 200000, 0)}
                                     << true << false;
        QTest::newRow("bytes after the block") << int(AfterBlock) << QStringList() << true << true;
        QTest::newRow("malformed header")
            << int(MalformedHeader) << QStringList{invalid, invalid} << true << false;
        QTest::newRow("no hash") << int(NoHash) << QStringList{invalid} << true << false;
        QTest::newRow("bad digit") << int(BadDigit) << QStringList{invalid} << true << false;
        QTest::newRow("indefinite block") << int(Indefinite) << QStringList{invalid} << true << false;
        QTest::newRow("short length digits") << int(ShortDigits) << QStringList{silent} << true << false;
    }

    void faults()
    {
        QFETCH(int, fault);
        QFETCH(QStringList, messages);
        QFETCH(bool, nextTried);
        QFETCH(bool, written);

        const QByteArray first = Payload(5, 200000);
        const QByteArray second = Payload(5, 3000);
        const QByteArray old("previous contents");
        QVERIFY(m_f.WritePc(u"F1.SEQ"_s, old));
        m_f.m_comm->SetTransferIdleMs(500);
        Queue({{u"F1.SEQ"_s, first}, {u"F2.SEQ"_s, second}});

        CSimFaults faults;
        switch (fault) {
        case CloseMidData:
            faults.m_nCloseAfterDataBytes = 70000;
            break;
        case CloseAfterHeader:
            faults.m_nCloseAfterDataBytes = 0;
            break;
        case StallMidData:
            faults.m_bStallTransfer = true;
            break;
        case ExtraData:
            faults.m_nExtraDataBytes = 5000;
            break;
        case MalformedHeader:
            faults.m_bMalformedBlockHeader = true;
            break;
        case NoHash:
            m_f.m_sim.SetScriptedReply("mmem:data?", "6200000" + first, true);
            break;
        case BadDigit:
            m_f.m_sim.SetScriptedReply("mmem:data?", "#x200000" + first, true);
            break;
        case ShortDigits:
            m_f.m_sim.SetScriptedReply("mmem:data?", "#612", true);
            break;
        case EmptyBlock:
            m_f.m_sim.SetScriptedReply("mmem:data?", "#10\r\n", true);
            break;
        case Indefinite:
            m_f.m_sim.SetScriptedReply("mmem:data?", "#0" + first + "\n", true);
            break;
        case AfterBlock:
            m_f.m_sim.SetScriptedReply("mmem:data?", "#6200000" + first + "\r\nMORE", true);
            break;
        }
        m_f.m_sim.SetFaults(faults);

        QElapsedTimer timer;
        timer.start();
        QVERIFY(m_f.m_comm->StartUpload());
        QVERIFY(m_f.WaitBatchEnd());
        QVERIFY2(timer.elapsed() < 10000, "every wait is bounded");

        QCOMPARE(m_f.m_host.MessageTexts(), messages);
        QCOMPARE(m_f.ReadPc(u"F1.SEQ"_s), written ? first : old);
        const auto progress = m_f.m_host.ProgressRecord();
        QCOMPARE(progress.files.size(), nextTried ? 2 : 1);
        if (nextTried && fault != MalformedHeader && fault != ExtraData)
            QCOMPARE(m_f.ReadPc(u"F2.SEQ"_s), second);
        else
            QVERIFY(!QFile::exists(m_f.m_dir.filePath(u"F2.SEQ"_s)));
        // No temporary file is left behind.
        for (const QString& name : m_f.PcFiles())
            QVERIFY2(name == u"F1.SEQ"_s || name == u"F2.SEQ"_s, qPrintable(name));
        m_f.m_sim.SetFaults({});
        QVERIFY(m_f.ChannelAnswers());
    }

    void connectionRefused()
    {
        QVERIFY(m_f.WritePc(u"R.SEQ"_s, "old"));
        Queue({{u"R.SEQ"_s, QByteArray("new")}});
        CSimFaults faults;
        faults.m_bRefuseConnections = true;
        m_f.m_sim.SetFaults(faults);
        QVERIFY(m_f.m_comm->StartUpload());
        QVERIFY(m_f.WaitBatchEnd());
        // The transfer's connect fails, and so does the reconnection after the batch.
        const QStringList texts = m_f.m_host.MessageTexts();
        QCOMPARE(texts.value(0), u"Socket error."_s);
        QCOMPARE(texts.value(1), u"Cannot connect to \"127.0.0.1\""_s);
        QCOMPARE(m_f.ReadPc(u"R.SEQ"_s), QByteArray("old"));
        m_f.m_sim.SetFaults({});
        QVERIFY(m_f.m_comm->Connect());
        QVERIFY(m_f.ChannelAnswers());
    }

    // The worker gets no socket: it says so, and the batch goes on to its end.
    void workerWithoutSocket()
    {
#ifdef Q_OS_UNIX
        QVERIFY(m_f.WritePc(u"S.SEQ"_s, "old"));
        Queue({{ u"S.SEQ"_s, QByteArray("new") }});
        CNoDescriptors none;
        QVERIFY(none.IsSet());
        QVERIFY(m_f.m_comm->StartUpload());
        // Without the event loop the chain stands still: the limit goes
        // before it reconnects.
        QElapsedTimer waited;
        waited.start();
        while (m_f.m_host.MessageTexts().isEmpty() && waited.elapsed() < 5000)
            QThread::msleep(10);
        none.Restore();
        QVERIFY(m_f.WaitBatchEnd());
        QCOMPARE(m_f.m_host.MessageTexts(), QStringList{u"Cannot create Socket."_s});
        QCOMPARE(m_f.ReadPc(u"S.SEQ"_s), QByteArray("old"));
        QVERIFY(m_f.ChannelAnswers());
#else
        QSKIP("needs a descriptor limit");
#endif
    }

    void refusedTargets_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("relative path") << u"relative/R.SEQ"_s;
        QTest::newRow("bare name") << u"R.SEQ"_s;
    }

    // A target that is not an absolute path ends the batch before anything moves.
    void refusedTargets()
    {
        QFETCH(QString, target);
        m_f.m_comm->SetUploadFolder(kFolder);
        QVERIFY(m_f.m_sim.AddFile(kFolder + u"/R.SEQ"_s, "r"));
        m_f.m_comm->QueueUpload(Entry(u"R.SEQ"_s, 1), target);
        m_f.m_comm->QueueUpload(Entry(u"R.SEQ"_s, 1), m_f.PcPath(u"R.SEQ"_s));
        QVERIFY(m_f.m_comm->StartUpload());
        QVERIFY(m_f.WaitBatchEnd());
        QCOMPARE(m_f.m_host.MessageTexts(), QStringList{u"File not open : \""_s + target + u'"'});
        QCOMPARE(m_f.PcFiles(), QStringList());
        QVERIFY(m_f.ChannelAnswers());
    }

    void readOnlyFolder()
    {
        const QString folder = m_f.m_dir.filePath(u"ro"_s);
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const auto restore = qScopeGuard([&] {
            QFile::setPermissions(folder,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        });
        QString target = QDir::toNativeSeparators(folder + u"/RO.SEQ"_s);
        if (::access(QFile::encodeName(folder).constData(), W_OK) == 0) {
            // Rights that write anywhere (root): a "folder" that is a file stops them too.
            QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                      QFileDevice::ExeOwner));
            QVERIFY(m_f.WritePc(u"ro/plain"_s, "not a folder"));
            target = QDir::toNativeSeparators(folder + u"/plain/RO.SEQ"_s);
        }
        m_f.m_comm->SetUploadFolder(kFolder);
        QVERIFY(m_f.m_sim.AddFile(kFolder + u"/RO.SEQ"_s, "data"));
        m_f.m_comm->QueueUpload(Entry(u"RO.SEQ"_s, 4), target);
        QVERIFY(m_f.m_comm->StartUpload());
        QVERIFY(m_f.WaitBatchEnd());
        const QStringList texts = m_f.m_host.MessageTexts();
        QCOMPARE(texts.size(), 1);
        QVERIFY2(NamesReason(texts.first(), u"File not open"_s, target), qPrintable(texts.first()));
        QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        left.removeAll(u"plain"_s);
        QCOMPARE(left, QStringList());
        QVERIFY(m_f.ChannelAnswers());
    }

    void linkAtTarget_data()
    {
        QTest::addColumn<bool>("dangling");
        QTest::newRow("a link to a file") << false;
        QTest::newRow("a link to nothing") << true;
    }

    // A link at the target (the window's save, get, sync) is replaced by the
    // file, never written through: what it names stays as it was.
    void linkAtTarget()
    {
#ifdef Q_OS_WIN
        QSKIP("links as this system makes them are Unix's here");
#else
        QFETCH(bool, dangling);
        const QString outside = m_f.m_dir.filePath(u"outside"_s);
        QVERIFY(QDir().mkpath(outside));
        const auto tidy = qScopeGuard([&] { QDir(outside).removeRecursively(); });
        if (!dangling)
            QVERIFY(m_f.WritePc(u"outside/VICTIM.TXT"_s, "victim"));
        QVERIFY(QFile::link(outside + u"/VICTIM.TXT"_s, m_f.PcPath(u"L.SEQ"_s)));
        Queue({{u"L.SEQ"_s, "generator"}});
        QVERIFY(m_f.m_comm->StartUpload());
        QVERIFY(m_f.WaitBatchEnd());
        QCOMPARE(m_f.m_host.MessageTexts(), QStringList());
        QVERIFY(!QFileInfo(m_f.PcPath(u"L.SEQ"_s)).isSymLink());
        QCOMPARE(m_f.ReadPc(u"L.SEQ"_s), QByteArray("generator"));
        QCOMPARE(m_f.PcFiles(), QStringList{u"L.SEQ"_s});
        QCOMPARE(QDir(outside).entryList(QDir::Files),
                 dangling ? QStringList() : QStringList{u"VICTIM.TXT"_s});
        if (!dangling)
            QCOMPARE(m_f.ReadPc(u"outside/VICTIM.TXT"_s), QByteArray("victim"));
#endif
    }

    // A reply that arrives a byte at a time is still one block of the right size.
    void oneByteAtATime()
    {
        const QByteArray data = Payload(5, 40);
        m_f.m_comm->SetUploadFolder(kFolder);
        m_f.m_comm->QueueUpload(Entry(u"TRICKLE.SEQ"_s, data.size()), m_f.PcPath(u"TRICKLE.SEQ"_s));
        {
            CTricklingPeer peer("#240" + data);
            m_f.m_comm->SetPort(peer.Port());
            QVERIFY(m_f.m_comm->StartUpload());
            QVERIFY(m_f.WaitBatchEnd());
            m_f.m_comm->Disconnect();
        }
        QCOMPARE(m_f.m_host.MessageTexts(), QStringList());
        QCOMPARE(m_f.ReadPc(u"TRICKLE.SEQ"_s), data);
        QCOMPARE(m_f.PcFiles(), QStringList{u"TRICKLE.SEQ"_s});
    }

    // A PC disk that fills up mid-file: the message, and the old file as it was.
    void diskFull()
    {
#ifdef Q_OS_LINUX
        QVERIFY(m_f.WritePc(u"FULL.SEQ"_s, "the user's file"));
        Queue({{ u"FULL.SEQ"_s, Payload(5, 200000) }});
        rlimit old{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
        rlimit small = old;
        small.rlim_cur = 50000;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        const auto restore = qScopeGuard([&] {
            ::setrlimit(RLIMIT_FSIZE, &old);
            std::signal(SIGXFSZ, previous);
        });
        QVERIFY(m_f.m_comm->StartUpload());
        QVERIFY(m_f.WaitBatchEnd());
        const QStringList texts = m_f.m_host.MessageTexts();
        QCOMPARE(texts.size(), 1);
        QVERIFY2(NamesReason(texts.first(), u"Can not write to the file."_s, m_f.PcPath(u"FULL.SEQ"_s)),
                 qPrintable(texts.first()));
        QCOMPARE(m_f.ReadPc(u"FULL.SEQ"_s), QByteArray("the user's file"));
        QCOMPARE(m_f.PcFiles(), QStringList{u"FULL.SEQ"_s});
        QVERIFY(m_f.ChannelAnswers());
#else
        QSKIP("needs a file size limit to stand in for a full disk");
#endif
    }

    // A PC name longer than the file system takes fails with the system's
    // reason, wherever the system refuses it (at the open or at the rename).
    void pcNameTooLong()
    {
        const QString target = m_f.PcPath(QString(300, u'L') + u".SEQ"_s);
        QVERIFY(m_f.m_sim.AddFile(kFolder + u"/LONG.SEQ"_s, "data"));
        m_f.m_comm->SetUploadFolder(kFolder);
        m_f.m_comm->QueueUpload(Entry(u"LONG.SEQ"_s, 4), target);
        QVERIFY(m_f.m_comm->StartUpload());
        QVERIFY(m_f.WaitBatchEnd());
        const QStringList texts = m_f.m_host.MessageTexts();
        QCOMPARE(texts.size(), 1);
        QVERIFY2(NamesReason(texts.first(), u"File not open"_s, target) ||
                     NamesReason(texts.first(), u"Can not write to the file."_s, target),
                 qPrintable(texts.first()));
        QCOMPARE(m_f.PcFiles(), QStringList());
        QVERIFY(m_f.ChannelAnswers());
    }

    // A file replaced on the generator while it is fetched again and again:
    // each copy is the old file or the new one, each as large as the listing
    // before it said, or a failure that leaves nothing; never a mix.
    void fetchDuringReplace()
    {
        const QByteArray before(1000, 'o');
        const QByteArray after(200000, 'n');
        const QString path = kFolder + u"/SWAP.BIN"_s;
        QVERIFY(m_f.m_sim.AddFile(path, before));
        const quint16 port = m_f.m_sim.Port();
        std::atomic<bool> stop{false};
        // Another client, on a socket of its own (the link's reply line is process-wide).
        std::thread replacer([&] {
            QTcpSocket other;
            other.connectToHost(QHostAddress::LocalHost, port);
            for (int i = 0; !stop && other.waitForConnected(5000); ++i) {
                const QByteArray& data = i % 2 ? before : after;
                other.write("mmem:data \"" + path.toLatin1() + "\"," +
                            CVQComm::BlockHeader(quint64(data.size())) + data + "\r\n*idn?\r\n");
                // The identity answer says that the replace before it is done.
                while (!other.canReadLine() && other.waitForReadyRead(5000)) {
                }
                if (!other.readLine().endsWith('\n'))
                    return;
            }
        });
        const auto join = qScopeGuard([&] {
            stop = true;
            replacer.join();
        });

        m_f.m_comm->SetUploadPacing(false);
        int copies = 0;
        for (int round = 0; round < 60; ++round) {
            qint64 listed = -1;
            CFileInfo entry;
            for (int more = m_f.m_comm->ReadCatalog(kFolder, entry); more;
                 more = m_f.m_comm->NextCatalogEntry(entry)) {
                if (entry.GetName() == u"SWAP.BIN"_s)
                    listed = entry.GetSize();
            }
            m_f.m_comm->EndCatalog();
            QVERIFY(listed == before.size() || listed == after.size());
            m_f.ClearPc();
            m_f.m_host.ClearMessages();
            m_f.m_comm->SetUploadFolder(kFolder);
            m_f.m_comm->QueueUpload(Entry(u"SWAP.BIN"_s, listed), m_f.PcPath(u"SWAP.BIN"_s));
            QVERIFY(m_f.m_comm->StartUpload());
            QVERIFY(m_f.WaitBatchEnd());
            if (m_f.PcFiles().isEmpty()) {
                QCOMPARE(m_f.m_host.MessageTexts().size(), 1);
                continue;
            }
            QCOMPARE(m_f.PcFiles(), QStringList{u"SWAP.BIN"_s});
            const QByteArray copy = m_f.ReadPc(u"SWAP.BIN"_s);
            QVERIFY2(copy == (listed == before.size() ? before : after), qPrintable(QString::number(round)));
            QCOMPARE(m_f.m_host.MessageTexts(), QStringList());
            ++copies;
        }
        QVERIFY(copies > 0);
    }

    // Cancel on the free-space question ends the batch cleanly.
    void insufficientSpaceCancel()
    {
        QVERIFY(m_f.m_sim.AddFile(kFolder + u"/BIG.SEQ"_s, "small on the generator"));
        m_f.m_comm->SetUploadFolder(kFolder);
        m_f.m_comm->QueueUpload(Entry(u"BIG.SEQ"_s, qint64(1) << 62), m_f.PcPath(u"BIG.SEQ"_s));
        m_f.m_host.QueueAnswer(IDCANCEL);
        QVERIFY(m_f.m_comm->StartUpload());
        QVERIFY(m_f.WaitBatchEnd());
        QCOMPARE(m_f.m_host.MessageTexts(), QStringList{u"Insufficient disk free space in PC, continue ?"_s});
        QCOMPARE(m_f.m_host.Messages().value(0).style, MB_OKCANCEL | MB_ICONQUESTION);
        QCOMPARE(m_f.m_host.ProgressRecord().ends, QList<int>{0});
        QCOMPARE(m_f.PcFiles(), QStringList());
        QVERIFY(m_f.ChannelAnswers());
    }

    void cancel_data()
    {
        QTest::addColumn<int>("when");
        for (const CancelPoint& point : kCancelPoints)
            QTest::newRow(point.row) << int(point.when);
    }

    // Cancel stops at once, says nothing, leaves existing targets as they
    // were and ends the batch.
    void cancel()
    {
        QFETCH(int, when);
        m_f.Reset(1.0); // real pacing: the worker must leave its waits on Cancel
        const QByteArray first = Payload(5, 300000);
        const QByteArray second = Payload(5, 1000);
        QVERIFY(m_f.WritePc(u"C1.SEQ"_s, "old one"));
        QVERIFY(m_f.WritePc(u"C2.SEQ"_s, "old two"));
        Queue({{u"C1.SEQ"_s, first}, {u"C2.SEQ"_s, second}});

        CVQComm* comm = m_f.m_comm.get();
        if (when == LastChunk) {
            const quint64 size = quint64(first.size());
            m_f.m_host.SetOnUpdate([comm, size](quint64 done) {
                if (done == size)
                    comm->CancelTransfer();
            });
        }
        QVERIFY(m_f.m_comm->StartUpload());
        QElapsedTimer timer;
        if (when == AtZero) {
            comm->CancelTransfer();
            timer.start();
        } else if (when == MidFile) {
            QTRY_VERIFY_WITH_TIMEOUT(m_f.m_host.ProgressRecord().lastDone >= 65536, 10000);
            comm->CancelTransfer();
            timer.start();
            QTRY_VERIFY_WITH_TIMEOUT(!comm->IsTransferRunning(), 1000);
            QVERIFY2(timer.elapsed() < 250, "the worker stops within 200 ms");
        } else if (when == BetweenFiles) {
            QTRY_VERIFY_WITH_TIMEOUT(m_f.m_host.ProgressRecord().completes == 1, 10000);
            comm->CancelTransfer();
        }
        QVERIFY(m_f.WaitBatchEnd());
        QCOMPARE(m_f.m_host.MessageTexts(), QStringList());
        QCOMPARE(m_f.ReadPc(u"C1.SEQ"_s), when == BetweenFiles ? first : QByteArray("old one"));
        QCOMPARE(m_f.ReadPc(u"C2.SEQ"_s), QByteArray("old two"));
        QCOMPARE(m_f.PcFiles(), (QStringList{u"C1.SEQ"_s, u"C2.SEQ"_s}));
        QCOMPARE(m_f.m_host.ProgressRecord().ends, QList<int>{0});
        QVERIFY(m_f.ChannelAnswers());
    }

    // The queue is empty after a batch: a new batch starts from nothing.
    void queueEmptiedAfterBatch()
    {
        Queue({{u"Q.SEQ"_s, QByteArray("q")}});
        QVERIFY(m_f.m_comm->StartUpload());
        QVERIFY(m_f.WaitBatchEnd());
        QVERIFY(m_f.m_comm->StartUpload());
        QVERIFY(m_f.WaitBatchEnd());
        QCOMPARE(m_f.m_host.ProgressRecord().files.size(), 1);
        QCOMPARE(m_f.m_host.ProgressRecord().ends, (QList<int>{0, 0}));
    }
};

QTEST_GUILESS_MAIN(TestUpload)
#include "tst_upload.moc"
