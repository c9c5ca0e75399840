#pragma once
// What the tool keeps between runs, in the platform's per-user settings
// store: the controller address of the last connection.

#include "platform/platform.h"

#include <QString>

namespace tarvo::workflow {

class StoredSettings {
public:
    explicit StoredSettings(platform::Platform& platform) : platform_(platform) {}

    QString controllerAddress() const;
    void setControllerAddress(const QString& address);

    // Where the store keeps it: application, section and key.
    static constexpr char kApplication[] = "Tarvo Configuration Updater";
    static constexpr char kSection[] = "Comm";
    static constexpr char kAddressKey[] = "IP_Addr";

private:
    platform::Platform& platform_;
};

}  // namespace tarvo::workflow
