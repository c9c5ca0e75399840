#pragma once
// The virtual-time test double of every seam at once, for what builds a
// whole run: the clock jumps from event to event, sockets are scripted,
// settings and files live in memory, programs and the neighbour table are
// tables. Its parts are the seams' own doubles, so a class that takes one
// seam is handed this platform as that seam.

#include "platform/platform.h"
#include "virtual_event_loop.h"
#include "virtual_files.h"
#include "virtual_network.h"
#include "virtual_processes.h"

namespace tarvo::platform {

class VirtualPlatform : public Platform,
                              public VirtualEventLoop,
                              public VirtualNetwork,
                              public VirtualSettingsStore,
                              public VirtualFileSystem,
                              public VirtualProcessLauncher,
                              public VirtualNeighbourTable {
public:
    VirtualPlatform() : VirtualNetwork(static_cast<VirtualEventLoop&>(*this)) {}

    EventLoop& eventLoop() override { return *this; }
    Network& network() override { return *this; }
    SettingsStore& settingsStore() override { return *this; }
    FileSystem& fileSystem() override { return *this; }
    ProcessLauncher& processLauncher() override { return *this; }
    NeighbourTable& neighbourTable() override { return *this; }
};

}  // namespace tarvo::platform
