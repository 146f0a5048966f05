#include "tests/support/linkfixture.h"
#include "tests/support/nodescriptors.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>

#include <atomic>
#include <ctime>
#include <future>
#include <thread>

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

class TestCmdChannel : public QObject
{
    Q_OBJECT

private:
    CLinkFixture m_link;
    CSimServer& m_sim = m_link.m_sim;
    CScriptedHost& m_host = m_link.m_host;
    std::unique_ptr<CVQComm>& m_comm = m_link.m_comm;

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_link.Start(), qPrintable(m_sim.ErrorString())); }

    void init() { QVERIFY(m_link.Reset()); }

    void cleanup() { QVERIFY(m_link.Finish()); }

    void replyFraming_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("reply");
        QTest::newRow("CR LF") << QByteArray("abc\r\n") << u"abc"_s;
        QTest::newRow("CR inside") << QByteArray("a\rb\n") << u"ab"_s;
        QTest::newRow("NUL dropped") << QByteArray("a\0b\r\n", 5) << u"ab"_s;
        QTest::newRow("lone LF") << QByteArray("\n") << QString();
        QTest::newRow("long line") << QByteArray(100000, 'x') + '\n' << QString(100000, u'x');
    }

    // Each reply is one line; the bytes after its LF belong to the next reply.
    void replyFraming()
    {
        QFETCH(QByteArray, wire);
        QFETCH(QString, reply);
        m_sim.SetScriptedReply("*idn?", wire + "second\n", true);
        QVERIFY(m_comm->SendCommand(u"*idn?"_s));
        QCOMPARE(m_comm->ReadReply(), reply);
        QCOMPARE(g_replyLine, reply);
        QCOMPARE(m_host.Messages().size(), 0);
        QCOMPARE(m_comm->ReadReply(), u"second"_s);
    }

    void commandBytesOnTheWire()
    {
        QVERIFY(m_comm->SendCommand(u"mmem:cdir \"/F0:/A\""_s));
        QVERIFY(m_sim.WaitForReceived(20));
        QCOMPARE(m_sim.AllReceived(), QByteArray("mmem:cdir \"/F0:/A\"\r\n"));
        QVERIFY(m_comm->SendRaw("raw"));
        QVERIFY(m_sim.WaitForReceived(23));
        QCOMPARE(m_sim.AllReceived(), QByteArray("mmem:cdir \"/F0:/A\"\r\nraw"));
    }

    void identityQuery_data()
    {
        QTest::addColumn<QByteArray>("scripted");
        QTest::addColumn<int>("result");
        QTest::newRow("emulator's own answer") << QByteArray() << 1;
        QTest::newRow("any line") << QByteArray("x\n") << 1;
        QTest::newRow("empty line") << QByteArray("\r\n") << 0;
    }

    void identityQuery()
    {
        QFETCH(QByteArray, scripted);
        QFETCH(int, result);
        if (!scripted.isEmpty())
            m_sim.SetScriptedReply("*idn?", scripted, true);
        QCOMPARE(m_comm->QueryIdentity(), result);
        QCOMPARE(m_host.Messages().size(), 0);
        QVERIFY(m_sim.WaitForReceived(7));
        QCOMPARE(m_sim.AllReceived(), QByteArray("*idn?\r\n"));
    }

    void disconnectedSendsNothing()
    {
        QVERIFY(m_comm->Disconnect());
        QVERIFY(m_comm->Disconnect());
        QCOMPARE(m_comm->IsConnected(), 0);
        QCOMPARE(m_comm->SendCommand(u"*idn?"_s), 0);
        QVERIFY(m_comm->ReadReply().isEmpty());
        QCOMPARE(m_comm->QueryIdentity(), 0);
        QCOMPARE(m_host.Messages().size(), 0);
        QVERIFY(!m_sim.WaitForReceived(1, 200));
    }

    void connectWhenConnectedKeepsTheConnection()
    {
        const int before = m_sim.ConnectionCount();
        QCOMPARE(m_comm->Connect(), 1);
        QCOMPARE(m_comm->QueryIdentity(), 1);
        QCOMPARE(m_sim.ConnectionCount(), before);
    }

    // A failed reply is never read on: the next command goes on a fresh
    // connection, or, when that cannot be made, fails as a connect does.
    void failedReplyReopens_data()
    {
        QTest::addColumn<bool>("reachable");
        QTest::newRow("fresh connection") << true;
        QTest::newRow("generator gone") << false;
    }
    void failedReplyReopens()
    {
        QFETCH(bool, reachable);
        CSimFaults faults;
        faults.m_bCloseMidReply = true;
        m_sim.SetFaults(faults);
        QVERIFY(m_comm->SendCommand(u"*idn?"_s));
        QVERIFY(m_comm->ReadReply().isEmpty());
        QCOMPARE(m_host.MessageTexts(), QStringList{u"Connection closed by foreign host."_s});
        QCOMPARE(m_host.Messages().first().style, MB_OK | MB_ICONSTOP);
        QCOMPARE(m_host.BeepCount() > 0, true);
        QCOMPARE(m_comm->IsConnected(), 1);

        m_host.ClearMessages();
        faults.m_bCloseMidReply = false;
        faults.m_bRefuseConnections = !reachable;
        m_sim.SetFaults(faults);
        const int connections = m_sim.ConnectionCount();
        const int cleared = m_host.ClearViewsCount();
        QCOMPARE(m_comm->QueryIdentity(), reachable ? 1 : 0);
        QCOMPARE(m_comm->IsConnected(), reachable ? 1 : 0);
        QCOMPARE(m_sim.ConnectionCount(), connections + (reachable ? 1 : 0));
        const QStringList expected =
            reachable ? QStringList() : QStringList{u"Cannot connect to \"127.0.0.1\""_s};
        QCOMPARE(m_host.MessageTexts(), expected);
        QCOMPARE(m_host.ClearViewsCount(), cleared + (reachable ? 0 : 1));
    }

    // An answer that comes after the watchdog gave up on it is never taken
    // as the answer to the next query.
    void lateReplyIsNeverTakenForTheNext()
    {
        CSimFaults faults;
        faults.m_nReplyDelayMs = REPLY_WATCHDOG_MS + 500;
        m_sim.SetFaults(faults);
        QVERIFY(m_comm->SendCommand(u"*idn?"_s));
        QVERIFY(m_comm->ReadReply().isEmpty());
        QCOMPARE(m_host.MessageTexts(), QStringList{u"Socket error. No answer came within 2 s."_s});
        m_sim.SetFaults(CSimFaults());
        QTest::qWait(700); // the late identity is on its way by now
        m_host.ClearMessages();
        QVERIFY(m_comm->SendCommand(u"mmem:cat?"_s));
        const QString catalog = m_comm->ReadReply();
        QVERIFY2(catalog.contains(u"\"USER/\""_s), qPrintable(catalog));
        QCOMPARE(m_comm->QueryIdentity(), 1);
        QCOMPARE(g_replyLine, u"VELTRANE,VQ820,0,5.60"_s);
        QVERIFY(m_host.MessageTexts().isEmpty());
    }

    // A line kept alive byte by byte, or one that never ends, fails at the
    // line's bounds as a broken connection does.
    void replyLineBounds_data()
    {
        QTest::addColumn<int>("byteEveryMs");
        QTest::addColumn<int>("chunk");
        QTest::addColumn<qint64>("baseMs");
        QTest::addColumn<qint64>("ceilingMs");
        QTest::addColumn<qint64>("maxBytes");
        QTest::addColumn<int>("cutAfterMs"); // at the earliest
        QTest::addColumn<QString>("reason"); // the message's second sentence, a pattern
        const QString slow = u"The reply came too slowly: \\d+ bytes in [\\d.]+ s\\."_s;
        QTest::newRow("trickle past the time bound")
            << 200 << 1 << qint64(1000) << REPLY_LINE_CEILING_MS << qint64(4 * 1024 * 1024) << 900 << slow;
        QTest::newRow("stream past the length bound")
            << 1 << 65536 << qint64(1000) << REPLY_LINE_CEILING_MS << qint64(4 * 1024 * 1024) << 0
            << u"The reply was longer than 4 MiB, more than any reply may be\\."_s;
        // The real bounds, 40 times faster: 60 KiB/s, just under the rate that
        // grows the bound, would keep the line alive for 8 s (320 s in real
        // time); the ceiling ends it at 1.5 s (60 s).
        constexpr qint64 faster = 40;
        QTest::newRow("60 KiB/s past the ceiling")
            << 100 << 6 * 1024 << REPLY_LINE_BASE_MS / faster << REPLY_LINE_CEILING_MS / faster
            << REPLY_LINE_MAX_BYTES << int(REPLY_LINE_CEILING_MS / faster - 100) << slow;
    }
    void replyLineBounds()
    {
        QFETCH(int, byteEveryMs);
        QFETCH(int, chunk);
        QFETCH(qint64, baseMs);
        QFETCH(qint64, ceilingMs);
        QFETCH(qint64, maxBytes);
        QFETCH(int, cutAfterMs);
        std::promise<quint16> listening;
        std::atomic<bool> stop{false};
        std::thread peer([&listening, &stop, byteEveryMs, chunk] {
            QTcpServer server;
            server.listen(QHostAddress::LocalHost, 0);
            listening.set_value(server.serverPort());
            if (!server.waitForNewConnection(5000))
                return;
            std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
            const QByteArray bytes(chunk, 'x');
            while (!stop && socket->state() == QAbstractSocket::ConnectedState) {
                socket->write(bytes);
                socket->waitForBytesWritten(100);
                std::this_thread::sleep_for(std::chrono::milliseconds(byteEveryMs));
            }
        });
        const quint16 port = listening.get_future().get();
        CVQComm comm(&m_host);
        comm.SetHost(u"127.0.0.1"_s);
        comm.SetPort(port);
        comm.SetReplyLineLimits(baseMs, ceilingMs, maxBytes);
        QCOMPARE(comm.Connect(), 1);
        QVERIFY(comm.SendCommand(u"*idn?"_s));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(comm.ReadReply().isEmpty());
        const qint64 elapsed = timer.elapsed();
        stop = true;
        peer.join();
        QVERIFY2(elapsed >= cutAfterMs && elapsed < 4000, qPrintable(QString::number(elapsed)));
        QFETCH(QString, reason);
        const QStringList texts = m_host.MessageTexts();
        QCOMPARE(texts.size(), 1);
        const QRegularExpression expected(u"^Connection aborted\\. \\(Timeout, etc\\.\\.\\.\\) "_s + reason +
                                          u'$');
        QVERIFY2(expected.match(texts.first()).hasMatch(), qPrintable(texts.first()));
    }

    // A reply that never ends fails after the watchdog, not never.
    void neverEndingReplyFailsAfterWatchdog()
    {
        CSimFaults faults;
        faults.m_bNeverEndReply = true;
        m_sim.SetFaults(faults);
        QVERIFY(m_comm->SendCommand(u"*idn?"_s));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(m_comm->ReadReply().isEmpty());
        QVERIFY(timer.elapsed() >= REPLY_WATCHDOG_MS - 100);
        QVERIFY(timer.elapsed() < REPLY_WATCHDOG_MS + 3000);
        QCOMPARE(m_host.MessageTexts(),
                 QStringList{u"Socket error. The reply stopped for 2 s before its end."_s});
        QCOMPARE(m_comm->IsConnected(), 1);
    }

    // Bytes that keep trickling in keep the wait alive: the watchdog counts
    // silence, not the length of the reply.
    void slowReplyIsNotCutOff()
    {
        CSimFaults faults;
        faults.m_nReplyDelayMs = REPLY_WATCHDOG_MS / 2;
        m_sim.SetFaults(faults);
        QCOMPARE(m_comm->QueryIdentity(), 1);
        QCOMPARE(m_host.Messages().size(), 0);
    }

    void abortBlockingCallFromAnotherThread()
    {
        CSimFaults faults;
        faults.m_bNeverEndReply = true;
        m_sim.SetFaults(faults);
        QVERIFY(m_comm->SendCommand(u"*idn?"_s));
        CVQComm* comm = m_comm.get();
        std::thread aborter([comm] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            comm->AbortBlockingCall();
        });
        QElapsedTimer timer;
        timer.start();
        QVERIFY(m_comm->ReadReply().isEmpty());
        aborter.join();
        QVERIFY(timer.elapsed() < REPLY_WATCHDOG_MS - 500);
        QCOMPARE(m_host.MessageTexts(), QStringList{u"Socket error."_s});
        QCOMPARE(m_comm->IsConnected(), 1);
    }

    void abortOutsideAWaitDoesNothing()
    {
        m_comm->AbortBlockingCall();
        QCOMPARE(m_comm->QueryIdentity(), 1);
        QCOMPARE(m_host.Messages().size(), 0);
    }

    void connectRefused()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 closedPort = probe.serverPort();
        probe.close();

        CVQComm comm(&m_host);
        comm.SetHost(u"127.0.0.1"_s);
        comm.SetPort(closedPort);
        const int cleared = m_host.ClearViewsCount();
        QCOMPARE(comm.Connect(), 0);
        QCOMPARE(comm.IsConnected(), 0);
        QCOMPARE(m_host.MessageTexts(), QStringList{u"Cannot connect to \"127.0.0.1\""_s});
        QCOMPARE(m_host.ClearViewsCount(), cleared + 1);
        QCOMPARE(m_host.WaitCursorDepth(), 0);
    }

    // No socket to be had: the channel says so, not a connect failure.
    void connectWithoutSocket()
    {
#ifdef Q_OS_UNIX
        CVQComm comm(&m_host);
        comm.SetHost(u"127.0.0.1"_s);
        comm.SetPort(m_sim.Port());
        const int cleared = m_host.ClearViewsCount();
        CNoDescriptors none;
        QVERIFY(none.IsSet());
        QCOMPARE(comm.Connect(), 0);
        none.Restore();
        QCOMPARE(m_host.MessageTexts(), QStringList{u"Cannot create Socket."_s});
        QCOMPARE(m_host.ClearViewsCount(), cleared + 1);
        QCOMPARE(comm.Connect(), 1);
#else
        QSKIP("needs a descriptor limit");
#endif
    }

    void connectToBadHostName()
    {
        CVQComm comm(&m_host);
        comm.SetHost(u"no such host.invalid"_s);
        comm.SetPort(m_sim.Port());
        QCOMPARE(comm.Connect(), 0);
        QCOMPARE(m_host.MessageTexts(), QStringList{u"Cannot connect to \"no such host.invalid\""_s});
    }

    // A handshake that takes a second (the accept queue is full, so the
    // first SYN is dropped and resent) still connects; one that never
    // completes gives up after its bound, sleeping meanwhile; Cancel from
    // another thread ends the wait at once.
    void slowHandshake_data()
    {
        QTest::addColumn<int>("acceptAfterMs"); // -1: never
        QTest::addColumn<int>("abortAfterMs");  // -1: never
        QTest::addColumn<int>("result");
        QTest::newRow("takes a second") << 300 << -1 << 1;
        QTest::newRow("never completes") << -1 << -1 << 0;
        QTest::newRow("cancelled") << -1 << 300 << 0;
    }
    void slowHandshake()
    {
#ifdef Q_OS_LINUX
        QFETCH(int, acceptAfterMs);
        QFETCH(int, abortAfterMs);
        QFETCH(int, result);
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        QVERIFY(fd >= 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        QCOMPARE(::listen(fd, 0), 0);
        socklen_t len = sizeof addr;
        QCOMPARE(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
        const quint16 port = ntohs(addr.sin_port);
        // Handshakes completed but never accepted fill the queue.
        std::vector<int> fillers;
        for (int i = 0; i < 3; ++i) {
            const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(filler, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
            fillers.push_back(filler);
        }
        QTest::qWait(100);

        CVQComm comm(&m_host);
        comm.SetHost(u"127.0.0.1"_s);
        comm.SetPort(port);
        std::atomic<bool> done{false};
        std::thread helper([&] {
            const int after = acceptAfterMs >= 0 ? acceptAfterMs : abortAfterMs;
            if (after < 0)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(after));
            if (abortAfterMs >= 0) {
                comm.AbortBlockingCall();
                return;
            }
            // Empty the queue for as long as the connect waits.
            while (!done) {
                pollfd entry{fd, POLLIN, 0};
                if (::poll(&entry, 1, 50) > 0)
                    ::close(::accept(fd, nullptr, nullptr));
            }
        });
        QElapsedTimer timer;
        timer.start();
        const std::clock_t cpu = std::clock();
        QCOMPARE(comm.Connect(), result);
        const double cpuSeconds = double(std::clock() - cpu) / CLOCKS_PER_SEC;
        const qint64 elapsed = timer.elapsed();
        done = true;
        helper.join();
        for (const int filler : fillers)
            ::close(filler);
        ::close(fd);

        QVERIFY2(cpuSeconds < 0.5, qPrintable(QString::number(cpuSeconds)));
        if (result == 1) {
            QVERIFY(m_host.MessageTexts().isEmpty());
            QVERIFY(elapsed < CONNECT_TIMEOUT_MS);
        } else {
            QCOMPARE(m_host.MessageTexts(), QStringList{u"Cannot connect to \"127.0.0.1\""_s});
            if (abortAfterMs >= 0)
                QVERIFY2(elapsed < abortAfterMs + 400, qPrintable(QString::number(elapsed)));
            else
                QVERIFY(elapsed >= CONNECT_TIMEOUT_MS - 100 && elapsed < CONNECT_TIMEOUT_MS + 1000);
        }
#else
        QSKIP("needs a listener with a full accept queue");
#endif
    }
};

QTEST_GUILESS_MAIN(TestCmdChannel)
#include "tst_cmdchannel.moc"
