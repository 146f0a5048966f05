#pragma once

#include "link/transferprogress.h"

#include <QDialog>
#include <QString>

class CCopyAnimation;
class CCopyProgressSink;
class CProgressSink;
class CVQComm;
class QLabel;
class QProgressBar;
class QPushButton;

// The window that accompanies a transfer batch: the animation, the file, the
// direction, a bar in steps of 2 percent, the time left and Cancel. Modeless;
// hidden until the first file is announced; closes and deletes itself when the
// batch is over, after the end message has gone on to the file list.
//
// The link reports to Sink(). Cancel (also Escape and the close box) greys the
// button at once and cancels the transfer; the window stays until the end.
class CDlgCopyProgress final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDlgCopyProgress)

public:
    static inline const QString CLIP = QStringLiteral(":/anim/copy.svg");
    static inline const QString CLIP_ERROR = QStringLiteral("Error: Cannot open CAnimateCtrl");

    // `clock` (calendar seconds) and `clip` are for tests; the defaults are
    // the real ones. A clip that cannot be loaded is reported through the
    // link's host and the dialog works without animation.
    explicit CDlgCopyProgress(CVQComm* pComm, QWidget* parent = nullptr, CTransferProgress::Clock clock = {},
                              const QString& clip = CLIP);
    ~CDlgCopyProgress() override;

    // What the link reports to; valid until the batch has ended.
    CProgressSink* Sink() const;

    QProgressBar* ProgressBar() const { return m_pProgress; }
    QLabel* FileNameLabel() const { return m_pFileName; }
    QLabel* DirectionLabel() const { return m_pDirection; }
    QLabel* RemainingLabel() const { return m_pRemaining; }
    QPushButton* CancelButton() const { return m_pCancel; }
    CCopyAnimation* Animation() const { return m_pAnimate; }
    // The texts as given, before they are shortened to fit.
    QString FileNameText() const { return m_strFileName; }
    QString DirectionText() const { return m_strDirection; }

    // From the sink, on the GUI thread: show the newest state; the batch is over.
    void Refresh();
    void EndTransfer();

public Q_SLOTS:
    // Escape comes here: Cancel's path, the window stays.
    void reject() override;
    void OnCancel();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void SetLabelText(QLabel* label, const QString& text);

    CVQComm* m_pComm;
    CCopyProgressSink* m_pSink; // owns itself
    CCopyAnimation* m_pAnimate;
    QLabel* m_pFileName;
    QLabel* m_pDirection;
    QProgressBar* m_pProgress;
    QLabel* m_pRemaining;
    QPushButton* m_pCancel;
    QString m_strFileName;
    QString m_strDirection;
    bool m_bEnded = false;
};
