// The "Send to Several Generators" window against emulators on loopback,
// each generator a real vq8ctl run.

#include "dialogs/dlgsendmany.h"
#include "dialogs/generatorrun.h"
#include "sim/simserver.h"
#include "tests/support/consolerequest.h"
#include "tests/support/modalanswerer.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int kRunMs = 60000;
const QString kFolder = u"/F0:/PATTERN/SET"_s;

// A port on loopback that nothing listens on, held by a bound socket for as
// long as it lives (a freed one could come back as a run's own end of a
// connection, which then reaches itself).
quint16 DeadPort(QTcpSocket& holder)
{
    holder.bind(QHostAddress::LocalHost);
    return holder.localPort();
}

void WriteFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

} // namespace

class TestDlgSendMany : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void parseProgress_data();
    void parseProgress();
    void sendToSeveral_data();
    void sendToSeveral();
    void cancelOne();

private:
    std::unique_ptr<CSimServer> StartSim(const QString& serial);
    QTemporaryDir m_record;
};

void TestDlgSendMany::initTestCase()
{
    // vq8ctl's record of what it confirmed stays with this test.
    QVERIFY(m_record.isValid());
    qputenv("VQ8_RECORD_DIR", QFile::encodeName(m_record.path()));
    QVERIFY2(QFileInfo(CGeneratorRun::Program()).isExecutable(), qPrintable(CGeneratorRun::Program()));
    // As the window, which has no console: its runs are stopped on consoles of their own.
    LeaveConsole();
}

std::unique_ptr<CSimServer> TestDlgSendMany::StartSim(const QString& serial)
{
    auto sim = std::make_unique<CSimServer>();
    CSimOptions options;
    options.m_nPort = 0;
    options.m_strIdentity = u"VELTRANE,VQ820,%1,5.60"_s.arg(serial);
    return sim->Start(options) ? std::move(sim) : nullptr;
}

void TestDlgSendMany::parseProgress_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("parsed");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("planned");
    QTest::addColumn<int>("percent");

    QTest::newRow("figures after") << u"[3/12] SET/A.PIC   45%  1.20MB/s  3 s"_s << true << 3 << 12 << 45;
    QTest::newRow("finished") << u"[12/12] B.PAT  100%"_s << true << 12 << 12 << 100;
    QTest::newRow("percent in the name") << u"[1/2] 50% OFF.PIC    7%"_s << true << 1 << 2 << 7;
    QTest::newRow("message") << u"vq8ctl: 2 files in place"_s << false << 0 << 0 << 0;
    QTest::newRow("no counter") << u"A.PIC   45%"_s << false << 0 << 0 << 0;
    QTest::newRow("number past the plan") << u"[3/2] A.PIC  10%"_s << false << 0 << 0 << 0;
    QTest::newRow("file zero") << u"[0/2] A.PIC  10%"_s << false << 0 << 0 << 0;
    QTest::newRow("over a hundred") << u"[1/1] A.PIC  101%"_s << false << 0 << 0 << 0;
}

void TestDlgSendMany::parseProgress()
{
    QFETCH(QString, line);
    QFETCH(bool, parsed);
    int number = 0;
    int planned = 0;
    int percent = 0;
    QCOMPARE(CGeneratorRun::ParseProgress(line, &number, &planned, &percent), parsed);
    if (parsed) {
        QTEST(number, "number");
        QTEST(planned, "planned");
        QTEST(percent, "percent");
    }
}

void TestDlgSendMany::sendToSeveral_data()
{
    QTest::addColumn<bool>("deleteExtra");
    QTest::addColumn<bool>("checkContents");
    QTest::newRow("keep what the PC lacks") << false << true;
    QTest::newRow("delete what the PC lacks") << true << true;
    QTest::newRow("sizes only") << false << false;
}

