// Logging in to the controller's shell: provoke the prompt, answer "root",
// and prove that a shell answers.
#include "workflow/workflow.h"

#include "workflow/names.h"

namespace tarvo::workflow {

namespace {
constexpr int kPromptAttempts = 3;
}

bool Workflow::Login_To_Laser()
{
    controls_.setStatus(QStringLiteral("Login to laser... "));
    link_.Login_Prompt_Seen = false;
    bool result = false;

    link_.Delay_ms(1000);
    controls_.Update_Progress_Bar(15);

    // At least one empty line is always sent: a prompt without a line end
    // counts only once the answer to it brings one.
    for (int attempt = 0; attempt < kPromptAttempts; ++attempt) {
        link_.Send_Device_Command(QByteArray());
        link_.Delay_ms(500);
        if (link_.Login_Prompt_Seen)
            break;
    }
    controls_.Update_Progress_Bar(15);

    if (!link_.Login_Prompt_Seen) {
        link_.Show_Message(QStringLiteral("Login to Laser failed. Cannot get prompt for login."), platform::vbOKOnly);
        controls_.setStatus(QStringLiteral("Login failed"));
        return false;
    }

    link_.Send_Device_Command(kUserName);
    link_.Delay_ms(500);
    controls_.Update_Progress_Bar(15);

    if (link_.Send_Command_With_Response(QByteArray(), 8, 30) == 0) {
        result = true;
    } else {
        link_.Show_Message(QStringLiteral("Login to Laser failed. Cannot get prompt after login."), platform::vbOKOnly);
        controls_.setStatus(QStringLiteral("Login failed"));
    }
    controls_.setProgress(100);
    return result;
}

}  // namespace tarvo::workflow
