// The PC's side of a run: its TFTP server is listening before the laser
// is touched, and is closed when the run ends.
#include "workflow/workflow.h"

#include "pcside/pc_texts.h"
#include "workflow/operator_texts.h"

namespace tarvo::workflow {

bool Workflow::startServer()
{
    watch_.begin(server_.programPath());
    watch_.onProgress = [this](const pcside::ServerWatch::Progress& progress) { showTransferProgress(progress); };
    transferStartedMs_ = -1;
    followingServer_ = true;
    if (options_.serverShared) {
        // Started and awaited by its owner: this run joins it listening.
        if (server_.isReady()) {
            readServerLine(server_.readyLine());
            return true;
        }
    } else if (server_.start(store_.folder(), {controllerIPv4_}, [this](int ms) { link_.waitMs(ms); },
                             phase_ == Phase::Restore ? pcside::ServerSupervisor::Uploads::Refused
                                                      : pcside::ServerSupervisor::Uploads::Taken)) {
        return true;
    }
    followingServer_ = false;
    watch_.stopped();
    showMessage(server_.failure().isEmpty() ? pcside::PcTexts::serverNotReady(pcside::ServerSupervisor::kReadyMs / 1000)
                                            : server_.failure(),
                MessageIcon::Critical);
    return false;
}

void Workflow::stopServer()
{
    followingServer_ = false;
    watch_.stopped();
    if (!options_.serverShared)
        server_.stop();
}

void Workflow::readServerLine(const QString& line)
{
    if (!followingServer_)
        return;
    watch_.readLine(line);
    transcript_.add(pcside::Transcript::Source::Server, line);
    appendLog(QStringLiteral("\r\n") + OperatorTexts::serverLine(line));
}

void Workflow::serverExited(int exitCode)
{
    if (followingServer_)
        watch_.exited(exitCode);
}

}  // namespace tarvo::workflow
