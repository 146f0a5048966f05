#pragma once

#include <QList>
#include <QString>

// One entry of a side of a sync, by its path below the synced folder
// ("A/B.PIC": names joined with "/", as that side names them).
struct CSyncEntry
{
    QString m_strPath;
    qint64 m_nSize = 0;
    bool m_bFolder = false;
    bool m_bLink = false; // a PC link, taken as itself (never what it names)
};

// One thing a sync does to the receiving side.
struct CSyncStep
{
    enum class Action
    {
        Delete,      // an entry the sending side lacks (a folder with everything in it)
        MakeFolder,  // a folder the receiving side lacks
        SendNew,     // a file the receiving side lacks
        SendChanged, // a file the receiving side holds with another size
        TypeClash,   // a file on one side, a folder on the other
        NameClash,   // a second sending entry whose name differs only in letter case
        CaseClash,   // a receiving entry with another there whose name differs only in letter
                     // case, where the sending side has that name: either could be meant
    };
    Action m_eAction = Action::SendNew;
    QString m_strPath;   // below the receiving folder, as it is or will be named there
    QString m_strSource; // below the sending folder (sends)
    bool m_bFolder = false;
    qint64 m_nSize = 0;    // the sending side's
    qint64 m_nOldSize = 0; // the receiving side's (SendChanged)
    bool m_bLink = false;  // the receiving entry is a PC link (SendChanged, TypeClash)

    bool IsClash() const
    {
        return m_eAction == Action::TypeClash || m_eAction == Action::NameClash ||
               m_eAction == Action::CaseClash;
    }
};

// What makes one folder hold what another holds: the comparison of the two
// sides of a sync, without either of them at hand.
class CSyncPlan final
{
public:
    enum class Direction
    {
        ToGenerator, // sync PCDIR FOLDER
        ToPc,        // sync FOLDER PCDIR
        Unclear,
    };

    // Which of a sync's arguments names the generator: the one written as a
    // generator path from its root ("/F0:/..."), else the other of the one
    // that is an existing PC folder. Unclear when both or neither are.
    static Direction DirectionOf(const QString& first, const QString& second, bool firstIsPcFolder,
                                 bool secondIsPcFolder);

    // The steps that make `receiving` hold what `sending` holds. Names compare
    // as the generator compares them, letter case ignored; a receiving link is
    // never equal to a file (a file sent replaces it). The clashes come
    // first (a sync that has any does nothing), then, with `deleteExtra`, what
    // the receiving side holds and the sending side lacks (nothing inside a
    // folder deleted whole), then the folders to make, parents first, then the
    // files to send, grouped by folder. A receiving entry keeps its own name.
    static QList<CSyncStep> Compare(QList<CSyncEntry> sending, QList<CSyncEntry> receiving, bool deleteExtra);

    // The step in the style of rsync -i: "<f+++++++++ NAME (SIZE bytes)" to
    // the generator, ">f..." to the PC; an empty path is the synced folder itself.
    static QString ItemLine(const CSyncStep& step, bool toGenerator);
};
