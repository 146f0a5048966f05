#pragma once

#include <QString>

#include <memory>

class QSettings;

// Where the desktop program keeps its settings, for every program that reads
// them (the command-line tool takes its default generator address from here).
namespace vqsettings {

inline const QString ORGANISATION = QStringLiteral("Veltrane");
inline const QString APPLICATION = QStringLiteral("VQ8 Comm");
inline const QString GROUP = QStringLiteral("Settings");
inline const QString KEY_TARGET_HOST = QStringLiteral("TargetHost");
inline const QString KEY_PRIVATE_SETTING = QStringLiteral("PrivateSetting");
inline const QString KEY_PATH = QStringLiteral("Path");
// The desktop program's recent generator addresses, newest first, comma-separated.
inline const QString KEY_RECENT_HOSTS = QStringLiteral("RecentHosts");
// 1: the desktop program copies to the PC without the pause before each chunk (0, the default: with it).
inline const QString KEY_UPLOAD_WITHOUT_PAUSES = QStringLiteral("UploadWithoutPauses");
// The generator's address when none is stored.
inline const QString DEFAULT_TARGET_HOST = QStringLiteral("192.168.0.1");
// The file list's column widths until the user changes them.
inline constexpr int DEFAULT_NAME_COLUMN_WIDTH = 200;
inline constexpr int DEFAULT_SIZE_COLUMN_WIDTH = 110;

// The user's settings store, native (on Windows the registry key
// HKEY_CURRENT_USER\\Software\\Veltrane\\VQ8 Comm), or the file tests put in
// its place.
std::unique_ptr<QSettings> OpenStore();
// Tests: an ini file in place of the user's store, so that the user's
// settings are never touched (the registry cannot be redirected otherwise);
// empty gives the native store back.
void SetStoreFileForTests(const QString& iniPath);

// A text value as stored, `fallback` when there is none; an ini file edited
// by hand may hold an unquoted list, which reads back as its parts.
QString ReadText(const QSettings& settings, const QString& key, const QString& fallback);
// The generator address stored in `settings` (GROUP entered), trimmed;
// empty when none is.
QString ReadTargetHost(const QSettings& settings);

} // namespace vqsettings
