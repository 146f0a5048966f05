// The "Compare with PC Folder" window against an emulator on loopback, each
// step a real vq8ctl run.

#include "dialogs/dlgcomparefolder.h"
#include "dialogs/generatorrun.h"
#include "sim/simserver.h"
#include "tests/support/modalanswerer.h"

#include <QAbstractButton>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>

using namespace Qt::StringLiterals;
using Mark = CDlgCompareFolder::Mark;

Q_DECLARE_METATYPE(CDlgCompareFolder::Mark)

namespace {

constexpr int kRunMs = 60000;
const QString kFolder = u"/F0:/USER/SET"_s;

void WriteFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

// Every file below a PC folder, by its path there.
QHash<QString, QByteArray> PcTree(const QString& root)
{
    QHash<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly))
            files.insert(QDir(root).relativeFilePath(file.fileName()).toUpper(), file.readAll());
    }
    return files;
}

// Every file below a generator folder, by its path there.
QHash<QString, QByteArray> GeneratorTree(const CSimServer& sim, const QString& folder,
                                         const QString& below = QString())
{
    QHash<QString, QByteArray> files;
    for (const QString& name : sim.List(folder)) {
        if (name.endsWith(u'/'))
            files.insert(GeneratorTree(sim, folder + u'/' + name.chopped(1), below + name));
        else
            files.insert((below + name).toUpper(), sim.FileData(folder + u'/' + name));
    }
    return files;
}

} // namespace

class TestDlgCompareFolder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void markOfLine_data();
    void markOfLine();
    void marks_data();
    void marks();
    void copy_data();
    void copy();
    void overFull();
    void cancelMidway();

private:
    bool StartSim(qint64 capacity = 64LL * 1024 * 1024);
    // vq8ctl sync of the PC folder to the generator, outside the window.
    bool SyncOutside();
    QString Host() const { return u"127.0.0.1:%1"_s.arg(m_pSim->Port()); }
    // Waits for the window's step (and the comparison after a copy) to end.
    bool WaitIdle(CDlgCompareFolder& dialog);

    QTemporaryDir m_record;
    std::unique_ptr<QTemporaryDir> m_pPc;
    std::unique_ptr<CSimServer> m_pSim;
};

void TestDlgCompareFolder::initTestCase()
{
    QVERIFY(m_record.isValid());
    qputenv("VQ8_RECORD_DIR", QFile::encodeName(m_record.path()));
    QVERIFY2(QFileInfo(CGeneratorRun::Program()).isExecutable(), qPrintable(CGeneratorRun::Program()));
}

void TestDlgCompareFolder::init()
{
    m_pPc = std::make_unique<QTemporaryDir>();
    m_pSim.reset();
}

bool TestDlgCompareFolder::StartSim(qint64 capacity)
{
    m_pSim = std::make_unique<CSimServer>();
    CSimOptions options;
    options.m_nPort = 0;
    options.m_nCapacity = capacity;
    return m_pSim->Start(options) && m_pSim->AddFolder(kFolder);
}

bool TestDlgCompareFolder::SyncOutside()
{
    QProcess process;
    process.start(CGeneratorRun::Program(), {u"--host"_s, Host(), u"--yes"_s, u"sync"_s, u"--recursive"_s,
                                             u"--"_s, m_pPc->path(), kFolder});
    return process.waitForFinished(kRunMs) && process.exitCode() == 0;
}

bool TestDlgCompareFolder::WaitIdle(CDlgCompareFolder& dialog)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kRunMs) {
        QSignalSpy ended(&dialog, &CDlgCompareFolder::StepEnded);
        if (dialog.CurrentStep() == CDlgCompareFolder::Step::Idle)
            return true;
        ended.wait(1000);
    }
    return false;
}

