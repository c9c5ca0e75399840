#include "pcside/stored_settings.h"

namespace tarvo::pcside {

QString StoredSettings::get(const char* section, const char* key) const
{
    return platform_.getSetting(QString::fromLatin1(kApplication), QString::fromLatin1(section),
                                QString::fromLatin1(key), QString());
}

void StoredSettings::set(const char* section, const char* key, const QString& value)
{
    platform_.saveSetting(QString::fromLatin1(kApplication), QString::fromLatin1(section), QString::fromLatin1(key),
                          value);
}

QString StoredSettings::controllerAddress() const
{
    return get(kSection, kAddressKey);
}

void StoredSettings::setControllerAddress(const QString& address)
{
    set(kSection, kAddressKey, address);
}

QString StoredSettings::archiveFolder() const
{
    const QString chosen = get("Archive", "Folder");
    return chosen.isEmpty() ? platform_.dataFolder() : chosen;
}

PendingRestore StoredSettings::pendingRestore() const
{
    return {get("Restore", "Archive"), get("Restore", "Controller"), get("Restore", "Time")};
}

void StoredSettings::setPendingRestore(const PendingRestore& pending)
{
    set("Restore", "Archive", pending.archive);
    set("Restore", "Controller", pending.controller);
    set("Restore", "Time", pending.time);
}

}  // namespace tarvo::pcside
