#pragma once

#include "link/vqcomm.h"

#include <QDialog>
#include <QStringList>

class QListWidget;

// The generator's error queue, read to its end when the dialog is made: every
// line the queue gives up to and including the one that ends it (the code-0
// entry, an empty line or a line that does not start with a number); then,
// under a heading, every entry the program took from the queue earlier in
// this run (after a refusal it showed, before a change, after a copy), each
// marked with when it was read and what became of it.
class CDlgErrorList final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDlgErrorList)

public:
    // At most this many lines are read from the queue.
    static constexpr int MAX_LINES = 10000;
    static inline const QString EARLIER_HEADING =
        QStringLiteral("Read earlier in this run by VQ8 Comm (no longer in the generator):");

    // An entry taken earlier as the list shows it: the entry, then when it
    // was read and what became of it.
    static QString MarkedEntry(const CVQComm::CTakenError& taken);

    explicit CDlgErrorList(CVQComm* pComm, QWidget* parent = nullptr);

    QListWidget* ListBox() const { return m_pList; }
    QStringList Lines() const;

private:
    void ReadQueue(CVQComm* pComm);

    QListWidget* m_pList;
};
