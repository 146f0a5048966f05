// Which generator names a PC can take, the join of a PC folder and a name,
// and the key under which two targets are one file. Both platforms' rules
// run everywhere; on Windows the system is asked too whether it keeps every
// name the rule takes exactly as given.

#include "link/pcname.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(PcNameProblem)

namespace {
PcPathStyle Style(bool windows)
{
    return windows ? PcPathStyle::Windows : PcPathStyle::Posix;
}
} // namespace

class TestPcName : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<PcNameProblem>("windows");
        QTest::addColumn<PcNameProblem>("posix");
        using P = PcNameProblem;
        const auto row = [](const QString& name, P windows, P posix) {
            QTest::newRow(qPrintable(name)) << name << windows << posix;
        };
        row(u"A B.SEQ"_s, P::None, P::None);
        row(u"\u00C9T\u00C9 \u0096 1.PIC"_s, P::None, P::None);
        row(u".HIDDEN"_s, P::None, P::None);
        row(u"COM10.SEQ"_s, P::None, P::None);
        row(u"CONSOLE"_s, P::None, P::None);
        row(u"XNUL.TXT"_s, P::None, P::None);
        row(u"LPT"_s, P::None, P::None);
        row(QString(), P::Empty, P::Empty);
        row(u"."_s, P::Empty, P::Empty);
        row(u".."_s, P::Empty, P::Empty);
        row(u"..\\X"_s, P::Separator, P::Separator);
        row(u"A/B"_s, P::Separator, P::Separator);
        row(u"A\x1b[2J"_s, P::Control, P::Control);
        row(u"A\u007F"_s, P::Control, P::Control);
        row(u"\u0100.TXT"_s, P::Control, P::Control);
        for (const QString& c : {u"<"_s, u">"_s, u":"_s, u"\""_s, u"|"_s, u"?"_s, u"*"_s})
            row(u"A"_s + c + u"B.TXT"_s, P::ReservedCharacter, c == u"\"" ? P::Control : P::None);
        row(u"C:B.TXT"_s, P::ReservedCharacter, P::None);
        row(u"C:"_s, P::ReservedCharacter, P::None);
        row(u"WHAT?.TXT"_s, P::ReservedCharacter, P::None);
        for (const QString& device : {u"CON"_s, u"PRN"_s, u"AUX"_s, u"NUL"_s, u"COM1"_s, u"COM9"_s, u"LPT1"_s,
                                      u"LPT9"_s, u"COM0"_s, u"lpt\u00B9"_s, u"CONIN$"_s, u"conout$"_s}) {
            row(device, P::DeviceName, P::None);
            row(device + u".TXT"_s, P::DeviceName, P::None);
        }
        row(u"nul.tar.gz"_s, P::DeviceName, P::None);
        row(u"NUL .TXT"_s, P::DeviceName, P::None);
        row(u"AUX."_s, P::DeviceName, P::None);
        row(u"TRAIL."_s, P::TrailingDotOrSpace, P::None);
        row(u"TRAIL "_s, P::TrailingDotOrSpace, P::None);
        row(u"..."_s, P::TrailingDotOrSpace, P::None);
        row(u"A. . "_s, P::TrailingDotOrSpace, P::None);
    }

    void names()
    {
        QFETCH(QString, name);
        QFETCH(PcNameProblem, windows);
        QFETCH(PcNameProblem, posix);
        QCOMPARE(CheckPcName(name, PcPathStyle::Windows), windows);
        QCOMPARE(CheckPcName(name, PcPathStyle::Posix), posix);
        // The message names the name and the rule; a fine name has none.
        const QString refusal = PcNameRefusal(name, PcPathStyle::Windows);
        QCOMPARE(refusal.isEmpty(), windows == PcNameProblem::None);
        if (!refusal.isEmpty()) {
            QVERIFY2(refusal.endsWith(u'"' + name + u'"'), qPrintable(refusal));
            QVERIFY2(refusal.contains(PcNameRule(windows)), qPrintable(refusal));
        }
    }

    // The joined path, or none: whatever the name, the result stays directly
    // inside the folder.
    void join_data()
    {
        QTest::addColumn<bool>("windows");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("joined");
        QTest::newRow("win") << true << u"C:\\clips"_s << u"A.SEQ"_s << u"C:\\clips\\A.SEQ"_s;
        QTest::newRow("win, Qt's /") << true << u"C:/clips"_s << u"A.SEQ"_s << u"C:/clips/A.SEQ"_s;
        QTest::newRow("win root") << true << u"C:\\"_s << u"A.SEQ"_s << u"C:\\A.SEQ"_s;
        QTest::newRow("win share") << true << u"\\\\pc\\lab"_s << u"A.SEQ"_s << u"\\\\pc\\lab\\A.SEQ"_s;
        QTest::newRow("win folder with ..")
            << true << u"C:\\a\\..\\clips"_s << u"A.SEQ"_s << u"C:\\a\\..\\clips\\A.SEQ"_s;
        QTest::newRow("win drive-relative name") << true << u"C:\\clips"_s << u"C:B.TXT"_s << QString();
        QTest::newRow("win other drive") << true << u"C:\\clips"_s << u"D:\\B.TXT"_s << QString();
        QTest::newRow("win parent") << true << u"C:\\clips"_s << u".."_s << QString();
        QTest::newRow("win parent inside") << true << u"C:\\clips"_s << u"..\\B.TXT"_s << QString();
        QTest::newRow("win parent, Qt's /") << true << u"C:/clips"_s << u"../B.TXT"_s << QString();
        QTest::newRow("win share name") << true << u"C:\\clips"_s << u"\\\\pc\\x"_s << QString();
        QTest::newRow("win device") << true << u"C:\\clips"_s << u"NUL.TXT"_s << QString();
        QTest::newRow("win stream") << true << u"C:\\clips"_s << u"A.TXT:x"_s << QString();
        QTest::newRow("win trailing dot") << true << u"C:\\clips"_s << u"A."_s << QString();
        QTest::newRow("posix") << false << u"/home/u"_s << u"A.SEQ"_s << u"/home/u/A.SEQ"_s;
        QTest::newRow("posix root") << false << u"/"_s << u"A.SEQ"_s << u"/A.SEQ"_s;
        QTest::newRow("posix relative") << false << u"out"_s << u"A.SEQ"_s << u"out/A.SEQ"_s;
        QTest::newRow("posix colon") << false << u"/home/u"_s << u"C:B.TXT"_s << u"/home/u/C:B.TXT"_s;
        QTest::newRow("posix absolute name") << false << u"/home/u"_s << u"/etc/x"_s << QString();
        QTest::newRow("posix parent") << false << u"/home/u"_s << u"../x"_s << QString();
        QTest::newRow("posix dot") << false << u"/home/u"_s << u"."_s << QString();
        QTest::newRow("posix backslash") << false << u"/home/u"_s << u"..\\x"_s << QString();
        QTest::newRow("no folder") << false << QString() << u"A.SEQ"_s << QString();
    }

    void join()
    {
        QFETCH(bool, windows);
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QTEST(JoinPcPath(folder, name, Style(windows)), "joined");
    }

    // Two targets of one batch with the same key are one file on that PC.
    void keys_data()
    {
        QTest::addColumn<bool>("windows");
        QTest::addColumn<QString>("one");
        QTest::addColumn<QString>("other");
        QTest::addColumn<bool>("same");
        QTest::newRow("win trailing dot, space") << true << u"C:\\x\\TRAIL."_s << u"C:\\x\\TRAIL "_s << true;
        QTest::newRow("win trimmed") << true << u"C:\\x\\trail"_s << u"C:\\X\\TRAIL. ."_s << true;
        QTest::newRow("win separators") << true << u"C:\\x\\A"_s << u"c:/X/a"_s << true;
        QTest::newRow("win folder trimmed") << true << u"C:\\x.\\A"_s << u"C:\\x\\A"_s << true;
        QTest::newRow("win inner dot") << true << u"C:\\x\\A.B"_s << u"C:\\x\\AB"_s << false;
        QTest::newRow("posix case") << false << u"/x/Abc"_s << u"/x/aBC"_s << true;
        QTest::newRow("posix trailing dot") << false << u"/x/TRAIL."_s << u"/x/TRAIL"_s << false;
        QTest::newRow("posix backslash") << false << u"/x/A\\B"_s << u"/x/A/B"_s << false;
    }

    void keys()
    {
        QFETCH(bool, windows);
        QFETCH(QString, one);
        QFETCH(QString, other);
        QFETCH(bool, same);
        QCOMPARE(PcPathKey(one, Style(windows)) == PcPathKey(other, Style(windows)), same);
    }

#ifdef Q_OS_WIN
    // Every name the rule takes is kept by the system exactly as given: not
    // trimmed, not a device, not a stream, so a copy lands where it was aimed.
    // (Names it refuses are not tried: Wine keeps some that Windows does not,
    // such as "A:B" and a trailing space.)
    void systemKeeps_data()
    {
        names_data();
    }

    void systemKeeps()
    {
        QFETCH(QString, name);
        QFETCH(PcNameProblem, windows);
        if (windows != PcNameProblem::None)
            QSKIP("refused by the rule");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile file(dir.path() + u'/' + name);
        QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
        QCOMPARE(file.write("x"), qint64(1));
        file.close();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{name});
    }
#endif
};

QTEST_GUILESS_MAIN(TestPcName)
#include "tst_pcname.moc"
