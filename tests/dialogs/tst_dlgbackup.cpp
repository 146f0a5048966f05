// The backup and restore windows against emulators on loopback, each step a
// real vq8ctl run.

#include "dialogs/dlgbackup.h"
#include "dialogs/generatorrun.h"
#include "sim/simserver.h"
#include "tests/support/modalanswerer.h"

#include <QAbstractButton>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int kRunMs = 90000;

// Every file below a generator folder, by its path there; a package by its
// content, as the generator names packages itself.
QHash<QString, QByteArray> GeneratorTree(const CSimServer& sim, const QString& folder)
{
    QHash<QString, QByteArray> files;
    for (const QString& name : sim.List(folder)) {
        const QString path = folder + u'/' + name;
        if (name.endsWith(u'/')) {
            files.insert(GeneratorTree(sim, path.chopped(1)));
        } else {
            const QByteArray data = sim.FileData(path);
            const bool package = folder.compare(u"/F0:/DOWNLOAD"_s, Qt::CaseInsensitive) == 0;
            files.insert(package ? folder + u"/package "_s +
                                       QString::fromLatin1(
                                           QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex())
                                 : path.toUpper(),
                         data);
        }
    }
    return files;
}

std::unique_ptr<CSimServer> StartSim(bool seedFiles)
{
    auto sim = std::make_unique<CSimServer>();
    CSimOptions options;
    options.m_nPort = 0;
    options.m_bSeedFiles = seedFiles;
    return sim->Start(options) ? std::move(sim) : nullptr;
}

QString Host(const CSimServer& sim)
{
    return u"127.0.0.1:%1"_s.arg(sim.Port());
}

} // namespace

class TestDlgBackup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void backupThenRestore_data();
    void backupThenRestore();
    void restoreRefusesDamagedBackup();

private:
    QTemporaryDir m_record;
};

void TestDlgBackup::initTestCase()
{
    QVERIFY(m_record.isValid());
    qputenv("VQ8_RECORD_DIR", QFile::encodeName(m_record.path()));
    QVERIFY2(QFileInfo(CGeneratorRun::Program()).isExecutable(), qPrintable(CGeneratorRun::Program()));
}

void TestDlgBackup::backupThenRestore_data()
{
    QTest::addColumn<QString>("folder"); // backed up and restored
    QTest::newRow("whole generator") << u"/F0:/"_s;
    QTest::newRow("one folder") << u"/F0:/USER"_s;
}

// A backup of a generator restored onto an empty one gives identical trees.
void TestDlgBackup::backupThenRestore()
{
    QFETCH(QString, folder);
    // A few files in three first-level folders, a package among them: a
    // restore sends with the generator's pauses, so the sample set would
    // cost a quarter of a minute and show nothing more.
    const std::unique_ptr<CSimServer> source = StartSim(false);
    const std::unique_ptr<CSimServer> target = StartSim(false);
    QVERIFY(source && target);
    QVERIFY(source->AddFile(u"/F0:/DOWNLOAD/PKG0001.DNL"_s, "package"));
    QVERIFY(source->AddFile(u"/F0:/PATTERN/BARS.PIC"_s, QByteArray(3000, 'p')));
    QVERIFY(source->AddFolder(u"/F0:/USER/SET"_s));
    QVERIFY(source->AddFile(u"/F0:/USER/SET/A.PIC"_s, QByteArray(70000, 'a')));
    QVERIFY(source->AddFile(u"/F0:/USER/B.SEQ"_s, "sequence"));
    const QString root = folder.endsWith(u'/') ? folder.chopped(1) : folder;
    QTemporaryDir pc;

    {
        CDlgBackup backup(CDlgBackup::Mode::Backup, Host(*source));
        backup.show();
        backup.SetGeneratorFolder(folder);
        backup.SetPcFolder(pc.filePath(u"backup"_s));
        QSignalSpy ended(&backup, &CDlgBackup::Ended);
        QVERIFY(backup.Start());
        QVERIFY(ended.wait(kRunMs));
        QVERIFY2(backup.Summary()->text().startsWith(u"Backed up: "_s), qPrintable(backup.Summary()->text()));
        QVERIFY(QFileInfo::exists(pc.filePath(u"backup/"_s + CDlgBackup::MANIFEST)));
    }
    {
        CDlgBackup restore(CDlgBackup::Mode::Restore, Host(*target));
        restore.show();
        restore.SetPcFolder(pc.filePath(u"backup"_s));
        QStringList asked;
        CModalAnswerer<QMessageBox> answer([&asked](QMessageBox* box) {
            asked << box->text();
            box->button(QMessageBox::Ok)->click();
        });
        QSignalSpy ended(&restore, &CDlgBackup::Ended);
        QVERIFY(restore.Start());
        QVERIFY(ended.wait(kRunMs));
        // The plan came first, naming what is sent.
        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked.first().contains(u"A.PIC"_s), qPrintable(asked.first()));
        QVERIFY2(restore.Summary()->text().startsWith(u"Restored: "_s),
                 qPrintable(restore.Summary()->text()));
    }
    const QHash<QString, QByteArray> restored = GeneratorTree(*target, root);
    const QHash<QString, QByteArray> original = GeneratorTree(*source, root);
    QStringList names = restored.keys();
    names.sort();
    QStringList wanted = original.keys();
    wanted.sort();
    QCOMPARE(names, wanted);
    QCOMPARE(restored, original);
}

// A backup file changed since it was taken: the restore is refused before
// anything reaches the generator.
void TestDlgBackup::restoreRefusesDamagedBackup()
{
    const std::unique_ptr<CSimServer> source = StartSim(true);
    const std::unique_ptr<CSimServer> target = StartSim(false);
    QVERIFY(source && target);
    QVERIFY(source->AddFile(u"/F0:/USER/B.SEQ"_s, "sequence"));
    QTemporaryDir pc;
    {
        CDlgBackup backup(CDlgBackup::Mode::Backup, Host(*source));
        backup.SetGeneratorFolder(u"/F0:/USER"_s);
        backup.SetPcFolder(pc.path());
        QSignalSpy ended(&backup, &CDlgBackup::Ended);
        // The folder is empty, not an earlier backup: nothing is asked.
        QVERIFY(backup.Start());
        QVERIFY(ended.wait(kRunMs));
    }
    QFile file(pc.filePath(u"B.SEQ"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("SEQUENCE"); // the same size, other content
    file.close();
    const QHash<QString, QByteArray> before = GeneratorTree(*target, u"/F0:"_s);

    CDlgBackup restore(CDlgBackup::Mode::Restore, Host(*target));
    restore.SetPcFolder(pc.path());
    QStringList shown;
    CModalAnswerer<QMessageBox> answer([&shown](QMessageBox* box) {
        shown << box->text();
        box->accept();
    });
    QSignalSpy ended(&restore, &CDlgBackup::Ended);
    QVERIFY(restore.Start());
    QVERIFY(ended.wait(kRunMs));
    QCOMPARE(shown.size(), 1);
    QVERIFY2(restore.PreviewText().startsWith(u"Nothing was changed: "_s), qPrintable(restore.PreviewText()));
    QVERIFY2(restore.PreviewText().contains(u"B.SEQ"_s), qPrintable(restore.PreviewText()));
    QCOMPARE(GeneratorTree(*target, u"/F0:"_s), before);
}

QTEST_MAIN(TestDlgBackup)
#include "tst_dlgbackup.moc"
