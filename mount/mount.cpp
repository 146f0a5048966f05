#include "mount/mount.h"

#include "mount/fusemount.h"
#include "mount/mountbroker.h"
#include "mount/mountcache.h"
#include "mount/mountfs.h"
#include "mount/mountlog.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

CMount::CMount(const CMountOptions& options, CMountLog& log) : m_options(options), m_log(log) {}

CMount::~CMount()
{
    if (m_pFs || m_pBroker)
        Finish();
}

bool CMount::Start()
{
    const QFileInfo point(m_options.m_strMountPoint);
    if (!point.isDir()) {
        m_log.Line(u"the mount point is not a folder : \"%1\""_s.arg(
            QDir::toNativeSeparators(m_options.m_strMountPoint)));
        return false;
    }
    m_options.m_strMountPoint = point.absoluteFilePath();
    m_pBroker = std::make_unique<CMountBroker>(m_options, m_log);
    QString error;
    if (!m_pBroker->Start(&error)) {
        m_log.Line(error);
        return false;
    }
    std::shared_ptr<const CMountListing> listing;
    const CMountResult listed = m_pBroker->Wait(m_pBroker->PostList(m_options.m_strFolder), &listing);
    if (!listed.Ok()) {
        m_log.Line(u"cannot list \"%1\": %2"_s.arg(m_options.m_strFolder, listed.m_strMessage));
        return false;
    }

    const QString root =
        m_options.m_strCacheDir.isEmpty() ? CMountCache::DefaultRoot() : m_options.m_strCacheDir;
    QDir().mkpath(root);
    // The mount would wait for itself to read its own copies.
    const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
    const QString canonicalPoint = point.canonicalFilePath();
    if (canonicalRoot == canonicalPoint || canonicalRoot.startsWith(canonicalPoint + u'/')) {
        m_log.Line(u"the cache folder \"%1\" is inside the mount point"_s.arg(root));
        return false;
    }
    m_pCache = std::make_unique<CMountCache>();
    QStringList notes;
    if (!m_pCache->Open(root, m_options.m_strHost, m_options.m_nPort, &error, &notes)) {
        m_log.Line(error);
        return false;
    }
    for (const QString& note : std::as_const(notes))
        m_log.Line(note);

    m_pFs = std::make_unique<CMountFs>(m_options, *m_pBroker, *m_pCache, m_log);
    m_pFuse = std::make_unique<CFuseMount>(*m_pFs, m_options);
    const std::lock_guard lock(m_mutex);
    if (m_nStops > 0)
        return false;
    if (!m_pFuse->Mount(&error)) {
        m_log.Line(error);
        return false;
    }
    m_bServing = true;
    return true;
}

void CMount::Serve()
{
    if (m_pFuse)
        m_pFuse->Serve();
}

void CMount::Stop()
{
    const std::lock_guard lock(m_mutex);
    ++m_nStops;
    if (!m_bServing)
        return; // Start sees it
    if (m_nStops == 1) {
        // Not on the caller's thread: a signal's watcher must stay free for
        // a second request, which leaves at once.
        m_stopper = std::thread([this] {
            m_pFs->SendPending(true);
            m_pFuse->Leave();
        });
    } else {
        m_pFuse->Leave();
    }
}

QStringList CMount::Finish()
{
    {
        const std::lock_guard lock(m_mutex);
        m_bServing = false;
    }
    if (m_stopper.joinable())
        m_stopper.join();
    if (m_pFuse)
        m_pFuse->Unmount();
    QStringList left;
    if (m_pFs) {
        // Nothing can change any more: what is still unsent gets its last chance.
        m_pFs->SendPending(false);
        left = m_pFs->Left();
    }
    m_pFuse.reset();
    m_pFs.reset();
    if (m_pBroker)
        m_pBroker->Stop();
    m_pBroker.reset();
    m_pCache.reset();
    return left;
}
