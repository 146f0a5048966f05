#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QLockFile;

// A mount's files on the PC, in a folder of the generator's own below the
// cache folder (one mount of a generator at a time):
//   files/F0/...   whole copies of generator files and files being saved
//   local/F0/...   files that stay on the PC (editors' temporaries and locks)
//   outbox/F0/...  the bytes of a send under way, as they were when it began
//   pending.list   the files of files/ that are not on the generator yet
//   unsent/TIME/   what an earlier mount left unsent, kept for the user
// Copies of an earlier mount are not trusted (no dates prove them current):
// Open drops them, and moves what that mount left unsent to unsent/.
class CMountCache final
{
public:
    CMountCache();
    ~CMountCache();
    CMountCache(const CMountCache&) = delete;
    CMountCache& operator=(const CMountCache&) = delete;

    // The folder of the generator `host`:`port` below `root`; false with the
    // reason when it cannot be made or another mount uses it. `notes`: what
    // was found left from before.
    bool Open(const QString& root, const QString& host, quint16 port, QString* error, QStringList* notes);
    QString Folder() const { return m_strFolder; }

    QString CopyPath(const QString& devicePath) const;
    QString LocalPath(const QString& devicePath) const;
    QString OutboxPath(const QString& devicePath) const;

    // The generator paths and PC files not sent yet, written where a later
    // mount finds them should this one end without its report.
    void SavePending(const QStringList& lines);
    // Moves the unsent bytes of `devicePath` out of the mount's view to
    // unsent/ (a name of their own if that path failed before); the file
    // they are kept in, empty when they could not be moved.
    QString KeepUnsent(const QString& local, const QString& devicePath);
    // The end of a mount that leaves nothing unsent among its copies: they go.
    void DropCopies();

    // The default root: the user's cache folder, "vq8ctl/mount" in it.
    static QString DefaultRoot();

private:
    QString m_strFolder;
    // This mount's folder in unsent/.
    QString m_strUnsent;
    std::unique_ptr<QLockFile> m_pLock;
};
