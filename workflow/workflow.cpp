// The Start/Continue driver: one click runs one whole pass over the
// controller's shell; the button's caption carries the phase between runs.
#include "workflow/workflow.h"

#include "workflow/names.h"

namespace tarvo::workflow {

Workflow::Workflow(platform::Platform& platform, platform::Controls& controls,
                   link::ControllerLink& link, ServerControl& server, std::function<QString()> appFolder)
    : platform_(platform), controls_(controls), link_(link), server_(server), appFolder_(std::move(appFolder))
{
}

void Workflow::cmd_Start_Continue_Click()
{
    if (running_)
        return;  // the disabled button already prevents this
    running_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{running_};
    try {
        runSteps();
    } catch (const link::RunAborted&) {
        // The window was closed during a wait; its shut-down has closed the
        // server and the link. Nothing of the window is touched any more.
    } catch (const std::exception& e) {
        recoverFromFault(e.what());
    }
}

void Workflow::runSteps()
{
    controls_.setButtonEnabled(false);
    controls_.setProgress(0);
    controls_.appendLog(QStringLiteral("\r\n\r\n"));
    controls_.appendLog(controls_.windowTitle() + QStringLiteral("\r\n"));

    link_.Connect_Network(kShellPort, kConnectTimeoutMs);
    if (link_.Network_Connected) {
        if (Login_To_Laser()) {
            Prepare_To_Update();
            if (!Open_Safety_Relay()) {
                link_.Show_Message(QStringLiteral("Opening Safety Relay failed"), platform::vbCritical);
            } else {
                server_.Start_TFTP_Server();
                if (controls_.buttonCaption() == QLatin1String(kStartCaption)) {
                    if (Read_Config_Data())
                        controls_.setButtonCaption(QString::fromLatin1(kContinueCaption));
                } else {
                    if (Write_Config_Data())
                        controls_.setButtonCaption(QString::fromLatin1(kStartCaption));
                }
                server_.Close_TFTP_Server();
            }
        }
        link_.Disconnect_Network();
    }
    controls_.setButtonEnabled(true);
}

void Workflow::recoverFromFault(const char* what)
{
    // An unexpected failure of a window or socket operation: say so in the
    // log, stop what the run started, and give the operator the button back.
    // Each step is tried on its own, since the fault may strike again.
    const QString text = QStringLiteral("\r\n[The run stopped after an unexpected fault: %1]\r\n")
                             .arg(QString::fromLocal8Bit(what));
    try { controls_.appendLog(text); } catch (...) {}
    try { server_.Close_TFTP_Server(); } catch (...) {}
    try { link_.Disconnect_Network(); } catch (...) {}
    try { controls_.setButtonEnabled(true); } catch (...) {}
}

}  // namespace tarvo::workflow
