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

void CCtlReport::SetStreamed(const QString& key, qsizetype count, std::function<QJsonValue(qsizetype)> item)
{
    m_streamedKey = key;
    m_nStreamed = count;
    m_streamedItem = std::move(item);
}

QString CCtlReport::Document(int status, const QStringList& messages) const
{
    QByteArray text;
    Write(status, messages, [&text](const QByteArray& piece) {
        text += piece;
        return true;
    });
    return QString::fromUtf8(text);
}

bool CCtlReport::Write(int status, const QStringList& messages,
                       const std::function<bool(const QByteArray&)>& sink) const
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
    // The streamed array stands in as a string no name holds, and is written
    // where that string is, a piece at a time, as the writer indents it.
    const QString marker = u"\u0001streamed\u0001"_s;
    if (m_streamedItem)
        document.insert(m_streamedKey, marker);
    const QByteArray text = SafeJson(QJsonDocument(document).toJson(QJsonDocument::Indented)).trimmed();
    const QByteArray quotedMarker =
        SafeJson(QJsonDocument(QJsonObject{{m_streamedKey, marker}}).toJson(QJsonDocument::Compact))
            .sliced(1)
            .chopped(1)
            .replace(":", ": ");
    const qsizetype at = m_streamedItem ? text.indexOf(quotedMarker) : -1;
    if (at < 0)
        return sink(text);
    const QByteArray opening = quotedMarker.first(quotedMarker.indexOf(": ") + 2);
    if (!sink(text.first(at) + opening + "[\n"))
        return false;
    constexpr qsizetype kPiece = 1024;
    for (qsizetype from = 0; from < m_nStreamed; from += kPiece) {
        QJsonArray items;
        for (qsizetype i = from; i < std::min(m_nStreamed, from + kPiece); ++i)
            items.append(m_streamedItem(i));
        // "[\n    {...},\n    {...}\n]\n": the items one level deeper.
        QByteArray part = SafeJson(QJsonDocument(items).toJson(QJsonDocument::Indented));
        part = part.sliced(2, part.size() - 5);
        part.replace("\n", "\n    ");
        if (!sink((from > 0 ? ",\n    "_ba : "    "_ba) + part))
            return false;
    }
    return sink((m_nStreamed > 0 ? "\n    ]"_ba : "    ]"_ba) + text.sliced(at + quotedMarker.size()));
}

QByteArray CCtlReport::SafeJson(const QByteArray& text)
{
    // The writer leaves DEL, the C1 controls and the line separators as they
    // are (in UTF-8); as escapes they cannot steer a terminal and read back the same.
    QByteArray safe;
    safe.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto byte = uchar(text.at(i));
        const auto next = i + 1 < text.size() ? uchar(text.at(i + 1)) : 0;
        const auto third = i + 2 < text.size() ? uchar(text.at(i + 2)) : 0;
        if (byte == 0x7F) {
            safe += "\\u007f";
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            safe += "\\u00" + QByteArray::number(next, 16);
            ++i;
        } else if (byte == 0xE2 && next == 0x80 && (third == 0xA8 || third == 0xA9)) {
            safe += "\\u20" + QByteArray::number(third - 0x80, 16);
            i += 2;
        } else {
            safe += char(byte);
        }
    }
    return safe;
}
