#pragma once

#include "link/fileinfo.h"

#include <QFileDialog>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>

// The PC side of a transfer: open mode picks the files to send to the
// generator ("Download"), save mode where one generator file goes on the PC
// ("Upload"). The confirm button names the direction. Qt's own dialog is used
// where the platform's cannot rename that button (everywhere but Windows and
// macOS); it also asks before a file is overwritten.
class CVQFileDialog final : public QFileDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CVQFileDialog)

public:
    static inline const QString DOWNLOAD_TITLE = QStringLiteral("PC to VQ Download");
    static inline const QString UPLOAD_TITLE = QStringLiteral("VQ to PC Upload");
    static inline const QString DOWNLOAD_BUTTON = QStringLiteral("Download");
    static inline const QString UPLOAD_BUTTON = QStringLiteral("Upload");
    static inline const QString DOWNLOAD_FILTER = QStringLiteral(
        "All Files (*.*)|*.*|BMP File (*.bmp)|*.bmp|XML File (*.xml)|*.xml|Download File (*.dnl)|*.dnl|"
        "Logo File (*.lgo)|*.lgo|Text File (*.txt)|*.txt|Preset File (*.pst)|*.pst|"
        "Sequence File (*.seq)|*.seq|Signal File (*.cmp)|*.cmp|Picture File (*.pic)|*.pic|");
    static inline const QString UPLOAD_FILTER =
        QStringLiteral("Download File (*.dnl)|*.dnl|Logo File (*.lgo)|*.lgo|Preset File (*.pst)|*.pst|"
                       "Sequence File (*.seq)|*.seq|Signal File (*.cmp)|*.cmp|Picture File (*.pic)|*.pic|"
                       "All Files (*.*)|*.*|");

    // `bDownload` 1: open mode, several files; 0: save mode. `filter` in the
    // "description|pattern|" form.
    CVQFileDialog(int bDownload, const QString& filter, QWidget* parent = nullptr);

    int IsDownload() const { return m_bDownload; }
    // The filter shown, 1 for the first.
    void SetFilterIndex(int index);
    int FilterIndex() const;
    // The text of the confirm button.
    QString AcceptText() const;

    // The "PC to VQ" chooser: open mode, all files shown first.
    static std::unique_ptr<CVQFileDialog> MakeDownloadDialog(QWidget* parent = nullptr);
    // The chooser of the PC target for generator file `deviceName` of `kind`.
    static std::unique_ptr<CVQFileDialog> MakeUploadDialog(const QString& deviceName, FileKind kind,
                                                           QWidget* parent = nullptr);
    // The filter preselected for a file of `kind` in the upload chooser.
    static int UploadFilterIndex(FileKind kind);

    // Runs the "PC to VQ" chooser: the full path of every file chosen, in the
    // dialog's order; empty after Cancel.
    static QStringList AskDownloadFiles(QWidget* parent);
    // Runs the upload chooser: the full target path; empty after Cancel.
    static QString AskUploadTarget(const QString& deviceName, FileKind kind, QWidget* parent);

    // Where the choosers open. Each opens where the last one of its mode
    // (open or save) was confirmed in this run; the first of a mode where
    // the user last confirmed either, which the program keeps between runs
    // ("Path"); where that folder is gone, in the user's home folder.
    static QString StartFolder(int bDownload);
    // The folder last confirmed in a chooser, or the kept one; setting it
    // (at start-up) forgets the folders of this run.
    static QString LastFolder();
    static void SetLastFolder(const QString& folder);
    // A chooser of mode `bDownload` was confirmed with `path` (a file of the
    // folder it was confirmed in).
    static void NoteConfirmed(int bDownload, const QString& path);

    // "Text (*.txt)|*.txt|..." as Qt's name filters. "*.*" means every file,
    // as it does on Windows, also where a name may have no dot.
    static QStringList ConvertFilter(QStringView filter);

private:
    int m_bDownload;
};
