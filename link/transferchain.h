#pragma once

#include <QObject>

class CVQComm;

// Carries a transfer batch from one file to the next on the GUI thread: the
// receiver of the link's chain events, shared by the desktop program's file
// list, the command-line tool and the tests.
//
//   WM_UPLOAD_DONE    -> 100 ms -> post WM_UPLOAD_NEXT -> UploadNext
//   WM_DOWNLOAD_DONE  -> 500 ms + 500 ms -> post WM_DOWNLOAD_NEXT (same wParam) -> DownloadNext
//   WM_TRANSFER_END w -> Disconnect; w: ClearList, 500 ms; Connect; w: Refresh; BatchEnded(w)
//
// The waits are timers, never sleeps, so the event loop runs meanwhile; they
// follow the link's delay scale (CVQComm::SetDelayScale). A message or a
// pause that falls due inside a wait of the command channel takes its step
// once that wait is over (CChannelWait).
class CTransferChain final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CTransferChain)

public:
    explicit CTransferChain(CVQComm* comm, QObject* parent = nullptr);
    ~CTransferChain() override;

Q_SIGNALS:
    // The file list empties itself (after a batch that wrote to the generator).
    void ClearList();
    // The file list reads its folder again, the command channel being open.
    void Refresh();
    // The batch is over and the command channel reopened (or not, see the
    // link's message); `wParam` 1 when files were written to the generator.
    void BatchEnded(int wParam);

protected:
    bool event(QEvent* e) override;

private:
    void After(int ms, void (CTransferChain::*step)(int), int wParam);
    void PostUploadNext(int wParam);
    void PauseThenPostDownloadNext(int wParam);
    void PostDownloadNext(int wParam);
    void Reconnect(int wParam);

    CVQComm* m_pComm;
};
