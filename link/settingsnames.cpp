#include "settingsnames.h"

#include <QSettings>

namespace vqsettings {

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
