#include "tests/support/transferfixture.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

// The link first: it waits for a worker still running, whose last event
// then finds the chain alive (and is dropped with it).
CTransferFixture::~CTransferFixture()
{
    m_comm.reset();
    m_chain.reset();
}

bool CTransferFixture::Start()
{
    return CLinkFixture::Start() && m_dir.isValid();
}

bool CTransferFixture::Reset(double scale)
{
    m_comm.reset(); // before the chain, as in the destructor
    m_chain.reset();
    m_host.ClearProgress();
    m_host.SetOnUpdate({});
    m_host.SetList(QString(), {});
    m_batchesEnded = 0;
    m_endParams.clear();

    NewLink().SetDelayScale(scale);
    m_chain = std::make_unique<CTransferChain>(m_comm.get());
    m_host.SetTransferReceiver(m_chain.get());
    QObject::connect(m_chain.get(), &CTransferChain::BatchEnded, m_chain.get(), [this](int wParam) {
        ++m_batchesEnded;
        m_endParams.append(wParam);
    });
    return Connect();
}

bool CTransferFixture::WaitBatchEnd(int timeoutMs)
{
    // An event loop rather than polling: the chain's steps follow each other
    // without the poll's sleeps, so a thousand batches stay quick.
    const int before = m_batchesEnded;
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(m_chain.get(), &CTransferChain::BatchEnded, &loop, &QEventLoop::quit,
                     Qt::QueuedConnection);
    timeout.start(timeoutMs);
    if (m_batchesEnded == before)
        loop.exec();
    return m_batchesEnded > before;
}

QString CTransferFixture::PcPath(const QString& name) const
{
    return QDir::toNativeSeparators(m_dir.filePath(name));
}

bool CTransferFixture::WritePc(const QString& name, const QByteArray& data) const
{
    QFile file(m_dir.filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray CTransferFixture::ReadPc(const QString& name) const
{
    QFile file(m_dir.filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList CTransferFixture::PcFiles() const
{
    return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

void CTransferFixture::ClearPc() const
{
    for (const QString& name : PcFiles())
        QFile::remove(m_dir.filePath(name));
}

bool CTransferFixture::ChannelAnswers()
{
    return m_comm->IsConnected() && m_comm->QueryIdentity() == 1;
}
