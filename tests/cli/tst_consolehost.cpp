// CConsoleHost: a message that repeats the one before is counted, not written again.

#include "cli/consolehost.h"

#include <QBuffer>
#include <QTest>

using namespace Qt::StringLiterals;

class TestConsoleHost : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void repeats_data()
    {
        QTest::addColumn<QStringList>(
            "said"); // "E:text" an error, "S:text" a stop message, "P:text" a plain line
        QTest::addColumn<QString>("written");
        QTest::newRow("once per file of a batch")
            << QStringList{u"S:Socket error."_s, u"S:Socket error."_s, u"S:Socket error."_s, u"E:failed"_s}
            << u"vq8ctl: Socket error.\nvq8ctl: the message above came 2 more times\nvq8ctl: failed\n"_s;
        QTest::newRow("counted at the end")
            << QStringList{u"E:gone"_s, u"E:gone"_s}
            << u"vq8ctl: gone\nvq8ctl: the message above came 1 more time\n"_s;
        QTest::newRow("another line between: written again")
            << QStringList{u"E:gone"_s, u"P:usage\n"_s, u"E:gone"_s}
            << u"vq8ctl: gone\nusage\nvq8ctl: gone\n"_s;
        QTest::newRow("different messages")
            << QStringList{u"E:a"_s, u"S:b"_s, u"E:a"_s} << u"vq8ctl: a\nvq8ctl: b\nvq8ctl: a\n"_s;
    }

    void repeats()
    {
        QFETCH(QStringList, said);
        QFETCH(QString, written);
        QBuffer out;
        QBuffer err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        CConsoleHost host(&out, &err);
        for (const QString& line : std::as_const(said)) {
            const QString text = line.sliced(2);
            if (line.startsWith(u'E'))
                host.Error(text);
            else if (line.startsWith(u'S'))
                host.ShowMessageBox(text, MB_OK | MB_ICONSTOP);
            else
                host.Print(text);
        }
        host.FlushRepeats();
        QCOMPARE(QString::fromUtf8(err.data()), written);
        // The report keeps every one of them.
        QCOMPARE(host.Messages().size(), said.count(u"P:usage\n"_s) ? 2 : said.size());
    }
};

QTEST_GUILESS_MAIN(TestConsoleHost)
#include "tst_consolehost.moc"
