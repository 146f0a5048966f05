// CHostPort: a generator's place as the window and vq8ctl take it typed.

#include "link/hostport.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestHostPort : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("host"); // empty: refused
        QTest::addColumn<int>("port");

        QTest::newRow("address") << u" 10.0.0.5 "_s << u"10.0.0.5"_s << 0;
        QTest::newRow("address and port") << u"127.0.0.1:5001"_s << u"127.0.0.1"_s << 5001;
        QTest::newRow("name and port") << u"gen-3.lab:65535"_s << u"gen-3.lab"_s << 65535;
        QTest::newRow("empty") << u"  "_s << QString() << 0;
        QTest::newRow("colon without a port") << u"10.0.0.5:"_s << QString() << 0;
        QTest::newRow("port 0") << u"10.0.0.5:0"_s << QString() << 0;
        QTest::newRow("port too big") << u"10.0.0.5:65536"_s << QString() << 0;
        QTest::newRow("signed port") << u"10.0.0.5:+50"_s << QString() << 0;
        QTest::newRow("no host") << u":5000"_s << QString() << 0;
        QTest::newRow("two colons") << u"::1:5000"_s << QString() << 0;
        QTest::newRow("blank inside") << u"10.0.0.5 :5000"_s << QString() << 0;
    }

    void parse()
    {
        QFETCH(QString, text);
        QFETCH(QString, host);
        QFETCH(int, port);
        QString error;
        const std::optional<CHostPort> place = CHostPort::Parse(text, &error);
        QCOMPARE(place.has_value(), !host.isEmpty());
        if (!place) {
            QVERIFY(!error.isEmpty());
            return;
        }
        QCOMPARE(place->m_strHost, host);
        QCOMPARE(int(place->m_nPort), port);
        QCOMPARE(place->PortOr(5000), port == 0 ? 5000 : port);
        // Written back, it reads the same.
        QCOMPARE(CHostPort::Parse(place->Text()), place);
    }
};

QTEST_GUILESS_MAIN(TestHostPort)
#include "tst_hostport.moc"
