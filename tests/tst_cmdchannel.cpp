#include "linkfixture.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTest>

#include <thread>

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

class TestCmdChannel : public QObject
{
    Q_OBJECT

private:
    CLinkFixture m_link;
    vqsim::SimServer& m_sim = m_link.m_sim;
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

    // A reply cut off by the peer fails with the peer's text; the link stays
    // marked connected until a send fails, and then goes quiet.
    void peerClosesMidReply()
    {
        vqsim::SimFaults faults;
        faults.closeMidReply = true;
        m_sim.SetFaults(faults);
        QVERIFY(m_comm->SendCommand(u"*idn?"_s));
        QVERIFY(m_comm->ReadReply().isEmpty());
        QCOMPARE(m_host.MessageTexts(), QStringList{u"Connection closed by foreign host."_s});
        QCOMPARE(m_host.Messages().first().style, MB_OK | MB_ICONSTOP);
        QCOMPARE(m_host.BeepCount() > 0, true);
        QCOMPARE(m_comm->IsConnected(), 1);

        m_host.ClearMessages();
        QCOMPARE(m_comm->SendCommand(u"*idn?"_s), 0);
        QCOMPARE(m_host.Messages().size(), 1);
        QCOMPARE(m_comm->IsConnected(), 0);
        QCOMPARE(m_comm->SendCommand(u"*idn?"_s), 0);
        QCOMPARE(m_host.Messages().size(), 1);
    }

    // A reply that never ends fails after the watchdog, not never.
    void neverEndingReplyFailsAfterWatchdog()
    {
        vqsim::SimFaults faults;
        faults.neverEndReply = true;
        m_sim.SetFaults(faults);
        QVERIFY(m_comm->SendCommand(u"*idn?"_s));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(m_comm->ReadReply().isEmpty());
        QVERIFY(timer.elapsed() >= REPLY_WATCHDOG_MS - 100);
        QVERIFY(timer.elapsed() < REPLY_WATCHDOG_MS + 3000);
        QCOMPARE(m_host.MessageTexts(), QStringList{u"Socket error."_s});
        QCOMPARE(m_comm->IsConnected(), 1);
    }

    // Bytes that keep trickling in keep the wait alive: the watchdog counts
    // silence, not the length of the reply.
    void slowReplyIsNotCutOff()
    {
        vqsim::SimFaults faults;
        faults.replyDelayMs = REPLY_WATCHDOG_MS / 2;
        m_sim.SetFaults(faults);
        QCOMPARE(m_comm->QueryIdentity(), 1);
        QCOMPARE(m_host.Messages().size(), 0);
    }

    void abortBlockingCallFromAnotherThread()
    {
        vqsim::SimFaults faults;
        faults.neverEndReply = true;
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

    void connectToBadHostName()
    {
        CVQComm comm(&m_host);
        comm.SetHost(u"no such host.invalid"_s);
        comm.SetPort(m_sim.Port());
        QCOMPARE(comm.Connect(), 0);
        QCOMPARE(m_host.MessageTexts(), QStringList{u"Cannot connect to \"no such host.invalid\""_s});
    }

    // A peer that never completes the handshake: the connect gives up after
    // its bound instead of the system's minutes.
    void connectGivesUpWithinBound()
    {
#ifdef Q_OS_LINUX
        // A listener whose accept queue is full drops further handshakes.
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
        std::vector<std::unique_ptr<QTcpSocket>> fillers;
        for (int i = 0; i < 4; ++i) {
            fillers.push_back(std::make_unique<QTcpSocket>());
            fillers.back()->connectToHost(QHostAddress::LocalHost, port);
            fillers.back()->waitForConnected(300);
        }

        CVQComm comm(&m_host);
        comm.SetHost(u"127.0.0.1"_s);
        comm.SetPort(port);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(comm.Connect(), 0);
        QVERIFY(timer.elapsed() < CONNECT_TIMEOUT_MS + 2000);
        QCOMPARE(m_host.MessageTexts(), QStringList{u"Cannot connect to \"127.0.0.1\""_s});
        fillers.clear();
        ::close(fd);
#else
        QSKIP("needs a listener with a full accept queue");
#endif
    }
};

QTEST_GUILESS_MAIN(TestCmdChannel)
#include "tst_cmdchannel.moc"
