#pragma once
// The settings store on QSettings: on Windows the registry key where
// programs of the tool's kind keep theirs (so an address an earlier tool
// saved on this PC is found), elsewhere the user's settings file.

#include "platform/settings_store.h"

namespace tarvo::platform {

class QtSettingsStore : public SettingsStore {
public:
    QString getSetting(const QString& application, const QString& section, const QString& key,
                       const QString& defaultValue) override;
    bool saveSetting(const QString& application, const QString& section, const QString& key,
                     const QString& value) override;
};

}  // namespace tarvo::platform
