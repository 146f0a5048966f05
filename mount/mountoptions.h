#pragma once

#include "link/devicename.h"

#include <QString>

// What a mount shows and how it behaves; the defaults are those of
// vq8ctl mount.
struct CMountOptions
{
    QString m_strHost;
    quint16 m_nPort = 5000;
    // The generator folder shown at the mount point.
    QString m_strFolder = DEVICE_ROOT_PATH;
    QString m_strMountPoint;
    // The folder of every mount's local copies; each generator has a folder
    // of its own below it.
    QString m_strCacheDir;
    bool m_bReadOnly = false;
    // Files are fetched at the engine's pace (one chunk per 100 ms) unless
    // the user says the generator needs no pause.
    bool m_bPacing = true;
    // A folder's listing is used this long before it is read again.
    int m_nListingMs = 2000;
    // A request that sees no progress for this long fails (EIO): nothing
    // hangs when the generator stops answering.
    int m_nBoundMs = 10000;
    // Scales the fixed pauses of the transfer engines (tests only).
    double m_dDelayScale = 1.0;
};
