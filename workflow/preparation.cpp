// Making the controller safe to work on: stop the firmware, open the
// safety relay; and the whole-second wait that fills the bar meanwhile.
#include "workflow/run.h"

#include "link/controller_link.h"
#include "workflow/names.h"
#include "workflow/operator_texts.h"

namespace tarvo::workflow {

namespace {
constexpr int kFirmwareStopSeconds = 5;
constexpr int kRelayAttempts = 3;
constexpr int kRelayRetrySeconds = 5;
constexpr int kRelayStatusSeconds = 2;
}  // namespace

StepResult Run::stopFirmware()
{
    setProgress(0);
    setStatus(OperatorTexts::preparing());
    // Whether the firmware was running does not matter; no status is asked.
    link_.sendLine(kKillFirmware);
    firmwareStopped_ = true;
    waitWithProgress(kFirmwareStopSeconds);
    return {};
}

StepResult Run::openSafetyRelay()
{
    setProgress(0);
    setStatus(OperatorTexts::openingRelay());
    for (int attempt = 0; attempt < kRelayAttempts; ++attempt) {
        if (link_.runCommand(kOpenRelay, kRelayStatusSeconds, 0) == 0)
            return {};
        if (!link_.isConnected())
            break;  // no point in asking a controller that has gone
        waitWithProgress(kRelayRetrySeconds);
    }
    return Failure{.outcome = Outcome::ControllerFailed, .message = OperatorTexts::relayFailed()};
}

void Run::waitWithProgress(int seconds)
{
    setProgress(0);
    const int step = roundHalfEven16(1.0 / seconds * 100.0);
    for (int second = 1; second <= seconds; ++second) {
        link_.waitMs(1000);
        advanceProgress(step);
    }
    setProgress(100);
}

}  // namespace tarvo::workflow
