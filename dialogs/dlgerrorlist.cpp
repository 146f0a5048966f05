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
    // What the link read after its own changes and kept: nothing is lost.
    m_pList->addItems(pComm->TakeKeptErrors());
    if (!pComm->IsConnected())
        return;
    // A queue that does not end within one reading is read on, up to a bound.
    int lines = 0;
    CVQComm::QueueEnd end = CVQComm::QueueEnd::TooLong;
    while (end == CVQComm::QueueEnd::TooLong && lines < MAX_LINES) {
        QStringList entries;
        QString last;
        end = pComm->ReadErrorQueue(entries, &last);
        m_pList->addItems(entries);
        lines += int(entries.size());
        if (end != CVQComm::QueueEnd::TooLong) {
            // The line that ended the reading is shown too, empty or not.
            m_pList->addItem(last);
            ++lines;
        }
    }
}

QStringList CDlgErrorList::Lines() const
{
    QStringList lines;
    for (int i = 0; i < m_pList->count(); ++i)
        lines.append(m_pList->item(i)->text());
    return lines;
}
