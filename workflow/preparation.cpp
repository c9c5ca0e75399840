// Making the controller safe to work on: stop the firmware, open the
// safety relay; and the whole-second wait that fills the bar meanwhile.
#include "workflow/workflow.h"

#include "workflow/names.h"

namespace tarvo::workflow {

namespace {
constexpr int kFirmwareStopSeconds = 5;
constexpr int kRelayAttempts = 3;
constexpr int kRelayRetrySeconds = 5;
}  // namespace

void Workflow::Prepare_To_Update()
{
    controls_.setProgress(0);
    controls_.setStatus(QStringLiteral("Preparing to update... "));
    // Whether the firmware was running does not matter; no status is asked.
    link_.Send_Device_Command(kKillFirmware);
    Wait_With_Progress(kFirmwareStopSeconds);
}

bool Workflow::Open_Safety_Relay()
{
    controls_.setProgress(0);
    controls_.setStatus(QStringLiteral("Opening the Safety Relay... "));
    for (int attempt = 0; attempt < kRelayAttempts; ++attempt) {
        if (link_.Send_Command_With_Response(kOpenRelay, 2, 0) == 0)
            return true;
        Wait_With_Progress(kRelayRetrySeconds);
    }
    return false;
}

void Workflow::Wait_With_Progress(int Wait_Seconds)
{
    controls_.setProgress(0);
    const int step = platform::roundHalfEven16(1.0 / Wait_Seconds * 100.0);
    for (int second = 1; second <= Wait_Seconds; ++second) {
        link_.Delay_ms(1000);
        controls_.Update_Progress_Bar(step);
    }
    controls_.setProgress(100);
}

}  // namespace tarvo::workflow
