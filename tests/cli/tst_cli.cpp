// vq8ctl end to end against the in-process emulator: the tool's own entry
// point with captured streams, and the built program for what needs a process.

#include "cli/consolehost.h"
#include "cli/ctltarget.h"
#include "cli/ctltool.h"
#include "link/settingsnames.h"
#include "link/vqcomm.h"
#include "sim/simserver.h"
#include "tests/support/unreadablepath.h"

#include "tests/support/toolenvironment.h"
#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <functional>
#include <memory>
#include <utility>

#include <thread>
#include <vector>

#ifdef Q_OS_UNIX
#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
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

// What the terminal types; `onRead` is done when the first answer is read
// (the world changing while a question is open).
class CTypedInput final : public QBuffer
{
public:
    CTypedInput(const QByteArray& typed, std::function<void()> onRead) : m_onRead(std::move(onRead))
    {
        setData(typed);
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        if (const auto act = std::exchange(m_onRead, {}))
            act();
        return QBuffer::readData(data, maxSize);
    }

private:
    std::function<void()> m_onRead;
};

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
    std::unique_ptr<CSimServer> m_sim;
    CToolEnvironment m_tool;
    std::unique_ptr<QTemporaryDir> m_pc; // the PC side of a transfer
    std::function<void()> m_onAnswer;    // the next run's, when the first answer is read

    QString Pc(const QString& name) const { return m_pc->filePath(name); }
    // `text` with each quoted "PC/..." made the path in the PC folder, as
    // messages show it (with the system's separators).
    QString PcText(const QString& text) const
    {
        QString shown = text;
        static const QRegularExpression quoted(u"\"PC/([^\"]*)\""_s);
        for (const QRegularExpressionMatch& match : quoted.globalMatch(text))
            shown.replace(match.captured(0),
                          u'"' + QDir::toNativeSeparators(m_pc->path() + u'/' + match.captured(1)) + u'"');
        return shown;
    }
    QStringList PcEntries() const
    {
        return QDir(m_pc->path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    static QStringList Sorted(QStringList list)
    {
        list.sort();
        return list;
    }

    // Permissions as the digits of an octal mode ("0300": write and search for all).
    static QFileDevice::Permissions Permissions(int mode)
    {
        QFileDevice::Permissions permissions;
        const int bits[] = {QFileDevice::ExeOther,
                            QFileDevice::WriteOther,
                            QFileDevice::ReadOther,
                            QFileDevice::ExeGroup,
                            QFileDevice::WriteGroup,
                            QFileDevice::ReadGroup,
                            QFileDevice::ExeOwner | QFileDevice::ExeUser,
                            QFileDevice::WriteOwner | QFileDevice::WriteUser,
                            QFileDevice::ReadOwner | QFileDevice::ReadUser};
        for (int i = 0; i < 9; ++i) {
            if (mode & (1 << i))
                permissions |= QFileDevice::Permissions(bits[i]);
        }
        return permissions;
    }

    // Both sides in one notation, a line per entry: "G:NAME" below
    // /F0:/USER/T, "P:NAME" below the PC folder; a file "NAME=CONTENT", a
    // folder "NAME/", a PC link "NAME->TARGET" (below the PC folder).
    bool Prepare(const QStringList& state)
    {
        if (!m_sim->AddFolder(u"/F0:/USER/T"_s))
            return false;
        for (const QString& line : state) {
            const QString entry = line.sliced(2);
            const qsizetype equals = entry.indexOf(u'=');
            const qsizetype arrow = entry.indexOf(u"->"_s);
            bool made = false;
            if (line.startsWith(u"G:")) {
                const QString path =
                    u"/F0:/USER/T/"_s + (equals >= 0 ? entry.first(equals) : entry.chopped(1));
                made = equals >= 0 ? m_sim->AddFile(path, entry.sliced(equals + 1).toLatin1())
                                   : m_sim->AddFolder(path);
            } else if (arrow >= 0) {
                made = QFile::link(Pc(entry.sliced(arrow + 2)), Pc(entry.first(arrow)));
            } else if (equals >= 0) {
                made = WriteFile(Pc(entry.first(equals)), entry.sliced(equals + 1).toUtf8());
            } else {
                made = QDir().mkpath(Pc(entry));
            }
            if (!made)
                return false;
        }
        return true;
    }

    QStringList BothSides() const
    {
        QStringList state;
        QStringList folders{QString()};
        while (!folders.isEmpty()) {
            const QString folder = folders.takeFirst();
            for (const QString& name : m_sim->List(u"/F0:/USER/T"_s + folder)) {
                const QString path = folder.isEmpty() ? name : folder.sliced(1) + u'/' + name;
                if (name.endsWith(u'/'))
                    folders.append(u'/' + path.chopped(1));
                state.append(u"G:"_s + path +
                             (name.endsWith(u'/')
                                  ? QString()
                                  : u'=' + QString::fromLatin1(m_sim->FileData(u"/F0:/USER/T/"_s + path))));
            }
        }
        const QDir pc(m_pc->path());
        QDirIterator it(pc.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            const QString path = u"P:"_s + pc.relativeFilePath(info.filePath());
            if (info.isSymLink())
                state.append(path + u"->"_s + pc.relativeFilePath(info.symLinkTarget()));
            else if (info.isDir())
                state.append(path + u'/');
            else
                state.append(path + u'=' + QString::fromUtf8(ReadFile(info.filePath())));
        }
        return Sorted(state);
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
        CTypedInput in(input, std::exchange(m_onAnswer, {}));
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        in.open(QIODevice::ReadOnly);
        CConsoleHost host(&out, &err, &in);
        host.SetInputIsTerminal(terminal);
        host.SetErrorIsTerminal(errTerminal);
        CCtlTool tool(host);
        // The chain's pauses and the upload's pacing, shortened.
        tool.SetDelayScale(0.01);
        ToolRun run;
        run.status = tool.Run(QStringList{u"vq8ctl"_s} + arguments);
        run.out = QString::fromUtf8(out.data());
        run.err = QString::fromUtf8(err.data());
        return run;
    }

    ToolRun RunOn(const QStringList& arguments, const QByteArray& input = QByteArray(), bool terminal = false)
    {
        return Run(Target() + arguments, input, terminal);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_tool.KeepSettings()); }

    void init()
    {
        QVERIFY(m_tool.NewRecord());
        m_sim = std::make_unique<CSimServer>();
        CSimOptions options;
        options.m_nPort = 0;
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
        QTest::newRow("ls missing folder")
            << QStringList{u"ls"_s, u"NOPE"_s} << 1 << QString()
            << u"vq8ctl: generator refused ls \"/F0:/NOPE\": -256,\"File name not found\"\n"_s;
        QTest::newRow("ls a file")
            << QStringList{u"ls"_s, u"USER/README.TXT"_s} << 1 << QString()
            << u"vq8ctl: generator refused ls \"/F0:/USER/README.TXT\": -257,\"File name error\"\n"_s;
        QTest::newRow("ls pattern, case ignored")
            << QStringList{u"ls"_s, u"SIGNAL/*.cmp"_s} << 0 << u"f 1200 1080P60.CMP\nf 1100 720P50.CMP\n"_s
            << QString();
        QTest::newRow("ls pattern matching nothing")
            << QStringList{u"ls"_s, u"SIGNAL/*.XYZ"_s} << 1 << QString()
            << u"vq8ctl: No match : \"/F0:/SIGNAL/*.XYZ\"\n"_s;
        QTest::newRow("pattern in a folder name")
            << QStringList{u"ls"_s, u"SIG*/A.CMP"_s} << 1 << QString()
            << u"vq8ctl: A pattern may stand only in the last name : \"/F0:/SIG*/A.CMP\"\n"_s;
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

    // One document per command, the same keys meaning the same everywhere;
    // a failure carries its message and the generator's errors.
    void json_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QJsonArray>("generatorErrors");
        const QStringList common{u"command"_s, u"ok"_s, u"status"_s, u"earlierErrors"_s};
        QTest::newRow("idn") << QStringList{u"idn"_s} << 0 << common + QStringList{u"identity"_s} << QString()
                             << QJsonArray();
        QTest::newRow("ls") << QStringList{u"ls"_s, u"USER"_s} << 0
                            << common + QStringList{u"path"_s, u"entries"_s, u"count"_s, u"memory"_s}
                            << QString() << QJsonArray();
        QTest::newRow("df") << QStringList{u"df"_s} << 0 << common + QStringList{u"memory"_s} << QString()
                            << QJsonArray();
        QTest::newRow("refused mkdir")
            << QStringList{u"mkdir"_s, u"USER/PROJECTS/NOTES.TXT/X"_s} << 1
            << common + QStringList{u"operations"_s, u"error"_s}
            << u"generator refused mkdir \"/F0:/USER/PROJECTS/NOTES.TXT/X\": -257,\"File name error\""_s
            << QJsonArray{QJsonObject{{u"code"_s, -257}, {u"text"_s, u"File name error"_s}}};
        QTest::newRow("errors") << QStringList{u"errors"_s} << 0 << common + QStringList{u"errors"_s}
                                << QString() << QJsonArray();
        QTest::newRow("errors, one queued")
            << QStringList{u"errors"_s} << 1 << common + QStringList{u"errors"_s, u"error"_s}
            << u"the generator reported an error"_s
            << QJsonArray{QJsonObject{{u"code"_s, -256}, {u"text"_s, u"File name not found"_s}}};
        QTest::newRow("get") << QStringList{u"get"_s, u"USER/README.TXT"_s, u"PC"_s} << 0
                             << common + QStringList{u"files"_s, u"folders"_s, u"summary"_s} << QString()
                             << QJsonArray();
        QTest::newRow("usage") << QStringList{u"mv"_s, u"A"_s} << 2 << QStringList{u"status"_s, u"error"_s}
                               << u"wrong number of arguments; usage: vq8ctl mv SRC DST"_s << QJsonArray();
    }

    void json()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QStringList, keys);
        QFETCH(QString, error);
        QFETCH(QJsonArray, generatorErrors);
        arguments.replaceInStrings(u"PC"_s, m_pc->path());
        if (!generatorErrors.isEmpty() && arguments == QStringList{u"errors"_s})
            m_sim->PushError(-256, u"File name not found"_s);
        const ToolRun run = RunOn(QStringList{u"--json"_s} + arguments);
        QCOMPARE(run.status, status);
        QJsonParseError parse;
        const QJsonObject doc = QJsonDocument::fromJson(run.out.toUtf8(), &parse).object();
        QCOMPARE(parse.error, QJsonParseError::NoError);
        for (const QString& key : keys)
            QVERIFY2(doc.contains(key), qPrintable(key));
        QCOMPARE(doc.value(u"status"_s).toInt(), status);
        QCOMPARE(doc.value(u"ok"_s).toBool(), status == 0);
        QCOMPARE(doc.contains(u"error"_s), status != 0);
        // Human texts stay out of it.
        QVERIFY(!run.out.contains(u"object[s]"_s));
        if (status != 0) {
            const QJsonObject failure = doc.value(u"error"_s).toObject();
            QCOMPARE(failure.value(u"message"_s).toString(), error);
            if (!generatorErrors.isEmpty())
                QCOMPARE(failure.value(u"generatorErrors"_s).toArray(), generatorErrors);
        }
    }

    void lsJson()
    {
        const ToolRun run = RunOn({u"ls"_s, u"--json"_s, u"USER"_s});
        QCOMPARE(run.status, 0);
        const QJsonObject doc = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QCOMPARE(doc.value(u"path"_s).toString(), u"/F0:/USER"_s);
        QCOMPARE(doc.value(u"count"_s).toInt(), 2);
        QCOMPARE(doc.value(u"bytes"_s).toInteger(), 120);
        const QJsonObject memory = doc.value(u"memory"_s).toObject();
        QCOMPARE(memory.value(u"used"_s).toInteger(), m_sim->Used());
        QCOMPARE(memory.value(u"free"_s).toInteger(), m_sim->Capacity() - m_sim->Used());
        QCOMPARE(memory.value(u"total"_s).toInteger(), m_sim->Capacity());
        const QJsonArray entries = doc.value(u"entries"_s).toArray();
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries.at(0).toObject().value(u"name"_s).toString(), u"PROJECTS"_s);
        QCOMPARE(entries.at(0).toObject().value(u"type"_s).toString(), u"folder"_s);
        QCOMPARE(entries.at(1).toObject().value(u"path"_s).toString(), u"/F0:/USER/README.TXT"_s);
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

        // Text after the figures that is not a whole entry: a failure, never
        // an empty folder (as a fault probe sent them).
        QTest::newRow("unquoted names")
            << QByteArray("1000,2000,A.TXT,BIN,5,B.TXT,BIN,5\n") << 1 << QString();
        QTest::newRow("text after the figures") << QByteArray("1000,2000 BUSY\n") << 1 << QString();
        QTest::newRow("cut after an entry's comma")
            << QByteArray("1000,2000,\"A.TXT\",TXT,5,\n") << 1 << QString();
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
        // A reply that was read but not understood is quoted.
        if (status != 0 && reply.size() > 1)
            QVERIFY2(run.err.contains(QString::fromLatin1(reply.chopped(1))), qPrintable(run.err));
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
            << QStringList{u"mkdir"_s, u"USER/NOPE/NEW"_s} << 1
            << u"vq8ctl: generator refused mkdir \"/F0:/USER/NOPE/NEW\": -256,\"File name not found\"\n"_s
            << QStringList() << QStringList{u"/F0:/USER/NOPE"_s};
        QTest::newRow("mkdir several") << QStringList{u"mkdir"_s, u"USER/A"_s, u"LOGO/B"_s} << 0 << QString()
                                       << QStringList{u"/F0:/USER/A"_s, u"/F0:/LOGO/B"_s} << QStringList();
        QTest::newRow("mkdir -p") << QStringList{u"mkdir"_s, u"-p"_s, u"USER/PROJECTS/A/B"_s, u"USER"_s} << 0
                                  << QString() << QStringList{u"/F0:/USER/PROJECTS/A/B"_s} << QStringList();
        QTest::newRow("mkdir -p over a file")
            << QStringList{u"mkdir"_s, u"-p"_s, u"USER/README.TXT/A"_s} << 1
            << u"Not a folder : \"/F0:/USER/README.TXT\""_s << QStringList() << QStringList();
        QTest::newRow("mkdir -p in the root")
            << QStringList{u"mkdir"_s, u"-p"_s, u"NEW/A"_s} << 1
            << u"Cannot create a new folder in this place."_s << QStringList() << QStringList{u"/F0:/NEW"_s};
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
        QTest::newRow("rm -f missing")
            << QStringList{u"rm"_s, u"-f"_s, u"USER/NOPE"_s, u"USER/README.TXT"_s} << 0 << QString()
            << QStringList() << QStringList{u"/F0:/USER/README.TXT"_s};
        QTest::newRow("rm -rf") << QStringList{u"rm"_s, u"-rf"_s, u"USER/PROJECTS"_s, u"USER/GONE"_s} << 0
                                << QString() << QStringList() << QStringList{u"/F0:/USER/PROJECTS"_s};
        QTest::newRow("rm pattern") << QStringList{u"rm"_s, u"SIGNAL/*.cmp"_s} << 0 << QString()
                                    << QStringList{u"/F0:/SIGNAL"_s}
                                    << QStringList{u"/F0:/SIGNAL/720P50.CMP"_s, u"/F0:/SIGNAL/1080P60.CMP"_s};
        QTest::newRow("rm pattern matching nothing")
            << QStringList{u"rm"_s, u"SIGNAL/*.X"_s, u"USER/README.TXT"_s} << 1
            << u"No match : \"/F0:/SIGNAL/*.X\""_s << QStringList{u"/F0:/USER/README.TXT"_s} << QStringList();
        QTest::newRow("rm -f pattern matching nothing") << QStringList{u"rm"_s, u"-f"_s, u"SIGNAL/*.X"_s} << 0
                                                        << QString() << QStringList() << QStringList();
        QTest::newRow("rm pattern over the root's folders")
            << QStringList{u"rm"_s, u"-r"_s, u"/F0:/US*"_s} << 1 << u"Cannot remove this folder."_s
            << QStringList{u"/F0:/USER/README.TXT"_s} << QStringList();
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
        QTest::newRow("mv into itself")
            << QStringList{u"mv"_s, u"USER/PROJECTS"_s, u"USER/PROJECTS/SUB"_s} << 1
            << u"vq8ctl: generator refused mv \"/F0:/USER/PROJECTS\" \"/F0:/USER/PROJECTS/SUB\": "
               "-257,\"File name error\"\n"_s
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
        QCOMPARE(run.err, u"vq8ctl: generator refused cp \"/F0:/USER/README.TXT\" \"/F0:/USER/COPY.TXT\": "
                          "-254,\"Media full\"\n"_s);
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
        vqsettings::SetStoreFileForTests(m_tool.ConfigFile(u"settings.ini"_s));
        const auto restore = qScopeGuard([] { vqsettings::SetStoreFileForTests(QString()); });
        QVERIFY(CCtlTarget::StoredHost().isEmpty());
        vqsettings::OpenStore()->setValue(u"Settings/TargetHost"_s, u" 127.0.0.1 "_s);
        QCOMPARE(CCtlTarget::StoredHost(), u"127.0.0.1"_s);
        const ToolRun run = Run({u"--port"_s, QString::number(m_sim->Port()), u"idn"_s});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, u"VELTRANE,VQ820,0,5.60\n"_s);
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
        QVERIFY2(run.err.contains(u"Preset file : \""_s + QDir::toNativeSeparators(Pc(u"big.bin"_s)) +
                                  u"\" [OK: --yes]"_s),
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

    // On a terminal: the kind question answered by typing, then the progress
    // line rewritten in place, fitted to the width, and ended before the next
    // message; a summary line at the end.
    void terminal()
    {
        QVERIFY(WriteFile(Pc(u"NEW.SEQ"_s), RandomBytes(70000)));
        const ToolRun run =
            Run(Target() + QStringList{u"put"_s, Pc(u"NEW.SEQ"_s), u"USER"_s}, "y\n", true, true);
        QCOMPARE(run.status, 0);
        QVERIFY2(run.err.startsWith(u"vq8ctl: Sequence file : \""_s), qPrintable(run.err));
        QVERIFY2(run.err.contains(u"\r[1/1] NEW.SEQ    0%\x1b[K"_s), qPrintable(run.err));
        QVERIFY2(run.err.contains(u"\r[1/1] NEW.SEQ  100%"_s), qPrintable(run.err));
        QVERIFY2(run.err.contains(u"\x1b[K\nvq8ctl: 1 file sent, 68.4KB in "_s), qPrintable(run.err));
        QCOMPARE(m_sim->FileData(u"/F0:/USER/NEW.SEQ"_s), ReadFile(Pc(u"NEW.SEQ"_s)));
    }

    // A name already on the generator: refused naming the files, skipped, or
    // sent again; never quietly left as it was with status 0.
    void putExisting_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        QTest::addColumn<bool>("replaced");
        QTest::addColumn<bool>("otherSent");
        QTest::newRow("neither")
            << QStringList() << 1
            << u"Already on the generator (--force replaces, --skip-existing keeps them) : "
               "\"/F0:/USER/readme.txt\""_s
            << false << false;
        QTest::newRow("--skip-existing")
            << QStringList{u"--skip-existing"_s} << 0
            << u"skipped, already on the generator : \"/F0:/USER/readme.txt\""_s << false << true;
        QTest::newRow("--force") << QStringList{u"--force"_s} << 0 << QString() << true << true;
    }

    void putExisting()
    {
        QFETCH(QStringList, options);
        QFETCH(int, status);
        QFETCH(QString, err);
        QFETCH(bool, replaced);
        QFETCH(bool, otherSent);
        const QByteArray update = RandomBytes(3000);
        QVERIFY(WriteFile(Pc(u"readme.txt"_s), update));
        QVERIFY(WriteFile(Pc(u"OTHER.BIN"_s), "other"));
        const QByteArray old = m_sim->FileData(u"/F0:/USER/README.TXT"_s);
        const ToolRun run = RunOn(QStringList{u"--yes"_s, u"put"_s} + options +
                                  QStringList{Pc(u"readme.txt"_s), Pc(u"OTHER.BIN"_s), u"USER"_s});
        QVERIFY2(run.err.contains(err), qPrintable(run.err));
        QCOMPARE(run.status, status);
        QCOMPARE(m_sim->FileData(u"/F0:/USER/README.TXT"_s), replaced ? update : old);
        QCOMPARE(m_sim->Exists(u"/F0:/USER/OTHER.BIN"_s), otherSent);
        // The generator keeps the name it had.
        QVERIFY(m_sim->List(u"/F0:/USER"_s).contains(u"README.TXT"_s));
        QCOMPARE(m_sim->ErrorQueue(), QStringList());
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

        QTest::newRow("kind, no terminal")
            << QStringList() << u"A.BIN"_s << u"USER"_s << qint64(-1) << 1
            << u"Preset file : \"PC/A.BIN\" [Cancel: no terminal to ask, use --yes or --no]"_s;
        QTest::newRow("not enough memory") << QStringList{u"--yes"_s} << u"A.BIN"_s << u"USER"_s
                                           << qint64(1000) << 1 << u"Insufficient memory free space in VQ."_s;
#ifndef Q_OS_WIN // where a PC file can have such a name
        QTest::newRow("double quote") << QStringList{u"--yes"_s} << u"A\"B.BIN"_s << u"USER"_s << qint64(-1)
                                      << 1 << u"Invalid file name : \"PC/A\"B.BIN\""_s;
#endif
        QTest::newRow("comma") << QStringList{u"--yes"_s} << u"A,B.BIN"_s << u"USER"_s << qint64(-1) << 1
                               << u"Invalid file name : \"PC/A,B.BIN\""_s;
        QTest::newRow("kind refused")
            << QStringList{u"--no"_s} << u"A.LGO"_s << u"USER"_s << qint64(-1) << 1 << u"Logo File : \""_s;
        QTest::newRow("missing folder")
            << QStringList{u"--yes"_s} << u"A.BIN"_s << u"USER/NOPE"_s << qint64(-1) << 1
            << u"generator refused put \"/F0:/USER/NOPE\": -256,\"File name not found\""_s;
        QTest::newRow("a folder without -r")
            << QStringList{u"--yes"_s} << u"DIR/A.BIN"_s << u"USER"_s << qint64(-1) << 1
            << u"A folder (put -r sends folders) : \"PC/DIR\""_s;
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
        if (name.contains(u'/'))
            QVERIFY(QDir(m_pc->path()).mkpath(name.section(u'/', 0, 0)));
        QVERIFY(WriteFile(Pc(name), RandomBytes(5000)));
        if (spare >= 0)
            m_sim->SetCapacity(m_sim->Used() + spare);
        const QByteArray readme = m_sim->FileData(u"/F0:/USER/README.TXT"_s);
        m_sim->ClearTranscripts();
        const QString source = name.contains(u'/') ? Pc(name.section(u'/', 0, 0)) : Pc(name);
        const ToolRun run = RunOn(options + QStringList{u"put"_s, source, folder});
        QVERIFY2(run.err.contains(PcText(err)), qPrintable(run.err));
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

    // A copy the generator breaks off, or a block that is not the file it
    // listed (120 bytes), fails the command and leaves an existing target as
    // it was, with no temporary file beside it.
    void getFails_data()
    {
        QTest::addColumn<QByteArray>("block"); // empty: the real one, closed after 40 bytes
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("message");
        const QString changed =
            u"File changed on the generator (listed with 120 bytes, now %1): fetch it again : "
            "\"/F0:/USER/README.TXT\""_s;
        QTest::newRow("closed early")
            << QByteArray() << u"cut-short"_s << u"Connection closed by foreign host."_s;
        QTest::newRow("longer block")
            << "#6100000" + RandomBytes(100000) << u"failed"_s << changed.arg(100000);
        QTest::newRow("empty block") << QByteArray("#10\r\n") << u"failed"_s << changed.arg(0);
    }

    void getFails()
    {
        QFETCH(QByteArray, block);
        QFETCH(QString, outcome);
        QFETCH(QString, message);
        QVERIFY(WriteFile(Pc(u"keep.txt"_s), "precious"));
        CSimFaults faults;
        faults.m_nCloseAfterDataBytes = 40;
        if (block.isEmpty())
            m_sim->SetFaults(faults);
        else
            m_sim->SetScriptedReply("mmem:data?", block, true);
        const ToolRun run = RunOn({u"--json"_s, u"get"_s, u"USER/README.TXT"_s, Pc(u"keep.txt"_s)});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.startsWith(u"vq8ctl: "_s + message + u'\n'), qPrintable(run.err));
        const QJsonObject doc = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QCOMPARE(doc.value(u"files"_s).toArray().at(0).toObject().value(u"outcome"_s).toString(), outcome);
        QCOMPARE(doc.value(u"error"_s).toObject().value(u"message"_s).toString(), message);
        QCOMPARE(ReadFile(Pc(u"keep.txt"_s)), QByteArray("precious"));
        QCOMPARE(PcEntries(), QStringList{u"keep.txt"_s});
    }

    // A name with bytes 0x80 to 0x9F goes to the generator and comes back
    // under the same name, as the generator takes and lists it.
    void namesWithC1Bytes()
    {
        const QString name = u"BARS \u0096 75%.TXT"_s;
        QVERIFY(QDir(m_pc->path()).mkpath(u"OUT/C1"_s));
        QVERIFY(WriteFile(Pc(u"OUT/C1/"_s + name), "bars"));
        ToolRun run = RunOn({u"--yes"_s, u"put"_s, u"-r"_s, Pc(u"OUT/C1"_s), u"USER"_s});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QCOMPARE(m_sim->FileData(u"/F0:/USER/C1/"_s + name), QByteArray("bars"));
        run = RunOn({u"get"_s, u"-r"_s, u"USER/C1"_s, Pc(u"BACK"_s)});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QCOMPARE(ReadFile(Pc(u"BACK/"_s + name)), QByteArray("bars"));
    }

