// CSyncRecord: what this PC confirmed on a generator survives the run, two
// runs on one generator lose nothing of each other's, and a damaged file is
// an empty record, never a wrong one.

#include "sync/filehash.h"
#include "sync/syncrecord.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

CGeneratorIdentity Generator(const QString& host, const QString& serial = u"0"_s)
{
    return CGeneratorIdentity::FromReply(host, 5000, u"VELTRANE,VQ820,%1,5.60"_s.arg(serial));
}

QByteArray Sha(const char* text)
{
    return QCryptographicHash::hash(text, QCryptographicHash::Sha256);
}

} // namespace

class TestSyncRecord : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void identity_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("four fields") << u"VELTRANE,VQ820,1002,5.60"_s
                                     << QStringList{u"VELTRANE"_s, u"VQ820"_s, u"1002"_s, u"5.60"_s};
        QTest::newRow("blanks, a comma in the firmware")
            << u" VELTRANE , VQ820,7 ,5.60,beta"_s
            << QStringList{u"VELTRANE"_s, u"VQ820"_s, u"7"_s, u"5.60,beta"_s};
        QTest::newRow("short") << u"VELTRANE"_s
                               << QStringList{u"VELTRANE"_s, QString(), QString(), QString()};
    }

    void identity()
    {
        QFETCH(QString, reply);
        QFETCH(QStringList, fields);
        const CGeneratorIdentity identity = CGeneratorIdentity::FromReply(u"127.0.0.2"_s, 5000, reply);
        QCOMPARE((QStringList{identity.m_strMaker, identity.m_strModel, identity.m_strSerial,
                              identity.m_strFirmware}),
                 fields);
        const CGeneratorIdentity back = CGeneratorIdentity::FromJson(identity.ToJson());
        QCOMPARE(back.Key(), identity.Key());
        QCOMPARE(back.m_strFirmware, identity.m_strFirmware);
    }

    // Set, Forget and ForgetBelow, saved and read back by a new run.
    void keptAcrossRuns()
    {
        QTemporaryDir folder;
        CSyncRecord record(Generator(u"127.0.0.2"_s), folder.path());
        QVERIFY(record.Load());
        record.Set(u"/F0:/USER/A.SEQ"_s, 3, Sha("abc"));
        record.Set(u"/F0:/USER/SUB/B.SEQ"_s, 1, Sha("b"));
        record.Set(u"/F0:/USER/SUBWAY.SEQ"_s, 1, Sha("s"));
        record.Set(u"/F0:/USER/C.SEQ"_s, 1, Sha("c"));
        record.Set(u"/F0:/USER/D.SEQ"_s, 1, Sha("d"));
        record.SetUnconfirmed(u"/F0:/USER/D.SEQ"_s, 5); // a send cut off
        record.Forget(u"/F0:/user/c.seq"_s);
        record.ForgetBelow(u"/F0:/USER/SUB"_s);
        QVERIFY(record.Save());

        CSyncRecord again(Generator(u"127.0.0.2"_s), folder.path());
        QVERIFY(again.Load());
        QCOMPARE(again.Count(), 3);
        QCOMPARE(again.Find(u"/f0:/user/a.seq"_s)->m_sha256, Sha("abc"));
        QVERIFY(!again.Find(u"/F0:/USER/A.SEQ"_s)->m_bUnconfirmed);
        QVERIFY(again.Find(u"/F0:/USER/D.SEQ"_s)->m_bUnconfirmed);
        QCOMPARE(again.Find(u"/F0:/USER/D.SEQ"_s)->m_nSize, 5);
        QVERIFY(again.Find(u"/F0:/USER/D.SEQ"_s)->m_sha256.isEmpty());
        QCOMPARE(again.Find(u"/F0:/USER/A.SEQ"_s)->m_nSize, 3);
        QVERIFY(again.Find(u"/F0:/USER/SUBWAY.SEQ"_s));
        QVERIFY(!again.Find(u"/F0:/USER/SUB/B.SEQ"_s));
        // Another generator, or the same model at another address, has a record of its own.
        CSyncRecord other(Generator(u"127.0.0.3"_s), folder.path());
        QVERIFY(other.Load());
        QVERIFY(other.IsEmpty());
        QVERIFY(other.FilePath() != record.FilePath());
    }

    // Two runs on one generator: each saves only its own changes over the other's.
    void runsMerge()
    {
        QTemporaryDir folder;
        CSyncRecord first(Generator(u"127.0.0.2"_s), folder.path());
        CSyncRecord second(Generator(u"127.0.0.2"_s), folder.path());
        first.Set(u"/F0:/USER/OLD.SEQ"_s, 1, Sha("o"));
        QVERIFY(first.Save());
        QVERIFY(first.Load() && second.Load());
        first.Set(u"/F0:/USER/A.SEQ"_s, 1, Sha("a"));
        second.Set(u"/F0:/USER/B.SEQ"_s, 1, Sha("b"));
        second.Forget(u"/F0:/USER/OLD.SEQ"_s);
        QVERIFY(first.Save());
        QVERIFY(second.Save());
        CSyncRecord read(Generator(u"127.0.0.2"_s), folder.path());
        QVERIFY(read.Load());
        QVERIFY(read.Find(u"/F0:/USER/A.SEQ"_s) && read.Find(u"/F0:/USER/B.SEQ"_s));
        QVERIFY(!read.Find(u"/F0:/USER/OLD.SEQ"_s));
    }

    // What a damaged file gives: nothing, or only the entries that read whole.
    void damaged_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("loads");
        QTest::addColumn<int>("entries");
        const QByteArray good = "\"/F0:/A\": {\"size\": 1, \"sha256\": \"" + Sha("a").toHex() + "\"}";
        QTest::newRow("cut short") << QByteArray("{\"format\": 1, \"files\": {" + good.left(20)) << false
                                   << 0;
        QTest::newRow("not JSON") << QByteArray("\x00\x01garbage", 9) << false << 0;
        QTest::newRow("another format")
            << QByteArray("{\"format\": 2, \"files\": {" + good + "}}") << false << 0;
        QTest::newRow("bad entries left out")
            << QByteArray("{\"format\": 1, \"files\": {" + good +
                          ", \"/F0:/B\": {\"size\": 1, \"sha256\": \"xyz\"}, \"/F0:/C\": {\"size\": -4, "
                          "\"sha256\": \"" +
                          Sha("c").toHex() + "\"}, \"USER/D\": {\"size\": 1, \"sha256\": \"" +
                          Sha("d").toHex() + "\"}}}")
            << true << 1;
    }

    void damaged()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, loads);
        QFETCH(int, entries);
        QTemporaryDir folder;
        CSyncRecord record(Generator(u"127.0.0.2"_s), folder.path());
        QFile file(record.FilePath());
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
        file.close();
        QString problem;
        QCOMPARE(record.Load(&problem), loads);
        QCOMPARE(problem.isEmpty(), loads);
        QCOMPARE(record.Count(), entries);
        // The next save replaces the damaged file with a whole record.
        record.Set(u"/F0:/E"_s, 1, Sha("e"));
        QVERIFY(record.Save());
        CSyncRecord read(Generator(u"127.0.0.2"_s), folder.path());
        QVERIFY(read.Load());
        QCOMPARE(read.Count(), entries + 1);
    }

    void hashes_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("hex");
        QTest::newRow("empty") << QByteArray()
                               << u"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"_s;
        QTest::newRow("abc") << QByteArray("abc")
                             << u"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"_s;
        // Past one read of the file.
        QTest::newRow("two chunks") << QByteArray((1 << 20) + 3, 'a')
                                    << CFileHash::Hex(QCryptographicHash::hash(QByteArray((1 << 20) + 3, 'a'),
                                                                               QCryptographicHash::Sha256));
    }

    void hashes()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, hex);
        QTemporaryDir folder;
        QFile file(folder.filePath(u"f"_s));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        const QByteArray sha = CFileHash::OfFile(file.fileName());
        QCOMPARE(CFileHash::Hex(sha), hex);
        QCOMPARE(CFileHash::FromHex(hex.toUpper()), sha);
        QVERIFY(CFileHash::FromHex(hex.chopped(1)).isEmpty());
        QString error;
        QVERIFY(CFileHash::OfFile(folder.filePath(u"missing"_s), &error).isEmpty());
        QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSyncRecord)
#include "tst_syncrecord.moc"
