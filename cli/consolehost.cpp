#include "consolehost.h"

#include "consoleprogress.h"
#include "fileinfo.h"

#include <QFileDevice>
#include <QIODevice>
#include <QMutexLocker>

using namespace Qt::StringLiterals;

namespace {

const QString PREFIX = u"vq8ctl: "_s;

void Write(QIODevice* device, const QString& text)
{
    if (!device)
        return;
    device->write(text.toLocal8Bit());
    // Unbuffered devices need nothing; a QFile on a standard stream does.
    if (auto* file = qobject_cast<QFileDevice*>(device))
        file->flush();
}

} // namespace

CConsoleHost::CConsoleHost(QIODevice* out, QIODevice* err, QIODevice* in)
    : m_pOut(out), m_pErr(err), m_pIn(in)
{
}

CConsoleHost::~CConsoleHost() = default;

int CConsoleHost::ShowMessageBox(const QString& text, int style, const QString& caption)
{
    Q_UNUSED(caption);
    if ((style & MB_BUTTONMASK) == MB_OKCANCEL)
        return Ask(text);
    QMutexLocker lock(&m_mutex);
    if ((style & MB_ICONMASK) == MB_ICONSTOP)
        ++m_errorCount;
    WriteErr(PREFIX + text + u'\n');
    return IDOK;
}

int CConsoleHost::Ask(const QString& text)
{
    QMutexLocker lock(&m_mutex);
    int answer = IDCANCEL;
    switch (m_policy) {
    case AnswerPolicy::Yes:
        if (!m_quiet)
            WriteErr(PREFIX + text + u" [OK: --yes]\n"_s);
        answer = IDOK;
        break;
    case AnswerPolicy::No:
        WriteErr(PREFIX + text + u" [Cancel: --no]\n"_s);
        break;
    case AnswerPolicy::Ask:
        if (!m_inputIsTerminal || !m_pIn) {
            WriteErr(PREFIX + text + u" [Cancel: no terminal to ask, use --yes or --no]\n"_s);
            break;
        }
        WriteErr(PREFIX + text + u" [y/N] "_s);
        const QString typed = QString::fromLocal8Bit(m_pIn->readLine()).trimmed().toLower();
        answer = typed == u"y" || typed == u"yes" ? IDOK : IDCANCEL;
        break;
    }
    if (answer != IDOK)
        ++m_refusalCount;
    return answer;
}

int CConsoleHost::ConfirmDownload(FileKind kind, const QString& pcPath)
{
    // The captions of the desktop program's confirmation dialogs.
    QString caption;
    switch (kind) {
    case KIND_DOWNLOAD:
        caption = u"Download File"_s;
        break;
    case KIND_LOGO:
        caption = u"Logo File"_s;
        break;
    case KIND_SEQUENCE:
        caption = u"Sequence file"_s;
        break;
    case KIND_PICTURE:
        caption = u"Picture File"_s;
        break;
    case KIND_SIGNAL:
        caption = u"Signal File"_s;
        break;
    case KIND_OTHER:
    case KIND_PRESET:
        caption = u"Preset file"_s;
        break;
    }
    return Ask(caption + u" : \""_s + pcPath + u'"');
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

void CConsoleHost::Out(const QString& line)
{
    QMutexLocker lock(&m_mutex);
    EndProgressLocked();
    Write(m_pOut, line + u'\n');
}

void CConsoleHost::Error(const QString& text)
{
    QMutexLocker lock(&m_mutex);
    WriteErr(PREFIX + text + u'\n');
}

void CConsoleHost::Note(const QString& text)
{
    if (m_quiet)
        return;
    Error(text);
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
    WriteErr(line + u'\n');
}

void CConsoleHost::Progress(const QString& line)
{
    if (m_quiet || !m_errorIsTerminal)
        return;
    QMutexLocker lock(&m_mutex);
    // Clear to the end of the line: the new text may be shorter.
    Write(m_pErr, u'\r' + line + u"\x1b[K"_s);
    m_progressShown = true;
}

void CConsoleHost::EndProgress()
{
    QMutexLocker lock(&m_mutex);
    EndProgressLocked();
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
    EndProgressLocked();
    Write(m_pErr, text);
}

void CConsoleHost::EndProgressLocked()
{
    if (!m_progressShown)
        return;
    m_progressShown = false;
    Write(m_pErr, u"\n"_s);
}