public:
    enum Wait
    {
        GetData,  // a stalled copy to the PC
        PutData,  // a stalled copy to the generator
        Reply,    // a reply that does not come
        Handshake // a connect the generator does not take
    };

private Q_SLOTS:
    // Ctrl+C ends every wait at once with exit status 130: a transfer through
    // the engine's Cancel (with the report of what arrived), a reply or a
    // connect by cutting the wait; the PC side is untouched.
    // SIGTERM and SIGHUP stop the same way, at once.
    void interrupt_data()
    {
        QTest::addColumn<int>("wait");
        QTest::addColumn<QString>("report");
        QTest::addColumn<int>("signal");
#ifdef Q_OS_UNIX
        QTest::newRow("get") << int(GetData) << u"cut short after 65536 of 524288 bytes, nothing written"_s
                             << SIGINT;
        QTest::newRow("put") << int(PutData) << u"cut short after "_s << SIGINT;
        QTest::newRow("reply") << int(Reply) << QString() << SIGINT;
        QTest::newRow("connect") << int(Handshake) << QString() << SIGINT;
        QTest::newRow("get, SIGTERM")
            << int(GetData) << u"cut short after 65536 of 524288 bytes, nothing written"_s << SIGTERM;
        QTest::newRow("reply, SIGHUP") << int(Reply) << QString() << SIGHUP;
#endif
    }

    void interrupt()
    {
#ifndef Q_OS_UNIX
        QSKIP("SIGINT is a Unix signal (under Wine: tests/cli/wine-interrupt.sh)");
#else
        QFETCH(int, wait);
        QFETCH(QString, report);
        QFETCH(int, signal);
        const bool upload = wait == GetData;
        // Bigger than the socket buffers, so a stalled send blocks.
        const QByteArray content = RandomBytes(upload ? 512 * 1024 : 24 * 1024 * 1024);
        m_sim->SetCapacity(256LL * 1024 * 1024);
        QVERIFY(WriteFile(Pc(u"BIG.BIN"_s), upload ? QByteArray("old") : content));
        if (upload)
            QVERIFY(m_sim->AddFile(u"/F0:/USER/BIG.BIN"_s, content));
        CSimFaults faults;
        faults.m_bStallTransfer = wait == GetData || wait == PutData;
        faults.m_nReplyDelayMs = wait == Reply ? 30000 : 0;
        m_sim->SetFaults(faults);
        // A listener whose queue is full leaves a connect waiting for its answer.
        std::vector<int> held;
        QStringList target = Target();
        if (wait == Handshake) {
            const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            socklen_t length = sizeof address;
            QVERIFY(::bind(listener, reinterpret_cast<sockaddr*>(&address), length) == 0);
            QVERIFY(::listen(listener, 0) == 0);
            QVERIFY(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0);
            held.push_back(listener);
            for (int i = 0; i < 4; ++i) {
                const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
                [[maybe_unused]] const int pending =
                    ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
                held.push_back(client);
            }
            target = {u"--host"_s, u"127.0.0.1"_s, u"--port"_s, QString::number(ntohs(address.sin_port))};
        }
        const auto release = qScopeGuard([&held] {
            for (const int fd : held)
                ::close(fd);
        });
        QStringList command{u"idn"_s};
        if (wait == GetData)
            command = {u"get"_s, u"USER/BIG.BIN"_s, m_pc->path()};
        else if (wait == PutData)
            command = {u"--yes"_s, u"put"_s, Pc(u"BIG.BIN"_s), u"USER"_s};
        QProcess process;
        process.start(QCoreApplication::applicationDirPath() + u"/../cli/vq8ctl"_s, target + command);
        QVERIFY(process.waitForStarted());
        if (wait == GetData || wait == PutData)
            QTRY_VERIFY_WITH_TIMEOUT(m_sim->AllReceived().contains(upload ? "mmem:data? " : "mmem:data \""),
                                     10000);
        else if (wait == Reply)
            QTRY_VERIFY_WITH_TIMEOUT(m_sim->AllReceived().contains("*idn?"), 10000);
        // In the data phase the first chunk has moved and the rest never will;
        // the reply and the connect are well inside their own bounds.
        QTest::qWait(500);
        QCOMPARE(process.state(), QProcess::Running);
        QElapsedTimer timer;
        timer.start();
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(10000));
        // At once: well before a reply wait (2 s) or a connect (5 s) would end by itself.
        if (wait == Reply || wait == Handshake)
            QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(err.section(u'\n', -2), u"vq8ctl: interrupted\n"_s);
        QVERIFY2(report.isEmpty() || err.contains(report), qPrintable(err));
        // Nothing the cut waits would have said.
        QVERIFY2(!err.contains(u"Socket error"_s) && !err.contains(u"Cannot connect"_s), qPrintable(err));
        QCOMPARE(process.exitCode(), 130);
        QCOMPARE(PcEntries(), QStringList{u"BIG.BIN"_s});
        QCOMPARE(ReadFile(Pc(u"BIG.BIN"_s)), upload ? QByteArray("old") : content);
        if (wait == PutData)
            QVERIFY(m_sim->FileData(u"/F0:/USER/BIG.BIN"_s) != content);
