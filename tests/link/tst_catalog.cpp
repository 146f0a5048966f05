#include "tests/support/linkfixture.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <cmath>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// "NAME:size" for a file, "NAME/" for a folder.
QString Describe(const CFileInfo& info)
{
    return info.IsFolder() ? info.GetName() + u'/' : info.GetName() + u':' + QString::number(info.GetSize());
}

// The listing as the grammar gives it, by regular expression over what
// follows the figures: the entries while they match, and whether nothing but
// blanks followed them. The cursor must deliver exactly the same.
QStringList GrammarListing(const QString& afterFigures, bool& complete)
{
    static const QRegularExpression entry(
        u"\\G,\"([^\",\\x00-\\x1f]+)\",[^\",\\x00-\\x1f]*,[ ]*(\\d+(?:\\.\\d*)?(?:[eE][+-]?\\d+)?)[ ]*(?=,|$)"_s);
    QStringList out;
    qsizetype pos = 0;
    for (QRegularExpressionMatch match = entry.match(afterFigures, pos); match.hasMatch();
         match = entry.match(afterFigures, pos)) {
        const QString name = match.captured(1).section(u'/', 0, 0);
        const double size = match.captured(2).toDouble();
        if (name.isEmpty() || size != std::trunc(size) || size >= 9223372036854775808.0)
            break;
        out.append(match.captured(1).contains(u'/') ? name + u'/'
                                                    : name + u':' + QString::number(qint64(size)));
        pos = match.capturedEnd();
    }
    complete = afterFigures.sliced(pos).trimmed().isEmpty();
    return out;
}

} // namespace

class TestCatalog : public QObject
{
    Q_OBJECT

private:
    CLinkFixture m_link;
    CSimServer& m_sim = m_link.m_sim;
    CScriptedHost& m_host = m_link.m_host;
    std::unique_ptr<CVQComm>& m_comm = m_link.m_comm;

