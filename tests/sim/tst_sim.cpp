#include "sim/simfilesystem.h"
#include "sim/simserver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>
#include <vector>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

// A link in a host folder, as QFile::link makes one: a shortcut on Windows,
// which Qt takes for a link only under its .lnk name.
#ifdef Q_OS_WIN
const QString kLink = u"LINK.lnk"_s;
#else
const QString kLink = u"LINK"_s;
#endif

// A raw client: blocking calls on the test thread, the server has its own.
class Client
{
public:
    // Without `wait`, the connect is only started: clients made one after
    // another then connect at once.
    explicit Client(quint16 port, bool wait = true)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        if (wait)
            WaitConnected();
    }

    bool WaitConnected() { return m_connected = m_connected || m_socket.waitForConnected(3000); }
    bool IsConnected() const { return m_connected; }
    QTcpSocket& Socket() { return m_socket; }

    void Send(const QByteArray& bytes)
    {
        m_socket.write(bytes);
        while (m_socket.bytesToWrite() > 0 && m_socket.waitForBytesWritten(3000)) {
        }
    }

    // Bytes until and including the first LF; what came in when time ran out otherwise.
    QByteArray ReadLine(int timeoutMs = 3000)
    {
        QElapsedTimer timer;
        timer.start();
        qsizetype end = m_buffer.indexOf('\n');
        while (end < 0 && timer.elapsed() < timeoutMs) {
            if (m_socket.bytesAvailable() == 0 &&
                !m_socket.waitForReadyRead(int(timeoutMs - timer.elapsed())))
                break;
            // Only the new bytes are searched: a line may be megabytes long.
            const qsizetype searched = m_buffer.size();
            m_buffer += m_socket.readAll();
            end = m_buffer.indexOf('\n', searched);
        }
        const QByteArray line = m_buffer.left(end < 0 ? m_buffer.size() : end + 1);
        m_buffer.remove(0, line.size());
        return line;
    }

    QByteArray Read(qsizetype count, int timeoutMs = 5000)
    {
        QElapsedTimer timer;
        timer.start();
        while (m_buffer.size() < count && timer.elapsed() < timeoutMs) {
            if (m_socket.bytesAvailable() == 0 &&
                !m_socket.waitForReadyRead(int(timeoutMs - timer.elapsed())))
                break;
            m_buffer += m_socket.readAll();
        }
        const QByteArray bytes = m_buffer.left(count);
        m_buffer.remove(0, bytes.size());
        return bytes;
    }

    QByteArray Query(const QByteArray& command)
    {
        Send(command + "\r\n");
        const QByteArray line = ReadLine();
        return line.endsWith('\n') ? line.chopped(1) : line;
    }

    // A definite-length block as the server sends it, with its LF.
    QByteArray ReadBlock()
    {
        const QByteArray head = Read(2);
        if (head.size() != 2 || head.at(0) != '#' || head.at(1) < '1' || head.at(1) > '9')
            return QByteArrayLiteral("<bad header>") + head;
        const qint64 length = Read(head.at(1) - '0').toLongLong();
        const QByteArray data = Read(length);
        return Read(1) == "\n" ? data : QByteArrayLiteral("<no LF>");
    }

    bool WaitClosed(int timeoutMs = 3000)
    {
        if (m_socket.state() == QAbstractSocket::UnconnectedState)
            return true;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            m_socket.waitForReadyRead(50);
            m_buffer += m_socket.readAll();
            if (m_socket.state() == QAbstractSocket::UnconnectedState)
                return true;
        }
        return false;
    }

    QByteArray Buffered() const { return m_buffer; }

private:
    QTcpSocket m_socket;
    QByteArray m_buffer;
    bool m_connected = false;
};

QByteArray Block(const QByteArray& data)
{
    const QByteArray length = QByteArray::number(data.size());
    return '#' + QByteArray::number(length.size()) + length + data;
}

QByteArray WriteCommand(const QString& path, const QByteArray& data)
{
    return "mmem:data \"" + path.toLatin1() + "\"," + Block(data) + "\r\n";
}

// "/F0:/USER/<top>/L1/.../L<levels>" made one "mmem:mdir" at a time.
QByteArray FolderChain(const QString& top, int levels, QString* deepest)
{
    QString path = u"/F0:/USER/"_s + top;
    QByteArray commands = "mmem:mdir \"" + path.toLatin1() + "\"\r\n";
    for (int i = 1; i <= levels; ++i) {
        path += u"/L%1"_s.arg(i);
        commands += "mmem:mdir \"" + path.toLatin1() + "\"\r\n";
    }
    *deepest = path;
    return commands;
}

QByteArray Pattern(qsizetype size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        data[i] = char((i * 7 + i / 251) & 0xff);
    return data;
}

// Another client's answer while many read large replies slowly.
#if defined(__SANITIZE_ADDRESS__)
constexpr int ANSWER_MS = 500; // every step of the emulator is checked, several times slower
#elif defined(Q_OS_WIN)
constexpr int ANSWER_MS = 500; // the tests run under Wine, whose sockets add their own delay
#else
constexpr int ANSWER_MS = 100;
#endif

const QByteArray kNoError = QByteArrayLiteral("0,\"No error\"");
const QByteArray kIdentity = QByteArrayLiteral("VELTRANE,VQ820,0,5.60");

#ifdef Q_OS_LINUX
// This process's resident size in bytes.
qint64 ResidentBytes()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

// User and system time a process has used so far.
[[maybe_unused]] double CpuSeconds(qint64 pid)
{
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(::sysconf(_SC_CLK_TCK));
}
#endif

} // namespace

class TestSim : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CSimServer> m_sim;

    QByteArray NextError(Client& client) { return client.Query("stat:que:next?"); }

    // The emulator as a program of its own; its port from its first line.
    static bool StartProgram(QProcess& process, const QStringList& arguments, quint16* port)
    {
        process.start(QCoreApplication::applicationDirPath() + u"/../sim/vq820-sim"_s, arguments);
        if (!process.waitForStarted() || !process.waitForReadyRead(5000))
            return false;
        // Windows ends a line of a program's text output with CR LF.
        static const QRegularExpression pattern(u"^listening on 127\\.0\\.0\\.1:(\\d+)\r?\n$"_s);
        const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(process.readLine()));
        *port = quint16(match.captured(1).toUInt());
        return match.hasMatch();
    }

    void Restart(const CSimOptions& options)
    {
        m_sim = std::make_unique<CSimServer>();
        QVERIFY(m_sim->Start(options));
    }

