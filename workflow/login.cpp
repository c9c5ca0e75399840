// Reaching the controller's shell: connect, provoke the login prompt,
// answer "root", and prove that a shell answers.
#include "workflow/workflow.h"

#include "workflow/failure_texts.h"
#include "workflow/names.h"
#include "workflow/operator_texts.h"

#include <QRegularExpression>

namespace tarvo::workflow {

namespace {
constexpr int kConnectTimeoutMs = 5000;
constexpr int kPromptAttempts = 3;
constexpr int kShellStatusSeconds = 8;
}  // namespace

bool isControllerAddress(const QString& text)
{
    // A dotted IPv4 address, or a host name (letters, digits, hyphens,
    // dots between labels). The system's resolver reads a leading zero as
    // octal and 0x as hexadecimal (127.0.0.010 is 127.0.0.8, 0x7f.1 is
    // 127.0.0.1), so neither is taken: what connects must be what was typed.
    static const QRegularExpression ipv4(QStringLiteral("^(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})$"));
    static const QRegularExpression hostName(
        QStringLiteral("^(?=.{1,253}$)[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?(\\.[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*$"));
    const auto m = ipv4.match(text);
    if (m.hasMatch()) {
        for (int i = 1; i <= 4; ++i) {
            const QString octet = m.captured(i);
            if (octet.toInt() > 255 || (octet.size() > 1 && octet.startsWith(QLatin1Char('0'))))
                return false;
        }
        return true;
    }
    // Numbers alone, decimal or hexadecimal, would be read as an address.
    static const QRegularExpression numeric(
        QStringLiteral("^[0-9.]*$|^(?:(?:0[xX][0-9A-Fa-f]++|[0-9]++)\\.?+)++$"));
    return !numeric.match(text).hasMatch() && hostName.match(text).hasMatch();
}

bool Workflow::addressGiven()
{
    if (isControllerAddress(address_))
        return true;
    // Blanks at the ends were trimmed when the run began.
    QString text = OperatorTexts::enterAddress();
    if (address_.contains(QRegularExpression(QStringLiteral("\\s"))))
        failureReason_ = FailureTexts::blankInAddress(address_);
    else if (!address_.isEmpty())
        failureReason_ = FailureTexts::notAnAddress(address_);
    if (!failureReason_.isEmpty())
        text += QLatin1Char('\n') + failureReason_;
    showMessage(text, MessageIcon::None);
    return false;
}

void Workflow::connectionFailed(const QString& logged, const QString& cause)
{
    appendLog(QStringLiteral("\r\n") + logged);
    transcript_.add(pcside::Transcript::Source::Tool, logged);
    failureReason_ = cause;
    showMessage(OperatorTexts::errorConnecting() + QLatin1Char('\n') + cause, MessageIcon::None);
    setStatus(OperatorTexts::connectionFailed() + QStringLiteral("\r\n") + cause);
}

bool Workflow::findController()
{
    controllerIPv4_ = platform_.network().lookUpIPv4(address_, kLookUpMs);
    if (link_.isShuttingDown())
        throw link::RunAborted();
    if (!controllerIPv4_.isEmpty())
        return true;
    connectionFailed(OperatorTexts::couldNotConnect(address_, kShellPort, OperatorTexts::nameNotFound(kLookUpMs / 1000)),
                     FailureTexts::nameUnknown(address_, kLookUpMs / 1000));
    return false;
}

bool Workflow::connectToController(const QString& address)
{
    address_ = address;
    if (!addressGiven())
        return false;
    setStatus(OperatorTexts::connecting());
    // To the address the server takes requests from, whatever the name
    // would lead to now.
    if (!link_.connectToController(controllerIPv4_, kShellPort, kConnectTimeoutMs)) {
        const QString error = link_.lastSocketError();
        const QString reason = error.isEmpty() ? OperatorTexts::noAnswerWithin(kConnectTimeoutMs / 1000) : error;
        QString cause;
        if (error.isEmpty() || link_.lastSocketErrorKind() == platform::SocketError::TimedOut)
            cause = FailureTexts::noAnswer(address, kShellPort, kConnectTimeoutMs / 1000);
        else if (link_.lastSocketErrorKind() == platform::SocketError::ConnectionRefused)
            cause = FailureTexts::refused(address, kShellPort);
        else if (link_.lastSocketErrorKind() == platform::SocketError::HostNotFound)
            cause = FailureTexts::nameUnknown(address, kLookUpMs / 1000);
        else
            cause = FailureTexts::unreachable(address, kShellPort, error);
        connectionFailed(OperatorTexts::couldNotConnect(address, kShellPort, reason), cause);
        return false;
    }
    settings_.setControllerAddress(address);
    // Read from the PC's own tables: nothing goes on the wire.
    identity_ = platform_.neighbourTable().controllerIdentity(link_.peerAddress(), link_.localAddress());
    const QString hardware = pcside::identityToText(identity_);
    transcript_.add(pcside::Transcript::Source::Tool,
                    QStringLiteral("hardware: ") + (hardware.isEmpty() ? QStringLiteral("unknown") : hardware));
    return true;
}

bool Workflow::logIn()
{
    setStatus(OperatorTexts::loggingIn());
    link_.forgetLoginPrompt();
    bool result = false;

    link_.waitMs(1000);
    advanceProgress(15);

    // At least one empty line is always sent: a prompt without a line end
    // counts only once the answer to it brings one.
    for (int attempt = 0; attempt < kPromptAttempts; ++attempt) {
        link_.sendLine(QByteArray());
        link_.waitMs(500);
        if (link_.loginPromptSeen())
            break;
    }
    advanceProgress(15);

    if (!link_.loginPromptSeen()) {
        showMessage(OperatorTexts::noLoginPrompt(), MessageIcon::None);
        setStatus(OperatorTexts::loginFailed());
        return false;
    }

    link_.sendLine(kUserName);
    link_.waitMs(500);
    advanceProgress(15);

    if (link_.runCommand(QByteArray(), kShellStatusSeconds, 30) == 0) {
        result = true;
    } else {
        showMessage(OperatorTexts::noShellPrompt(), MessageIcon::None);
        setStatus(OperatorTexts::loginFailed());
    }
    setProgress(100);
    return result;
}

}  // namespace tarvo::workflow
