// Reaching the controller's shell: connect, provoke the login prompt,
// answer "root", and prove that a shell answers.
#include "workflow/workflow.h"

#include "workflow/names.h"
#include "workflow/operator_texts.h"

namespace tarvo::workflow {

namespace {
constexpr int kConnectTimeoutMs = 5000;
constexpr int kPromptAttempts = 3;
constexpr int kShellStatusSeconds = 8;
}  // namespace

bool Workflow::addressGiven()
{
    if (!controls_.targetAddress().isEmpty())
        return true;
    controls_.setStatus(OperatorTexts::connecting());
    showMessage(OperatorTexts::enterAddress(), platform::MessageIcon::None);
    return false;
}

bool Workflow::connectToController()
{
    if (!addressGiven())
        return false;
    controls_.setStatus(OperatorTexts::connecting());
    const QString address = controls_.targetAddress();
    if (!link_.connectToController(address, kShellPort, kConnectTimeoutMs)) {
        showMessage(OperatorTexts::errorConnecting(), platform::MessageIcon::None);
        controls_.setStatus(OperatorTexts::connectionFailed());
        return false;
    }
    settings_.setControllerAddress(address);
    return true;
}

bool Workflow::logIn()
{
    controls_.setStatus(OperatorTexts::loggingIn());
    link_.forgetLoginPrompt();
    bool result = false;

    link_.waitMs(1000);
    controls_.advanceProgress(15);

    // At least one empty line is always sent: a prompt without a line end
    // counts only once the answer to it brings one.
    for (int attempt = 0; attempt < kPromptAttempts; ++attempt) {
        link_.sendLine(QByteArray());
        link_.waitMs(500);
        if (link_.loginPromptSeen())
            break;
    }
    controls_.advanceProgress(15);

    if (!link_.loginPromptSeen()) {
        showMessage(OperatorTexts::noLoginPrompt(), platform::MessageIcon::None);
        controls_.setStatus(OperatorTexts::loginFailed());
        return false;
    }

    link_.sendLine(kUserName);
    link_.waitMs(500);
    controls_.advanceProgress(15);

    if (link_.runCommand(QByteArray(), kShellStatusSeconds, 30) == 0) {
        result = true;
    } else {
        showMessage(OperatorTexts::noShellPrompt(), platform::MessageIcon::None);
        controls_.setStatus(OperatorTexts::loginFailed());
    }
    controls_.setProgress(100);
    return result;
}

}  // namespace tarvo::workflow
