#include "pcside/stored_settings.h"

#include "pcside/laser_identity.h"

namespace tarvo::pcside {

QString StoredSettings::get(const char* section, const char* key) const
{
    return store_.getSetting(QString::fromLatin1(kApplication), QString::fromLatin1(section),
                                QString::fromLatin1(key), QString());
}

bool StoredSettings::set(const char* section, const char* key, const QString& value)
{
    return store_.saveSetting(QString::fromLatin1(kApplication), QString::fromLatin1(section), QString::fromLatin1(key),
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
    return chosen.isEmpty() ? files_.dataFolder() : chosen;
}

PendingRestore StoredSettings::pendingRestore() const
{
    return {get("Restore", "Archive"), get("Restore", "Controller"), get("Restore", "Time"),
            identityFromText(get("Restore", "Identity"))};
}

bool StoredSettings::setPendingRestore(const PendingRestore& pending)
{
    // The archive is what makes a restore pending: written last when one
    // is set and cleared first when none is, so that a store left half
    // written never holds an archive without its controller and time.
    if (!pending.isValid())
        return set("Restore", "Archive", QString()) && set("Restore", "Controller", QString())
               && set("Restore", "Time", QString()) && set("Restore", "Identity", QString());
    const bool told = set("Restore", "Controller", pending.controller) && set("Restore", "Time", pending.time)
                      && set("Restore", "Identity", identityToText(pending.identity));
    return set("Restore", "Archive", told ? pending.archive : QString()) && told;
}

InterruptedRun StoredSettings::interruptedRun() const
{
    return {get("Interrupted", "Controller"), get("Interrupted", "Laser"), get("Interrupted", "Step"),
            get("Interrupted", "Time"), get("Interrupted", "Phase") == QLatin1String("restore"),
            get("Interrupted", "FirmwareStopped") == QLatin1String("yes")};
}

bool StoredSettings::setInterruptedRun(const InterruptedRun& run)
{
    // The controller makes the record: written last, cleared first.
    if (!run.isValid())
        return set("Interrupted", "Controller", QString()) && set("Interrupted", "Laser", QString())
               && set("Interrupted", "Step", QString()) && set("Interrupted", "Time", QString())
               && set("Interrupted", "Phase", QString()) && set("Interrupted", "FirmwareStopped", QString());
    const bool told = set("Interrupted", "Laser", run.laser) && set("Interrupted", "Step", run.step)
                      && set("Interrupted", "Time", run.time)
                      && set("Interrupted", "Phase", run.restore ? QStringLiteral("restore") : QStringLiteral("backup"))
                      && set("Interrupted", "FirmwareStopped", run.firmwareStopped ? QStringLiteral("yes")
                                                                                   : QStringLiteral("no"));
    return told && set("Interrupted", "Controller", run.controller);
}

}  // namespace tarvo::pcside
