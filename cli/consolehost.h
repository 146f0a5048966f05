#pragma once

#include "linkhost.h"

#include <QMutex>
#include <QString>

class QIODevice;

// How questions (OK/Cancel message boxes) are answered.
enum class AnswerPolicy
{
    Ask, // on the terminal when input is one, else refused
    Yes, // --yes: OK
    No,  // --no: Cancel
};

// The command-line tool's host of the device link: message boxes become lines
// on the error stream with the same texts, questions are answered by the
// policy, the status texts are kept for the listing. Callable from the
// transfer worker thread: every write is serialised.
class CConsoleHost : public CLinkHost
{
public:
    CConsoleHost(QIODevice* out, QIODevice* err, QIODevice* in = nullptr);
    ~CConsoleHost() override;
    CConsoleHost(const CConsoleHost&) = delete;
    CConsoleHost& operator=(const CConsoleHost&) = delete;

    void SetAnswerPolicy(AnswerPolicy policy) { m_policy = policy; }
    void SetInputIsTerminal(bool terminal) { m_inputIsTerminal = terminal; }
    void SetErrorIsTerminal(bool terminal) { m_errorIsTerminal = terminal; }
    bool ErrorIsTerminal() const { return m_errorIsTerminal; }
    void SetQuiet(bool quiet) { m_quiet = quiet; }
    bool IsQuiet() const { return m_quiet; }

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

    // A line of output for scripts.
    void Out(const QString& line);
    // A message for people: "vq8ctl: " and the text.
    void Error(const QString& text);
    // Like Error, but left out under --quiet.
    void Note(const QString& text);
    // A line for people without the program prefix (help, usage); left in
    // under --quiet.
    void Print(const QString& text);
    // A line for people without the program prefix (the listing's status
    // texts); left out under --quiet.
    void Status(const QString& line);
    // The progress line: rewritten in place on a terminal, never elsewhere.
    void Progress(const QString& line);
    void EndProgress();

    // Stop-icon messages shown so far: each one is a failure.
    int ErrorCount() const;
    // Questions answered Cancel so far.
    int RefusalCount() const;
    QString ObjectsText() const;
    QString MemoryText() const;

private:
    void WriteErr(const QString& text);
    void EndProgressLocked();
    int Ask(const QString& text);

    mutable QMutex m_mutex;
    QIODevice* m_pOut;
    QIODevice* m_pErr;
    QIODevice* m_pIn;
    AnswerPolicy m_policy = AnswerPolicy::Ask;
    bool m_inputIsTerminal = false;
    bool m_errorIsTerminal = false;
    bool m_quiet = false;
    bool m_progressShown = false;
    int m_errorCount = 0;
    int m_refusalCount = 0;
    QObject* m_pReceiver = nullptr;
    QString m_objects;
    QString m_memory;
};
