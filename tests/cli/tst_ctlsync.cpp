// CCtlSync end to end against emulators in this process: what a sync knows
// of contents (the record, a read back, "size only"), the room of a plan,
// a generator lost midway, backup and restore, --watch, links.

#include "cli/consolehost.h"
#include "cli/ctltool.h"
#include "sim/simserver.h"
#include "sync/syncrecord.h"

#include "tests/support/toolenvironment.h"
#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString kIdentity = u"VELTRANE,VQ820,1002,5.60"_s;

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
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
    QJsonObject report;
};

// Every file below `folder` of an emulator: path -> content (DOWNLOAD's
// packages by content only: the generator names them).
QMap<QString, QByteArray> Tree(const CSimServer& sim, const QString& folder = u"/F0:/"_s)
{
    QMap<QString, QByteArray> tree;
    for (const QString& name : sim.List(folder)) {
        const QString path = folder + name;
        if (name.endsWith(u'/')) {
            tree.insert(path, QByteArray());
            tree.insert(Tree(sim, path));
        } else if (folder.compare(u"/F0:/DOWNLOAD/"_s, Qt::CaseInsensitive) == 0) {
            tree.insert(u"/F0:/DOWNLOAD/#"_s + QString::fromLatin1(sim.FileData(path).toHex().left(16)),
                        sim.FileData(path));
        } else {
            tree.insert(path, sim.FileData(path));
        }
    }
    return tree;
}

bool Changed(const CSimServer& sim)
{
    const QByteArray sent = sim.AllReceived();
    return sent.contains("mmem:data ") || sent.contains("mmem:del") || sent.contains("mmem:mdir") ||
           sent.contains("mmem:load");
}

} // namespace

class TestCtlSync : public QObject
{
    Q_OBJECT

private:
    CToolEnvironment m_tool;
    std::unique_ptr<QTemporaryDir> m_pc;
    std::unique_ptr<CSimServer> m_sim;

    QString Pc(const QString& name) const { return m_pc->filePath(name); }

    std::unique_ptr<CSimServer> Emulator(bool files = true, qint64 capacity = 64LL * 1024 * 1024,
                                         const QString& identity = kIdentity) const
    {
        auto sim = std::make_unique<CSimServer>();
        CSimOptions options;
        options.m_nPort = 0;
        options.m_bSeedFiles = files;
        options.m_nCapacity = capacity;
        options.m_strIdentity = identity;
        return sim->Start(options) ? std::move(sim) : nullptr;
    }

    // The tool in this process on `sim`; `during` runs while it waits.
    ToolRun Run(const QStringList& arguments, CSimServer* sim = nullptr,
                const std::function<void(CCtlTool&)>& during = {})
    {
        QBuffer out;
        QBuffer err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        CConsoleHost host(&out, &err);
        CCtlTool tool(host);
        tool.SetDelayScale(0.01);
        QTimer tick;
        if (during) {
            QObject::connect(&tick, &QTimer::timeout, &tick, [&] { during(tool); });
            tick.start(10);
        }
        const QString report = m_pc->filePath(u"report.json"_s);
        QFile::remove(report);
        ToolRun run;
        run.status =
            tool.Run(QStringList{u"vq8ctl"_s, u"--host"_s, u"127.0.0.1"_s, u"--port"_s,
                                 QString::number((sim ? sim : m_sim.get())->Port()), u"--report"_s, report} +
                     arguments);
        run.out = QString::fromUtf8(out.data());
        run.err = QString::fromUtf8(err.data());
        run.report = QJsonDocument::fromJson(ReadFile(report)).object();
        return run;
    }

    // The report's file entries by target name: "outcome judged".
    static QMap<QString, QString> Outcomes(const ToolRun& run)
    {
        QMap<QString, QString> outcomes;
        for (const QJsonValue& value : run.report.value(u"files"_s).toArray()) {
            const QJsonObject file = value.toObject();
            outcomes.insert(
                QFileInfo(file.value(u"target"_s).toString()).fileName(),
                (file.value(u"outcome"_s).toString() + u' ' + file.value(u"judged"_s).toString()).trimmed());
        }
        return outcomes;
    }

