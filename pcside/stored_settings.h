#pragma once
// What the tool keeps between runs, in the platform's per-user settings
// store: the controller address of the last connection, the archive folder
// (when not the default), and the backup waiting to be restored.

#include "platform/controller_identity.h"
#include "platform/file_system.h"
#include "platform/settings_store.h"

#include <QString>

namespace tarvo::pcside {

// A verified backup that waits to be written onto a new card.
struct PendingRestore {
    QString archive;     // the file in the history
    QString controller;  // the address it came from
    QString time;        // when it was made, as shown to the operator
    platform::ControllerIdentity identity;  // the laser it came from
    bool isValid() const { return !archive.isEmpty(); }
};

// A run the window's closing cut short: the laser it was on and where it
// stood, for the next start to tell the operator.
struct InterruptedRun {
    QString controller;  // the address the run was given
    QString laser;       // the laser as shown to the operator, its hardware with it
    QString step;        // what the status said when the window was closed
    QString time;        // when, as shown to the operator
    bool restore = false;
    bool firmwareStopped = false;
    bool isValid() const { return !controller.isEmpty(); }
};

class StoredSettings {
public:
    StoredSettings(platform::SettingsStore& store, platform::FileSystem& files) : store_(store), files_(files) {}

    QString controllerAddress() const;
    void setControllerAddress(const QString& address);

    // The folder the PC's TFTP server serves and the history lives in.
    QString archiveFolder() const;

    PendingRestore pendingRestore() const;
    // False when the store could not keep it.
    bool setPendingRestore(const PendingRestore& pending);

    InterruptedRun interruptedRun() const;
    bool setInterruptedRun(const InterruptedRun& run);

    // Where the store keeps the address: application, section and key.
    // The application name the store files them under: the program's title
    // when it was first released, kept so that stored settings stay found.
    static constexpr char kApplication[] = "Tarvo Configuration Updater";
    static constexpr char kSection[] = "Comm";
    static constexpr char kAddressKey[] = "IP_Addr";

private:
    QString get(const char* section, const char* key) const;
    bool set(const char* section, const char* key, const QString& value);
    platform::SettingsStore& store_;
    platform::FileSystem& files_;
};

}  // namespace tarvo::pcside
