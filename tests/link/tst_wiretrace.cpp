// CWireTrace: the lines a trace makes of what went over the wire.

#include "link/wiretrace.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestWireTrace : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What the trace makes of a stream that arrives in pieces: lines, block
    // headers (not a "#" inside quotes), data as counts, a block cut short.
    void wireTrace_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("command and block in pieces")
            << QList<QByteArray>{"mmem:data \"/F0:/A#1\",#", "3", "12", "0abc", QByteArray(117, '\n'), "\r\n"}
            << QStringList{u"> mmem:data \"/F0:/A#1\",#3120  [block of 120 data bytes]"_s,
                           u"> [120 data bytes]"_s, u"> (empty line)"_s, u"- closed"_s};
        QTest::newRow("cut short") << QList<QByteArray>{"#15", "ab"}
                                   << QStringList{u"> #15  [block of 5 data bytes]"_s,
                                                  u"> [2 of 5 data bytes, then the connection ended]"_s,
                                                  u"- closed"_s};
        QTest::newRow("control characters and a long line")
            << QList<QByteArray>{"a\x1b"
                                 "b\n",
                                 QByteArray(400, 'x') + '\n'}
            << QStringList{u"> a\\x1Bb"_s, u"> "_s + QString(300, u'x') + u"... (100 more bytes)"_s,
                           u"- closed"_s};
    }

    void wireTrace()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(QStringList, lines);
        QStringList written;
        CWireTrace trace([&written](const QString& line) { written.append(line.section(u' ', -0)); });
        const int id = trace.Connect("cmd", u"127.0.0.1"_s, 5000, QString());
        for (const QByteArray& piece : std::as_const(pieces))
            trace.Sent(id, piece.constData(), piece.size());
        trace.Closed(id, "closed");
        QStringList shown;
        for (const QString& line : std::as_const(written).mid(1))
            shown.append(line.mid(line.indexOf(u"cmd#1"_s) + 5).trimmed());
        QCOMPARE(shown, lines);
    }
};

QTEST_GUILESS_MAIN(TestWireTrace)
#include "tst_wiretrace.moc"
