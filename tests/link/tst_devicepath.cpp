// Generator paths and patterns as the command line takes them, and the
// generator names a PC can take.

#include "link/devicepath.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestDevicePath : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void patterns_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("matches");
        QTest::newRow("star, case ignored") << u"*.CMP"_s << u"a.cmp"_s << true;
        QTest::newRow("whole name") << u"*.CMP"_s << u"A.CMP.BAK"_s << false;
        QTest::newRow("question mark") << u"72?P50.CMP"_s << u"720P50.CMP"_s << true;
        QTest::newRow("set") << u"[AB]*"_s << u"b1"_s << true;
        // No pattern at all: matched as it stands, and no warning per name.
        QTest::newRow("set never closed") << u"[ab*"_s << u"ab1"_s << false;
    }

    void patterns()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, name);
        QFETCH(bool, matches);
        QTest::failOnWarning(QRegularExpression(u".*"_s));
        QCOMPARE(MatchesDevicePattern(pattern, name), matches);
        QVERIFY(IsDevicePattern(u"/F0:/USER/"_s + pattern));
        QVERIFY(!IsDevicePattern(u"/F0:/USER/"_s + name));
        QVERIFY(HasPatternInFolder(u"/F0:/"_s + pattern + u"/X"_s));
    }

    // Names a generator lists become PC names only when they cannot leave
    // the target folder; C0 controls and DEL are refused, the generator's
    // bytes 0x80 to 0x9F (printed escaped by the tool) are taken.
    void pcNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("safe");
        QTest::newRow("plain") << u"A B.CMP"_s << true;
        QTest::newRow("Latin-1") << u"\u00C9T\u00C9.SEQ"_s << true;
        QTest::newRow("parent") << u".."_s << false;
        QTest::newRow("backslash") << u"..\\X"_s << false;
        QTest::newRow("escape") << u"A\x1b[2J"_s << false;
        QTest::newRow("DEL") << u"A\u007f"_s << false;
        QTest::newRow("bytes 0x80 to 0x9F") << u"\u0080A\u0096\u009f"_s << true;
    }

    void pcNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, safe);
        QCOMPARE(IsSafePcName(name), safe);
    }

    void devicePaths_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("fixed");
        QTest::newRow("empty") << QString() << u"/F0:/"_s << u"/F0:/"_s << QString() << true;
        QTest::newRow("root") << u"/F0:/"_s << u"/F0:/"_s << u"/F0:/"_s << QString() << true;
        QTest::newRow("root without slash") << u"/F0:"_s << u"/F0:/"_s << u"/F0:/"_s << QString() << true;
        QTest::newRow("first level") << u"USER"_s << u"/F0:/USER"_s << u"/F0:/"_s << u"USER"_s << true;
        QTest::newRow("absolute") << u"/F0:/USER/A.TXT"_s << u"/F0:/USER/A.TXT"_s << u"/F0:/USER"_s
                                  << u"A.TXT"_s << false;
        QTest::newRow("lower-case drive")
            << u"f0:/USER/A.TXT"_s << u"/F0:/USER/A.TXT"_s << u"/F0:/USER"_s << u"A.TXT"_s << false;
        QTest::newRow("leading and doubled slashes")
            << u"/USER//SUB/"_s << u"/F0:/USER/SUB"_s << u"/F0:/USER"_s << u"SUB"_s << false;
        QTest::newRow("blank kept") << u"USER/My File.txt"_s << u"/F0:/USER/My File.txt"_s << u"/F0:/USER"_s
                                    << u"My File.txt"_s << false;
    }

    void devicePaths()
    {
        QFETCH(QString, argument);
        QFETCH(QString, path);
        QFETCH(QString, parent);
        QFETCH(QString, name);
        QFETCH(bool, fixed);
        QCOMPARE(ToDevicePath(argument), path);
        QCOMPARE(DeviceParent(path), parent);
        QCOMPARE(DeviceName(path), name);
        QCOMPARE(IsFixedDeviceFolder(path), fixed);
        if (!name.isEmpty())
            QCOMPARE(JoinDevicePath(parent, name), path);
    }
};

QTEST_GUILESS_MAIN(TestDevicePath)
#include "tst_devicepath.moc"