    CSyncRecord Record(const CSimServer& sim) const
    {
        return CSyncRecord(CGeneratorIdentity::FromReply(u"127.0.0.1"_s, sim.Port(), kIdentity),
                           m_tool.RecordFolder());
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_tool.KeepSettings()); }

    void init()
    {
        QVERIFY(m_tool.NewRecord());
        m_pc = std::make_unique<QTemporaryDir>();
        m_sim = Emulator();
        QVERIFY(m_sim);
        QVERIFY(m_sim->AddFolder(u"/F0:/USER/T"_s));
    }

    void cleanup()
    {
        m_sim.reset();
        m_pc.reset();
        m_tool.DropRecord();
    }

    // One file both sides hold: what the record and a read back tell. The
    // dry run's line and the report's judgement, then what the sync leaves.
    void contents_data()
    {
        QTest::addColumn<QByteArray>("pc");
        QTest::addColumn<QByteArray>("generator");
        QTest::addColumn<QByteArray>("recorded"); // what the record says the generator holds; empty: nothing;
                                                  // "?": a send of the PC file's size never confirmed
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<bool>("sent");

        QTest::newRow("the same by the record")
            << QByteArray("aaaa") << QByteArray("aaaa") << QByteArray("aaaa") << QStringList() << QString()
            << u"unchanged record"_s << false;
        QTest::newRow("a PC edit of one size")
            << QByteArray("bbbb") << QByteArray("aaaa") << QByteArray("aaaa") << QStringList()
            << u"<fc........ F.SEQ (4 bytes, other content by record)"_s << u"planned"_s << true;
        QTest::newRow("a foreign file of one size: size only")
            << QByteArray("aaaa") << QByteArray("cccc") << QByteArray() << QStringList() << QString()
            << u"unchanged size-only"_s << false;
        QTest::newRow("a foreign file, --checksum")
            << QByteArray("aaaa") << QByteArray("cccc") << QByteArray() << QStringList{u"-c"_s}
            << u"<fc........ F.SEQ (4 bytes, other content by checksum)"_s << u"planned"_s << true;
        QTest::newRow("a record someone else made wrong, --checksum")
            << QByteArray("aaaa") << QByteArray("cccc") << QByteArray("aaaa") << QStringList{u"--checksum"_s}
            << u"<fc........ F.SEQ (4 bytes, other content by checksum)"_s << u"planned"_s << true;
        QTest::newRow("the same by reading back")
            << QByteArray("aaaa") << QByteArray("aaaa") << QByteArray() << QStringList{u"-c"_s} << QString()
            << u"unchanged checksum"_s << false;
        QTest::newRow("another size")
            << QByteArray("aaaaa") << QByteArray("aaaa") << QByteArray("aaaa") << QStringList()
            << u"<f.s....... F.SEQ (4 -> 5 bytes)"_s << u"planned"_s << true;
        QTest::newRow("the record of another size is no proof")
            << QByteArray("aaaa") << QByteArray("cccc") << QByteArray("aaaaa") << QStringList() << QString()
            << u"unchanged size-only"_s << false;
        QTest::newRow("a send cut off earlier")
            << QByteArray("bbbb") << QByteArray("aaaa") << QByteArray("?") << QStringList()
            << u"<fc........ F.SEQ (4 bytes, an earlier send not confirmed)"_s << u"planned"_s << true;
        QTest::newRow("a send cut off earlier, --checksum: it arrived")
            << QByteArray("bbbb") << QByteArray("bbbb") << QByteArray("?") << QStringList{u"-c"_s}
            << QString() << u"unchanged checksum"_s << false;
        QTest::newRow("--no-record") << QByteArray("bbbb") << QByteArray("aaaa") << QByteArray("aaaa")
                                     << QStringList{u"--no-record"_s} << QString() << u"unchanged size-only"_s
                                     << false;
    }

    void contents()
    {
        QFETCH(QByteArray, pc);
        QFETCH(QByteArray, generator);
        QFETCH(QByteArray, recorded);
        QFETCH(QStringList, options);
        QFETCH(QString, line);
        QFETCH(QString, outcome);
        QFETCH(bool, sent);
        QVERIFY(WriteFile(Pc(u"set/F.SEQ"_s), pc));
        QVERIFY(m_sim->AddFile(u"/F0:/USER/T/F.SEQ"_s, generator));
        if (!recorded.isEmpty()) {
            CSyncRecord record = Record(*m_sim);
            if (recorded == "?")
                record.SetUnconfirmed(u"/F0:/USER/T/F.SEQ"_s, pc.size());
            else
                record.Set(u"/F0:/USER/T/F.SEQ"_s, recorded.size(),
                           QCryptographicHash::hash(recorded, QCryptographicHash::Sha256));
            QVERIFY(record.Save());
        }
        const QStringList sync =
            QStringList{u"--yes"_s, u"sync"_s} + options + QStringList{Pc(u"set"_s), u"USER/T"_s};
        m_sim->ClearTranscripts();
        ToolRun run = Run(sync + QStringList{u"--dry-run"_s});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, line.isEmpty() ? QString() : line + u'\n');
        QCOMPARE(Outcomes(run).value(u"F.SEQ"_s), outcome);
        // "Size only" is said, never taken as the same.
        QCOMPARE(run.err.contains(u"not proven the same (size only"_s), outcome.endsWith(u"size-only"_s));
        QVERIFY(!Changed(*m_sim));

        run = Run(sync);
        QCOMPARE(run.status, 0);
        QCOMPARE(m_sim->FileData(u"/F0:/USER/T/F.SEQ"_s), sent ? pc : generator);
        // What was sent or read back is recorded: the next dry run knows.
        if (sent || options.contains(u"-c"_s)) {
            run = Run({u"sync"_s, u"--dry-run"_s, Pc(u"set"_s), u"USER/T"_s});
            QCOMPARE(run.out, QString());
            QCOMPARE(Outcomes(run).value(u"F.SEQ"_s), u"unchanged record"_s);
        }
    }

    // verify reads every file back: each difference named, exit status 1.
    void verify()
    {
        QVERIFY(WriteFile(Pc(u"set/SAME.SEQ"_s), "same") && WriteFile(Pc(u"set/FOREIGN.SEQ"_s), "mine") &&
                WriteFile(Pc(u"set/SUB/NEW.SEQ"_s), "new") && WriteFile(Pc(u"set/SIZE.SEQ"_s), "four"));
        QVERIFY(m_sim->AddFile(u"/F0:/USER/T/SAME.SEQ"_s, "same") &&
                m_sim->AddFile(u"/F0:/USER/T/FOREIGN.SEQ"_s, "them") &&
                m_sim->AddFile(u"/F0:/USER/T/SIZE.SEQ"_s, "three") &&
                m_sim->AddFile(u"/F0:/USER/T/OLD.SEQ"_s, "o"));
        ToolRun run = Run({u"verify"_s, Pc(u"set"_s), u"USER/T"_s});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.out, u"differs     FOREIGN.SEQ (4 bytes, other content)\n"
                          "extra       OLD.SEQ\n"
                          "differs     SIZE.SEQ (5 bytes on the generator, 4 on the PC)\n"
                          "missing     SUB/\n"
                          "missing     SUB/NEW.SEQ (3 bytes)\n"_s);
        QCOMPARE(run.report.value(u"failure"_s).toObject().value(u"kind"_s).toString(), u"differs"_s);
        QCOMPARE(run.report.value(u"source"_s).toString(), Pc(u"set"_s));
        QCOMPARE(run.report.value(u"target"_s).toString(), u"/F0:/USER/T"_s);
        QVERIFY(!Changed(*m_sim));
        // The deletion's question answered Cancel: nothing done, and said so.
        run = Run({u"--no"_s, u"sync"_s, u"-r"_s, u"--delete"_s, Pc(u"set"_s), u"USER/T"_s});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.report.value(u"failure"_s).toObject().value(u"kind"_s).toString(), u"cancelled"_s);
        QVERIFY(!Changed(*m_sim));
        // After a sync with --checksum and --delete, nothing differs.
        QCOMPARE(
            Run({u"--yes"_s, u"sync"_s, u"-r"_s, u"-c"_s, u"--delete"_s, Pc(u"set"_s), u"USER/T"_s}).status,
            0);
        run = Run({u"verify"_s, Pc(u"set"_s), u"USER/T"_s});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, QString());
        QVERIFY2(run.err.contains(u"holds what"_s) && run.err.contains(u"4 files read back and the same"_s),
                 qPrintable(run.err));
    }

    // A record that cannot be read is no record: nothing is taken as the
    // same on its strength, and --checksum does what the record would have.
    void damagedRecord_data()
    {
        QTest::addColumn<QByteArray>("damage");
        QTest::newRow("garbage") << QByteArray("\x7f"
                                               "ELF garbage",
                                               12);
        QTest::newRow("cut short") << QByteArray("{\"format\": 1, \"files\": {\"/F0:/USER/T/A.SEQ\": {\"si");
        QTest::newRow("empty") << QByteArray();
    }

    void damagedRecord()
    {
        QFETCH(QByteArray, damage);
        for (const char* name : {"A.SEQ", "B.SEQ", "C.SEQ"})
            QVERIFY(WriteFile(Pc(u"set/"_s + QString::fromLatin1(name)), "abcd"));
        const QStringList sync{u"--yes"_s, u"sync"_s, Pc(u"set"_s), u"USER/T"_s};
        QCOMPARE(Run(sync).status, 0);
        const QString file = Record(*m_sim).FilePath();
        QVERIFY(QFile::exists(file));
        QVERIFY(WriteFile(file, damage));
        QVERIFY(WriteFile(Pc(u"set/B.SEQ"_s), "wxyz"));
        ToolRun run = Run(sync + QStringList{u"--dry-run"_s});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, QString());
        QCOMPARE(Outcomes(run), (QMap<QString, QString>{{u"A.SEQ"_s, u"unchanged size-only"_s},
                                                        {u"B.SEQ"_s, u"unchanged size-only"_s},
                                                        {u"C.SEQ"_s, u"unchanged size-only"_s}}));
        QVERIFY2(damage.isEmpty() || run.err.contains(u"could not be read"_s), qPrintable(run.err));
        run = Run(QStringList{u"-c"_s} + sync);
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, u"<fc........ B.SEQ (4 bytes, other content by checksum)\n"_s);
        QCOMPARE(m_sim->FileData(u"/F0:/USER/T/B.SEQ"_s), QByteArray("wxyz"));
        // And the record is whole again.
        run = Run(sync + QStringList{u"--dry-run"_s});
        QCOMPARE(Outcomes(run).value(u"A.SEQ"_s), u"unchanged record"_s);
        QCOMPARE(Outcomes(run).value(u"B.SEQ"_s), u"unchanged record"_s);
    }

    // A plan that does not fit is refused before the first byte, dry run too,
    // with both figures; what deletions and replaced files give back counts.
    void room_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("files");   // of 1000 bytes on the PC, in two folders
        QTest::addColumn<QString>("old"); // files of 1000 bytes on the generator: "O1 O2"
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");

        const QString refused = u"Insufficient memory free space in VQ. : needs 29.3KB, 19.5KB free"_s;
        const QString eleven = u"O1 O2 O3 O4 O5 O6 O7 O8 O9 O10 O11"_s;
        QTest::newRow("sync") << QStringList{u"sync"_s, u"-r"_s} << 30 << QString() << 1 << refused;
        QTest::newRow("sync --dry-run")
            << QStringList{u"sync"_s, u"-r"_s, u"--dry-run"_s} << 30 << QString() << 1 << refused;
        QTest::newRow("put -r") << QStringList{u"put"_s, u"-r"_s} << 30 << QString() << 1 << refused;
        QTest::newRow("deletions make room")
            << QStringList{u"sync"_s, u"-r"_s, u"--delete"_s} << 16 << eleven << 0 << QString();
        QTest::newRow("without --delete they do not")
            << QStringList{u"sync"_s, u"-r"_s, u"--dry-run"_s} << 16 << eleven << 1
            << u"Insufficient memory free space in VQ. : needs 15.6KB, 8.79KB free"_s;
    }

    void room()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, files);
        QFETCH(QString, old);
        QFETCH(int, status);
        QFETCH(QString, error);
        m_sim = Emulator(false, 20000);
        QVERIFY(m_sim);
        // Files of 1000 bytes in two folders into 20000 bytes of memory.
        for (int i = 0; i < files; ++i)
            QVERIFY(WriteFile(Pc(u"set/%1/F%2.SEQ"_s.arg(i < files / 2 ? u"A"_s : u"B"_s).arg(i)),
                              QByteArray(1000, 'x')));
        QVERIFY(m_sim->AddFolder(u"/F0:/USER/set"_s));
        for (const QString& name : old.split(u' ', Qt::SkipEmptyParts))
            QVERIFY(m_sim->AddFile(u"/F0:/USER/set/"_s + name, QByteArray(1000, 'o')));
        const QMap<QString, QByteArray> before = Tree(*m_sim);
        m_sim->ClearTranscripts();
        const bool put = arguments.constFirst() == u"put";
        const ToolRun run = Run(QStringList{u"--yes"_s} + arguments +
                                QStringList{Pc(u"set"_s), put ? u"USER"_s : u"USER/set"_s});
        QCOMPARE(run.status, status);
        if (status != 0) {
            QVERIFY2(run.err.contains(error), qPrintable(run.err));
            QCOMPARE(run.report.value(u"failure"_s).toObject().value(u"kind"_s).toString(), u"no-room"_s);
            QCOMPARE(run.report.value(u"failure"_s).toObject().value(u"needed"_s).toInt(), files * 1000);
            // Not a byte, not a folder: the catalog is as it was.
            QVERIFY(!Changed(*m_sim));
            QCOMPARE(Tree(*m_sim), before);
        } else {
            QCOMPARE(m_sim->List(u"/F0:/USER/set"_s), (QStringList{u"A/"_s, u"B/"_s}));
            QCOMPARE(m_sim->List(u"/F0:/USER/set/A"_s).size() + m_sim->List(u"/F0:/USER/set/B"_s).size(),
                     files);
        }
    }

    // A generator gone midway: connection-lost, the file under way and how
    // many are in place, once; the files after it never started.
    void connectionLost()
    {
        for (int i = 0; i < 6; ++i)
            QVERIFY(WriteFile(Pc(u"set/F%1.SEQ"_s.arg(i)), QByteArray(3000, char('a' + i))));
        const quint16 port = m_sim->Port(); // the record is kept under it
        const ToolRun run =
            Run({u"--yes"_s, u"sync"_s, Pc(u"set"_s), u"USER/T"_s}, nullptr, [this](CCtlTool&) {
                if (m_sim && m_sim->Exists(u"/F0:/USER/T/F2.SEQ"_s))
                    m_sim->Stop();
            });
        QCOMPARE(run.status, 1);
        const QJsonObject failure = run.report.value(u"failure"_s).toObject();
        QCOMPARE(failure.value(u"kind"_s).toString(), u"connection-lost"_s);
        const int inPlace = failure.value(u"inPlace"_s).toInt();
        QVERIFY2(inPlace >= 3 && inPlace < 6, qPrintable(run.err));
        QCOMPARE(failure.value(u"files"_s).toInt(), 6);
        const QString broken = QFileInfo(failure.value(u"file"_s).toString()).fileName();
        QCOMPARE(broken, u"F%1.SEQ"_s.arg(inPlace));
        QCOMPARE(failure.value(u"message"_s).toString(),
                 u"connection lost while sending %1; %2 of 6 files in place"_s.arg(broken).arg(inPlace));
        QVERIFY2(run.err.contains(failure.value(u"message"_s).toString()), qPrintable(run.err));
        QCOMPARE(Outcomes(run).values().count(u"not-started"_s), 6 - inPlace - 1);
        // What the generator holds at the file under way is not known, and
        // the record says so: the next sync sends it again, never "size only".
        CSyncRecord record(CGeneratorIdentity::FromReply(u"127.0.0.1"_s, port, kIdentity),
                           m_tool.RecordFolder());
        QVERIFY(record.Load());
        const auto entry = record.Find(u"/F0:/USER/T/"_s + broken);
        QVERIFY(entry && entry->m_bUnconfirmed);
        // One channel gone is one message, not one per file.
        QVERIFY2(run.err.count(u"Cannot connect"_s) <= 1, qPrintable(run.err));
    }

    // A backup of a generator restored onto an emptied one: the same tree,
    // byte for byte, and nothing left for a dry run, DOWNLOAD included.
    void backupRestore()
    {
        QVERIFY(m_sim->AddFolder(u"/F0:/USER/T/EMPTY"_s) && m_sim->AddFile(u"/F0:/USER/T/A.SEQ"_s, "alpha"));
        const QString backup = Pc(u"bk"_s);
        ToolRun run = Run({u"--yes"_s, u"backup"_s, backup});
        QCOMPARE(run.status, 0);
        QCOMPARE(ReadFile(backup + u"/USER/T/A.SEQ"_s), QByteArray("alpha"));
        QVERIFY(QFileInfo(backup + u"/USER/T/EMPTY"_s).isDir());
        const QJsonObject manifest =
            QJsonDocument::fromJson(ReadFile(backup + u"/vq8-backup.json"_s)).object();
        QCOMPARE(manifest.value(u"generator"_s).toObject().value(u"serial"_s).toString(), u"1002"_s);
        QCOMPARE(manifest.value(u"files"_s).toArray().size(), 14);

        const std::unique_ptr<CSimServer> empty =
            Emulator(false, 64LL * 1024 * 1024, u"VELTRANE,VQ820,1003,5.60"_s);
        QVERIFY(empty);
        run = Run({u"--yes"_s, u"restore"_s, backup}, empty.get());
        QCOMPARE(run.status, 0);
        QCOMPARE(Tree(*empty), Tree(*m_sim));
        QCOMPARE(run.report.value(u"source"_s).toString(), backup);
        QCOMPARE(run.report.value(u"target"_s).toString(), u"/F0:/"_s);
        for (const QJsonValue& file : run.report.value(u"files"_s).toArray())
            QVERIFY2(file.toObject().value(u"verified"_s).toBool(),
                     qPrintable(file.toObject().value(u"target"_s).toString()));
        empty->ClearTranscripts();
        for (const QStringList& again :
             {QStringList{u"restore"_s, u"--dry-run"_s, backup},
              QStringList{u"sync"_s, u"-r"_s, u"--delete"_s, u"--dry-run"_s, backup, u"/F0:/"_s}}) {
            run = Run(again, empty.get());
            QCOMPARE(run.status, 0);
            QCOMPARE(run.out, QString());
        }
        QCOMPARE(Run({u"verify"_s, backup, u"/F0:/"_s}, empty.get()).status, 0);
        QVERIFY(!Changed(*empty));
        // A backup whose file changed since is refused whole.
        QVERIFY(WriteFile(backup + u"/USER/T/A.SEQ"_s, "omega"));
        run = Run({u"--yes"_s, u"restore"_s, backup}, empty.get());
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(u"A file of the backup is not as its manifest says"_s),
                 qPrintable(run.err));
        QVERIFY(!Changed(*empty));
    }

    // get -r of the root: everything, into a folder made for it.
    void getRoot()
    {
        const ToolRun run = Run({u"get"_s, u"-r"_s, u"/F0:/"_s, Pc(u"all"_s)});
        QCOMPARE(run.status, 0);
        QCOMPARE(ReadFile(Pc(u"all/SIGNAL/720P50.CMP"_s)), m_sim->FileData(u"/F0:/SIGNAL/720P50.CMP"_s));
        QCOMPARE(ReadFile(Pc(u"all/DOWNLOAD/UPDATE.DNL"_s)), m_sim->FileData(u"/F0:/DOWNLOAD/UPDATE.DNL"_s));
        QVERIFY(QFileInfo(Pc(u"all/USER/T"_s)).isDir());
    }

    // --watch: a file saved the way editors save (a temporary file, then a
    // rename) goes once, whole; the temporary one never; Ctrl+C ends it.
    void watch()
    {
        QVERIFY(WriteFile(Pc(u"w/OLD.SEQ"_s), "old"));
        int step = 0;
        QElapsedTimer clock;
        clock.start();
        const ToolRun run = Run({u"--yes"_s, u"sync"_s, u"--delete"_s, u"--watch"_s, Pc(u"w"_s), u"USER/T"_s},
                                nullptr, [&](CCtlTool& tool) {
                                    if (step == 0 && m_sim->Exists(u"/F0:/USER/T/OLD.SEQ"_s)) {
                                        // The editor writes its temporary file over a while, then renames it.
                                        QVERIFY(WriteFile(Pc(u"w/.NEW.SEQ.swp"_s), "swap"));
                                        QVERIFY(WriteFile(Pc(u"w/NEW.SEQ.tmp"_s), "new "));
                                        step = 1;
                                        clock.restart();
                                    } else if (step == 1 && clock.elapsed() > 300) {
                                        QFile file(Pc(u"w/NEW.SEQ.tmp"_s));
                                        QVERIFY(file.open(QIODevice::Append) && file.write("content") == 7);
                                        file.close();
                                        QVERIFY(QFile::rename(Pc(u"w/NEW.SEQ.tmp"_s), Pc(u"w/NEW.SEQ"_s)));
                                        QVERIFY(QFile::remove(Pc(u"w/OLD.SEQ"_s)));
                                        step = 2;
                                    } else if (step == 2 && m_sim->Exists(u"/F0:/USER/T/NEW.SEQ"_s) &&
                                               !m_sim->Exists(u"/F0:/USER/T/OLD.SEQ"_s)) {
                                        step = 3;
                                        clock.restart();
                                    } else if (step == 3 && clock.elapsed() > 1500) {
                                        // Long enough for another pass, had there been anything for one.
                                        tool.Interrupt();
                                        step = 4;
                                    } else if (clock.elapsed() > 20000 && step < 4) {
                                        tool.Interrupt();
                                        step = 5;
                                    }
                                });
        QCOMPARE(step, 4);
        QCOMPARE(run.status, 130);
        QCOMPARE(m_sim->FileData(u"/F0:/USER/T/NEW.SEQ"_s), QByteArray("new content"));
        QCOMPARE(m_sim->List(u"/F0:/USER/T"_s), QStringList{u"NEW.SEQ"_s});
        QCOMPARE(m_sim->AllReceived().count("mmem:data \"/F0:/USER/T/NEW.SEQ\""), 1);
        // Deletions go first in a pass: they make room.
        QCOMPARE(run.out, u"<f+++++++++ OLD.SEQ (3 bytes)\n"
                          "*deleting   OLD.SEQ\n"
                          "<f+++++++++ NEW.SEQ (11 bytes)\n"_s);
    }

    // Links in the PC folder: left out with a note unless --links; a folder
    // inside itself is refused.
    void links_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<bool>("loop");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<QString>("err");
        QTest::newRow("left out") << QStringList() << false << 0 << QStringList{u"A.SEQ"_s}
                                  << u"left out, a link (--links follows links)"_s;
        QTest::newRow("--links") << QStringList{u"--links"_s} << false << 0
                                 << QStringList{u"A.SEQ"_s, u"L.SEQ"_s, u"LD/"_s, u"LD/OUT.SEQ"_s}
                                 << QString();
        QTest::newRow("a loop left out")
            << QStringList() << true << 0 << QStringList{u"A.SEQ"_s} << u"left out, a link"_s;
        QTest::newRow("a loop, --links")
            << QStringList{u"--links"_s} << true << 1 << QStringList() << u"Folder inside itself (a link)"_s;
    }

    void links()
    {
#ifndef Q_OS_UNIX
        QSKIP("QFile::link makes shortcuts on Windows, not links");
#else
        QFETCH(QStringList, options);
        QFETCH(bool, loop);
        QFETCH(int, status);
        QFETCH(QStringList, sent);
        QFETCH(QString, err);
        QVERIFY(WriteFile(Pc(u"set/A.SEQ"_s), "a") && WriteFile(Pc(u"outside/OUT.SEQ"_s), "out"));
        QVERIFY(QFile::link(Pc(u"outside/OUT.SEQ"_s), Pc(u"set/L.SEQ"_s)));
        QVERIFY(QFile::link(loop ? Pc(u"set"_s) : Pc(u"outside"_s), Pc(u"set/LD"_s)));
        const ToolRun run = Run(QStringList{u"--yes"_s, u"sync"_s, u"-r"_s} + options +
                                QStringList{Pc(u"set"_s), u"USER/T"_s});
        QCOMPARE(run.status, status);
        QVERIFY2(err.isEmpty() || run.err.contains(err), qPrintable(run.err));
        QStringList held;
        for (const QString& name : m_sim->List(u"/F0:/USER/T"_s)) {
            held.append(name);
            if (name.endsWith(u'/'))
                for (const QString& inner : m_sim->List(u"/F0:/USER/T/"_s + name))
                    held.append(name + inner);
        }
        QCOMPARE(held, sent);
#endif
    }
};

QTEST_GUILESS_MAIN(TestCtlSync)
#include "tst_ctlsync.moc"
