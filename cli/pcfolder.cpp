#include "cli/pcfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

QString ReasonText(const std::error_code& error)
{
    // The system's own words, without the line end some systems give them.
    return QString::fromLocal8Bit(error.message()).trimmed();
}

} // namespace

bool CPcFolder::List(const QString& folder, QFileInfoList& entries, QString& reason)
{
    entries.clear();
    std::error_code error;
    std::filesystem::directory_iterator it(QFileInfo(folder).filesystemFilePath(), error);
    const QDir dir(folder);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error))
        entries.append(QFileInfo(dir.filePath(QFileInfo(it->path()).fileName())));
    if (error) {
        entries.clear();
        reason = ReasonText(error);
        return false;
    }
    std::sort(entries.begin(), entries.end(),
              [](const QFileInfo& a, const QFileInfo& b) { return a.fileName() < b.fileName(); });
    return true;
}

bool CPcFolder::Readable(const QString& path, QString& reason)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        return true;
    reason = file.errorString();
    return false;
}
