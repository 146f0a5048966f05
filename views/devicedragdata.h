#pragma once

#include "link/fileinfo.h"

#include <QList>
#include <QMimeData>
#include <QString>
#include <QStringList>

#include <functional>

// What a drag out of the file list carries: the device paths of its entries,
// one a line, as text (dropped on either pane they are copied there; a text
// target takes them as they are) and in a format of this program's own, and
// its files as files for a drop on the desktop or a file manager (file URLs,
// which Windows' drag turns into the shell's file drop). The files are
// fetched from the generator only when the drop asks for them, all of them or
// none: a target never sees a file before it is complete.
class CDeviceDragData final : public QMimeData
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDeviceDragData)

public:
    // The device paths; the panes read this rather than the file URLs, so a
    // drag within the program fetches nothing.
    static inline const QString DEVICE_PATHS_FORMAT = QStringLiteral("application/x-vq8comm-device-paths");

    // Copies the files `files` of the device folder `deviceFolder` into the
    // local folder `localFolder`; true when every one of them arrived whole.
    using Fetch = std::function<bool(const QString& deviceFolder, const QList<CFileInfo>& files,
                                     const QString& localFolder)>;

    // `localFolder` is where the files will be (made when they are).
    // `abandon` runs when the drag goes while its files are being fetched:
    // the target stopped waiting for them (X11 targets wait a few seconds).
    CDeviceDragData(const QString& deviceFolder, const QList<CFileInfo>& entries, const QString& localFolder,
                    Fetch fetch, std::function<void()> abandon = {});
    ~CDeviceDragData() override;

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

    QStringList DevicePaths() const;
    // The files of the drag (its folders are not copied to the PC).
    const QList<CFileInfo>& Files() const { return m_files; }
    // Where the files are fetched to (made when they are).
    QString LocalFolder() const { return m_strLocalFolder; }
    // Whether the files were asked for and all of them fetched.
    bool Fetched() const { return m_state == State::Fetched; }

protected:
    // The file URLs are asked for while the drag is still under way too (to
    // see whether a target can take it): then they name where the files
    // will be, and nothing is fetched until the mouse button is up.
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    enum class State
    {
        NotAsked,
        Fetching,
        Fetched,
        Failed,
    };
    QList<QUrl> FileUrls() const;

    QString m_strDeviceFolder;
    QStringList m_devicePaths;
    QList<CFileInfo> m_files;
    QString m_strLocalFolder;
    Fetch m_fetch;
    std::function<void()> m_abandon;
    mutable State m_state = State::NotAsked;
};
