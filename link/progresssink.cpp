#include "link/progresssink.h"

#include "link/channelwait.h"
#include "link/vqevents.h"

#include <QCoreApplication>

CProgressSink::CProgressSink(QObject* parent) : QObject(parent) {}

CProgressSink::~CProgressSink() = default;

void CProgressSink::StartFile(const QString&, quint64, const QString&, int) {}

void CProgressSink::UpdateProgress(quint64) {}

void CProgressSink::SetComplete() {}

void CProgressSink::TransferEnded(int) {}

bool CProgressSink::event(QEvent* e)
{
    CLinkEvent::Received();
    if (e->type() != static_cast<QEvent::Type>(WM_TRANSFER_END))
        return QObject::event(e);
    const int wParam = static_cast<CLinkEvent*>(e)->WParam();
    if (CChannelWait::Active()) {
        // The end of the batch waits for the end of a wait of the command channel.
        QCoreApplication::postEvent(this, new CLinkEvent(WM_TRANSFER_END, wParam));
        return true;
    }
    if (m_receiver)
        QCoreApplication::postEvent(m_receiver, new CLinkEvent(WM_TRANSFER_END, wParam));
    TransferEnded(wParam);
    deleteLater();
    return true;
}
