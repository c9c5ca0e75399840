#pragma once
// Connects the controller to the tool's virtual sockets, for workflow tests
// in virtual time: a connection attempt is accepted after a short delay (or
// refused while the controller is off), the tool's sends reach the shell,
// the shell's answers are delivered to the tool, and a close by the
// controller reaches the tool as the peer closing.

namespace tarvo::platform {
class VirtualPlatform;
class VirtualSocket;
}  // namespace tarvo::platform

namespace tarvo::simulator {

class ControllerEngine;

// Scripts one socket. Any connection attempt on it reaches the controller.
void attachToVirtualSocket(platform::VirtualSocket& socket, ControllerEngine& engine);

// Scripts every socket the platform creates from now on.
void attachToVirtualPlatform(platform::VirtualPlatform& platform, ControllerEngine& engine);

}  // namespace tarvo::simulator
