// The generator as a folder of the PC: a mount (FUSE) of the emulator on
// loopback, in this process, used with the system's own calls and programs
// (cp, sed, sh, python3) the way editors and scripts save files; and the
// built vq8ctl mount ended by SIGTERM.

#include "mount/mount.h"
#include "mount/mountlog.h"
#include "sim/simserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Short, so that the tests of a silent generator stay short; the mount's
// default is 10 s.
constexpr int kBoundMs = 3000;

QByteArray Random(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator{quint32(size)};
    for (char& c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}

QByteArray Encoded(const QString& path)
{
    return QFile::encodeName(path);
}

// open, write, close as a program saves: 0, or the errno of the first call
// that failed (a close that fails is a failed save).
int Save(const QString& path, const QByteArray& bytes, int flags = O_WRONLY | O_CREAT | O_TRUNC,
         bool sync = false)
{
    const int fd = ::open(Encoded(path).constData(), flags, 0644);
    if (fd < 0)
        return errno;
    if (!bytes.isEmpty() && ::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size()) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    if (sync && ::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    return ::close(fd) == 0 ? 0 : errno;
}

QByteArray Load(const QString& path, int* error = nullptr)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = errno;
        return QByteArray("(cannot open)");
    }
    return file.readAll();
}

int Run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// One mount served on a thread of its own, with its log kept.
class CMountRun
{
public:
    ~CMountRun() { Stop(); }

    bool Start(const CMountOptions& options)
    {
        m_pLog = std::make_unique<CMountLog>([this](const QString& line) {
            const std::lock_guard lock(m_mutex);
            m_log.append(line);
        });
        m_pMount = std::make_unique<CMount>(options, *m_pLog);
        if (!m_pMount->Start())
            return false;
        m_point = m_pMount->Options().m_strMountPoint;
        m_serving = std::thread([this] { m_pMount->Serve(); });
        return true;
    }

    QStringList Stop()
    {
        if (!m_pMount)
            return {};
        m_pMount->Stop();
        if (m_serving.joinable())
            m_serving.join();
        const QStringList left = m_pMount->Finish();
        m_pMount.reset();
        return left;
    }

    QString Log() const
    {
        const std::lock_guard lock(m_mutex);
        return m_log.join(u'\n');
    }

    QString Path(const QString& relative) const { return m_point + u'/' + relative; }

private:
    std::unique_ptr<CMountLog> m_pLog;
    std::unique_ptr<CMount> m_pMount;
    std::thread m_serving;
    QString m_point;
    mutable std::mutex m_mutex;
    QStringList m_log;
};

} // namespace

class TestMount : public QObject
{
    Q_OBJECT

private:
    CSimServer m_sim;
    QTemporaryDir m_dir;
    CMountOptions m_options;
    CMountRun m_mount;
    int m_nFolder = 0;
    // The files whose save was refused at their close.
    QStringList m_unsent;

