#pragma once

#include "sync/generatoridentity.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

// What this PC last sent to or read from one generator, per generator path:
// the size and SHA-256 of the bytes it confirmed there. A sync trusts an
// entry only while the generator lists the file with the entry's size, and
// never needs one: a missing or damaged record costs a read back (or a
// "size only"), never a wrong "same".
//
// One readable JSON file per generator in the user's application data
// folder. Entries change in memory; Save merges them into the file under a
// lock, so runs on one generator at once lose nothing of each other's.
class CSyncRecord final
{
public:
    struct CEntry
    {
        qint64 m_nSize = 0;
        QByteArray m_sha256; // empty when unconfirmed
        // A send of m_nSize bytes there began and was never confirmed.
        bool m_bUnconfirmed = false;
    };

    // The record of `generator` kept in `folder` (DefaultFolder() when empty).
    explicit CSyncRecord(const CGeneratorIdentity& generator, const QString& folder = QString());

    // Where the records are: VQ8_RECORD_DIR when set, else "Veltrane/VQ8 Comm/records"
    // in the user's application data folder (both programs share it).
    static QString DefaultFolder();
    QString FilePath() const { return m_strFile; }

    // Reads the file. False when it exists and cannot be read or is not a
    // record (`problem` says why): the record then starts empty and the next
    // Save replaces the file. A missing file is an empty record.
    bool Load(QString* problem = nullptr);

    // The entry of a generator path (letter case ignored), if any.
    std::optional<CEntry> Find(const QString& devicePath) const;
    // The file at `devicePath` is confirmed to hold these bytes.
    void Set(const QString& devicePath, qint64 size, const QByteArray& sha256);
    // A send of `size` bytes to `devicePath` begins: until Set, the
    // generator holds either those bytes or what it held before.
    void SetUnconfirmed(const QString& devicePath, qint64 size);
    // The file may change or has gone: its entry goes. True when there was one.
    bool Forget(const QString& devicePath);
    // A folder changed whole: every entry in or below it goes. True when there were any.
    bool ForgetBelow(const QString& deviceFolder);
    bool IsEmpty() const { return m_entries.isEmpty(); }
    qsizetype Count() const { return m_entries.size(); }

    // Writes the changes since Load into the file as it is now. False with
    // the reason when the file cannot be written (the record stays in memory).
    bool Save(QString* problem = nullptr);

private:
    struct CChange
    {
        QString m_strKey;
        bool m_bBelow = false; // ForgetBelow
        std::optional<CEntry> m_entry;
    };
    static QString Key(const QString& devicePath);
    void Apply(QHash<QString, CEntry>& entries, const CChange& change) const;
    // The entries of the file's text; false when it is no record.
    static bool Parse(const QByteArray& text, QHash<QString, CEntry>& entries, QString* problem);
    QByteArray Text(const QHash<QString, CEntry>& entries) const;

    CGeneratorIdentity m_generator;
    QString m_strFile;
    QHash<QString, CEntry> m_entries; // by upper-case generator path
    QList<CChange> m_changes;         // since Load or the last Save
};
