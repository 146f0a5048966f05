#pragma once

#include "cli/ctlcopyplan.h"
#include "sync/syncplan.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

class CBackupManifest;
class CCtlSession;

// How one sync runs: what the command line asked for, and what the
// commands built on it (verify, backup, restore, a watch's passes) add.
struct CCtlSyncOptions
{
    bool recursive = false;
    bool deleteExtra = false;
    bool dryRun = false;
    bool verify = false;        // read back every file copied
    bool checksum = false;      // read back every generator file the comparison can use
    bool followLinks = false;   // the PC's links as what they name (loops refused)
    bool compareOnly = false;   // list the differences and fail on any (verify)
    bool sendUnproven = false;  // a "size only" file is copied again (backup, restore)
    bool quiet = false;         // a watch's pass: no word when nothing is to be done
    bool skipTemporary = false; // editors' files in the making, on neither side (a watch)
    // The sending side is a backup's manifest and the files it lists (restore).
    const CBackupManifest* manifest = nullptr;
    // Upper-case paths below the synced folders that stay as they are on
    // both sides (a watch's files still being written).
    QSet<QString> leaveAlone;
};

// A sync between a PC folder and a generator folder, either way: both
// sides listed whole; what is known of each file's content (the record of
// what this PC confirmed there, a read back under --checksum, the PC's own
// files hashed); the plan compared and checked, its room against the
// generator's free figure; then deletions, copies, --verify and the report.
// sync, verify, backup, restore and sync --watch are made of it.
class CCtlSync final
{
public:
    CCtlSync(CCtlSession& session, const CCtlSyncOptions& options);
    CCtlSync(const CCtlSync&) = delete;
    CCtlSync& operator=(const CCtlSync&) = delete;

    // Makes the generator `folder` (the root too) hold what `pcFolder` holds.
    int ToGenerator(const QString& pcFolder, const QString& folder);
    // Makes `pcFolder` hold what the generator `folder` holds.
    int ToPc(const QString& folder, const QString& pcFolder);

    // The last run changed something or would have (a watch says nothing otherwise).
    bool HadWork() const { return m_bHadWork; }

    // True for a path below the synced folders that a sync leaves out on both
    // sides: a backup's manifest at the top, and with `skipTemporary` any
    // file an editor is still making.
    static bool IsLeftOut(const QString& relative, bool skipTemporary);

private:
    // The sending side from a backup's manifest, each file checked against it.
    bool ManifestEntries(QList<CSyncEntry>& entries, QStringList& problems);
    void LeaveOut(QList<CSyncEntry>& entries) const;
    // What is known of the contents: the record, a read back, the PC's hashes.
    bool Know(QList<CSyncEntry>& sending, QList<CSyncEntry>& receiving, const CSyncPlan::COptions& plan,
              const QHash<QString, CFileInfo>& files);
    QList<CSyncStep> Plan(QList<CSyncEntry> sending, QList<CSyncEntry> receiving,
                          const CSyncPlan::COptions& plan) const;
    // False after a message for each clash or name the receiving side would not take.
    bool CheckSteps(const QList<CSyncStep>& steps) const;
    // What is left out and what is not proven, in notes.
    void NoteFound(const QList<CSyncStep>& steps, const QStringList& skippedLinks) const;
    // CTL_OK when the generator has room for the plan.
    int CheckRoom(const QList<CSyncStep>& steps, bool folderExists);
    // CTL_OK when the deletions among the steps (if any) may go ahead.
    int ConfirmDeletions(const QList<CSyncStep>& steps) const;
    // Nothing is done: the files in the report as not copied, the deletions as cancelled.
    int Cancelled(const QList<CSyncStep>& steps, CCopyPlan& plan) const;
    int PrintPlan(const QList<CSyncStep>& steps, CCopyPlan& plan);
    // verify: a line per difference; CTL_FAILED when there is any.
    int Differences(const QList<CSyncStep>& steps);
    CCopyPlan CopyPlan(const QList<CSyncStep>& steps, const QHash<QString, CFileInfo>& files) const;
    int DeleteOnGenerator(const QList<CSyncStep>& steps);
    int DeleteOnPc(const QList<CSyncStep>& steps);
    // After the copies: the lines of what was done, --verify, the report.
    int End(const QList<CSyncStep>& steps, CCopyPlan& plan, int status);
    // The files in place as unchanged entries of the report.
    void AddUnchanged(const QList<CSyncStep>& steps, CCopyPlan& plan) const;

    // The sides of this run, in the report too.
    void Begin(bool toGenerator, const QString& pcFolder, const QString& folder);
    QString Sending(const QString& relative) const;
    QString Receiving(const QString& relative) const;
    // A path of the receiving side made of names that side listed itself (a deletion).
    QString Listed(const QString& relative) const;
    QString ShownSending() const;
    QString ShownReceiving() const;

    CCtlSession& m_session;
    CCtlSyncOptions m_options;
    bool m_bToGenerator = true;
    QString m_strPcFolder;
    QString m_strFolder;
    // The PC files hashed, as they were then (path below the PC folder).
    struct CHashed
    {
        QByteArray sha256;
        qint64 size = -1;
        qint64 modified = 0;
    };
    QHash<QString, CHashed> m_hashed;
    int m_nDeleted = 0;
    bool m_bHadWork = false;
};
