#include "tests/support/linkfixture.h"

#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Runs one remote operation by name.
int Run(CVQComm& comm, const QString& op, const QString& a, const QString& b)
{
    if (op == u"MakeFolder")
        return comm.MakeFolder(a);
    if (op == u"RemoveFolder")
        return comm.RemoveFolder(a);
    if (op == u"DeleteAll")
        return comm.DeleteAll(a);
    if (op == u"DeleteEntry")
        return comm.DeleteEntry(a);
    if (op == u"MoveEntry")
        return comm.MoveEntry(a, b);
    if (op == u"CopyEntry")
        return comm.CopyEntry(a, b);
    if (op == u"IsFolderEmpty")
        return comm.IsFolderEmpty(a);
    return -1;
}

const QStringList kOperations = {u"MakeFolder"_s, u"RemoveFolder"_s, u"DeleteAll"_s,    u"DeleteEntry"_s,
                                 u"MoveEntry"_s,  u"CopyEntry"_s,    u"IsFolderEmpty"_s};

} // namespace

class TestRemoteOps : public QObject
{
    Q_OBJECT

private:
    CLinkFixture m_link;
    CSimServer& m_sim = m_link.m_sim;
    CScriptedHost& m_host = m_link.m_host;
    std::unique_ptr<CVQComm>& m_comm = m_link.m_comm;

