// The FUSE side of a mount: libfuse's high-level interface, paths turned into
// generator paths, results into what the kernel takes.
#define FUSE_USE_VERSION 312

#include "mount/fusemount.h"

#include "mount/mountfs.h"
#include "mount/mountname.h"
#include "mount/mountoptions.h"

#include <QByteArray>
#include <QFile>
#include <QUuid>

#include <cerrno>
#include <fuse.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

using namespace Qt::StringLiterals;

namespace {

CFuseMount& Mount()
{
    return *static_cast<CFuseMount*>(fuse_get_context()->private_data);
}

const CMountOptions* g_pOptions = nullptr;

// The generator path of a path the kernel gave; false for bytes that are no text.
bool Path(const char* path, QString& device)
{
    return path && MountToDevicePath(path, g_pOptions->m_strFolder, device);
}

void Fill(const CMountAttr& attr, struct stat& st)
{
    st = {};
    st.st_mode = attr.m_bFolder ? (S_IFDIR | 0755) : (S_IFREG | 0644);
    st.st_nlink = attr.m_bFolder ? 2 : 1;
    st.st_size = attr.m_nSize;
    st.st_blksize = 4096;
    st.st_blocks = (attr.m_nSize + 511) / 512;
    st.st_uid = fuse_get_context()->uid;
    st.st_gid = fuse_get_context()->gid;
    st.st_atim.tv_sec = st.st_mtim.tv_sec = st.st_ctim.tv_sec = attr.m_nTime;
}

int OnGetAttr(const char* path, struct stat* st, fuse_file_info* fi)
{
    QString device;
    CMountAttr attr;
    int error = 0;
    // An open file whose name is gone has its handle only.
    if (!path && fi)
        error = Mount().Fs().HandleAttr(fi->fh, attr);
    else if (Path(path, device))
        error = Mount().Fs().GetAttr(device, attr);
    else
        return -ENOENT;
    if (error == 0)
        Fill(attr, *st);
    return error;
}

int OnReadDir(const char* path, void* buffer, fuse_fill_dir_t filler, off_t, fuse_file_info*,
              fuse_readdir_flags)
{
    QString device;
    if (!Path(path, device))
        return -ENOENT;
    QList<CMountDirEntry> entries;
    if (const int error = Mount().Fs().ReadDir(device, entries))
        return error;
    filler(buffer, ".", nullptr, 0, fuse_fill_dir_flags(0));
    filler(buffer, "..", nullptr, 0, fuse_fill_dir_flags(0));
    struct stat st = {};
    for (const CMountDirEntry& entry : std::as_const(entries)) {
        Fill(entry.m_attr, st);
        if (filler(buffer, entry.m_strName.toUtf8().constData(), &st, 0, FUSE_FILL_DIR_PLUS) != 0)
            break;
    }
    return 0;
}

int OnOpen(const char* path, fuse_file_info* fi)
{
    QString device;
    if (!Path(path, device))
        return -ENOENT;
    quint64 handle = 0;
    const int error = Mount().Fs().Open(device, fi->flags, handle);
    fi->fh = handle;
    return error;
}

int OnCreate(const char* path, mode_t, fuse_file_info* fi)
{
    QString device;
    if (!Path(path, device))
        return -EINVAL;
    quint64 handle = 0;
    const int error = Mount().Fs().Create(device, fi->flags, handle);
    fi->fh = handle;
    return error;
}

int OnRead(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* fi)
{
    return int(Mount().Fs().Read(fi->fh, buffer, qint64(size), qint64(offset)));
}

int OnWrite(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info* fi)
{
    return int(Mount().Fs().Write(fi->fh, buffer, qint64(size), qint64(offset)));
}

int OnFlush(const char*, fuse_file_info* fi)
{
    return Mount().Fs().Flush(fi->fh, false);
}

int OnFsync(const char*, int, fuse_file_info* fi)
{
    return Mount().Fs().Flush(fi->fh, true);
}

int OnRelease(const char*, fuse_file_info* fi)
{
    return Mount().Fs().Release(fi->fh);
}

int OnTruncate(const char* path, off_t size, fuse_file_info* fi)
{
    QString device;
    if (!fi && !Path(path, device))
        return -ENOENT;
    const quint64 handle = fi ? fi->fh : 0;
    return Mount().Fs().Truncate(device, qint64(size), fi ? &handle : nullptr);
}

int OnUnlink(const char* path)
{
    QString device;
    if (!Path(path, device))
        return -ENOENT;
    return Mount().Fs().Unlink(device);
}

int OnMkdir(const char* path, mode_t)
{
    QString device;
    if (!Path(path, device))
        return -EINVAL;
    return Mount().Fs().MakeFolder(device);
}

int OnRmdir(const char* path)
{
    QString device;
    if (!Path(path, device))
        return -ENOENT;
    return Mount().Fs().RemoveFolder(device);
}

int OnRename(const char* from, const char* to, unsigned int flags)
{
    QString source;
    QString target;
    if (!Path(from, source))
        return -ENOENT;
    if (!Path(to, target))
        return -EINVAL;
    if (flags & RENAME_EXCHANGE)
        return -EINVAL;
    return Mount().Fs().Rename(source, target, (flags & RENAME_NOREPLACE) != 0);
}

// Modes, owners and dates: the generator keeps none; taken so that copies
// that preserve them (cp -p, sed -i, Python's shutil) work.
int OnTouch(const char* path)
{
    QString device;
    if (!path)
        return 0;
    if (!Path(path, device))
        return -ENOENT;
    return Mount().Fs().Touch(device);
}

int OnChmod(const char* path, mode_t, fuse_file_info*)
{
    return OnTouch(path);
}

int OnChown(const char* path, uid_t, gid_t, fuse_file_info*)
{
    return OnTouch(path);
}

int OnUtimens(const char* path, const struct timespec*, fuse_file_info*)
{
    return OnTouch(path);
}

int OnStatFs(const char*, struct statvfs* st)
{
    double used = 0.0;
    double freeBytes = 0.0;
    if (const int error = Mount().Fs().StatFs(used, freeBytes))
        return error;
    constexpr unsigned long kBlock = 4096;
    *st = {};
    st->f_bsize = kBlock;
    st->f_frsize = kBlock;
    st->f_blocks = fsblkcnt_t((used + freeBytes) / kBlock);
    st->f_bfree = fsblkcnt_t(freeBytes / kBlock);
    st->f_bavail = st->f_bfree;
    st->f_namemax = 255;
    return 0;
}

void* OnInit(fuse_conn_info* connection, fuse_config* config)
{
    const double listingSeconds = g_pOptions->m_nListingMs / 1000.0;
    // The kernel keeps what it was told no longer than the mount keeps a listing.
    config->entry_timeout = listingSeconds;
    config->attr_timeout = listingSeconds;
    config->negative_timeout = 0;
    // A file removed while open is removed, not renamed to a hidden name.
    config->hard_remove = 1;
    // Paths for every request that has one (a listing is asked by path).
    config->nullpath_ok = 0;
    config->use_ino = 0;
    // An open with O_TRUNC comes as one request: a file is never sent empty
    // before its new bytes.
    if (connection->capable & FUSE_CAP_ATOMIC_O_TRUNC)
        connection->want |= FUSE_CAP_ATOMIC_O_TRUNC;
    connection->want &= ~unsigned(FUSE_CAP_WRITEBACK_CACHE);
    return fuse_get_context()->private_data;
}

fuse_operations MakeOperations()
{
    fuse_operations ops = {};
    ops.getattr = OnGetAttr;
    ops.readdir = OnReadDir;
    ops.open = OnOpen;
    ops.create = OnCreate;
    ops.read = OnRead;
    ops.write = OnWrite;
    ops.flush = OnFlush;
    ops.fsync = OnFsync;
    ops.release = OnRelease;
    ops.truncate = OnTruncate;
    ops.unlink = OnUnlink;
    ops.mkdir = OnMkdir;
    ops.rmdir = OnRmdir;
    ops.rename = OnRename;
    ops.chmod = OnChmod;
    ops.chown = OnChown;
    ops.utimens = OnUtimens;
    ops.statfs = OnStatFs;
    ops.init = OnInit;
    return ops;
}

} // namespace

