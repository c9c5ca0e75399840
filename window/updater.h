#pragma once
// The tool behind its one window: the link, the PC's TFTP server and its
// supervisor, the backup store and the workflow (the model the window
// shows), their start-up and shut-down, and process end. It knows nothing
// of widgets.

#include "generated/version.h"
#include "link/controller_link.h"
#include "pcside/backup_store.h"
#include "pcside/server_supervisor.h"
#include "pcside/tftp_server_control.h"
#include "platform/platform.h"
#include "workflow/workflow.h"

#include <QString>

namespace tarvo::window {

inline constexpr const char* kAppTitle = kProgramTitle;

// The window title for a version.
QString windowTitleFor(int major, int minor, int revision);
// The program's folder with exactly one trailing separator.
QString withTrailingSeparator(const QString& folder);
// The uninstaller looked for beside the program at process end.
QString uninstallerName();

class Updater {
public:
    // The run's messages and questions go to prompts.
    Updater(platform::Platform& platform, workflow::OperatorPrompts& prompts);

    // Start-up: the program's folder, no server of an earlier life, the
    // phase (and its status) the stored backup calls for.
    void load();
    // The close handler: never refuses, attempts every step.
    void unload();
    // At process end: starts the uninstaller when one lies beside the program.
    void startUninstallerIfPresent();
    // The Start/Continue button, with the address the operator typed.
    void startOrContinue(const QString& address) { workflow_.run(address); }
    // The controller address of the last connection, for the address box.
    QString savedAddress() const;

    QString programFolder() const { return programFolder_; }
    link::ControllerLink& link() { return link_; }
    pcside::TftpServerControl& server() { return server_; }
    pcside::BackupStore& store() { return store_; }
    workflow::Workflow& workflow() { return workflow_; }

private:
    platform::Platform& platform_;
    QString programFolder_;
    link::ControllerLink link_;
    pcside::TftpServerControl server_;
    pcside::ServerSupervisor supervisor_;
    pcside::BackupStore store_;
    workflow::Workflow workflow_;
};

}  // namespace tarvo::window