    // A folder of its own on the generator for one test (or row): "/F0:/USER/Tn".
    QString NewFolder()
    {
        const QString folder = u"/F0:/USER/T%1"_s.arg(++m_nFolder);
        m_sim.AddFolder(folder);
        return folder;
    }
    // The mount's path of a generator path below /F0:/.
    QString At(const QString& devicePath) const { return m_mount.Path(devicePath.mid(5)); }

private Q_SLOTS:
    void initTestCase()
    {
        if (!QFile::exists(u"/dev/fuse"_s))
            QSKIP("no /dev/fuse on this machine: a FUSE mount cannot be made here");
        CSimOptions sim;
        sim.m_nPort = 0;
        QVERIFY(m_sim.Start(sim));
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir().mkpath(m_dir.filePath(u"point"_s)));
        m_options.m_strHost = m_sim.Address().toString();
        m_options.m_nPort = m_sim.Port();
        m_options.m_strMountPoint = m_dir.filePath(u"point"_s);
        m_options.m_strCacheDir = m_dir.filePath(u"cache"_s);
        // Every look is a fresh listing: the tests change the generator behind the mount's back.
        m_options.m_nListingMs = 0;
        m_options.m_nBoundMs = kBoundMs;
        m_options.m_dDelayScale = 0.05;
        QVERIFY2(m_mount.Start(m_options), qPrintable(m_mount.Log()));
    }

    // What the mount did, when a test failed.
    void cleanup()
    {
        if (QTest::currentTestFailed())
            qWarning().noquote() << u"the mount's log:\n"_s + m_mount.Log();
    }

    // At the end the refused saves are told, and nothing else.
    void cleanupTestCase()
    {
        const QStringList left = m_mount.Stop();
        QCOMPARE(left.size(), m_unsent.size());
        for (const QString& path : std::as_const(m_unsent))
            QVERIFY2(left.filter(u"not sent: \""_s + path + u"\", kept as"_s).size() == 1,
                     qPrintable(left.join(u'\n')));
    }

    // Each way programs save a file leaves exactly the new bytes on the
    // generator, and nothing else in the folder.
    void editorSaves_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QByteArray>("before"); // null: no file yet
        QTest::addColumn<QByteArray>("after");
        const QByteArray old = "alpha\nbeta\n";
        QTest::newRow("cp over a file") << u"cp"_s << old << Random(70000);
        QTest::newRow("cp of a new file") << u"cp"_s << QByteArray() << "fresh\n"_ba;
        QTest::newRow("sed -i") << u"sed"_s << old << "alpha\nBETA\n"_ba;
        QTest::newRow("python: temp, fsync, os.replace") << u"python"_s << old << "from python\n"_ba;
        QTest::newRow("append >>") << u"append"_s << old << "alpha\nbeta\ngamma\n"_ba;
        QTest::newRow("truncate -s") << u"truncate"_s << old << "alpha"_ba;
        QTest::newRow(": > (emptied)") << u"empty"_s << old << ""_ba;
        QTest::newRow("temp kept on the PC renamed over (gedit)") << u"pc-temp"_s << old << "saved\n"_ba;
        QTest::newRow("temp sent, renamed over") << u"temp"_s << old << "saved again\n"_ba;
        QTest::newRow("backup renamed away, new file, backup deleted (vim)")
            << u"backup"_s << old << "vim wrote\n"_ba;
        QTest::newRow("other letter case") << u"case"_s << old << "lower case name\n"_ba;
    }

    void editorSaves()
    {
        QFETCH(QString, how);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        const QString folder = NewFolder();
        const QString device = folder + u"/NOTES.TXT"_s;
        if (!before.isNull())
            QVERIFY(m_sim.AddFile(device, before));
        const QString file = At(device);
        const QString source = m_dir.filePath(u"source"_s);
        QFile::remove(source);
        QFile out(source);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(after) == after.size());
        out.close();

        if (how == u"cp") {
            QCOMPARE(Run(u"cp"_s, {source, file}), 0);
        } else if (how == u"sed") {
            QCOMPARE(Run(u"sed"_s, {u"-i"_s, u"s/beta/BETA/"_s, file}), 0);
        } else if (how == u"python") {
            if (QStandardPaths::findExecutable(u"python3"_s).isEmpty())
                QSKIP("no python3 here");
            const QString script = u"import os, sys, tempfile\n"
                                   "fd, tmp = tempfile.mkstemp(dir=os.path.dirname(sys.argv[1]))\n"
                                   "with os.fdopen(fd, 'wb') as f:\n"
                                   "    f.write(open(sys.argv[2], 'rb').read())\n"
                                   "    f.flush()\n"
                                   "    os.fsync(f.fileno())\n"
                                   "os.replace(tmp, sys.argv[1])\n"_s;
            QCOMPARE(Run(u"python3"_s, {u"-c"_s, script, file, source}), 0);
        } else if (how == u"append") {
            QCOMPARE(Run(u"sh"_s, {u"-c"_s, u"printf 'gamma\\n' >> \"$1\""_s, u"sh"_s, file}), 0);
        } else if (how == u"truncate") {
            QCOMPARE(Run(u"truncate"_s, {u"-s"_s, u"5"_s, file}), 0);
        } else if (how == u"empty") {
            QCOMPARE(Run(u"sh"_s, {u"-c"_s, u": > \"$1\""_s, u"sh"_s, file}), 0);
        } else if (how == u"pc-temp") {
            const QString temp = At(folder + u"/.goutputstream-K2J7QZ"_s);
            QCOMPARE(Save(temp, after), 0);
            QCOMPARE(::rename(Encoded(temp).constData(), Encoded(file).constData()), 0);
        } else if (how == u"temp") {
            const QString temp = file + u".new"_s;
            QCOMPARE(Save(temp, after, O_WRONLY | O_CREAT | O_EXCL, true), 0);
            QCOMPARE(::rename(Encoded(temp).constData(), Encoded(file).constData()), 0);
        } else if (how == u"backup") {
            const QString backup = file + u'~';
            QCOMPARE(::rename(Encoded(file).constData(), Encoded(backup).constData()), 0);
            QVERIFY(!QFile::exists(file));
            QCOMPARE(Load(backup), before);
            QCOMPARE(Save(file, after, O_WRONLY | O_CREAT | O_TRUNC, true), 0);
            QCOMPARE(::unlink(Encoded(backup).constData()), 0);
        } else if (how == u"case") {
            QCOMPARE(Save(At(folder + u"/notes.txt"_s), after), 0);
        }

        // Release (the end of the last descriptor) comes after close() returns.
        QTRY_COMPARE(m_sim.FileData(device), after);
        QCOMPARE(m_sim.List(folder), QStringList{u"NOTES.TXT"_s});
        QCOMPARE(Load(file), after);
        QCOMPARE(QDir(At(folder)).entryList(QDir::Files | QDir::Hidden), QStringList{u"NOTES.TXT"_s});
    }

    // Nothing reaches the generator before the first real send: not a new
    // file while it is written, not the emptied old file when a shell's
    // redirection closes its first descriptor before the command writes.
    void nothingBeforeTheSend()
    {
        const QString folder = NewFolder();
        const QString fresh = folder + u"/NEW.TXT"_s;
        const QString old = folder + u"/OLD.TXT"_s;
        QVERIFY(m_sim.AddFile(old, "old bytes\n"));
        const int created = ::open(Encoded(At(fresh)).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY(created >= 0);
        QCOMPARE(::write(created, "new\n", 4), ssize_t(4));
        QVERIFY(!m_sim.Exists(fresh));
        QCOMPARE(::close(created), 0);
        QCOMPARE(m_sim.FileData(fresh), "new\n"_ba);

        const int truncated = ::open(Encoded(At(old)).constData(), O_WRONLY | O_TRUNC);
        QVERIFY(truncated >= 0);
        const int copy = ::dup(truncated);
        QCOMPARE(::close(truncated), 0);
        QCOMPARE(m_sim.FileData(old), "old bytes\n"_ba);
        QCOMPARE(::write(copy, "replaced\n", 9), ssize_t(9));
        QCOMPARE(::close(copy), 0);
        QCOMPARE(m_sim.FileData(old), "replaced\n"_ba);
    }

    // A read gives the generator's bytes; a file that changed there (another
    // size) is fetched again.
    void readsGeneratorBytes()
    {
        const QString folder = NewFolder();
        const QByteArray first = Random(300000);
        QVERIFY(m_sim.AddFile(folder + u"/PIC.PIC"_s, first));
        QCOMPARE(QFileInfo(At(folder + u"/PIC.PIC"_s)).size(), first.size());
        QCOMPARE(Load(At(folder + u"/pic.pic"_s)), first);
        const QByteArray second = Random(1000);
        QVERIFY(m_sim.AddFile(folder + u"/PIC.PIC"_s, second));
        QCOMPARE(Load(At(folder + u"/PIC.PIC"_s)), second);
        // df: the generator's memory.
        struct statvfs figures = {};
        QCOMPARE(::statvfs(Encoded(At(folder)).constData(), &figures), 0);
        QCOMPARE(qint64(figures.f_blocks * figures.f_frsize), m_sim.Capacity());
        QCOMPARE(qint64(figures.f_bfree * figures.f_frsize), (m_sim.Capacity() - m_sim.Used()) / 4096 * 4096);
    }

    // mkdir, rmdir, mv, rm, as the generator keeps its tree.
    void treeChanges()
    {
        const QString folder = NewFolder();
        const QString made = folder + u"/MADE"_s;
        QCOMPARE(::mkdir(Encoded(At(made)).constData(), 0755), 0);
        QVERIFY(m_sim.IsFolder(made));
        QCOMPARE(Save(At(folder + u"/A.SEQ"_s), "a"_ba), 0);
        QCOMPARE(Save(At(folder + u"/B.SEQ"_s), "bb"_ba), 0);
        // Into the folder, then over a file that is there.
        QCOMPARE(::rename(Encoded(At(folder + u"/A.SEQ"_s)).constData(),
                          Encoded(At(made + u"/A.SEQ"_s)).constData()),
                 0);
        QCOMPARE(::rename(Encoded(At(folder + u"/B.SEQ"_s)).constData(),
                          Encoded(At(made + u"/A.SEQ"_s)).constData()),
                 0);
        QCOMPARE(m_sim.List(folder), QStringList{u"MADE/"_s});
        QCOMPARE(m_sim.FileData(made + u"/A.SEQ"_s), "bb"_ba);
        QCOMPARE(QDir(At(made)).entryList(QDir::Files), QStringList{u"A.SEQ"_s});
        errno = 0;
        QCOMPARE(::rmdir(Encoded(At(made)).constData()), -1);
        QCOMPARE(errno, ENOTEMPTY);
        QCOMPARE(::unlink(Encoded(At(made + u"/a.seq"_s)).constData()), 0);
        QVERIFY(!m_sim.Exists(made + u"/A.SEQ"_s));
        QCOMPARE(::rmdir(Encoded(At(made)).constData()), 0);
        QVERIFY(!m_sim.Exists(made));
        // The root and its first-level folders stay as they are.
        errno = 0;
        QCOMPARE(::rmdir(Encoded(m_mount.Path(u"SIGNAL"_s)).constData()), -1);
        QCOMPARE(errno, EPERM);
        QCOMPARE(::mkdir(Encoded(m_mount.Path(u"NEW"_s)).constData(), 0755), -1);
        QCOMPARE(errno, EPERM);
    }

    // A save the generator refuses fails the program's call, and the
    // generator's file is as it was; the bytes are kept for the user.
    void refusedSaves_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("room"); // left on the generator; -1: as it is
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<int>("error");
        QTest::addColumn<bool>("atClose"); // else at open or write
        QTest::addColumn<QStringList>("listed");
        const QStringList old{u"OLD.TXT"_s};
        QTest::newRow("no room") << u"OLD.TXT"_s << qint64(100) << qint64(0) << ENOSPC << true << old;
        QTest::newRow("a name the generator refuses")
            << u"A:B.TXT"_s << qint64(-1) << qint64(0) << EINVAL << true << old;
        QTest::newRow("a name no generator takes")
            << u"A,B.TXT"_s << qint64(-1) << qint64(0) << EINVAL << false << old;
        // The file was made (empty) before the write that failed.
        QTest::newRow("beyond the block limit") << u"BIG.BIN"_s << qint64(-1) << qint64(999999999) << EFBIG
                                                << false << QStringList{u"BIG.BIN"_s, u"OLD.TXT"_s};
    }

    void refusedSaves()
    {
        QFETCH(QString, name);
        QFETCH(qint64, room);
        QFETCH(qint64, offset);
        QFETCH(int, error);
        QFETCH(bool, atClose);
        QFETCH(QStringList, listed);
        const QString folder = NewFolder();
        const QString device = folder + u'/' + name;
        const QByteArray old = "the old bytes\n";
        QVERIFY(m_sim.AddFile(folder + u"/OLD.TXT"_s, old));
        const qint64 capacity = m_sim.Capacity();
        if (room >= 0)
            m_sim.SetCapacity(m_sim.Used() + room);
        const QByteArray bytes = Random(5000);

        const int fd = ::open(Encoded(At(device)).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int failed = fd < 0 ? errno : 0;
        if (fd >= 0) {
            if (::pwrite(fd, bytes.constData(), size_t(bytes.size()), off_t(offset)) != bytes.size())
                failed = errno;
            const int closed = ::close(fd);
            if (!failed && closed != 0)
                failed = errno;
            QCOMPARE(closed != 0, atClose);
        }
        m_sim.SetCapacity(capacity);
        QCOMPARE(failed, error);
        QCOMPARE(m_sim.FileData(folder + u"/OLD.TXT"_s), old);
        QTRY_COMPARE(m_sim.List(folder), listed);
        if (atClose) {
            m_unsent.append(device);
            // The view is the generator's again, the bytes are kept aside and told.
            QTRY_COMPARE(Load(At(folder + u"/OLD.TXT"_s)), old);
            QTRY_VERIFY2(
                m_mount.Log().contains(u"\"%1\": the bytes that were not sent are kept as"_s.arg(device)),
                qPrintable(m_mount.Log()));
        } else {
            QVERIFY2(m_mount.Log().contains(device), qPrintable(m_mount.Log()));
        }
    }

    // Programs reading files at once are served one after the other, each
    // with its own file's bytes.
    void concurrentReaders()
    {
        const QString folder = NewFolder();
        constexpr int kReaders = 10;
        std::vector<QByteArray> contents;
        for (int i = 0; i < kReaders; ++i) {
            contents.push_back(Random(40000 + i * 997));
            QVERIFY(m_sim.AddFile(folder + u"/F%1.BIN"_s.arg(i), contents.back()));
        }
        std::vector<QByteArray> read(kReaders);
        std::vector<std::thread> readers;
        for (int i = 0; i < kReaders; ++i) {
            readers.emplace_back([&, i] {
                const int fd = ::open(Encoded(At(folder + u"/F%1.BIN"_s.arg(i))).constData(), O_RDONLY);
                if (fd < 0)
                    return;
                char buffer[8192];
                ssize_t n = 0;
                while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
                    read[size_t(i)].append(buffer, n);
                ::close(fd);
            });
        }
        for (std::thread& reader : readers)
            reader.join();
        for (int i = 0; i < kReaders; ++i)
            QVERIFY2(read[size_t(i)] == contents[size_t(i)], qPrintable(u"F%1.BIN"_s.arg(i)));
    }

    // A generator that goes away mid-read, or stops answering, fails the
    // read within the bound; the mount serves again once it is back.
    void generatorStopsAndReturns()
    {
        const QString folder = NewFolder();
        const QByteArray bytes = Random(200000);
        QVERIFY(m_sim.AddFile(folder + u"/SLOW.BIN"_s, bytes));
        QVERIFY(m_sim.AddFile(folder + u"/OTHER.BIN"_s, "other"));
        QVERIFY(QFileInfo::exists(At(folder + u"/SLOW.BIN"_s)));

        // Stopped in the middle of the file.
        CSimFaults faults;
        faults.m_bStallTransfer = true;
        m_sim.SetFaults(faults);
        QElapsedTimer clock;
        clock.start();
        int error = 0;
        std::thread reader([&] { Load(At(folder + u"/SLOW.BIN"_s), &error); });
        QTRY_VERIFY(m_sim.AllReceived().contains("mmem:data? \"" + folder.toLatin1() + "/SLOW.BIN\""));
        const quint16 port = m_sim.Port();
        m_sim.Stop();
        reader.join();
        QCOMPARE(error, EIO);
        QVERIFY2(clock.elapsed() < kBoundMs + 1000, qPrintable(QString::number(clock.elapsed())));

        // Back: the mount reads again.
        CSimOptions sim;
        sim.m_nPort = port;
        sim.m_bSeed = false;
        QVERIFY(m_sim.Start(sim));
        m_sim.SetFaults(CSimFaults());
        QTRY_COMPARE_WITH_TIMEOUT(Load(At(folder + u"/SLOW.BIN"_s)), bytes, 3 * kBoundMs);

        // Connected but silent: the wait ends with EIO, never hangs.
        faults = CSimFaults();
        faults.m_nReplyDelayMs = 60000;
        m_sim.SetFaults(faults);
        clock.restart();
        errno = 0;
        struct stat st = {};
        QCOMPARE(::stat(Encoded(At(folder + u"/OTHER.BIN"_s)).constData(), &st), -1);
        QCOMPARE(errno, EIO);
        QVERIFY2(clock.elapsed() < kBoundMs + 1000, qPrintable(QString::number(clock.elapsed())));
        m_sim.SetFaults(CSimFaults());
        QTRY_COMPARE_WITH_TIMEOUT(Load(At(folder + u"/OTHER.BIN"_s)), "other"_ba, 3 * kBoundMs);
    }

    // vq8ctl mount ended by SIGTERM with a write still open: the write is
    // tried, told and kept, and the folder is unmounted.
    void sigtermReportsPendingWrite()
    {
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath(u"point"_s)));
        const QString point = dir.filePath(u"point"_s);
        QProcess mount;
        mount.setProcessChannelMode(QProcess::SeparateChannels);
        mount.start(QCoreApplication::applicationDirPath() + u"/../cli/vq8ctl"_s,
                    {u"--host"_s, m_sim.Address().toString(), u"--port"_s, QString::number(m_sim.Port()),
                     u"mount"_s, u"--cache-dir"_s, dir.filePath(u"cache"_s), u"USER"_s, point});
        QVERIFY(mount.waitForStarted());
        QByteArray err;
        QElapsedTimer clock;
        clock.start();
        while (!err.contains("mounted at") && clock.elapsed() < 10000) {
            mount.waitForReadyRead(200);
            err += mount.readAllStandardError();
        }
        QVERIFY2(err.contains("mounted at"), err.constData());

        const qint64 capacity = m_sim.Capacity();
        m_sim.SetCapacity(m_sim.Used() + 10);
        const QByteArray bytes = Random(3000);
        const int fd =
            ::open(Encoded(point + u"/PENDING.TXT"_s).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
        ::kill(pid_t(mount.processId()), SIGTERM);
        QVERIFY(mount.waitForFinished(3 * kBoundMs));
        ::close(fd);
        m_sim.SetCapacity(capacity);
        err += mount.readAllStandardError();
        QCOMPARE(mount.exitCode(), 1);
        QVERIFY2(err.contains("not sent: \"/F0:/USER/PENDING.TXT\", kept as \""), err.constData());
        const QString kept = QString::fromUtf8(err.mid(err.indexOf("kept as \"") + 9).split('"').first());
        QCOMPARE(Load(kept), bytes);
        QVERIFY(!m_sim.Exists(u"/F0:/USER/PENDING.TXT"_s));
        QFile mounts(u"/proc/mounts"_s);
        QVERIFY(mounts.open(QIODevice::ReadOnly));
        QVERIFY(!mounts.readAll().contains(Encoded(point)));
    }
};

QTEST_GUILESS_MAIN(TestMount)
#include "tst_mount.moc"
