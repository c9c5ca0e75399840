// The PC's side of a run: its TFTP server is listening before the laser
// is touched, and is closed when the run ends.
#include "workflow/run.h"

#include "link/controller_link.h"
#include "pcside/backup_store.h"
#include "pcside/pc_texts.h"
#include "pcside/server_supervisor.h"
#include "workflow/operator_texts.h"

namespace tarvo::workflow {

StepResult Run::startServer()
{
    watch_.begin(server_.programPath());
    watch_.onProgress = [this](const pcside::ServerWatch::Progress& progress) { showTransferProgress(progress); };
    transferStartedMs_ = -1;
    followingServer_ = true;
    if (options().serverShared) {
        // Started and awaited by its owner: this run joins it listening.
        if (server_.isReady()) {
            readServerLine(server_.readyLine());
            return {};
        }
    } else if (server_.start(store_.folder(), {controllerIPv4_}, [this](int ms) { link_.waitMs(ms); },
                             phase() == Phase::Restore ? pcside::ServerSupervisor::Uploads::Refused
                                                       : pcside::ServerSupervisor::Uploads::Taken)) {
        return {};
    }
    followingServer_ = false;
    watch_.stopped();
    // The PC side was not ready: the run ends like any failed one.
    return Failure{.outcome = Outcome::PcNotReady,
                   .message = server_.failure().isEmpty()
                                  ? pcside::PcTexts::serverNotReady(pcside::ServerSupervisor::kReadyMs / 1000)
                                  : server_.failure(),
                   .status = transferFailed()};
}

void Run::stopServer()
{
    followingServer_ = false;
    watch_.stopped();
    if (!options().serverShared)
        server_.stop();
}

void Run::readServerLine(const QString& line)
{
    if (!followingServer_)
        return;
    watch_.readLine(line);
    record_.serverLine(line);
}

void Run::serverExited(int exitCode)
{
    if (followingServer_)
        watch_.exited(exitCode);
}

}  // namespace tarvo::workflow
