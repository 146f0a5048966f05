#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>

// What the report says of a file's content.
struct CCtlFileFacts
{
    QByteArray sha256;     // the content this PC sent, received or judged there; empty: not known
    bool verified = false; // read back from the generator and found equal
    QString judged;        // "unchanged": "record", "checksum" or "size-only"
};

// What one command did, for --json: one document on standard output with a
// fixed set of keys per command. Human texts stay out of it; a key means the
// same in every command.
class CCtlReport
{
public:
    void SetCommand(const QString& command) { m_command = command; }
    // The keys the command's document holds even when nothing went in them:
    // "files" and "folders", and "operations".
    void SetFixedKeys(bool files, bool operations)
    {
        m_hasFiles = m_hasFiles || files;
        m_hasOperations = m_hasOperations || operations;
    }
    void Set(const QString& key, const QJsonValue& value) { m_fields.insert(key, value); }
    // A key whose array of `count` items is made as the document is written,
    // `item` giving each, a piece at a time: a listing of a million entries
    // never becomes a document in memory.
    void SetStreamed(const QString& key, qsizetype count, std::function<QJsonValue(qsizetype)> item);

    // A file copied (or meant to be) either way; `outcome` one of "sent",
    // "received", "skipped", "planned", "cut-short", "not-started", "not-sent"
    // (tried, and not a byte went: the reason is said), "failed",
    // "differs" (read back other bytes), "unchanged" (already in place).
    void AddFile(const QString& source, const QString& target, qint64 bytes, qint64 transferred,
                 const QString& outcome, const CCtlFileFacts& facts = CCtlFileFacts());
    // A folder a tree copy made: "made", "existed" or "planned".
    void AddFolder(const QString& path, const QString& outcome);
    // A change of the generator's file system (or, in a sync towards the PC,
    // of the PC's): "done", "missing", "existed", "failed", "planned".
    void AddOperation(const QString& action, const QString& path, const QString& target,
                      const QString& outcome);
    // Why the run failed, for a machine: `kind` one of "unreachable",
    // "connection-lost", "no-room", "refused", "differs", "interrupted",
    // "pc", "usage", "failed"; `message` the one reason for people; `figures`
    // what the kind measures. The first one set stays (later failures follow
    // from it).
    void SetFailure(const QString& kind, const QString& message, const QJsonObject& figures = QJsonObject());
    bool HasFailure() const { return !m_failure.isEmpty(); }
    // Another key of "failure", when one is set.
    void AddFailureFigure(const QString& key, const QJsonValue& value);

    // An error-queue entry the command met ("code,\"text\"").
    void AddGeneratorError(const QString& entry);
    void AddEarlierError(const QString& entry);

    // The document: the command's keys and "command", "ok", "status",
    // "earlierErrors", and "error" and "failure" when not ok.
    QString Document(int status, const QStringList& messages) const;
    // The same, handed to `sink` in pieces of UTF-8 (without a line end at
    // the end); false as soon as the sink takes one piece not.
    bool Write(int status, const QStringList& messages,
               const std::function<bool(const QByteArray&)>& sink) const;
    // The kind a failure without one gets from its status.
    static QString KindOfStatus(int status);

    // {"used", "free", "total"} of the generator's memory.
    static QJsonObject MemoryObject(double used, double freeBytes);
    // {"code", "text"} of a queue entry.
    static QJsonObject QueueEntry(const QString& entry);

private:
    // `text` with DEL, the C1 controls and U+2028/U+2029 written as escapes.
    static QByteArray SafeJson(const QByteArray& text);

    QString m_command;
    QJsonObject m_fields;
    QJsonArray m_files;
    QJsonArray m_folders;
    QJsonArray m_operations;
    QJsonArray m_generatorErrors;
    QJsonArray m_earlierErrors;
    QJsonObject m_failure;
    QString m_streamedKey;
    qsizetype m_nStreamed = 0;
    std::function<QJsonValue(qsizetype)> m_streamedItem;
    bool m_hasFiles = false;
    bool m_hasOperations = false;
};
