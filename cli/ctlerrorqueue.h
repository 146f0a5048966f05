#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class CCtlSession;

// The generator's error queue as the commands read it: after every change
// and listing what the generator refused is shown with what it was asked
// (the subject), and errors from before the command are shown as such.
class CCtlErrorQueue final
{
public:
    explicit CCtlErrorQueue(CCtlSession& session);
    CCtlErrorQueue(const CCtlErrorQueue&) = delete;
    CCtlErrorQueue& operator=(const CCtlErrorQueue&) = delete;

    // What the generator is asked, for its refusals: `mkdir "/F0:/USER/X"`.
    void SetSubject(const QString& subject) { m_strSubject = subject; }

    // Reads the queue up to its code-0 entry (in `last`); false after a
    // message when it could not be read to the end.
    bool Read(QStringList& errors, QString* last = nullptr);
    // After a change or a listing: shows what the generator refused of the
    // subject; CTL_FAILED when it did.
    int Check();
    // Errors left from before this run are shown as such, not blamed on it.
    bool DrainEarlier();
    void ShowRefusal(const QStringList& entries);
    // Runs one change through the link under its subject (the command, `path`
    // and `target`): CTL_OK, or CTL_FAILED after the generator's refusal in
    // the tool's words. Each is an operation of the report.
    int Change(const QString& action, const QString& path, const QString& target,
               const std::function<int()>& run);

private:
    CCtlSession& m_session;
    QString m_strSubject;
};
