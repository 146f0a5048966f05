#include "sim/simserver.h"

#include "sim/simlistener.h"
#include "sim/simstate.h"

#include <QMutex>
#include <QThread>

using namespace Qt::StringLiterals;

class CSimServerPrivate final
{
public:
    // Runs `function` on the server thread and waits for it.
    template <typename F> void OnServerThread(F&& function)
    {
        if (!m_pListener)
            return;
        if (QThread::currentThread() == &m_thread)
            function();
        else
            QMetaObject::invokeMethod(m_pListener.get(), std::forward<F>(function),
                                      Qt::BlockingQueuedConnection);
    }

    static QStringList Parts(const QString& path, bool* ok)
    {
        QStringList parts;
        *ok = CSimFileSystem::SplitPath(path, &parts) == SIM_NO_ERROR;
        return parts;
    }

    CSimState m_state;
    QThread m_thread;
    std::unique_ptr<CSimListener> m_pListener;
    mutable QMutex m_mutex; // guards the three below
    quint16 m_nPort = 0;
    QHostAddress m_address;
    QString m_strError;
};

CSimServer::CSimServer() : m_pPrivate(std::make_unique<CSimServerPrivate>())
{
    m_pPrivate->m_thread.setObjectName(u"vq820-sim"_s);
}

CSimServer::~CSimServer()
{
    Stop();
}

bool CSimServer::Start(const CSimOptions& options)
{
    Stop();
    m_pPrivate->m_state.SetIdentity(options.m_strIdentity);
    m_pPrivate->m_state.SetTranscripts(options.m_nTranscriptLimit, options.m_strTranscriptFile);
    QString error;
    const bool ready = m_pPrivate->m_state.WithFileSystem([&](CSimFileSystem& fs) {
        fs.SetCapacity(options.m_nCapacity);
        if (!options.m_strRootDir.isEmpty() && !fs.AttachHostFolder(options.m_strRootDir, &error))
            return false;
        if (options.m_bSeed)
            fs.Seed(options.m_bSeedFiles);
        return true;
    });
    if (!ready) {
        QMutexLocker lock(&m_pPrivate->m_mutex);
        m_pPrivate->m_strError = error;
        return false;
    }

    m_pPrivate->m_thread.start();
    m_pPrivate->m_pListener =
        std::make_unique<CSimListener>(m_pPrivate->m_state, options.m_nMaxConnections,
                                       CSimBlockLimits{options.m_nBlockIdleMs, options.m_nBlockMinRate});
    m_pPrivate->m_pListener->moveToThread(&m_pPrivate->m_thread);
    bool listening = false;
    CSimListener* listener = m_pPrivate->m_pListener.get();
    m_pPrivate->OnServerThread([&] { listening = listener->Listen(options.m_address, options.m_nPort); });
    {
        QMutexLocker lock(&m_pPrivate->m_mutex);
        m_pPrivate->m_strError = listener->ErrorString();
        m_pPrivate->m_nPort = listening ? listener->Port() : 0;
        m_pPrivate->m_address = options.m_address;
    }
    if (!listening)
        Stop();
    return listening;
}

void CSimServer::Stop()
{
    if (m_pPrivate->m_pListener) {
        CSimListener* listener = m_pPrivate->m_pListener.get();
        QThread* home = QThread::currentThread();
        m_pPrivate->OnServerThread([listener, home] { listener->Shutdown(home); });
    }
    m_pPrivate->m_thread.quit();
    m_pPrivate->m_thread.wait();
    m_pPrivate->m_pListener.reset();
    QMutexLocker lock(&m_pPrivate->m_mutex);
    m_pPrivate->m_nPort = 0;
}

quint16 CSimServer::Port() const
{
    QMutexLocker lock(&m_pPrivate->m_mutex);
    return m_pPrivate->m_nPort;
}

QHostAddress CSimServer::Address() const
{
    QMutexLocker lock(&m_pPrivate->m_mutex);
    return m_pPrivate->m_address;
}

QString CSimServer::ErrorString() const
{
    QMutexLocker lock(&m_pPrivate->m_mutex);
    return m_pPrivate->m_strError;
}

void CSimServer::SetFaults(const CSimFaults& faults)
{
    m_pPrivate->m_state.SetFaults(faults);
    CSimListener* listener = m_pPrivate->m_pListener.get();
    m_pPrivate->OnServerThread([listener] { listener->ApplyFaults(); });
}

