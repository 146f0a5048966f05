// vq8ctl end to end against the in-process emulator: the tool's own entry
// point with captured streams, and the built program for what needs a process.

#include "consolehost.h"
#include "ctltool.h"
#include "settingsnames.h"
#include "simserver.h"
#include "vqcomm.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

using namespace Qt::StringLiterals;

namespace {

QByteArray RandomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(size);
    for (char& byte : bytes)
        byte = char(generator.generate() & 0xFF);
    return bytes;
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

struct ToolRun
{
    int status = -1;
    QString out;
    QString err;
};

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<vqsim::SimServer> m_sim;
    QTemporaryDir m_config;
    std::unique_ptr<QTemporaryDir> m_pc; // the PC side of a transfer

    QString Pc(const QString& name) const { return m_pc->filePath(name); }
    QStringList PcEntries() const
    {
        return QDir(m_pc->path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QStringList Target() const
    {
        return {u"--host"_s, u"127.0.0.1"_s, u"--port"_s, QString::number(m_sim->Port())};
    }

    // Runs the tool in-process; `input` is what the terminal would type.
    ToolRun Run(const QStringList& arguments, const QByteArray& input = QByteArray(), bool terminal = false,
                bool errTerminal = false)
    {
        QBuffer out;
        QBuffer err;
        QBuffer in;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        in.setData(input);
        in.open(QIODevice::ReadOnly);
        CConsoleHost host(&out, &err, &in);
        host.SetInputIsTerminal(terminal);
        host.SetErrorIsTerminal(errTerminal);
        CCtlTool tool(host);
        // The chain's pauses and the upload's pacing, shortened.
        tool.SetDelayScale(0.01);
        ToolRun run;
        run.status = tool.Run(QStringList{u"vq8ctl"_s} + arguments);
        run.out = QString::fromLocal8Bit(out.data());
        run.err = QString::fromLocal8Bit(err.data());
        return run;
    }

    ToolRun RunOn(const QStringList& arguments) { return Run(Target() + arguments); }

private Q_SLOTS:
    void initTestCase()
    {
        // The desktop program's settings of this user stay out of reach.
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
        QStandardPaths::setTestModeEnabled(true);
    }

    void init()
    {
        m_sim = std::make_unique<vqsim::SimServer>();
        vqsim::SimOptions options;
        options.port = 0;
        QVERIFY2(m_sim->Start(options), qPrintable(m_sim->ErrorString()));
        QVERIFY(m_sim->AddFolder(u"/F0:/LOGO/EMPTY"_s));
        m_pc = std::make_unique<QTemporaryDir>();
        QVERIFY(m_pc->isValid());
    }

    void cleanup()
    {
        m_sim.reset();
        m_pc.reset();
    }

    // Read-only commands: exact output for scripts, the status texts for people.
    void readCommands_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");

        QTest::newRow("idn") << QStringList{u"idn"_s} << 0 << u"VELTRANE,VQ820,0,5.60\n"_s << QString();
        QTest::newRow("ls absolute, trailing slash")
            << QStringList{u"ls"_s, u"/F0:/USER/"_s} << 0 << u"d 0 PROJECTS\nf 120 README.TXT\n"_s
            << u"2 object[s]\n120 bytes [Memory free: 64.0MB]\n"_s;
        QTest::newRow("ls relative to the root")
            << QStringList{u"ls"_s, u"PICTURE"_s} << 0 << u"f 2054 SPLASH.BMP\nf 5000 TESTCARD.PIC\n"_s
            << u"2 object[s]\n6.89KB [Memory free: 64.0MB]\n"_s;
        QTest::newRow("ls quiet") << QStringList{u"-q"_s, u"ls"_s, u"USER/PROJECTS"_s} << 0
                                  << u"f 80 NOTES.TXT\n"_s << QString();
        QTest::newRow("ls root") << QStringList{u"ls"_s} << 0
                                 << u"d 0 DOWNLOAD\nd 0 LOGO\nd 0 PATTERN\nd 0 PICTURE\nd 0 PRESET\n"
                                    "d 0 SEQUENCE\nd 0 SIGNAL\nd 0 USER\n"_s
                                 << u"8 object[s]\n0 bytes [Memory free: 64.0MB]\n"_s;
        // The folder change is not answered; without the queue check the
        // listing would be that of the previous folder.
        QTest::newRow("ls missing folder") << QStringList{u"ls"_s, u"NOPE"_s} << 1 << QString()
                                           << u"vq8ctl: generator error: -256,\"File name not found\"\n"_s;
        QTest::newRow("ls a file") << QStringList{u"ls"_s, u"USER/README.TXT"_s} << 1 << QString()
                                   << u"vq8ctl: generator error: -257,\"File name error\"\n"_s;
        QTest::newRow("ls unsafe path") << QStringList{u"ls"_s, u"USER/A\"B"_s} << 1 << QString()
                                        << u"vq8ctl: Invalid file name : \"/F0:/USER/A\"B\"\n"_s;
        QTest::newRow("errors, queue empty")
            << QStringList{u"errors"_s} << 0 << u"0,\"No error\"\n"_s << QString();
    }

    void readCommands()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const ToolRun run = RunOn(arguments);
        QCOMPARE(run.out, out);
        QCOMPARE(run.err, err);
        QCOMPARE(run.status, status);
    }

