// CConsoleProgress: the progress line of a transfer on the console.

#include "cli/consoleprogress.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestConsoleProgress : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The progress line fits the width it is given: the remaining time and
    // the rate give way before the name would keep fewer than 12 characters,
    // and the name is shortened in its middle.
    void progressLine_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("columns");
        QTest::addColumn<QString>("line");
        const QString remaining = u"2 Minutes Remaining"_s;
        QTest::newRow("wide") << u"A.BIN"_s << 80 << u"[2/5] A.BIN   45%  1.50MB/s  2 Minutes Remaining"_s;
        QTest::newRow("no room for the time") << u"A.BIN"_s << 40 << u"[2/5] A.BIN   45%  1.50MB/s"_s;
        QTest::newRow("long name") << u"VERY_LONG_SIGNAL_NAME_1080P60_FINAL.CMP"_s << 40
                                   << u"[2/5] VERY_LO...NAL.CMP   45%  1.50MB/s"_s;
        QTest::newRow("narrower than anything")
            << u"ABCDEFGHIJKLMNOPQRSTUVWXYZ.BIN"_s << 10 << u"[2/5] ABC...IN   45%"_s;
    }

    void progressLine()
    {
        QFETCH(QString, name);
        QFETCH(int, columns);
        QFETCH(QString, line);
        const QString shown =
            CConsoleProgress::FitLine(u"[2/5]"_s, name, 45, u"1.50MB/s"_s, u"2 Minutes Remaining"_s, columns);
        QCOMPARE(shown, line);
        QVERIFY(shown.size() <= std::max(columns - 1, 20));
        QCOMPARE(CConsoleProgress::RateText(1572864, 1000), u"1.50MB/s"_s);
        QCOMPARE(CConsoleProgress::RateText(1000, 10), QString());
    }
};

QTEST_GUILESS_MAIN(TestConsoleProgress)
#include "tst_consoleprogress.moc"
