#include "dialogs/dlgcopyprogress.h"

#include "dialogs/copyanimation.h"
#include "dialogs/copyprogresssink.h"
#include "dialogs/dlgsupport.h"
#include "link/vqcomm.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

using vqdlg::DluX;
using vqdlg::DluY;

CDlgCopyProgress::CDlgCopyProgress(CVQComm* pComm, QWidget* parent, CTransferProgress::Clock clock,
                                   const QString& clip)
    : QDialog(parent), m_pComm(pComm), m_pSink(new CCopyProgressSink(this, std::move(clock))),
      m_pAnimate(new CCopyAnimation(this)), m_pFileName(new QLabel(this)), m_pDirection(new QLabel(this)),
      m_pProgress(new QProgressBar(this)), m_pRemaining(new QLabel(this)),
      m_pCancel(new QPushButton(u"Cancel"_s, this)), m_strFileName(u"Filename"_s),
      m_strDirection(u"from VQ to PC"_s)
{
    setWindowTitle(u"Copying..."_s);
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);

    m_pProgress->setRange(0, 100);
    m_pProgress->setValue(0);
    m_pProgress->setTextVisible(false);
    m_pProgress->setFixedSize(DluX(this, 188), DluY(this, 10));
    for (QLabel* label : {m_pFileName, m_pDirection, m_pRemaining}) {
        label->setTextFormat(Qt::PlainText);
        label->setMinimumWidth(1);
    }
    const int textWidth = DluX(this, 223);
    m_pFileName->setFixedWidth(textWidth);
    m_pDirection->setFixedWidth(textWidth);
    // Texts that change never resize the window.
    m_pRemaining->setFixedWidth(m_pProgress->width());
    m_pCancel->setMinimumWidth(DluX(this, 37));
    m_pCancel->setAutoDefault(false);
    connect(m_pCancel, &QPushButton::clicked, this, &CDlgCopyProgress::OnCancel);

    auto* bottom = new QHBoxLayout;
    auto* barAndTime = new QVBoxLayout;
    barAndTime->addWidget(m_pProgress);
    barAndTime->addWidget(m_pRemaining);
    bottom->addLayout(barAndTime);
    bottom->addStretch(1);
    bottom->addWidget(m_pCancel, 0, Qt::AlignTop);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(DluX(this, 7), DluY(this, 4), DluX(this, 7), DluY(this, 7));
    layout->addWidget(m_pAnimate);
    layout->addWidget(m_pFileName);
    layout->addWidget(m_pDirection);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    SetLabelText(m_pFileName, m_strFileName);
    SetLabelText(m_pDirection, m_strDirection);

    if (!m_pAnimate->Open(clip) && m_pComm)
        m_pComm->ShowError(CLIP_ERROR);
}

CDlgCopyProgress::~CDlgCopyProgress() = default;

CProgressSink* CDlgCopyProgress::Sink() const
{
    return m_pSink;
}

void CDlgCopyProgress::SetLabelText(QLabel* label, const QString& text)
{
    // A long name is shortened in its middle, the whole of it in the tip.
    const int width = label->maximumWidth() < QWIDGETSIZE_MAX ? label->maximumWidth() : label->width();
    const QString shown = label->fontMetrics().elidedText(text, Qt::ElideMiddle, width);
    label->setText(shown);
    label->setToolTip(shown == text ? QString() : text);
}

void CDlgCopyProgress::Refresh()
{
    if (!m_pSink)
        return;
    const CCopyProgressSink::Snapshot state = m_pSink->Take();
    if (!state.started)
        return;
    if (state.fileName != m_strFileName) {
        m_strFileName = state.fileName;
        SetLabelText(m_pFileName, m_strFileName);
    }
    if (state.caption != m_strDirection) {
        m_strDirection = state.caption;
        SetLabelText(m_pDirection, m_strDirection);
    }
    m_pProgress->setValue(state.position);
    if (m_pRemaining->text() != state.remaining)
        m_pRemaining->setText(state.remaining);
    m_pCancel->setEnabled(state.cancelEnabled != 0);
    // Shown with the first file of the batch.
    if (!isVisible() && !m_bEnded)
        show();
}

void CDlgCopyProgress::OnCancel()
{
    if (!m_pCancel->isEnabled())
        return;
    m_pCancel->setEnabled(false);
    if (m_pSink)
        m_pSink->DisableCancel();
    if (m_pComm)
        m_pComm->CancelTransfer();
}

void CDlgCopyProgress::reject()
{
    OnCancel();
}

void CDlgCopyProgress::closeEvent(QCloseEvent* event)
{
    if (m_bEnded) {
        // Not QDialog's own: that would reject, which is Cancel here.
        event->accept();
        return;
    }
    // The close box cancels; the window goes only when the batch has ended.
    event->ignore();
    OnCancel();
}

void CDlgCopyProgress::EndTransfer()
{
    m_bEnded = true;
    m_pSink = nullptr;
    close();
}
