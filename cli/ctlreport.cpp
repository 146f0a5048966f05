#include "cli/ctlreport.h"

#include "cli/ctlcommand.h"
#include "link/vqcomm.h"
#include "sync/filehash.h"

#include <QJsonDocument>

using namespace Qt::StringLiterals;

void CCtlReport::AddFile(const QString& source, const QString& target, qint64 bytes, qint64 transferred,
                         const QString& outcome, const CCtlFileFacts& facts)
{
    m_hasFiles = true;
    QJsonObject file{
        {u"source"_s, source},
        {u"target"_s, target},
        {u"bytes"_s, bytes},
        {u"transferred"_s, transferred},
        {u"outcome"_s, outcome},
        {u"sha256"_s, facts.sha256.isEmpty() ? QJsonValue() : QJsonValue(CFileHash::Hex(facts.sha256))},
        {u"verified"_s, facts.verified}};
    if (!facts.judged.isEmpty())
        file.insert(u"judged"_s, facts.judged);
    m_files.append(file);
}

void CCtlReport::SetFailure(const QString& kind, const QString& message, const QJsonObject& figures)
{
    if (!m_failure.isEmpty())
        return;
    m_failure = figures;
    m_failure.insert(u"kind"_s, kind);
    m_failure.insert(u"message"_s, message);
}

void CCtlReport::AddFailureFigure(const QString& key, const QJsonValue& value)
{
    if (!m_failure.isEmpty())
        m_failure.insert(key, value);
}

QString CCtlReport::KindOfStatus(int status)
{
    switch (status) {
    case CTL_USAGE:
        return u"usage"_s;
    case CTL_INTERRUPTED:
        return u"interrupted"_s;
    default:
        break;
    }
    return u"failed"_s;
}

void CCtlReport::AddFolder(const QString& path, const QString& outcome)
{
    m_hasFiles = true;
    m_folders.append(QJsonObject{{u"path"_s, path}, {u"outcome"_s, outcome}});
}

void CCtlReport::AddOperation(const QString& action, const QString& path, const QString& target,
                              const QString& outcome)
{
    m_hasOperations = true;
    QJsonObject operation{{u"action"_s, action}, {u"path"_s, path}, {u"outcome"_s, outcome}};
    operation.insert(u"target"_s, target.isEmpty() ? QJsonValue() : QJsonValue(target));
    m_operations.append(operation);
}

QJsonObject CCtlReport::MemoryObject(double used, double freeBytes)
{
    return QJsonObject{{u"used"_s, used}, {u"free"_s, freeBytes}, {u"total"_s, used + freeBytes}};
}

QJsonObject CCtlReport::QueueEntry(const QString& entry)
{
    return QJsonObject{{u"code"_s, CVQComm::QueueCode(entry)}, {u"text"_s, CVQComm::QueueText(entry)}};
}

void CCtlReport::AddGeneratorError(const QString& entry)
{
    m_generatorErrors.append(QueueEntry(entry));
}

void CCtlReport::AddEarlierError(const QString& entry)
{
    m_earlierErrors.append(QueueEntry(entry));
}

QString CCtlReport::Document(int status, const QStringList& messages) const
{
    QJsonObject document = m_fields;
    document.insert(u"command"_s, m_command);
    document.insert(u"ok"_s, status == 0);
    document.insert(u"status"_s, status);
    document.insert(u"earlierErrors"_s, m_earlierErrors);
    if (m_hasFiles) {
        document.insert(u"files"_s, m_files);
        document.insert(u"folders"_s, m_folders);
    }
    if (m_hasOperations)
        document.insert(u"operations"_s, m_operations);
    if (status != 0) {
        // A failure always says why, also when only the generator's queue did.
        const QString message = !messages.isEmpty()            ? messages.constFirst()
                                : !m_generatorErrors.isEmpty() ? u"the generator reported an error"_s
                                                               : u"failed"_s;
        document.insert(u"error"_s, QJsonObject{{u"message"_s, message},
                                                {u"messages"_s, QJsonArray::fromStringList(messages)},
                                                {u"generatorErrors"_s, m_generatorErrors}});
        QJsonObject failure = m_failure;
        // An interruption is what ended the run, whatever failed on the way.
        if (failure.isEmpty() || (status == CTL_INTERRUPTED && failure.value(u"kind"_s) != u"interrupted"_s))
            failure = QJsonObject{{u"kind"_s, KindOfStatus(status)},
                                  {u"message"_s, status == CTL_INTERRUPTED ? u"interrupted"_s : message}};
        document.insert(u"failure"_s, failure);
    }
    // The writer leaves C1 controls as they are; as escapes they cannot
    // steer a terminal and read back the same.
    const QString text = QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented)).trimmed();
    QString safe;
    safe.reserve(text.size());
    for (const QChar c : text) {
        if ((c.unicode() >= 0x7F && c.unicode() <= 0x9F) || c.unicode() == 0x2028 || c.unicode() == 0x2029)
            safe += QString::asprintf("\\u%04x", unsigned(c.unicode()));
        else
            safe += c;
    }
    return safe;
}
