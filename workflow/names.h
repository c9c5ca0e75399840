#pragma once
// The fixed names and command lines of the configuration transfer.

#include "pcside/names.h"

namespace tarvo::workflow {

using pcside::kArchiveName;

inline constexpr char kUserName[] = "root";
inline constexpr char kKillFirmware[] = "killall laser.elf";
// Sent exactly as written: the controller's shell expands the four escapes
// and writes four zero bytes, which opens the safety relay.
inline constexpr char kOpenRelay[] = "echo -ne '\\x00\\x00\\x00\\x00' > /dev/gpio0";
inline constexpr char kRemount[] = "mount -o remount /dev/mmcblk0p2 /zel";
inline constexpr char kProfilesDir[] = "media/profiles";
inline constexpr char kArchiveDirectories[] = "media/profiles media/sequences media/prv_bmp";

// Every status step of the transfer waits this long for its exit status
// and advances the bar by this much.
inline constexpr int kTransferStatusSeconds = 20;
inline constexpr int kTransferProgress = 10;
// A step that shows it works (listing lines, transfer reports) waits that
// long again after each sign of life, up to this ceiling; sync, which
// prints nothing while it flushes the card, may stay silent this long.
inline constexpr int kTransferCeilingSeconds = 30 * 60;
inline constexpr int kSyncSilentSeconds = 5 * 60 - 2;

}  // namespace tarvo::workflow
