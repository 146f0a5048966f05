// CDeviceScan: the fields of an identity reply.

#include "link/devicescan.h"

#include <QTest>

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
};

QTEST_GUILESS_MAIN(TestDeviceScan)
#include "tst_devicescan.moc"
