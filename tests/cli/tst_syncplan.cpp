// CSyncPlan: which side a sync sends from, and the steps that make one
// folder hold what another holds.

#include "cli/syncplan.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// "A=1 B/ B/C=2 L@": files with their sizes, folders ending in "/", links in "@".
QList<CSyncEntry> Entries(const QString& text)
{
    QList<CSyncEntry> entries;
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
        if (word.endsWith(u'/'))
            entries.append({word.chopped(1), 0, true});
        else if (word.endsWith(u'@'))
            entries.append({word.chopped(1), -1, false, true});
        else
            entries.append({word.section(u'=', 0, 0), word.section(u'=', 1).toLongLong(), false});
    }
    return entries;
}

} // namespace

class TestSyncPlan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void syncDirection_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("firstOnPc");
        QTest::addColumn<bool>("secondOnPc");
        QTest::addColumn<int>("direction");

        const int toGenerator = int(CSyncPlan::Direction::ToGenerator);
        const int toPc = int(CSyncPlan::Direction::ToPc);
        const int unclear = int(CSyncPlan::Direction::Unclear);
        QTest::newRow("PC folder first") << u"patterns"_s << u"USER"_s << true << false << toGenerator;
        QTest::newRow("PC folder second") << u"USER"_s << u"backup"_s << false << true << toPc;
        QTest::newRow("written as a generator path") << u"/F0:/USER"_s << u"new"_s << false << false << toPc;
        QTest::newRow("the written form decides")
            << u"USER"_s << u"F0:/USER"_s << true << true << toGenerator;
        QTest::newRow("both PC folders") << u"USER"_s << u"PATTERN"_s << true << true << unclear;
        QTest::newRow("neither") << u"a"_s << u"b"_s << false << false << unclear;
        QTest::newRow("both written") << u"/F0:/A"_s << u"/F0:/B"_s << false << false << unclear;
    }

    void syncDirection()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, firstOnPc);
        QFETCH(bool, secondOnPc);
        QFETCH(int, direction);
        QCOMPARE(int(CSyncPlan::DirectionOf(first, second, firstOnPc, secondOnPc)), direction);
    }

    void syncPlan_data()
    {
        QTest::addColumn<QString>("sending");
        QTest::addColumn<QString>("receiving");
        QTest::addColumn<bool>("deleteExtra");
        QTest::addColumn<QStringList>("steps");

        QTest::newRow("new, changed, same")
            << u"A=1 B=2 C=3"_s << u"B=2 C=4"_s << false
            << QStringList{u"<f+++++++++ A (1 bytes)"_s, u"<f.s....... C (4 -> 3 bytes)"_s};
        QTest::newRow("letter case ignored, the receiving name kept")
            << u"readme.txt=5 bars/ bars/EBU=4"_s << u"README.TXT=4 BARS/"_s << false
            << QStringList{u"<f.s....... README.TXT (4 -> 5 bytes)"_s, u"<f+++++++++ BARS/EBU (4 bytes)"_s};
        QTest::newRow("delete: a folder whole") << u"A=1"_s << u"A=1 OLD/ OLD/X=1 OLD/Y/ Z=2"_s << true
                                                << QStringList{u"*deleting   OLD/"_s, u"*deleting   Z"_s};
        QTest::newRow("no delete without --delete") << u"A=1"_s << u"A=1 Z=2"_s << false << QStringList{};
        QTest::newRow("folders parents first, files by folder")
            << u"P/ P/Q/ P/Q/R=1 P/S=2 T=3"_s << QString() << false
            << QStringList{u"cd+++++++++ P/"_s, u"cd+++++++++ P/Q/"_s, u"<f+++++++++ T (3 bytes)"_s,
                           u"<f+++++++++ P/S (2 bytes)"_s, u"<f+++++++++ P/Q/R (1 bytes)"_s};
        QTest::newRow("a file and a folder of one name: nothing below touched")
            << u"X=1 Y/ Y/Z=1"_s << u"X/ X/IN=1 Y=1"_s << true
            << QStringList{u"type-clash X"_s, u"type-clash Y"_s};
        QTest::newRow("two names for one")
            << u"a.seq=1 A.SEQ=2"_s << QString() << false
            << QStringList{u"name-clash A.SEQ"_s, u"<f+++++++++ a.seq (1 bytes)"_s};
        QTest::newRow("two receiving names for one sent: nothing below touched")
            << u"A.TXT=1 D/ D/X=1"_s << u"A.TXT=2 a.txt=3 d/ D/ d/X=2"_s << true
            << QStringList{u"case-clash A.TXT"_s, u"case-clash a.txt"_s, u"case-clash d/"_s,
                           u"case-clash D/"_s};
        QTest::newRow("two receiving names the sending side lacks: deleted")
            << QString() << u"A.TXT=2 a.txt=3"_s << true
            << QStringList{u"*deleting   A.TXT"_s, u"*deleting   a.txt"_s};
        QTest::newRow("a link is never the same file")
            << u"L=5 M/"_s << u"L@ M@"_s << false
            << QStringList{u"type-clash M"_s, u"<f.s....... L (link -> 5 bytes)"_s};
    }

    void syncPlan()
    {
        QFETCH(QString, sending);
        QFETCH(QString, receiving);
        QFETCH(bool, deleteExtra);
        QFETCH(QStringList, steps);
        QStringList lines;
        for (const CSyncStep& step : CSyncPlan::Compare(Entries(sending), Entries(receiving), deleteExtra)) {
            if (step.m_eAction == CSyncStep::Action::TypeClash)
                lines.append(u"type-clash "_s + step.m_strPath);
            else if (step.m_eAction == CSyncStep::Action::NameClash)
                lines.append(u"name-clash "_s + step.m_strPath);
            else if (step.m_eAction == CSyncStep::Action::CaseClash)
                lines.append(u"case-clash "_s + step.m_strPath + (step.m_bFolder ? u"/"_s : QString()));
            else
                lines.append(CSyncPlan::ItemLine(step, true));
        }
        QCOMPARE(lines, steps);
    }
};

QTEST_GUILESS_MAIN(TestSyncPlan)
#include "tst_syncplan.moc"
