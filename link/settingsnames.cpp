#include "link/settingsnames.h"

#include <QSettings>

namespace vqsettings {

namespace {
QString g_storeFileForTests;
} // namespace

std::unique_ptr<QSettings> OpenStore()
{
    if (!g_storeFileForTests.isEmpty())
        return std::make_unique<QSettings>(g_storeFileForTests, QSettings::IniFormat);
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, ORGANISATION,
                                       APPLICATION);
}

void SetStoreFileForTests(const QString& iniPath)
{
    g_storeFileForTests = iniPath;
}

QString ReadText(const QSettings& settings, const QString& key, const QString& fallback)
{
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return fallback;
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(u',');
    return value.canConvert<QString>() ? value.toString() : fallback;
}

QString ReadTargetHost(const QSettings& settings)
{
    return ReadText(settings, KEY_TARGET_HOST, QString()).trimmed();
}

} // namespace vqsettings
