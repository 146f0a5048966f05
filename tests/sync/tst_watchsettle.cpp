// CWatchSettle: a watched folder's files go once they have stayed as they
// are; editors' temporary files never do.

#include "sync/watchsettle.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// "A=3:100 B=1:5": path=size:modified.
CWatchSettle::Snapshot Tree(const QString& text)
{
    CWatchSettle::Snapshot tree;
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts))
        tree.insert(word.section(u'=', 0, 0), {word.section(u'=', 1).section(u':', 0, 0).toLongLong(),
                                               word.section(u':', 1).toLongLong()});
    return tree;
}

} // namespace

class TestWatchSettle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void temporaryNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("temporary");
        for (const char* name :
             {".#BARS.PIC", "#BARS.PIC#", "~$INDEX.TXT", ".~lock.INDEX.TXT#", ".BARS.PIC.swp", "BARS.PIC.swx",
              "4913", "BARS.PIC~", "BARS.PIC.tmp", "A.PART", "A.crdownload", ".goutputstream-X1Y2Z3"})
            QTest::newRow(name) << QString::fromLatin1(name) << true;
        for (const char* name :
             {"BARS.PIC", "INDEX.TXT", "UPDATE.DNL", ".hidden", "MSTATE01.P01", "4914", "TMP.SEQ"})
            QTest::newRow(name) << QString::fromLatin1(name) << false;
    }

    void temporaryNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, temporary);
        QCOMPARE(CWatchSettle::IsTemporaryName(name), temporary);
    }

    // The tree after the first sync, then snapshots at times (ms) with a
    // settle time of 1000; after each, whether a pass is due (a pass is made
    // when it is) and what is unsettled.
    void passes_data()
    {
        QTest::addColumn<QStringList>("trees");    // "TIME|tree"
        QTest::addColumn<QStringList>("expected"); // "due|unsettled names" after each
        QTest::newRow("a file written over two seconds goes once, whole")
            << QStringList{u"0|"_s,
                           u"500|A=1:500"_s,
                           u"1200|A=5:1200"_s,
                           u"2000|A=9:2000"_s,
                           u"2500|A=9:2000"_s,
                           u"3100|A=9:2000"_s,
                           u"4000|A=9:2000"_s}
            << QStringList{u"no|A"_s, u"no|A"_s, u"no|A"_s, u"no|A"_s, u"yes|"_s, u"no|"_s};
        QTest::newRow("saved to a temporary name, renamed at once")
            << QStringList{u"0|A=1:0"_s, u"1500|A=1:0 T=2:1500"_s, u"1700|A=2:1700"_s, u"2800|A=2:1700"_s}
            << QStringList{u"no|T"_s, u"no|A T"_s, u"yes|"_s};
        QTest::newRow("a deletion settles too")
            << QStringList{u"0|A=1:0 B=1:0"_s, u"100|A=1:0"_s, u"1200|A=1:0"_s}
            << QStringList{u"no|B"_s, u"yes|"_s};
        // One file always changing holds up none of the others.
        QTest::newRow("a busy file holds up no other")
            << QStringList{u"0|"_s, u"100|LOG=1:100 A=1:100"_s, u"800|LOG=2:800 A=1:100"_s,
                           u"1500|LOG=3:1500 A=1:100"_s}
            << QStringList{u"no|A LOG"_s, u"no|A LOG"_s, u"yes|LOG"_s};
    }

    void passes()
    {
        QFETCH(QStringList, trees);
        QFETCH(QStringList, expected);
        CWatchSettle settle(1000);
        settle.Start(Tree(trees.takeFirst().section(u'|', 1)));
        QStringList got;
        for (const QString& tree : std::as_const(trees)) {
            const qint64 now = tree.section(u'|', 0, 0).toLongLong();
            settle.Observe(Tree(tree.section(u'|', 1)), now);
            QStringList unsettled = settle.Unsettled(now).values();
            unsettled.sort();
            const bool due = settle.PassDue(now);
            got.append((due ? u"yes|"_s : u"no|"_s) + unsettled.join(u' '));
            if (due)
                settle.PassDone(now);
        }
        QCOMPARE(got, expected);
    }
};

QTEST_GUILESS_MAIN(TestWatchSettle)
#include "tst_watchsettle.moc"
