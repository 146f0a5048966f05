#pragma once

#include <QString>

// Generator paths as the tool takes them from the command line.

inline constexpr QStringView DEVICE_ROOT = u"/F0:/";

// "/F0:/A/B", "F0:/A/B", "A/B" and "/A/B/" all give "/F0:/A/B"; empty parts
// are dropped, an empty text gives the root "/F0:/".
QString ToDevicePath(const QString& argument);
bool IsDeviceRoot(const QString& path);
// The folder holding `path` ("/F0:/" for a first-level entry and for the root).
QString DeviceParent(const QString& path);
// The last name of `path`, empty for the root.
QString DeviceName(const QString& path);
// True for the root and its first-level folders, which are fixed.
bool IsFixedDeviceFolder(const QString& path);
QString JoinDevicePath(const QString& folder, const QString& name);