void TestDlgCompareFolder::markOfLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("path"); // empty: not a line of the plan
    QTest::addColumn<Mark>("mark");

    QTest::newRow("PC file only") << u"*deleting   SUB/X.PIC"_s << u"SUB/X.PIC"_s << Mark::OnlyPc;
    QTest::newRow("PC folder only") << u"*deleting   OLD/"_s << u"OLD/"_s << Mark::OnlyPc;
    QTest::newRow("generator folder only") << u"cd+++++++++ NEW/"_s << u"NEW/"_s << Mark::OnlyGenerator;
    QTest::newRow("generator file only")
        << u">f+++++++++ A (1).PIC (12 bytes)"_s << u"A (1).PIC"_s << Mark::OnlyGenerator;
    QTest::newRow("other content") << u">fc........ B.PIC (1000 bytes, other content by checksum)"_s
                                   << u"B.PIC"_s << Mark::Changed;
    QTest::newRow("other size") << u">f.s....... C.SEQ (3 -> 8 bytes)"_s << u"C.SEQ"_s << Mark::Changed;
    QTest::newRow("towards the generator") << u"<f+++++++++ A.PIC (1 bytes)"_s << QString() << Mark::Same;
    QTest::newRow("message") << u"vq8ctl: 2 files planned"_s << QString() << Mark::Same;
    QTest::newRow("file without figures") << u">f+++++++++ A.PIC"_s << QString() << Mark::Same;
}

void TestDlgCompareFolder::markOfLine()
{
    QFETCH(QString, line);
    QFETCH(QString, path);
    QString parsed;
    Mark mark = Mark::Same;
    QCOMPARE(CDlgCompareFolder::MarkOfLine(line, &parsed, &mark), !path.isEmpty());
    if (!path.isEmpty()) {
        QCOMPARE(parsed, path);
        QTEST(mark, "mark");
    }
}

void TestDlgCompareFolder::marks_data()
{
    QTest::addColumn<bool>("checkContents");
    QTest::addColumn<Mark>("sizeOnly"); // SIZEONLY.PIC: one size, one content, never recorded
    QTest::addColumn<Mark>("foreign");  // FOREIGN.PIC: recorded, then replaced on the generator at one size
    QTest::newRow("compare") << false << Mark::SizeOnly << Mark::Same;
    QTest::newRow("check contents") << true << Mark::Same << Mark::Changed;
}

// Each of the five marks, for a pair of trees prepared for them.
void TestDlgCompareFolder::marks()
{
    QFETCH(bool, checkContents);
    QVERIFY(StartSim());
    WriteFile(m_pPc->filePath(u"SAME.PIC"_s), "same on both sides");
    WriteFile(m_pPc->filePath(u"SUB/CHANGED.PIC"_s), "before");
    WriteFile(m_pPc->filePath(u"FOREIGN.PIC"_s), "ours");
    QVERIFY(SyncOutside());
    WriteFile(m_pPc->filePath(u"SUB/CHANGED.PIC"_s), "after the edit");
    WriteFile(m_pPc->filePath(u"SUB/ONLYPC.PIC"_s), "new on the PC");
    WriteFile(m_pPc->filePath(u"NEWDIR/DEEP/X.PIC"_s), "in a folder only the PC holds");
    WriteFile(m_pPc->filePath(u"SIZEONLY.PIC"_s), "twin");
    QVERIFY(m_pSim->AddFile(kFolder + u"/SIZEONLY.PIC"_s, "twin"));
    QVERIFY(m_pSim->AddFile(kFolder + u"/ONLYGEN.PIC"_s, "generator's own"));
    QVERIFY(m_pSim->AddFile(kFolder + u"/FOREIGN.PIC"_s, "THEM"));

    CDlgCompareFolder dialog(Host(), kFolder);
    dialog.show();
    dialog.SetPcFolder(m_pPc->path());
    QVERIFY(dialog.Compare(checkContents));
    QVERIFY(WaitIdle(dialog));
    const QHash<QString, Mark> marks = dialog.Marks();
    QCOMPARE(marks.value(u"SAME.PIC"_s, Mark::OnlyPc), Mark::Same);
    QCOMPARE(marks.value(u"SUB/CHANGED.PIC"_s, Mark::Same), Mark::Changed);
    QCOMPARE(marks.value(u"SUB/ONLYPC.PIC"_s, Mark::Same), Mark::OnlyPc);
    QCOMPARE(marks.value(u"ONLYGEN.PIC"_s, Mark::Same), Mark::OnlyGenerator);
    QTEST(marks.value(u"SIZEONLY.PIC"_s, Mark::OnlyPc), "sizeOnly");
    QTEST(marks.value(u"FOREIGN.PIC"_s, Mark::OnlyPc), "foreign");
    QCOMPARE(marks.value(u"NEWDIR/DEEP/X.PIC"_s, Mark::Same), Mark::OnlyPc);
    QCOMPARE(marks.size(), 9); // with NEWDIR/ and NEWDIR/DEEP/

    // The tree shows the same: SUB/ holds its two entries.
    const QList<QTreeWidgetItem*> changed =
        dialog.Tree()->findItems(u"CHANGED.PIC"_s, Qt::MatchExactly | Qt::MatchRecursive);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.first()->parent()->text(CDlgCompareFolder::COLUMN_NAME), u"SUB/"_s);
    QCOMPARE(changed.first()->text(CDlgCompareFolder::COLUMN_MARK), u"Changed"_s);
    QCOMPARE(changed.first()->text(CDlgCompareFolder::COLUMN_PC_SIZE), u"14 bytes"_s);
    QCOMPARE(changed.first()->text(CDlgCompareFolder::COLUMN_GENERATOR_SIZE), u"6 bytes"_s);
    QVERIFY(dialog.Counts()->text().contains(u"Only on the PC: 2    Only on the generator: 1"_s));

    // Differences only: nothing marked the same is left.
    dialog.SetDifferencesOnly(true);
    QVERIFY(dialog.Tree()
                ->findItems(u"Same"_s, Qt::MatchExactly | Qt::MatchRecursive, CDlgCompareFolder::COLUMN_MARK)
                .isEmpty());
    QVERIFY(!dialog.Tree()->findItems(u"ONLYGEN.PIC"_s, Qt::MatchExactly | Qt::MatchRecursive).isEmpty());
}

