#include "dialogs/dlgerrorlist.h"

#include "dialogs/dlgsupport.h"
#include "link/vqcomm.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

using vqdlg::DluX;
using vqdlg::DluY;

CDlgErrorList::CDlgErrorList(CVQComm* pComm, QWidget* parent)
    : QDialog(parent), m_pList(new QListWidget(this))
{
    setWindowTitle(u"VQ Error"_s);

    auto* group = new QGroupBox(u"Error List"_s, this);
    auto* inner = new QVBoxLayout(group);
    inner->setContentsMargins(DluX(this, 10), DluY(this, 8), DluX(this, 10), DluY(this, 10));
    m_pList->setSelectionMode(QAbstractItemView::NoSelection);
    m_pList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_pList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_pList->setMinimumSize(DluX(this, 345), DluY(this, 75));
    inner->addWidget(m_pList);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgErrorList::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addWidget(buttons);

    if (pComm)
        ReadQueue(pComm);
}

void CDlgErrorList::ReadQueue(CVQComm* pComm)
{
    // What the program read of the queue before this opening.
    const QList<CVQComm::CTakenError> earlier = pComm->TakenErrors();
    if (pComm->IsConnected()) {
        // A queue that does not end within one reading is read on, up to a bound.
        QStringList taken;
        int lines = 0;
        CVQComm::QueueEnd end = CVQComm::QueueEnd::TooLong;
        while (end == CVQComm::QueueEnd::TooLong && lines < MAX_LINES) {
            QStringList entries;
            QString last;
            end = pComm->ReadErrorQueue(entries, &last);
            m_pList->addItems(entries);
            taken.append(entries);
            lines += int(entries.size());
            if (end != CVQComm::QueueEnd::TooLong) {
                // The line that ended the reading is shown too, empty or not.
                m_pList->addItem(last);
                ++lines;
            }
        }
        // Gone from the generator now: the next opening shows them as read.
        pComm->KeepErrors(taken, u"shown in this list"_s);
    }
    // The generator forgets what has been read; what the program took of it
    // in this run follows the queue, under a heading, each marked.
    if (earlier.isEmpty())
        return;
    m_pList->addItem(EARLIER_HEADING);
    for (const CVQComm::CTakenError& each : earlier)
        m_pList->addItem(MarkedEntry(each));
}

QString CDlgErrorList::MarkedEntry(const CVQComm::CTakenError& taken)
{
    return u"%1   [read %2, %3]"_s.arg(taken.m_strEntry, taken.m_time.toString(u"HH:mm:ss"_s),
                                       taken.m_strNote);
}

QStringList CDlgErrorList::Lines() const
{
    QStringList lines;
    for (int i = 0; i < m_pList->count(); ++i)
        lines.append(m_pList->item(i)->text());
    return lines;
}
