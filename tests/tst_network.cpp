#include "appsettings.h"
#include "ipaddressedit.h"
#include "mainframe.h"
#include "modalanswerer.h"
#include "scriptedhost.h"
#include "setethernet.h"
#include "simserver.h"
#include "vqcomm.h"

#include <QLineEdit>
#include <QScreen>
#include <QSplitter>
#include <QTcpServer>
#include <QtTest>

#include <array>
#include <optional>

using namespace Qt::StringLiterals;

using Fields = QList<int>;

namespace {

// A loopback port nobody listens on.
quint16 ClosedPort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

} // namespace

class TestNetwork final : public QObject
{
    Q_OBJECT

private:
    vqsim::SimServer m_sim;

private Q_SLOTS:
    void initTestCase()
    {
        vqsim::SimOptions options;
        options.port = 0;
        QVERIFY2(m_sim.Start(options), qPrintable(m_sim.ErrorString()));
    }

    void init() { m_sim.ClearTranscripts(); }

    void parseAddress_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<Fields>("fields"); // empty: not an address

        QTest::newRow("default") << u"192.168.0.1"_s << Fields{192, 168, 0, 1};
        QTest::newRow("low eight bits") << u"256.257.511.1000"_s << Fields{0, 1, 255, 232};
        QTest::newRow("huge number") << u"1.2.3.4294967297"_s << Fields{1, 2, 3, 1};
        QTest::newRow("three numbers") << u"10.0.0"_s << Fields{};
        QTest::newRow("five numbers") << u"1.2.3.4.5"_s << Fields{};
        QTest::newRow("host name") << u"generator.lab"_s << Fields{};
        QTest::newRow("empty part") << u"1..2.3"_s << Fields{};
        QTest::newRow("blank around") << u" 1.2.3.4"_s << Fields{};
    }

    void parseAddress()
    {
        QFETCH(QString, host);
        QFETCH(Fields, fields);
        const auto parsed = CIpAddressEdit::ParseAddress(host);
        QCOMPARE(parsed.has_value(), !fields.isEmpty());
        if (parsed)
            QCOMPARE(Fields(parsed->begin(), parsed->end()), fields);
    }

    void typing_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("text");

        QTest::newRow("dotted") << u"192.168.0.1"_s << u"192.168.0.1"_s;
        QTest::newRow("nothing reads 0") << QString() << u"0.0.0.0"_s;
        QTest::newRow("dot in an empty field ignored") << u"10..5"_s << u"10.5.0.0"_s;
        QTest::newRow("third digit moves on") << u"1234"_s << u"123.4.0.0"_s;
        QTest::newRow("above 255 refused") << u"256"_s << u"25.0.0.0"_s;
        QTest::newRow("no leading zero") << u"01.7"_s << u"0.7.0.0"_s;
        QTest::newRow("dot in last field stays") << u"1.2.3.4.5"_s << u"1.2.3.45"_s;
    }

    void typing()
    {
        QFETCH(QString, keys);
        QFETCH(QString, text);

        QWidget window;
        auto* edit = new CIpAddressEdit(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        edit->setFocus();
        QCOMPARE(QApplication::focusWidget(), edit->FieldEdit(0));
        for (const QChar c : keys)
            QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
        QCOMPARE(edit->Text(), text);
        QCOMPARE(edit->IsBlank(), keys.isEmpty() ? 1 : 0);
    }

    // OK: the link drops its connection, takes the address shown and
    // connects to it; the dialog closes with OK even when that fails.
    void dialogOk_data()
    {
        QTest::addColumn<QString>("initialHost");
        QTest::addColumn<bool>("useSim");
        QTest::addColumn<Fields>("typed"); // empty: leave the fields as opened, {-1}: clear them
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QStringList>("messages");

        QTest::newRow("connects to the chosen address")
            << u"10.9.9.9"_s << true << Fields{127, 0, 0, 1} << u"127.0.0.1"_s << true << QStringList();
        QTest::newRow("opened with low eight bits")
            << u"383.0.256.1"_s << true << Fields{} << u"127.0.0.1"_s << true << QStringList();
        QTest::newRow("empty address keeps the host")
            << u"127.0.0.1"_s << true << Fields{-1} << u"127.0.0.1"_s << true << QStringList();
        QTest::newRow("connect failure") << u"10.9.9.9"_s << false << Fields{127, 0, 0, 1} << u"127.0.0.1"_s
                                         << false << QStringList{u"Cannot connect to \"127.0.0.1\""_s};
    }

    void dialogOk()
    {
        QFETCH(QString, initialHost);
        QFETCH(bool, useSim);
        QFETCH(Fields, typed);
        QFETCH(QString, host);
        QFETCH(bool, connected);
        QFETCH(QStringList, messages);

        CScriptedHost scripted;
        CVQComm comm(&scripted);
        comm.SetHost(initialHost);
        comm.SetPort(useSim ? m_sim.Port() : ClosedPort());

        CSetEthernet dialog(&comm);
        QCOMPARE(dialog.windowTitle(), u"Ethernet"_s);
        if (typed == Fields{-1})
            dialog.AddressEdit()->ClearAddress();
        else if (!typed.isEmpty())
            dialog.AddressEdit()->SetAddress({typed[0], typed[1], typed[2], typed[3]});
        dialog.accept();

        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(comm.GetHost(), host);
        QCOMPARE(bool(comm.IsConnected()), connected);
        QCOMPARE(scripted.MessageTexts(), messages);
        QCOMPARE(scripted.WaitCursorDepth(), 0);
        if (!connected)
            QVERIFY(scripted.ClearViewsCount() > 0);
    }

    // Cancel changes nothing: same host, connection kept, nothing sent.
    void dialogCancel()
    {
        CScriptedHost scripted;
        CVQComm comm(&scripted);
        comm.SetHost(u"127.0.0.1"_s);
        comm.SetPort(m_sim.Port());
        QVERIFY(comm.Connect());
        const int connections = m_sim.ConnectionCount();

        CSetEthernet dialog(&comm);
        dialog.AddressEdit()->SetAddress({10, 0, 0, 5});
        dialog.reject();

        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(comm.GetHost(), u"127.0.0.1"_s);
        QVERIFY(comm.IsConnected());
        QCOMPARE(m_sim.ConnectionCount(), connections);
        QVERIFY(scripted.MessageTexts().isEmpty());
    }

    // The Network command: after OK with a connection the identity is asked
    // for; otherwise nothing goes to the device.
    void onNetwork_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::addColumn<bool>("reachable");
        QTest::addColumn<QByteArray>("sent");
        // The tree's selection reads the root for the list, the tree takes
        // the root's folders from it; then the identity.
        QTest::newRow("ok") << true << true << QByteArray("mmem:cdir \"/F0:/\"\r\nmmem:cat?\r\n*idn?\r\n");
        QTest::newRow("cancel") << false << true << QByteArray();
        QTest::newRow("ok, no connection") << true << false << QByteArray();
    }

    void onNetwork()
    {
        QFETCH(bool, accept);
        QFETCH(bool, reachable);
        QFETCH(QByteArray, sent);

        CScriptedHost scripted;
        CVQComm comm(&scripted);
        comm.SetHost(u"127.0.0.1"_s);
        comm.SetPort(reachable ? m_sim.Port() : ClosedPort());
        CAppSettings settings;
        CMainFrame frame(&comm, &settings);
        frame.show();

        CModalAnswerer<CSetEthernet> answer([accept](CSetEthernet* dialog) {
            if (accept)
                dialog->accept();
            else
                dialog->reject();
        });
        frame.NetworkAction()->trigger();
        QCOMPARE(answer.Answered(), 1);
        QCOMPARE(bool(comm.IsConnected()), accept && reachable);
        if (!sent.isEmpty())
            QVERIFY(m_sim.WaitForReceived(sent.size(), 2000));
        QCOMPARE(m_sim.AllReceived(), sent);
    }

    void placement_data()
    {
        QTest::addColumn<QRect>("stored"); // left, top, width, height
        QTest::addColumn<bool>("centred");

        QTest::newRow("defaults centre") << QRect(-1, -1, 720, 560) << true;
        QTest::newRow("both negative centre") << QRect(-50, -7, 400, 300) << true;
        QTest::newRow("left negative only") << QRect(-5, 20, 400, 300) << false;
        QTest::newRow("top negative only") << QRect(30, -4, 400, 300) << false;
        QTest::newRow("exact") << QRect(10, 20, 500, 400) << false;
        QTest::newRow("on no screen") << QRect(20000, 20000, 400, 300) << true;
    }

    void placement()
    {
        QFETCH(QRect, stored);
        QFETCH(bool, centred);

        CVQComm comm;
        CAppSettings settings;
        settings.SetWindowPlacement({stored.left(), stored.top(), stored.width(), stored.height(), 200});
        CMainFrame frame(&comm, &settings);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));

        QRect expected(stored.topLeft(), stored.size());
        if (centred)
            expected.moveCenter(QGuiApplication::primaryScreen()->availableGeometry().center());
        QCOMPARE(frame.size(), stored.size());
        QCOMPARE(frame.pos(), expected.topLeft());
    }

    // What the window looks like when it closes is what it looks like next time.
    void placementRoundTrip()
    {
        CVQComm comm;
        CAppSettings settings;
        settings.SetWindowPlacement({40, 30, 600, 450, 250});
        {
            CMainFrame frame(&comm, &settings);
            frame.show();
            QVERIFY(QTest::qWaitForWindowExposed(&frame));
            QCOMPARE(frame.Splitter()->sizes().value(0), 250);
            frame.move(60, 50);
            frame.resize(640, 480);
            frame.Splitter()->setSizes({310, 330});
            QCOMPARE(frame.Splitter()->sizes().value(0), 310);
            frame.close();
        }
        const WindowPlacement stored = settings.GetWindowPlacement();
        QCOMPARE(QRect(stored.left, stored.top, stored.width, stored.height), QRect(60, 50, 640, 480));
        QCOMPARE(stored.treeWidth, 310);

        CAppSettings reread;
        reread.Parse(settings.Format());
        CMainFrame again(&comm, &reread);
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QCOMPARE(again.pos(), QPoint(60, 50));
        QCOMPARE(again.size(), QSize(640, 480));
        QCOMPARE(again.Splitter()->sizes().value(0), 310);
    }
};

QTEST_MAIN(TestNetwork)
#include "tst_network.moc"
