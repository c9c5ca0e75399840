#include "platform/qt_settings_store.h"

#include <QSettings>

#include <memory>

namespace tarvo::platform {

namespace {
#ifdef Q_OS_WIN
// Where Windows programs of the tool's kind keep their settings (the store
// of GetSetting and SaveSetting), one key per application.
const char* const kSettingsKey = "HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\";
#else
// Settings live under this organisation name in the per-user store.
const char* const kSettingsOrganisation = "tarvo";
#endif

// The per-user store of one application: its sections are groups.
std::unique_ptr<QSettings> settingsOf(const QString& application)
{
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>(QLatin1String(kSettingsKey) + application, QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, kSettingsOrganisation,
                                       application);
#endif
}
}  // namespace

QString QtSettingsStore::getSetting(const QString& application, const QString& section, const QString& key,
                                    const QString& defaultValue)
{
    return settingsOf(application)->value(section + '/' + key, defaultValue).toString();
}

bool QtSettingsStore::saveSetting(const QString& application, const QString& section, const QString& key,
                                  const QString& value)
{
    const std::unique_ptr<QSettings> s = settingsOf(application);
    s->setValue(section + '/' + key, value);
    s->sync();
    return s->status() == QSettings::NoError;
}

}  // namespace tarvo::platform
