#include "simserver.h"

#include "simlistener.h"
#include "simstate.h"

#include <QMutex>
#include <QThread>

using namespace Qt::StringLiterals;

namespace vqsim {

class SimServerPrivate final
{
public:
    // Runs `function` on the server thread and waits for it.
    template <typename F> void OnServerThread(F&& function)
    {
        if (!m_listener)
            return;
        if (QThread::currentThread() == &m_thread)
            function();
        else
            QMetaObject::invokeMethod(m_listener.get(), std::forward<F>(function),
                                      Qt::BlockingQueuedConnection);
    }

    static QStringList Parts(const QString& path, bool* ok)
    {
        QStringList parts;
        *ok = SimFileSystem::SplitPath(path, &parts) == kNoError;
        return parts;
    }

    SimState m_state;
    QThread m_thread;
    std::unique_ptr<SimListener> m_listener;
    mutable QMutex m_mutex; // guards the three below
    quint16 m_port = 0;
    QHostAddress m_address;
    QString m_error;
};

SimServer::SimServer() : d(std::make_unique<SimServerPrivate>())
{
    d->m_thread.setObjectName(u"vq820-sim"_s);
}

SimServer::~SimServer()
{
    Stop();
}

bool SimServer::Start(const SimOptions& options)
{
    Stop();
    d->m_state.SetIdentity(options.identity);
    d->m_state.SetTranscripts(options.transcriptLimit, options.transcriptFile);
    QString error;
    const bool ready = d->m_state.WithFileSystem([&](SimFileSystem& fs) {
        fs.SetCapacity(options.capacity);
        if (!options.rootDir.isEmpty() && !fs.AttachHostFolder(options.rootDir, &error))
            return false;
        if (options.seed)
            fs.Seed();
        return true;
    });
    if (!ready) {
        QMutexLocker lock(&d->m_mutex);
        d->m_error = error;
        return false;
    }

    d->m_thread.start();
    d->m_listener = std::make_unique<SimListener>(d->m_state);
    d->m_listener->moveToThread(&d->m_thread);
    bool listening = false;
    SimListener* listener = d->m_listener.get();
    d->OnServerThread([&] { listening = listener->Listen(options.address, options.port); });
    {
        QMutexLocker lock(&d->m_mutex);
        d->m_error = listener->ErrorString();
        d->m_port = listening ? listener->Port() : 0;
        d->m_address = options.address;
    }
    if (!listening)
        Stop();
    return listening;
}

void SimServer::Stop()
{
    if (d->m_listener) {
        SimListener* listener = d->m_listener.get();
        QThread* home = QThread::currentThread();
        d->OnServerThread([listener, home] { listener->Shutdown(home); });
    }
    d->m_thread.quit();
    d->m_thread.wait();
    d->m_listener.reset();
    QMutexLocker lock(&d->m_mutex);
    d->m_port = 0;
}

quint16 SimServer::Port() const
{
    QMutexLocker lock(&d->m_mutex);
    return d->m_port;
}

QHostAddress SimServer::Address() const
{
    QMutexLocker lock(&d->m_mutex);
    return d->m_address;
}

QString SimServer::ErrorString() const
{
    QMutexLocker lock(&d->m_mutex);
    return d->m_error;
}

void SimServer::SetFaults(const SimFaults& faults)
{
    d->m_state.SetFaults(faults);
    SimListener* listener = d->m_listener.get();
    d->OnServerThread([listener] { listener->ApplyFaults(); });
}

SimFaults SimServer::Faults() const
{
    return d->m_state.Faults();
}

void SimServer::SetScriptedReply(const QByteArray& command, const QByteArray& reply, bool once)
{
    d->m_state.SetScriptedReply(command, reply, once);
}

void SimServer::ClearScriptedReplies()
{
    d->m_state.ClearScriptedReplies();
}

QList<QByteArray> SimServer::Transcripts() const
{
    return d->m_state.Transcripts();
}

QByteArray SimServer::AllReceived() const
{
    return d->m_state.AllReceived();
}

void SimServer::ClearTranscripts()
{
    SimListener* listener = d->m_listener.get();
    d->OnServerThread([listener] { listener->AcceptPending(); });
    d->m_state.ClearTranscripts();
}

int SimServer::ConnectionCount() const
{
    SimListener* listener = d->m_listener.get();
    d->OnServerThread([listener] { listener->AcceptPending(); });
    return d->m_state.ConnectionCount();
}

int SimServer::OpenConnections() const
{
    return d->m_state.OpenConnections();
}

bool SimServer::WaitForReceived(qsizetype bytes, int timeoutMs) const
{
    return d->m_state.WaitForReceived(bytes, timeoutMs);
}

bool SimServer::AddFolder(const QString& path)
{
    bool ok = false;
    const QStringList parts = SimServerPrivate::Parts(path, &ok);
    return ok && d->m_state.WithFileSystem([&](SimFileSystem& fs) { return fs.AddFolder(parts); });
}

bool SimServer::AddFile(const QString& path, const QByteArray& data)
{
    bool ok = false;
    const QStringList parts = SimServerPrivate::Parts(path, &ok);
    return ok && d->m_state.WithFileSystem([&](SimFileSystem& fs) { return fs.AddFile(parts, data); });
}

bool SimServer::Exists(const QString& path) const
{
    bool ok = false;
    const QStringList parts = SimServerPrivate::Parts(path, &ok);
    return ok && d->m_state.WithFileSystem([&](SimFileSystem& fs) { return fs.Find(parts) != nullptr; });
}

bool SimServer::IsFolder(const QString& path) const
{
    bool ok = false;
    const QStringList parts = SimServerPrivate::Parts(path, &ok);
    return ok && d->m_state.WithFileSystem([&](SimFileSystem& fs) {
        const SimFileSystem::Node* node = fs.Find(parts);
        return node && node->folder;
    });
}

QByteArray SimServer::FileData(const QString& path) const
{
    bool ok = false;
    const QStringList parts = SimServerPrivate::Parts(path, &ok);
    if (!ok)
        return {};
    return d->m_state.WithFileSystem([&](SimFileSystem& fs) {
        const SimFileSystem::Node* node = fs.Find(parts);
        return node && !node->folder ? node->data : QByteArray();
    });
}

QStringList SimServer::List(const QString& folder) const
{
    bool ok = false;
    const QStringList parts = SimServerPrivate::Parts(folder, &ok);
    if (!ok)
        return {};
    return d->m_state.WithFileSystem([&](SimFileSystem& fs) { return fs.List(parts); });
}

qint64 SimServer::Used() const
{
    return d->m_state.WithFileSystem([](SimFileSystem& fs) { return fs.Used(); });
}

qint64 SimServer::Capacity() const
{
    return d->m_state.WithFileSystem([](SimFileSystem& fs) { return fs.Capacity(); });
}

void SimServer::SetCapacity(qint64 bytes)
{
    d->m_state.WithFileSystem([bytes](SimFileSystem& fs) { fs.SetCapacity(bytes); });
}

QStringList SimServer::ErrorQueue() const
{
    return d->m_state.Errors();
}

void SimServer::PushError(int code, const QString& text)
{
    d->m_state.PushError(code, text);
}

void SimServer::ClearErrors()
{
    d->m_state.ClearErrors();
}

} // namespace vqsim
