#pragma once

#include <QFileInfoList>
#include <QString>

// A PC folder's entries as the commands read them. QDir gives an empty list
// for a folder it cannot read, which a sync would take as an empty folder and
// delete against; here a folder that cannot be read, or a file to be sent
// that cannot be opened, is a failure with the system's reason.
class CPcFolder final
{
public:
    CPcFolder() = delete;

    // The entries of `folder`, hidden and system ones too, without "." and
    // "..", in name order; false with the reason when it cannot be read.
    static bool List(const QString& folder, QFileInfoList& entries, QString& reason);
    // Whether the file at `path` opens for reading; false with the reason.
    static bool Readable(const QString& path, QString& reason);
};
