#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

// What one address that took the connection answered to the identity query.
struct CScanResult
{
    QHostAddress m_address;
    quint16 m_nPort = 0;
    QString m_strReply;   // the reply line; empty when no whole line came
    QStringList m_fields; // maker, model, serial, firmware; empty when the reply is none
    qint64 m_nMs = 0;     // from the start of the connect to the end of the reply

    bool IsGenerator() const { return !m_fields.isEmpty(); }
};

// Looks for generators: a TCP connect to the generator port of each address
// (or to each of several ports: emulators side by side on one PC) and, where
// one is taken, the identity query, with at most Jobs() addresses at once. Every address ends within its two
// bounds (connect, then reply), so a scan of N addresses ends within ceil(N / jobs) times their sum. Runs on
// the event loop of the thread it lives on: the window stays live and a script's loop can stop it.
class CDeviceScan final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDeviceScan)

public:
    static constexpr int DEFAULT_JOBS = 64;
    static constexpr int DEFAULT_CONNECT_TIMEOUT_MS = 300;
    // Once the connection is made, the identity line has this long to come.
    static constexpr int REPLY_TIMEOUT_MS = 1000;
    // An identity is a short line; more than this is no identity.
    static constexpr qint64 MAX_REPLY_BYTES = 256;

    explicit CDeviceScan(QObject* parent = nullptr);
    ~CDeviceScan() override;

    void SetJobs(int jobs) { m_nJobs = std::max(1, jobs); }
    int Jobs() const { return m_nJobs; }
    void SetConnectTimeout(int ms) { m_nConnectTimeoutMs = ms; }

    // Starts a scan (a scan under way is cancelled first); Finished follows,
    // also for an empty list.
    void Start(const QList<QHostAddress>& addresses, quint16 port) { Start(addresses, QList<quint16>{port}); }
    // Each address on each of `ports`, in address order.
    void Start(const QList<QHostAddress>& addresses, const QList<quint16>& ports);
    // Stops at once: connections under way are dropped, no address is tried
    // after it; Finished(true) follows before it returns.
    void Cancel();
    bool IsRunning() const { return m_bRunning; }
    int Total() const { return int(m_targets.size()); }
    int Done() const { return m_nDone; }
    // Every address that took the connection, in address and port order.
    QList<CScanResult> Results() const;

    // The fields of an identity line (maker, model, serial, firmware), or
    // none when the line is no identity: not four comma-separated fields, an
    // empty maker or model, or a control character.
    static QStringList IdentityFields(const QString& reply);

Q_SIGNALS:
    // An address took the connection (the reply may be none).
    void Answered(const CScanResult& result);
    void Progress(int done, int total);
    void Finished(bool cancelled);

private:
    struct CProbe;
    void StartNext();
    void Launch(const QHostAddress& address, quint16 port);
    // The probe's address is done; `accepted` when it took the connection.
    void EndProbe(CProbe* probe, bool accepted);
    void ReadReply(CProbe* probe);

    QList<std::pair<QHostAddress, quint16>> m_targets;
    qsizetype m_nNext = 0;
    int m_nDone = 0;
    bool m_bRunning = false;
    std::vector<std::unique_ptr<CProbe>> m_probes;
    QList<CScanResult> m_results;
    int m_nJobs = DEFAULT_JOBS;
    int m_nConnectTimeoutMs = DEFAULT_CONNECT_TIMEOUT_MS;
};
