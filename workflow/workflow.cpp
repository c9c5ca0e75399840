// The Start/Continue driver: one click runs one whole pass over the
// controller's shell.
#include "workflow/workflow.h"

#include "workflow/names.h"
#include "workflow/operator_texts.h"

namespace tarvo::workflow {

Workflow::Workflow(platform::Platform& platform, platform::Controls& controls, link::ControllerLink& link,
                   TftpServer& server)
    : platform_(platform),
      controls_(controls),
      link_(link),
      server_(server),
      settings_(platform),
      output_([this](const QString& text) { controls_.setStatus(text); })
{
    QObject::connect(&link_, &link::ControllerLink::progressed, &link_,
                     [this](double points) { controls_.advanceProgress(points); });
    QObject::connect(&link_, &link::ControllerLink::lineReceived, &link_,
                     [this](const QByteArray& line) { output_.read(line); });
}

void Workflow::setPhase(Phase phase)
{
    phase_ = phase;
    controls_.setButtonCaption(phase == Phase::Backup ? OperatorTexts::startCaption()
                                                      : OperatorTexts::continueCaption());
}

void Workflow::run()
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

    firmwareStopped_ = false;
    // Everything on the PC's side is checked before the laser is touched:
    // the archive a restore would send, and the server that moves it.
    const bool pcReady = addressGiven() && (phase_ == Phase::Backup || checkArchiveToRestore()) && startServer();
    if (pcReady && connectToController()) {
        bool succeeded = false;
        if (logIn()) {
            stopFirmware();
            if (!openSafetyRelay()) {
                showMessage(OperatorTexts::relayFailed(), platform::MessageIcon::Critical);
            } else if (phase_ == Phase::Backup) {
                succeeded = backUpConfiguration();
                if (succeeded)
                    setPhase(Phase::Restore);
            } else {
                succeeded = restoreConfiguration();
                if (succeeded) {
                    settings_.setPendingRestore({});
                    setPhase(Phase::Backup);
                }
            }
        }
        if (!succeeded)
            reportEndOfFailedRun();
        link_.disconnectFromController();
    }
    stopServer();
    controls_.setButtonEnabled(true);
}

void Workflow::reportEndOfFailedRun()
{
    if (link_.wasConnectionLost())
        addNote(OperatorTexts::connectionLost());
    if (firmwareStopped_)
        addNote(OperatorTexts::laserStopped());
}

void Workflow::addNote(const QString& note)
{
    controls_.setStatus(controls_.status() + QStringLiteral("\r\n") + note);
    controls_.appendLog(QStringLiteral("\r\n[") + note + QStringLiteral("]"));
}

void Workflow::recoverFromFault(const char* what)
{
    // An unexpected failure of a window or socket operation: say so in the
    // log, stop what the run started, and give the operator the button back.
    // Each step is tried on its own, since the fault may strike again.
    const QString text = QStringLiteral("\r\n") + OperatorTexts::runFault(QString::fromLocal8Bit(what))
                         + QStringLiteral("\r\n");
    try { controls_.appendLog(text); } catch (...) {}
    try { stopServer(); } catch (...) {}
    try { link_.disconnectFromController(); } catch (...) {}
    try { controls_.setButtonEnabled(true); } catch (...) {}
}

void Workflow::showMessage(const QString& text, platform::MessageIcon icon)
{
    if (link_.isShuttingDown())
        throw link::RunAborted();
    platform_.messageBox(text, icon);
    if (link_.isShuttingDown())
        throw link::RunAborted();
}

}  // namespace tarvo::workflow
