#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

// Turns Ctrl+C (SIGINT) into the Interrupted signal on the event loop for as
// long as it lives; the previous handling comes back afterwards. The signal
// handler only writes a byte to a socket pair, the one thing it may safely
// do. One instance at a time. Outside its lifetime Ctrl+C ends the process
// as usual, which is safe there: only transfers write PC files.
class CInterruptWatcher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CInterruptWatcher)

public:
    explicit CInterruptWatcher(QObject* parent = nullptr);
    ~CInterruptWatcher() override;

    bool IsActive() const { return m_active; }

Q_SIGNALS:
    void Interrupted();

private:
    void OnActivated();

    bool m_ownsPipe = false;
    bool m_active = false;
    std::unique_ptr<QSocketNotifier> m_pNotifier;
};
