#include "dialogs/vqfiledialog.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLocale>
#include <QTreeView>

#include <array>

using namespace Qt::StringLiterals;

namespace {
// The folder last confirmed in either chooser (at first the kept one), and
// the folder each mode was last confirmed in during this run.
QString g_lastFolder;
std::array<QString, 2> g_modeFolders;
} // namespace

QString CVQFileDialog::LastFolder()
{
    return g_lastFolder;
}

void CVQFileDialog::SetLastFolder(const QString& folder)
{
    g_lastFolder = folder;
    g_modeFolders = {};
}

void CVQFileDialog::NoteConfirmed(int bDownload, const QString& path)
{
    const QString folder = QDir::toNativeSeparators(QFileInfo(path).absolutePath());
    g_modeFolders[bDownload ? 1 : 0] = folder;
    g_lastFolder = folder;
}

QString CVQFileDialog::StartFolder(int bDownload)
{
    // Where the user was, as the platform's dialog does on Windows: pressing
    // Enter in each chooser of a batch keeps the files together.
    for (const QString& folder : {g_modeFolders[bDownload ? 1 : 0], g_lastFolder}) {
        if (!folder.isEmpty() && QFileInfo(QDir::fromNativeSeparators(folder)).isDir())
            return QDir::fromNativeSeparators(folder);
    }
    return QDir::homePath();
}

CVQFileDialog::CVQFileDialog(int bDownload, const QString& filter, QWidget* parent)
    : QFileDialog(parent), m_bDownload(bDownload)
{
#if !defined(Q_OS_WIN) && !defined(Q_OS_MACOS)
    setOption(QFileDialog::DontUseNativeDialog);
    // Qt's file list opens with narrow columns: give size, type and date the
    // room their texts take, and the dialog the room for them.
    if (auto* view = findChild<QTreeView*>(u"treeView"_s)) {
        const QFontMetrics metrics = view->fontMetrics();
        const int pad = 3 * metrics.averageCharWidth();
        const QString date =
            QLocale().toString(QDateTime(QDate(2000, 12, 30), QTime(23, 59, 59)), QLocale::ShortFormat);
        view->header()->resizeSection(1, metrics.horizontalAdvance(u"999.9 KiB"_s) + pad);
        view->header()->resizeSection(2, metrics.horizontalAdvance(u"Folder"_s) +
                                             6 * metrics.averageCharWidth());
        view->header()->resizeSection(3, metrics.horizontalAdvance(date) + pad);
    }
    resize(sizeHint().expandedTo(QSize(760, 440)));
#endif
    setAcceptMode(m_bDownload ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    setFileMode(m_bDownload ? QFileDialog::ExistingFiles : QFileDialog::AnyFile);
    setNameFilters(ConvertFilter(filter));
    setLabelText(QFileDialog::Accept, m_bDownload ? DOWNLOAD_BUTTON : UPLOAD_BUTTON);
}

void CVQFileDialog::SetFilterIndex(int index)
{
    const QStringList filters = nameFilters();
    if (index >= 1 && index <= filters.size())
        selectNameFilter(filters.at(index - 1));
}

int CVQFileDialog::FilterIndex() const
{
    return int(nameFilters().indexOf(selectedNameFilter())) + 1;
}

QString CVQFileDialog::AcceptText() const
{
    return labelText(QFileDialog::Accept);
}

std::unique_ptr<CVQFileDialog> CVQFileDialog::MakeDownloadDialog(QWidget* parent)
{
    auto dialog = std::make_unique<CVQFileDialog>(1, DOWNLOAD_FILTER, parent);
    dialog->setWindowTitle(DOWNLOAD_TITLE);
    dialog->setDirectory(StartFolder(1));
    dialog->SetFilterIndex(1);
    return dialog;
}

std::unique_ptr<CVQFileDialog> CVQFileDialog::MakeUploadDialog(const QString& deviceName, FileKind kind,
                                                               QWidget* parent)
{
    auto dialog = std::make_unique<CVQFileDialog>(0, UPLOAD_FILTER, parent);
    dialog->setWindowTitle(UPLOAD_TITLE);
    dialog->setDirectory(StartFolder(0));
    dialog->SetFilterIndex(UploadFilterIndex(kind));
    dialog->selectFile(deviceName);
    return dialog;
}

int CVQFileDialog::UploadFilterIndex(FileKind kind)
{
    switch (kind) {
    case KIND_DOWNLOAD:
        return 1;
    case KIND_LOGO:
        return 2;
    case KIND_PRESET:
        return 3;
    case KIND_SEQUENCE:
        return 4;
    case KIND_SIGNAL:
        return 5;
    case KIND_PICTURE:
        return 6;
    case KIND_OTHER:
        break;
    }
    return 7;
}

QStringList CVQFileDialog::AskDownloadFiles(QWidget* parent)
{
    const std::unique_ptr<CVQFileDialog> dialog = MakeDownloadDialog(parent);
    if (dialog->exec() != QDialog::Accepted)
        return {};
    QStringList paths;
    for (const QString& path : dialog->selectedFiles())
        paths.append(QDir::toNativeSeparators(path));
    if (!paths.isEmpty())
        NoteConfirmed(1, paths.constFirst());
    return paths;
}

QString CVQFileDialog::AskUploadTarget(const QString& deviceName, FileKind kind, QWidget* parent)
{
    const std::unique_ptr<CVQFileDialog> dialog = MakeUploadDialog(deviceName, kind, parent);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return {};
    const QString target = dialog->selectedFiles().constFirst();
    NoteConfirmed(0, target);
    return QDir::toNativeSeparators(target);
}

QStringList CVQFileDialog::ConvertFilter(QStringView filter)
{
    QStringList filters;
    const QList<QStringView> parts = filter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts.at(i).trimmed().toString();
        QString patterns = parts.at(i + 1).trimmed().toString();
        if (description.isEmpty() && patterns.isEmpty())
            continue;
        patterns.replace(u';', u' ');
        // Qt's own dialog matches "*.*" literally (a name without a dot would
        // never show); the platform's takes "*" as every file too.
        QStringList each = patterns.split(u' ', Qt::SkipEmptyParts);
        for (QString& pattern : each) {
            if (pattern == u"*.*"_s)
                pattern = u"*"_s;
        }
        patterns = each.join(u' ');
        // Qt reads the patterns from the parentheses at the end of the text;
        // the description shown loses its own "(*.*)" for the real ones.
        const qsizetype open = description.lastIndexOf(u'(');
        if (open > 0 && description.endsWith(u')'))
            description = description.left(open).trimmed();
        filters.append(u"%1 (%2)"_s.arg(description, patterns));
    }
    return filters;
}
