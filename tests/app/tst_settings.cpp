#include "app/appoptions.h"
#include "app/mainframe.h"
#include "app/veskapp.h"
#include "dialogs/dlgfindgenerators.h"
#include "dialogs/ipaddressedit.h"
#include "dialogs/setethernet.h"
#include "link/appsettings.h"
#include "link/devicescan.h"
#include "link/vqcomm.h"
#include "sim/simserver.h"
#include "tests/support/modalanswerer.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

using namespace Qt::StringLiterals;

using Values = QList<int>; // the nine stored numbers, in stored order

namespace {

Values StoredValues(const CAppSettings& settings)
{
    const WindowPlacement p = settings.GetWindowPlacement();
    const ListViewState l = settings.GetListViewState();
    return {p.left,
            p.top,
            p.width,
            p.height,
            p.treeWidth,
            l.mode,
            l.sortKey,
            l.firstColumnWidth,
            settings.NinthValue()};
}

const Values DEFAULTS = {-1, -1, 720, 560, 200, 0, 1, 200, 110};

} // namespace

class TestSettings final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_configDir;
    QString m_iniPath;

    QString ReadStored(const QString& key) const
    {
        QSettings store(m_iniPath, QSettings::IniFormat);
        return store.value(u"Settings/"_s + key).toString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_configDir.isValid());
        m_iniPath = m_configDir.filePath(u"settings.ini"_s);
        vqsettings::SetStoreFileForTests(m_iniPath);
        QVERIFY(vqsettings::OpenStore()->fileName().startsWith(m_configDir.path()));
#ifndef Q_OS_WIN
        // Belt and braces where the native store is a file: it is redirected
        // too, in case anything opened it behind the override's back. (The
        // registry cannot be: there the override alone keeps the user's.)
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_configDir.filePath(u"native"_s));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_configDir.filePath(u"native"_s));
        const QSettings native(QSettings::NativeFormat, QSettings::UserScope, CVeskApp::ORGANISATION,
                               CVeskApp::APPLICATION);
        QVERIFY2(native.fileName().startsWith(m_configDir.path()), qPrintable(native.fileName()));
