#pragma once

#include "link/devicename.h"

#include <QString>

// Generator paths as the command-line tool takes them, and the path rules
// it builds on (the root is DEVICE_ROOT_PATH).

// "/F0:/A/B", "F0:/A/B", "A/B" and "/A/B/" all give "/F0:/A/B"; empty parts
// are dropped, an empty text gives the root "/F0:/".
QString ToDevicePath(const QString& argument);
bool IsDeviceRoot(const QString& path);
// The folder holding `path` ("/F0:/" for a first-level entry and for the root).
QString DeviceParent(const QString& path);
// Names below the root: "/F0:/A/B" is 2 deep.
int DeviceDepth(const QString& path);
// The last name of `path`, empty for the root.
QString DeviceName(const QString& path);
// True for the root and its first-level folders, which are fixed.
bool IsFixedDeviceFolder(const QString& path);
QString JoinDevicePath(const QString& folder, const QString& name);

// Patterns in the last name of a path: "*", "?" and "[...]", matched against
// the names of one listing with letter case ignored.
bool IsDevicePattern(const QString& path);
// True when a folder part of `path` (not its last name) holds a pattern character.
bool HasPatternInFolder(const QString& path);
bool MatchesDevicePattern(const QString& pattern, const QString& name);

// True when a name the generator listed can be a PC file name as it is on
// this PC (CheckPcName in link/pcname.h, which also says why not).
bool IsSafePcName(const QString& name);
