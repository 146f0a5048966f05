#include "link/transferprogress.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestTransferProgress : public QObject
{
    Q_OBJECT

private:
    qint64 m_now = 1000;
    CTransferProgress MakeProgress()
    {
        return CTransferProgress([this] { return m_now; });
    }

private Q_SLOTS:
    void remainingText_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << qint64(0) << u"1 Second Remaining"_s;
        QTest::newRow("1") << qint64(1) << u"2 Seconds Remaining"_s;
        QTest::newRow("58") << qint64(58) << u"59 Seconds Remaining"_s;
        QTest::newRow("59") << qint64(59) << u"1 Minute Remaining"_s;
        QTest::newRow("60") << qint64(60) << u"2 Minutes Remaining"_s;
        QTest::newRow("119") << qint64(119) << u"2 Minutes Remaining"_s;
        QTest::newRow("120") << qint64(120) << u"3 Minutes Remaining"_s;
        QTest::newRow("3539") << qint64(3539) << u"59 Minutes Remaining"_s;
        QTest::newRow("3540") << qint64(3540) << u"1 Hour Remaining"_s;
        QTest::newRow("3599") << qint64(3599) << u"1 Hour Remaining"_s;
        QTest::newRow("3600") << qint64(3600) << u"2 Hours Remaining"_s;
        QTest::newRow("7199") << qint64(7199) << u"2 Hours Remaining"_s;
        QTest::newRow("7200") << qint64(7200) << u"3 Hours Remaining"_s;
    }

    void remainingText()
    {
        QFETCH(qint64, seconds);
        QFETCH(QString, text);
        QCOMPARE(CTransferProgress::RemainingTimeText(seconds), text);
    }

    // Reports of `done` in order; the bar position after each.
    void steps_data()
    {
        QTest::addColumn<quint64>("total");
        QTest::addColumn<QList<quint64>>("reports");
        QTest::addColumn<QList<int>>("positions");
        QTest::newRow("below a step") << quint64(1000) << QList<quint64>{19} << QList<int>{0};
        QTest::newRow("exactly a step") << quint64(1000) << QList<quint64>{20, 40} << QList<int>{2, 4};
        QTest::newRow("one step per call")
            << quint64(1000) << QList<quint64>{100, 100, 100} << QList<int>{2, 4, 6};
        QTest::newRow("catching up") << quint64(1000) << QList<quint64>{1000, 1000, 1000}
                                     << QList<int>{2, 4, 6};
        // Under 50 bytes the step is 0 bytes: every report moves the bar.
        QTest::newRow("tiny file") << quint64(10) << QList<quint64>{0, 0, 1} << QList<int>{2, 4, 6};
        QTest::newRow("step rounds down") << quint64(149) << QList<quint64>{1, 2} << QList<int>{0, 2};
        QTest::newRow("huge total") << quint64(0xFFFFFFFFFFFFFFF0ULL) << QList<quint64>{0x051EB851EB851EB8ULL}
                                    << QList<int>{2};
    }

    void steps()
    {
        QFETCH(quint64, total);
        QFETCH(QList<quint64>, reports);
        QFETCH(QList<int>, positions);
        CTransferProgress progress = MakeProgress();
        progress.StartFile(u"F"_s, total, u"C"_s, 1);
        for (qsizetype i = 0; i < reports.size(); ++i) {
            progress.UpdateProgress(reports.at(i));
            QCOMPARE(progress.Position(), positions.at(i));
        }
    }

    void barStopsAtHundred()
    {
        CTransferProgress progress = MakeProgress();
        progress.StartFile(u"F"_s, 10, u"C"_s, 1);
        for (int i = 0; i < 80; ++i)
            progress.UpdateProgress(10);
        QCOMPARE(progress.Position(), 100);
        progress.StartFile(u"G"_s, 10, u"C"_s, 1);
        QCOMPARE(progress.Position(), 0);
        progress.SetComplete();
        QCOMPARE(progress.Position(), 100);
    }

    // The estimate: every 16th call, not in the first 5 seconds, average rate.
    void estimate_data()
    {
        QTest::addColumn<int>("calls");
        QTest::addColumn<qint64>("elapsed");
        QTest::addColumn<quint64>("done");
        QTest::addColumn<QString>("text");
        QTest::newRow("15th call") << 15 << qint64(10) << quint64(500) << QString();
        QTest::newRow("16th call") << 16 << qint64(10) << quint64(500) << u"11 Seconds Remaining"_s;
        QTest::newRow("under 5 s") << 16 << qint64(4) << quint64(500) << QString();
        QTest::newRow("exactly 5 s") << 16 << qint64(5) << quint64(500) << u"6 Seconds Remaining"_s;
        QTest::newRow("nothing done") << 16 << qint64(10) << quint64(0) << QString();
        QTest::newRow("done") << 16 << qint64(10) << quint64(1000) << u"1 Second Remaining"_s;
        QTest::newRow("beyond total") << 16 << qint64(10) << quint64(2000) << QString();
        QTest::newRow("slow: hours") << 16 << qint64(3600) << quint64(100) << u"10 Hours Remaining"_s;
    }

    void estimate()
    {
        QFETCH(int, calls);
        QFETCH(qint64, elapsed);
        QFETCH(quint64, done);
        QFETCH(QString, text);
        CTransferProgress progress = MakeProgress();
        progress.StartFile(u"F"_s, 1000, u"C"_s, 1);
        m_now += elapsed;
        for (int i = 0; i < calls; ++i)
            progress.UpdateProgress(done);
        QCOMPARE(progress.RemainingText(), text);
    }

    // The call counter runs on into the next file; the start time does not.
    void counterCarriesOver()
    {
        CTransferProgress progress = MakeProgress();
        progress.StartFile(u"A"_s, 1000, u"C"_s, 1);
        for (int i = 0; i < 10; ++i)
            progress.UpdateProgress(10);
        m_now += 100;
        progress.StartFile(u"B"_s, 1000, u"C"_s, 1);
        QVERIFY(progress.RemainingText().isEmpty());
        m_now += 10;
        for (int i = 0; i < 5; ++i)
            progress.UpdateProgress(500);
        QVERIFY(progress.RemainingText().isEmpty());
        progress.UpdateProgress(500); // the 16th call in all
        QCOMPARE(progress.RemainingText(), u"11 Seconds Remaining"_s);
    }
};

QTEST_GUILESS_MAIN(TestTransferProgress)
#include "tst_transferprogress.moc"
