#pragma once

#include "cli/ctlcatalog.h"
#include "link/fileinfo.h"
#include "sync/syncplan.h"

#include <QList>
#include <QString>
#include <QStringList>

class CCtlSession;
class QFileInfo;

// One file of a copy either way.
struct CCopyFile
{
    QString source;
    QString target;
    QString folder; // the generator folder of the batch it goes in
    qint64 size = 0;
    bool existed = false; // put: a file of that name was there
    qint64 existingSize = -1;
    CFileInfo entry; // get: the generator's entry
    QString outcome;
    QString reason; // why it was not copied, when the outcome alone does not say
    qint64 transferred = 0;
    bool started = false;
    bool complete = false;
    QByteArray sha256; // the content sent or received, when known
    // The PC file when it was hashed (to the generator): a record of what was
    // sent holds only while the file is still so.
    qint64 hashedSize = -1;
    qint64 hashedModified = 0;
    bool verified = false; // read back from the generator and found equal
    QString judged;        // "unchanged": how ("record", "checksum", "size-only")
    QString placedAs;      // a package: the name the generator gave it
};

// A copy either way, planned and checked whole before the first byte moves.
struct CCopyPlan
{
    QStringList folders; // to make, parents first
    QList<CCopyFile> files;
    QStringList problems;
    int madeFolders = 0; // the first this many of `folders` have been made
};

// Plans the copies of put and get, of single files and of trees: names the
// other side can take, sizes, names already there, room.
class CCtlCopyPlanner final
{
public:
    explicit CCtlCopyPlanner(CCtlSession& session);
    CCtlCopyPlanner(const CCtlCopyPlanner&) = delete;
    CCtlCopyPlanner& operator=(const CCtlCopyPlanner&) = delete;

    // PC files (with `recursive` also folders) into the generator `folder`.
    // False after a message for each problem.
    bool PlanPut(const QStringList& sources, const QString& folder, bool recursive, CCopyPlan& plan);
    // Generator entries to the PC `target`: into it when `intoFolder`, else as
    // it. False after a message for each problem.
    bool PlanGet(const QList<CCtlMatch>& sources, const QString& target, bool intoFolder, CCopyPlan& plan);

    // What to say when the PC disk that `target` goes to (or would go to) has
    // less than `bytes` free (as a question, or as a statement); empty when it
    // has room.
    static QString PcRoomProblem(const QString& target, qint64 bytes, bool question);
    // The PC path of a generator entry `name` (at `devicePath`) inside
    // `pcFolder`; empty after a problem when the PC cannot take the name or
    // the path would lie anywhere but directly inside the folder.
    static QString PcTarget(const QString& pcFolder, const QString& name, const QString& devicePath,
                            QStringList& problems);
    // `relative` ("A/B.TXT") below `pcFolder`, joined a name at a time as
    // PcTarget joins; empty when a name is refused.
    static QString PcBelow(const QString& pcFolder, const QString& relative);
    // How a PC tree's links are taken.
    enum class Links
    {
        Itself, // an entry of its own that is never followed (the receiving side:
                // nothing is written or deleted through a link)
        Skip,   // left out, each named in `skipped` (the sending side by default)
        Follow, // as what it names (the sending side with --links); a folder
                // inside itself is a problem
    };
    // The files (with `recursive` the folders too) below the PC folder `root`;
    // on the sending side (Skip, Follow) each file must open for reading. A
    // folder that cannot be read is a problem, never an empty folder.
    static void ListPcTree(const QString& root, bool recursive, Links links, QList<CSyncEntry>& entries,
                           QStringList& problems, QStringList* skipped = nullptr);

private:
    void PlanPutFolder(const QString& pcFolder, const QString& deviceFolder, bool exists, int depth,
                       QStringList& seen, CCopyPlan& plan);
    void PlanPutFile(const QString& pcPath, const QString& deviceFolder, const CCtlListing* listing,
                     CCopyPlan& plan);
    // Whether a folder (or a file) may be written at `there`: a link is
    // never followed into and a file replaces a link, never what it names.
    // False after a problem.
    static bool CheckPcTarget(const QFileInfo& there, bool folder, QStringList& problems);
    void PlanGetFolder(const QString& deviceFolder, const QString& pcFolder, int depth, CCopyPlan& plan);
    bool ShowProblems(const CCopyPlan& plan) const;

    CCtlSession& m_session;
};
