#pragma once
// The configuration transfer: one click of the Start/Continue button runs
// one whole pass over the controller's shell. The workflow owns the phase
// between runs (back up, then restore onto the new card); the button's
// caption only shows it.

#include "link/controller_link.h"
#include "platform/controls.h"
#include "platform/platform.h"
#include "workflow/controller_output.h"
#include "workflow/stored_settings.h"

#include <QString>

#include <functional>

namespace tarvo::workflow {

// The PC-side TFTP server as the workflow sees it.
class TftpServer {
public:
    virtual ~TftpServer() = default;
    // Starts the server for a run; false when its program is missing.
    virtual bool start() = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
};

class Workflow {
public:
    enum class Phase {
        Backup,   // Start: save the configuration from the old card
        Restore,  // Continue: write it onto the new card
    };

    Workflow(platform::Platform& platform, platform::Controls& controls, link::ControllerLink& link,
             TftpServer& server, std::function<QString()> programFolder);

    // One click of the Start/Continue button: a whole run.
    void run();
    bool isRunning() const { return running_; }

    Phase phase() const { return phase_; }
    // Sets the phase and the button's caption that shows it.
    void setPhase(Phase phase);

    // The steps of a run, in order.
    bool connectToController();
    bool logIn();
    void stopFirmware();
    bool openSafetyRelay();
    bool backUpConfiguration();
    bool restoreConfiguration();

    // Waits whole seconds while the bar fills.
    void waitWithProgress(int seconds);
    // A modal message box; after it returns, a closed window ends the run.
    void showMessage(const QString& text, platform::MessageIcon icon);

    // The controller's shell port.
    static constexpr int kShellPort = 1138;

private:
    void runSteps();
    // After a run that did not succeed: says when the link was lost and
    // when the laser was left with its firmware stopped.
    void reportEndOfFailedRun();
    void addNote(const QString& note);
    void recoverFromFault(const char* what);
    // A step of the transfer judged by its exit status, 0 on success.
    std::int16_t statusStep(const QByteArray& command);
    // A step whose outcome is not examined: the command, then half a second.
    void plainStep(const QByteArray& command);
    void showError(const QString& text);
    int lastCode() const { return link_.lastStatus(); }

    platform::Platform& platform_;
    platform::Controls& controls_;
    link::ControllerLink& link_;
    TftpServer& server_;
    std::function<QString()> programFolder_;
    StoredSettings settings_;
    ControllerOutputReader output_;
    Phase phase_ = Phase::Backup;
    bool firmwareStopped_ = false;
    bool running_ = false;
};

}  // namespace tarvo::workflow
