// The names a mount keeps on the PC, the names it refuses for the
// generator, and the paths it is handed.

#include "link/devicename.h"
#include "mount/mountname.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestMountName : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pcOnlyNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("pcOnly");
        QTest::newRow("backup") << u"NOTES.TXT~"_s << true;
        QTest::newRow("swap") << u".NOTES.TXT.swp"_s << true;
        QTest::newRow("the swap after it") << u".NOTES.TXT.swo"_s << true;
        QTest::newRow("write test") << u"4913"_s << true;
        QTest::newRow("office lock") << u".~lock.REPORT.ODT#"_s << true;
        QTest::newRow("stream") << u".goutputstream-K2J7QZ"_s << true;
        QTest::newRow("owner file") << u"~$REPORT.DOC"_s << true;
        QTest::newRow("a tilde alone") << u"~"_s << false;
        QTest::newRow("a tilde inside") << u"A~B.TXT"_s << false;
        QTest::newRow("swp without the dot") << u"NOTES.swp"_s << false;
        QTest::newRow("another number") << u"4914"_s << false;
        QTest::newRow("sed's temporary") << u"sedK2J7QZ"_s << false;
        QTest::newRow("a plain file") << u"1080P60.CMP"_s << false;
    }

    void pcOnlyNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, pcOnly);
        QCOMPARE(IsPcOnlyName(name), pcOnly);
    }

    // Refused exactly where the link refuses a new name, and longer names.
    void nameProblems_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("problem"); // a word of the reason; empty: taken
        QTest::newRow("plain") << u"A.SEQ"_s << QString();
        QTest::newRow("Latin-1") << u"CAF\u00c9.TXT"_s << QString();
        QTest::newRow("blank and colon, the generator decides") << u"A B:C.TXT"_s << QString();
        QTest::newRow("comma") << u"A,B.TXT"_s << u"comma"_s;
        QTest::newRow("backslash") << u"A\\B"_s << u"folder"_s;
        QTest::newRow("quote") << u"A\"B"_s << u"double quote"_s;
        QTest::newRow("beyond Latin-1") << u"\u20ac.TXT"_s << u"U+20ac"_s;
        QTest::newRow("control") << u"A\tB"_s << u"control"_s;
        QTest::newRow("dot dot") << u".."_s << u"not a name"_s;
        QTest::newRow("too long") << QString(256, u'A') << u"longer"_s;
    }

    void nameProblems()
    {
        QFETCH(QString, name);
        QFETCH(QString, problem);
        const QString said = NameProblem(name);
        QVERIFY2(problem.isEmpty() ? said.isEmpty() : said.contains(problem), qPrintable(said));
        if (name.size() <= MAX_DEVICE_NAME_LENGTH)
            QCOMPARE(said.isEmpty(), IsValidNewName(name));
    }

    void paths_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("device"); // empty: refused
        QTest::newRow("the mount point") << "/"_ba << u"/F0:/"_s << u"/F0:/"_s;
        QTest::newRow("a file") << "/USER/A.TXT"_ba << u"/F0:/"_s << u"/F0:/USER/A.TXT"_s;
        QTest::newRow("below a mounted folder")
            << "/SUB/A.TXT"_ba << u"/F0:/USER"_s << u"/F0:/USER/SUB/A.TXT"_s;
        QTest::newRow("UTF-8") << "/USER/CAF\xc3\x89"_ba << u"/F0:/"_s << u"/F0:/USER/CAF\u00c9"_s;
        QTest::newRow("not UTF-8") << "/USER/CAF\xc9"_ba << u"/F0:/"_s << QString();
    }

    void paths()
    {
        QFETCH(QByteArray, path);
        QFETCH(QString, root);
        QFETCH(QString, device);
        QString made;
        QCOMPARE(MountToDevicePath(path.constData(), root, made), !device.isEmpty());
        if (!device.isEmpty())
            QCOMPARE(made, device);
    }
};

QTEST_GUILESS_MAIN(TestMountName)
#include "tst_mountname.moc"
