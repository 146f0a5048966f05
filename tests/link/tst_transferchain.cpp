#include "tests/support/transferfixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
const QString kFolder = u"/F0:/CHAIN"_s;

int OpenDescriptors()
{
    return static_cast<int>(QDir(u"/proc/self/fd"_s).entryList(QDir::Files | QDir::System).size());
}
} // namespace

class TestTransferChain : public QObject
{
    Q_OBJECT

private:
    CTransferFixture m_f;
    CFileInfo m_entry{u"U.SEQ"_s, 5, quint32(1700000000), 0};

    bool Upload()
    {
        m_f.m_comm->SetUploadFolder(kFolder);
        m_f.m_comm->QueueUpload(&m_entry, m_f.PcPath(u"U.SEQ"_s));
        return m_f.m_comm->StartUpload() && m_f.WaitBatchEnd(5000);
    }

    bool Download()
    {
        return m_f.m_comm->PrepareDownload({m_f.PcPath(u"D.SEQ"_s)}, kFolder) && m_f.WaitBatchEnd(5000) &&
               m_f.m_comm->DeleteEntry(kFolder + u"/D.SEQ"_s);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_f.Start());
        QVERIFY(m_f.m_sim.AddFolder(kFolder));
        QVERIFY(m_f.m_sim.AddFile(kFolder + u"/U.SEQ"_s, "hello"));
        QVERIFY(m_f.WritePc(u"D.SEQ"_s, "world"));
        m_f.Reset(0.01);
    }

    // The waits of the chain keep their order and their minimum lengths.
    void realDelays_data()
    {
        QTest::addColumn<bool>("upload");
        QTest::addColumn<int>("minimumMs");
        // Two files: Disconnect's 100 ms before each, the chain's pause after
        // each, Disconnect's 100 ms at the end.
        QTest::newRow("upload") << true << 2 * 100 + 2 * 100 + 100;
        QTest::newRow("download") << false << 2 * 100 + 2 * 1000 + 100;
    }

    void realDelays()
    {
        QFETCH(bool, upload);
        QFETCH(int, minimumMs);
        m_f.Reset(1.0);
        QElapsedTimer timer;
        timer.start();
        if (upload) {
            CFileInfo second(u"U2.SEQ"_s, 3, quint32(1700000000), 0);
            QVERIFY(m_f.m_sim.AddFile(kFolder + u"/U2.SEQ"_s, "two"));
            m_f.m_comm->SetUploadFolder(kFolder);
            m_f.m_comm->QueueUpload(&m_entry, m_f.PcPath(u"U.SEQ"_s));
            m_f.m_comm->QueueUpload(&second, m_f.PcPath(u"U2.SEQ"_s));
            QVERIFY(m_f.m_comm->StartUpload());
            QVERIFY(m_f.WaitBatchEnd());
        } else {
            QVERIFY(m_f.WritePc(u"D2.SEQ"_s, "two"));
            QVERIFY(m_f.m_comm->PrepareDownload({m_f.PcPath(u"D.SEQ"_s), m_f.PcPath(u"D2.SEQ"_s)}, kFolder));
            QVERIFY(m_f.WaitBatchEnd());
            QVERIFY(m_f.m_comm->DeleteEntry(kFolder + u"/D.SEQ"_s));
            QVERIFY(m_f.m_comm->DeleteEntry(kFolder + u"/D2.SEQ"_s));
        }
        QVERIFY2(timer.elapsed() >= minimumMs, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(m_f.m_host.MessageTexts(), QStringList());
        m_f.Reset(0.01);
    }

    // Many batches in a row leave no descriptor, thread or socket behind.
    void noDescriptorGrowth()
    {
        for (int i = 0; i < 10; ++i) {
            QVERIFY(Upload());
            QVERIFY(Download());
        }
        const int before = OpenDescriptors();
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
        constexpr int kRounds = 100; // each round is several times slower under a sanitizer
#else
        constexpr int kRounds = 500;
#endif
        for (int i = 0; i < kRounds; ++i) {
            QVERIFY(Upload());
            QVERIFY(Download());
        }
        const int after = OpenDescriptors();
        QCOMPARE(m_f.m_host.MessageTexts(), QStringList());
        QVERIFY2(after <= before + 2, qPrintable(u"%1 -> %2"_s.arg(before).arg(after)));
        QCOMPARE(m_f.ReadPc(u"U.SEQ"_s), QByteArray("hello"));
    }
};

QTEST_GUILESS_MAIN(TestTransferChain)
#include "tst_transferchain.moc"
