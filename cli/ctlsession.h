#pragma once

#include "console/console.h"
#include "sync/generatoridentity.h"

#include <QProcessEnvironment>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class CConsoleHost;
class CCtlArgs;
class CCtlCatalog;
class CCtlErrorQueue;
class CCtlReport;
class CCtlTransfers;
class CSyncRecord;
class CVQComm;
class QJsonObject;

// One run of vq8ctl as its command sees it: the console, the command line,
// the report, the generator's link and the shared machinery around it (the
// error queue, the catalog, the transfer batches), and the requests to stop.
class CCtlSession final
{
public:
    // What the generator sent is quoted in messages up to this many characters.
    static constexpr qsizetype QUOTED_REPLY_MAX = 200;

    CCtlSession(CConsoleHost& host, const CCtlArgs& args, CCtlReport& report);
    ~CCtlSession();
    CCtlSession(const CCtlSession&) = delete;
    CCtlSession& operator=(const CCtlSession&) = delete;

    CConsoleHost& Host() const { return m_host; }
    const CCtlArgs& Args() const { return m_args; }
    CCtlReport& Report() const { return m_report; }
    // The environment read for VQ8_HOST and VQ8_PORT (the process's by default).
    const QProcessEnvironment& Environment() const { return m_environment; }
    void SetEnvironment(const QProcessEnvironment& environment) { m_environment = environment; }

    // The generator's link, for a command that runs on one (connected).
    CVQComm& Link() const { return *m_pLink; }
    bool HasLink() const { return m_pLink != nullptr; }
    void SetLink(CVQComm* link) { m_pLink = link; }

    CCtlErrorQueue& Queue() const { return *m_pQueue; }
    CCtlCatalog& Catalog() const { return *m_pCatalog; }
    CCtlTransfers& Transfers() const { return *m_pTransfers; }

    // A failure in the link's words (a stop message); CTL_FAILED.
    int Refuse(const QString& text) const;
    // A failure of a kind the report names (CCtlReport::SetFailure), said as
    // Refuse says it; CTL_FAILED.
    int Fail(const QString& kind, const QString& text, const QJsonObject& figures) const;

    // Asks the generator who it is (*idn?) and puts the answer in the
    // report's "generator"; false after a message.
    bool Identify();
    const CGeneratorIdentity& Generator() const { return m_generator; }
    // The record of what this PC confirmed on the generator (read at the
    // first call; a damaged one is said and starts empty); null under
    // --no-record or before Identify.
    CSyncRecord* Record();
    // Writes the record's changes; a failure is said and costs only speed.
    void SaveRecord();
    // A failure that quotes what the generator sent: `text : "reply"`, a long
    // reply cut (a broken catalog can be megabytes); CTL_FAILED.
    int RefuseQuoting(const QString& text, const QString& reply) const;
    // `path` in quotes, as messages show it.
    static QString Quoted(const QString& path);
    // A PC path as messages show it: with the system's separators.
    static QString ShownPcPath(const QString& path);
    // `text : "path"` for a PC path.
    static QString PcPathMessage(const QString& text, const QString& path);

    // A request to stop has come (Ctrl+C, SIGTERM, ...).
    bool Interrupted() const { return m_interrupts > 0; }
    // Every wait is being cut.
    bool Aborting() const { return m_aborting; }
    // A batch is under way: the first Ctrl+C is the engine's Cancel.
    void SetTransferring(bool transferring) { m_transferring = transferring; }

    // From the watcher's thread. With a link, during a transfer the first
    // Ctrl+C cancels it through the engine (the batch ends after the file
    // under way, the report follows); any other request cuts every wait at
    // once. True: call again after a tick (waits that begin later are cut too).
    bool OnRequest(CConsole::Request request);
    // Runs what needs no link and stops by itself: `stop` gets each request,
    // from any thread, also one that came before.
    int RunApart(const std::function<int()>& run, const std::function<void(CConsole::Request)>& stop);

private:
    CConsoleHost& m_host;
    const CCtlArgs& m_args;
    CCtlReport& m_report;
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
    CVQComm* m_pLink = nullptr;
    std::unique_ptr<CCtlErrorQueue> m_pQueue;
    std::unique_ptr<CCtlCatalog> m_pCatalog;
    std::unique_ptr<CCtlTransfers> m_pTransfers;
    CGeneratorIdentity m_generator;
    bool m_bIdentified = false;
    std::unique_ptr<CSyncRecord> m_pRecord;
    std::mutex m_apartMutex;
    std::function<void(CConsole::Request)> m_apartStop;
    CConsole::Request m_firstRequest = CConsole::Request::None;
    std::atomic<bool> m_transferring{false};
    std::atomic<bool> m_aborting{false};
    std::atomic<int> m_interrupts{0};
};
