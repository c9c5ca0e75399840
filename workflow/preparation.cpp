// Making the controller safe to work on: stop the firmware, open the
// safety relay; and the whole-second wait that fills the bar meanwhile.
#include "workflow/workflow.h"

#include "workflow/names.h"
#include "workflow/operator_texts.h"

namespace tarvo::workflow {

namespace {
constexpr int kFirmwareStopSeconds = 5;
constexpr int kRelayAttempts = 3;
constexpr int kRelayRetrySeconds = 5;
constexpr int kRelayStatusSeconds = 2;
}  // namespace

void Workflow::stopFirmware()
{
    setProgress(0);
    setStatus(OperatorTexts::preparing());
    // Whether the firmware was running does not matter; no status is asked.
    link_.sendLine(kKillFirmware);
    firmwareStopped_ = true;
    waitWithProgress(kFirmwareStopSeconds);
}

bool Workflow::openSafetyRelay()
{
    setProgress(0);
    setStatus(OperatorTexts::openingRelay());
    for (int attempt = 0; attempt < kRelayAttempts; ++attempt) {
        if (link_.runCommand(kOpenRelay, kRelayStatusSeconds, 0) == 0)
            return true;
        if (!link_.isConnected())
            return false;  // no point in asking a controller that has gone
        waitWithProgress(kRelayRetrySeconds);
    }
    return false;
}

void Workflow::waitWithProgress(int seconds)
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
