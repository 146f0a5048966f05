#pragma once

#include "console/console.h"

#include <QJsonObject>
#include <QObject>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

class CConsoleHost;
class CCtlArgs;
class CCtlReport;
class QIODevice;
class QLockFile;

// One command on several generators: a run of vq8ctl of its own for each
// (the link keeps one generator's transfer state for its whole process), at
// most --jobs at once. Every line a run writes is passed on with the
// generator's address; each run's JSON document comes back through
// --report. A run that fails never stops the others; Ctrl+C is handed to
// every run under way and no other is started. Each run ends with this
// process however this one ends (CWorkerProcess), and so does the temporary
// folder of the reports (one left by a run that was killed goes at the next).
class CCtlFleet final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CCtlFleet)

public:
    static constexpr int DEFAULT_JOBS = 8;

    CCtlFleet(CConsoleHost& host, const CCtlArgs& args, CCtlReport& report,
              const QProcessEnvironment& environment);
    ~CCtlFleet() override;

    // The program each run starts: this one by default.
    void SetProgram(const QString& program) { m_strProgram = program; }
    // The exit status: 0 when every generator succeeded, 1 when one failed,
    // 2 for a list of generators that cannot be read.
    int Run();
    // A request to stop, from any thread: Ctrl+C is handed to every run
    // under way (the third one kills them), any other request ends them at once.
    void Interrupt(CConsole::Request request);

    // The generators of a host list's text: the first word of each line ("#"
    // starts a comment), a range giving its addresses. False with the reason
    // in `error`.
    static bool ParseHostList(const QString& text, QStringList& hosts, QString* error);

Q_SIGNALS:
    // Every run has ended, or will never start.
    void Ended();

private:
    struct CMember;
    // The temporary folder of each run's report: "vq8ctl-XXXXXX", locked by
    // the file "lock" while the run that made it lives.
    static inline const QString SPOOL_PREFIX = QStringLiteral("vq8ctl-");
    static inline const QString SPOOL_LOCK = QStringLiteral("lock");
    // Removes the folders of runs that were killed (their lock is stale).
    void RemoveAbandonedSpools();
    bool ExpandHosts(QStringList& hosts, QString* error) const;
    // The command's arguments for each generator; false after a message (bad usage).
    bool PrepareMembers(const QStringList& hosts, quint16 port);
    void StartNext();
    void Start(CMember& member);
    void ForwardOutput(CMember& member, bool errorStream, bool all);
    void Finished(CMember& member, int status);
    void OnInterrupt(CConsole::Request request);
    bool AllEnded() const;
    int Summarise(qint64 ms);

    CConsoleHost& m_host;
    const CCtlArgs& m_args;
    CCtlReport& m_report;
    QProcessEnvironment m_environment;
    QString m_strProgram;
    QTemporaryDir m_reports;
    std::unique_ptr<QLockFile> m_pLock;
    std::vector<std::unique_ptr<CMember>> m_members;
    quint16 m_nPort = 0;
    size_t m_nNext = 0;
    int m_nRunning = 0;
    int m_nInterrupts = 0;
};
