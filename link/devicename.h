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

// True when `c` may stand in a name the program makes, on the generator from
// a PC name or on the PC from a listed one: one Latin-1 byte that is neither
// a C0 control, DEL nor a double quote. Bytes 0x80 to 0x9F are taken: a name
// made on a PC whose code page prints them has them (0x96 is a dash there),
// the generator stores and lists them, and both PC file systems hold them.
bool IsNameCharacter(QChar c);

// True when `name` may become the name of a device entry: a non-empty single
// name of name characters with no comma (it would break the catalog), no "/"
// or "\\" (it would name another folder), and not "." or "..".
bool IsValidNewName(QStringView name);

// The deepest path (names below the root) and the longest name the generator
// takes, as far as it is known; a folder tree is checked against them before
// anything of it is sent.
inline constexpr int MAX_DEVICE_DEPTH = 32;
inline constexpr qsizetype MAX_DEVICE_NAME_LENGTH = 255;

// The message shown for a refused path or name.
QString InvalidNameMessage(const QString& name);