CSimFaults CSimServer::Faults() const
{
    return m_pPrivate->m_state.Faults();
}

void CSimServer::SetScriptedReply(const QByteArray& command, const QByteArray& reply, bool once)
{
    m_pPrivate->m_state.SetScriptedReply(command, reply, once);
}

void CSimServer::ClearScriptedReplies()
{
    m_pPrivate->m_state.ClearScriptedReplies();
}

QList<QByteArray> CSimServer::Transcripts() const
{
    return m_pPrivate->m_state.Transcripts();
}

QByteArray CSimServer::AllReceived() const
{
    return m_pPrivate->m_state.AllReceived();
}

void CSimServer::ClearTranscripts()
{
    CSimListener* listener = m_pPrivate->m_pListener.get();
    m_pPrivate->OnServerThread([listener] { listener->AcceptPending(); });
    m_pPrivate->m_state.ClearTranscripts();
}

int CSimServer::ConnectionCount() const
{
    CSimListener* listener = m_pPrivate->m_pListener.get();
    m_pPrivate->OnServerThread([listener] { listener->AcceptPending(); });
    return m_pPrivate->m_state.ConnectionCount();
}

int CSimServer::OpenConnections() const
{
    return m_pPrivate->m_state.OpenConnections();
}

bool CSimServer::WaitForReceived(qsizetype bytes, int timeoutMs) const
{
    return m_pPrivate->m_state.WaitForReceived(bytes, timeoutMs);
}

bool CSimServer::AddFolder(const QString& path)
{
    bool ok = false;
    const QStringList parts = CSimServerPrivate::Parts(path, &ok);
    return ok && m_pPrivate->m_state.WithFileSystem([&](CSimFileSystem& fs) { return fs.AddFolder(parts); });
}

bool CSimServer::AddFile(const QString& path, const QByteArray& data)
{
    bool ok = false;
    const QStringList parts = CSimServerPrivate::Parts(path, &ok);
    return ok &&
           m_pPrivate->m_state.WithFileSystem([&](CSimFileSystem& fs) { return fs.AddFile(parts, data); });
}

bool CSimServer::Exists(const QString& path) const
{
    bool ok = false;
    const QStringList parts = CSimServerPrivate::Parts(path, &ok);
    return ok &&
           m_pPrivate->m_state.WithFileSystem([&](CSimFileSystem& fs) { return fs.Find(parts) != nullptr; });
}

bool CSimServer::IsFolder(const QString& path) const
{
    bool ok = false;
    const QStringList parts = CSimServerPrivate::Parts(path, &ok);
    return ok && m_pPrivate->m_state.WithFileSystem([&](CSimFileSystem& fs) {
        const CSimFileSystem::CNode* node = fs.Find(parts);
        return node && node->m_bFolder;
    });
}

QByteArray CSimServer::FileData(const QString& path) const
{
    bool ok = false;
    const QStringList parts = CSimServerPrivate::Parts(path, &ok);
    if (!ok)
        return {};
    return m_pPrivate->m_state.WithFileSystem([&](CSimFileSystem& fs) {
        const CSimFileSystem::CNode* node = fs.Find(parts);
        return node && !node->m_bFolder ? node->m_data : QByteArray();
    });
}

QStringList CSimServer::List(const QString& folder) const
{
    bool ok = false;
    const QStringList parts = CSimServerPrivate::Parts(folder, &ok);
    if (!ok)
        return {};
    return m_pPrivate->m_state.WithFileSystem([&](CSimFileSystem& fs) { return fs.List(parts); });
}

qint64 CSimServer::Used() const
{
    return m_pPrivate->m_state.WithFileSystem([](CSimFileSystem& fs) { return fs.Used(); });
}

qint64 CSimServer::Capacity() const
{
    return m_pPrivate->m_state.WithFileSystem([](CSimFileSystem& fs) { return fs.Capacity(); });
}

void CSimServer::SetCapacity(qint64 bytes)
{
    m_pPrivate->m_state.WithFileSystem([bytes](CSimFileSystem& fs) { fs.SetCapacity(bytes); });
}

QStringList CSimServer::ErrorQueue() const
{
    return m_pPrivate->m_state.Errors();
}

void CSimServer::PushError(int code, const QString& text)
{
    m_pPrivate->m_state.PushError(code, text);
}

void CSimServer::ClearErrors()
{
    m_pPrivate->m_state.ClearErrors();
}