void TestDlgCompareFolder::copy_data()
{
    QTest::addColumn<bool>("toGenerator");
    QTest::addColumn<bool>("deleteExtra");
    QTest::newRow("send, deleting") << true << true;
    QTest::newRow("send, keeping") << true << false;
    QTest::newRow("fetch, deleting") << false << true;
}

// After a send (a fetch) with delete the two sides are equal byte for byte;
// the preview came first, with the room against the free figure.
void TestDlgCompareFolder::copy()
{
    QFETCH(bool, toGenerator);
    QFETCH(bool, deleteExtra);
    QVERIFY(StartSim());
    WriteFile(m_pPc->filePath(u"A.PIC"_s), QByteArray(3000, 'a'));
    WriteFile(m_pPc->filePath(u"SUB/B.PAT"_s), QByteArray(90000, 'b'));
    WriteFile(m_pPc->filePath(u"PCONLY.SEQ"_s), "pc");
    QVERIFY(m_pSim->AddFile(kFolder + u"/A.PIC"_s, QByteArray(3000, 'x')));
    QVERIFY(m_pSim->AddFolder(kFolder + u"/GEN"_s));
    QVERIFY(m_pSim->AddFile(kFolder + u"/GEN/ONLY.PIC"_s, "generator"));
    const QHash<QString, QByteArray> pcBefore = PcTree(m_pPc->path());
    const QHash<QString, QByteArray> generatorBefore = GeneratorTree(*m_pSim, kFolder);

    CDlgCompareFolder dialog(Host(), kFolder);
    dialog.show();
    dialog.SetPcFolder(m_pPc->path());
    dialog.SetDeleteExtra(deleteExtra);
    QStringList asked;
    CModalAnswerer<QMessageBox> answer([&asked](QMessageBox* box) {
        asked << box->text();
        box->button(QMessageBox::Ok)->click();
    });
    QVERIFY(toGenerator ? dialog.Send() : dialog.Fetch());
    QVERIFY(WaitIdle(dialog));
    QCOMPARE(asked.size(), 1);
    QVERIFY2(asked.first().contains(u" free."_s), qPrintable(asked.first()));
    QCOMPARE(asked.first().contains(u"delete "_s), deleteExtra);
    QVERIFY(asked.first().contains(
        (toGenerator ? u"send new       PCONLY.SEQ"_s : u"fetch new      GEN/ONLY.PIC"_s)));
    QVERIFY2(dialog.Summary()->text().startsWith(u"Done: "_s), qPrintable(dialog.Summary()->text()));

    const QHash<QString, QByteArray> pc = PcTree(m_pPc->path());
    QHash<QString, QByteArray> generator = GeneratorTree(*m_pSim, kFolder);
    if (deleteExtra) {
        QCOMPARE(pc, generator);
        QCOMPARE(pc, toGenerator ? pcBefore : generatorBefore);
    } else {
        QCOMPARE(generator.value(u"GEN/ONLY.PIC"_s), QByteArray("generator"));
        generator.remove(u"GEN/ONLY.PIC"_s);
        QCOMPARE(generator, pcBefore);
    }
    // The comparison that follows says the same.
    const QHash<QString, Mark> marks = dialog.Marks();
    for (auto it = marks.cbegin(); it != marks.cend(); ++it)
        QVERIFY2(it.value() == Mark::Same || (!deleteExtra && it.key().startsWith(u"GEN/"_s)),
                 qPrintable(it.key()));
}

