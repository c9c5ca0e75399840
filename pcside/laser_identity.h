#pragma once
// Which laser a backup belongs to. The address cannot tell: lasers of one
// make may share one, and a laser may come up on another after its card
// swap. Its hardware (link-layer) address can, when the PC could read it.

#include "platform/controller_identity.h"

#include <QString>

namespace tarvo::pcside {

// An identity as the sidecars and the settings store keep it: the
// hardware address, "local/" and the address for a controller on this PC,
// empty when unknown.
QString identityToText(const platform::ControllerIdentity& identity);
platform::ControllerIdentity identityFromText(const QString& text);

// The history folder of a laser: "mac-" and its hardware address when
// known, else its address as given (as earlier versions filed every laser).
QString historyKey(const QString& address, const platform::ControllerIdentity& identity);
// The identity a history folder's name stands for; Unknown for a folder
// named by an address.
platform::ControllerIdentity identityFromHistoryKey(const QString& key);

// Whether the laser connected now is the one a backup was made of.
enum class LaserMatch {
    Same,
    Other,
    // One of the two identities is unknown.
    CannotTell,
};
LaserMatch compareLasers(const platform::ControllerIdentity& backup, const platform::ControllerIdentity& connected);

}  // namespace tarvo::pcside