    void lsJson()
    {
        const ToolRun run = RunOn({u"ls"_s, u"--json"_s, u"USER"_s});
        QCOMPARE(run.status, 0);
        QJsonParseError error;
        const QJsonObject doc = QJsonDocument::fromJson(run.out.toUtf8(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(doc.value(u"folder"_s).toString(), u"/F0:/USER"_s);
        QCOMPARE(doc.value(u"count"_s).toInt(), 2);
        QCOMPARE(doc.value(u"bytes"_s).toInteger(), 120);
        QCOMPARE(doc.value(u"memoryUsed"_s).toInteger(), m_sim->Used());
        QCOMPARE(doc.value(u"memoryFree"_s).toInteger(), m_sim->Capacity() - m_sim->Used());
        QCOMPARE(doc.value(u"objectsText"_s).toString(), u"2 object[s]"_s);
        const QJsonArray entries = doc.value(u"entries"_s).toArray();
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries.at(0).toObject().value(u"name"_s).toString(), u"PROJECTS"_s);
        QCOMPARE(entries.at(0).toObject().value(u"folder"_s).toBool(), true);
        QCOMPARE(entries.at(1).toObject().value(u"size"_s).toInteger(), 120);
        QVERIFY(run.err.isEmpty());
    }

    void df()
    {
        m_sim->AddFile(u"/F0:/USER/BIG.BIN"_s, QByteArray(3 * 1024 * 1024, 'x'));
        const qint64 used = m_sim->Used();
        const qint64 total = m_sim->Capacity();
        const ToolRun run = RunOn({u"df"_s});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, u"used %1 %2\nfree %3 %4\ntotal %5 64.0MB\n"_s.arg(used)
                              .arg(QString::asprintf("%.2fMB", double(used) / 1048576.0))
                              .arg(total - used)
                              .arg(QString::asprintf("%.1fMB", double(total - used) / 1048576.0))
                              .arg(total));
    }

    // Odd catalog replies: an empty folder is fine, a reply that cannot be
    // read completely is a failure, never a short listing with status 0.
    void lsReplies_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");

