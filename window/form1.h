#pragma once
// The tool's one window as procedures and state: start-up, the log toggle,
// shut-down and process end, with the link, the server control and the
// workflow it owns. The widgets are behind platform::Controls.

#include "link/controller_link.h"
#include "platform/controls.h"
#include "platform/platform.h"
#include "window/tftp_server_control.h"
#include "workflow/workflow.h"

#include <QString>

namespace tarvo::window {

inline constexpr char kAppTitle[] = "Tarvo Configuration Updater";
inline constexpr int Collapsed_Form_Height = 5000;  // twips

// The window title for a version.
QString formTitle(int major, int minor, int revision);
// The program's folder with exactly one trailing separator.
QString appFolderFrom(const QString& appPath);
// The uninstaller looked for beside the program at process end.
QString uninstallerName();

class Form1 {
public:
    Form1(platform::Platform& platform, platform::Controls& controls);

    void Form_Load();
    // The close handler: never refuses, attempts every step.
    void Form_Unload();
    void Form_Terminate();
    void Label3_DblClick();
    void cmd_Start_Continue_Click() { workflow.cmd_Start_Continue_Click(); }

    QString App_Folder;
    int Full_Form_Height = 0;

    link::ControllerLink link;
    TftpServerControl server;
    workflow::Workflow workflow;

private:
    platform::Platform& platform_;
    platform::Controls& controls_;
};

}  // namespace tarvo::window
