// CInterruptWatcher: the requests to stop, as the system sends them, reach
// the one watcher that has them.

#include "console/interruptwatcher.h"
#include "tests/support/consolerequest.h"

#include <QTest>

#include <atomic>
#include <memory>

namespace {

// Counts what a handler was given.
struct Received
{
    std::atomic<int> interrupts{0};
    std::atomic<int> terminates{0};
    std::atomic<int> repeats{0};

    CInterruptWatcher::Handler Handler(bool repeat = false)
    {
        return [this, repeat](CConsole::Request request) {
            switch (request) {
            case CConsole::Request::Interrupt:
                ++interrupts;
                break;
            case CConsole::Request::Terminate:
                ++terminates;
                break;
            case CConsole::Request::None:
                ++repeats;
                break;
            }
            return repeat && repeats < 3;
        };
    }
};

} // namespace

class TestInterruptWatcher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each request arrives as itself, and a handler that asks for repeats
    // gets them after it.
    void requests_data()
    {
        QTest::addColumn<int>("request");
        QTest::addColumn<bool>("repeat");
        QTest::newRow("Ctrl+C") << int(CConsole::Request::Interrupt) << false;
        QTest::newRow("terminate, repeated") << int(CConsole::Request::Terminate) << true;
    }

    void requests()
    {
        QFETCH(int, request);
        QFETCH(bool, repeat);
        Received received;
        const CInterruptWatcher watcher(received.Handler(repeat));
        QVERIFY(watcher.IsActive());
        if (!SendConsoleRequest(CConsole::Request(request)))
            QSKIP("no console to send a control event to");
        std::atomic<int>& count =
            request == int(CConsole::Request::Interrupt) ? received.interrupts : received.terminates;
        QTRY_COMPARE(count.load(), 1);
        if (repeat)
            QTRY_COMPARE(received.repeats.load(), 3);
        QTest::qWait(5 * CInterruptWatcher::TICK_MS);
        QCOMPARE(received.repeats.load(), repeat ? 3 : 0);
    }

    // A second watcher made while the first one lives gets nothing, and its
    // end leaves the first one's handling as it was; after the first one's end
    // a new one has the requests again.
    void secondWatcherRefused()
    {
        Received first;
        Received second;
        auto watcher = std::make_unique<CInterruptWatcher>(first.Handler());
        QVERIFY(watcher->IsActive());
        {
            const CInterruptWatcher refused(second.Handler());
            QVERIFY(!refused.IsActive());
        }
        if (!SendConsoleRequest(CConsole::Request::Interrupt))
            QSKIP("no console to send a control event to");
        QTRY_COMPARE(first.interrupts.load(), 1);
        QCOMPARE(second.interrupts.load(), 0);

        watcher.reset();
        Received third;
        const CInterruptWatcher again(third.Handler());
        QVERIFY(again.IsActive());
        QVERIFY(SendConsoleRequest(CConsole::Request::Interrupt));
        QTRY_COMPARE(third.interrupts.load(), 1);
        QCOMPARE(first.interrupts.load(), 1);
    }
};

QTEST_GUILESS_MAIN(TestInterruptWatcher)
#include "tst_interruptwatcher.moc"
