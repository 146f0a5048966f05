#pragma once

#include <QString>
#include <QStringView>

// Names as a mount sees them: paths the system hands over, names the
// generator can take, and the names editors give their temporary and lock
// files, which never leave the PC.

// Editors' temporaries and lock files: "*~", ".*.swp" (and the swap names
// that follow it, ".swo" ...), "4913", ".~lock.*#", ".goutputstream-*", "~$*".
bool IsPcOnlyName(QStringView name);

// Why the generator cannot take `name` for a new entry, for the mount's log;
// empty when it can (IsValidNewName, and not longer than the generator takes).
QString NameProblem(QStringView name);

// The generator path of `path` (what the system gives: "/" and names in
// UTF-8) below the generator folder `root`. False when the bytes are not
// UTF-8 text, which no generator name could be.
bool MountToDevicePath(const char* path, const QString& root, QString& devicePath);

// A generator path as a path below a PC folder: "/F0:/USER/A.SEQ" is
// "F0/USER/A.SEQ".
QString DeviceToRelativePcPath(const QString& devicePath);
