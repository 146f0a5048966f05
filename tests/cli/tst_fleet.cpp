// Many generators: the scan, one command on several generators (runs of the
// built vq8ctl), and sync. Every emulator and peer listens on a loopback
// address (127.0.0.1 to 127.0.0.31) and every range scanned lies in 127.0.0.0/27.

#include "cli/consolehost.h"
#include "cli/ctlfleet.h"
#include "cli/ctltool.h"
#include "link/devicescan.h"
#include "sim/simserver.h"

#include "tests/support/toolenvironment.h"
#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <map>
#include <memory>

#ifdef Q_OS_UNIX
#include <csignal>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

QString Loopback(int last)
{
    return u"127.0.0.%1"_s.arg(last);
}

QString Identity(int last)
{
    return u"VELTRANE,VQ820,10%1,5.60"_s.arg(last, 2, 10, QChar(u'0'));
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

QByteArray Bytes(qsizetype size, char fill)
{
    return QByteArray(size, fill);
}

#ifdef Q_OS_LINUX
// The processes whose parent is `pid`.
QStringList ChildrenOf(qint64 pid)
{
    QStringList children;
    for (const QString& entry : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
        QFile stat(u"/proc/"_s + entry + u"/stat"_s);
        if (!entry.front().isDigit() || !stat.open(QIODevice::ReadOnly))
            continue;
        // "PID (NAME) STATE PPID ...": the name may hold blanks and parentheses.
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(1).toLongLong() == pid)
            children.append(entry);
    }
    return children;
}
#endif

struct ToolRun
{
    int status = -1;
    QString out;
    QString err;
    QStringList OutLines() const { return out.split(u'\n', Qt::SkipEmptyParts); }
};

} // namespace

class TestFleet : public QObject
{
    Q_OBJECT

private:
    CToolEnvironment m_tool;
    std::unique_ptr<QTemporaryDir> m_pc;
    // The emulators by the last number of their address, all on m_nPort.
    std::map<int, std::unique_ptr<CSimServer>> m_sims;
    // On 127.0.0.1: takes connections and never answers (its events never run).
    std::unique_ptr<QTcpServer> m_pSilent;
    quint16 m_nPort = 0;

    QString Pc(const QString& name) const { return m_pc->filePath(name); }
    static QString Program() { return QCoreApplication::applicationDirPath() + u"/../cli/vq8ctl"_s; }

    // Emulators on 127.0.0.N for each N, all on one port that is free on
    // each of those addresses and on 127.0.0.1 (the silent peer's).
    bool StartEmulators(const QList<int>& lasts)
    {
        for (int attempt = 0; attempt < 10; ++attempt) {
            m_sims.clear();
            m_pSilent = std::make_unique<QTcpServer>();
            if (!m_pSilent->listen(QHostAddress::LocalHost, 0))
                return false;
            m_nPort = m_pSilent->serverPort();
            bool all = true;
            for (const int last : lasts) {
                CSimOptions options;
                options.m_address = QHostAddress(Loopback(last));
                options.m_nPort = m_nPort;
                options.m_strIdentity = Identity(last);
                auto sim = std::make_unique<CSimServer>();
                all = all && sim->Start(options);
                m_sims[last] = std::move(sim);
            }
            if (all)
                return true;
        }
        return false;
    }

    // `prepare` gets the tool before it runs.
    ToolRun Run(const QStringList& arguments, const std::function<void(CCtlTool&)>& prepare = {})
    {
        QBuffer out;
        QBuffer err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        CConsoleHost host(&out, &err);
        CCtlTool tool(host);
        if (prepare)
            prepare(tool);
        tool.SetDelayScale(0.01);
        tool.SetWorkerProgram(Program());
        ToolRun run;
        run.status = tool.Run(QStringList{u"vq8ctl"_s, u"--port"_s, QString::number(m_nPort)} + arguments);
        run.out = QString::fromUtf8(out.data());
        run.err = QString::fromUtf8(err.data());
        return run;
    }