        QTest::newRow("empty folder") << QByteArray("1000,2000\n") << 0 << QString();
        QTest::newRow("two entries") << QByteArray("1000,2000,\"A.SEQ\",SEQ,10,\"SUB/\",DIR,0\n") << 0
                                     << u"f 10 A.SEQ\nd 0 SUB\n"_s;
        QTest::newRow("no figures") << QByteArray("garbage\n") << 1 << QString();
        QTest::newRow("bad size ends the listing")
            << QByteArray("1000,2000,\"A.SEQ\",SEQ,10,\"B.SEQ\",SEQ,xx,\"C.SEQ\",SEQ,1\n") << 1 << QString();
        QTest::newRow("empty line") << QByteArray("\n") << 1 << QString();
    }

    void lsReplies()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, status);
        QFETCH(QString, out);
        m_sim->SetScriptedReply("mmem:cat?", reply, true);
        const ToolRun run = RunOn({u"ls"_s, u"USER"_s});
        QCOMPARE(run.out, out);
        QCOMPARE(run.status, status);
        QCOMPARE(run.err.contains(u"vq8ctl: "_s), status != 0);
    }

    // Commands that change the generator: result, exit status, message, and
    // what the emulator holds afterwards.
    void changes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("absent");

        const QString exists =
            u"A file with the name you specified already exists.\n\nSpecify a different filename."_s;
        QTest::newRow("mkdir") << QStringList{u"mkdir"_s, u"USER/NEW"_s} << 0 << QString()
                               << QStringList{u"/F0:/USER/NEW"_s} << QStringList();
        QTest::newRow("mkdir in the root")
            << QStringList{u"mkdir"_s, u"/F0:/NEW"_s} << 1 << u"Cannot create a new folder in this place."_s
            << QStringList() << QStringList{u"/F0:/NEW"_s};
        QTest::newRow("mkdir over a file, other case")
            << QStringList{u"mkdir"_s, u"USER/readme.txt"_s} << 1 << exists << QStringList() << QStringList();
        QTest::newRow("mkdir in a missing folder")
            << QStringList{u"mkdir"_s, u"NOPE/NEW"_s} << 1 << u"-256,\"File name not found\""_s
            << QStringList() << QStringList{u"/F0:/NOPE"_s};
        QTest::newRow("mkdir with a comma")
            << QStringList{u"mkdir"_s, u"USER/A,B"_s} << 1 << u"Invalid file name : \"A,B\""_s
            << QStringList() << QStringList{u"/F0:/USER/A,B"_s};
        QTest::newRow("rmdir empty") << QStringList{u"rmdir"_s, u"LOGO/EMPTY"_s} << 0 << QString()
                                     << QStringList{u"/F0:/LOGO/BRAND.LGO"_s}
                                     << QStringList{u"/F0:/LOGO/EMPTY"_s};
        QTest::newRow("rmdir a file") << QStringList{u"rmdir"_s, u"LOGO/BRAND.LGO"_s} << 1
                                      << u"Not a folder : \"/F0:/LOGO/BRAND.LGO\""_s
                                      << QStringList{u"/F0:/LOGO/BRAND.LGO"_s} << QStringList();
        QTest::newRow("rm empty folder") << QStringList{u"rm"_s, u"LOGO/EMPTY"_s} << 0 << QString()
                                         << QStringList() << QStringList{u"/F0:/LOGO/EMPTY"_s};
        QTest::newRow("rmdir not empty") << QStringList{u"rmdir"_s, u"USER/PROJECTS"_s} << 1
                                         << u"Folder not empty : \"/F0:/USER/PROJECTS\""_s
                                         << QStringList{u"/F0:/USER/PROJECTS/NOTES.TXT"_s} << QStringList();
        QTest::newRow("rmdir fixed folder")
            << QStringList{u"rmdir"_s, u"LOGO"_s} << 1 << u"Cannot remove this folder."_s
            << QStringList{u"/F0:/LOGO"_s} << QStringList();
        QTest::newRow("rm files") << QStringList{u"rm"_s, u"USER/README.TXT"_s, u"/F0:/SIGNAL/720P50.CMP"_s}
                                  << 0 << QString() << QStringList{u"/F0:/SIGNAL/1080P60.CMP"_s}
                                  << QStringList{u"/F0:/USER/README.TXT"_s, u"/F0:/SIGNAL/720P50.CMP"_s};
        QTest::newRow("rm stops at the first failure")
            << QStringList{u"rm"_s, u"USER/README.TXT"_s, u"USER/NOPE"_s, u"SIGNAL/720P50.CMP"_s} << 1
            << u"File not found : \"/F0:/USER/NOPE\""_s << QStringList{u"/F0:/SIGNAL/720P50.CMP"_s}
            << QStringList{u"/F0:/USER/README.TXT"_s};
        QTest::newRow("rm folder with entries")
            << QStringList{u"rm"_s, u"USER/PROJECTS"_s} << 1 << u"Folder not empty"_s
            << QStringList{u"/F0:/USER/PROJECTS/NOTES.TXT"_s} << QStringList();
        QTest::newRow("rm -r") << QStringList{u"rm"_s, u"-r"_s, u"USER/PROJECTS"_s} << 0 << QString()
                               << QStringList{u"/F0:/USER/README.TXT"_s}
                               << QStringList{u"/F0:/USER/PROJECTS"_s};
        QTest::newRow("rm -r nested")
            << QStringList{u"rm"_s, u"-r"_s, u"PATTERN/CUSTOM"_s} << 0 << QString()
            << QStringList{u"/F0:/PATTERN/COLORBAR.PIC"_s} << QStringList{u"/F0:/PATTERN/CUSTOM"_s};
        QTest::newRow("rm fixed folder")
            << QStringList{u"rm"_s, u"-r"_s, u"USER"_s} << 1 << u"Cannot remove this folder."_s
            << QStringList{u"/F0:/USER/README.TXT"_s} << QStringList();
        QTest::newRow("mv rename") << QStringList{u"mv"_s, u"USER/README.TXT"_s, u"USER/R2.TXT"_s} << 0
                                   << QString() << QStringList{u"/F0:/USER/R2.TXT"_s}
                                   << QStringList{u"/F0:/USER/README.TXT"_s};
        QTest::newRow("mv into a folder")
            << QStringList{u"mv"_s, u"USER/README.TXT"_s, u"USER/PROJECTS"_s} << 0 << QString()
            << QStringList{u"/F0:/USER/PROJECTS/README.TXT"_s} << QStringList{u"/F0:/USER/README.TXT"_s};
        QTest::newRow("mv over an existing name")
            << QStringList{u"mv"_s, u"USER/README.TXT"_s, u"USER/PROJECTS/notes.txt"_s} << 1 << exists
            << QStringList{u"/F0:/USER/README.TXT"_s} << QStringList();
        QTest::newRow("mv fixed folder")
            << QStringList{u"mv"_s, u"LOGO"_s, u"USER"_s} << 1 << u"Can not rename this folder"_s
            << QStringList{u"/F0:/LOGO"_s} << QStringList{u"/F0:/USER/LOGO"_s};
        QTest::newRow("mv into the root") << QStringList{u"mv"_s, u"USER/README.TXT"_s, u"/F0:/"_s} << 1
                                          << u"Nothing can be placed directly in \"/F0:/\"."_s
                                          << QStringList{u"/F0:/USER/README.TXT"_s} << QStringList();
        QTest::newRow("mv into itself") << QStringList{u"mv"_s, u"USER/PROJECTS"_s, u"USER/PROJECTS/SUB"_s}
                                        << 1 << u"File name error : \"/F0:/USER/PROJECTS\""_s
                                        << QStringList{u"/F0:/USER/PROJECTS"_s} << QStringList();
        QTest::newRow("mv missing source")
            << QStringList{u"mv"_s, u"USER/NOPE"_s, u"USER/X"_s} << 1 << u"File not found"_s << QStringList()
            << QStringList{u"/F0:/USER/X"_s};
        QTest::newRow("cp file") << QStringList{u"cp"_s, u"USER/README.TXT"_s, u"PICTURE/R.TXT"_s} << 0
                                 << QString()
                                 << QStringList{u"/F0:/USER/README.TXT"_s, u"/F0:/PICTURE/R.TXT"_s}
                                 << QStringList();
        QTest::newRow("cp folder into a folder")
            << QStringList{u"cp"_s, u"USER/PROJECTS"_s, u"SIGNAL"_s} << 0 << QString()
            << QStringList{u"/F0:/SIGNAL/PROJECTS/NOTES.TXT"_s, u"/F0:/USER/PROJECTS/NOTES.TXT"_s}
            << QStringList();
        QTest::newRow("cp to an unsafe name")
            << QStringList{u"cp"_s, u"USER/README.TXT"_s, u"USER/A\"B"_s} << 1 << u"Invalid file name"_s
            << QStringList() << QStringList();
    }

    void changes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, err);
        QFETCH(QStringList, present);
        QFETCH(QStringList, absent);
        const ToolRun run = RunOn(arguments);
        QVERIFY2(err.isEmpty() ? run.err.isEmpty() : run.err.contains(err), qPrintable(run.err));
        QCOMPARE(run.out, QString());
        QCOMPARE(run.status, status);
        for (const QString& path : present)
            QVERIFY2(m_sim->Exists(path), qPrintable(path));
        for (const QString& path : absent)
            QVERIFY2(!m_sim->Exists(path), qPrintable(path));
        // Nothing the tool refused itself, and nothing it did, is left in the queue.
        QCOMPARE(m_sim->ErrorQueue(), QStringList());
    }

    // A listing cut short inside an entry is not an empty folder.
    void cutShortListing()
    {
        m_sim->SetScriptedReply("mmem:cat?", "1000,2000,\"A.TXT\",TXT,5,\"B.TX\n", true);
        const ToolRun run = RunOn({u"ls"_s, u"USER"_s});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(u"Unreadable catalog entry"_s), qPrintable(run.err));
    }

    // An unsafe name never reaches the wire.
    void unsafeNameSendsNothing()
    {
        m_sim->ClearTranscripts();
        QCOMPARE(RunOn({u"mkdir"_s, u"USER/A\"B"_s}).status, 1);
        QCOMPARE(RunOn({u"rm"_s, u"USER/A\rmmem:del \"/F0:/USER/README.TXT"_s}).status, 1);
        QVERIFY(!m_sim->AllReceived().contains("mmem:mdir"));
        QVERIFY(!m_sim->AllReceived().contains("mmem:del"));
        QVERIFY(m_sim->Exists(u"/F0:/USER/README.TXT"_s));
    }

    // The generator refuses a command it was sent: exit status 1 with its error.
    void generatorErrorFails()
    {
        m_sim->SetCapacity(m_sim->Used() + 100);
        const ToolRun run = RunOn({u"cp"_s, u"USER/README.TXT"_s, u"USER/COPY.TXT"_s});
        QCOMPARE(run.err, u"vq8ctl: Media full : \"/F0:/USER/README.TXT\"\n"_s);
        QCOMPARE(run.status, 1);
        QVERIFY(!m_sim->Exists(u"/F0:/USER/COPY.TXT"_s));
    }

    // Errors queued before the command are shown, not blamed on it; the
    // errors command reports them all and fails.
    void queueOwnership()
    {
        m_sim->PushError(-113, u"Undefined header"_s);
        ToolRun run = RunOn({u"mkdir"_s, u"USER/NEW"_s});
        QCOMPARE(run.status, 0);
        QVERIFY2(
            run.err.contains(u"earlier generator error (before this command): -113,\"Undefined header\""_s),
            qPrintable(run.err));
        QVERIFY(m_sim->IsFolder(u"/F0:/USER/NEW"_s));

        m_sim->PushError(-256, u"File name not found"_s);
        m_sim->PushError(-257, u"File name error"_s);
        run = RunOn({u"errors"_s});
        QCOMPARE(run.out, u"-256,\"File name not found\"\n-257,\"File name error\"\n0,\"No error\"\n"_s);
        QCOMPARE(run.status, 1);
        QCOMPARE(RunOn({u"errors"_s}).out, u"0,\"No error\"\n"_s);
    }

    // A queue that never reaches its code-0 entry, or answers nonsense, is a failure.
    void queueReplies_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("err");
        QTest::newRow("never ends") << QByteArray("-350,\"Queue overflow\"\n") << u"did not end after 100"_s;
        QTest::newRow("not a number")
            << QByteArray("hello\n") << u"Unreadable error queue entry : \"hello\""_s;
    }

    void queueReplies()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, err);
        m_sim->SetScriptedReply("stat:que:next?", reply);
        const ToolRun run = RunOn({u"errors"_s});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(err), qPrintable(run.err));
        QVERIFY(run.out.count(u'\n') <= MAX_QUEUE_READS);
    }

    void unreachable()
    {
        const quint16 port = m_sim->Port();
        m_sim.reset();
        const ToolRun run = Run({u"--host"_s, u"127.0.0.1"_s, u"--port"_s, QString::number(port), u"idn"_s});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.err, u"vq8ctl: Cannot connect to \"127.0.0.1\"\n"_s);
    }

    // Without --host the desktop program's stored address is used.
    void storedHost()
    {
        {
            QSettings settings(QSettings::NativeFormat, QSettings::UserScope, vqsettings::ORGANISATION,
                               vqsettings::APPLICATION);
            QVERIFY2(settings.fileName().startsWith(m_config.path()) ||
                         settings.fileName().contains(u"qttest"_s),
                     qPrintable(settings.fileName()));
            settings.remove(u"Settings/TargetHost"_s);
            settings.sync();
            QCOMPARE(CCtlTool::StoredHost(), u"192.168.0.1"_s);
            settings.setValue(u"Settings/TargetHost"_s, u"127.0.0.1"_s);
            settings.sync();
        }
        QCOMPARE(CCtlTool::StoredHost(), u"127.0.0.1"_s);
        const ToolRun run = Run({u"--port"_s, QString::number(m_sim->Port()), u"idn"_s});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, u"VELTRANE,VQ820,0,5.60\n"_s);
        QSettings(QSettings::NativeFormat, QSettings::UserScope, vqsettings::ORGANISATION,
                  vqsettings::APPLICATION)
            .remove(u"Settings/TargetHost"_s);
    }

    void demo()
    {
        const ToolRun run = Run({u"--demo"_s, u"ls"_s, u"SEQUENCE"_s});
        QCOMPARE(run.out, u"f 300 DEMO.SEQ\n"_s);
        QCOMPARE(run.status, 0);
    }

    // PC to generator and back, byte for byte, several files in one batch.
    void roundTrip()
    {
        const QByteArray big = RandomBytes(1024 * 1024 + 17);
        const QByteArray empty;
        QVERIFY(WriteFile(Pc(u"big.bin"_s), big));
        QVERIFY(WriteFile(Pc(u"EMPTY.SEQ"_s), empty));
        ToolRun run = RunOn({u"--yes"_s, u"put"_s, Pc(u"big.bin"_s), Pc(u"EMPTY.SEQ"_s), u"USER/PROJECTS"_s});
        QVERIFY2(run.err.contains(u"Preset file : \""_s + Pc(u"big.bin"_s) + u"\" [OK: --yes]"_s),
                 qPrintable(run.err));
        QVERIFY2(run.err.contains(u"Sequence file : \""_s), qPrintable(run.err));
        QCOMPARE(run.status, 0);
        QCOMPARE(m_sim->FileData(u"/F0:/USER/PROJECTS/big.bin"_s), big);
        QVERIFY(m_sim->Exists(u"/F0:/USER/PROJECTS/EMPTY.SEQ"_s));

        QDir(m_pc->path()).mkdir(u"back"_s);
        run = RunOn({u"get"_s, u"USER/PROJECTS/BIG.BIN"_s, u"/F0:/USER/PROJECTS/empty.seq"_s,
                     u"USER/README.TXT"_s, Pc(u"back"_s)});
        QCOMPARE(run.err, QString());
        QCOMPARE(run.status, 0);
        // Saved under the name the generator lists.
        QCOMPARE(ReadFile(Pc(u"back/big.bin"_s)), big);
        QCOMPARE(ReadFile(Pc(u"back/EMPTY.SEQ"_s)), empty);
        QCOMPARE(ReadFile(Pc(u"back/README.TXT"_s)), m_sim->FileData(u"/F0:/USER/README.TXT"_s));

        // One file to a file name, over an existing file.
        QVERIFY(WriteFile(Pc(u"old.bin"_s), "old"));
        run = RunOn({u"get"_s, u"USER/PROJECTS/big.bin"_s, Pc(u"old.bin"_s)});
        QCOMPARE(run.status, 0);
        QCOMPARE(ReadFile(Pc(u"old.bin"_s)), big);
    }

    // On a terminal: the answer typed for the existing name, then the
    // progress line rewritten in place and ended before the next message.
    void terminal()
    {
        QVERIFY(WriteFile(Pc(u"README.TXT"_s), RandomBytes(100000)));
        QVERIFY(WriteFile(Pc(u"NEW.SEQ"_s), RandomBytes(70000)));
        const ToolRun run =
            Run(Target() + QStringList{u"put"_s, Pc(u"README.TXT"_s), Pc(u"NEW.SEQ"_s), u"USER"_s}, "y\ny\n",
                true, true);
        QCOMPARE(run.status, 0);
        QVERIFY2(run.err.startsWith(u"vq8ctl: This file already exists : \"README.TXT\" [y/N] "
                                    "vq8ctl: Sequence file : \""_s),
                 qPrintable(run.err));
        QVERIFY2(run.err.contains(u"\rNEW.SEQ  0/70000 bytes  0%\x1b[K"_s), qPrintable(run.err));
        QVERIFY2(run.err.endsWith(u"\rNEW.SEQ  70000/70000 bytes  100%\x1b[K\n"_s), qPrintable(run.err));
        QCOMPARE(m_sim->FileData(u"/F0:/USER/NEW.SEQ"_s), ReadFile(Pc(u"NEW.SEQ"_s)));
        QCOMPARE(m_sim->FileData(u"/F0:/USER/README.TXT"_s).size(), 120);
    }

    // Refusals before anything is sent: the engine's checks and the tool's own.
    void putRefused_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<qint64>("spare"); // generator memory left free, -1: as it is
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");

        QTest::newRow("existing name, no terminal")
            << QStringList() << u"readme.txt"_s << u"USER"_s << qint64(-1) << 1
            << u"This file already exists : \"readme.txt\" [Cancel: no terminal to ask, use --yes or --no]"_s;
        QTest::newRow("existing name, --yes skips it") << QStringList{u"--yes"_s} << u"readme.txt"_s
                                                       << u"USER"_s << qint64(-1) << 0 << u"nothing sent"_s;
        QTest::newRow("not enough memory") << QStringList{u"--yes"_s} << u"A.BIN"_s << u"USER"_s
                                           << qint64(1000) << 1 << u"Insufficient memory free space in VQ."_s;
        QTest::newRow("double quote") << QStringList{u"--yes"_s} << u"A\"B.BIN"_s << u"USER"_s << qint64(-1)
                                      << 1 << u"Invalid file name : \"A\"B.BIN\""_s;
        QTest::newRow("comma") << QStringList{u"--yes"_s} << u"A,B.BIN"_s << u"USER"_s << qint64(-1) << 1
                               << u"Invalid file name : \"A,B.BIN\""_s;
        QTest::newRow("kind refused")
            << QStringList{u"--no"_s} << u"A.LGO"_s << u"USER"_s << qint64(-1) << 1 << u"Logo File : \""_s;
        QTest::newRow("missing folder") << QStringList{u"--yes"_s} << u"A.BIN"_s << u"USER/NOPE"_s
                                        << qint64(-1) << 1 << u"generator error: -256"_s;
        QTest::newRow("root") << QStringList{u"--yes"_s} << u"A.BIN"_s << u"/F0:/"_s << qint64(-1) << 1
                              << u"Nothing can be placed directly in \"/F0:/\"."_s;
    }

    void putRefused()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, name);
        QFETCH(QString, folder);
        QFETCH(qint64, spare);
        QFETCH(int, status);
        QFETCH(QString, err);
        QVERIFY(WriteFile(Pc(name), RandomBytes(5000)));
        if (spare >= 0)
            m_sim->SetCapacity(m_sim->Used() + spare);
        const QByteArray readme = m_sim->FileData(u"/F0:/USER/README.TXT"_s);
        m_sim->ClearTranscripts();
        const ToolRun run = RunOn(options + QStringList{u"put"_s, Pc(name), folder});
        QVERIFY2(run.err.contains(err), qPrintable(run.err));
        QCOMPARE(run.status, status);
        QVERIFY(!m_sim->AllReceived().contains("mmem:data "));
        QCOMPARE(m_sim->FileData(u"/F0:/USER/README.TXT"_s), readme);
        QCOMPARE(m_sim->ErrorQueue(), QStringList());
    }

    void getRefused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        QTest::newRow("missing") << QStringList{u"USER/NOPE"_s, u"PC"_s} << 1
                                 << u"File not found : \"/F0:/USER/NOPE\""_s;
        QTest::newRow("folder") << QStringList{u"USER/PROJECTS"_s, u"PC"_s} << 1
                                << u"Not a file : \"/F0:/USER/PROJECTS\""_s;
        QTest::newRow("several to a file name")
            << QStringList{u"USER/README.TXT"_s, u"LOGO/BRAND.LGO"_s, u"PC/x"_s} << 2
            << u"must be a folder"_s;
        QTest::newRow("unsafe path") << QStringList{u"USER/A\"B"_s, u"PC"_s} << 1 << u"Invalid file name"_s;
    }

    void getRefused()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, err);
        arguments.replaceInStrings(u"PC"_s, m_pc->path());
        const ToolRun run = RunOn(QStringList{u"get"_s} + arguments);
        QVERIFY2(run.err.contains(err), qPrintable(run.err));
        QCOMPARE(run.status, status);
        QCOMPARE(PcEntries(), QStringList());
    }

    // A connection the generator closes early fails the command and leaves an
    // existing target as it was, with no temporary file beside it.
    void getCutShort()
    {
        QVERIFY(WriteFile(Pc(u"keep.txt"_s), "precious"));
        vqsim::SimFaults faults;
        faults.closeAfterDataBytes = 40;
        m_sim->SetFaults(faults);
        const ToolRun run = RunOn({u"get"_s, u"USER/README.TXT"_s, Pc(u"keep.txt"_s)});
        QCOMPARE(run.status, 1);
        QVERIFY(!run.err.isEmpty());
        QCOMPARE(ReadFile(Pc(u"keep.txt"_s)), QByteArray("precious"));
        QCOMPARE(PcEntries(), QStringList{u"keep.txt"_s});
    }

    // Ctrl+C during a stalled transfer, either way: the engine's Cancel,
    // exit status 1, the PC side untouched and nothing left beside it.
    void interrupt_data()
    {
        QTest::addColumn<bool>("upload");
        QTest::addColumn<QByteArray>("dataCommand");
        QTest::newRow("get") << true << QByteArray("mmem:data? ");
        QTest::newRow("put") << false << QByteArray("mmem:data \"");
    }

    void interrupt()
    {
#ifndef Q_OS_UNIX
        QSKIP("SIGINT is a Unix signal");
#else
        QFETCH(bool, upload);
        QFETCH(QByteArray, dataCommand);
        // Bigger than the socket buffers, so a stalled send blocks.
        const QByteArray content = RandomBytes(upload ? 512 * 1024 : 24 * 1024 * 1024);
        m_sim->SetCapacity(256LL * 1024 * 1024);
        QVERIFY(WriteFile(Pc(u"BIG.BIN"_s), upload ? QByteArray("old") : content));
        if (upload)
            QVERIFY(m_sim->AddFile(u"/F0:/USER/BIG.BIN"_s, content));
        vqsim::SimFaults faults;
        faults.stallTransfer = true;
        m_sim->SetFaults(faults);
        QProcess process;
        process.start(QCoreApplication::applicationDirPath() + u"/../cli/vq8ctl"_s,
                      Target() + (upload ? QStringList{u"get"_s, u"USER/BIG.BIN"_s, m_pc->path()}
                                         : QStringList{u"--yes"_s, u"put"_s, Pc(u"BIG.BIN"_s), u"USER"_s}));
        QVERIFY(process.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(m_sim->AllReceived().contains(dataCommand), 10000);
        // The worker is in its data phase: the first chunk moved, the rest never will.
        QTest::qWait(500);
        QCOMPARE(process.state(), QProcess::Running);
        ::kill(pid_t(process.processId()), SIGINT);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(QString::fromLocal8Bit(process.readAllStandardError()).section(u'\n', -2),
                 u"vq8ctl: cancelled\n"_s);
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(PcEntries(), QStringList{u"BIG.BIN"_s});
        QCOMPARE(ReadFile(Pc(u"BIG.BIN"_s)), upload ? QByteArray("old") : content);
#endif
    }

    // The built program: streams, exit status, help on standard output.
    void program_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("outStart");
        QTest::addColumn<QString>("errStart");
        QTest::newRow("demo idn") << QStringList{u"--demo"_s, u"idn"_s} << 0 << u"VELTRANE,VQ820"_s
                                  << QString();
        QTest::newRow("help") << QStringList{u"--help"_s} << 0 << u"Usage: vq8ctl [OPTIONS] COMMAND"_s
                              << QString();
        QTest::newRow("command help") << QStringList{u"put"_s, u"-h"_s} << 0
                                      << u"Usage: vq8ctl [OPTIONS] put FILE... FOLDER"_s << QString();
        QTest::newRow("bad usage") << QStringList{u"mv"_s, u"A"_s} << 2 << QString()
                                   << u"vq8ctl: wrong number of arguments"_s;
    }

    void program()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, outStart);
        QFETCH(QString, errStart);
        QProcess process;
        process.start(QCoreApplication::applicationDirPath() + u"/../cli/vq8ctl"_s, arguments);
        QVERIFY(process.waitForFinished(20000));
        const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        QVERIFY2(outStart.isEmpty() ? out.isEmpty() : out.startsWith(outStart), qPrintable(out));
        QVERIFY2(errStart.isEmpty() ? err.isEmpty() : err.startsWith(errStart), qPrintable(err));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), status);
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
