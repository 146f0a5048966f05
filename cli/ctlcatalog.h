#pragma once

#include "link/fileinfo.h"
#include "sync/syncplan.h"

#include <QHash>
#include <QList>
#include <QString>

class CCtlSession;

// One generator folder as a listing gave it.
struct CCtlListing
{
    QString folder;
    QList<CFileInfo> entries;
    qint64 bytes = 0;
    double used = 0.0;
    double freeBytes = 0.0;
    // The entry of that name, letter case ignored; null when there is none.
    const CFileInfo* Find(const QString& name) const;
};

// An entry an argument named, by its path.
struct CCtlMatch
{
    QString path;
    CFileInfo entry;
};

// The generator's folders as the commands see them: listings (checked with
// the error queue, since a refused folder change shows only there), entries
// looked up by path, arguments resolved as paths or patterns, trees.
class CCtlCatalog final
{
public:
    enum class Found
    {
        Yes,
        No,
        Failed, // after a message
    };

    explicit CCtlCatalog(CCtlSession& session);
    CCtlCatalog(const CCtlCatalog&) = delete;
    CCtlCatalog& operator=(const CCtlCatalog&) = delete;

    // The catalog of `folder`; false after a message when it could not be
    // read or the generator refused the folder (told as the command on
    // `about`, by default the folder).
    bool Read(const QString& folder, CCtlListing& listing, const QString& about = QString());
    // The same, read once per folder for the command; null after a message.
    const CCtlListing* Cached(const QString& folder);
    Found LookUp(const QString& path, CFileInfo* entry = nullptr);
    // CTL_OK when the entry exists; otherwise the failure, after its message.
    int Require(const QString& path, CFileInfo* entry = nullptr);
    // The entries an argument names: the entry of exactly that name, or,
    // when none has it, a pattern in its last name matched against one
    // listing (never under --literal); `pattern` says which it was. False
    // after a message; with `missingOk` nothing found is no failure.
    bool Resolve(const QString& argument, QList<CCtlMatch>& matches, bool missingOk, bool* pattern = nullptr);
    // The entries below a generator folder (with `recursive` its
    // sub-folders' too), and the files' catalog entries, by path below it.
    // False after a message.
    bool ListTree(const QString& folder, bool recursive, QList<CSyncEntry>& entries,
                  QHash<QString, CFileInfo>& files);
    // Where the existing `source` lands when moved or copied to `target`:
    // into an existing folder under its own name, else `target` itself, which
    // must be free and a name the generator takes. CTL_OK with `target` made
    // the landing path, else the failure after its message.
    int Landing(const QString& source, QString& target);

private:
    // Whether `folder` is an existing folder, each of its names taken as it stands.
    Found ExactFolder(const QString& folder);

    CCtlSession& m_session;
    QHash<QString, CCtlListing> m_listings;
};
