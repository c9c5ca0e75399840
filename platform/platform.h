#pragma once
// The seams between the tool and everything that waits, keeps time, or
// talks to the outside, one per job: the event loop (clock, timers, pump),
// the network, the settings store, the file system, the programs the tool
// starts, and the neighbour table. A class takes the seams it uses; a
// Platform hands out all of them, for what builds a whole run.
//
// Two implementations exist: QtPlatform for the real program, and
// VirtualPlatform for tests, whose clock jumps from event to event.

#include "platform/controller_identity.h"
#include "platform/event_loop.h"
#include "platform/file_system.h"
#include "platform/network.h"
#include "platform/process_launcher.h"
#include "platform/settings_store.h"

namespace tarvo::platform {

class Platform {
public:
    virtual ~Platform() = default;

    virtual EventLoop& eventLoop() = 0;
    virtual Network& network() = 0;
    virtual SettingsStore& settingsStore() = 0;
    virtual FileSystem& fileSystem() = 0;
    virtual ProcessLauncher& processLauncher() = 0;
    virtual NeighbourTable& neighbourTable() = 0;
};

}  // namespace tarvo::platform
