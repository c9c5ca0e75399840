#pragma once
// The tool behind its one window: start-up, the log toggle, shut-down and
// process end, with the link, the server control and the workflow it owns.
// The widgets are behind platform::Controls.

#include "link/controller_link.h"
#include "platform/controls.h"
#include "platform/platform.h"
#include "window/tftp_server_control.h"
#include "workflow/workflow.h"

#include <QString>

namespace tarvo::window {

inline constexpr char kAppTitle[] = "Tarvo Configuration Updater";
// The window's height with the log hidden, in twips.
inline constexpr int kCollapsedHeightTwips = 5000;

// The window title for a version.
QString windowTitleFor(int major, int minor, int revision);
// The program's folder with exactly one trailing separator.
QString withTrailingSeparator(const QString& folder);
// The uninstaller looked for beside the program at process end.
QString uninstallerName();

class Updater {
public:
    Updater(platform::Platform& platform, platform::Controls& controls);

    // Prepares the window: title, saved address, phase, collapsed log.
    void load();
    // The close handler: never refuses, attempts every step.
    void unload();
    // At process end: starts the uninstaller when one lies beside the program.
    void startUninstallerIfPresent();
    // Shows or hides the log, growing or shrinking the window with it.
    void toggleLog();
    // The Start/Continue button.
    void startOrContinue() { workflow_.run(); }

    QString programFolder() const { return programFolder_; }
    int fullHeightTwips() const { return fullHeightTwips_; }
    link::ControllerLink& link() { return link_; }
    TftpServerControl& server() { return server_; }
    workflow::Workflow& workflow() { return workflow_; }

private:
    platform::Platform& platform_;
    platform::Controls& controls_;
    QString programFolder_;
    int fullHeightTwips_ = 0;
    link::ControllerLink link_;
    TftpServerControl server_;
    workflow::Workflow workflow_;
};

}  // namespace tarvo::window
