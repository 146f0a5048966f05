#pragma once

#include <QString>

#include <atomic>
#include <memory>
#include <thread>

class CMountFs;
struct CMountOptions;
struct fuse;

// The mount point, served through FUSE: each request of the kernel becomes a
// call of CMountFs on one of FUSE's threads.
class CFuseMount final
{
public:
    CFuseMount(CMountFs& fs, const CMountOptions& options);
    ~CFuseMount();
    CFuseMount(const CFuseMount&) = delete;
    CFuseMount& operator=(const CFuseMount&) = delete;

    // False with the reason when the folder cannot be mounted.
    bool Mount(QString* error);
    // Serves on the calling thread until the mount is left: unmounted from
    // outside (fusermount3 -u) or by Leave.
    void Serve();
    // Any thread: Serve returns soon, whatever programs still hold open.
    void Leave();
    // After Serve: the mount point is let go (lazily, as libfuse does).
    void Unmount();

    CMountFs& Fs() const { return m_fs; }

private:
    CMountFs& m_fs;
    const CMountOptions& m_options;
    fuse* m_pFuse = nullptr;
    bool m_bMounted = false;
    std::atomic<bool> m_bLeaving{false};
    std::thread m_poke;
};
