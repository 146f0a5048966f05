#include "dialogs/generatorrun.h"

#include "console/console.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

QString g_program;
std::optional<QProcessEnvironment> g_environment;

// How long a cancelled run has to stop before it is killed.
constexpr int kCancelGraceMs = 5000;
// The exit statuses vq8ctl gives.
constexpr int kStatusOk = 0;
constexpr int kStatusInterrupted = 130;

const QString kMessagePrefix = u"vq8ctl: "_s;

} // namespace

CGeneratorRun::CGeneratorRun(const QString& host, const QStringList& command, QObject* parent)
    : QObject(parent), m_strHost(host), m_command(command)
{
}

CGeneratorRun::~CGeneratorRun()
{
    // A run never outlives its window.
    if (m_pProcess && m_pProcess->state() != QProcess::NotRunning) {
        m_pProcess->disconnect(this);
        m_pProcess->kill();
        m_pProcess->waitForFinished(kCancelGraceMs);
    }
}

QString CGeneratorRun::Program()
{
    if (!g_program.isEmpty())
        return g_program;
    const QString name = u"vq8ctl"_s + (QSysInfo::productType() == u"windows" ? u".exe"_s : QString());
    const QDir here(QCoreApplication::applicationDirPath());
    // Installed beside the window's program; in a build, in the build's cli/.
    for (const QString& candidate : {here.filePath(name), here.filePath(u"../cli/"_s + name)}) {
        if (QFileInfo(candidate).isExecutable())
            return QDir::cleanPath(candidate);
    }
    return name;
}

void CGeneratorRun::SetProgram(const QString& program)
{
    g_program = program;
}

void CGeneratorRun::SetEnvironment(const QProcessEnvironment& environment)
{
    g_environment = environment;
}

bool CGeneratorRun::ParseProgress(const QString& line, int* number, int* planned, int* percent)
{
    // The name may hold anything; the percent is the last "  NN%" field.
    static const QRegularExpression pattern(u"^\\[(\\d+)/(\\d+)\\] .*\\s(\\d{1,3})%(\\s.*)?$"_s);
    const QRegularExpressionMatch match = pattern.match(line);
    if (!match.hasMatch())
        return false;
    const int n = match.captured(1).toInt();
    const int k = match.captured(2).toInt();
    const int p = match.captured(3).toInt();
    if (n < 1 || n > k || p > 100)
        return false;
    *number = n;
    *planned = k;
    *percent = p;
    return true;
}

int CGeneratorRun::Percent() const
{
    if (m_eState == State::Done)
        return 100;
    if (m_nFilesPlanned <= 0)
        return 0;
    return int((qint64(m_nFilesDone) * 100 + (m_nFilesDone < m_nFilesPlanned ? m_nFilePercent : 0)) /
               m_nFilesPlanned);
}

QString CGeneratorRun::Identity() const
{
    const QJsonObject identity = m_document.value(u"generator"_s).toObject();
    QStringList parts;
    for (const QString& key : {u"maker"_s, u"model"_s, u"serial"_s, u"firmware"_s}) {
        const QString value = identity.value(key).toString();
        if (!value.isEmpty())
            parts.append(value);
    }
    return parts.join(u' ');
}

QString CGeneratorRun::StateText() const
{
    switch (m_eState) {
    case State::Waiting:
        return u"Waiting"_s;
    case State::Running:
        return u"Sending"_s;
    case State::Done:
        return u"Done"_s;
    case State::Failed:
        return u"Failed"_s;
    case State::Cancelled:
        return u"Cancelled"_s;
    }
    return QString();
}

void CGeneratorRun::Start()
{
    if (m_eState != State::Waiting)
        return;
    if (m_bCancelled) {
        Finish(State::Cancelled, u"not started (cancelled)"_s);
        return;
    }
    if (!m_reportDir.isValid()) {
        Finish(State::Failed, u"Cannot make a temporary folder"_s);
        return;
    }
    m_pProcess = std::make_unique<QProcess>();
    CConsole::PrepareWorker(*m_pProcess);
    m_pProcess->setProgram(Program());
    // No question is ever asked: the window asked before it started.
    m_pProcess->setArguments(QStringList{u"--host"_s, m_strHost, u"--report"_s,
                                         m_reportDir.filePath(u"report.json"_s), u"--progress"_s, u"--yes"_s}
                             << m_command);
    m_pProcess->setProcessEnvironment(g_environment.value_or(QProcessEnvironment::systemEnvironment()));
    // Its listing on standard output is not needed unless asked for: the report says it all.
    if (!m_bKeepOutput)
        m_pProcess->setStandardOutputFile(QProcess::nullDevice());
    connect(m_pProcess.get(), &QProcess::readyReadStandardError, this, [this] { ReadErrors(false); });
    connect(m_pProcess.get(), &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        OnFinished(code, status == QProcess::CrashExit);
    });
    connect(m_pProcess.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            Finish(State::Failed, u"cannot start %1: %2"_s.arg(QDir::toNativeSeparators(Program()),
                                                               m_pProcess->errorString()));
    });
    m_eState = State::Running;
    m_clock.start();
    m_pProcess->start();
    m_pProcess->closeWriteChannel();
    Q_EMIT Changed();
}

