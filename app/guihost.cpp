#include "guihost.h"

#include "mainframe.h"
#include "uilistview.h"

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
    QMetaObject::invokeMethod(
        this,
        [this, question, text, style, caption] {
            {
                std::lock_guard lock(m_questionLock);
                if (question->m_bAnswered)
                    return;
            }
            const int answer = ExecMessageBox(text, style, caption);
            Answer(*question, answer);
        },
        Qt::QueuedConnection);
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
        QMetaObject::invokeMethod(
            this, [] { QApplication::beep(); }, Qt::QueuedConnection);
}

void CGuiHost::BeginWaitCursor()
{
    if (!OnGuiThread()) {
        QMetaObject::invokeMethod(
            this, [this] { BeginWaitCursor(); }, Qt::QueuedConnection);
        return;
    }
    ++m_nWaitDepth;
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void CGuiHost::EndWaitCursor()
{
    if (!OnGuiThread()) {
        QMetaObject::invokeMethod(
            this, [this] { EndWaitCursor(); }, Qt::QueuedConnection);
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
        QMetaObject::invokeMethod(
            this, [this, objects, memory] { SetStatusTexts(objects, memory); }, Qt::QueuedConnection);
        return;
    }
    if (m_pFrame)
        m_pFrame->SetStatusTexts(objects, memory);
}

void CGuiHost::ClearViews()
{
    if (!OnGuiThread()) {
        QMetaObject::invokeMethod(
            this, [this] { ClearViews(); }, Qt::QueuedConnection);
        return;
    }
    if (m_pFrame)
        m_pFrame->ClearViews();
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