CFuseMount::CFuseMount(CMountFs& fs, const CMountOptions& options) : m_fs(fs), m_options(options)
{
    g_pOptions = &m_options;
    // A waiting request ends when the program that made it was interrupted.
    m_fs.SetInterruptCheck([] { return fuse_interrupted() != 0; });
}

CFuseMount::~CFuseMount()
{
    Unmount();
    m_fs.SetInterruptCheck(nullptr);
    g_pOptions = nullptr;
}

bool CFuseMount::Mount(QString* error)
{
    QByteArray options = "fsname=vq820:" + m_options.m_strHost.toUtf8() + ':' +
                         QByteArray::number(m_options.m_nPort) + ",subtype=vq8ctl,auto_unmount";
    if (m_options.m_bReadOnly)
        options += ",ro";
    const char* argv[] = {"vq8ctl", "-o", options.constData()};
    fuse_args args = FUSE_ARGS_INIT(3, const_cast<char**>(argv));
    const fuse_operations ops = MakeOperations();
    m_pFuse = fuse_new(&args, &ops, sizeof(ops), this);
    if (!m_pFuse) {
        *error = u"the FUSE session could not be made"_s;
        return false;
    }
    if (fuse_mount(m_pFuse, QFile::encodeName(m_options.m_strMountPoint).constData()) != 0) {
        fuse_destroy(m_pFuse);
        m_pFuse = nullptr;
        *error =
            u"cannot mount at \"%1\" (is /dev/fuse there, and fusermount3?)"_s.arg(m_options.m_strMountPoint);
        return false;
    }
    m_bMounted = true;
    return true;
}

void CFuseMount::Serve()
{
    if (!m_pFuse || m_bLeaving)
        return;
    fuse_loop_config* config = fuse_loop_cfg_create();
    fuse_loop_cfg_set_clone_fd(config, 0);
    // Programs that wait for the generator each hold a thread: enough for
    // many at once, with some left for those that read what is here.
    fuse_loop_cfg_set_max_threads(config, 32);
    fuse_loop_cfg_set_idle_threads(config, 4);
    fuse_loop_mt(m_pFuse, config);
    fuse_loop_cfg_destroy(config);
}

void CFuseMount::Leave()
{
    if (!m_pFuse || m_bLeaving.exchange(true))
        return;
    fuse_exit(m_pFuse);
    // The loop looks at its end only when a request comes: one that nothing
    // can have cached, from a thread of its own (it waits for the loop).
    const QByteArray probe = QFile::encodeName(m_options.m_strMountPoint) + "/.vq8ctl-leave-" +
                             QUuid::createUuid().toByteArray(QUuid::Id128);
    m_poke = std::thread([probe] {
        struct stat st = {};
        ::stat(probe.constData(), &st);
    });
}

void CFuseMount::Unmount()
{
    if (m_pFuse) {
        if (m_bMounted)
            fuse_unmount(m_pFuse);
        m_bMounted = false;
        if (m_poke.joinable())
            m_poke.join();
        fuse_destroy(m_pFuse);
        m_pFuse = nullptr;
    }
}
