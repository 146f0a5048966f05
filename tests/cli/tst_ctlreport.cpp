// CCtlReport: the document written a piece at a time is the document made whole.

#include "cli/ctlreport.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestCtlReport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void streamed_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("status");
        QTest::newRow("none") << 0 << u"A"_s << 0;
        QTest::newRow("one") << 1 << u"A"_s << 0;
        QTest::newRow("across pieces, failed") << 2500 << u"A"_s << 1;
        // Escaped whether streamed or not: DEL, C1 controls, the line separators.
        QTest::newRow("controls") << 3 << u"A\u007f\u0085\u009b\u2028\u00e9"_s << 0;
    }

    void streamed()
    {
        QFETCH(int, count);
        QFETCH(QString, name);
        QFETCH(int, status);
        const auto item = [&name](qsizetype i) {
            return QJsonObject{{u"name"_s, name + QString::number(i)}, {u"size"_s, double(i)}};
        };
        CCtlReport whole;
        CCtlReport streamed;
        QJsonArray items;
        for (int i = 0; i < count; ++i)
            items.append(item(i));
        for (CCtlReport* report : {&whole, &streamed}) {
            report->SetCommand(u"ls"_s);
            report->Set(u"count"_s, count);
            report->Set(u"path"_s, u"/F0:/USER"_s);
        }
        whole.Set(u"entries"_s, items);
        streamed.SetStreamed(u"entries"_s, count, item);
        const QStringList messages{u"why"_s};
        QCOMPARE(streamed.Document(status, messages), whole.Document(status, messages));
        QVERIFY(!whole.Document(status, messages).contains(u'\u0085'));
        // A sink that refuses a piece stops the writing there.
        int pieces = 0;
        QVERIFY(!streamed.Write(status, messages, [&pieces](const QByteArray&) { return ++pieces < 2; }));
        QCOMPARE(pieces, 2);
    }
};

QTEST_GUILESS_MAIN(TestCtlReport)
#include "tst_ctlreport.moc"