#endif
    }

    void init()
    {
        QFile::remove(m_iniPath);
    }

    // The editor the options start from: the system's notepad on Windows,
    // where the system has it; the desktop's opener elsewhere.
    void editorDefault()
    {
        const QString editor = CVeskApp::DefaultEditor();
#ifdef Q_OS_WIN
        QCOMPARE(editor, QDir::toNativeSeparators(qEnvironmentVariable("windir")) + u"\\notepad.exe"_s);
        QVERIFY2(QFileInfo::exists(editor), qPrintable(editor));
#else
        QCOMPARE(editor, u"xdg-open"_s);
#endif
    }

    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Values>("expected");
        QTest::addColumn<int>("taken");

        QTest::newRow("defaults as stored")
            << u"-1, -1, 720, 560, 200, 0, &d, 1, 200, 110"_s << DEFAULTS << 9;
        QTest::newRow("all nine") << u"10, 20, 800, 600, 250, 1, &d, -2, 180, 110"_s
                                  << Values{10, 20, 800, 600, 250, 1, -2, 180, 110} << 9;
        QTest::newRow("number for &d keeps the first six")
            << u"10, 20, 800, 600, 250, 1, 7, -2, 180, 110"_s << Values{10, 20, 800, 600, 250, 1, 1, 200, 110}
            << 6;
        QTest::newRow("first column 0") << u"10, 20, 800, 600, 250, 1, &d, -2, 0, 110"_s
                                        << Values{10, 20, 800, 600, 250, 1, -2, 200, 110} << 9;
        QTest::newRow("ninth 0") << u"10, 20, 800, 600, 250, 1, &d, -2, 180, 0"_s
                                 << Values{10, 20, 800, 600, 250, 1, -2, 180, 110} << 9;
        QTest::newRow("empty") << QString() << DEFAULTS << 0;
        QTest::newRow("garbage") << u"not a setting"_s << DEFAULTS << 0;
        QTest::newRow("stops mid-way")
            << u"10, 20, x, 600"_s << Values{10, 20, 720, 560, 200, 0, 1, 200, 110} << 2;
        QTest::newRow("no blanks") << u"10,20,800,600,250,1,&d,-2,180,110"_s
                                   << Values{10, 20, 800, 600, 250, 1, -2, 180, 110} << 9;
        QTest::newRow("extra blanks") << u"  10,  20,800,600,250,1,   &d,-2,180,  110  trailing"_s
                                      << Values{10, 20, 800, 600, 250, 1, -2, 180, 110} << 9;
        QTest::newRow("too large a number stops")
            << u"10, 99999999999, 800"_s << Values{10, -1, 720, 560, 200, 0, 1, 200, 110} << 1;
    }

    void parse()
    {
        QFETCH(QString, text);
        QFETCH(Values, expected);
        QFETCH(int, taken);

        CAppSettings settings;
        settings.SetWindowPlacement({1, 2, 3, 4, 5}); // must not survive a parse
        QCOMPARE(settings.Parse(text), taken);
        QCOMPARE(StoredValues(settings), expected);
        // Never stored: every run starts with the default.
        QCOMPARE(settings.GetListViewState().secondColumnWidth, 110);
    }

    void format_data()
    {
        QTest::addColumn<Values>("values");
        QTest::addColumn<QString>("text");
        QTest::newRow("defaults") << DEFAULTS << u"-1, -1, 720, 560, 200, 0, &d, 1, 200, 110"_s;
        QTest::newRow("example") << Values{10, 20, 800, 600, 250, 1, -2, 180, 110}
                                 << u"10, 20, 800, 600, 250, 1, &d, -2, 180, 110"_s;
    }

    void format()
    {
        QFETCH(Values, values);
        QFETCH(QString, text);
        CAppSettings settings;
        settings.SetWindowPlacement({values[0], values[1], values[2], values[3], values[4]});
        settings.SetListViewState({values[5], values[6], values[7], 333});
        QCOMPARE(settings.Format(), text);

        CAppSettings back;
        QCOMPARE(back.Parse(settings.Format()), 9);
        QCOMPARE(StoredValues(back), values);
    }

    void options_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("run");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("demo");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("output");

        QTest::newRow("none") << QStringList() << 1 << 0 << false << 5000 << QString();
        QTest::newRow("demo") << QStringList{u"--demo"_s} << 1 << 0 << true << 5000 << QString();
        QTest::newRow("port") << QStringList{u"--port"_s, u"6001"_s} << 1 << 0 << false << 6001 << QString();
        QTest::newRow("version") << QStringList{u"--version"_s} << 0 << 0 << false << 5000
                                 << u"VQ8 Comm Version 5.6\nBuild Date: 2011 Oct 18\n"_s;
        QTest::newRow("port 0") << QStringList{u"--port"_s, u"0"_s} << 0 << 2 << false << 5000
                                << u"Invalid port"_s;
        QTest::newRow("port too large")
            << QStringList{u"--port"_s, u"65536"_s} << 0 << 2 << false << 5000 << u"Invalid port"_s;
        QTest::newRow("unknown option")
            << QStringList{u"--frobnicate"_s} << 0 << 2 << false << 5000 << u"frobnicate"_s;
        QTest::newRow("help") << QStringList{u"--help"_s} << 0 << 0 << false << 5000 << u"--port"_s;
    }

    void options()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, run);
        QFETCH(int, exitCode);
        QFETCH(bool, demo);
        QFETCH(int, port);
        QFETCH(QString, output);

        CAppOptions options;
        QCOMPARE(options.Parse(QStringList{u"vq8comm"_s} + arguments), run);
        QCOMPARE(options.m_nExitCode, exitCode);
        if (run) {
            QCOMPARE(options.m_bDemo, demo);
            QCOMPARE(int(options.m_nPort), port);
        } else if (output.endsWith(u'\n')) {
            QCOMPARE(options.m_strOutput, output);
        } else {
            QVERIFY2(options.m_strOutput.contains(output), qPrintable(options.m_strOutput));
        }
    }

    // With nothing stored the window opens with the defaults, the network
    // dialog shows the default address, and Cancel leaves the program
    // disconnected; everything is written back at exit.
    void firstRunDefaults()
    {
        QString shown;
        bool buttonIcons = true;
        CModalAnswerer<CSetEthernet> answer([&shown, &buttonIcons](CSetEthernet* dialog) {
            shown = dialog->AddressEdit()->Text();
            // A Windows program's buttons show their text only, whatever the desktop's theme adds.
            buttonIcons =
                !dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->icon().isNull();
            dialog->reject();
        });
        {
            CVeskApp app;
            QVERIFY(app.InitInstance());
            QTRY_COMPARE(answer.Answered(), 1);
            QCOMPARE(shown, u"192.168.0.1"_s);
            QVERIFY(!buttonIcons);
            QVERIFY(!app.GetComm()->IsConnected());
            QVERIFY(app.GetComm()->UploadPacing());
            QCOMPARE(app.MainFrame()->size(), QSize(720, 560));
            QCOMPARE(app.MainFrame()->Splitter()->sizes().value(0), 200);
            QCOMPARE(app.LastFolder(), u"C:\\"_s);
            QVERIFY(!app.EditorDefault().isEmpty());
            QCOMPARE(app.ExitInstance(3), 3);
        }
        QCOMPARE(ReadStored(u"TargetHost"_s), u"192.168.0.1"_s);
        QCOMPARE(ReadStored(u"Path"_s), u"C:\\"_s);
        QCOMPARE(ReadStored(u"UploadWithoutPauses"_s), u"0"_s);
        CAppSettings stored;
        QCOMPARE(stored.Parse(ReadStored(u"PrivateSetting"_s)), 9);
        QCOMPARE(stored.GetWindowPlacement().width, 720);
        QCOMPARE(stored.GetWindowPlacement().treeWidth, 200);
    }

    // Values written by hand or by another version: read as far as they go.
    void storedValuesRead_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("sortKey");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("paced");

        QTest::newRow("as written")
            << QByteArray(
                   "[Settings]\nTargetHost=10.1.2.3\n"
                   "PrivateSetting=\"10, 20, 500, 400, 150, 1, &d, -2, 180, 110\"\nPath=D:\\\\signals\n"
                   "UploadWithoutPauses=1\n")
            << u"10.1.2.3"_s << QSize(500, 400) << -2 << u"D:\\signals"_s << false;
        QTest::newRow("unquoted list")
            << QByteArray("[Settings]\nPrivateSetting=10, 20, 500, 400, 150, 1, &d, 3, 180, 110\n")
            << u"192.168.0.1"_s << QSize(500, 400) << 3 << u"C:\\"_s << true;
        QTest::newRow("malformed") << QByteArray(
                                          "[Settings]\nPrivateSetting=@Invalid()\nTargetHost=@ByteArray()\n"
                                          "UploadWithoutPauses=yes\n")
                                   << u"192.168.0.1"_s << QSize(720, 560) << 1 << u"C:\\"_s << true;
    }

    void storedValuesRead()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, host);
        QFETCH(QSize, size);
        QFETCH(int, sortKey);
        QFETCH(QString, path);
        {
            QFile file(m_iniPath);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(ini);
        }
        CModalAnswerer<CSetEthernet> answer([](CSetEthernet* dialog) { dialog->reject(); });
        CVeskApp app;
        QVERIFY(app.InitInstance());
        QTRY_COMPARE(answer.Answered(), 1);
        QCOMPARE(app.GetComm()->GetHost(), host);
        QCOMPARE(app.MainFrame()->size(), size);
        QCOMPARE(app.GetListViewState().sortKey, sortKey);
        QCOMPARE(app.LastFolder(), path);
        QFETCH(bool, paced);
        QCOMPARE(app.GetComm()->UploadPacing(), paced);
        app.ExitInstance();
        QCOMPARE(ReadStored(u"Path"_s), path);
        QCOMPARE(ReadStored(u"UploadWithoutPauses"_s), paced ? u"0"_s : u"1"_s);
    }

    // OK in the network dialog stores the address at exit, and the recent
    // addresses in a value of their own, except in a demo, which must leave
    // the user's generator addresses alone.
    void targetHostAtExit_data()
    {
        QTest::addColumn<bool>("demo");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("recent");
        QTest::newRow("normal run stores") << false << u"127.0.0.1"_s << u"127.0.0.1,10.1.2.3"_s;
        QTest::newRow("demo keeps") << true << u"10.1.2.3"_s << u"10.1.2.3"_s;
    }

    void targetHostAtExit()
    {
        QFETCH(bool, demo);
        QFETCH(QString, stored);
        QFETCH(QString, recent);
        {
            QSettings store(m_iniPath, QSettings::IniFormat);
            store.setValue(u"Settings/TargetHost"_s, u"10.1.2.3"_s);
            store.setValue(u"Settings/RecentHosts"_s, u"10.1.2.3"_s);
        }
        CSimServer sim;
        CSimOptions simOptions;
        simOptions.m_nPort = 0;
        QVERIFY2(sim.Start(simOptions), qPrintable(sim.ErrorString()));

        CAppOptions options;
        options.m_bDemo = demo;
        options.m_nPort = sim.Port();
        QString shown;
        QString offered;
        CModalAnswerer<CSetEthernet> answer([&shown, &offered](CSetEthernet* dialog) {
            shown = dialog->AddressEdit()->Text();
            offered = dialog->RecentBox()->itemText(0);
            dialog->AddressEdit()->SetAddress({127, 0, 0, 1});
            dialog->accept();
        });
        CVeskApp app(options);
        QCOMPARE(CVeskApp::Instance(), &app);
        QVERIFY(app.InitInstance());
        QTRY_COMPARE(answer.Answered(), 1);
        QCOMPARE(shown, demo ? u"127.0.0.1"_s : u"10.1.2.3"_s);
        QCOMPARE(offered, u"10.1.2.3"_s);
        QVERIFY(app.GetComm()->IsConnected());
        if (demo) {
            QVERIFY(app.GetComm()->GetPort() != sim.Port()); // its own emulator
            // Find looks at the demo's emulator only.
            const QList<CAddressRange> ranges = CDlgFindGenerators::SearchRanges();
            QCOMPARE(ranges.size(), 1);
            QCOMPARE(ranges.first().Text(), app.GetComm()->GetHost());
            // ...which are three, each on its own port with its own serial
            // number; the one chosen there is connected on its port.
            const QList<quint16> ports = CDlgFindGenerators::SearchPorts(5000);
            QCOMPARE(ports.size(), CVeskApp::DEMO_GENERATORS);
            QVERIFY(ports.contains(app.GetComm()->GetPort()));
            QString chosen;
            CModalAnswerer<CDlgFindGenerators> find([&chosen](CDlgFindGenerators* dialog) {
                QTRY_VERIFY(!dialog->Scan()->IsRunning());
                QTreeWidget* list = dialog->List();
                QStringList serials;
                for (int row = 0; row < list->topLevelItemCount(); ++row)
                    serials.append(list->topLevelItem(row)->text(CDlgFindGenerators::COLUMN_SERIAL));
                serials.sort();
                QCOMPARE(serials, (QStringList{u"1001"_s, u"1002"_s, u"1003"_s}));
                list->setCurrentItem(list->topLevelItem(2));
                chosen = list->currentItem()->text(CDlgFindGenerators::COLUMN_ADDRESS);
                dialog->accept();
            });
            CSetEthernet network(app.GetComm(), app.MainFrame());
            network.FindButton()->click();
            QCOMPARE(find.Answered(), 1);
            network.accept();
            QVERIFY(network.Connected());
            QCOMPARE(u"%1:%2"_s.arg(app.GetComm()->GetHost()).arg(app.GetComm()->GetPort()), chosen);
        }
        app.ExitInstance();
        QCOMPARE(ReadStored(u"TargetHost"_s), stored);
        QCOMPARE(ReadStored(u"RecentHosts"_s), recent);
        QVERIFY(!ReadStored(u"PrivateSetting"_s).isEmpty());
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
