#pragma once
// The configuration transfer: the Start/Continue driver and its steps
// (login, preparation, backup, restore).

#include "link/controller_link.h"
#include "platform/controls.h"
#include "platform/platform.h"

#include <QString>

#include <functional>

namespace tarvo::workflow {

// The PC-side TFTP server as the workflow sees it.
class ServerControl {
public:
    virtual ~ServerControl() = default;
    virtual void Start_TFTP_Server() = 0;
    virtual void Close_TFTP_Server() = 0;
    virtual bool isServerRunning() const = 0;
};

class Workflow {
public:
    Workflow(platform::Platform& platform, platform::Controls& controls, link::ControllerLink& link,
             ServerControl& server, std::function<QString()> appFolder);

    // One click of the Start/Continue button: a whole run.
    void cmd_Start_Continue_Click();

    bool Login_To_Laser();
    void Prepare_To_Update();
    bool Open_Safety_Relay();
    void Wait_With_Progress(int Wait_Seconds);
    bool Read_Config_Data();
    bool Write_Config_Data();

    bool isRunning() const { return running_; }

private:
    void runSteps();
    void recoverFromFault(const char* what);
    // Status step of the transfer: the command's exit status, 0 on success.
    std::int16_t statusStep(const QByteArray& command);
    // Plain step: the command, then half a second; its outcome is not examined.
    void plainStep(const QByteArray& command);
    void showError(const QString& text);
    QString codeText() const;

    platform::Platform& platform_;
    platform::Controls& controls_;
    link::ControllerLink& link_;
    ServerControl& server_;
    std::function<QString()> appFolder_;
    bool running_ = false;
};

}  // namespace tarvo::workflow
