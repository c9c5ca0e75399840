#include "virtual_rig.h"

namespace tarvo::test {

ScriptedPeer::ScriptedPeer(platform::VirtualPlatform& platform, platform::VirtualSocket& socket)
    : platform_(platform), socket_(socket)
{
    socket_.onPeerReceive = [this](const QByteArray& data) {
        buffer_ += data;
        for (;;) {
            const auto end = buffer_.indexOf("\r\n");
            if (end < 0)
                break;
            const QByteArray line = buffer_.left(end);
            buffer_.remove(0, end + 2);
            lines.append(line);
            if (!onLine)
                continue;
            for (const Reply& r : onLine(line))
                socket_.deliverAt(platform_.nowMs() + r.delayMs, r.text);
        }
    };
}

VirtualRig::VirtualRig()
{
    controls.clock = [this] { return platform.nowMs(); };
    updater = std::make_unique<window::Updater>(platform, prompts);
    controls.watch(updater->workflow());
    updater->load();
}

VirtualRig::~VirtualRig() = default;

ScriptedPeer& VirtualRig::connectScripted(const QString& address)
{
    controls.setTargetAddress(address);
    peer = std::make_unique<ScriptedPeer>(platform, socket());
    link().connectToController(address, workflow::Workflow::kShellPort, 5000);
    return *peer;
}

}  // namespace tarvo::test
