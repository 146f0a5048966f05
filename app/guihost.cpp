#include "app/guihost.h"

#include "app/mainframe.h"
#include "app/veskapp.h"
#include "dialogs/dlgcopyprogress.h"
#include "dialogs/dlgfilekind.h"
#include "link/channelwait.h"
#include "views/uilistview.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

using namespace Qt::StringLiterals;

CGuiHost::CGuiHost(QObject* parent) : QObject(parent) {}

CGuiHost::~CGuiHost()
{
    // A wait cursor left over by an early return must not outlive the host.
    while (m_nWaitDepth > 0)
        EndWaitCursor();
}

bool CGuiHost::OnGuiThread() const
{
    return QThread::currentThread() == thread();
}

int CGuiHost::ShowMessageBox(const QString& text, int style, const QString& caption)
{
    if (OnGuiThread())
        return m_bAbandoned ? IDCANCEL : ExecMessageBox(text, style, caption);
    // A transfer worker waits here until the user has answered on the GUI
    // thread, or until the program closes and answers for the user.
    auto question = std::make_shared<CQuestion>();
    {
        std::lock_guard lock(m_questionLock);
        if (m_bAbandoned)
            return IDCANCEL;
        m_questions.push_back(question);
    }
    CChannelWait::Post(this, [this, question, text, style, caption] {
        {
            std::lock_guard lock(m_questionLock);
            if (question->m_bAnswered)
                return;
        }
        const int answer = ExecMessageBox(text, style, caption);
        Answer(*question, answer);
    });
    std::unique_lock lock(m_questionLock);
    m_questionAnswered.wait(lock, [&question] { return question->m_bAnswered; });
    std::erase(m_questions, question);
    return question->m_nAnswer;
}

void CGuiHost::Answer(CQuestion& question, int answer)
{
    std::lock_guard lock(m_questionLock);
    if (question.m_bAnswered)
        return;
    question.m_bAnswered = true;
    question.m_nAnswer = answer;
    m_questionAnswered.notify_all();
}

void CGuiHost::AbandonQuestions()
{
    std::lock_guard lock(m_questionLock);
    m_bAbandoned = true;
    for (const std::shared_ptr<CQuestion>& question : m_questions) {
        question->m_bAnswered = true;
        question->m_nAnswer = IDCANCEL;
    }
    m_questionAnswered.notify_all();
}

int CGuiHost::ExecMessageBox(const QString& text, int style, const QString& caption)
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (style & MB_ICONMASK) {
    case MB_ICONSTOP:
        icon = QMessageBox::Critical;
        break;
    case MB_ICONQUESTION:
        icon = QMessageBox::Question;
        break;
    case MB_ICONWARNING:
        icon = QMessageBox::Warning;
        break;
    case MB_ICONINFORMATION:
        icon = QMessageBox::Information;
        break;
    default:
        break;
    }
    const bool okCancel = (style & MB_BUTTONMASK) == MB_OKCANCEL;
    const QMessageBox::StandardButtons buttons =
        okCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::StandardButtons(QMessageBox::Ok);

    QMessageBox box(icon, caption.isEmpty() ? APP_TITLE : caption, text, buttons, m_pFrame.data());
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(okCancel ? QMessageBox::Cancel : QMessageBox::Ok);

    // A message box asked for under the wait cursor still gets an arrow.
    const bool waiting = QApplication::overrideCursor() != nullptr;
    if (waiting)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int result = box.exec();
    if (waiting)
        QApplication::restoreOverrideCursor();

    return result == QMessageBox::Ok ? IDOK : IDCANCEL;
}

void CGuiHost::Beep()
{
    if (OnGuiThread())
        QApplication::beep();
    else
        CChannelWait::Post(this, [] { QApplication::beep(); });
}

void CGuiHost::BeginWaitCursor()
{
    if (!OnGuiThread()) {
        CChannelWait::Post(this, [this] { BeginWaitCursor(); });
        return;
    }
    ++m_nWaitDepth;
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void CGuiHost::EndWaitCursor()
{
    if (!OnGuiThread()) {
        CChannelWait::Post(this, [this] { EndWaitCursor(); });
        return;
    }
    // An unmatched End must not pop a cursor someone else set.
    if (m_nWaitDepth == 0)
        return;
    --m_nWaitDepth;
    QApplication::restoreOverrideCursor();
}

void CGuiHost::SetStatusTexts(const QString& objects, const QString& memory)
{
    if (!OnGuiThread()) {
        CChannelWait::Post(this, [this, objects, memory] { SetStatusTexts(objects, memory); });
        return;
    }
    if (m_pFrame)
        m_pFrame->SetStatusTexts(objects, memory);
}

void CGuiHost::ClearViews()
{
    if (!OnGuiThread()) {
        CChannelWait::Post(this, [this] { ClearViews(); });
        return;
    }
    if (m_pFrame)
        m_pFrame->ClearViews();
}

void CGuiHost::ChannelWaiting()
{
    // Painting and the system's own messages go on; input waits in the
    // system's queue until the wait is over, and whatever would use the link
    // is held back (CChannelWait).
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
}

void CGuiHost::ConnectionChanged()
{
    if (m_pFrame)
        m_pFrame->UpdateCommandUI();
}

QObject* CGuiHost::TransferReceiver()
{
    // The list passes the messages to its chain and has the commands
    // re-evaluated, as the channel closes and reopens around each file.
    CUiListView* list = m_pFrame ? m_pFrame->ListView() : nullptr;
    return list && list->TransferChain() ? list : nullptr;
}

QString CGuiHost::ListFolder()
{
    CUiListView* list = m_pFrame ? m_pFrame->ListView() : nullptr;
    return list ? list->GetCurrentPath() : QString();
}

int CGuiHost::ListHasItem(const QString& name)
{
    CUiListView* list = m_pFrame ? m_pFrame->ListView() : nullptr;
    return list && list->FindItemByName(name) >= 0 ? 1 : 0;
}

int CGuiHost::ConfirmDownload(FileKind kind, const QString& pcPath)
{
    // Widgets live on the GUI thread only; the link asks from there.
    Q_ASSERT(OnGuiThread());
    if (!OnGuiThread() || m_bAbandoned)
        return IDCANCEL;
    const CVeskApp* app = CVeskApp::Instance();
    const QString editor = app ? app->EditorDefault() : CVeskApp::DefaultEditor();
    const std::unique_ptr<CDlgFileKind> dialog = CDlgFileKind::Create(kind, editor, m_pFrame.data());
    dialog->SetFile(pcPath);
    return dialog->exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

CProgressSink* CGuiHost::CreateProgressSink()
{
    Q_ASSERT(OnGuiThread());
    if (!OnGuiThread() || !m_pFrame)
        return nullptr;
    // Owned by the window; it deletes itself when the batch is over.
    auto* dialog = new CDlgCopyProgress(m_pComm, m_pFrame.data());
    return dialog->Sink();
}
