#pragma once

#include <QDialog>
#include <QStringList>

class CVQComm;
class QListWidget;

// The generator's error queue, read to its end when the dialog is made: the
// entries the link read earlier and kept come first, then every line the
// queue gives up to and including the one that ends it (the code-0 entry, an
// empty line or a line that does not start with a number).
class CDlgErrorList final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDlgErrorList)

public:
    // At most this many lines are read from the queue.
    static constexpr int MAX_LINES = 10000;

    explicit CDlgErrorList(CVQComm* pComm, QWidget* parent = nullptr);

    QListWidget* ListBox() const { return m_pList; }
    QStringList Lines() const;

private:
    void ReadQueue(CVQComm* pComm);

    QListWidget* m_pList;
};
