#include "link/catalogreply.h"
#include "link/downloadfile.h"
#include "link/downloadfilelist.h"
#include "link/fileinfo.h"
#include "link/pcpath.h"
#include "link/vqcomm.h"

#include <QDir>
#include <QLocale>
#include <QTest>

#include <limits>

using namespace Qt::StringLiterals;

class TestFileInfo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fileKind_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("kind");
        QTest::newRow("preset state") << u"mstate01.p02"_s << int(KIND_PRESET);
        QTest::newRow("state, any P extension") << u"MSTATE.PQR"_s << int(KIND_PRESET);
        QTest::newRow("state, short extension") << u"MSTATE.P"_s << int(KIND_OTHER);
        QTest::newRow("state, .P earlier") << u"MSTATE.P.P01"_s << int(KIND_OTHER);
        QTest::newRow("state not at the start") << u"XMSTATE.P01"_s << int(KIND_OTHER);
        QTest::newRow("download, lower case") << u"x.dnl"_s << int(KIND_DOWNLOAD);
        QTest::newRow("three chars, no dot") << u"DNL"_s << int(KIND_OTHER);
        QTest::newRow("three chars") << u".DN"_s << int(KIND_OTHER);
        QTest::newRow("extension only") << u".DNL"_s << int(KIND_DOWNLOAD);
        QTest::newRow("extension twice") << u"A.DNL.DNL"_s << int(KIND_OTHER);
        QTest::newRow("other extension earlier") << u"a.seq.pic"_s << int(KIND_PICTURE);
        QTest::newRow("four-char extension") << u"a.dnlx"_s << int(KIND_OTHER);
        QTest::newRow("logo") << u"Logo.Lgo"_s << int(KIND_LOGO);
        QTest::newRow("sequence") << u"a.b.SEQ"_s << int(KIND_SEQUENCE);
        QTest::newRow("preset") << u"p.pst"_s << int(KIND_PRESET);
        QTest::newRow("signal") << u"sig.cmp"_s << int(KIND_SIGNAL);
        QTest::newRow("unknown") << u"readme.txt"_s << int(KIND_OTHER);
        QTest::newRow("empty") << QString() << int(KIND_OTHER);
    }
    void fileKind()
    {
        QFETCH(QString, name);
        QFETCH(int, kind);
        QCOMPARE(int(FileKindFromName(name)), kind);
        QCOMPARE(int(CFileInfo(name, 0, quint32(0), 0).GetKind()), kind);
    }

    void formatSize_data()
    {
        QTest::addColumn<double>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("512") << 512.0 << u"512 bytes"_s;
        QTest::newRow("1023") << 1023.0 << u"1023 bytes"_s;
        QTest::newRow("1024") << 1024.0 << u"1.00KB"_s;
        QTest::newRow("1536") << 1536.0 << u"1.50KB"_s;
        QTest::newRow("10 KB") << 10240.0 << u"10.0KB"_s;
        QTest::newRow("just under 1 MB") << 1048575.0 << u"1024KB"_s;
        QTest::newRow("15 MB") << 15728640.0 << u"15.0MB"_s;
        QTest::newRow("200 MB") << 209715200.0 << u"200MB"_s;
        QTest::newRow("1 GB") << 1073741824.0 << u"1.00GB"_s;
        QTest::newRow("2 TB") << 2199023255552.0 << u"2048GB"_s;
    }
    void formatSize()
    {
        QFETCH(double, bytes);
        QFETCH(QString, text);
        QCOMPARE(CVQComm::FormatSize(bytes), text);
    }

    void sizeText_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("text");
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        const QLocale german(QLocale::German, QLocale::Germany);
        QTest::newRow("grouped") << english << qint64(1234567) << u"1,234,567"_s;
        QTest::newRow("beyond 32 bits") << english << qint64(5000000000) << u"5,000,000,000"_s;
        QTest::newRow("other grouping") << german << qint64(1234567) << u"1.234.567"_s;
    }
    void sizeText()
    {
        QFETCH(QLocale, locale);
        QFETCH(qint64, size);
        QFETCH(QString, text);
        const QLocale saved;
        QLocale::setDefault(locale);
        const QString shown = CFileInfo(u"a"_s, size, quint32(0), 0).SizeText();
        QLocale::setDefault(saved);
        QCOMPARE(shown, text);
    }

    void fileTime()
    {
        // 1970-01-01 in 100 ns ticks from 1601-01-01.
        const quint64 epoch = 116444736000000000ULL;
        QCOMPARE(CFileInfo(u"a"_s, 0, quint32(0), 0).GetTime(), epoch);
        QCOMPARE(CFileInfo(u"a"_s, 0, quint32(1), 0).GetTime(), epoch + 10000000ULL);
        QCOMPARE(CFileInfo(u"a"_s, 0, std::numeric_limits<quint32>::max(), 0).GetTime(),
                 epoch + 4294967295ULL * 10000000ULL);
        QVERIFY(CFileInfo(u"a"_s, 0, quint32(0), 0).IsValid());
        QVERIFY(!CFileInfo().IsValid());
        QCOMPARE(CFileInfo(u"a"_s, quint64(42), qint64(7), 1).GetTime(), quint64(42));
    }

    void nameKeepsUpperCaseInStep()
    {
        CFileInfo info(u"logo.lgo"_s, 3, quint32(0), 0);
        CFileInfo copy = info;
        info.SetName(u"clip.seq"_s);
        QCOMPARE(info.GetUpperName(), u"CLIP.SEQ"_s);
        QCOMPARE(int(info.GetKind()), int(KIND_SEQUENCE));
        QCOMPARE(copy.GetUpperName(), u"LOGO.LGO"_s);
    }

    void parseEntry_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("folder");
        QTest::newRow("file") << QByteArray(",\"A.SEQ\",SEQ,10") << true << u"A.SEQ"_s << qint64(10) << 0;
        QTest::newRow("folder") << QByteArray(",\"SUB/\",DIR,0") << true << u"SUB"_s << qint64(0) << 1;
        QTest::newRow("cut at first slash")
            << QByteArray(",\"A/B/C\",DIR,0") << true << u"A"_s << qint64(0) << 1;
        QTest::newRow("empty type") << QByteArray(",\"A\",,3") << true << u"A"_s << qint64(3) << 0;
        // A size is a byte count written as a real number may be, or the entry is unreadable.
        QTest::newRow("blanks around size") << QByteArray(",\"A\",T, 7 ") << true << u"A"_s << qint64(7) << 0;
        QTest::newRow("exponent") << QByteArray(",\"A\",T,1.5e3") << true << u"A"_s << qint64(1500) << 0;
        QTest::newRow("whole real") << QByteArray(",\"A\",T,+1.20000E+03") << true << u"A"_s << qint64(1200)
                                    << 0;
        QTest::newRow("fraction") << QByteArray(",\"A\",T,12.9") << false << QString() << qint64(0) << 0;
        QTest::newRow("fraction by exponent")
            << QByteArray(",\"A\",T,1.25e1") << false << QString() << qint64(0) << 0;
        QTest::newRow("trailing text")
            << QByteArray(",\"A\",T,12abc") << false << QString() << qint64(0) << 0;
        QTest::newRow("hexadecimal") << QByteArray(",\"A\",T,0x64") << false << QString() << qint64(0) << 0;
        QTest::newRow("negative") << QByteArray(",\"A\",T,-5") << false << QString() << qint64(0) << 0;
        QTest::newRow("beyond 64 bits")
            << QByteArray(",\"A\",T,1e30") << false << QString() << qint64(0) << 0;
        QTest::newRow("size not a number")
            << QByteArray(",\"A\",T,x") << false << QString() << qint64(0) << 0;
        QTest::newRow("blank after comma only")
            << QByteArray(",\"A\",T, ") << false << QString() << qint64(0) << 0;
        QTest::newRow("no size field") << QByteArray(",\"A\",T") << false << QString() << qint64(0) << 0;
        QTest::newRow("no type field") << QByteArray(",\"A\"") << false << QString() << qint64(0) << 0;
        QTest::newRow("no quotes") << QByteArray(",A,T,5") << false << QString() << qint64(0) << 0;
        QTest::newRow("quote in the type")
            << QByteArray(",\"A\",T\",5") << false << QString() << qint64(0) << 0;
        QTest::newRow("empty name") << QByteArray(",\"\",T,5") << false << QString() << qint64(0) << 0;
        QTest::newRow("slash only") << QByteArray(",\"/\",DIR,0") << false << QString() << qint64(0) << 0;
    }
    void parseEntry()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, valid);
        // Followed by the next entry, which is not read.
        const QByteArray reply = text + ",\"NEXT\",T,1";
        qsizetype pos = 0;
        CFileInfo info;
        const CatalogStep step = ReadCatalogEntry(reply, pos, info);
        QCOMPARE(step == CatalogStep::Entry, valid);
        QCOMPARE(pos, valid ? text.size() : 0);
        if (!valid)
            return;
        QTEST(info.GetName(), "name");
        QTEST(info.GetSize(), "size");
        QTEST(info.IsFolder(), "folder");
    }

    void setPath_data()
    {
        // Written with "/" and turned into the platform's own separators.
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("ok");
        QTest::addColumn<QString>("name");
        QTest::newRow("folder and name") << u"dir/clip.seq"_s << 1 << u"clip.seq"_s;
        QTest::newRow("last separator counts") << u"/home/u/x.dnl"_s << 1 << u"x.dnl"_s;
        QTest::newRow("separator first only") << u"/x.dnl"_s << 0 << u"old"_s;
        QTest::newRow("no separator") << u"x.dnl"_s << 0 << u"old"_s;
        QTest::newRow("trailing separator") << u"dir/"_s << 1 << QString();
        QTest::newRow("empty") << QString() << 0 << u"old"_s;
    }
    void setPath()
    {
        QFETCH(QString, path);
        QFETCH(int, ok);
        QFETCH(QString, name);
        CDownloadFile first;
        QVERIFY(first.SetPath(QDir::toNativeSeparators(u"a/old"_s)));
        CDownloadFile file = first;
        const QString native = QDir::toNativeSeparators(path);
        QCOMPARE(file.SetPath(native), ok);
        QCOMPARE(file.GetPath(), native);
        QCOMPARE(file.GetName(), name);
    }

    // Both platforms' rules, checked on either: a drive and "\\" or "/" on
    // Windows, a leading "/" elsewhere.
    void pcPathRules_data()
    {
        QTest::addColumn<bool>("windows");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("rooted");
        QTest::addColumn<qsizetype>("lastSeparator");
        QTest::newRow("win drive") << true << u"C:\\clips\\A.SEQ"_s << true << qsizetype(8);
        QTest::newRow("win drive, Qt's /") << true << u"C:/clips/A.SEQ"_s << true << qsizetype(8);
        QTest::newRow("win mixed") << true << u"C:\\clips/sub\\A.SEQ"_s << true << qsizetype(12);
        QTest::newRow("win drive, no folder") << true << u"D:A.SEQ"_s << true << qsizetype(-1);
        QTest::newRow("win no drive") << true << u"clips\\A.SEQ"_s << false << qsizetype(5);
        QTest::newRow("win share") << true << u"\\\\pc\\clips\\A.SEQ"_s << false << qsizetype(10);
        QTest::newRow("posix absolute") << false << u"/home/u/A.SEQ"_s << true << qsizetype(7);
        QTest::newRow("posix relative") << false << u"clips/A.SEQ"_s << false << qsizetype(5);
        QTest::newRow("posix, a drive is a name") << false << u"C:\\clips\\A.SEQ"_s << false << qsizetype(-1);
    }
    void pcPathRules()
    {
        QFETCH(bool, windows);
        QFETCH(QString, path);
        const PcPathStyle style = windows ? PcPathStyle::Windows : PcPathStyle::Posix;
        QTEST(IsRootedPcPath(path, style), "rooted");
        QTEST(LastPcSeparator(path, style), "lastSeparator");
    }

    void downloadList()
    {
        CDownloadFileList list;
        list.SetTargetFolder(u"/F0:/A"_s);
        CDownloadFile file;
        file.SetPath(QDir::toNativeSeparators(u"d/one.seq"_s));
        file.SetSize(10);
        file.SetCommandPrefix(u"mmem:data \"/F0:/A/one.seq\","_s);
        list.Add(file);
        file.SetPath(QDir::toNativeSeparators(u"d/two.dnl"_s));
        file.SetSize(20);
        list.Add(file);
        QCOMPARE(list.GetCount(), 2);

        // The list keeps its own copies.
        list.StartIteration();
        CDownloadFile* taken = list.GetNext();
        QVERIFY(taken);
        QCOMPARE(taken->GetName(), u"one.seq"_s);
        QCOMPARE(taken->GetSize(), qint64(10));
        QCOMPARE(taken->GetCommandPrefix(), u"mmem:data \"/F0:/A/one.seq\","_s);
        QCOMPARE(list.GetTaken(), 1);
        QVERIFY(list.GetNext());
        QVERIFY(!list.GetNext());
        QCOMPARE(list.GetTaken(), 2);

        list.RemoveAll();
        QCOMPARE(list.GetCount(), 0);
        QCOMPARE(list.GetTaken(), 0);
        QVERIFY(!list.GetNext());
        QCOMPARE(list.GetTargetFolder(), u"/F0:/A"_s);
    }
};

QTEST_GUILESS_MAIN(TestFileInfo)
#include "tst_fileinfo.moc"
