// CSyncPlan: which side a sync sends from, and the steps that make one
// folder hold what another holds: sizes, contents as far as they are known,
// packages by content, the generator's root.

#include "sync/syncplan.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// "A=1 B/ B/C=2 L@ D=3@r:x": files with their sizes, folders ending in "/",
// links in "@"; a
// file's content after "@": h (the PC read it), r (the record), c (read back),
// then ":" and a text standing for its hash.
QList<CSyncEntry> Entries(const QString& text)
{
    QList<CSyncEntry> entries;
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
        if (word.endsWith(u'/')) {
            entries.append({word.chopped(1), 0, true});
            continue;
        }
        if (word.endsWith(u'@')) {
            entries.append({word.chopped(1), -1, false, true});
            continue;
        }
        CSyncEntry entry{word.section(u'=', 0, 0), word.section(u'=', 1).section(u'@', 0, 0).toLongLong(),
                         false};
        if (const QString content = word.section(u'@', 1); !content.isEmpty()) {
            entry.m_eKnown = content.startsWith(u'h')   ? SyncKnown::Hashed
                             : content.startsWith(u'r') ? SyncKnown::Record
                                                        : SyncKnown::ReadBack;
            entry.m_sha256 = content.section(u':', 1).toLatin1();
        }
        entries.append(entry);
    }
    return entries;
}

