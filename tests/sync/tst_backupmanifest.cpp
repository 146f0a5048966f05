// CBackupManifest: written and read back whole; a manifest that could send
// a restore outside its folder, or lacks a file's figures, is refused.

#include "sync/backupmanifest.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestBackupManifest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTrip()
    {
        QTemporaryDir folder;
        CBackupManifest manifest;
        manifest.m_generator =
            CGeneratorIdentity::FromReply(u"127.0.0.2"_s, 5000, u"VELTRANE,VQ820,1002,5.60"_s);
        manifest.m_strFolder = u"/F0:/"_s;
        manifest.m_taken = QDateTime(QDate(2024, 5, 1), QTime(8, 0, 1, 5), Qt::UTC).toOffsetFromUtc(7200);
        manifest.m_strTool = u"vq8ctl 5.6"_s;
        manifest.m_folders = {u"USER"_s, u"USER/EMPTY"_s};
        manifest.m_files = {
            {u"USER/A.SEQ"_s, 3, QCryptographicHash::hash("abc", QCryptographicHash::Sha256)}};
        QString error;
        QVERIFY2(manifest.Write(folder.path(), &error), qPrintable(error));
        CBackupManifest read;
        QVERIFY2(CBackupManifest::Read(folder.path(), read, &error), qPrintable(error));
        QCOMPARE(read.ToJson(), manifest.ToJson());
        QCOMPARE(read.m_taken, manifest.m_taken);
        QVERIFY(manifest.ToJson().contains("\"taken\": \"2024-05-01T10:00:01.005+02:00\""));
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("files");
        QTest::addColumn<QString>("error");
        const QByteArray sha = QByteArray(64, 'a');
        QTest::newRow("up and out") << "{\"path\": \"../X\", \"size\": 1, \"sha256\": \"" + sha + "\"}"
                                    << u"a file that is not a path below the backup: \"../X\""_s;
        QTest::newRow("absolute") << "{\"path\": \"/etc/X\", \"size\": 1, \"sha256\": \"" + sha + "\"}"
                                  << u"a file that is not a path below the backup: \"/etc/X\""_s;
        QTest::newRow("a drive") << "{\"path\": \"C:X\", \"size\": 1, \"sha256\": \"" + sha + "\"}"
                                 << u"a file that is not a path below the backup: \"C:X\""_s;
        QTest::newRow("no hash") << QByteArray("{\"path\": \"A\", \"size\": 1}")
                                 << u"a file without its size and SHA-256: \"A\""_s;
    }

    void refused()
    {
        QFETCH(QByteArray, files);
        QFETCH(QString, error);
        CBackupManifest manifest;
        QString why;
        QVERIFY(!CBackupManifest::FromJson("{\"format\": 1, \"files\": [" + files + "]}", manifest, &why));
        QCOMPARE(why, error);
    }
};

QTEST_GUILESS_MAIN(TestBackupManifest)
#include "tst_backupmanifest.moc"