// A set that does not fit is refused before the first byte, with both figures.
void TestDlgCompareFolder::overFull()
{
    QVERIFY(StartSim(200000));
    WriteFile(m_pPc->filePath(u"BIG.PIC"_s), QByteArray(300000, 'z'));
    const QHash<QString, QByteArray> before = GeneratorTree(*m_pSim, u"/F0:"_s);

    CDlgCompareFolder dialog(Host(), kFolder);
    dialog.show();
    dialog.SetPcFolder(m_pPc->path());
    QStringList shown;
    CModalAnswerer<QMessageBox> answer([&shown](QMessageBox* box) {
        shown << box->text();
        box->accept();
    });
    QVERIFY(dialog.Send());
    QVERIFY(WaitIdle(dialog));
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().contains(u"needs 293KB"_s) && shown.first().contains(u" free"_s),
             qPrintable(shown.first()));
    QVERIFY(dialog.PreviewText().startsWith(u"Nothing was changed"_s));
    QCOMPARE(GeneratorTree(*m_pSim, u"/F0:"_s), before);
    QVERIFY(!m_pSim->AllReceived().contains("mmem:data"));
}

// Cancel in the middle leaves no partial file at a target name, and the
// summary says what is in place.
void TestDlgCompareFolder::cancelMidway()
{
    QVERIFY(StartSim());
    WriteFile(m_pPc->filePath(u"A.PIC"_s), QByteArray(400000, 'a'));
    CSimFaults stall;
    stall.m_bStallTransfer = true;
    m_pSim->SetFaults(stall);

    CDlgCompareFolder dialog(Host(), kFolder);
    dialog.show();
    dialog.SetPcFolder(m_pPc->path());
    CModalAnswerer<QMessageBox> answer([](QMessageBox* box) { box->button(QMessageBox::Ok)->click(); });
    QVERIFY(dialog.Send());
    QTRY_COMPARE_WITH_TIMEOUT(dialog.CurrentStep(), CDlgCompareFolder::Step::Copying, kRunMs);
    QVERIFY(m_pSim->WaitForReceived(m_pSim->AllReceived().size() + 1000, kRunMs));
    dialog.reject(); // Escape: cancels, the window stays
    QVERIFY(dialog.isVisible());
    m_pSim->SetFaults(CSimFaults());
    QVERIFY(WaitIdle(dialog));
    QVERIFY2(dialog.Summary()->text().startsWith(u"Cancelled: 0 of 1 files sent"_s),
             qPrintable(dialog.Summary()->text()));
    QVERIFY(!m_pSim->Exists(kFolder + u"/A.PIC"_s));
    QCOMPARE(dialog.Marks().value(u"A.PIC"_s, Mark::Same), Mark::OnlyPc);
}

QTEST_MAIN(TestDlgCompareFolder)
#include "tst_dlgcomparefolder.moc"
