#pragma once
// The per-user settings store: the registry on Windows, a settings file
// elsewhere.

#include <QString>

namespace tarvo::platform {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // One value by application, section and key.
    virtual QString getSetting(const QString& application, const QString& section, const QString& key,
                               const QString& defaultValue) = 0;
    // False when the store could not be written (a read-only folder).
    virtual bool saveSetting(const QString& application, const QString& section, const QString& key,
                             const QString& value) = 0;
};

}  // namespace tarvo::platform
