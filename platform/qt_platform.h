#pragma once
// Every seam on Qt, for what builds a whole run: the program's main, a
// fleet's thread, a test on real sockets.

#include "platform/neighbour_table.h"
#include "platform/platform.h"
#include "platform/qt_event_loop.h"
#include "platform/qt_file_system.h"
#include "platform/qt_network.h"
#include "platform/qt_process_launcher.h"
#include "platform/qt_settings_store.h"

namespace tarvo::platform {

class QtPlatform final : public Platform,
                         public QtEventLoop,
                         public QtNetwork,
                         public QtSettingsStore,
                         public QtFileSystem,
                         public QtProcessLauncher,
                         public QtNeighbourTable {
public:
    EventLoop& eventLoop() override { return *this; }
    Network& network() override { return *this; }
    SettingsStore& settingsStore() override { return *this; }
    FileSystem& fileSystem() override { return *this; }
    ProcessLauncher& processLauncher() override { return *this; }
    NeighbourTable& neighbourTable() override { return *this; }
};

}  // namespace tarvo::platform