// Two generators made to hold the PC folder, a third that does not listen
// failed with its reason; the report saved both ways says the same.
void TestDlgSendMany::sendToSeveral()
{
    QFETCH(bool, deleteExtra);
    QFETCH(bool, checkContents);
    std::vector<std::unique_ptr<CSimServer>> sims;
    for (const QString& serial : {u"1001"_s, u"1002"_s}) {
        sims.push_back(StartSim(serial));
        QVERIFY(sims.back());
        QVERIFY(sims.back()->AddFolder(kFolder));
        QVERIFY(sims.back()->AddFile(kFolder + u"/OLD.PIC"_s, "left from before"));
        // The PC's size, other content: found only when read back (no record of it here).
        QVERIFY(sims.back()->AddFile(kFolder + u"/A.PIC"_s, QByteArray(1000, 'x')));
    }
    QTemporaryDir pc;
    const QHash<QString, QByteArray> files{{u"A.PIC"_s, QByteArray(1000, 'a')},
                                           {u"SUB/B.PAT"_s, QByteArray(70000, 'b')},
                                           {u"SUB/C.SEQ"_s, "sequence"}};
    for (auto it = files.begin(); it != files.end(); ++it)
        WriteFile(pc.filePath(it.key()), it.value());

    CDlgSendMany dialog({}, u"/F0:/"_s);
    dialog.show();
    dialog.SetPcFolder(pc.path());
    dialog.SetGeneratorFolder(kFolder);
    dialog.SetDeleteExtra(deleteExtra);
    dialog.SetCheckContents(checkContents);
    QTcpSocket holder;
    const QString dead = u"127.0.0.1:%1"_s.arg(DeadPort(holder));
    QVERIFY(!dead.endsWith(u":0"_s));
    for (const auto& sim : sims)
        QVERIFY(dialog.AddGenerator(u"127.0.0.1:%1"_s.arg(sim->Port())));
    QVERIFY(dialog.AddGenerator(dead));
    QVERIFY(!dialog.AddGenerator(dead)); // listed once

    QStringList asked;
    CModalAnswerer<QMessageBox> answer([&asked](QMessageBox* box) {
        asked << box->text();
        box->button(QMessageBox::Yes)->click();
    });
    QSignalSpy ended(&dialog, &CDlgSendMany::AllEnded);
    QVERIFY(dialog.Start());
    QCOMPARE(asked.size(), deleteExtra ? 1 : 0);
    QVERIFY(ended.wait(kRunMs));

    for (int row = 0; row < 2; ++row) {
        const CGeneratorRun* run = dialog.Run(row);
        QVERIFY2(run->GetState() == CGeneratorRun::State::Done, qPrintable(run->Reason()));
        QCOMPARE(run->Identity(), u"VELTRANE VQ820 100%1 5.60"_s.arg(row + 1));
        QCOMPARE(dialog.List()->topLevelItem(row)->text(CDlgSendMany::COLUMN_FILES),
                 checkContents ? u"3 sent, 3 of 3 in place"_s : u"2 sent, 3 of 3 in place"_s);
        for (auto it = files.begin(); it != files.end(); ++it)
            QCOMPARE(sims.at(row)->FileData(kFolder + u'/' + it.key()),
                     checkContents || it.key() != u"A.PIC"_s ? it.value() : QByteArray(1000, 'x'));
        QCOMPARE(sims.at(row)->Exists(kFolder + u"/OLD.PIC"_s), !deleteExtra);
    }
    const CGeneratorRun* failed = dialog.Run(2);
    QCOMPARE(failed->GetState(), CGeneratorRun::State::Failed);
    QVERIFY(!failed->Reason().isEmpty());
    QCOMPARE(dialog.List()->topLevelItem(2)->text(CDlgSendMany::COLUMN_REASON), failed->Reason());
    QCOMPARE(dialog.Summary()->text(),
             u"2 of 3 generators done, %1 files sent."_s.arg(checkContents ? 6 : 4));

    QTemporaryDir out;
    QVERIFY(dialog.SaveReport(out.filePath(u"r.json"_s)));
    QFile json(out.filePath(u"r.json"_s));
    QVERIFY(json.open(QIODevice::ReadOnly));
    const QJsonObject report = QJsonDocument::fromJson(json.readAll()).object();
    QCOMPARE(report.value(u"summary"_s).toObject().value(u"done"_s).toInt(), 2);
    const QJsonArray generators = report.value(u"generators"_s).toArray();
    QCOMPARE(generators.size(), 3);
    QCOMPARE(generators.at(2).toObject().value(u"failure"_s).toObject().value(u"kind"_s).toString(),
             u"unreachable"_s);
    QCOMPARE(generators.at(0).toObject().value(u"state"_s).toString(), u"done"_s);

    QVERIFY(dialog.SaveReport(out.filePath(u"r.csv"_s)));
    QFile csv(out.filePath(u"r.csv"_s));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().trimmed().split('\n');
    QCOMPARE(lines.size(), 4);
    QVERIFY(
        lines.at(1).startsWith(u"127.0.0.1:%1,VELTRANE,VQ820,1001,5.60,done,%2,3,3,"_s.arg(sims.at(0)->Port())
                                   .arg(checkContents ? 3 : 2)
                                   .toUtf8()));
    QVERIFY(lines.at(3).startsWith((dead + u",,,,,failed,"_s).toUtf8()));
}

