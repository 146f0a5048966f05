#pragma once

#include "link/linkhost.h"

#include <QElapsedTimer>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class QIODevice;
class CTerminalWidth;

// How questions (OK/Cancel message boxes) are answered.
enum class AnswerPolicy
{
    Ask, // on the terminal when input is one, else refused
    Yes, // --yes: OK
    No,  // --no: Cancel
};

// How a transfer shows its progress on the error stream.
enum class ProgressMode
{
    Off,    // --quiet, or no terminal
    Redraw, // one line rewritten in place, fitted to the terminal
    Steps,  // --progress without a terminal: one line per 10 %
};

// One file as the progress display saw it, for the report after a batch.
struct CTransferRecord
{
    QString name;
    quint64 total = 0;
    quint64 done = 0; // bytes moved (to the generator: acknowledged by it)
    bool complete = false;
};

// The command-line tool's host of the device link: message boxes become lines
// on the error stream with the same texts, questions are answered by the
// policy, the status texts are kept for the listing. Callable from the
// transfer worker thread: every write is serialised. Whatever came from the
// generator is written without control characters (on standard output when
// it is a terminal, on the error stream always).
class CConsoleHost : public CLinkHost
{
public:
    // The start of every message for people.
    static inline const QString PREFIX = QStringLiteral("vq8ctl: ");

    CConsoleHost(QIODevice* out, QIODevice* err, QIODevice* in = nullptr);
    ~CConsoleHost() override;
    CConsoleHost(const CConsoleHost&) = delete;
    CConsoleHost& operator=(const CConsoleHost&) = delete;

    void SetAnswerPolicy(AnswerPolicy policy) { m_policy = policy; }
    void SetInputIsTerminal(bool terminal) { m_inputIsTerminal = terminal; }
    // Questions are read from the terminal itself, with a look at Ctrl+C
    // (otherwise the input device is read).
    void SetConsoleInput(bool console) { m_consoleInput = console; }
    void SetOutputIsTerminal(bool terminal) { m_outputIsTerminal = terminal; }
    void SetErrorIsTerminal(bool terminal) { m_errorIsTerminal = terminal; }
    bool ErrorIsTerminal() const { return m_errorIsTerminal; }
    // The progress line is fitted to the terminal of the error stream, as
    // wide as it is at each line.
    void WatchErrorWidth();
    void SetQuiet(bool quiet) { m_quiet = quiet; }
    bool IsQuiet() const { return m_quiet; }
    // --progress: the progress also when the error stream is no terminal.
    void SetForceProgress(bool force) { m_forceProgress = force; }
    ProgressMode Progress() const;

    int ShowMessageBox(const QString& text, int style, const QString& caption = QString()) override;
    void Beep() override {}
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void SetStatusTexts(const QString& objects, const QString& memory) override;
    void ClearViews() override {}
    int ConfirmDownload(FileKind kind, const QString& pcPath) override;
    CProgressSink* CreateProgressSink() override;
    QObject* TransferReceiver() override { return m_pReceiver; }

    // The transfer chain of the batch being run, null between batches.
    void SetTransferReceiver(QObject* receiver) { m_pReceiver = receiver; }

    // Asks the kind question once for `count` files of a kind (the first at
    // `pcPath`); the engine's questions about that kind then get the same
    // answer without a word. IDOK or IDCANCEL.
    int ConfirmKind(FileKind kind, const QString& pcPath, int count);

    // Standard output closed under the program (its reader gone): `closed`
    // is called once, on the thread that found it, and output is dropped
    // from then on.
    void SetOutputClosedHandler(std::function<void()> closed) { m_outputClosedHandler = std::move(closed); }
    bool OutputClosed() const { return m_outputClosed; }

    // Ctrl+C has stopped the command (any thread): questions are answered
    // Cancel and the link's messages about the waits it cut are left out.
    void SetInterrupted() { m_interrupted = true; }
    bool Interrupted() const { return m_interrupted; }

    // A line of output for scripts; false when standard output is closed.
    bool Out(const QString& line);
    // Bytes for scripts, as they are (a file fetched to standard output).
    bool OutBytes(const QByteArray& bytes);
    // UTF-8 text for scripts as it is, in pieces (a document written as it
    // is made); false when it could not be written.
    bool OutText(const QByteArray& text);
    // A message for people: "vq8ctl: " and the text.
    void Error(const QString& text);
    // Like Error, but left out under --quiet.
    void Note(const QString& text);
    // Says how often the last message came again, when it did: a message
    // that repeats the one before is counted, not written (at the next other
    // line, and at the end of the run).
    void FlushRepeats();
    // A line for people without the program prefix (help, usage); left in
    // under --quiet.
    void Print(const QString& text);
    // A line for people without the program prefix (the listing's status
    // texts); left out under --quiet.
    void Status(const QString& line);
    // A line of the wire trace on the error stream.
    void TraceLine(const QString& line);

    // The progress display of the whole command: `count` files in all.
    void PlanFiles(int count);
    int PlannedFiles() const;
    // The progress line: rewritten in place (Redraw) or one more line (Steps).
    void ProgressLine(const QString& line);
    void EndProgress();
    int Columns();
    // Called by the progress display for each file it starts: its number in
    // the plan (from 1), and where its figures go.
    int StartRecord(const QString& name, quint64 total);
    void UpdateRecord(int number, quint64 done, bool complete);
    // The files started since the last call, and the log emptied.
    QList<CTransferRecord> TakeRecords();

    // Stop-icon messages shown so far: each one is a failure.
    int ErrorCount() const;
    // Questions answered Cancel so far.
    int RefusalCount() const;
    // The failure messages so far (stop messages and Error lines), as shown.
    QStringList Messages() const;
    QString ObjectsText() const;
    QString MemoryText() const;

private:
    // Writes to standard output; false (and the handler told, once) when it is closed.
    bool WriteOutLocked(const QByteArray& bytes);
    void WriteErr(const QString& text);
    // A message for people, counted when it repeats the last one.
    void WriteMessage(const QString& line);
    void FlushRepeatsLocked();
    void EndProgressLocked();
    int Ask(const QString& text);
    // A line typed on the terminal; empty at its end or on Ctrl+C.
    QString ReadAnswer();

    mutable QMutex m_mutex;
    QIODevice* m_pOut;
    QIODevice* m_pErr;
    QIODevice* m_pIn;
    AnswerPolicy m_policy = AnswerPolicy::Ask;
    bool m_inputIsTerminal = false;
    bool m_consoleInput = false;
    bool m_outputIsTerminal = false;
    bool m_errorIsTerminal = false;
    bool m_quiet = false;
    bool m_forceProgress = false;
    bool m_progressShown = false;
    std::atomic<bool> m_interrupted{false};
    std::atomic<bool> m_outputClosed{false};
    std::function<void()> m_outputClosedHandler;
    int m_errorCount = 0;
    int m_refusalCount = 0;
    QStringList m_messages;
    QString m_lastMessage; // the last line written, when it was a message
    int m_repeats = 0;     // how often it came again since
    QMap<int, int> m_kindAnswers;
    QObject* m_pReceiver = nullptr;
    QString m_objects;
    QString m_memory;
    std::unique_ptr<CTerminalWidth> m_pWidth;
    int m_plannedFiles = 0;
    int m_startedFiles = 0;
    int m_firstRecord = 0; // the plan number of m_records.first()
    QList<CTransferRecord> m_records;
};
