#pragma once

#include "cli/ctlcopyplan.h"

#include <QList>
#include <QString>

class CCtlSession;
struct CTransferRecord;

// Carries copy plans through the engines, a batch per generator folder, and
// reports each file as the other side holds it afterwards.
class CCtlCopier final
{
public:
    explicit CCtlCopier(CCtlSession& session);
    CCtlCopier(const CCtlCopier&) = delete;
    CCtlCopier& operator=(const CCtlCopier&) = delete;

    // One question per kind of file for the whole command (--yes answers it).
    int ConfirmKinds(const QList<CCopyFile>& files);
    // The question when the PC disk of `target` has less than `bytes` free
    // (--yes answers it); CTL_OK to go on.
    int ConfirmPcRoom(const QString& target, qint64 bytes);
    // A dry run's note of that question.
    void NotePcRoom(const QString& target, qint64 bytes);
    // What a dry run would do, one line each.
    void PrintPlan(const CCopyPlan& plan, bool put);
    // Makes the plan's folders and sends its files to the generator;
    // `replace`: a file of the same name is sent again (put --force).
    int Send(CCopyPlan& plan, bool replace);
    // Makes the plan's PC folders and fetches its files; the one file to
    // standard output once it has arrived whole.
    int Fetch(CCopyPlan& plan, bool toStandardOutput);
    // Fetches each file copied once more, every one of them, and compares it
    // with the PC's copy; one that is the same is "verified", one that
    // differs gets the outcome "differs" (the failure kind of the run).
    // CTL_FAILED after a message for each that differs or could not be read.
    int Verify(QList<CCopyFile>& files, bool sent);

    // A generator file to read back: its SHA-256 comes back (empty after a
    // message when it could not be read).
    struct CReadBack
    {
        QString path;
        CFileInfo entry;
        QByteArray sha256;
    };
    // Reads the files back (one batch per folder, through a temporary folder
    // that goes with them); what is read is recorded as the generator's.
    int ReadBack(QList<CReadBack>& files);
    // The SHA-256 of a PC file to send, with the file as it was when read.
    static void HashPcFile(CCopyFile& file);
    // The PC file to send is as it was when hashed (size and time).
    static bool IsAsHashed(const CCopyFile& file);
    // "2 files differ when read back : "/F0:/A" and 1 more"
    static QString DiffersText(const QStringList& paths, const QString& how);
    // The files in the report and, when not all arrived, what each one did;
    // the summary line. `success`: the outcome of a file copied.
    // `notes`: false when a refusal before the first byte has said it all.
    int ReportFiles(const QList<CCopyFile>& files, const QString& success, int status, bool notes = true);

private:
    void ApplyRecords(QList<CCopyFile>& files, const QList<qsizetype>& run,
                      const QList<CTransferRecord>& records);
    // Names the temporary files that copies into the targets' folders left
    // behind when they were ended from outside.
    void NoteLeftovers(const QList<CCopyFile>& files);

    CCtlSession& m_session;
};