private Q_SLOTS:
    void init()
    {
        m_sim = std::make_unique<CSimServer>();
        CSimOptions options;
        options.m_nPort = 0;
        QVERIFY2(m_sim->Start(options), qPrintable(m_sim->ErrorString()));
        QVERIFY(m_sim->Port() != 0);
    }

    void cleanup() { m_sim.reset(); }

    void portInUse()
    {
        CSimServer second;
        CSimOptions options;
        options.m_nPort = m_sim->Port();
        QVERIFY(!second.Start(options));
        QVERIFY(!second.ErrorString().isEmpty());
        QCOMPARE(second.Port(), quint16(0));
    }

    void seededContent()
    {
        const QStringList first = m_sim->List(u"/F0:/"_s);
        for (const QString& folder : first)
            QVERIFY2(folder.endsWith(u'/'), qPrintable(folder));
        QVERIFY(first.size() >= 6);
        const QStringList kinds = {u".DNL"_s, u".LGO"_s, u".SEQ"_s, u".PIC"_s,
                                   u".PST"_s, u".CMP"_s, u".TXT"_s};
        QStringList all;
        for (const QString& folder : first) {
            for (const QString& name : m_sim->List(u"/F0:/"_s + folder))
                all.append(name);
        }
        for (const QString& kind : kinds) {
            QVERIFY2(
                std::any_of(all.cbegin(), all.cend(), [&](const QString& n) { return n.endsWith(kind); }),
                qPrintable(kind));
        }
        QVERIFY(all.contains(u"MSTATE01.P01"_s));
        QVERIFY(m_sim->Used() > 0);

        // Emptied: the same first-level folders, nothing in them.
        CSimServer empty;
        CSimOptions options;
        options.m_nPort = 0;
        options.m_bSeedFiles = false;
        QVERIFY(empty.Start(options));
        QCOMPARE(empty.List(u"/F0:/"_s), first);
        for (const QString& folder : first)
            QCOMPARE(empty.List(u"/F0:/"_s + folder), QStringList());
        QCOMPARE(empty.Used(), 0);
    }

    void identityAndEmptyQueue()
    {
        Client client(m_sim->Port());
        QVERIFY(client.IsConnected());
        QCOMPARE(client.Query("*idn?"), QByteArray("VELTRANE,VQ820,0,5.60"));
        QCOMPARE(client.Query("*IDN?"), QByteArray("VELTRANE,VQ820,0,5.60"));
        QCOMPARE(NextError(client), kNoError);
    }

    void commands_data()
    {
        QTest::addColumn<QByteArray>("commands");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("absent");
        QTest::addColumn<QByteArray>("error");

        const QByteArray fileNotFound = "-256,\"File name not found\"";
        const QByteArray nameError = "-257,\"File name error\"";
        const QByteArray storageError = "-250,\"Mass storage error\"";
        QTest::newRow("mdir") << QByteArray("mmem:mdir \"/F0:/USER/NEW\"") << QStringList{u"/F0:/USER/NEW"_s}
                              << QStringList() << kNoError;
        QTest::newRow("mdir existing")
            << QByteArray("mmem:mdir \"/F0:/user/projects\"") << QStringList() << QStringList() << nameError;
        QTest::newRow("mdir in root") << QByteArray("mmem:mdir \"/F0:/TOP\"") << QStringList()
                                      << QStringList{u"/F0:/TOP"_s} << nameError;
        QTest::newRow("mdir no parent") << QByteArray("mmem:mdir \"/F0:/USER/NO/NEW\"") << QStringList()
                                        << QStringList{u"/F0:/USER/NO"_s} << fileNotFound;
        QTest::newRow("rdir empty") << QByteArray("mmem:mdir \"/F0:/USER/E\"\r\nmmem:rdir \"/F0:/USER/E\"")
                                    << QStringList() << QStringList{u"/F0:/USER/E"_s} << kNoError;
        QTest::newRow("rdir not empty")
            << QByteArray("mmem:rdir \"/F0:/USER/PROJECTS\"")
            << QStringList{u"/F0:/USER/PROJECTS/NOTES.TXT"_s} << QStringList() << storageError;
        QTest::newRow("rdir first level")
            << QByteArray("mmem:del:all \"/F0:/LOGO\"\r\nmmem:rdir \"/F0:/LOGO\"")
            << QStringList{u"/F0:/LOGO"_s} << QStringList() << nameError;
        QTest::newRow("rdir file") << QByteArray("mmem:rdir \"/F0:/USER/README.TXT\"")
                                   << QStringList{u"/F0:/USER/README.TXT"_s} << QStringList() << nameError;
        QTest::newRow("del file") << QByteArray("mmem:del \"/F0:/user/readme.txt\"")
                                  << QStringList{u"/F0:/USER"_s} << QStringList{u"/F0:/USER/README.TXT"_s}
                                  << kNoError;
        QTest::newRow("del missing") << QByteArray("mmem:del \"/F0:/USER/NONE.TXT\"") << QStringList()
                                     << QStringList() << fileNotFound;
        QTest::newRow("del full folder")
            << QByteArray("mmem:del \"/F0:/USER/PROJECTS\"") << QStringList{u"/F0:/USER/PROJECTS/NOTES.TXT"_s}
            << QStringList() << storageError;
        QTest::newRow("del:all") << QByteArray("mmem:del:all \"/F0:/USER\"") << QStringList{u"/F0:/USER"_s}
                                 << QStringList{u"/F0:/USER/README.TXT"_s, u"/F0:/USER/PROJECTS"_s}
                                 << kNoError;
        QTest::newRow("move rename") << QByteArray(
                                            "mmem:move \"/F0:/USER/README.TXT\",\"/F0:/USER/INFO.TXT\"")
                                     << QStringList{u"/F0:/USER/INFO.TXT"_s}
                                     << QStringList{u"/F0:/USER/README.TXT"_s} << kNoError;
        QTest::newRow("move case only")
            << QByteArray("mmem:move \"/F0:/USER/README.TXT\",\"/F0:/USER/ReadMe.txt\"")
            << QStringList{u"/F0:/USER/README.TXT"_s} << QStringList() << kNoError;
        // The destination is the new path: a folder there is a name taken, not a place to go into.
        QTest::newRow("move onto folder")
            << QByteArray("mmem:move \"/F0:/USER/README.TXT\",\"/F0:/LOGO\"")
            << QStringList{u"/F0:/USER/README.TXT"_s} << QStringList{u"/F0:/LOGO/README.TXT"_s} << nameError;
        QTest::newRow("move onto sub-folder")
            << QByteArray("mmem:move \"/F0:/USER/README.TXT\",\"/F0:/user/projects\"")
            << QStringList{u"/F0:/USER/README.TXT"_s} << QStringList{u"/F0:/USER/PROJECTS/README.TXT"_s}
            << nameError;
        QTest::newRow("move folder onto file")
            << QByteArray("mmem:move \"/F0:/USER/PROJECTS\",\"/F0:/USER/readme.TXT\"")
            << QStringList{u"/F0:/USER/PROJECTS/NOTES.TXT"_s, u"/F0:/USER/README.TXT"_s} << QStringList()
            << nameError;
        QTest::newRow("move below itself")
            << QByteArray("mmem:mdir \"/F0:/USER/PROJECTS/SUB\"\r\n"
                          "mmem:move \"/F0:/USER/PROJECTS\",\"/F0:/USER/projects/SUB/P\"")
            << QStringList{u"/F0:/USER/PROJECTS/SUB"_s} << QStringList{u"/F0:/USER/PROJECTS/SUB/P"_s}
            << nameError;
        QTest::newRow("move folder") << QByteArray("mmem:move \"/F0:/USER/PROJECTS\",\"/F0:/LOGO/OLD\"")
                                     << QStringList{u"/F0:/LOGO/OLD/NOTES.TXT"_s}
                                     << QStringList{u"/F0:/USER/PROJECTS"_s} << kNoError;
        QTest::newRow("move onto file")
            << QByteArray("mmem:move \"/F0:/SIGNAL/720P50.CMP\",\"/F0:/SIGNAL/1080P60.CMP\"")
            << QStringList{u"/F0:/SIGNAL/720P50.CMP"_s} << QStringList() << nameError;
        QTest::newRow("move into itself")
            << QByteArray("mmem:move \"/F0:/USER/PROJECTS\",\"/F0:/USER/PROJECTS/X\"")
            << QStringList{u"/F0:/USER/PROJECTS"_s} << QStringList() << nameError;
        QTest::newRow("move first level")
            << QByteArray("mmem:move \"/F0:/USER\",\"/F0:/LOGO/USER\"") << QStringList{u"/F0:/USER"_s}
            << QStringList{u"/F0:/LOGO/USER"_s} << nameError;
        QTest::newRow("move missing") << QByteArray("mmem:move \"/F0:/USER/NO\",\"/F0:/USER/YES\"")
                                      << QStringList() << QStringList{u"/F0:/USER/YES"_s} << fileNotFound;
        QTest::newRow("copy") << QByteArray("mmem:copy \"/F0:/USER/README.TXT\", \"/F0:/LOGO/R.TXT\"")
                              << QStringList{u"/F0:/USER/README.TXT"_s, u"/F0:/LOGO/R.TXT"_s} << QStringList()
                              << kNoError;
        QTest::newRow("copy no blank") << QByteArray("mmem:copy \"/F0:/USER/README.TXT\",\"/F0:/LOGO/R.TXT\"")
                                       << QStringList{u"/F0:/LOGO/R.TXT"_s} << QStringList() << kNoError;
        QTest::newRow("copy onto file")
            << QByteArray("mmem:copy \"/F0:/SIGNAL/720P50.CMP\", \"/F0:/signal/1080p60.cmp\"")
            << QStringList{u"/F0:/SIGNAL/720P50.CMP"_s} << QStringList() << nameError;
        QTest::newRow("copy onto folder")
            << QByteArray("mmem:copy \"/F0:/USER/README.TXT\", \"/F0:/LOGO\"") << QStringList()
            << QStringList{u"/F0:/LOGO/README.TXT"_s} << nameError;
        QTest::newRow("copy into itself")
            << QByteArray("mmem:copy \"/F0:/USER/PROJECTS\", \"/F0:/USER/PROJECTS/X\"") << QStringList()
            << QStringList{u"/F0:/USER/PROJECTS/X"_s} << nameError;
        QTest::newRow("copy folder") << QByteArray("mmem:copy \"/F0:/USER\" , \"/F0:/LOGO/U\"")
                                     << QStringList{u"/F0:/LOGO/U/PROJECTS/NOTES.TXT"_s,
                                                    u"/F0:/USER/README.TXT"_s}
                                     << QStringList() << kNoError;
        QTest::newRow("unknown") << QByteArray("mmem:frob \"/F0:/USER\"") << QStringList() << QStringList()
                                 << QByteArray("-113,\"Undefined header\"");
        QTest::newRow("unquoted") << QByteArray("mmem:mdir /F0:/USER/U") << QStringList()
                                  << QStringList{u"/F0:/USER/U"_s} << QByteArray("-104,\"Data type error\"");
        QTest::newRow("open quote") << QByteArray("mmem:mdir \"/F0:/USER/U") << QStringList()
                                    << QStringList{u"/F0:/USER/U"_s} << QByteArray("-102,\"Syntax error\"");
        QTest::newRow("no argument") << QByteArray("mmem:del") << QStringList() << QStringList()
                                     << QByteArray("-109,\"Missing parameter\"");
        QTest::newRow("extra argument") << QByteArray("mmem:del \"/F0:/USER/README.TXT\",\"/F0:/X\"")
                                        << QStringList{u"/F0:/USER/README.TXT"_s} << QStringList()
                                        << QByteArray("-108,\"Parameter not allowed\"");
    }

    void commands()
    {
        QFETCH(QByteArray, commands);
        QFETCH(QStringList, present);
        QFETCH(QStringList, absent);
        QFETCH(QByteArray, error);

        Client client(m_sim->Port());
        client.Send(commands + "\r\n");
        QCOMPARE(NextError(client), error);
        QCOMPARE(NextError(client), kNoError);
        for (const QString& path : present)
            QVERIFY2(m_sim->Exists(path), qPrintable(path));
        for (const QString& path : absent)
            QVERIFY2(!m_sim->Exists(path), qPrintable(path));
    }

    void depthLimit_data()
    {
        QTest::addColumn<QByteArray>("command"); // DEEP: a folder 31 names deep, SHALLOW: one of height 1
        QTest::addColumn<QString>("made");
        QTest::addColumn<QByteArray>("error");
        const QByteArray nameError = "-257,\"File name error\"";
        QTest::newRow("move past the limit")
            << QByteArray("mmem:move \"SHALLOW\",\"DEEP/S\"") << u"DEEP/S"_s << nameError;
        QTest::newRow("move at the limit")
            << QByteArray("mmem:move \"SHALLOW/L1\",\"DEEP/S\"") << u"DEEP/S"_s << kNoError;
        QTest::newRow("copy past the limit")
            << QByteArray("mmem:copy \"SHALLOW\", \"DEEP/S\"") << u"DEEP/S"_s << nameError;
        QTest::newRow("copy at the limit")
            << QByteArray("mmem:copy \"SHALLOW/L1\", \"DEEP/S\"") << u"DEEP/S"_s << kNoError;
        QTest::newRow("mdir past the limit")
            << QByteArray("mmem:mdir \"DEEP/S/T\"") << u"DEEP/S/T"_s << nameError;
        QTest::newRow("move into its own deepest")
            << QByteArray("mmem:move \"/F0:/USER/A\",\"DEEP/A\"") << u"DEEP/A"_s << nameError;
    }

    void depthLimit()
    {
        QFETCH(QByteArray, command);
        QFETCH(QString, made);
        QFETCH(QByteArray, error);
        QString deep;
        QString shallow;
        Client client(m_sim->Port());
        client.Send(FolderChain(u"A"_s, 29, &deep) + FolderChain(u"B"_s, 1, &shallow));
        QCOMPARE(NextError(client), kNoError);
        QCOMPARE(deep.count(u'/'), CSimFileSystem::MAX_DEPTH);
        const QString shallowTop = shallow.chopped(3);
        command.replace("SHALLOW", shallowTop.toLatin1()).replace("DEEP", deep.toLatin1());
        made.replace(u"DEEP"_s, deep);
        client.Send(command + "\r\n");
        QCOMPARE(NextError(client), error);
        QCOMPARE(m_sim->Exists(made), error == kNoError);
        QVERIFY(m_sim->Exists(error == kNoError ? deep : shallow));
    }

    void deepTreeWithoutRecursion()
    {
        // No client can make such a tree any more; the walks must not need the stack either.
        auto top = std::make_unique<CSimFileSystem::CNode>();
        top->m_bFolder = true;
        CSimFileSystem::CNode* node = top.get();
        for (int i = 0; i < 300000; ++i) {
            auto child = std::make_unique<CSimFileSystem::CNode>();
            child->m_bFolder = true;
            child->m_strName = u"L"_s;
            CSimFileSystem::CNode* next = child.get();
            node->m_children.emplace(u"l"_s, std::move(child));
            node = next;
        }
        node->m_data = "end";
        const CSimFileSystem::CTreeStats stats = CSimFileSystem::Stats(*top);
        QCOMPARE(stats.m_nHeight, 300000);
        QCOMPARE(stats.m_nEntries, qint64(300000));
        QCOMPARE(stats.m_nBytes, qint64(3));
        top.reset();
    }

    void latin1Names()
    {
        Client client(m_sim->Port());
        client.Send(WriteCommand(u"/F0:/USER/café.seq"_s, "x") + "mmem:mdir \"/F0:/USER/\xdcn\xef\"\r\n");
        QCOMPARE(NextError(client), kNoError);
        QVERIFY(m_sim->List(u"/F0:/USER"_s).contains(u"café.seq"_s));
        QVERIFY(m_sim->IsFolder(u"/F0:/USER/üNÏ"_s));
        client.Send("mmem:cdir \"/F0:/USER\"\r\n");
        const QByteArray catalog = client.Query("mmem:cat?");
        QVERIFY2(catalog.contains(",\"caf\xe9.seq\",SEQ,1,") && catalog.contains(",\"\xdcn\xef/\",DIR,0"),
                 catalog.constData());
        // One byte, one character, letter case ignored also beyond ASCII.
        client.Send("mmem:data? \"/F0:/USER/CAF\xc9.SEQ\"\r\n");
        QCOMPARE(client.ReadBlock(), QByteArray("x"));
        client.Send("mmem:cdir \"/F0:/USER/\xfcN\xcf\"\r\n");
        QCOMPARE(client.Query("mmem:cdir?"), QByteArray("\"/F0:/USER/\xfcN\xcf\""));
        QCOMPARE(NextError(client), kNoError);
    }

    void moveKeepsStoredCase()
    {
        Client client(m_sim->Port());
        client.Send("mmem:move \"/F0:/USER/README.TXT\",\"/F0:/USER/ReadMe.txt\"\r\n");
        QCOMPARE(NextError(client), kNoError);
        QVERIFY(m_sim->List(u"/F0:/USER"_s).contains(u"ReadMe.txt"_s));
    }

    void pathsOutsideTheRoot_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("dot dot") << u"/F0:/../x"_s;
        QTest::newRow("deep dot dot") << u"/F0:/USER/../../etc"_s;
        QTest::newRow("dot") << u"/F0:/USER/./X"_s;
        QTest::newRow("backslash") << u"/F0:/USER\\X"_s;
        QTest::newRow("backslash dot dot") << u"/F0:/USER/..\\..\\X"_s;
        QTest::newRow("no root") << u"USER/X"_s;
        QTest::newRow("host absolute") << u"/tmp/X"_s;
        QTest::newRow("other drive") << u"/F1:/USER/X"_s;
        QTest::newRow("empty component") << u"/F0:/USER//X"_s;
        QTest::newRow("control char") << u"/F0:/USER/A\tB"_s;
        QTest::newRow("comma") << u"/F0:/USER/A,B"_s;
        QTest::newRow("empty") << QString();
    }

    void pathsOutsideTheRoot()
    {
        QFETCH(QString, path);
        Client client(m_sim->Port());
        const qint64 used = m_sim->Used();
        const QStringList before = m_sim->List(u"/F0:/USER"_s);
        const QByteArray quoted = '"' + path.toUtf8() + '"';
        for (const QByteArray& prefix :
             {QByteArray("mmem:mdir "), QByteArray("mmem:del "), QByteArray("mmem:cdir ")}) {
            client.Send(prefix + quoted + "\r\n");
            QCOMPARE(NextError(client), QByteArray("-257,\"File name error\""));
        }
        client.Send(WriteCommand(path, "data") + "mmem:data? " + quoted + "\r\n");
        QCOMPARE(client.ReadBlock(), QByteArray());
        QCOMPARE(NextError(client), QByteArray("-257,\"File name error\""));
        QCOMPARE(NextError(client), QByteArray("-257,\"File name error\""));
        QCOMPARE(m_sim->Used(), used);
        QCOMPARE(m_sim->List(u"/F0:/USER"_s), before);
    }

    void catalogGrammar()
    {
        QVERIFY(m_sim->AddFolder(u"/F0:/USER/sub"_s));
        QVERIFY(m_sim->AddFile(u"/F0:/USER/b.seq"_s, "12345"));
        QVERIFY(m_sim->AddFile(u"/F0:/USER/Noext"_s, "1"));
        Client client(m_sim->Port());
        client.Send("mmem:cdir \"/F0:/USER\"\r\n");
        const QByteArray line = client.Query("mmem:cat?");
        static const QRegularExpression grammar(u"^(\\d+),(\\d+)((,\"[^\",]+\",[^,]*,\\d+)*)$"_s);
        const QRegularExpressionMatch match = grammar.match(QString::fromLatin1(line));
        QVERIFY2(match.hasMatch(), line.constData());
        QCOMPARE(match.captured(1).toLongLong(), m_sim->Used());
        QCOMPARE(match.captured(2).toLongLong(), m_sim->Capacity() - m_sim->Used());
        QCOMPARE(
            match.captured(3),
            u",\"b.seq\",SEQ,5,\"Noext\",BIN,1,\"PROJECTS/\",DIR,0,\"README.TXT\",TXT,120,\"sub/\",DIR,0"_s);

        // The current folder belongs to the connection.
        Client other(m_sim->Port());
        QVERIFY(other.Query("mmem:cat?").contains("\"USER/\",DIR,0"));
        other.Send("mmem:cdir \"/F0:/USER/NONE\"\r\n");
        QCOMPARE(NextError(other), QByteArray("-256,\"File name not found\""));
        QVERIFY(other.Query("mmem:cat?").contains("\"USER/\",DIR,0"));
        QCOMPARE(client.Query("mmem:cat?"), line);
    }

    void catalogOfAHugeFolderIsFast()
    {
        for (int i = 0; i < 100000; ++i)
            QVERIFY(m_sim->AddFile(u"/F0:/USER/BIG/F%1.SEQ"_s.arg(i, 6, 10, QChar(u'0')), QByteArray()));
        Client client(m_sim->Port());
        client.Send("mmem:cdir \"/F0:/USER/BIG\"\r\n");
        QElapsedTimer timer;
        timer.start();
        const QByteArray line = client.Query("mmem:cat?");
        QVERIFY2(timer.elapsed() < 2000, QByteArray::number(timer.elapsed()).constData());
        QCOMPARE(line.count(",SEQ,0"), 100000);
        QVERIFY(line.endsWith(",\"F099999.SEQ\",SEQ,0"));
    }

    void dataRoundTrip_data()
    {
        QTest::addColumn<qsizetype>("size");
        QTest::newRow("empty") << qsizetype(0);
        QTest::newRow("one") << qsizetype(1);
        QTest::newRow("chunk - 1") << qsizetype(64 * 1024 - 1);
        QTest::newRow("chunk + 1") << qsizetype(64 * 1024 + 1);
        QTest::newRow("20 MB") << qsizetype(20 * 1024 * 1024);
    }

    void dataRoundTrip()
    {
        QFETCH(qsizetype, size);
        // The pattern holds CR, LF and '#' bytes, which must pass untouched.
        const QByteArray data = Pattern(size);
        const qint64 used = m_sim->Used();
        Client client(m_sim->Port());
        client.Send(WriteCommand(u"/F0:/SEQUENCE/Round.SEQ"_s, data));
        client.Send("mmem:data? \"/F0:/sequence/round.seq\"\r\n");
        QCOMPARE(client.ReadBlock(), data);
        QCOMPARE(m_sim->FileData(u"/F0:/SEQUENCE/ROUND.SEQ"_s), data);
        QCOMPARE(m_sim->Used(), used + size);
        QCOMPARE(NextError(client), kNoError);
    }

    void overwriteCountsOnce()
    {
        Client client(m_sim->Port());
        const qint64 used = m_sim->Used();
        client.Send(WriteCommand(u"/F0:/USER/A.SEQ"_s, "1234567890"));
        client.Send(WriteCommand(u"/F0:/USER/a.seq"_s, "abc"));
        QCOMPARE(NextError(client), kNoError);
        QCOMPARE(m_sim->FileData(u"/F0:/USER/A.SEQ"_s), QByteArray("abc"));
        QCOMPARE(m_sim->Used(), used + 3);
    }

    void downloadPackage()
    {
        Client client(m_sim->Port());
        client.Send("mmem:load:download " + Block("package") + "\r\n");
        QCOMPARE(NextError(client), kNoError);
        QCOMPARE(m_sim->FileData(u"/F0:/DOWNLOAD/PKG0001.DNL"_s), QByteArray("package"));
    }

    void mediaFullRefusesWhole()
    {
        m_sim->SetCapacity(m_sim->Used() + 100);
        Client client(m_sim->Port());
        client.Send(WriteCommand(u"/F0:/USER/BIG.SEQ"_s, Pattern(101)));
        QCOMPARE(NextError(client), QByteArray("-254,\"Media full\""));
        QVERIFY(!m_sim->Exists(u"/F0:/USER/BIG.SEQ"_s));
        // The refused block's bytes were read to their end: the stream is still in step.
        QCOMPARE(client.Query("*idn?"), QByteArray("VELTRANE,VQ820,0,5.60"));
        client.Send(WriteCommand(u"/F0:/USER/FITS.SEQ"_s, Pattern(100)));
        QCOMPARE(NextError(client), kNoError);
        QVERIFY(client.Query("mmem:cat?").startsWith(QByteArray::number(m_sim->Capacity()) + ",0"));
        client.Send("mmem:copy \"/F0:/USER/FITS.SEQ\", \"/F0:/USER/TWO.SEQ\"\r\n");
        QCOMPARE(NextError(client), QByteArray("-254,\"Media full\""));
        QVERIFY(!m_sim->Exists(u"/F0:/USER/TWO.SEQ"_s));
    }

    void truncatedBlockStoresNothing()
    {
        Client client(m_sim->Port());
        client.Send("mmem:data \"/F0:/USER/CUT.SEQ\",#41000" + Pattern(10));
        QVERIFY(m_sim->WaitForReceived(40));
        client.Socket().disconnectFromHost();
        // The cut block is queued as an error when the emulator has seen the
        // close, which another connection's query may overtake (it does under Wine).
        QTRY_COMPARE(m_sim->OpenConnections(), 0);
        Client other(m_sim->Port());
        QCOMPARE(NextError(other), QByteArray("-161,\"Invalid block data\""));
        QVERIFY(!m_sim->Exists(u"/F0:/USER/CUT.SEQ"_s));
    }

    void badBlockHeaders_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::newRow("indefinite") << QByteArray("#0");
        QTest::newRow("letter digit") << QByteArray("#A12");
        QTest::newRow("letter in length") << QByteArray("#3 12");
        QTest::newRow("sign") << QByteArray("#2-1");
    }

    void badBlockHeaders()
    {
        QFETCH(QByteArray, header);
        Client client(m_sim->Port());
        client.Send("mmem:data \"/F0:/USER/H.SEQ\"," + header + "\r\n");
        QCOMPARE(NextError(client), QByteArray("-161,\"Invalid block data\""));
        QCOMPARE(client.Query("*idn?"), QByteArray("VELTRANE,VQ820,0,5.60"));
        QVERIFY(!m_sim->Exists(u"/F0:/USER/H.SEQ"_s));
    }

    void splitAndPipelinedInput()
    {
        Client client(m_sim->Port());
        const QByteArray stream = "*idn?\r\n" + WriteCommand(u"/F0:/USER/\"#\".SEQ"_s, "x") +
                                  WriteCommand(u"/F0:/USER/S.SEQ"_s, "a\r\nb#1") +
                                  "mmem:cdir \"/F0:/USER\"\n" +
                                  "mmem:cat?\r\nstat:que:next?\r\nstat:que:next?\r\n";
        for (const char c : stream) {
            client.Socket().write(&c, 1);
            client.Socket().flush();
        }
        QCOMPARE(client.ReadLine(), QByteArray("VELTRANE,VQ820,0,5.60\n"));
        QVERIFY(client.ReadLine().endsWith(",\"S.SEQ\",SEQ,6\n"));
        // The quote inside the name ends the string early: the block header is malformed.
        QCOMPARE(client.ReadLine(), QByteArray("-161,\"Invalid block data\"\n"));
        QCOMPARE(client.ReadLine(), kNoError + '\n');
        QCOMPARE(m_sim->FileData(u"/F0:/USER/S.SEQ"_s), QByteArray("a\r\nb#1"));

        // All at once, in one packet.
        Client pipelined(m_sim->Port());
        pipelined.Send(stream);
        QCOMPARE(pipelined.ReadLine(), QByteArray("VELTRANE,VQ820,0,5.60\n"));
        QVERIFY(pipelined.ReadLine().endsWith(",\"S.SEQ\",SEQ,6\n"));
    }

    void overlongLineIsDropped()
    {
        Client client(m_sim->Port());
        client.Send(QByteArray(100 * 1024, 'a') + "\r\n*idn?\r\n");
        QCOMPARE(client.ReadLine(), QByteArray("VELTRANE,VQ820,0,5.60\n"));
        QCOMPARE(NextError(client), QByteArray("-223,\"Too much data\""));
        QCOMPARE(NextError(client), kNoError);
    }

    void errorQueueIsBounded()
    {
        Client client(m_sim->Port());
        QByteArray many;
        for (int i = 0; i < 40; ++i)
            many += "bogus\r\n";
        client.Send(many);
        client.Query("*idn?");
        const QStringList queue = m_sim->ErrorQueue();
        QCOMPARE(queue.size(), 32);
        QCOMPARE(queue.first(), u"-113,\"Undefined header\""_s);
        QCOMPARE(queue.last(), u"-350,\"Queue overflow\""_s);
    }

    void replyFaults_data()
    {
        QTest::addColumn<bool>("closeMid"); // else the reply never ends
        QTest::addColumn<QByteArray>("command");
        const QByteArray catalog = "mmem:cat? \"/F0:/USER/PROJECTS\"";
        QTest::newRow("never end") << false << QByteArray("*idn?");
        QTest::newRow("close mid reply") << true << QByteArray("*idn?");
        QTest::newRow("catalog never ends") << false << catalog;
        QTest::newRow("catalog closed mid reply") << true << catalog;
    }

    void replyFaults()
    {
        QFETCH(bool, closeMid);
        QFETCH(QByteArray, command);
        Client client(m_sim->Port());
        const QByteArray line = client.Query(command) + '\n';
        CSimFaults faults;
        (closeMid ? faults.m_bCloseMidReply : faults.m_bNeverEndReply) = true;
        m_sim->SetFaults(faults);
        client.Send(command + "\r\n");
        QCOMPARE(client.ReadLine(300), closeMid ? line.left(line.size() / 2) : line.chopped(1));
        QCOMPARE(client.WaitClosed(200), closeMid);
    }

    void replyDelay()
    {
        CSimFaults faults;
        faults.m_nReplyDelayMs = 300;
        m_sim->SetFaults(faults);
        Client client(m_sim->Port());
        QElapsedTimer timer;
        timer.start();
        client.Send("*idn?\r\nstat:que:next?\r\n");
        QCOMPARE(client.ReadLine(), QByteArray("VELTRANE,VQ820,0,5.60\n"));
        QVERIFY(timer.elapsed() >= 280);
        QCOMPARE(client.ReadLine(), kNoError + '\n');
        QVERIFY(timer.elapsed() >= 580);
    }

    void blockFaults_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QByteArray>("expected"); // what arrives of the reply
        QTest::addColumn<bool>("closed");
        const QByteArray data = Pattern(300000);
        QTest::newRow("close after bytes") << 0 << QByteArray("#6300000" + data.left(1000)) << true;
        QTest::newRow("malformed header") << 1 << QByteArray("#X300000" + data + '\n') << false;
        QTest::newRow("extra bytes") << 2 << QByteArray("#6300010" + data + QByteArray(10, 'X') + '\n')
                                     << false;
        QTest::newRow("stall") << 3 << QByteArray("#6300000" + data.left(64 * 1024)) << false;
    }

    void blockFaults()
    {
        QFETCH(int, fault);
        QFETCH(QByteArray, expected);
        QFETCH(bool, closed);
        QVERIFY(m_sim->AddFile(u"/F0:/USER/F.PIC"_s, Pattern(300000)));
        CSimFaults faults;
        faults.m_nCloseAfterDataBytes = fault == 0 ? 1000 : -1;
        faults.m_bMalformedBlockHeader = fault == 1;
        faults.m_nExtraDataBytes = fault == 2 ? 10 : 0;
        faults.m_bStallTransfer = fault == 3;
        m_sim->SetFaults(faults);
        Client client(m_sim->Port());
        client.Send("mmem:data? \"/F0:/USER/F.PIC\"\r\n");
        QCOMPARE(client.Read(expected.size()), expected);
        QCOMPARE(client.WaitClosed(closed ? 3000 : 200), closed);
        QCOMPARE(client.Buffered(), QByteArray());
    }

    void incomingBlockFaults_data()
    {
        QTest::addColumn<bool>("stall");
        QTest::newRow("close after bytes") << false;
        QTest::newRow("stall") << true;
    }

    void incomingBlockFaults()
    {
        QFETCH(bool, stall);
        CSimFaults faults;
        faults.m_nCloseAfterDataBytes = stall ? -1 : 1000;
        faults.m_bStallTransfer = stall;
        m_sim->SetFaults(faults);
        Client client(m_sim->Port());
        const QByteArray command = WriteCommand(u"/F0:/USER/IN.PIC"_s, Pattern(8 * 1024 * 1024));
        client.Socket().write(command);
        client.Socket().waitForBytesWritten(500);
        QCOMPARE(client.WaitClosed(stall ? 300 : 3000), !stall);
        QVERIFY(m_sim->AllReceived().size() < command.size());
        QVERIFY(!m_sim->Exists(u"/F0:/USER/IN.PIC"_s));
        // Other connections are served meanwhile.
        Client other(m_sim->Port());
        QCOMPARE(other.Query("*idn?"), QByteArray("VELTRANE,VQ820,0,5.60"));
    }

    void refuseConnections()
    {
        const quint16 port = m_sim->Port();
        CSimFaults faults;
        faults.m_bRefuseConnections = true;
        m_sim->SetFaults(faults);
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(!socket.waitForConnected(2000));
        QCOMPARE(socket.error(), QAbstractSocket::ConnectionRefusedError);
        m_sim->SetFaults({});
        QCOMPARE(m_sim->Port(), port);
        Client client(port);
        QVERIFY(client.IsConnected());
        QCOMPARE(client.Query("*idn?"), QByteArray("VELTRANE,VQ820,0,5.60"));
    }

    void scriptedReplies()
    {
        m_sim->SetScriptedReply("*IDN?", "first\r\n", true);
        m_sim->SetScriptedReply("mmem:cat?", "1,2\n");
        Client client(m_sim->Port());
        client.Send("*idn?\r\n");
        QCOMPARE(client.ReadLine(), QByteArray("first\r\n"));
        QCOMPARE(client.Query("*idn?"), QByteArray("VELTRANE,VQ820,0,5.60"));
        QCOMPARE(client.Query("MMEM:CAT?"), QByteArray("1,2"));
        QCOMPARE(client.Query("mmem:cat?"), QByteArray("1,2"));
        m_sim->SetScriptedReply("mmem:cat?", QByteArray());
        QVERIFY(client.Query("mmem:cat?").contains("\"USER/\""));
    }

    void transcripts()
    {
        Client a(m_sim->Port());
        a.Send("*idn?\r\n");
        a.ReadLine();
        Client b(m_sim->Port());
        b.Send("mmem:cat?\r\n");
        b.ReadLine();
        QCOMPARE(m_sim->Transcripts(), (QList<QByteArray>{"*idn?\r\n", "mmem:cat?\r\n"}));
        QCOMPARE(m_sim->AllReceived(), QByteArray("*idn?\r\nmmem:cat?\r\n"));
        QCOMPARE(m_sim->ConnectionCount(), 2);
        m_sim->ClearTranscripts();
        QCOMPARE(m_sim->ConnectionCount(), 0);
        QVERIFY(m_sim->AllReceived().isEmpty());
        // A connection is counted as soon as the client's connect returns.
        for (int i = 1; i <= 20; ++i) {
            Client c(m_sim->Port());
            QCOMPARE(m_sim->ConnectionCount(), i);
        }
    }

    void hostFolder()
    {
        QTemporaryDir outside;
        QTemporaryDir root;
        QVERIFY(outside.isValid() && root.isValid());
        QVERIFY(QDir(root.path()).mkpath(u"USER/OLD"_s));
        QFile kept(root.filePath(u"USER/KEPT.SEQ"_s));
        QVERIFY(kept.open(QIODevice::WriteOnly) && kept.write("kept") == 4);
        kept.close();
        QVERIFY(QFile::link(outside.path(), root.filePath(u"USER/"_s + kLink)));

        m_sim = std::make_unique<CSimServer>();
        CSimOptions options;
        options.m_nPort = 0;
        options.m_strRootDir = root.path();
        QVERIFY(m_sim->Start(options));
        QCOMPARE(m_sim->FileData(u"/F0:/USER/KEPT.SEQ"_s), QByteArray("kept"));
        QVERIFY(!m_sim->Exists(u"/F0:/USER/"_s + kLink));
        QVERIFY(QFile::exists(root.filePath(u"SIGNAL/1080P60.CMP"_s)));

        Client client(m_sim->Port());
        client.Send(WriteCommand(u"/F0:/user/new.seq"_s, "new") + "mmem:mdir \"/F0:/USER/OLD/SUB\"\r\n" +
                    "mmem:del \"/F0:/USER/KEPT.SEQ\"\r\n" +
                    WriteCommand(u"/F0:/USER/"_s + kLink + u"/ESCAPE.SEQ"_s, "x") + "mmem:mdir \"/F0:/USER/" +
                    kLink.toLatin1() + "\"\r\n");
        QCOMPARE(NextError(client), QByteArray("-256,\"File name not found\""));
        QCOMPARE(NextError(client), QByteArray("-250,\"Mass storage error\""));
        QVERIFY(QFile::exists(root.filePath(u"USER/new.seq"_s)));
        QVERIFY(QFileInfo(root.filePath(u"USER/OLD/SUB"_s)).isDir());
        QVERIFY(!QFile::exists(root.filePath(u"USER/KEPT.SEQ"_s)));
        QVERIFY(QDir(outside.path()).isEmpty());

        // A restart finds what was written.
        m_sim = std::make_unique<CSimServer>();
        options.m_bSeed = false;
        QVERIFY(m_sim->Start(options));
        QCOMPARE(m_sim->FileData(u"/F0:/USER/NEW.SEQ"_s), QByteArray("new"));
    }

    void hostFolderNames()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        QVERIFY(QDir(root.path()).mkpath(u"USER"_s));
        for (const QString& name : {u"USER/café.seq"_s, u"USER/日本.seq"_s}) {
            QFile file(root.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("12") == 2);
        }
        m_sim = std::make_unique<CSimServer>();
        CSimOptions options;
        options.m_nPort = 0;
        options.m_strRootDir = root.path();
        options.m_bSeed = false;
        QVERIFY(m_sim->Start(options));
        QCOMPARE(m_sim->List(u"/F0:/USER"_s), QStringList{u"café.seq"_s});

        Client client(m_sim->Port());
        client.Send(WriteCommand(u"/F0:/USER/naïve.seq"_s, "abc") + "mmem:cdir \"/F0:/USER\"\r\n");
        QVERIFY(client.Query("mmem:cat?").endsWith(",\"caf\xe9.seq\",SEQ,2,\"na\xefve.seq\",SEQ,3"));
        QFile written(root.filePath(u"USER/naïve.seq"_s));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), QByteArray("abc"));
    }

    void hostRemovalsLeaveWhatWasNotLoaded_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QString>("unloaded"); // made on disk in USER/OLD before the start
        QTest::newRow("rdir, link") << QByteArray("mmem:rdir \"/F0:/USER/OLD\"") << kLink;
        // Names every host takes and the generator does not.
        QTest::newRow("del, forbidden name") << QByteArray("mmem:del \"/F0:/USER/OLD\"") << u"a,b"_s;
        QTest::newRow("del:all, forbidden name") << QByteArray("mmem:del:all \"/F0:/USER\"")
                                                 << u"a\x7f"
                                                    "b"_s;
        QTest::newRow("del:all, folder deeper down")
            << QByteArray("mmem:del:all \"/F0:/USER\"") << u"SUB/日本"_s;
    }

    void hostRemovalsLeaveWhatWasNotLoaded()
    {
        QFETCH(QByteArray, command);
        QFETCH(QString, unloaded);
        QTemporaryDir outside;
        QTemporaryDir root;
        QVERIFY(outside.isValid() && root.isValid());
        QVERIFY(QDir(root.path()).mkpath(u"USER/OLD"_s));
        const QString path = root.filePath(u"USER/OLD/"_s + unloaded);
        if (unloaded == kLink) {
            QVERIFY(QFile::link(outside.path(), path));
        } else if (unloaded.contains(u'/')) {
            QVERIFY(QDir().mkpath(path));
        } else {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        m_sim = std::make_unique<CSimServer>();
        CSimOptions options;
        options.m_nPort = 0;
        options.m_strRootDir = root.path();
        QVERIFY(m_sim->Start(options));
        const qsizetype loaded = m_sim->List(u"/F0:/USER/OLD"_s).size();

        Client client(m_sim->Port());
        client.Send(command + "\r\n");
        QCOMPARE(NextError(client), QByteArray("-250,\"Mass storage error\""));
        QVERIFY(QFileInfo(path).isSymLink() || QFileInfo::exists(path));
        QVERIFY(m_sim->IsFolder(u"/F0:/USER/OLD"_s));
        QCOMPARE(m_sim->List(u"/F0:/USER/OLD"_s).size(), loaded);
        // What was loaded still goes.
        client.Send("mmem:del \"/F0:/USER/README.TXT\"\r\n");
        QCOMPARE(NextError(client), kNoError);
        QVERIFY(!QFile::exists(root.filePath(u"USER/README.TXT"_s)));
    }

    void transcriptsAreCapped()
    {
        CSimOptions options;
        options.m_nPort = 0;
        options.m_nTranscriptLimit = 1000;
        Restart(options);
        const QByteArray blanks = QByteArray(600, ' ') + '\n'; // lines that do nothing
        {
            Client first(m_sim->Port());
            first.Send(blanks);
            QVERIFY(m_sim->WaitForReceived(blanks.size()));
        }
        QTRY_COMPARE(m_sim->OpenConnections(), 0);
        Client second(m_sim->Port());
        second.Send(blanks);
        QVERIFY(m_sim->WaitForReceived(2 * blanks.size()));
        // The closed connection's transcript made room for the open one's.
        QCOMPARE(m_sim->Transcripts(), QList<QByteArray>{blanks});
        second.Send(blanks);
        QVERIFY(m_sim->WaitForReceived(3 * blanks.size()));
        QCOMPARE(m_sim->AllReceived(), blanks + blanks.left(1000 - blanks.size()));
        QCOMPARE(second.Query("*idn?"), kIdentity);
    }

    void unreadRepliesStopTheReading()
    {
        for (int i = 0; i < 20; ++i)
            QVERIFY(m_sim->AddFile(u"/F0:/USER/WIDE/A rather long file name number %1.SEQ"_s.arg(i), {}));
        Client client(m_sim->Port());
        client.Send("mmem:cdir \"/F0:/USER/WIDE\"\r\n");
        QCOMPARE(NextError(client), kNoError);
        // The client neither reads nor lets its socket read for it.
        client.Socket().setReadBufferSize(4096);
        QByteArray queries;
        for (int i = 0; i < 100000; ++i)
            queries += "mmem:cat?\r\n";
        client.Socket().write(queries);
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 2000)
            client.Socket().waitForBytesWritten(50);
        const qsizetype taken = m_sim->AllReceived().size();
        QVERIFY2(taken < queries.size() / 2, QByteArray::number(taken).constData());
        // Reading the replies lets it go on.
        client.Socket().setReadBufferSize(0);
        for (int i = 0; i < 100; ++i)
            QVERIFY(client.ReadLine().endsWith(",SEQ,0\n"));
    }

    void pendingBlocksCountAgainstTheCapacity()
    {
        // Each fits alone; together they do not.
        const qint64 length = m_sim->Capacity() - m_sim->Used() - 1000;
        QVERIFY(length > m_sim->Capacity() / 2);
        const QByteArray header =
            "#" + QByteArray::number(QByteArray::number(length).size()) + QByteArray::number(length);
        std::vector<std::unique_ptr<Client>> senders;
        qsizetype sent = 0;
        for (int i = 0; i < 8; ++i) {
            const QByteArray command = "mmem:data \"/F0:/USER/B" + QByteArray::number(i) + ".PIC\"," + header;
            senders.push_back(std::make_unique<Client>(m_sim->Port()));
            senders.back()->Send(command);
            sent += command.size();
            QVERIFY(m_sim->WaitForReceived(sent));
        }
        Client probe(m_sim->Port());
        for (int i = 1; i < 8; ++i)
            QCOMPARE(NextError(probe), QByteArray("-254,\"Media full\""));
        QCOMPARE(NextError(probe), kNoError);
        // A block that ends cut short gives its room back.
        senders.front().reset();
        QTRY_COMPARE(m_sim->ErrorQueue(), QStringList{u"-161,\"Invalid block data\""_s});
        m_sim->ClearErrors();
        senders.back()->Send(QByteArray(2000, 'x'));
        Client late(m_sim->Port());
        late.Send("mmem:data \"/F0:/USER/LATE.PIC\"," + header);
        QVERIFY(m_sim->WaitForReceived(sent + 2000 + 30 + header.size()));
        QCOMPARE(NextError(probe), kNoError);
    }

    void connectionLimit_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("burst");    // clients connecting at once
        QTest::addColumn<bool>("oneMore"); // then the first asks *idn? and one more client comes
        QTest::addColumn<QList<int>>("closed");
        QList<int> oldest;
        for (int i = 0; i < 22; ++i)
            oldest.append(i);
        QTest::newRow("a burst past the limit") << 8 << 30 << false << oldest;
        // Not the oldest: the one quiet longest.
        QTest::newRow("the idlest makes room") << 4 << 4 << true << QList<int>{1};
    }

    void connectionLimit()
    {
        QFETCH(int, limit);
        QFETCH(int, burst);
        QFETCH(bool, oneMore);
        QFETCH(QList<int>, closed);
        CSimOptions options;
        options.m_nPort = 0;
        options.m_nMaxConnections = limit;
        Restart(options);
        std::vector<std::unique_ptr<Client>> clients;
        for (int i = 0; i < burst; ++i)
            clients.push_back(std::make_unique<Client>(m_sim->Port(), false));
        for (const std::unique_ptr<Client>& client : clients)
            QVERIFY(client->WaitConnected());
        QCOMPARE(m_sim->ConnectionCount(), burst); // every one taken
        QCOMPARE(m_sim->OpenConnections(), limit);
        if (oneMore) {
            QCOMPARE(clients.front()->Query("*idn?"), kIdentity);
            clients.push_back(std::make_unique<Client>(m_sim->Port()));
            QCOMPARE(m_sim->ConnectionCount(), burst + 1);
            QCOMPARE(m_sim->OpenConnections(), limit);
        }
        for (int i = 0; i < int(clients.size()); ++i) {
            if (closed.contains(i))
                QVERIFY2(clients[size_t(i)]->WaitClosed(), qPrintable(QString::number(i)));
            else
                QCOMPARE(clients[size_t(i)]->Query("*idn?"), kIdentity);
        }
    }

    void largeCatalogIsMadeAsItIsRead()
    {
        // About 250 bytes an entry: a line of some 6 MB, far more than a
        // connection may hold or the system buffers between the two ends.
        const int entries = 25000;
        const auto name = [](int i) {
            return u"%1 "_s.arg(i, 6, 10, QChar(u'0')).leftJustified(231, u'n') + u".SEQ"_s;
        };
        for (int i = 0; i < entries; ++i)
            QVERIFY(m_sim->AddFile(u"/F0:/USER/BIG/"_s + name(i), {}));
        const QByteArray query = "mmem:cdir \"/F0:/USER/BIG\"\r\nmmem:cat?\r\n";
        Client first(m_sim->Port());
        first.Send(query);
        const QByteArray whole = first.ReadLine(30000);
        QCOMPARE(whole.count(",SEQ,0"), entries);
        QVERIFY(whole.endsWith(name(entries - 1).toLatin1() + "\",SEQ,0\n"));

        // 40 clients that ask for it and do not read.
#ifdef Q_OS_LINUX
        const qint64 before = ResidentBytes();
#endif
        std::vector<std::unique_ptr<Client>> readers;
        for (int i = 0; i < 40; ++i) {
            readers.push_back(std::make_unique<Client>(m_sim->Port()));
            readers.back()->Socket().setReadBufferSize(4096);
            readers.back()->Send(query);
        }
        Client other(m_sim->Port());
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(other.Query("*idn?"), kIdentity);
        QVERIFY2(timer.elapsed() < ANSWER_MS, QByteArray::number(timer.elapsed()).constData());
        std::vector<QByteArray> begun;
        for (const std::unique_ptr<Client>& reader : readers) {
            begun.push_back(reader->Read(1000));
            QCOMPARE(begun.back(), whole.left(1000));
        }
#ifdef Q_OS_LINUX
        // Each holds what its socket has not sent, 256 KiB at most, not its 6 MB.
        const qint64 growth = ResidentBytes() - before;
        QVERIFY2(growth < 32 * 1024 * 1024, QByteArray::number(growth).constData());
#endif

        // A change elsewhere leaves a line under way as it began; a change
        // in its folder ends it rather than make it a mix.
        other.Send(WriteCommand(u"/F0:/USER/OTHER.SEQ"_s, "x"));
        QCOMPARE(NextError(other), kNoError);
        readers[0]->Socket().setReadBufferSize(0);
        QVERIFY(begun[0] + readers[0]->ReadLine(30000) == whole);
        other.Send(WriteCommand(u"/F0:/USER/BIG/NEW.SEQ"_s, "x"));
        QCOMPARE(NextError(other), kNoError);
        readers[1]->Socket().setReadBufferSize(0);
        const QByteArray cut = begun[1] + readers[1]->ReadLine(30000);
        QVERIFY(readers[1]->WaitClosed());
        QVERIFY2(cut.size() < whole.size() && whole.startsWith(cut),
                 QByteArray::number(cut.size()).constData());
    }

    // A block must keep coming: silence for the idle time, or falling behind
    // the minimum rate after it, cuts it short (it stores nothing and its
    // room returns); a slow client above the rate is served. The limits are
    // the real ones with the idle time at 1 s instead of 30 s.
    void slowBlock_data()
    {
        QTest::addColumn<qint64>("minRate");
        QTest::addColumn<qint64>("length"); // 0: all the free room
        QTest::addColumn<int>("chunk");     // sent every 100 ms after the first 1000 bytes
        QTest::addColumn<int>("everyMs");
        QTest::addColumn<int>("cutAfterMs"); // -1: kept
        QTest::addColumn<int>("cutBeforeMs");
        QTest::newRow("a byte now and then to all the room")
            << CSimOptions::BLOCK_MIN_RATE << qint64(0) << 1 << 300 << 900 << 2500;
        QTest::newRow("silence") << CSimOptions::BLOCK_MIN_RATE << qint64(0) << 0 << 100 << 900 << 2500;
        QTest::newRow("half the rate") << qint64(20000) << qint64(200000) << 1000 << 100 << 1800 << 4500;
        QTest::newRow("twice the rate is served")
            << qint64(20000) << qint64(80000) << 4000 << 100 << -1 << -1;
    }
    void slowBlock()
    {
        QFETCH(qint64, minRate);
        QFETCH(qint64, length);
        QFETCH(int, chunk);
        QFETCH(int, everyMs);
        QFETCH(int, cutAfterMs);
        QFETCH(int, cutBeforeMs);
        CSimOptions options;
        options.m_nPort = 0;
        options.m_nBlockIdleMs = 1000;
        options.m_nBlockMinRate = minRate;
        Restart(options);
        const QByteArray used = QByteArray::number(m_sim->Used()) + ',';
        const qint64 free = m_sim->Capacity() - m_sim->Used();
        const qint64 total = length > 0 ? length : free - 100; // room for nothing else
        const QByteArray lengthText = QByteArray::number(total);
        QElapsedTimer clock;
        clock.start();
        Client holder(m_sim->Port());
        holder.Send("mmem:data \"/F0:/USER/HOLD.BIN\",#" + QByteArray::number(lengthText.size()) +
                    lengthText + QByteArray(1000, 'h'));
        Client probe(m_sim->Port());
        if (length == 0) {
            // While it is held its room is not reported free, nor given to another.
            QVERIFY(probe.Query("mmem:cat?").startsWith(used + "100,"));
            probe.Send(WriteCommand(u"/F0:/USER/SMALL.BIN"_s, QByteArray(1000, 's')));
            QCOMPARE(NextError(probe), QByteArray("-254,\"Media full\""));
        }
        qint64 sent = 1000;
        bool closed = false;
        while (!closed && sent < total && clock.elapsed() < 8000) {
            closed = holder.WaitClosed(everyMs);
            if (!closed && chunk > 0) {
                const qint64 n = std::min<qint64>(chunk, total - sent);
                holder.Send(QByteArray(n, 'h'));
                sent += n;
            }
        }
        if (cutAfterMs < 0) {
            holder.Send("\r\n");
            QCOMPARE(NextError(holder), kNoError);
            QCOMPARE(m_sim->FileData(u"/F0:/USER/HOLD.BIN"_s).size(), total);
            return;
        }
        closed = closed || holder.WaitClosed(5000);
        const qint64 cutAt = clock.elapsed();
        QVERIFY(closed);
        QVERIFY2(cutAt >= cutAfterMs && cutAt < cutBeforeMs, qPrintable(QString::number(cutAt)));
        QCOMPARE(NextError(probe), QByteArray("-161,\"Invalid block data\""));
        QVERIFY(!m_sim->Exists(u"/F0:/USER/HOLD.BIN"_s));
        QVERIFY(probe.Query("mmem:cat?").startsWith(used + QByteArray::number(free) + ','));
        probe.Send(WriteCommand(u"/F0:/USER/SMALL.BIN"_s, QByteArray(1000, 's')));
        QCOMPARE(NextError(probe), kNoError);
    }

    void noDescriptorLeftMakesRoom()
    {
#if !defined(Q_OS_LINUX)
        QSKIP("reads the emulator's processor time from /proc");
#elif defined(__SANITIZE_ADDRESS__)
        // The sanitizers' runtime opens a pipe to probe memory when it checks a
        // type; with no descriptor left that probe fails and ends the emulator.
        QSKIP("the sanitizers need descriptors of their own");
#else
        QProcess process;
        process.setChildProcessModifier([] {
            const rlimit limit{40, 40};
            ::setrlimit(RLIMIT_NOFILE, &limit);
        });
        quint16 port = 0;
        QVERIFY(StartProgram(process, {u"--port"_s, u"0"_s}, &port));
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        for (int i = 0; i < 60; ++i) {
            clients.push_back(std::make_unique<QTcpSocket>());
            clients.back()->connectToHost(QHostAddress::LocalHost, port);
            QVERIFY(clients.back()->waitForConnected(3000));
        }
        QThread::msleep(200);
        const double before = CpuSeconds(process.processId());
        QThread::msleep(1000);
        const double used = CpuSeconds(process.processId()) - before;
        QVERIFY2(before >= 0 && used < 0.3, QByteArray::number(used).constData());
        // An idle connection gives its descriptor to a new client.
        Client client(port);
        QCOMPARE(client.Query("*idn?"), kIdentity);
        // Served as well once the clients have gone.
        clients.resize(10);
        Client later(port);
        QCOMPARE(later.Query("*idn?"), kIdentity);
        process.terminate();
        QVERIFY(process.waitForFinished(5000));
#endif
    }

    void executable()
    {
        QTemporaryDir dir;
        const QString transcript = dir.filePath(u"sent.txt"_s);
        QProcess process;
        quint16 port = 0;
        QVERIFY(StartProgram(
            process, {u"--port"_s, u"0"_s, u"--capacity"_s, u"1000000"_s, u"--transcript"_s, transcript},
            &port));
        {
            Client client(port);
            QVERIFY(client.IsConnected());
            QCOMPARE(client.Query("*idn?"), QByteArray("VELTRANE,VQ820,0,5.60"));
            QCOMPARE(client.Query("stat:que:next?"), kNoError);
            QVERIFY(client.Query("mmem:cat?").contains(",\"USER/\",DIR,0"));
        }
        // A connection's transcript goes to the file when it closes (the file
        // may show before its bytes do).
        const auto written = [&transcript] {
            QFile file(transcript);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QTRY_COMPARE(written(),
                     QByteArray("--- connection 0, 34 bytes\n*idn?\r\nstat:que:next?\r\nmmem:cat?\r\n\n"));
#ifdef Q_OS_WIN
        // A console program there has no window to be asked to close.
        process.kill();
        QVERIFY(process.waitForFinished(5000));
#else
        process.terminate();
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
#endif
    }
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
