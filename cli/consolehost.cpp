#include "cli/consolehost.h"

#include "cli/consoleprogress.h"
#include "cli/terminalwidth.h"
#include "console/console.h"
#include "link/fileinfo.h"
#include "link/printable.h"

#include <QFileDevice>
#include <QIODevice>
#include <QMutexLocker>

using namespace Qt::StringLiterals;

namespace {

void Write(QIODevice* device, const QByteArray& bytes)
{
    if (!device)
        return;
    device->write(bytes);
    // Unbuffered devices need nothing; a QFile on a standard stream does.
    if (auto* file = qobject_cast<QFileDevice*>(device))
        file->flush();
}

// Text is UTF-8 wherever it goes (a console shows its characters).
void Write(QIODevice* device, const QString& text)
{
    Write(device, text.toUtf8());
}

// Text for people: every control character but the line ends escaped.
QString Shown(const QString& text)
{
    if (!text.contains(u'\n'))
        return PrintableText(text);
    QStringList lines = text.split(u'\n');
    for (QString& line : lines)
        line = PrintableText(line);
    return lines.join(u'\n');
}

// The captions of the desktop program's confirmation dialogs.
QString KindCaption(FileKind kind)
{
    switch (kind) {
    case KIND_DOWNLOAD:
        return u"Download File"_s;
    case KIND_LOGO:
        return u"Logo File"_s;
    case KIND_SEQUENCE:
        return u"Sequence file"_s;
    case KIND_PICTURE:
        return u"Picture File"_s;
    case KIND_SIGNAL:
        return u"Signal File"_s;
    case KIND_OTHER:
    case KIND_PRESET:
        break;
    }
    return u"Preset file"_s;
}

} // namespace

CConsoleHost::CConsoleHost(QIODevice* out, QIODevice* err, QIODevice* in)
    : m_pOut(out), m_pErr(err), m_pIn(in)
{
}

CConsoleHost::~CConsoleHost() = default;

void CConsoleHost::WatchErrorWidth()
{
    m_pWidth = std::make_unique<CTerminalWidth>(CConsole::Stream::Err);
}

ProgressMode CConsoleHost::Progress() const
{
    if (m_quiet)
        return ProgressMode::Off;
    if (m_errorIsTerminal)
        return ProgressMode::Redraw;
    return m_forceProgress ? ProgressMode::Steps : ProgressMode::Off;
}

int CConsoleHost::ShowMessageBox(const QString& text, int style, const QString& caption)
{
    Q_UNUSED(caption);
    if ((style & MB_BUTTONMASK) == MB_OKCANCEL)
        return Ask(text);
    QMutexLocker lock(&m_mutex);
    if ((style & MB_ICONMASK) == MB_ICONSTOP) {
        ++m_errorCount;
        m_messages.append(Shown(text));
    }
    // After Ctrl+C the link reports the waits it had cut: no news.
    if (!m_interrupted)
        WriteMessage(PREFIX + Shown(text) + u'\n');
    return IDOK;
}

QString CConsoleHost::ReadAnswer()
{
    if (m_consoleInput)
        return CConsole::ReadLine(m_interrupted);
    return QString::fromUtf8(m_pIn->readLine());
}

int CConsoleHost::Ask(const QString& text)
{
    QMutexLocker lock(&m_mutex);
    int answer = IDCANCEL;
    const QString shown = PREFIX + Shown(text);
    if (m_interrupted) {
        ++m_refusalCount;
        return IDCANCEL;
    }
    switch (m_policy) {
    case AnswerPolicy::Yes:
        if (!m_quiet)
            WriteErr(shown + u" [OK: --yes]\n"_s);
        answer = IDOK;
        break;
    case AnswerPolicy::No:
        WriteErr(shown + u" [Cancel: --no]\n"_s);
        break;
    case AnswerPolicy::Ask:
        if (!m_inputIsTerminal || (!m_pIn && !m_consoleInput)) {
            WriteErr(shown + u" [Cancel: no terminal to ask, use --yes or --no]\n"_s);
            break;
        }
        WriteErr(shown + u" [y/N] "_s);
        const QString typed = ReadAnswer().trimmed().toLower();
        answer = typed == u"y" || typed == u"yes" ? IDOK : IDCANCEL;
        break;
    }
    if (answer != IDOK)
        ++m_refusalCount;
    return answer;
}

int CConsoleHost::ConfirmKind(FileKind kind, const QString& pcPath, int count)
{
    QString text = KindCaption(kind) + u" : \""_s + pcPath + u'"';
    if (count > 1)
        text += u" and %1 more of this kind"_s.arg(count - 1);
    const int answer = Ask(text);
    QMutexLocker lock(&m_mutex);
    m_kindAnswers.insert(int(kind), answer);
    return answer;
}

int CConsoleHost::ConfirmDownload(FileKind kind, const QString& pcPath)
{
    {
        QMutexLocker lock(&m_mutex);
        const auto known = m_kindAnswers.constFind(int(kind));
        if (known != m_kindAnswers.cend())
            return known.value();
    }
    return Ask(KindCaption(kind) + u" : \""_s + pcPath + u'"');
}

CProgressSink* CConsoleHost::CreateProgressSink()
{
    // Deletes itself when the batch has ended.
    return new CConsoleProgress(*this);
}

void CConsoleHost::SetStatusTexts(const QString& objects, const QString& memory)
{
    QMutexLocker lock(&m_mutex);
    m_objects = objects;
    m_memory = memory;
}

bool CConsoleHost::Out(const QString& line)
{
    QMutexLocker lock(&m_mutex);
    EndProgressLocked();
    return WriteOutLocked(((m_outputIsTerminal ? Shown(line) : line) + u'\n').toUtf8());
}

