#pragma once

#include <QProcess>
#include <QString>

// The emulator process (../sim/vq820-sim next to vq-bench), listening on a
// loopback address, by default on a free port. It is killed when this goes.
class CSimProcess
{
public:
    // False when it did not start or did not say its port within 5 s.
    bool Start(qint64 capacity, const QString& address = QStringLiteral("127.0.0.1"), quint16 port = 0);
    ~CSimProcess();

    // Before Start: the emulator also stops when vq-bench dies without
    // running its destructors (a long run stopped by a signal).
    void StopWithParent() { m_stopWithParent = true; }
    qint64 Pid() const { return m_process.processId(); }

    QString m_address;
    quint16 m_port = 0;

private:
    QProcess m_process;
    bool m_stopWithParent = false;
};