void CGeneratorRun::Cancel()
{
    if (Ended() || m_bCancelled)
        return;
    m_bCancelled = true;
    if (m_eState == State::Waiting) {
        Finish(State::Cancelled, u"not started (cancelled)"_s);
        return;
    }
    CConsole::InterruptWorker(*m_pProcess);
    QTimer::singleShot(kCancelGraceMs, this, [this] {
        if (!Ended() && m_pProcess)
            m_pProcess->kill();
    });
    Q_EMIT Changed();
}

void CGeneratorRun::ReadErrors(bool all)
{
    m_pending += m_pProcess->readAllStandardError();
    qsizetype start = 0;
    for (;;) {
        qsizetype end = m_pending.indexOf('\n', start);
        if (end < 0 && all && start < m_pending.size())
            end = m_pending.size();
        if (end < 0)
            break;
        QString line = QString::fromUtf8(m_pending.sliced(start, end - start));
        start = end + 1;
        if (line.endsWith(u'\r'))
            line.chop(1);
        int number = 0;
        int planned = 0;
        int percent = 0;
        if (ParseProgress(line, &number, &planned, &percent)) {
            m_nFilesPlanned = planned;
            // A file's last bytes written are not a file in place: it counts
            // once the next one begins, or when the report says so.
            m_nFilesDone = number - 1;
            m_nFilePercent = percent;
            Q_EMIT Changed();
        } else if (!line.isEmpty()) {
            m_messages.append(line.startsWith(kMessagePrefix) ? line.sliced(kMessagePrefix.size()) : line);
        }
    }
    m_pending.remove(0, std::min(start, m_pending.size()));
}

void CGeneratorRun::OnFinished(int status, bool crashed)
{
    if (Ended())
        return;
    ReadErrors(true);
    if (m_bKeepOutput) {
        for (const QByteArray& line : m_pProcess->readAllStandardOutput().split('\n')) {
            if (!line.trimmed().isEmpty())
                m_output.append(QString::fromUtf8(line.endsWith('\r') ? line.chopped(1) : line));
        }
    }
    QFile file(m_reportDir.filePath(u"report.json"_s));
    if (file.open(QIODevice::ReadOnly))
        m_document = QJsonDocument::fromJson(file.readAll()).object();
    const QJsonObject summary = m_document.value(u"summary"_s).toObject();
    const QJsonObject inPlace = m_document.value(u"inPlace"_s).toObject();
    if (!inPlace.isEmpty()) {
        m_nInPlace = inPlace.value(u"files"_s).toInt();
        m_nInPlaceOf = inPlace.value(u"of"_s).toInt();
    }
    // The files it copied, in the run's own count (read backs had progress
    // lines too); a run stopped before its report keeps the progress lines' count.
    if (summary.contains(u"files"_s))
        m_nFilesDone = summary.value(u"files"_s).toInt();
    if (status == kStatusOk && !crashed) {
        if (summary.contains(u"files"_s))
            m_nFilesPlanned = m_nFilesDone;
        Finish(State::Done, QString());
        return;
    }
    // One reason: what the run found its failure to be, else its last word.
    QString reason = m_document.value(u"failure"_s).toObject().value(u"message"_s).toString();
    if (reason.isEmpty())
        reason = m_document.value(u"error"_s).toObject().value(u"message"_s).toString();
    if (reason.isEmpty() && !m_messages.isEmpty())
        reason = m_messages.constLast();
    if (reason.isEmpty())
        reason = crashed ? u"ended without a report"_s : u"failed (exit status %1)"_s.arg(status);
    if (m_bCancelled || status == kStatusInterrupted)
        Finish(State::Cancelled, crashed ? u"cancelled (stopped)"_s : reason);
    else
        Finish(State::Failed, reason);
}

void CGeneratorRun::Finish(State state, const QString& reason)
{
    if (Ended())
        return;
    m_eState = state;
    m_strReason = reason;
    if (m_document.isEmpty()) {
        // A run that wrote no report gets a document of the same keys.
        m_document =
            QJsonObject{{u"generator"_s, QJsonObject{{u"host"_s, m_strHost}}},
                        {u"ok"_s, false},
                        {u"failure"_s,
                         QJsonObject{{u"kind"_s, state == State::Cancelled ? u"interrupted"_s : u"failed"_s},
                                     {u"message"_s, reason}}}};
    }
    m_document.insert(u"host"_s, m_strHost);
    m_document.insert(u"seconds"_s, m_clock.isValid() ? double(m_clock.elapsed()) / 1000.0 : 0.0);
    Q_EMIT Changed();
    Q_EMIT Finished();
}