    // Everything the emulator received, up to a closing identity query that
    // proves nothing else is still on its way.
    QByteArray Received()
    {
        if (!m_comm->QueryIdentity())
            return "(link lost)";
        QByteArray all = m_sim.AllReceived();
        if (!all.endsWith("*idn?\r\n"))
            return "(no marker) " + all;
        all.chop(7);
        return all;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_link.Start(), qPrintable(m_sim.ErrorString())); }

    void init() { QVERIFY(m_link.Reset()); }

    void cleanup() { QVERIFY(m_link.Finish()); }

    void commandLines_data()
    {
        QTest::addColumn<QString>("op");
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<QByteArray>("sent");
        const QString src = u"/F0:/A/x.seq"_s;
        const QString dst = u"/F0:/B/y.seq"_s;
        QTest::newRow("mdir") << u"MakeFolder"_s << u"/F0:/A/New Folder"_s << QString()
                              << QByteArray("mmem:mdir \"/F0:/A/New Folder\"\r\n");
        QTest::newRow("rdir") << u"RemoveFolder"_s << u"/F0:/A/Old"_s << QString()
                              << QByteArray("mmem:rdir \"/F0:/A/Old\"\r\n");
        QTest::newRow("del:all") << u"DeleteAll"_s << u"/F0:/A/Old"_s << QString()
                                 << QByteArray("mmem:del:all \"/F0:/A/Old\"\r\n");
        QTest::newRow("del") << u"DeleteEntry"_s << src << QString()
                             << QByteArray("mmem:del \"/F0:/A/x.seq\"\r\n");
        QTest::newRow("move: no blank")
            << u"MoveEntry"_s << src << dst << QByteArray("mmem:move \"/F0:/A/x.seq\",\"/F0:/B/y.seq\"\r\n");
        QTest::newRow("copy: one blank")
            << u"CopyEntry"_s << src << dst << QByteArray("mmem:copy \"/F0:/A/x.seq\", \"/F0:/B/y.seq\"\r\n");
        QTest::newRow("move to itself") << u"MoveEntry"_s << src << src << QByteArray();
        QTest::newRow("copy to itself") << u"CopyEntry"_s << src << src << QByteArray();
        QTest::newRow("rename by case only") << u"MoveEntry"_s << src << u"/F0:/A/X.SEQ"_s
                                             << QByteArray("mmem:move \"/F0:/A/x.seq\",\"/F0:/A/X.SEQ\"\r\n");
        QTest::newRow("latin-1 byte") << u"DeleteEntry"_s << u"/F0:/A/caf\u00e9"_s << QString()
                                      << QByteArray("mmem:del \"/F0:/A/caf\xe9\"\r\n");
        // What a listing delivered can be named again, byte for byte.
        QTest::newRow("C1 byte of a listed name")
            << u"DeleteEntry"_s << u"/F0:/A/x\u0085\u007f"_s << QString()
            << QByteArray("mmem:del \"/F0:/A/x\x85\x7f\"\r\n");
        QTest::newRow("comma inside quotes")
            << u"DeleteEntry"_s << u"/F0:/A/a,b"_s << QString() << QByteArray("mmem:del \"/F0:/A/a,b\"\r\n");
    }
    void commandLines()
    {
        QFETCH(QString, op);
        QFETCH(QString, a);
        QFETCH(QString, b);
        // The generator takes every change here (the paths need not exist).
        m_sim.SetScriptedReply("stat:que:next?", "0,\"No error\"\n");
        QCOMPARE(Run(*m_comm, op, a, b), 1);
        QFETCH(QByteArray, sent);
        QCOMPARE(Received(), sent.isEmpty() ? sent : Checked(sent));
        QVERIFY(m_host.Messages().isEmpty());
    }

    // A change the generator refuses is a failure with the generator's own
    // text; nothing of it is left in the queue.
    void refusals_data()
    {
        QTest::addColumn<QString>("op");
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<QString>("message");
        // A refused rename, move or copy names what it was to make too.
        QTest::newRow("rename onto a taken name")
            << u"MoveEntry"_s << u"/F0:/USER/README.TXT"_s << u"/F0:/USER/taken.txt"_s
            << u"File name error : \"/F0:/USER/README.TXT\"\nNew name : \"taken.txt\""_s;
        QTest::newRow("rename to a name the generator refuses")
            << u"MoveEntry"_s << u"/F0:/USER/PROJECTS"_s << u"/F0:/USER/BAD*ONE"_s
            << u"File name error : \"/F0:/USER/PROJECTS\"\nNew name : \"BAD*ONE\""_s;
        QTest::newRow("move into a missing folder")
            << u"MoveEntry"_s << u"/F0:/USER/README.TXT"_s << u"/F0:/NONE/README.TXT"_s
            << u"File name not found : \"/F0:/USER/README.TXT\"\nMoving to : \"/F0:/NONE/README.TXT\""_s;
        QTest::newRow("copy onto a taken name")
            << u"CopyEntry"_s << u"/F0:/USER/README.TXT"_s << u"/F0:/USER/TAKEN.TXT"_s
            << u"File name error : \"/F0:/USER/README.TXT\"\nCopying to : \"/F0:/USER/TAKEN.TXT\""_s;
        QTest::newRow("delete a missing file") << u"DeleteEntry"_s << u"/F0:/USER/NOPE.TXT"_s << QString()
                                               << u"File name not found : \"/F0:/USER/NOPE.TXT\""_s;
        QTest::newRow("remove a folder with entries")
            << u"RemoveFolder"_s << u"/F0:/USER/PROJECTS"_s << QString()
            << u"Mass storage error : \"/F0:/USER/PROJECTS\""_s;
    }
    void refusals()
    {
        QFETCH(QString, op);
        QFETCH(QString, a);
        QFETCH(QString, b);
        QVERIFY(m_sim.AddFile(u"/F0:/USER/TAKEN.TXT"_s, "x"));
        QCOMPARE(Run(*m_comm, op, a, b), 0);
        QTEST(m_host.MessageTexts().value(0), "message");
        QCOMPARE(m_host.Messages().size(), 1);
        QCOMPARE(m_host.Messages().first().style, int(MB_OK | MB_ICONSTOP));
        QVERIFY(m_comm->LastRefusal().startsWith(u'-'));
        QVERIFY(m_sim.ErrorQueue().isEmpty());
        QCOMPARE(m_sim.Exists(a), op != u"DeleteEntry");
        // Gone from the generator, kept for the error list as shown.
        QCOMPARE(m_comm->TakenErrors().last().m_strEntry, m_comm->LastRefusal());
        QCOMPARE(m_comm->TakenErrors().last().m_strNote, u"shown for \"%1\""_s.arg(a));
    }

    // What was queued before a change is not blamed on it: it is kept for the
    // error list, once.
    void earlierErrorsAreKept()
    {
        const qsizetype taken = m_comm->TakenErrors().size();
        m_sim.PushError(-113, u"Undefined header"_s);
        QCOMPARE(m_comm->MakeFolder(u"/F0:/USER/NEW"_s), 1);
        QVERIFY(m_host.Messages().isEmpty());
        QVERIFY(m_comm->LastRefusal().isEmpty());
        // A queue known to be empty is not read again before the next change.
        m_sim.ClearTranscripts();
        QCOMPARE(m_comm->DeleteEntry(u"/F0:/USER/NEW"_s), 1);
        QCOMPARE(Received(), QByteArray("mmem:del \"/F0:/USER/NEW\"\r\nstat:que:next?\r\n"));
        QCOMPARE(m_comm->TakenErrors().size(), taken + 1);
        QCOMPARE(m_comm->TakenErrors().last().m_strEntry, u"-113,\"Undefined header\""_s);
        QVERIFY(m_comm->TakenErrors().last().m_strNote.contains(u"not shown"_s));
    }

    void isFolderEmpty()
    {
        const QStringList roots = m_sim.List(u"/F0:/"_s);
        QVERIFY(!roots.isEmpty());
        const QString base = u"/F0:/"_s + roots.first().chopped(1);
        QVERIFY(m_sim.AddFolder(base + u"/Empty"_s));
        QVERIFY(m_sim.AddFolder(base + u"/Full"_s));
        QVERIFY(m_sim.AddFile(base + u"/Full/a.seq"_s, "abc"));

        QCOMPARE(m_comm->IsFolderEmpty(base + u"/Empty"_s), 1);
        QCOMPARE(m_comm->IsFolderEmpty(base + u"/Full"_s), 0);
        const QByteArray probe = "mmem:cdir \"" + (base + u"/Empty"_s).toLatin1() + "\"\r\nmmem:cat?\r\n" +
                                 "mmem:cdir \"" + (base + u"/Full"_s).toLatin1() + "\"\r\nmmem:cat?\r\n";
        QCOMPARE(Received(), probe);

        // Only the memory figures: nothing in it.
        m_sim.SetScriptedReply("mmem:cat?", "1000,2000\n", true);
        QCOMPARE(m_comm->IsFolderEmpty(base + u"/Full"_s), 1);
    }

    void refusedPaths_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("double quote") << u"/F0:/A/x\".seq"_s;
        QTest::newRow("second command after quote") << u"/F0:/A/x\"\r\nmmem:del:all \"/F0:/A"_s;
        QTest::newRow("carriage return") << u"/F0:/A/x\r.seq"_s;
        QTest::newRow("line feed") << u"/F0:/A/x\n.seq"_s;
        QTest::newRow("nul") << QString(u"/F0:/A/x"_s + QChar(0) + u".seq"_s);
        QTest::newRow("tab") << u"/F0:/A/x\t.seq"_s;
        QTest::newRow("beyond latin-1") << u"/F0:/A/x\u0100.seq"_s;
        QTest::newRow("beyond the BMP") << u"/F0:/A/x\U0001F600.seq"_s;
    }
    void refusedPaths()
    {
        QFETCH(QString, path);
        const QString safe = u"/F0:/A/ok.seq"_s;
        const QString message = u"Invalid file name : \""_s + path + u'"';
        for (const QString& op : kOperations) {
            m_host.ClearMessages();
            QCOMPARE(Run(*m_comm, op, path, safe), 0);
            QCOMPARE(m_host.MessageTexts(), QStringList{message});
            QCOMPARE(m_host.Messages().first().style & MB_ICONMASK, int(MB_ICONSTOP));
        }
        // An unsafe destination is refused as well.
        for (const QString& op : {u"MoveEntry"_s, u"CopyEntry"_s}) {
            m_host.ClearMessages();
            QCOMPARE(Run(*m_comm, op, safe, path), 0);
            QCOMPARE(m_host.MessageTexts(), QStringList{message});
        }
        QCOMPARE(Received(), QByteArray());
        QVERIFY(m_comm->IsConnected());
    }

    void newNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("valid");
        QTest::newRow("plain") << u"New Folder(2)"_s << 1;
        QTest::newRow("latin-1") << u"caf\u00e9.seq"_s << 1;
        QTest::newRow("comma") << u"a,b.seq"_s << 0;
        QTest::newRow("slash") << u"a/b"_s << 0;
        QTest::newRow("backslash") << u"a\\b"_s << 0;
        QTest::newRow("double quote") << u"a\"b"_s << 0;
        QTest::newRow("line feed") << u"a\nb"_s << 0;
        QTest::newRow("beyond latin-1") << u"\u0100"_s << 0;
        QTest::newRow("byte 0x96 (a dash in a PC code page)") << u"a\u0096b"_s << 1;
        QTest::newRow("DEL") << u"a\u007fb"_s << 0;
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("dot") << u"."_s << 0;
        QTest::newRow("dot dot") << u".."_s << 0;
        QTest::newRow("dots inside") << u"a..b"_s << 1;
    }
    void newNames()
    {
        QFETCH(QString, name);
        QFETCH(int, valid);
        QCOMPARE(CVQComm::IsValidNewName(name), valid == 1);
        QCOMPARE(m_comm->CheckNewName(name), valid == 1);
        const QStringList expected =
            valid ? QStringList() : QStringList{u"Invalid file name : \""_s + name + u'"'};
        QCOMPARE(m_host.MessageTexts(), expected);
    }
};

QTEST_GUILESS_MAIN(TestRemoteOps)
#include "tst_remoteops.moc"
