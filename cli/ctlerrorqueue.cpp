#include "cli/ctlerrorqueue.h"

#include "cli/consolehost.h"
#include "cli/ctlargs.h"
#include "cli/ctlcommand.h"
#include "cli/ctlreport.h"
#include "cli/ctlsession.h"
#include "link/printable.h"
#include "link/vqcomm.h"
#include "sync/syncrecord.h"

using namespace Qt::StringLiterals;

CCtlErrorQueue::CCtlErrorQueue(CCtlSession& session) : m_session(session) {}

bool CCtlErrorQueue::Read(QStringList& errors, QString* last)
{
    CConsoleHost& host = m_session.Host();
    const int errorsBefore = host.ErrorCount();
    QString end;
    switch (m_session.Link().ReadErrorQueue(errors, &end)) {
    case CVQComm::QueueEnd::Clear:
        if (last)
            *last = end;
        return true;
    case CVQComm::QueueEnd::NoReply:
        // A failed receive has been reported; an empty line is no answer either.
        if (host.ErrorCount() == errorsBefore)
            m_session.Refuse(u"No answer from the error queue."_s);
        return false;
    case CVQComm::QueueEnd::Unreadable:
        m_session.RefuseQuoting(u"Unreadable error queue entry"_s, end);
        return false;
    case CVQComm::QueueEnd::TooLong:
        break;
    }
    m_session.Refuse(u"The error queue did not end after %1 entries."_s.arg(MAX_QUEUE_READS));
    return false;
}

void CCtlErrorQueue::ShowRefusal(const QStringList& entries)
{
    QStringList shown;
    for (const QString& entry : entries) {
        shown.append(ShortenedText(entry, CCtlSession::QUOTED_REPLY_MAX));
        m_session.Report().AddGeneratorError(entry);
    }
    const QString text = u"generator refused "_s + m_strSubject + u": "_s + shown.join(u"; "_s);
    m_session.Report().SetFailure(u"refused"_s, text);
    m_session.Host().Error(text);
}

int CCtlErrorQueue::Check()
{
    QStringList errors;
    const bool read = Read(errors);
    if (!errors.isEmpty())
        ShowRefusal(errors);
    return read && errors.isEmpty() ? CTL_OK : CTL_FAILED;
}

bool CCtlErrorQueue::DrainEarlier()
{
    QStringList errors;
    if (!Read(errors))
        return false;
    for (const QString& error : errors) {
        m_session.Host().Note(u"earlier generator error (before this command): "_s + error);
        m_session.Report().AddEarlierError(error);
    }
    return true;
}

int CCtlErrorQueue::Change(const QString& action, const QString& path, const QString& target,
                           const std::function<int()>& run)
{
    m_strSubject = m_session.Args().Command() + u' ' + CCtlSession::Quoted(path) +
                   (target.isEmpty() ? QString() : u' ' + CCtlSession::Quoted(target));
    if (m_session.Interrupted())
        return CTL_FAILED;
    // What the record says of the paths changed is no longer known: it goes first.
    if (CSyncRecord* record = m_session.Record()) {
        bool forgot = false;
        for (const QString& changed : {path, target}) {
            if (changed.isEmpty())
                continue;
            // Both are forgotten: what lies below the path and the path itself.
            const bool below = record->ForgetBelow(changed);
            const bool itself = record->Forget(changed);
            forgot = below || itself || forgot;
        }
        if (forgot)
            m_session.SaveRecord();
    }
    CCtlReport& report = m_session.Report();
    if (run()) {
        report.AddOperation(action, path, target, u"done"_s);
        return CTL_OK;
    }
    const QString refusal = m_session.Link().LastRefusal();
    if (!refusal.isEmpty())
        ShowRefusal(refusal.split(u'\n'));
    report.AddOperation(action, path, target, u"failed"_s);
    return CTL_FAILED;
}
