// CAddressRange: the ranges a scan and --hosts take, and the PC's own networks.

#include "link/addressrange.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestAddressRange : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ranges_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("canonical"); // empty: refused
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");

        QTest::newRow("address") << u" 10.0.0.5 "_s << u"10.0.0.5"_s << 1 << u"10.0.0.5"_s << u"10.0.0.5"_s;
        QTest::newRow("network around an address")
            << u"10.0.0.17/24"_s << u"10.0.0.0/24"_s << 254 << u"10.0.0.1"_s << u"10.0.0.254"_s;
        QTest::newRow("widest") << u"10.0.0.0/22"_s << u"10.0.0.0/22"_s << 1022 << u"10.0.0.1"_s
                                << u"10.0.3.254"_s;
        QTest::newRow("a /31 has no broadcast")
            << u"10.0.0.4/31"_s << u"10.0.0.4/31"_s << 2 << u"10.0.0.4"_s << u"10.0.0.5"_s;
        QTest::newRow("run") << u"10.0.0.5-40"_s << u"10.0.0.5-40"_s << 36 << u"10.0.0.5"_s << u"10.0.0.40"_s;
        QTest::newRow("too wide") << u"10.0.0.0/21"_s << QString() << 0 << QString() << QString();
        QTest::newRow("run backwards") << u"10.0.0.40-5"_s << QString() << 0 << QString() << QString();
        QTest::newRow("run past 255") << u"10.0.0.5-256"_s << QString() << 0 << QString() << QString();
        QTest::newRow("number too big") << u"10.0.0.256"_s << QString() << 0 << QString() << QString();
        QTest::newRow("three numbers") << u"10.0.1"_s << QString() << 0 << QString() << QString();
        QTest::newRow("name") << u"generator.lab"_s << QString() << 0 << QString() << QString();
    }

    void ranges()
    {
        QFETCH(QString, text);
        QFETCH(QString, canonical);
        QFETCH(int, count);
        QFETCH(QString, first);
        QFETCH(QString, last);
        QString error;
        const std::optional<CAddressRange> range = CAddressRange::Parse(text, &error);
        QCOMPARE(range.has_value(), !canonical.isEmpty());
        if (!range) {
            QVERIFY(error.contains(text));
            return;
        }
        QCOMPARE(range->Text(), canonical);
        const QList<QHostAddress> addresses = range->Addresses();
        QCOMPARE(addresses.size(), count);
        QCOMPARE(addresses.first().toString(), first);
        QCOMPARE(addresses.last().toString(), last);
    }

    // The default scan: made-up interfaces, nothing scanned.
    void pcNetworks_data()
    {
        QTest::addColumn<QList<CLocalAddress>>("addresses");
        QTest::addColumn<QStringList>("ranges");

        const auto local = [](const char* address, int prefix, bool loopback = false, bool up = true) {
            return CLocalAddress{QHostAddress(QString::fromLatin1(address)), prefix, loopback, up};
        };
        QTest::newRow("wide network cut to its /24")
            << QList{local("172.16.5.9", 16)} << QStringList{u"172.16.5.0/24"_s};
        QTest::newRow("narrow network as it is")
            << QList{local("192.168.1.70", 26)} << QStringList{u"192.168.1.64/26"_s};
        QTest::newRow("loopback, link-local, IPv6 and down left out")
            << QList{local("127.0.0.1", 8, true), local("127.0.1.1", 8), local("169.254.3.3", 16),
                     local("fe80::1", 64), local("10.9.9.9", 24, false, false)}
            << QStringList{};
        QTest::newRow("two addresses of one /24 once, in order")
            << QList{local("10.1.2.3", 24), local("192.168.0.10", 24), local("10.1.2.4", 16)}
            << QStringList{u"10.1.2.0/24"_s, u"192.168.0.0/24"_s};
    }

    void pcNetworks()
    {
        QFETCH(QList<CLocalAddress>, addresses);
        QFETCH(QStringList, ranges);
        QStringList texts;
        for (const CAddressRange& range : CAddressRange::LocalNetworks(addresses))
            texts.append(range.Text());
        QCOMPARE(texts, ranges);
    }
};

QTEST_GUILESS_MAIN(TestAddressRange)
#include "tst_addressrange.moc"