    QStringList ReadAll(const QString& path, int* result = nullptr)
    {
        QStringList names;
        CFileInfo entry;
        const int first = m_comm->ReadCatalog(path, entry);
        if (result)
            *result = first;
        if (first) {
            do {
                names.append(Describe(entry));
            } while (m_comm->NextCatalogEntry(entry));
        }
        m_comm->EndCatalog();
        return names;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_link.Start(), qPrintable(m_sim.ErrorString())); }

    void init() { QVERIFY(m_link.Reset()); }

    void cleanup() { QVERIFY(m_link.Finish()); }

    void twoEntries()
    {
        m_sim.SetScriptedReply("mmem:cat?", "1000,2000,\"A.SEQ\",SEQ,10,\"SUB/\",DIR,0\n");
        CFileInfo entry;
        QCOMPARE(m_comm->ReadCatalog(u"/F0:/A"_s, entry), 1);
        QCOMPARE(entry.GetName(), u"A.SEQ"_s);
        QCOMPARE(entry.GetSize(), qint64(10));
        QCOMPARE(int(entry.GetKind()), int(KIND_SEQUENCE));
        QCOMPARE(entry.IsFolder(), 0);
        QCOMPARE(entry.GetTime(), 116444736000000000ULL);
        QCOMPARE(m_comm->NextCatalogEntry(entry), 1);
        QCOMPARE(entry.GetName(), u"SUB"_s);
        QCOMPARE(entry.IsFolder(), 1);
        QCOMPARE(m_comm->NextCatalogEntry(entry), 0);
        QCOMPARE(g_catalogCount, 2);
        QCOMPARE(g_catalogBytes, qint64(10));
        QCOMPARE(g_catalogUsed, 1000.0);
        QCOMPARE(g_catalogFree, 2000.0);
        QCOMPARE(m_comm->MemoryUsed(), 1000.0);
        QCOMPARE(m_comm->MemoryFree(), 2000.0);
        QCOMPARE(m_sim.AllReceived(), QByteArray("mmem:cdir \"/F0:/A\"\r\nmmem:cat?\r\n"));
        QVERIFY(m_host.Messages().isEmpty());
    }

    void listing_data()
    {
        // Before every row: kept pair 111/222, counters 99.
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<int>("count");
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<double>("used");
        QTest::addColumn<double>("freeBytes");
        QTest::addColumn<double>("linkUsed");
        // What is not a whole entry after the figures: never an empty folder
        // (the first three as a fault probe found them).
        QTest::newRow("unquoted names") << QByteArray("1000,2000,A.TXT,BIN,5,B.TXT,BIN,5\n") << 0
                                        << QStringList() << 0 << qint64(0) << 1000.0 << 2000.0 << 1000.0;
        QTest::newRow("text after the figures") << QByteArray("1000,2000 BUSY\n") << 0 << QStringList() << 0
                                                << qint64(0) << 1000.0 << 2000.0 << 1000.0;
        QTest::newRow("cut after an entry's comma")
            << QByteArray("1000,2000,\"A.TXT\",TXT,5,\n") << 1 << QStringList{u"A.TXT:5"_s} << 1 << qint64(5)
            << 1000.0 << 2000.0 << 1000.0;
        QTest::newRow("cut in a name") << QByteArray("1,2,\"A\",T,5,\"B.TX\n") << 1 << QStringList{u"A:5"_s}
                                       << 1 << qint64(5) << 1.0 << 2.0 << 1.0;
        QTest::newRow("cut after a name") << QByteArray("1,2,\"A\",T,5,\"B\",T\n") << 1
                                          << QStringList{u"A:5"_s} << 1 << qint64(5) << 1.0 << 2.0 << 1.0;
        QTest::newRow("text after an entry") << QByteArray("1,2,\"A\",T,5,x\n") << 1 << QStringList{u"A:5"_s}
                                             << 1 << qint64(5) << 1.0 << 2.0 << 1.0;
        QTest::newRow("comma in a name")
            << QByteArray("1,2,\"A,B\",T,5\n") << 0 << QStringList() << 0 << qint64(0) << 1.0 << 2.0 << 1.0;
        QTest::newRow("figures only") << QByteArray("1000,2000\n") << 0 << QStringList() << 0 << qint64(0)
                                      << 1000.0 << 2000.0 << 1000.0;
        QTest::newRow("figures and blanks") << QByteArray("1000,2000 \t\n") << 0 << QStringList() << 0
                                            << qint64(0) << 1000.0 << 2000.0 << 1000.0;
        QTest::newRow("zero figures keep the pair")
            << QByteArray("0,0,\"A\",T,5\n") << 1 << QStringList{u"A:5"_s} << 1 << qint64(5) << 111.0 << 222.0
            << 111.0;
        QTest::newRow("one zero figure keeps the pair")
            << QByteArray("0,5000,\"A\",T,5\n") << 1 << QStringList{u"A:5"_s} << 1 << qint64(5) << 111.0
            << 222.0 << 111.0;
        QTest::newRow("bad size ends the listing")
            << QByteArray("1,2,\"A\",T,5,\"B\",T,x,\"C\",T,7\n") << 1 << QStringList{u"A:5"_s} << 1
            << qint64(5) << 1.0 << 2.0 << 1.0;
        QTest::newRow("bad first entry") << QByteArray("1,2,\"B\",T,x,\"C\",T,7\n") << 0 << QStringList() << 0
                                         << qint64(0) << 1.0 << 2.0 << 1.0;
        QTest::newRow("sizes written as reals")
            << QByteArray("1,2,\"A\",T,1.2E+3,\"B\",T,7.0\n") << 1 << QStringList{u"A:1200"_s, u"B:7"_s} << 2
            << qint64(1207) << 1.0 << 2.0 << 1.0;
        QTest::newRow("size not a count ends the listing")
            << QByteArray("1,2,\"A\",T,5,\"B\",T,0x64,\"C\",T,-5\n") << 1 << QStringList{u"A:5"_s} << 1
            << qint64(5) << 1.0 << 2.0 << 1.0;
        QTest::newRow("fraction ends the listing")
            << QByteArray("1,2,\"A\",T,12.9\n") << 0 << QStringList() << 0 << qint64(0) << 1.0 << 2.0 << 1.0;
        QTest::newRow("names with slashes")
            << QByteArray("1,2,\"SUB/\",DIR,0,\"X/Y/Z\",DIR,0,\"f\",T,3\n") << 1
            << QStringList{u"SUB/"_s, u"X/"_s, u"f:3"_s} << 3 << qint64(3) << 1.0 << 2.0 << 1.0;
        QTest::newRow("empty name ends the listing") << QByteArray("1,2,\"\",T,5,\"A\",T,1\n") << 0
                                                     << QStringList() << 0 << qint64(0) << 1.0 << 2.0 << 1.0;
        QTest::newRow("unclosed name")
            << QByteArray("1,2,\"A,T,5\n") << 0 << QStringList() << 0 << qint64(0) << 1.0 << 2.0 << 1.0;
        QTest::newRow("quote after a name ends the listing")
            << QByteArray("1,2,\"A\",T,1,\"A.\"\"\"\"TXT\",TXT,1.2e2\n") << 1 << QStringList{u"A:1"_s} << 1
            << qint64(1) << 1.0 << 2.0 << 1.0;
        QTest::newRow("control after a name ends the listing")
            << QByteArray("1,2,\"A.TXT\"\x01,TXT,5\n") << 0 << QStringList() << 0 << qint64(0) << 1.0 << 2.0
            << 1.0;
        QTest::newRow("latin-1 name")
            << QByteArray("1,2,\"caf\xe9.seq\",SEQ,4\n") << 1 << QStringList{u"caf\u00e9.seq:4"_s} << 1
            << qint64(4) << 1.0 << 2.0 << 1.0;
        // Unusable replies: counters untouched by an empty one, zeroed by bad figures.
        QTest::newRow("empty reply") << QByteArray("\n") << 0 << QStringList() << 99 << qint64(99) << -1.0
                                     << -1.0 << 111.0;
        QTest::newRow("figures not numbers")
            << QByteArray("x,2,\"A\",T,5\n") << 0 << QStringList() << 0 << qint64(0) << -1.0 << -1.0 << 111.0;
        QTest::newRow("one figure") << QByteArray("1000,\"A\",T,5\n") << 0 << QStringList() << 0 << qint64(0)
                                    << -1.0 << -1.0 << 111.0;
    }
    void listing()
    {
        QFETCH(QByteArray, reply);
        QFETCH(double, used);
        QFETCH(double, freeBytes);
        m_comm->SetMemoryFigures(111.0, 222.0);
        g_catalogCount = 99;
        g_catalogBytes = 99;
        g_catalogUsed = -1.0;
        g_catalogFree = -1.0;
        m_sim.SetScriptedReply("mmem:cat?", reply);

        int result = -1;
        QTEST(ReadAll(QString(), &result), "entries");
        QTEST(result, "result");
        QTEST(g_catalogCount, "count");
        QTEST(g_catalogBytes, "bytes");
        QCOMPARE(g_catalogUsed, used);
        QCOMPARE(g_catalogFree, freeBytes);
        // The link's own pair is replaced only by two positive figures.
        QTEST(m_comm->MemoryUsed(), "linkUsed");
        // A listing that ended on text that is not a whole entry says so; an
        // empty folder is complete, an unusable reply none at all.
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        const QStringList cutShort = {u"unquoted names"_s,
                                      u"text after the figures"_s,
                                      u"cut after an entry's comma"_s,
                                      u"cut in a name"_s,
                                      u"cut after a name"_s,
                                      u"text after an entry"_s,
                                      u"comma in a name"_s,
                                      u"bad size ends the listing"_s,
                                      u"bad first entry"_s,
                                      u"size not a count ends the listing"_s,
                                      u"fraction ends the listing"_s,
                                      u"empty name ends the listing"_s,
                                      u"unclosed name"_s,
                                      u"quote after a name ends the listing"_s,
                                      u"control after a name ends the listing"_s};
        const CVQComm::CatalogEnd end = tag == u"empty reply"_s  ? CVQComm::CatalogEnd::NoReply
                                        : used < 0               ? CVQComm::CatalogEnd::Unreadable
                                        : cutShort.contains(tag) ? CVQComm::CatalogEnd::CutShort
                                                                 : CVQComm::CatalogEnd::Complete;
        QVERIFY(m_comm->LastCatalogEnd() == end);
        // An unusable reply leaves nothing pending.
        CFileInfo entry;
        QCOMPARE(m_comm->NextCatalogEntry(entry), 0);
        QCOMPARE(m_sim.AllReceived(), QByteArray("mmem:cat?\r\n"));
    }

    void newReadDiscardsPending()
    {
        m_sim.SetScriptedReply("mmem:cat?", "1,2,\"A\",T,1,\"B\",T,2\n", true);
        CFileInfo entry;
        QCOMPARE(m_comm->ReadCatalog(QString(), entry), 1);
        m_sim.SetScriptedReply("mmem:cat?", "1,2,\"C\",T,3\n", true);
        QCOMPARE(m_comm->ReadCatalog(QString(), entry), 1);
        QCOMPARE(entry.GetName(), u"C"_s);
        QCOMPARE(m_comm->NextCatalogEntry(entry), 0);
        QCOMPARE(g_catalogCount, 1);
    }

    void cursorMatchesGrammar()
    {
        // Replies made of well-formed entries and the stray pieces that matter to the walk.
        const QStringList pieces = {u",\"A.SEQ\",SEQ,10"_s,
                                    u",\"SUB/\",DIR,0"_s,
                                    u",\"B\",T,12.9"_s,
                                    u"\""_s,
                                    u","_s,
                                    u"/"_s,
                                    u"7"_s,
                                    u" "_s,
                                    u"e"_s,
                                    u"x"_s};
        QRandomGenerator random(20261208);
        CVQComm offline;
        for (int round = 0; round < 3000; ++round) {
            QString reply = u"1,2"_s;
            const int length = random.bounded(12);
            for (int i = 0; i < length; ++i)
                reply += pieces.at(random.bounded(int(pieces.size())));
            QStringList walked;
            CFileInfo entry;
            for (int more = offline.BeginCatalog(reply.toLatin1(), entry); more;
                 more = offline.NextCatalogEntry(entry))
                walked.append(Describe(entry));
            // The second figure takes the digits and exponent that follow it.
            static const QRegularExpression figures(u"^1,2\\d*(?:[eE]\\d+)?"_s);
            bool complete = false;
            const QStringList expected =
                GrammarListing(reply.sliced(figures.match(reply).capturedEnd()), complete);
            QCOMPARE(walked, expected);
            QCOMPARE(offline.LastCatalogEnd() == CVQComm::CatalogEnd::Complete, complete);
        }
    }

    void realListing()
    {
        // A folder of the emulator's own file system, listed by the emulator.
        const QStringList roots = m_sim.List(u"/F0:/"_s);
        QVERIFY(!roots.isEmpty());
        const QString folder = u"/F0:/"_s + roots.first().chopped(1) + u"/Listing"_s;
        QVERIFY(m_sim.AddFolder(folder));
        QStringList expected;
        qint64 total = 0;
        for (int i = 0; i < 400; ++i) {
            const QString name = u"Clip%1.seq"_s.arg(i, 3, 10, QChar(u'0'));
            const QByteArray data(i * 7 % 1000, 'x');
            QVERIFY(m_sim.AddFile(folder + u'/' + name, data));
            expected.append(name + u':' + QString::number(data.size()));
            total += data.size();
        }
        QVERIFY(m_sim.AddFolder(folder + u"/Inner"_s));
        expected.append(u"Inner/"_s);

        QStringList listed = ReadAll(folder);
        listed.sort();
        expected.sort();
        QCOMPARE(listed, expected);
        QCOMPARE(g_catalogCount, 401);
        QCOMPARE(g_catalogBytes, total);
        QCOMPARE(qint64(g_catalogUsed), m_sim.Used());
        QCOMPARE(qint64(g_catalogFree), m_sim.Capacity() - m_sim.Used());
    }

    void statusTexts_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("objects");
        QTest::addColumn<QString>("memory");
        QTest::newRow("with memory") << QByteArray("1000,2000,\"A.SEQ\",SEQ,10,\"SUB/\",DIR,0\n")
                                     << u"2 object[s]"_s << u"10 bytes [Memory free: 1.95KB]"_s;
        QTest::newRow("no figures yet")
            << QByteArray("0,0,\"A\",T,1536\n") << u"1 object[s]"_s << u"1.50KB"_s;
        QTest::newRow("empty folder") << QByteArray("0,3000\n") << u"0 object[s]"_s << u"0 bytes"_s;
    }
    void statusTexts()
    {
        QFETCH(QByteArray, reply);
        m_sim.SetScriptedReply("mmem:cat?", reply);
        ReadAll(QString());
        m_comm->UpdateStatusText();
        QTEST(m_host.ObjectsText(), "objects");
        QTEST(m_host.MemoryText(), "memory");
    }

    void queryCatalogReply_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("folder") << u"/F0:/A"_s << QByteArray("mmem:cdir \"/F0:/A\"\r\nmmem:cat?\r\n");
        QTest::newRow("empty path still changes folder")
            << QString() << QByteArray("mmem:cdir \"\"\r\nmmem:cat?\r\n");
    }
    void queryCatalogReply()
    {
        QFETCH(QString, path);
        m_sim.SetScriptedReply("mmem:cat?", "1,2,\"A\",T,5\r\n");
        g_catalogCount = 7;
        g_catalogText = "pending";
        QCOMPARE(m_comm->QueryCatalogReply(path), QByteArray("1,2,\"A\",T,5"));
        QTEST(m_sim.AllReceived(), "sent");
        // The catalog cursor is someone else's.
        QCOMPARE(g_catalogCount, 7);
        QCOMPARE(g_catalogText, QByteArray("pending"));
        m_comm->EndCatalog();
    }

    void refusedFolder_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("quote") << u"/F0:/A\"B"_s;
        QTest::newRow("line feed") << u"/F0:/A\nmmem:del:all \"/F0:/B"_s;
    }
    void refusedFolder()
    {
        QFETCH(QString, path);
        CFileInfo entry;
        QCOMPARE(m_comm->ReadCatalog(path, entry), 0);
        QVERIFY(m_comm->QueryCatalogReply(path).isEmpty());
        const QString message = u"Invalid file name : \""_s + path + u'"';
        QCOMPARE(m_host.MessageTexts(), QStringList({message, message}));
        // Nothing reached the wire: the next command is the first thing received.
        QVERIFY(m_comm->QueryIdentity());
        QCOMPARE(m_sim.AllReceived(), QByteArray("*idn?\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestCatalog)
#include "tst_catalog.moc"