// Cancel for one generator stops it alone: no partial file at its target
// name, and the other one ends done.
void TestDlgSendMany::cancelOne()
{
    std::vector<std::unique_ptr<CSimServer>> sims;
    for (const QString& serial : {u"1001"_s, u"1002"_s}) {
        sims.push_back(StartSim(serial));
        QVERIFY(sims.back());
    }
    CSimFaults stall;
    stall.m_bStallTransfer = true;
    sims.at(1)->SetFaults(stall);
    QTemporaryDir pc;
    const QByteArray big(400000, 'z');
    WriteFile(pc.filePath(u"BIG.PIC"_s), big);

    CDlgSendMany dialog({}, kFolder);
    dialog.show();
    dialog.SetPcFolder(pc.path());
    for (const auto& sim : sims)
        QVERIFY(dialog.AddGenerator(u"127.0.0.1:%1"_s.arg(sim->Port())));
    QSignalSpy ended(&dialog, &CDlgSendMany::AllEnded);
    QVERIFY(dialog.Start());
    // The stalled one has begun its block.
    QVERIFY(sims.at(1)->WaitForReceived(1000, kRunMs));
    QTRY_COMPARE_WITH_TIMEOUT(dialog.Run(0)->GetState(), CGeneratorRun::State::Done, kRunMs);
    QVERIFY(dialog.Running());
    dialog.List()->setCurrentItem(dialog.List()->topLevelItem(1));
    dialog.CancelSelected();
    QVERIFY(ended.wait(kRunMs));

    QCOMPARE(dialog.Run(1)->GetState(), CGeneratorRun::State::Cancelled);
    QCOMPARE(dialog.List()->topLevelItem(1)->text(CDlgSendMany::COLUMN_STATE), u"Cancelled"_s);
    // Stopped as Ctrl+C stops it (its report written), not ended from outside.
    QVERIFY2(dialog.Run(1)->Reason().startsWith(u"interrupted at BIG.PIC"_s),
             qPrintable(dialog.Run(1)->Reason()));
    QVERIFY(!sims.at(1)->Exists(kFolder + u"/BIG.PIC"_s));
    QCOMPARE(sims.at(0)->FileData(kFolder + u"/BIG.PIC"_s), big);
    QCOMPARE(dialog.Summary()->text(), u"1 of 2 generators done, 1 file sent."_s);
}

QTEST_MAIN(TestDlgSendMany)
#include "tst_dlgsendmany.moc"