QStringList Lines(const QList<CSyncStep>& steps, bool toGenerator)
{
    QStringList lines;
    for (const CSyncStep& step : steps) {
        switch (step.m_eAction) {
        case CSyncStep::Action::TypeClash:
            lines.append(u"type-clash "_s + step.m_strPath);
            break;
        case CSyncStep::Action::NameClash:
            lines.append(u"name-clash "_s + step.m_strPath);
            break;
        case CSyncStep::Action::CaseClash:
            lines.append(u"case-clash "_s + step.m_strPath + (step.m_bFolder ? u"/"_s : QString()));
            break;
        case CSyncStep::Action::Unplaceable:
            lines.append(u"unplaceable "_s + step.m_strPath);
            break;
        case CSyncStep::Action::Same:
            lines.append(u"same %1 as %2 by %3"_s.arg(step.m_strSource, step.m_strPath,
                                                      CSyncPlan::JudgedName(step.m_eJudged)));
            break;
        case CSyncStep::Action::SizeOnly:
            lines.append(u"size-only %1 as %2"_s.arg(step.m_strSource, step.m_strPath));
            break;
        case CSyncStep::Action::Skip:
            lines.append(u"skip "_s + step.m_strPath);
            break;
        default:
            lines.append(CSyncPlan::ItemLine(step, toGenerator) +
                         (step.m_eAction == CSyncStep::Action::Delete && step.m_nOldSize
                              ? u" frees %1"_s.arg(step.m_nOldSize)
                              : QString()));
        }
    }
    return lines;
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
        QTest::addColumn<QString>("options"); // d: delete, p: the folder is DOWNLOAD, R: the root
        QTest::addColumn<QStringList>("steps");

        QTest::newRow("new, changed, size only")
            << u"A=1 B=2 C=3"_s << u"B=2 C=4"_s << QString()
            << QStringList{u"<f+++++++++ A (1 bytes)"_s, u"<f.s....... C (4 -> 3 bytes)"_s,
                           u"size-only B as B"_s};
        QTest::newRow("one size, contents known")
            << u"A=5@h:x B=5@h:y C=5@h:z D=5@h:w"_s << u"A=5@r:x B=5@r:x C=5@c:z D=5"_s << QString()
            << QStringList{u"<fc........ B (5 bytes, other content by record)"_s, u"same A as A by record"_s,
                           u"same C as C by checksum"_s, u"size-only D as D"_s};
        QTest::newRow("letter case ignored, the receiving name kept")
            << u"readme.txt=5 bars/ bars/EBU=4"_s << u"README.TXT=4 BARS/"_s << QString()
            << QStringList{u"<f.s....... README.TXT (4 -> 5 bytes)"_s, u"<f+++++++++ BARS/EBU (4 bytes)"_s};
        QTest::newRow("delete: a folder whole, the room it frees")
            << u"A=1"_s << u"A=1@r:a OLD/ OLD/X=10 OLD/Y/ OLD/Y/Z=5 Z=2"_s << u"d"_s
            << QStringList{u"*deleting   OLD/ frees 15"_s, u"*deleting   Z frees 2"_s, u"size-only A as A"_s};
        QTest::newRow("no delete without --delete")
            << u"A=1"_s << u"A=2 Z=2"_s << QString() << QStringList{u"<f.s....... A (2 -> 1 bytes)"_s};
        QTest::newRow("folders parents first, files by folder")
            << u"P/ P/Q/ P/Q/R=1 P/S=2 T=3"_s << QString() << QString()
            << QStringList{u"cd+++++++++ P/"_s, u"cd+++++++++ P/Q/"_s, u"<f+++++++++ T (3 bytes)"_s,
                           u"<f+++++++++ P/S (2 bytes)"_s, u"<f+++++++++ P/Q/R (1 bytes)"_s};
        QTest::newRow("a file and a folder of one name: nothing below touched")
            << u"X=1 Y/ Y/Z=1"_s << u"X/ X/IN=1 Y=1"_s << u"d"_s
            << QStringList{u"type-clash X"_s, u"type-clash Y"_s};
        QTest::newRow("two names for one")
            << u"a.seq=1 A.SEQ=2"_s << QString() << QString()
            << QStringList{u"name-clash A.SEQ"_s, u"<f+++++++++ a.seq (1 bytes)"_s};
        QTest::newRow("two receiving names for one sent: nothing below touched")
            << u"A.TXT=1 D/ D/X=1"_s << u"A.TXT=2 a.txt=3 d/ D/ d/X=2"_s << u"d"_s
            << QStringList{u"case-clash A.TXT"_s, u"case-clash a.txt"_s, u"case-clash d/"_s,
                           u"case-clash D/"_s};
        QTest::newRow("two receiving names the sending side lacks: deleted")
            << QString() << u"A.TXT=2 a.txt=3"_s << u"d"_s
            << QStringList{u"*deleting   A.TXT frees 2"_s, u"*deleting   a.txt frees 3"_s};
        QTest::newRow("a link is never the same file")
            << u"L=5@h:x M/"_s << u"L@ M@"_s << QString()
            << QStringList{u"type-clash M"_s, u"<f.s....... L (link -> 5 bytes)"_s};
        // The generator files a package under a name of its own.
        QTest::newRow("packages by content, the extra one deleted")
            << u"UPDATE.DNL=9@h:u NEW.DNL=9@h:n OTHER.DNL=4@h:o"_s
            << u"PKG0001.DNL=9@r:u PKG0002.DNL=9@r:q OTHER.DNL=4@r:x"_s << u"dp"_s
            << QStringList{u"*deleting   OTHER.DNL frees 4"_s, u"*deleting   PKG0002.DNL frees 9"_s,
                           u"<f+++++++++ NEW.DNL (9 bytes, a package: the generator names it)"_s,
                           u"<f+++++++++ OTHER.DNL (4 bytes, a package: the generator names it)"_s,
                           u"same UPDATE.DNL as PKG0001.DNL by record"_s};
        QTest::newRow("packages: an unknown one of that size is size only")
            << u"UPDATE.DNL=9@h:u"_s << u"PKG0001.DNL=9"_s << u"dp"_s
            << QStringList{u"size-only UPDATE.DNL as PKG0001.DNL"_s};
        QTest::newRow("a package outside DOWNLOAD is left out")
            << u"UPDATE.DNL=9 A=1"_s << u"A=1@r:a"_s << QString()
            << QStringList{u"size-only A as A"_s, u"skip UPDATE.DNL"_s};
        QTest::newRow("the root: files refused, first-level folders kept")
            << u"INDEX.TXT=1 USER/ USER/A=1 NEW/"_s << u"USER/ USER/OLD=3 LOGO/ LOGO/L=2"_s << u"dR"_s
            << QStringList{u"unplaceable INDEX.TXT"_s, u"unplaceable NEW"_s,
                           u"*deleting   USER/OLD frees 3"_s, u"<f+++++++++ USER/A (1 bytes)"_s,
                           u"skip LOGO"_s};
    }

    void syncPlan()
    {
        QFETCH(QString, sending);
        QFETCH(QString, receiving);
        QFETCH(QString, options);
        QFETCH(QStringList, steps);
        CSyncPlan::COptions given;
        given.m_bDelete = options.contains(u'd');
        given.m_bRoot = options.contains(u'R');
        if (options.contains(u'p'))
            given.m_strPackageFolder = u""_s;
        if (given.m_bRoot)
            given.m_strPackageFolder = u"DOWNLOAD"_s;
        QCOMPARE(Lines(CSyncPlan::Compare(Entries(sending), Entries(receiving), given), true), steps);
    }

    // The generator files worth reading back: one size at one path, and in
    // DOWNLOAD every package of a size a PC package has.
    void contentWanted()
    {
        CSyncPlan::COptions options;
        options.m_strPackageFolder = u""_s;
        QCOMPARE(CSyncPlan::ContentWanted(Entries(u"A=1 B=2 U.DNL=9"_s),
                                          Entries(u"a=1 B=3 PKG1.DNL=9 PKG2.DNL=8"_s), options),
                 (QStringList{u"a"_s, u"PKG1.DNL"_s}));
        options.m_bToGenerator = false;
        options.m_strPackageFolder = QString();
        QCOMPARE(CSyncPlan::ContentWanted(Entries(u"A=1 PKG1.DNL=9"_s), Entries(u"A=1 U.DNL=9"_s), options),
                 QStringList{u"A"_s});
    }
};

QTEST_GUILESS_MAIN(TestSyncPlan)
#include "tst_syncplan.moc"