bool CConsoleHost::OutText(const QByteArray& text)
{
    QMutexLocker lock(&m_mutex);
    EndProgressLocked();
    return WriteOutLocked(text);
}

bool CConsoleHost::WriteOutLocked(const QByteArray& bytes)
{
    if (!m_pOut || m_outputClosed)
        return false;
    bool written = m_pOut->write(bytes) == bytes.size();
    if (auto* file = qobject_cast<QFileDevice*>(m_pOut))
        written = file->flush() && written;
    if (!written && !m_outputClosed.exchange(true) && m_outputClosedHandler)
        m_outputClosedHandler();
    return written;
}

bool CConsoleHost::OutBytes(const QByteArray& bytes)
{
    QMutexLocker lock(&m_mutex);
    if (!m_pOut)
        return false;
    // A file's content goes as it is, whatever the text around it gets.
    const bool text = m_pOut->isTextModeEnabled();
    m_pOut->setTextModeEnabled(false);
    const bool written = WriteOutLocked(bytes);
    m_pOut->setTextModeEnabled(text);
    return written;
}

void CConsoleHost::Error(const QString& text)
{
    QMutexLocker lock(&m_mutex);
    m_messages.append(Shown(text));
    WriteMessage(PREFIX + Shown(text) + u'\n');
}

void CConsoleHost::Note(const QString& text)
{
    if (m_quiet)
        return;
    QMutexLocker lock(&m_mutex);
    WriteMessage(PREFIX + Shown(text) + u'\n');
}

void CConsoleHost::FlushRepeats()
{
    QMutexLocker lock(&m_mutex);
    FlushRepeatsLocked();
}

void CConsoleHost::Print(const QString& text)
{
    QMutexLocker lock(&m_mutex);
    WriteErr(text);
}

void CConsoleHost::Status(const QString& line)
{
    if (m_quiet)
        return;
    QMutexLocker lock(&m_mutex);
    WriteErr(Shown(line) + u'\n');
}

void CConsoleHost::TraceLine(const QString& line)
{
    QMutexLocker lock(&m_mutex);
    WriteErr(line + u'\n');
}

void CConsoleHost::PlanFiles(int count)
{
    QMutexLocker lock(&m_mutex);
    m_plannedFiles = count;
    m_startedFiles = 0;
    m_firstRecord = 1;
    m_records.clear();
}

int CConsoleHost::PlannedFiles() const
{
    QMutexLocker lock(&m_mutex);
    return m_plannedFiles;
}

void CConsoleHost::ProgressLine(const QString& line)
{
    const ProgressMode mode = Progress();
    if (mode == ProgressMode::Off)
        return;
    QMutexLocker lock(&m_mutex);
    if (mode == ProgressMode::Steps) {
        Write(m_pErr, line + u'\n');
        return;
    }
    // Clear to the end of the line: the new text may be shorter.
    Write(m_pErr, u'\r' + line + u"\x1b[K"_s);
    m_progressShown = true;
}

void CConsoleHost::EndProgress()
{
    QMutexLocker lock(&m_mutex);
    EndProgressLocked();
}

int CConsoleHost::Columns()
{
    QMutexLocker lock(&m_mutex);
    const int columns = m_pWidth ? m_pWidth->Columns() : 0;
    return columns > 0 ? columns : 80;
}

int CConsoleHost::StartRecord(const QString& name, quint64 total)
{
    QMutexLocker lock(&m_mutex);
    if (m_records.isEmpty())
        m_firstRecord = m_startedFiles + 1;
    m_records.append({name, total, 0, false});
    return ++m_startedFiles;
}

void CConsoleHost::UpdateRecord(int number, quint64 done, bool complete)
{
    QMutexLocker lock(&m_mutex);
    const qsizetype index = number - m_firstRecord;
    if (index < 0 || index >= m_records.size())
        return;
    CTransferRecord& record = m_records[index];
    record.done = std::max(record.done, done);
    record.complete = record.complete || complete;
}

QList<CTransferRecord> CConsoleHost::TakeRecords()
{
    QMutexLocker lock(&m_mutex);
    m_firstRecord = m_startedFiles + 1;
    return std::exchange(m_records, {});
}

int CConsoleHost::ErrorCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_errorCount;
}

int CConsoleHost::RefusalCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_refusalCount;
}

QStringList CConsoleHost::Messages() const
{
    QMutexLocker lock(&m_mutex);
    return m_messages;
}

QString CConsoleHost::ObjectsText() const
{
    QMutexLocker lock(&m_mutex);
    return m_objects;
}

QString CConsoleHost::MemoryText() const
{
    QMutexLocker lock(&m_mutex);
    return m_memory;
}

void CConsoleHost::WriteErr(const QString& text)
{
    FlushRepeatsLocked();
    m_lastMessage.clear();
    EndProgressLocked();
    Write(m_pErr, text);
}

void CConsoleHost::WriteMessage(const QString& line)
{
    // The same message once per file of a batch says nothing new: it is counted.
    if (!m_lastMessage.isEmpty() && line == m_lastMessage) {
        ++m_repeats;
        return;
    }
    WriteErr(line);
    m_lastMessage = line;
}

void CConsoleHost::FlushRepeatsLocked()
{
    if (m_repeats == 0)
        return;
    EndProgressLocked();
    Write(m_pErr, PREFIX + u"the message above came %1 more time%2\n"_s.arg(m_repeats).arg(
                               m_repeats == 1 ? QString() : u"s"_s));
    m_repeats = 0;
}

void CConsoleHost::EndProgressLocked()
{
    if (!m_progressShown)
        return;
    m_progressShown = false;
    Write(m_pErr, u"\n"_s);
}