#endif
    }

    // Ctrl+C after every byte of a file has arrived is no cancelled file:
    // the report says it was sent complete (the exit status still tells of
    // the interruption).
    void interruptAfterArrival()
    {
        const QByteArray content = RandomBytes(200000);
        QVERIFY(WriteFile(Pc(u"DONE.BIN"_s), content));
        QBuffer out;
        QBuffer err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        CConsoleHost host(&out, &err);
        CCtlTool tool(host);
        // Real pauses: the file is there while the chain still waits.
        std::thread interrupter([&] {
            QElapsedTimer timer;
            timer.start();
            while (m_sim->FileData(u"/F0:/USER/DONE.BIN"_s) != content && timer.elapsed() < 20000)
                QThread::msleep(5);
            tool.Interrupt();
        });
        const int status =
            tool.Run(QStringList{u"vq8ctl"_s} + Target() +
                     QStringList{u"--yes"_s, u"--json"_s, u"put"_s, Pc(u"DONE.BIN"_s), u"USER"_s});
        interrupter.join();
        QCOMPARE(status, 130);
        const QString text = QString::fromUtf8(err.data());
        QVERIFY2(text.contains(u"sent complete : \"/F0:/USER/DONE.BIN\""_s), qPrintable(text));
        const QJsonObject doc = QJsonDocument::fromJson(out.data()).object();
        QCOMPARE(doc.value(u"files"_s).toArray().at(0).toObject().value(u"outcome"_s).toString(), u"sent"_s);
        QCOMPARE(m_sim->FileData(u"/F0:/USER/DONE.BIN"_s), content);
    }

    // Targets of get: a name ending in "/" is a folder, never a file of that
    // name; two files of one name into one folder are refused before
    // anything moves; "-" is standard output.
    // Nothing lost: what a command leaves on both sides, byte for byte, in
    // one notation (BothSides). A PC path may be made unreadable first.
    void bothSides_data()
    {
        QTest::addColumn<QStringList>("arguments"); // "PC/..." is below the PC folder
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("unreadable"); // below the PC folder; empty: none
        QTest::addColumn<int>("mode");           // its permissions then, as octal digits
        QTest::addColumn<QByteArray>("typed");   // on a terminal; empty: no terminal
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err"); // contained in standard error
        QTest::addColumn<QString>("out"); // null: not compared
        QTest::addColumn<QStringList>("after");

        const auto add = [](const char* name, const QStringList& arguments, const QStringList& before,
                            const QString& unreadable, int mode, const QByteArray& typed, int status,
                            const QString& err, const QString& out, const QStringList& after) {
            QTest::newRow(name) << arguments << before << unreadable << mode << typed << status << err << out
                                << after;
        };
        const QString none;
        const QByteArray noTerminal;

        // A PC folder or file that cannot be read is never empty.
        const QStringList tree{u"G:A.TXT=a"_s,    u"G:SUB/"_s,    u"G:SUB/X.TXT=x"_s,   u"P:pc/"_s,
                               u"P:pc/A.TXT=a"_s, u"P:pc/SUB/"_s, u"P:pc/SUB/X.TXT=x"_s};
        const QStringList syncDelete{u"--yes"_s,    u"sync"_s,  u"-r"_s,
                                     u"--delete"_s, u"PC/pc"_s, u"/F0:/USER/T"_s};
        add("unreadable sub-folder, sync --delete", syncDelete, tree, u"pc/SUB"_s, 0, noTerminal, 1,
            u"Cannot read the PC folder (Permission denied) : \"PC/pc/SUB\""_s, QString(), tree);
        add("unreadable PCDIR (write and search only), sync --delete", syncDelete, tree, u"pc"_s, 0300,
            noTerminal, 1, u"Cannot read the PC folder (Permission denied) : \"PC/pc\""_s, QString(), tree);
        add("unreadable file, sync --delete", syncDelete, tree, u"pc/SUB/X.TXT"_s, 0, noTerminal, 1,
            u"Cannot read the PC file (Permission denied) : \"PC/pc/SUB/X.TXT\""_s, QString(), tree);
        add("unreadable sub-folder, put -r", {u"--yes"_s, u"put"_s, u"-r"_s, u"PC/pc"_s, u"/F0:/USER/T"_s},
            tree, u"pc/SUB"_s, 0, noTerminal, 1,
            u"Cannot read the PC folder (Permission denied) : \"PC/pc/SUB\""_s, QString(), tree);
        add("unreadable file, put", {u"--yes"_s, u"put"_s, u"PC/pc/A.TXT"_s, u"/F0:/USER/T/SUB"_s}, tree,
            u"pc/A.TXT"_s, 0, noTerminal, 1,
            u"Cannot read the PC file (Permission denied) : \"PC/pc/A.TXT\""_s, QString(), tree);
        const QStringList newer{u"G:A.TXT=a"_s, u"G:SUB/"_s,          u"G:SUB/X.TXT=newer"_s,
                                u"P:pc/"_s,     u"P:pc/A.TXT=a"_s,    u"P:pc/OLD.TXT=old"_s,
                                u"P:pc/SUB/"_s, u"P:pc/SUB/X.TXT=x"_s};
        add("unreadable sub-folder, sync --delete to the PC",
            {u"--yes"_s, u"sync"_s, u"-r"_s, u"--delete"_s, u"/F0:/USER/T"_s, u"PC/pc"_s}, newer, u"pc/SUB"_s,
            0, noTerminal, 1, u"Cannot read the PC folder (Permission denied) : \"PC/pc/SUB\""_s, QString(),
            newer);

        // A link at a target is replaced, never written through.
        const QStringList link{u"G:L.TXT=generator content!"_s, u"P:outside/"_s,
                               u"P:outside/VICTIM.TXT=victim"_s, u"P:t/"_s,
                               u"P:t/L.TXT->outside/VICTIM.TXT"_s};
        const QStringList replaced{u"G:L.TXT=generator content!"_s, u"P:outside/"_s,
                                   u"P:outside/VICTIM.TXT=victim"_s, u"P:t/"_s,
                                   u"P:t/L.TXT=generator content!"_s};
        add("sync to the PC over a link", {u"sync"_s, u"/F0:/USER/T"_s, u"PC/t"_s}, link, none, 0, noTerminal,
            0, QString(), u">f.s....... L.TXT (link -> 18 bytes)\n"_s, replaced);
        add("get onto a link", {u"get"_s, u"USER/T/L.TXT"_s, u"PC/t/L.TXT"_s}, link, none, 0, noTerminal, 0,
            QString(), QString(), replaced);
        add("get into a folder, a link at the name", {u"get"_s, u"USER/T/L.TXT"_s, u"PC/t"_s}, link, none, 0,
            noTerminal, 0, QString(), QString(), replaced);
        add("get -r, a link at a file's name", {u"get"_s, u"-r"_s, u"/F0:/USER/T"_s, u"PC"_s},
            link + QStringList{u"P:T/"_s, u"P:T/L.TXT->outside/VICTIM.TXT"_s}, none, 0, noTerminal, 0,
            QString(), QString(), link + QStringList{u"P:T/"_s, u"P:T/L.TXT=generator content!"_s});
        const QStringList folderLink{u"G:SUB/"_s,     u"G:SUB/X.TXT=x"_s,
                                     u"P:outside/"_s, u"P:outside/VICTIM.TXT=victim"_s,
                                     u"P:t/"_s,       u"P:t/SUB->outside"_s};
        add("get -r, a link at a folder's name", {u"get"_s, u"-r"_s, u"/F0:/USER/T/SUB"_s, u"PC/t"_s},
            folderLink, none, 0, noTerminal, 1, u"A link is in the way of a folder : \"PC/t/SUB\""_s,
            QString(), folderLink);
        add("sync -r, a link at a folder's name", {u"sync"_s, u"-r"_s, u"/F0:/USER/T"_s, u"PC/t"_s},
            folderLink, none, 0, noTerminal, 1,
            u"A link of this name is on the PC (never followed) : \"/F0:/USER/T/SUB\""_s, QString(),
            folderLink);

        // PC names that differ only in letter case: refused before anything is written.
        const QStringList cases{u"G:A.TXT=generator"_s, u"P:t/"_s, u"P:t/A.TXT=upper"_s,
                                u"P:t/a.txt=lower"_s};
        add("two PC names for one generator name", {u"sync"_s, u"/F0:/USER/T"_s, u"PC/t"_s}, cases, none, 0,
            noTerminal, 1, u"Another PC name differs from this one only in letter case : \"PC/t/a.txt\""_s,
            QString(), cases);

        // A name is a name; a pattern only when no entry has the name.
        const QStringList names{u"G:A1.TXT=one"_s, u"G:A[1].TXT=bracket"_s, u"G:B[2]/"_s,
                                u"G:B[2]/X.TXT=x"_s};
        add("rm of a name with brackets", {u"rm"_s, u"USER/T/A[1].TXT"_s}, names, none, 0, noTerminal, 0,
            QString(), QString(), {u"G:A1.TXT=one"_s, u"G:B[2]/"_s, u"G:B[2]/X.TXT=x"_s});
        add("get of a name with brackets", {u"get"_s, u"USER/T/A[1].TXT"_s, u"PC"_s}, names, none, 0,
            noTerminal, 0, QString(), QString(), names + QStringList{u"P:A[1].TXT=bracket"_s});
        add("ls of a folder with brackets", {u"ls"_s, u"USER/T/B[2]"_s}, names, none, 0, noTerminal, 0,
            QString(), u"f 1 X.TXT\n"_s, names);
        add("a pattern where no entry has the name", {u"rm"_s, u"USER/T/A[12].TXT"_s}, names, none, 0,
            noTerminal, 0, QString(), QString(),
            {u"G:A[1].TXT=bracket"_s, u"G:B[2]/"_s, u"G:B[2]/X.TXT=x"_s});
        add("a folder named like a pattern", {u"rm"_s, u"USER/T/B[2]/X.TXT"_s}, names, none, 0, noTerminal, 0,
            QString(), QString(), {u"G:A1.TXT=one"_s, u"G:A[1].TXT=bracket"_s, u"G:B[2]/"_s});
        add("--literal: a name, never a pattern", {u"rm"_s, u"--literal"_s, u"USER/T/A?.TXT"_s}, names, none,
            0, noTerminal, 1, u"File not found : \"/F0:/USER/T/A?.TXT\""_s, QString(), names);

        // Deletions are a question: without a terminal and --yes nothing is deleted.
        const QStringList work{u"G:A.TXT=a"_s, u"P:work/"_s, u"P:work/A.TXT=a"_s, u"P:work/MINE.TXT=mine"_s};
        const QStringList toPc{u"sync"_s, u"--delete"_s, u"/F0:/USER/T"_s, u"PC/work"_s};
        add("swapped sides: deletions on the PC, no terminal", toPc, work, none, 0, noTerminal, 1,
            u"vq8ctl: Delete 1 entry in \"PC/work\" that \"/F0:/USER/T\" lacks : \"MINE.TXT\" [Cancel: no "
            u"terminal "
            "to ask, use --yes or --no]\nvq8ctl: nothing deleted or fetched\n"_s,
            QString(), work);
        add("deletions on the PC, --yes", QStringList{u"--yes"_s} + toPc, work, none, 0, noTerminal, 0,
            QString(), u"*deleting   MINE.TXT\n"_s, {u"G:A.TXT=a"_s, u"P:work/"_s, u"P:work/A.TXT=a"_s});
        add("deletions on the PC, --no", QStringList{u"--no"_s} + toPc, work, none, 0, noTerminal, 1,
            u"[Cancel: --no]"_s, QString(), work);
        add("deletions on the PC, typed yes", toPc, work, none, 0, "y\n", 0, u" [y/N] "_s, QString(),
            {u"G:A.TXT=a"_s, u"P:work/"_s, u"P:work/A.TXT=a"_s});
        const QStringList old{u"G:A.TXT=a"_s, u"G:OLD.TXT=old"_s, u"P:pc/"_s, u"P:pc/A.TXT=a"_s};
        add("only deletions on the generator, no terminal",
            {u"sync"_s, u"--delete"_s, u"PC/pc"_s, u"/F0:/USER/T"_s}, old, none, 0, noTerminal, 1,
            u"Delete 1 entry in \"/F0:/USER/T\" that \"PC/pc\" lacks : \"OLD.TXT\""_s, QString(), old);
        const QStringList seven{u"G:A.TXT=a"_s,   u"G:B.TXT=b"_s, u"G:C/"_s,
                                u"G:C/X.TXT=x"_s, u"G:D.TXT=d"_s, u"G:E.TXT=e"_s,
                                u"G:F.TXT=f"_s,   u"G:G.TXT=g"_s, u"P:pc/"_s};
        add("the count and the first names",
            {u"sync"_s, u"-r"_s, u"--delete"_s, u"PC/pc"_s, u"/F0:/USER/T"_s}, seven, none, 0, noTerminal, 1,
            u"Delete 7 entries in \"/F0:/USER/T\" that \"PC/pc\" lacks : \"A.TXT\", \"B.TXT\", \"C/\", "
            u"\"D.TXT\", "
            "\"E.TXT\" and 2 more"_s,
            QString(), seven);
    }

    void bothSides()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, before);
        QFETCH(QString, unreadable);
        QFETCH(int, mode);
        QFETCH(QByteArray, typed);
        QFETCH(int, status);
        QFETCH(QString, err);
        QFETCH(QString, out);
        QFETCH(QStringList, after);
