#include "cli/ctlwatch.h"

#include "cli/consolehost.h"
#include "cli/ctlcommand.h"
#include "cli/ctlsession.h"
#include "link/vqcomm.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

using namespace Qt::StringLiterals;

CCtlWatch::CCtlWatch(CCtlSession& session, const CCtlSyncOptions& options)
    : m_session(session), m_options(options)
{
}

bool CCtlWatch::Look(const QString& pcFolder, CWatchSettle::Snapshot& snapshot) const
{
    QList<CSyncEntry> entries;
    QStringList problems;
    CCtlCopyPlanner::ListPcTree(pcFolder, m_options.recursive,
                                m_options.followLinks ? CCtlCopyPlanner::Links::Follow
                                                      : CCtlCopyPlanner::Links::Skip,
                                entries, problems);
    snapshot.clear();
    for (const CSyncEntry& entry : std::as_const(entries)) {
        if (CCtlSync::IsLeftOut(entry.m_strPath, true))
            continue;
        CWatchSettle::CStat stat{entry.m_nSize, 0, entry.m_bFolder};
        if (!entry.m_bFolder)
            stat.m_nModifiedMs =
                QFileInfo(QDir(pcFolder).filePath(entry.m_strPath)).lastModified().toMSecsSinceEpoch();
        snapshot.insert(entry.m_strPath.toUpper(), stat);
    }
    // A folder being made or removed may not read for a moment: looked at again.
    return problems.isEmpty();
}

void CCtlWatch::Wait(int ms) const
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int CCtlWatch::Run(const QString& pcFolder, const QString& folder)
{
    CConsoleHost& host = m_session.Host();
    host.Note(u"watching %1 for changes (Ctrl+C ends)"_s.arg(
        CCtlSession::Quoted(CCtlSession::ShownPcPath(pcFolder))));
    CWatchSettle settle(SETTLE_MS);
    QElapsedTimer clock;
    clock.start();
    CWatchSettle::Snapshot snapshot;
    Look(pcFolder, snapshot);
    settle.Start(snapshot);
    qint64 failedAt = -RETRY_MS;
    int status = CTL_OK;
    while (!m_session.Interrupted()) {
        Wait(POLL_MS);
        const qint64 now = clock.elapsed();
        if (m_session.Interrupted() || !Look(pcFolder, snapshot))
            continue;
        settle.Observe(snapshot, now);
        if (!settle.PassDue(now) || now - failedAt < RETRY_MS)
            continue;
        CCtlSyncOptions pass = m_options;
        pass.quiet = true;
        pass.skipTemporary = true;
        pass.leaveAlone = settle.Unsettled(now);
        // A generator that closed the channel in the meantime is reached again.
        CVQComm& link = m_session.Link();
        if (!link.IsConnected() && !link.Connect()) {
            failedAt = now;
            status = CTL_FAILED;
            continue;
        }
        CCtlSync sync(m_session, pass);
        if (sync.ToGenerator(pcFolder, folder) == CTL_OK) {
            settle.PassDone(now);
        } else {
            failedAt = now;
            status = CTL_FAILED;
        }
    }
    return status;
}
