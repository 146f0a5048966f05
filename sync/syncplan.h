#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// What is known of a file's content beyond its size, from the weakest.
enum class SyncKnown
{
    None,
    Hashed,   // the PC file was read here
    Record,   // the record says what this PC last confirmed on the generator
    ReadBack, // the generator's file was read back (--checksum)
};

// One entry of a side of a sync, by its path below the synced folder
// ("A/B.PIC": names joined with "/", as that side names them).
struct CSyncEntry
{
    QString m_strPath;
    qint64 m_nSize = 0; // -1: never equal to anything (a link where a file would go)
    bool m_bFolder = false;
    bool m_bLink = false;     // a PC link, taken as itself (never what it names)
    QByteArray m_sha256 = {}; // empty: not known
    SyncKnown m_eKnown = SyncKnown::None;
    // The record says this PC began to send this file and never saw it in
    // place: the generator holds it, or what was there before.
    bool m_bUnconfirmed = false;
};

// One thing a sync does to the receiving side, or finds there.
struct CSyncStep
{
    enum class Action
    {
        Delete,      // an entry the sending side lacks (a folder with everything in it)
        MakeFolder,  // a folder the receiving side lacks
        SendNew,     // a file the receiving side lacks
        SendChanged, // a file the receiving side holds with another size or other content
        Same,        // in place: equal by the record or by reading back (m_eJudged)
        SizeOnly,    // the same size, and nothing known of the contents: not sent, not proven
        Skip,        // left out, for m_eSkip's reason
        TypeClash,   // a file on one side, a folder on the other
        NameClash,   // a second sending entry whose name differs only in letter case
        CaseClash,   // a receiving entry with another there whose name differs only in letter
                     // case, where the sending side has that name: either could be meant
        Unplaceable, // cannot go where it would (m_eWhy says why): the sync does nothing
    };
    enum class Why
    {
        None,
        PackageElsewhere, // a package goes to DOWNLOAD under a name of the generator's own
        FirstLevelKept,   // a first-level folder the sending side lacks: never deleted
        RootFile,         // nothing is placed directly in /F0:/
        RootFolder,       // the first-level folders are fixed: none is made
    };
    Action m_eAction = Action::SendNew;
    QString m_strPath;   // below the receiving folder, as it is or will be named there
    QString m_strSource; // below the sending folder (sends, Same, SizeOnly)
    bool m_bFolder = false;
    qint64 m_nSize = 0;                    // the sending side's
    qint64 m_nOldSize = 0;                 // the receiving side's (SendChanged); the bytes a Delete frees
    SyncKnown m_eJudged = SyncKnown::None; // how Same, or a SendChanged of one size, was told
    QByteArray m_sha256 = {};              // the sending side's content, when known
    bool m_bPackage = false;               // sent as a package: the generator names it
    bool m_bLink = false;                  // the receiving entry is a PC link (SendChanged, TypeClash)
    bool m_bUnconfirmed = false;           // SendChanged: the receiving file is an unconfirmed send's
    Why m_eWhy = Why::None;

    bool IsClash() const
    {
        return m_eAction == Action::TypeClash || m_eAction == Action::NameClash ||
               m_eAction == Action::CaseClash || m_eAction == Action::Unplaceable;
    }
    bool IsSend() const { return m_eAction == Action::SendNew || m_eAction == Action::SendChanged; }
    // A file of the same size whose content differs.
    bool IsContentChange() const { return m_eAction == Action::SendChanged && m_nSize == m_nOldSize; }
};

// What makes one folder hold what another holds: the comparison of the two
// sides of a sync, without either of them at hand. Two files of one size are
// the same only when both contents are known (the record, a read back) and
// equal; otherwise they are "size only", never "same".
class CSyncPlan final
{
public:
    enum class Direction
    {
        ToGenerator, // sync PCDIR FOLDER
        ToPc,        // sync FOLDER PCDIR
        Unclear,
    };

    struct COptions
    {
        bool m_bDelete = false;     // what the sending side lacks goes
        bool m_bToGenerator = true; // the receiving side is the generator
        bool m_bRoot = false;       // the receiving folder is the generator's root
        // The generator's package folder (DOWNLOAD) below the synced folder:
        // "" the synced folder itself, null when it is not in the sync.
        // Packages in it compare by content, whatever the generator named them.
        QString m_strPackageFolder;
    };

    // Which of a sync's arguments names the generator: the one written as a
    // generator path from its root ("/F0:/..."), else the other of the one
    // that is an existing PC folder. Unclear when both or neither are.
    static Direction DirectionOf(const QString& first, const QString& second, bool firstIsPcFolder,
                                 bool secondIsPcFolder);

    // Where the package folder lies below a synced generator folder.
    static QString PackageFolderBelow(const QString& deviceFolder);

    // The steps that make `receiving` hold what `sending` holds. Names compare
    // as the generator compares them, letter case ignored; a receiving link is
    // never equal to a file (a file sent replaces it). The clashes come
    // first (a sync that has any does nothing), then, with m_bDelete, what
    // the receiving side holds and the sending side lacks (nothing inside a
    // folder deleted whole), then the folders to make, parents first, then the
    // files to send, grouped by folder, then what is in place or left out. A
    // receiving entry keeps its own name.
    static QList<CSyncStep> Compare(QList<CSyncEntry> sending, QList<CSyncEntry> receiving,
                                    const COptions& options);
    static QList<CSyncStep> Compare(QList<CSyncEntry> sending, QList<CSyncEntry> receiving, bool deleteExtra)
    {
        COptions options;
        options.m_bDelete = deleteExtra;
        return Compare(std::move(sending), std::move(receiving), options);
    }

    // The receiving (to the generator) or sending (to the PC) generator files
    // whose content a comparison can use: those with a file of the same size
    // at the same path on the other side, and in the package folder every
    // package of a size a PC package has. Paths below the synced folder.
    static QStringList ContentWanted(const QList<CSyncEntry>& sending, const QList<CSyncEntry>& receiving,
                                     const COptions& options);

    // The step in the style of rsync -i: "<f+++++++++ NAME (SIZE bytes)" to
    // the generator, ">f..." to the PC; an empty path is the synced folder
    // itself. Empty for what is in place, left out or refused.
    static QString ItemLine(const CSyncStep& step, bool toGenerator);
    // "record", "checksum", "size-only": how an unchanged file was judged.
    static QString JudgedName(SyncKnown known);
};
