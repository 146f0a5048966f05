// CDeviceScan: the fields of an identity reply; a scan of several ports.

#include "link/devicescan.h"
#include "sim/simserver.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

class TestDeviceScan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void identityFields_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QStringList>("fields");

        QTest::newRow("four fields") << u"VELTRANE,VQ820,1001,5.60"_s
                                     << QStringList{u"VELTRANE"_s, u"VQ820"_s, u"1001"_s, u"5.60"_s};
        QTest::newRow("blanks trimmed, empty serial")
            << u" Lab Co , X1 ,, 2"_s << QStringList{u"Lab Co"_s, u"X1"_s, QString(), u"2"_s};
        QTest::newRow("nonsense") << u"hello there"_s << QStringList{};
        QTest::newRow("three fields") << u"A,B,C"_s << QStringList{};
        QTest::newRow("five fields") << u"A,B,C,D,E"_s << QStringList{};
        QTest::newRow("no maker") << u",B,C,D"_s << QStringList{};
        QTest::newRow("control character") << u"A,B,\u001b[2J,D"_s << QStringList{};
    }

    void identityFields()
    {
        QFETCH(QString, reply);
        QFETCH(QStringList, fields);
        QCOMPARE(CDeviceScan::IdentityFields(reply), fields);
    }

    // Emulators side by side on one address, told apart by their ports; a
    // port nobody listens on gives nothing.
    void severalPorts()
    {
        std::unique_ptr<CSimServer> sims[2];
        QList<quint16> ports;
        for (int i = 0; i < 2; ++i) {
            sims[i] = std::make_unique<CSimServer>();
            CSimOptions options;
            options.m_nPort = 0;
            options.m_strIdentity = u"VELTRANE,VQ820,10%1,5.60"_s.arg(i + 1);
            QVERIFY(sims[i]->Start(options));
            ports.prepend(sims[i]->Port());
        }
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        ports.append(closed.serverPort());
        closed.close();

        CDeviceScan scan;
        QSignalSpy finished(&scan, &CDeviceScan::Finished);
        scan.Start({QHostAddress(QHostAddress::LocalHost)}, ports);
        QCOMPARE(scan.Total(), 3);
        QVERIFY(finished.wait(5000));
        const QList<CScanResult> results = scan.Results();
        QCOMPARE(results.size(), 2);
        for (int i = 0; i < 2; ++i) {
            const int which = sims[0]->Port() < sims[1]->Port() ? i : 1 - i;
            QCOMPARE(results.at(i).m_nPort, sims[which]->Port());
            QCOMPARE(results.at(i).m_fields.value(2), u"10%1"_s.arg(which + 1));
        }
    }
};

QTEST_GUILESS_MAIN(TestDeviceScan)
#include "tst_devicescan.moc"
