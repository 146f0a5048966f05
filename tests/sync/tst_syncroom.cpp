// CSyncRoom: what a plan of writes needs at its fullest moment.

#include "sync/syncroom.h"

#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(QList<CSyncRoom::CWrite>)

class TestSyncRoom : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void needed_data()
    {
        QTest::addColumn<QList<CSyncRoom::CWrite>>("writes");
        QTest::addColumn<qint64>("freed");
        QTest::addColumn<qint64>("needed");
        QTest::newRow("nothing") << QList<CSyncRoom::CWrite>{} << qint64(0) << qint64(0);
        QTest::newRow("new files add up")
            << QList<CSyncRoom::CWrite>{{10, 0}, {20, 0}} << qint64(0) << qint64(30);
        // The new one is taken whole before the old one goes.
        QTest::newRow("a replaced file needs its size once")
            << QList<CSyncRoom::CWrite>{{10, 10}, {10, 10}} << qint64(0) << qint64(10);
        QTest::newRow("a smaller replacement makes room for what follows")
            << QList<CSyncRoom::CWrite>{{5, 50}, {30, 0}} << qint64(0) << qint64(5);
        QTest::newRow("each write's moment, not the end")
            << QList<CSyncRoom::CWrite>{{40, 0}, {1, 60}} << qint64(0) << qint64(41);
        QTest::newRow("deletions first")
            << QList<CSyncRoom::CWrite>{{10, 0}, {20, 0}} << qint64(25) << qint64(5);
        QTest::newRow("deletions free more than needed")
            << QList<CSyncRoom::CWrite>{{10, 0}} << qint64(25) << qint64(0);
    }

    void needed()
    {
        QFETCH(QList<CSyncRoom::CWrite>, writes);
        QFETCH(qint64, freed);
        QFETCH(qint64, needed);
        QCOMPARE(CSyncRoom::Needed(writes, freed), needed);
    }

    void text() { QCOMPARE(CSyncRoom::Text(17406362, 6606028), u"needs 16.6MB, 6.30MB free"_s); }
};

QTEST_GUILESS_MAIN(TestSyncRoom)
#include "tst_syncroom.moc"
