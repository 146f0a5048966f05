#include "app/mainframe.h"
#include "dialogs/dlgfindgenerators.h"
#include "dialogs/ipaddressedit.h"
#include "dialogs/recenthosts.h"
#include "dialogs/setethernet.h"
#include "link/addressrange.h"
#include "link/appsettings.h"
#include "link/devicescan.h"
#include "link/vqcomm.h"
#include "sim/simserver.h"
#include "tests/support/modalanswerer.h"
#include "tests/support/scriptedhost.h"

#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSplitter>
#include <QTcpServer>
#include <QTreeWidget>
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
    CSimServer m_sim;

    bool ConnectToSim(CVQComm& comm)
    {
        comm.SetHost(u"127.0.0.1"_s);
        comm.SetPort(m_sim.Port());
        return comm.Connect() == 1;
    }

private Q_SLOTS:
    void initTestCase()
    {
        CSimOptions options;
        options.m_nPort = 0;
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

    // A new user types a whole address into the dialog as it opens, filled
    // with the stored one: what was typed is what connects.
    void typingIntoFilledDialog_data()
    {
        QTest::addColumn<QString>("keys"); // \b is Backspace
        QTest::addColumn<QString>("text");

        QTest::newRow("dotted, full fields") << u"192.168.100.200"_s << u"192.168.100.200"_s;
        QTest::newRow("dotted, short fields") << u"127.0.0.1"_s << u"127.0.0.1"_s;
        QTest::newRow("mixed") << u"10.0.0.5"_s << u"10.0.0.5"_s;
        QTest::newRow("no dots, full fields") << u"192168100200"_s << u"192.168.100.200"_s;
        QTest::newRow("part of it") << u"10.20"_s << u"10.20.0.1"_s;
        QTest::newRow("backspace in an empty field goes back") << u"10.20\b\b\b3.4.5"_s << u"103.4.5.1"_s;
        QTest::newRow("backspace after a full field") << u"123\b\b\b4"_s << u"124.0.0.1"_s;
    }

    void typingIntoFilledDialog()
    {
        QFETCH(QString, keys);
        QFETCH(QString, text);

        CScriptedHost scripted;
        CVQComm comm(&scripted);
        comm.SetHost(u"192.168.0.1"_s);
        comm.SetPort(m_sim.Port());
        CRecentHosts recent;
        CSetEthernet dialog(&comm, nullptr, &recent);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QCOMPARE(QApplication::focusWidget(), dialog.AddressEdit()->FieldEdit(0));
        QVERIFY(dialog.AddressEdit()->FieldEdit(0)->hasSelectedText());
        for (const QChar c : keys) {
            if (c == u'\b')
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
            else
                QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
        }
        QCOMPARE(dialog.AddressEdit()->Text(), text);
        if (text == u"127.0.0.1"_s) {
            // Enter is OK: the link goes to the address typed.
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(comm.GetHost(), text);
            QVERIFY(comm.IsConnected());
            QCOMPARE(recent.Hosts(), QStringList{text});
        }
    }

    // A dotted address pasted into a field fills all four; anything else is
    // pasted as the field takes it.
    void paste_data()
    {
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<int>("field");
        QTest::addColumn<bool>("menu");
        QTest::addColumn<QString>("text");
        QTest::newRow("keys") << u" 10.1.2.3\n"_s << 0 << false << u"10.1.2.3"_s;
        QTest::newRow("keys, other field") << u"10.1.2.3"_s << 2 << false << u"10.1.2.3"_s;
        QTest::newRow("menu") << u"172.16.0.9"_s << 0 << true << u"172.16.0.9"_s;
        QTest::newRow("a number") << u"42"_s << 1 << false << u"192.42.0.1"_s;
        QTest::newRow("a number, menu") << u"42"_s << 1 << true << u"192.42.0.1"_s;
        QTest::newRow("not an address: refused") << u"1.2.3"_s << 0 << false << u"192.168.0.1"_s;
    }

    void paste()
    {
        QFETCH(QString, clipboard);
        QFETCH(int, field);
        QFETCH(bool, menu);
        QFETCH(QString, text);

        QWidget window;
        auto* edit = new CIpAddressEdit(&window);
        edit->SetAddress({192, 168, 0, 1});
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        edit->SelectField(field);
        QGuiApplication::clipboard()->setText(clipboard);
        QLineEdit* target = edit->FieldEdit(field);
        if (menu) {
            // The field's own context menu, its Paste chosen.
            QTimer::singleShot(0, target, [] {
                QTRY_VERIFY(QApplication::activePopupWidget());
                auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                QVERIFY(popup);
                for (QAction* action : popup->actions()) {
                    if (action->text().startsWith(u"&Paste"_s)) {
                        popup->setActiveAction(action);
                        QTest::keyClick(popup, Qt::Key_Return);
                        return;
                    }
                }
                popup->close();
            });
            QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(2, 2),
                                    target->mapToGlobal(QPoint(2, 2)));
            QCoreApplication::sendEvent(target, &event);
        } else {
            QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
        }
        QCOMPARE(edit->Text(), text);
    }

    // The recent addresses: distinct, newest first, at most eight.
    void recentHosts_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("added"); // empty: none
        QTest::addColumn<QStringList>("hosts");
        QTest::newRow("read as stored")
            << u"10.0.0.2,10.0.0.1"_s << QString() << QStringList{u"10.0.0.2"_s, u"10.0.0.1"_s};
        QTest::newRow("others and doubles left out")
            << u"10.0.0.2, lab-gen,10.0.0.2,300.1.1.1,010.0.0.1,10.0.0.3"_s << QString()
            << QStringList{u"10.0.0.2"_s, u"10.0.0.3"_s};
        QTest::newRow("added goes first") << u"10.0.0.2,10.0.0.1"_s << u"10.0.0.9"_s
                                          << QStringList{u"10.0.0.9"_s, u"10.0.0.2"_s, u"10.0.0.1"_s};
        QTest::newRow("added again moves up")
            << u"10.0.0.2,10.0.0.1"_s << u"10.0.0.1"_s << QStringList{u"10.0.0.1"_s, u"10.0.0.2"_s};
        QStringList nine;
        for (int i = 1; i <= 9; ++i)
            nine << u"10.0.0.%1"_s.arg(i);
        QTest::newRow("eight at most") << nine.join(u',') << QString() << nine.mid(0, 8);
        QTest::newRow("the oldest goes")
            << nine.mid(0, 8).join(u',') << u"10.0.0.9"_s << (QStringList{u"10.0.0.9"_s} + nine.mid(0, 7));
    }

    void recentHosts()
    {
        QFETCH(QString, stored);
        QFETCH(QString, added);
        QFETCH(QStringList, hosts);
        CRecentHosts recent = CRecentHosts::FromSettingsText(stored);
        if (!added.isEmpty())
            recent.Add(added);
        QCOMPARE(recent.Hosts(), hosts);
        QCOMPARE(CRecentHosts::FromSettingsText(recent.SettingsText()).Hosts(), hosts);
    }

    // The drop-down offers them; one chosen fills the fields; an address
    // that connects joins them, one that does not stays out.
    void recentInDialog_data()
    {
        QTest::addColumn<bool>("reachable");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("connects") << true << QStringList{u"127.0.0.1"_s, u"10.0.0.2"_s};
        QTest::newRow("does not") << false << QStringList{u"10.0.0.2"_s, u"127.0.0.1"_s};
    }

    void recentInDialog()
    {
        QFETCH(bool, reachable);
        QFETCH(QStringList, after);
        CScriptedHost scripted;
        CVQComm comm(&scripted);
        comm.SetHost(u"10.9.9.9"_s);
        comm.SetPort(reachable ? m_sim.Port() : ClosedPort());
        CRecentHosts recent;
        recent.SetHosts({u"10.0.0.2"_s, u"127.0.0.1"_s});
        CSetEthernet dialog(&comm, nullptr, &recent);
        QComboBox* box = dialog.RecentBox();
        QVERIFY(box->isEnabled());
        QCOMPARE(box->count(), 2);
        QCOMPARE(box->itemText(0), u"10.0.0.2"_s);
        QCOMPARE(box->currentIndex(), -1);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Down); // the first
        QTest::keyClick(box, Qt::Key_Down); // the second
        QCOMPARE(dialog.AddressEdit()->Text(), u"127.0.0.1"_s);
        dialog.accept();
        QCOMPARE(recent.Hosts(), after);

        CRecentHosts none;
        CSetEthernet empty(&comm, nullptr, &none);
        QVERIFY(!empty.RecentBox()->isEnabled());
    }

    // Find: the generators of the ranges in address order, their identity
    // shown; a double-click fills the address. Cancel stops a scan that
    // waits on a silent peer at once.
    void find_data()
    {
        QTest::addColumn<bool>("choose");
        QTest::newRow("double-click") << true;
        QTest::newRow("cancel") << false;
    }

    void find()
    {
        QFETCH(bool, choose);
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress(u"127.0.0.4"_s), 0));
        std::array<CSimServer, 2> sims;
        for (int i = 0; i < 2; ++i) {
            CSimOptions options;
            options.m_address = QHostAddress(u"127.0.0.%1"_s.arg(i + 2));
            options.m_nPort = silent.serverPort();
            options.m_strIdentity = u"VELTRANE,VQ820,100%1,5.60"_s.arg(i + 2);
            QVERIFY2(sims.at(i).Start(options), qPrintable(sims.at(i).ErrorString()));
        }
        CDlgFindGenerators::SetSearchRanges({*CAddressRange::Parse(u"127.0.0.2-4"_s)});
        const auto restore = qScopeGuard([] { CDlgFindGenerators::SetSearchRanges({}); });
        CScriptedHost scripted;
        CVQComm comm(&scripted);
        comm.SetHost(u"10.9.9.9"_s);
        comm.SetPort(silent.serverPort());
        CRecentHosts recent;
        CSetEthernet dialog(&comm, nullptr, &recent);
        CModalAnswerer<CDlgFindGenerators> answer([choose](CDlgFindGenerators* find) {
            const auto close = qScopeGuard([find] {
                if (find->isVisible())
                    find->reject();
            });
            // The generators have answered; the silent peer holds the scan.
            QTRY_COMPARE(find->Scan()->Done(), 2);
            QVERIFY(find->Scan()->IsRunning());
            QTreeWidget* list = find->List();
            QCOMPARE(list->topLevelItemCount(), 2);
            QCOMPARE(list->topLevelItem(0)->text(CDlgFindGenerators::COLUMN_ADDRESS), u"127.0.0.2"_s);
            QTreeWidgetItem* item = list->topLevelItem(1);
            QCOMPARE(item->text(CDlgFindGenerators::COLUMN_SERIAL), u"1003"_s);
            if (!choose) {
                find->reject();
                QVERIFY(!find->Scan()->IsRunning());
                QCOMPARE(find->Scan()->Done(), 2);
                return;
            }
            const QPoint where = list->visualItemRect(item).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, where);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, where);
        });
        dialog.FindButton()->click();
        QCOMPARE(answer.Answered(), 1);
        QCOMPARE(dialog.AddressEdit()->Text(), choose ? u"127.0.0.3"_s : u"10.9.9.9"_s);
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

    // A mistyped address does not cost the working connection: it stays open
    // and in use, with its address, until another one answers.
    void dialogOkKeepsWorkingChannel()
    {
        CScriptedHost scripted;
        CVQComm comm(&scripted);
        QVERIFY(ConnectToSim(comm));
        const int connections = m_sim.ConnectionCount();
        CSetEthernet dialog(&comm);

        dialog.AddressEdit()->SetAddress({127, 0, 0, 2}); // nobody listens there
        dialog.accept();

        QVERIFY(!dialog.Connected());
        QCOMPARE(scripted.MessageTexts(), QStringList{u"Cannot connect to \"127.0.0.2\""_s});
        QCOMPARE(scripted.ClearViewsCount(), 0);
        QCOMPARE(comm.GetHost(), u"127.0.0.1"_s);
        QCOMPARE(comm.QueryIdentity(), 1);
        QCOMPARE(m_sim.ConnectionCount(), connections); // the same connection answered

        // An address that answers takes over.
        dialog.AddressEdit()->SetAddress({127, 0, 0, 1});
        dialog.accept();
        QVERIFY(dialog.Connected());
        QCOMPARE(comm.QueryIdentity(), 1);
        QCOMPARE(m_sim.ConnectionCount(), connections + 1);
    }

    // Cancel changes nothing: same host, connection kept, nothing sent.
    void dialogCancel()
    {
        CScriptedHost scripted;
        CVQComm comm(&scripted);
        QVERIFY(ConnectToSim(comm));
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