    // The program sending A.SEQ, B.SEQ and C.SEQ to the generators `hosts`
    // names, emulators on 127.0.0.2 and .3; true once both hold the first file
    // (the last one follows only after two of the chain's one-second pauses).
    bool StartThreeFilePut(QProcess& process, const QStringList& hosts)
    {
        QStringList files;
        for (const QString& name : {u"A.SEQ"_s, u"B.SEQ"_s, u"C.SEQ"_s}) {
            if (!WriteFile(Pc(name), Bytes(2000, 'x')))
                return false;
            files.append(Pc(name));
        }
        if (!StartEmulators({2, 3}))
            return false;
        process.start(Program(),
                      hosts + QStringList{u"--port"_s, QString::number(m_nPort), u"--yes"_s, u"put"_s} +
                          files + QStringList{u"USER"_s});
        if (!process.waitForStarted())
            return false;
        QElapsedTimer clock;
        clock.start();
        while (!m_sims[2]->Exists(u"/F0:/USER/A.SEQ"_s) || !m_sims[3]->Exists(u"/F0:/USER/A.SEQ"_s)) {
            if (clock.elapsed() > 10000)
                return false;
            QTest::qWait(10);
        }
        return true;
    }

    ToolRun RunOn(int last, const QStringList& arguments)
    {
        return Run(QStringList{u"--host"_s, Loopback(last)} + arguments);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_tool.KeepSettings()); }

    void init()
    {
        QVERIFY(m_tool.NewRecord());
        m_pc = std::make_unique<QTemporaryDir>();
        QVERIFY(m_pc->isValid());
    }

    void cleanup()
    {
        m_sims.clear();
        m_pSilent.reset();
    }

    // A scan of 127.0.0.0/27: three emulators, a peer that takes connections
    // and never answers (127.0.0.1), one that answers nonsense (127.0.0.5).
    void scan_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("lines"); // patterns of standard output's lines

        const QStringList generators = {
            u"^127\\.0\\.0\\.2\\s+VELTRANE\\s+VQ820\\s+1002\\s+5\\.60\\s+\\d+ ms$"_s,
            u"^127\\.0\\.0\\.3\\s+VELTRANE\\s+VQ820\\s+1003\\s+5\\.60\\s+\\d+ ms$"_s,
            u"^127\\.0\\.0\\.4\\s+VELTRANE\\s+VQ820\\s+1004\\s+5\\.60\\s+\\d+ ms$"_s};
        QTest::newRow("exactly the generators")
            << QStringList{u"scan"_s, u"127.0.0.0/27"_s} << 0 << generators;
        QTest::newRow("-v: the peers without identity too")
            << QStringList{u"-v"_s, u"scan"_s, u"127.0.0.0/27"_s} << 0
            << QStringList{u"^127\\.0\\.0\\.1\\s+no identity\\s+\\(no reply line\\)$"_s} + generators +
                   QStringList{u"^127\\.0\\.0\\.5\\s+no identity\\s+\\(answered \"hello there\"\\)$"_s};
        QTest::newRow("none answered") << QStringList{u"scan"_s, u"127.0.0.20-30"_s} << 1 << QStringList{};
        QTest::newRow("too wide") << QStringList{u"scan"_s, u"127.0.0.0/16"_s} << 2 << QStringList{};
        QTest::newRow("no --host") << QStringList{u"--host"_s, u"127.0.0.2"_s, u"scan"_s} << 2
                                   << QStringList{};
    }

    void scan()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QStringList, lines);
        QVERIFY(StartEmulators({2, 3, 4}));
        QTcpServer nonsense;
        QVERIFY(nonsense.listen(QHostAddress(Loopback(5)), m_nPort));
        connect(&nonsense, &QTcpServer::newConnection, &nonsense, [&nonsense] {
            while (QTcpSocket* socket = nonsense.nextPendingConnection())
                socket->write("hello there\n");
        });

        QElapsedTimer clock;
        clock.start();
        const ToolRun run = Run(arguments);
        // One round of at most 64 addresses: its two bounds, and room for a loaded machine.
        const qint64 bound = CDeviceScan::DEFAULT_CONNECT_TIMEOUT_MS + CDeviceScan::REPLY_TIMEOUT_MS;
        QVERIFY2(clock.elapsed() < bound + 3000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(run.status, status);
        const QStringList out = run.OutLines();
        QCOMPARE(out.size(), lines.size());
        for (qsizetype i = 0; i < lines.size(); ++i)
            QVERIFY2(QRegularExpression(lines.at(i)).match(out.at(i)).hasMatch(), qPrintable(run.out));
    }

    // Ctrl+C while a peer holds the scan: it ends at once, not at the reply's bound.
    void scanInterrupt()
    {
        QVERIFY(StartEmulators({}));
        QElapsedTimer clock;
        clock.start();
        const ToolRun run = Run({u"scan"_s, u"127.0.0.1"_s}, [this](CCtlTool& tool) {
            connect(m_pSilent.get(), &QTcpServer::newConnection, m_pSilent.get(),
                    [&tool] { tool.Interrupt(); });
        });
        QCOMPARE(run.status, 130);
        QVERIFY2(clock.elapsed() < CDeviceScan::REPLY_TIMEOUT_MS,
                 qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(run.err, u"vq8ctl: interrupted\n"_s);
    }

    void scanJson()
    {
        QVERIFY(StartEmulators({2, 3}));
        const ToolRun run = Run({u"--json"_s, u"scan"_s, u"127.0.0.1-3"_s});
        QCOMPARE(run.status, 0);
        const QJsonObject document = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QCOMPARE(document.value(u"count"_s).toInt(), 2);
        QCOMPARE(document.value(u"scanned"_s).toInt(), 3);
        const QJsonArray generators = document.value(u"generators"_s).toArray();
        QCOMPARE(generators.size(), 2);
        QCOMPARE(generators.at(1).toObject().value(u"host"_s).toString(), u"127.0.0.3"_s);
        QCOMPARE(generators.at(1).toObject().value(u"serial"_s).toString(), u"1003"_s);
        QCOMPARE(generators.at(1).toObject().value(u"identity"_s).toString(), Identity(3));
    }

    void hostLists_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("hosts"); // empty: refused

        QTest::newRow("comments and blank lines") << u"# lab A\n127.0.0.2\n\n  127.0.0.3  # rack 2\n"_s
                                                  << QStringList{u"127.0.0.2"_s, u"127.0.0.3"_s};
        QTest::newRow("scan's output as it is")
            << u"127.0.0.2  VELTRANE  VQ820  1002  5.60  1 ms\n127.0.0.4\tx\n"_s
            << QStringList{u"127.0.0.2"_s, u"127.0.0.4"_s};
        QTest::newRow("a range") << u"127.0.0.2-4\n"_s
                                 << QStringList{u"127.0.0.2"_s, u"127.0.0.3"_s, u"127.0.0.4"_s};
        QTest::newRow("a name") << u"gen-7.lab\n"_s << QStringList{u"gen-7.lab"_s};
        QTest::newRow("ports of their own") << u"127.0.0.1:5001\n127.0.0.1:5002 # bench\n"_s
                                            << QStringList{u"127.0.0.1:5001"_s, u"127.0.0.1:5002"_s};
        QTest::newRow("a mistyped address") << u"127.0.0.2\n127.0.0.300\n"_s << QStringList{};
    }

    void hostLists()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, hosts);
        QStringList parsed;
        QString error;
        QCOMPARE(CCtlFleet::ParseHostList(text, parsed, &error), !hosts.isEmpty());
        if (!hosts.isEmpty())
            QCOMPARE(parsed, hosts);
        else
            QVERIFY(error.contains(u"127.0.0.300"_s));
    }

    // Each generator's lines carry its address; a generator that fails
    // fails the command and nothing else.
    void several_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("out"); // sorted: the runs go side by side
        QTest::addColumn<QString>("err");     // a part of standard error

        const QStringList two = {u"--hosts"_s, u"127.0.0.2-3"_s};
        QTest::newRow("idn") << two + QStringList{u"idn"_s} << 0
                             << QStringList{u"127.0.0.2: "_s + Identity(2), u"127.0.0.3: "_s + Identity(3)}
                             << u"vq8ctl: 2 of 2 generators done"_s;
        QTest::newRow("ls") << two + QStringList{u"ls"_s, u"USER"_s} << 0
                            << QStringList{u"127.0.0.2: d 0 PROJECTS"_s, u"127.0.0.2: f 120 README.TXT"_s,
                                           u"127.0.0.3: d 0 PROJECTS"_s, u"127.0.0.3: f 120 README.TXT"_s}
                            << u"127.0.0.3: 2 object[s]"_s;
        QTest::newRow("one missing") << QStringList{u"--host"_s, u"127.0.0.2"_s, u"--host"_s, u"127.0.0.9"_s,
                                                    u"idn"_s}
                                     << 1 << QStringList{u"127.0.0.2: "_s + Identity(2)}
                                     << u"): Cannot connect to \"127.0.0.9\"\n"_s;
        QTest::newRow("sync both, dry run")
            << two + QStringList{u"sync"_s, u"--dry-run"_s, u"/F0:/USER"_s, u"PC"_s} << 0
            << QStringList{u"127.0.0.2: >f+++++++++ README.TXT (120 bytes)"_s, u"127.0.0.2: cd+++++++++ ./"_s,
                           u"127.0.0.3: >f+++++++++ README.TXT (120 bytes)"_s, u"127.0.0.3: cd+++++++++ ./"_s}
            << u"vq8ctl: 127.0.0.3: done (1 file planned, 120 bytes, "_s;
        QTest::newRow("get to standard output")
            << two + QStringList{u"get"_s, u"USER/README.TXT"_s, u"-"_s} << 2 << QStringList{}
            << u"vq8ctl: \"-\" (standard output) takes one generator"_s;
        // A range that is not one is said as such, never as a missing file.
        QTest::newRow("a range too wide")
            << QStringList{u"--hosts"_s, u"127.0.0.0/8"_s, u"idn"_s} << 2 << QStringList{}
            << u"vq8ctl: --hosts: too wide: \"127.0.0.0/8\" (at most /22, 1024 addresses)\n"_s;
        QTest::newRow("a mistyped range")
            << QStringList{u"--hosts"_s, u"127.0.0.2-300"_s, u"idn"_s} << 2 << QStringList{}
            << u"vq8ctl: --hosts: not a range of last numbers"_s;
    }

    void several()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QStringList, out);
        QFETCH(QString, err);
        QVERIFY(StartEmulators({2, 3}));
        QVERIFY(QDir::setCurrent(m_pc->path()));
        const ToolRun run = Run(arguments);
        QStringList lines = run.OutLines();
        lines.sort();
        QCOMPARE(lines, out);
        QVERIFY2(run.err.contains(err), qPrintable(run.err));
        QCOMPARE(run.status, status);
        // A dry run leaves no folder behind on the PC.
        QCOMPARE(QDir(m_pc->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    // Five generators, one refusing connections and one full: three done,
    // two failed each with its reason, and the three hold the files.
    void putToFive()
    {
        QVERIFY(StartEmulators({2, 3, 5, 6}));
        m_sims[5]->SetCapacity(m_sims[5]->Used() + 1000);
        const QByteArray one = Bytes(3000, 'a');
        const QByteArray two = Bytes(5000, 'b');
        QVERIFY(WriteFile(Pc(u"ONE.SEQ"_s), one));
        QVERIFY(WriteFile(Pc(u"TWO.SEQ"_s), two));
        QVERIFY(WriteFile(Pc(u"hosts.txt"_s),
                          "127.0.0.2\n127.0.0.3\n127.0.0.4 # nothing here\n127.0.0.5\n127.0.0.6\n"));
        const ToolRun run = Run({u"--hosts"_s, Pc(u"hosts.txt"_s), u"--json"_s, u"--yes"_s, u"put"_s,
                                 Pc(u"ONE.SEQ"_s), Pc(u"TWO.SEQ"_s), u"USER"_s});
        QCOMPARE(run.status, 1);
        for (const int last : {2, 3, 6}) {
            QCOMPARE(m_sims[last]->FileData(u"/F0:/USER/ONE.SEQ"_s), one);
            QCOMPARE(m_sims[last]->FileData(u"/F0:/USER/TWO.SEQ"_s), two);
            QVERIFY2(run.err.contains(u"vq8ctl: 127.0.0.%1: done (2 files, 7.81KB, "_s.arg(last)),
                     qPrintable(run.err));
        }
        QVERIFY(!m_sims[5]->Exists(u"/F0:/USER/ONE.SEQ"_s));
        const QRegularExpression refused(u"vq8ctl: 127\\.0\\.0\\.4: failed \\([0-9.]+ s\\): "
                                         "Cannot connect to \"127\\.0\\.0\\.4\"\n"_s);
        QVERIFY2(refused.match(run.err).hasMatch(), qPrintable(run.err));
        // One reason per generator, with its figures.
        QVERIFY2(run.err.contains(
                     u"s): Insufficient memory free space in VQ. : needs 7.81KB, 1000 bytes free\n"_s),
                 qPrintable(run.err));
        QVERIFY2(run.err.contains(u"vq8ctl: 127.0.0.2: Sequence file : \""_s), qPrintable(run.err));
        QVERIFY2(run.err.contains(u"vq8ctl: 3 of 5 generators done, 6 files"_s), qPrintable(run.err));

        const QJsonObject document = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QCOMPARE(document.value(u"status"_s).toInt(), 1);
        const QJsonObject summary = document.value(u"summary"_s).toObject();
        QCOMPARE(summary.value(u"done"_s).toInt(), 3);
        QCOMPARE(summary.value(u"failed"_s).toInt(), 2);
        QCOMPARE(summary.value(u"files"_s).toInt(), 6);
        const QJsonArray generators = document.value(u"generators"_s).toArray();
        QCOMPARE(generators.size(), 5);
        QStringList statuses;
        for (const QJsonValue& record : generators) {
            const QJsonObject object = record.toObject();
            statuses.append(object.value(u"generator"_s).toObject().value(u"host"_s).toString() + u'=' +
                            QString::number(object.value(u"status"_s).toInt()) + u' ' +
                            object.value(u"failure"_s).toObject().value(u"kind"_s).toString());
        }
        QCOMPARE(statuses, (QStringList{u"127.0.0.2=0 "_s, u"127.0.0.3=0 "_s, u"127.0.0.4=1 unreachable"_s,
                                        u"127.0.0.5=1 no-room"_s, u"127.0.0.6=0 "_s}));
        // Each run that moved files names its generator and its start and end.
        const QJsonObject first = generators.at(0).toObject();
        QCOMPARE(first.value(u"generator"_s).toObject().value(u"serial"_s).toString(), u"1002"_s);
        QVERIFY(QDateTime::fromString(first.value(u"started"_s).toString(), Qt::ISODateWithMs).isValid());
        QVERIFY(first.value(u"ended"_s).toString() >= first.value(u"started"_s).toString());
    }

    // get: each generator's files in a folder named after its address.
    void getIntoFolders()
    {
        QVERIFY(StartEmulators({2, 3}));
        QVERIFY(m_sims[3]->AddFile(u"/F0:/USER/README.TXT"_s, "three"));
        const ToolRun run =
            Run({u"--hosts"_s, u"127.0.0.2-3"_s, u"get"_s, u"USER/README.TXT"_s, m_pc->path()});
        QCOMPARE(run.status, 0);
        QCOMPARE(ReadFile(Pc(u"127.0.0.2/README.TXT"_s)), m_sims[2]->FileData(u"/F0:/USER/README.TXT"_s));
        QCOMPARE(ReadFile(Pc(u"127.0.0.3/README.TXT"_s)), QByteArray("three"));
    }

    // Two emulators behind one address, each with its own port: each run
    // reaches its own, and get's folders are named so Windows takes them.
    void portsOfTheirOwn()
    {
        QStringList hosts;
        for (const int serial : {1, 2}) {
            CSimOptions options;
            options.m_nPort = 0;
            options.m_strIdentity = Identity(serial);
            auto sim = std::make_unique<CSimServer>();
            QVERIFY(sim->Start(options));
            QVERIFY(sim->AddFile(u"/F0:/USER/README.TXT"_s, QByteArray::number(serial)));
            hosts << u"--host"_s << u"127.0.0.1:%1"_s.arg(sim->Port());
            m_sims[serial] = std::move(sim);
        }
        // The port written with an address wins over --port (the first's here).
        m_nPort = m_sims[1]->Port();
        const ToolRun idn = Run(hosts + QStringList{u"idn"_s});
        QCOMPARE(idn.status, 0);
        QStringList lines = idn.OutLines();
        lines.sort();
        // Sorted both: the ports are whatever the system gave.
        QStringList wanted{hosts.at(1) + u": "_s + Identity(1), hosts.at(3) + u": "_s + Identity(2)};
        wanted.sort();
        QCOMPARE(lines, wanted);

        const ToolRun get = Run(hosts + QStringList{u"get"_s, u"USER/README.TXT"_s, m_pc->path()});
        QCOMPARE(get.status, 0);
        for (const int serial : {1, 2}) {
            const QString folder = u"127.0.0.1_%1"_s.arg(m_sims[serial]->Port());
            QCOMPARE(ReadFile(Pc(folder + u"/README.TXT"_s)), QByteArray::number(serial));
        }
    }

    // Ctrl+C reaches every run: each ends after its file under way and says
    // what its generator holds; no other run starts.
    void interrupt()
    {
#ifndef Q_OS_UNIX
        QSKIP("Ctrl+C is a signal here");
#else
        QProcess process;
        QVERIFY(StartThreeFilePut(process, {u"--hosts"_s, u"127.0.0.2-4"_s, u"--jobs"_s, u"2"_s}));
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT((err += process.readAllStandardError()).count("[OK: --yes]") == 2, 10000);
        ::kill(pid_t(process.processId()), SIGINT);
        QVERIFY(process.waitForFinished(20000));
        err += process.readAllStandardError();
        const QString text = QString::fromUtf8(err);
        QCOMPARE(process.exitCode(), 130);
        for (const int last : {2, 3}) {
            QVERIFY2(text.contains(u"vq8ctl: 127.0.0.%1: not started : \"/F0:/USER/C.SEQ\""_s.arg(last)),
                     qPrintable(text));
            QVERIFY(!m_sims[last]->Exists(u"/F0:/USER/C.SEQ"_s));
        }
        QVERIFY2(text.contains(u"vq8ctl: 127.0.0.4: failed (0.0 s): not started (interrupted)"_s),
                 qPrintable(text));
        QVERIFY2(text.endsWith(u"vq8ctl: interrupted\n"_s), qPrintable(text));
#endif
    }

    // The runs end with the parent however it ends: nothing is sent after
    // it is gone, and its temporary folder goes with it (after a kill, at the
    // next run). A reader gone from its standard output ends it too.
    void parentEnds_data()
    {
        QTest::addColumn<int>("signal"); // 0: standard output closed
        QTest::addColumn<int>("status");
#ifdef Q_OS_LINUX
        QTest::newRow("SIGTERM") << int(SIGTERM) << 130;
        QTest::newRow("SIGHUP") << int(SIGHUP) << 130;
        QTest::newRow("SIGKILL") << int(SIGKILL) << -1;
#endif
        QTest::newRow("standard output closed") << 0 << 1;
    }

    void parentEnds()
    {
#ifndef Q_OS_LINUX
        QSKIP("the runs of a process are found here in /proc");
#else
        QFETCH(int, signal);
        QFETCH(int, status);
        const QString temp = Pc(u"temp"_s);
        QVERIFY(QDir().mkpath(temp));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"TMPDIR"_s, temp);
        QProcess process;
        process.setProcessEnvironment(environment);
        QStringList runs;
        if (signal != 0) {
            QVERIFY(StartThreeFilePut(process, {u"--hosts"_s, u"127.0.0.2-3"_s}));
            runs = ChildrenOf(process.processId());
            QCOMPARE(runs.size(), 2);
            QCOMPARE(QDir(temp).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
            ::kill(pid_t(process.processId()), signal);
        } else {
            // A pipe whose reader is gone; one run at a time, so the first
            // line written is refused before the second run could start.
            QVERIFY(StartEmulators({2, 3, 4}));
            int pipe[2];
            QVERIFY(::pipe(pipe) == 0);
            ::close(pipe[0]);
            process.setChildProcessModifier([out = pipe[1]] { ::dup2(out, STDOUT_FILENO); });
            process.start(Program(), {u"--port"_s, QString::number(m_nPort), u"--hosts"_s, u"127.0.0.2-4"_s,
                                      u"--jobs"_s, u"1"_s, u"ls"_s, u"USER"_s});
            ::close(pipe[1]);
        }
        QVERIFY(process.waitForFinished(20000));
        if (status >= 0) {
            QCOMPARE(process.exitStatus(), QProcess::NormalExit);
            QCOMPARE(process.exitCode(), status);
        }
        // Had they gone on, the last file would be there before they end.
        QTRY_VERIFY_WITH_TIMEOUT(
            std::none_of(runs.cbegin(), runs.cend(),
                         [](const QString& run) { return QDir(u"/proc/"_s + run).exists(); }),
            10000);
        if (signal != 0) {
            for (const int last : {2, 3})
                QVERIFY(!m_sims[last]->Exists(u"/F0:/USER/C.SEQ"_s));
        } else {
            QVERIFY(process.readAllStandardError().contains("vq8ctl: standard output closed: stopped"));
            QCOMPARE(m_sims[3]->ConnectionCount() + m_sims[4]->ConnectionCount(), 0);
        }
        if (signal == SIGKILL) {
            // The folder of a run that was killed goes at the next run.
            QCOMPARE(QDir(temp).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
            process.setProcessEnvironment(environment);
            process.start(Program(),
                          {u"--port"_s, QString::number(m_nPort), u"--hosts"_s, u"127.0.0.2-3"_s, u"idn"_s});
            QVERIFY(process.waitForFinished(10000));
            QCOMPARE(process.exitCode(), 0);
        }
        QCOMPARE(QDir(temp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
#endif
    }

    // The emulator program: told apart by --identity, on an address of its own.
    void emulatorPrograms()
    {
        QProcess first;
        QProcess second;
        const QString program = QCoreApplication::applicationDirPath() + u"/../sim/vq820-sim"_s;
        first.start(program, {u"--listen"_s, Loopback(2), u"--port"_s, u"0"_s, u"--identity"_s, Identity(2)});
        QVERIFY(first.waitForReadyRead(5000));
        m_nPort = quint16(QString::fromLatin1(first.readLine()).trimmed().section(u':', -1).toUInt());
        second.start(program, {u"--listen"_s, Loopback(3), u"--port"_s, QString::number(m_nPort),
                               u"--identity"_s, u"Lab Co,X1,7,2.0"_s});
        QVERIFY(second.waitForReadyRead(5000));
        const ToolRun run = Run({u"scan"_s, u"127.0.0.2-3"_s});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.contains(u"127.0.0.2  VELTRANE  VQ820  1002  5.60"_s), qPrintable(run.out));
        QVERIFY2(run.out.contains(u"127.0.0.3  Lab Co    X1     7     2.0"_s), qPrintable(run.out));
        QProcess bad;
        bad.start(program, {u"--identity"_s, u"A,B\tC,D"_s});
        QVERIFY(bad.waitForFinished(5000));
        QCOMPARE(bad.exitCode(), 2);
        QVERIFY(bad.readAllStandardError().startsWith("vq820-sim: not an identity line"));
#ifdef Q_OS_WIN
        // A console program there has no window to be asked to close.
        first.kill();
        second.kill();
#else
        first.terminate();
        second.terminate();
#endif
        QVERIFY(first.waitForFinished(5000) && second.waitForFinished(5000));
    }

    // A folder of 50 names: 10 new, 10 of another size, 5 only on the
    // generator, 25 the same. A dry run changes nothing; the sync then leaves
    // nothing for the next dry run to do.
    void syncFolder()
    {
        QVERIFY(StartEmulators({2}));
        CSimServer& sim = *m_sims[2];
        QVERIFY(sim.AddFolder(u"/F0:/USER/SET"_s));
        QVERIFY(QDir().mkpath(Pc(u"set"_s)));
        for (int i = 0; i < 50; ++i) {
            const QString name = u"F%1.SEQ"_s.arg(i, 2, 10, QChar(u'0'));
            const QByteArray content = Bytes(100 + i, char('a' + i % 26));
            if (i < 45)
                QVERIFY(WriteFile(Pc(u"set/"_s + name), content));
            // 0-9 new; 10-19 another size; 20-44 the same; 45-49 only there.
            if (i >= 10)
                QVERIFY(
                    sim.AddFile(u"/F0:/USER/SET/"_s + name.toLower(), i < 20 ? content + "old" : content));
        }
        const QStringList sync = {u"--host"_s, Loopback(2),  u"--yes"_s,
                                  u"sync"_s,   Pc(u"set"_s), u"USER/SET"_s};
        const auto changing = [&sim] {
            const QByteArray sent = sim.AllReceived();
            return sent.contains("mmem:data ") || sent.contains("mmem:del") || sent.contains("mmem:mdir") ||
                   sent.contains("mmem:move") || sent.contains("mmem:copy") || sent.contains("mmem:load");
        };
        sim.ClearTranscripts();
        ToolRun run = Run(sync + QStringList{u"--dry-run"_s});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.OutLines().size(), 20);
        QVERIFY(run.out.contains(u"<f+++++++++ F03.SEQ (103 bytes)\n"_s));
        QVERIFY(run.out.contains(u"<f.s....... f12.seq (115 -> 112 bytes)\n"_s));
        run = Run(sync + QStringList{u"--dry-run"_s, u"--delete"_s});
        QCOMPARE(run.OutLines().size(), 25);
        QVERIFY(run.out.startsWith(u"*deleting   f45.seq\n"_s));
        QVERIFY(!changing());

        run = Run(sync + QStringList{u"--delete"_s});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.OutLines().size(), 25);
        QVERIFY(changing());
        QCOMPARE(sim.List(u"/F0:/USER/SET"_s).size(), 45);
        for (int i = 0; i < 45; ++i) {
            const QString name = u"F%1.SEQ"_s.arg(i, 2, 10, QChar(u'0'));
            QCOMPARE(sim.FileData(u"/F0:/USER/SET/"_s + name), ReadFile(Pc(u"set/"_s + name)));
        }
        run = Run(sync + QStringList{u"--dry-run"_s, u"--delete"_s});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, QString());
    }

    // --verify reads each file back: one the generator gives back altered
    // fails the sync.
    void syncVerify()
    {
        QVERIFY(StartEmulators({2}));
        QVERIFY(QDir().mkpath(Pc(u"v"_s)));
        QVERIFY(WriteFile(Pc(u"v/GOOD.SEQ"_s), "good"));
        QVERIFY(WriteFile(Pc(u"v/BAD.SEQ"_s), "okay"));
        // The first file read back (BAD.SEQ, in name order) comes back with other bytes.
        m_sims[2]->SetScriptedReply("mmem:data?", "#14oKay", true);
        const ToolRun run =
            RunOn(2, {u"--yes"_s, u"--json"_s, u"sync"_s, u"--verify"_s, Pc(u"v"_s), u"USER"_s});
        QCOMPARE(run.status, 1);
        QVERIFY2(
            run.err.contains(u"vq8ctl: Differs from the PC file when read back : \"/F0:/USER/BAD.SEQ\""_s),
            qPrintable(run.err));
        QStringList outcomes;
        for (const QJsonValue& file :
             QJsonDocument::fromJson(run.out.toUtf8()).object().value(u"files"_s).toArray())
            outcomes.append(file.toObject().value(u"outcome"_s).toString());
        QCOMPARE(outcomes, (QStringList{u"differs"_s, u"sent"_s}));
    }

    // Towards the PC with -r and --delete: the tree as the generator holds
    // it; a link in the PC folder goes, what it names stays.
    void syncToPc()
    {
        QVERIFY(StartEmulators({2}));
        CSimServer& sim = *m_sims[2];
        QVERIFY(sim.AddFolder(u"/F0:/USER/T"_s) && sim.AddFolder(u"/F0:/USER/T/SUB"_s));
        QVERIFY(sim.AddFile(u"/F0:/USER/T/A.SEQ"_s, "alpha") &&
                sim.AddFile(u"/F0:/USER/T/SUB/B.SEQ"_s, "beta"));
        QVERIFY(QDir().mkpath(Pc(u"outside"_s)) && QDir().mkpath(Pc(u"copy/OLD"_s)));
        QVERIFY(WriteFile(Pc(u"outside/KEEP.TXT"_s), "keep"));
        QVERIFY(WriteFile(Pc(u"copy/a.seq"_s), "alphabet"));
        QVERIFY(WriteFile(Pc(u"copy/OLD/X.TXT"_s), "x"));
        QVERIFY(QFile::link(Pc(u"outside"_s), Pc(u"copy/LINK"_s)));
        const ToolRun run = RunOn(2, {u"--yes"_s, u"sync"_s, u"-r"_s, u"--delete"_s, u"--verify"_s,
                                      u"/F0:/USER/T"_s, Pc(u"copy"_s)});
        QCOMPARE(run.status, 0);
        QCOMPARE(QDir(Pc(u"copy"_s)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
                 (QStringList{u"a.seq"_s, u"SUB"_s}));
        QCOMPARE(ReadFile(Pc(u"copy/a.seq"_s)), QByteArray("alpha"));
        QCOMPARE(ReadFile(Pc(u"copy/SUB/B.SEQ"_s)), QByteArray("beta"));
        QCOMPARE(ReadFile(Pc(u"outside/KEEP.TXT"_s)), QByteArray("keep"));
    }
};

QTEST_GUILESS_MAIN(TestFleet)
#include "tst_fleet.moc"