#ifdef Q_OS_WIN
        if (before.join(u'\n').contains(u"->"_s) || before.contains(u"P:t/a.txt=lower"_s))
            QSKIP("links as this system makes them, and names that differ only in letter case, are Unix's");
#endif
        QVERIFY(Prepare(before));
        QCOMPARE(BothSides(), Sorted(before));
        for (QString& argument : arguments) {
            if (argument == u"PC" || argument.startsWith(u"PC/"))
                argument = m_pc->path() + argument.sliced(2);
        }
        ToolRun run;
        {
            std::unique_ptr<CUnreadablePath> locked;
            if (!unreadable.isEmpty()) {
                locked = std::make_unique<CUnreadablePath>(Pc(unreadable), Permissions(mode));
                if (!locked->IsActive())
                    QSKIP("no PC path can be made unreadable here");
            }
            run = RunOn(arguments, typed, !typed.isEmpty());
        }
        QVERIFY2(run.err.contains(PcText(err)), qPrintable(run.err));
        if (!out.isNull())
            QCOMPARE(run.out, out);
        QCOMPARE(run.status, status);
        QCOMPARE(BothSides(), Sorted(after));
        // After a sync a dry run has nothing left to do.
        if (status == 0 && arguments.contains(u"sync"_s)) {
            run = RunOn(arguments + QStringList{u"--dry-run"_s});
            QCOMPARE(run.out, QString());
            QCOMPARE(run.status, 0);
        }
    }

    void pcRoom_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        QTest::addColumn<bool>("fetched");
        QTest::newRow("no terminal: nothing fetched")
            << QStringList() << 1
            << u" [Cancel: no terminal to ask, use --yes or --no]\nvq8ctl: nothing deleted or fetched\n"_s
            << false;
        QTest::newRow("--yes answers it") << QStringList{u"--yes"_s} << 1 << u" [OK: --yes]\n"_s << true;
        QTest::newRow("a dry run notes it") << QStringList{u"--dry-run"_s} << 0 << u" free) : \""_s << false;
    }

    // Too little PC disk space for a sync (or get -r) is the desktop
    // program's question, asked once before the first file: --yes answers it.
    void pcRoom()
    {
        QFETCH(QStringList, options);
        QFETCH(int, status);
        QFETCH(QString, said);
        QFETCH(bool, fetched);
        // A file of a petabyte: more than any PC disk holds. The folder lists
        // itself as a sub-folder, which a sync without -r leaves.
        const QByteArray catalog = "1000,2000,\"T/\",DIR,0,\"HUGE.SEQ\",SEQ,1000000000000000";
        QVERIFY(m_sim->AddFolder(u"/F0:/USER/T"_s));
        m_sim->SetScriptedReply("mmem:cat?", catalog + '\n');

        const ToolRun run = RunOn(options + QStringList{u"sync"_s, u"/F0:/USER/T"_s, Pc(u"copy"_s)});
        QVERIFY2(run.err.startsWith(u"vq8ctl: Insufficient disk free space in PC"_s), qPrintable(run.err));
        QVERIFY2(run.err.contains(said), qPrintable(run.err));
        QCOMPARE(run.status, status);
        QCOMPARE(m_sim->AllReceived().contains("mmem:data?"), fetched);
        QCOMPARE(QFileInfo::exists(Pc(u"copy"_s)), fetched);
    }

    // A file that no longer opens when its turn comes (it did when the copy
    // was planned) is not sent, and the report says why.
    void fileUnreadableWhenSent()
    {
        QVERIFY(WriteFile(Pc(u"A.SEQ"_s), "alpha"));
        std::unique_ptr<CUnreadablePath> locked;
        m_onAnswer = [&] {
            locked = std::make_unique<CUnreadablePath>(Pc(u"A.SEQ"_s), QFileDevice::Permissions());
        };
        const ToolRun run = RunOn({u"put"_s, Pc(u"A.SEQ"_s), u"USER"_s}, "y\n", true);
        QVERIFY(locked);
        if (!locked->IsActive())
            QSKIP("no PC path can be made unreadable here");
        locked.reset();
        QVERIFY2(run.err.contains(PcText(u"File not open (Permission denied) : \"PC/A.SEQ\""_s)),
                 qPrintable(run.err));
        QVERIFY2(
            run.err.contains(u"not sent (could not be opened: Permission denied) : \"/F0:/USER/A.SEQ\""_s),
            qPrintable(run.err));
        QVERIFY(!run.err.contains(u"cut short"_s));
        QCOMPARE(run.status, 1);
        QVERIFY(!m_sim->Exists(u"/F0:/USER/A.SEQ"_s));
    }

    void getTargets_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        QTest::addColumn<QStringList>("written");
        QTest::newRow("missing folder with a slash") << QStringList{u"USER/README.TXT"_s, u"PC/NEW/"_s} << 1
                                                     << u"No such PC folder : \"PC/NEW/\""_s << QStringList();
        QTest::newRow("two of one name")
            << QStringList{u"USER/README.TXT"_s, u"USER/PROJECTS/NOTES.TXT"_s, u"USER/readme.txt"_s, u"PC"_s}
            << 1 << u"Two files would be written to : \"PC/README.TXT\""_s << QStringList();
        QTest::newRow("pattern into a folder") << QStringList{u"SIGNAL/*.CMP"_s, u"PC/"_s} << 0 << QString()
                                               << QStringList{u"1080P60.CMP"_s, u"720P50.CMP"_s};
        QTest::newRow("a folder without -r") << QStringList{u"USER/PROJECTS"_s, u"PC"_s} << 1
                                             << u"Not a file : \"/F0:/USER/PROJECTS\""_s << QStringList();
        QTest::newRow("standard output and JSON") << QStringList{u"--json"_s, u"USER/README.TXT"_s, u"-"_s}
                                                  << 2 << u"exclude each other"_s << QStringList();
        // An empty PC path names no folder (the walk up to one that exists spun for ever).
        QTest::newRow("empty target") << QStringList{u"-r"_s, u"USER/PROJECTS"_s, QString()} << 2
                                      << u"an empty PC path"_s << QStringList();
        QTest::newRow("standard output, two files")
            << QStringList{u"SIGNAL/*.CMP"_s, u"-"_s} << 2 << u"takes exactly one file"_s << QStringList();
    }

    void getTargets()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, err);
        QFETCH(QStringList, written);
        arguments.replaceInStrings(u"PC"_s, m_pc->path());
        m_sim->ClearTranscripts();
        const ToolRun run = RunOn(QStringList{u"get"_s} + arguments);
        QVERIFY2(run.err.contains(PcText(err)), qPrintable(run.err));
        QCOMPARE(run.status, status);
        QCOMPARE(PcEntries(), written);
        if (written.isEmpty())
            QVERIFY(!m_sim->AllReceived().contains("mmem:data?"));
    }

    void getToStandardOutput()
    {
        const ToolRun run = RunOn({u"get"_s, u"USER/README.TXT"_s, u"-"_s});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out.toUtf8(), m_sim->FileData(u"/F0:/USER/README.TXT"_s));
        QCOMPARE(run.err, QString());
        QCOMPARE(PcEntries(), QStringList());
    }

    // What the generator sends reaches a terminal without control characters;
    // a script reading a pipe gets the names as they are.
    void safeOutput_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("terminal");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        // Names may hold DEL and C1 characters (a C0 character ends a listing
        // as cut short, since no command could name it).
        const QByteArray listing = "1000,2000,\"A\x9b]0;owned\x7f.TXT\",TXT,5,\"\x9b"
                                   "2J\",TXT,1\n";
        QTest::newRow("names on a terminal")
            << QByteArray("mmem:cat?") << listing << QStringList{u"ls"_s, u"USER"_s} << true
            << u"f 5 A\\x9B]0;owned\\x7F.TXT\nf 1 \\x9B2J\n"_s << QString();
        QTest::newRow("names on a pipe")
            << QByteArray("mmem:cat?") << listing << QStringList{u"ls"_s, u"USER"_s} << false
            << u"f 5 A\x9b]0;owned\x7f.TXT\nf 1 \x9b"
               "2J\n"_s
            << QString();
        QTest::newRow("identity") << QByteArray("*idn?") << QByteArray("VQ\x1b[2J820\n")
                                  << QStringList{u"idn"_s} << true << u"VQ\\x1B[2J820\n"_s << QString();
        QTest::newRow("error entry") << QByteArray("stat:que:next?") << QByteArray("x\x1b[2J\n")
                                     << QStringList{u"errors"_s} << false << QString()
                                     << u"vq8ctl: Unreadable error queue entry : \"x\\x1B[2J\"\n"_s;
    }

    void safeOutput()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, reply);
        QFETCH(QStringList, arguments);
        QFETCH(bool, terminal);
        QFETCH(QString, out);
        QFETCH(QString, err);
        m_sim->SetScriptedReply(command, reply, true);
        QBuffer outBuffer;
        QBuffer errBuffer;
        outBuffer.open(QIODevice::WriteOnly);
        errBuffer.open(QIODevice::WriteOnly);
        CConsoleHost host(&outBuffer, &errBuffer);
        host.SetOutputIsTerminal(terminal);
        CCtlTool tool(host);
        tool.Run(QStringList{u"vq8ctl"_s, u"-q"_s} + Target() + arguments);
        // A pipe carries every character, in UTF-8 on every system.
        QCOMPARE(QString::fromUtf8(outBuffer.data()), out);
        QCOMPARE(QString::fromUtf8(errBuffer.data()), err);
    }

    // A reply quoted in a message is shortened, however long it was.
    void longReplyShortened()
    {
        m_sim->SetScriptedReply("mmem:cat?", QByteArray(2 * 1024 * 1024, 'x') + '\n', true);
        const ToolRun run = RunOn({u"ls"_s, u"USER"_s});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.size() < 1000, qPrintable(run.err.left(300)));
        QVERIFY(run.err.contains(u"(2097152 characters in all)"_s));
    }

    // A tree of three levels and 50 files to the generator and back, byte
    // for byte, made folder by folder through the engines.
    void treeRoundTrip()
    {
        QMap<QString, QByteArray> files;
        for (int i = 0; i < 50; ++i) {
            const QString folder = i < 20 ? u"TREE"_s : (i < 35 ? u"TREE/L2A"_s : u"TREE/L2B/L3"_s);
            const QString name =
                u"%1/F%2.%3"_s.arg(folder).arg(i, 2, 10, QChar(u'0')).arg(i % 3 ? u"BIN"_s : u"CMP"_s);
            files.insert(name, RandomBytes(1000 + i * 977));
        }
        QVERIFY(QDir(m_pc->path()).mkpath(u"TREE/L2A"_s));
        QVERIFY(QDir(m_pc->path()).mkpath(u"TREE/L2B/L3"_s));
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            QVERIFY(WriteFile(Pc(it.key()), it.value()));
        ToolRun run = RunOn({u"--yes"_s, u"put"_s, u"-r"_s, Pc(u"TREE"_s), u"USER"_s});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        // One question per kind for the whole tree.
        QCOMPARE(run.err.count(u"[OK: --yes]"_s), 2);
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            QVERIFY2(m_sim->FileData(u"/F0:/USER/"_s + it.key()) == it.value(), qPrintable(it.key()));

        run = RunOn({u"get"_s, u"-r"_s, u"USER/TREE"_s, Pc(u"BACK"_s)});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            const QString back = QString(it.key()).replace(0, 4, u"BACK"_s);
            QVERIFY2(ReadFile(Pc(back)) == it.value(), qPrintable(back));
        }
        QCOMPARE(QDir(Pc(u"BACK/L2B/L3"_s)).entryList(QDir::Files).size(), 15);
    }

    // A tree is checked whole before anything is made or sent.
    void treeRefused_data()
    {
        QTest::addColumn<QString>("bad");      // made inside the PC tree
        QTest::addColumn<QString>("existing"); // put on the generator first
        QTest::addColumn<QString>("err");
        QTest::newRow("a comma deep down")
            << u"A/B/X,Y.BIN"_s << QString() << u"Invalid file name : \"PC/T/A/B/X,Y.BIN\""_s;
        QTest::newRow("too large")
            << u"A/HUGE.BIN"_s << QString()
            << u"File too large to send (1,000,000,000 bytes or more) : \"PC/T/A/HUGE.BIN\""_s;
        QTest::newRow("a file where a folder goes")
            << QString() << u"/F0:/USER/T/A"_s
            << u"A file of this name is on the generator : \"/F0:/USER/T/A\""_s;
        QTest::newRow("too deep") << u"D/D/D/D/D/D/D/D/D/D/D/D/D/D/D/D/D/D/D/D/D/D/D/D/D/D/D/D/D/D/D/X.BIN"_s
                                  << QString() << u"Too deep for the generator"_s;
    }

    void treeRefused()
    {
        QFETCH(QString, bad);
        QFETCH(QString, existing);
        QFETCH(QString, err);
        QVERIFY(QDir(m_pc->path()).mkpath(u"T/A/B"_s));
        QVERIFY(WriteFile(Pc(u"T/A/B/OK.BIN"_s), "ok"));
        if (!bad.isEmpty()) {
            QVERIFY(QDir(m_pc->path()).mkpath(u"T/"_s + bad.section(u'/', 0, -2)));
            QFile file(Pc(u"T/"_s + bad));
            QVERIFY(file.open(QIODevice::WriteOnly));
            // Sparse: the size counts, not the disk.
            QVERIFY(file.resize(bad.contains(u"HUGE"_s) ? MAX_DOWNLOAD_SIZE + 1 : 10));
        }
        if (!existing.isEmpty())
            QVERIFY(m_sim->AddFile(existing, "x"));
        m_sim->ClearTranscripts();
        const ToolRun run = RunOn({u"--yes"_s, u"put"_s, u"-r"_s, Pc(u"T"_s), u"USER"_s});
        QVERIFY2(run.err.contains(PcText(err)), qPrintable(run.err));
        QCOMPARE(run.status, 1);
        QVERIFY(!m_sim->AllReceived().contains("mmem:mdir"));
        QVERIFY(!m_sim->AllReceived().contains("mmem:data "));
    }

    // --dry-run says what would be made and sent, and sends nothing.
    void dryRun()
    {
        QVERIFY(QDir(m_pc->path()).mkpath(u"T/SUB"_s));
        QVERIFY(WriteFile(Pc(u"T/SUB/A.SEQ"_s), "12345"));
        m_sim->ClearTranscripts();
        const ToolRun run = RunOn({u"put"_s, u"-r"_s, u"--dry-run"_s, Pc(u"T"_s), u"USER"_s});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, u"mkdir \"/F0:/USER/T\"\nmkdir \"/F0:/USER/T/SUB\"\nsend \"%1\" -> "
                          "\"/F0:/USER/T/SUB/A.SEQ\" (5 bytes)\n"_s.arg(
                              QDir::toNativeSeparators(Pc(u"T/SUB/A.SEQ"_s))));
        QVERIFY(!m_sim->AllReceived().contains("mmem:mdir"));
        QVERIFY(!m_sim->AllReceived().contains("mmem:data "));
        QVERIFY(!m_sim->Exists(u"/F0:/USER/T"_s));
    }

    // Where the generator's address comes from, and -v says so.
    void addressSources_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("environment"); // NAME=VALUE
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        QTest::newRow("environment")
            << QStringList{u"-v"_s} << QStringList{u"VQ8_HOST=127.0.0.1"_s, u"VQ8_PORT=SIM"_s} << 0
            << u"vq8ctl: generator 127.0.0.1:SIM (address from VQ8_HOST, port from VQ8_PORT)\n"_s;
        QTest::newRow("options first")
            << QStringList{u"-v"_s, u"--host"_s, u"127.0.0.1"_s, u"--port"_s, u"SIM"_s}
            << QStringList{u"VQ8_HOST=127.0.0.2"_s, u"VQ8_PORT=1"_s} << 0
            << u"vq8ctl: generator 127.0.0.1:SIM (address from --host, port from --port)\n"_s;
        QTest::newRow("bad port") << QStringList()
                                  << QStringList{u"VQ8_HOST=127.0.0.1"_s, u"VQ8_PORT=70000"_s} << 2
                                  << u"vq8ctl: not a port in VQ8_PORT: \"70000\"\n"_s;
    }

    void addressSources()
    {
        QFETCH(QStringList, options);
        QFETCH(QStringList, environment);
        QFETCH(int, status);
        QFETCH(QString, err);
        const QString port = QString::number(m_sim->Port());
        QProcessEnvironment variables;
        for (const QString& pair : std::as_const(environment))
            variables.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1).replace(u"SIM"_s, port));
        QBuffer out;
        QBuffer errBuffer;
        out.open(QIODevice::WriteOnly);
        errBuffer.open(QIODevice::WriteOnly);
        CConsoleHost host(&out, &errBuffer);
        CCtlTool tool(host);
        tool.SetEnvironment(variables);
        QCOMPARE(tool.Run(QStringList{u"vq8ctl"_s} + options.replaceInStrings(u"SIM"_s, port) +
                          QStringList{u"idn"_s}),
                 status);
        QCOMPARE(QString::fromUtf8(errBuffer.data()), QString(err).replace(u"SIM"_s, port));
    }

    // The wire trace: every line and block header with its connection, the
    // data as a count, never the bytes.
    void trace()
    {
        QByteArray content = RandomBytes(5000);
        content.replace("\n", "_");
        QVERIFY(WriteFile(Pc(u"A#1.BIN"_s), content));
        const ToolRun run =
            RunOn({u"--yes"_s, u"--trace"_s, Pc(u"trace.txt"_s), u"put"_s, Pc(u"A#1.BIN"_s), u"USER"_s});
        QCOMPARE(run.status, 0);
        // A text file, with the platform's line ends.
        const QString text = QString::fromUtf8(ReadFile(Pc(u"trace.txt"_s))).replace(u"\r\n"_s, u"\n"_s);
        const QStringList expected = {
            u" ms  cmd#1        - connected to 127.0.0.1:"_s,
            u" ms  cmd#1        > stat:que:next?\n"_s,
            u" ms  cmd#1        < 0,\"No error\"\n"_s,
            u" ms  transfer#2   > mmem:data \"/F0:/USER/A#1.BIN\",#45000  [block of 5000 data bytes]\n"_s,
            u" ms  transfer#2   > [5000 data bytes]\n"_s,
            u" ms  transfer#2   - closed\n"_s,
            u" ms  cmd#3        - connected"_s,
        };
        for (const QString& line : expected)
            QVERIFY2(text.contains(line), qPrintable(line + u"\n---\n"_s + text));
        QVERIFY(!ReadFile(Pc(u"trace.txt"_s)).contains(content.left(16)));
    }

    // --progress without a terminal: a line per tenth, none rewritten in place.
    void progressSteps()
    {
        QVERIFY(WriteFile(Pc(u"P.SEQ"_s), RandomBytes(20 * 32768)));
        const ToolRun run =
            RunOn({u"--progress"_s, u"get"_s, u"USER/README.TXT"_s, u"LOGO/BRAND.LGO"_s, m_pc->path()});
        QCOMPARE(run.status, 0);
        QVERIFY(!run.err.contains(u'\r'));
        QVERIFY2(run.err.contains(u"[1/2] README.TXT    0%\n[1/2] README.TXT  100%"_s), qPrintable(run.err));
        QVERIFY2(run.err.contains(u"[2/2] BRAND.LGO  100%"_s), qPrintable(run.err));
        QVERIFY2(run.err.contains(u"vq8ctl: 2 files received, "_s), qPrintable(run.err));
        QCOMPARE(RunOn({u"get"_s, u"USER/README.TXT"_s, m_pc->path()}).err, QString());
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
        QTest::newRow("command help")
            << QStringList{u"put"_s, u"-h"_s} << 0 << u"Usage: vq8ctl [OPTIONS] put [-r]"_s << QString();
        QTest::newRow("bad VQ8_PORT")
            << QStringList{u"idn"_s} << 2 << QString() << u"vq8ctl: not a port in VQ8_PORT"_s;
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
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"VQ8_HOST"_s, u"127.0.0.1"_s);
        environment.insert(u"VQ8_PORT"_s, u"x"_s);
        process.setProcessEnvironment(environment);
        process.start(QCoreApplication::applicationDirPath() + u"/../cli/vq8ctl"_s, arguments);
        QVERIFY(process.waitForFinished(20000));
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(outStart.isEmpty() ? out.isEmpty() : out.startsWith(outStart), qPrintable(out));
        QVERIFY2(errStart.isEmpty() ? err.isEmpty() : err.startsWith(errStart), qPrintable(err));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), status);
    }

    // The built program's streams as scripts read them through pipes: a
    // file's content byte for byte (also LF, CR LF and Ctrl+Z), JSON and text
    // in UTF-8 (on Windows too, whatever the code page).
    void programStreams_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("check");
        QTest::newRow("file content") << QStringList{u"get"_s, u"USER/BYTES.BIN"_s, u"-"_s} << u"bytes"_s;
        QTest::newRow("JSON") << QStringList{u"--json"_s, u"ls"_s, u"USER"_s} << u"json"_s;
        QTest::newRow("text") << QStringList{u"ls"_s, u"USER"_s} << u"text"_s;
    }

    void programStreams()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, check);
        QByteArray bytes;
        for (int i = 0; i < 3 * 256; ++i)
            bytes.append(char(i));
        bytes += "\r\n\n\x1a\r";
        const QString name = u"Gr\u00f6\u00dfe \u00e4.BMP"_s;
        QVERIFY(m_sim->AddFile(u"/F0:/USER/BYTES.BIN"_s, bytes));
        QVERIFY(m_sim->AddFile(u"/F0:/USER/"_s + name, "bmp"));
        QProcess process;
        process.start(QCoreApplication::applicationDirPath() + u"/../cli/vq8ctl"_s, Target() + arguments);
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitCode(), 0);
        const QByteArray out = process.readAllStandardOutput();
        if (check == u"bytes") {
            QCOMPARE(out, bytes);
        } else if (check == u"json") {
            QJsonParseError error;
            const QJsonDocument document = QJsonDocument::fromJson(out, &error);
            QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
            QStringList names;
            for (const QJsonValue& entry : document.object().value(u"entries"_s).toArray())
                names.append(entry.toObject().value(u"name"_s).toString());
            QVERIFY2(names.contains(name), qPrintable(names.join(u", "_s)));
        } else {
            QVERIFY2(QString::fromUtf8(out).contains(u"f 3 "_s + name), out.constData());
        }
    }

    // A temporary file that a copy killed on the way left beside its target
    // is named at the next copy there, and left alone; a name that only
    // looks like one is not named.
    void leftoverNamed()
    {
        QVERIFY(WriteFile(Pc(u"README.TXT.Ab12Cd"_s), "partial"));
        QVERIFY(WriteFile(Pc(u"README.TXT.backup1"_s), "mine"));
        const ToolRun run = RunOn({u"get"_s, u"USER/README.TXT"_s, m_pc->path()});
        QCOMPARE(run.status, 0);
        QCOMPARE(
            run.err,
            u"vq8ctl: Left by a copy that was ended from outside (delete it if no copy is running) : \""_s +
                QDir::toNativeSeparators(Pc(u"README.TXT.Ab12Cd"_s)) + u"\"\n"_s);
        QCOMPARE(PcEntries(),
                 (QStringList{u"README.TXT"_s, u"README.TXT.Ab12Cd"_s, u"README.TXT.backup1"_s}));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
