#pragma once

#include <QString>
#include <QStringView>

// The root folder of the generator's file system.
inline const QString DEVICE_ROOT_PATH = QStringLiteral("/F0:/");

// Checks on device paths and names before they go on the command line. A
// quoted argument is sent as it is, so anything that could close the quotes or
// end the line must never reach the wire.

// True when `path` can travel between double quotes: no double quote, no C0
// control character, nothing the Latin-1 wire cannot carry.
bool IsWireSafePath(QStringView path);

// True when `name` may become the name of a device entry: a wire-safe,
// non-empty single name with no comma (it would break the catalog), no "/" or
// "\\" (it would name another folder), no DEL or C1 control, and not "." or "..".
bool IsValidNewName(QStringView name);

// The deepest path (names below the root) and the longest name the generator
// takes, as far as it is known; a folder tree is checked against them before
// anything of it is sent.
inline constexpr int MAX_DEVICE_DEPTH = 32;
inline constexpr qsizetype MAX_DEVICE_NAME_LENGTH = 255;

// The message shown for a refused path or name.
QString InvalidNameMessage(const QString& name);
