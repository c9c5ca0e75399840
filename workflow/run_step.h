#pragma once
// The steps of a run, in the order a run takes them. A backup skips the
// archive and the laser checks, a restore packs nothing.

namespace tarvo::workflow {

enum class RunStep {
    None,  // between runs
    CheckingAddress,
    CheckingArchive,  // a restore's archive, before the laser is touched
    LookingUp,
    StartingServer,
    Connecting,
    CheckingLaser,  // Continue: is it the laser of the backup
    LoggingIn,
    StoppingFirmware,
    OpeningRelay,
    Remounting,
    Packing,
    Staging,
    Downloading,
    Syncing,
    Unpacking,
    SyncingUnpacked,
    Uploading,
    Verifying,
    Finishing,
};

}  // namespace tarvo::workflow
