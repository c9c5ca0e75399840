// Sending shell commands, collecting their exit status, and the timed wait
// that keeps the window's events flowing.
#include "link/controller_link.h"

#include <algorithm>

namespace tarvo::link {

namespace {
constexpr char kStatusRequest[] = "echo CMDVAL: $?";
constexpr char kLineEnd[] = "\r\n";
// After a command and after the status request, the controller gets this
// long before the tool looks for an answer; then it looks every half second.
constexpr int kSettleMs = 1000;
constexpr int kPollMs = 500;
}  // namespace

void ControllerLink::sendLine(const QByteArray& line)
{
    if (!connected_ || shuttingDown_)
        return;
    emit lineSent(line);
    if (!socket_->write(line + kLineEnd)) {
        connectionLost_ = true;
        disconnectFromController();
    }
}

std::int16_t ControllerLink::runCommand(const QByteArray& command, int secondsToWait, double progressStep)
{
    return exchange(command, secondsToWait, 0, progressStep);
}

std::int16_t ControllerLink::runCommandWhileAlive(const QByteArray& command, int silentSeconds, int ceilingSeconds,
                                                  double progressStep)
{
    return exchange(command, silentSeconds, ceilingSeconds, progressStep);
}

void ControllerLink::noteSignOfLife()
{
    lastSignOfLifeMs_ = events_.nowMs();
}

std::int16_t ControllerLink::exchange(const QByteArray& command, int secondsToWait, int ceilingSeconds,
                                      double progressStep)
{
    giveUp_ = GiveUp::None;
    abandonRequested_ = false;
    sendLine(command);
    if (!waitForAnswer(kSettleMs)) {
        giveUp_ = GiveUp::ConnectionLost;
        return lastStatus_ = kNoStatus;
    }
    emit progressed(progressStep);
    requestStatus();
    if (!waitForAnswer(kSettleMs)) {
        giveUp_ = GiveUp::ConnectionLost;
        return lastStatus_;
    }
    emit progressed(progressStep);

    // The status is looked for every half second, 2 * secondsToWait + 1
    // times after the request has settled: the give-up comes secondsToWait
    // + 2.5 s after the command. A command that shows it still works (a
    // line from the controller, a report of its transfer) gets that long
    // again from its last sign of life, up to the ceiling.
    const std::int64_t looking = events_.nowMs();
    const std::int64_t allowanceMs = std::int64_t(kPollMs) * (2 * secondsToWait + 1);
    const std::int64_t commandSentMs = looking - 2 * kSettleMs;
    const bool alive = ceilingSeconds > 0;
    lastSignOfLifeMs_ = commandSentMs;
    for (;;) {
        if (lastStatus_ != kNoStatus)
            break;
        if (abandonRequested_) {
            giveUp_ = GiveUp::Abandoned;
            break;
        }
        const std::int64_t now = events_.nowMs();
        std::int64_t deadline = looking + allowanceMs;
        if (alive && lastSignOfLifeMs_ >= looking)
            deadline = std::max(deadline, lastSignOfLifeMs_ + allowanceMs + 2 * kSettleMs);
        if (alive && now - commandSentMs >= std::int64_t(ceilingSeconds) * 1000) {
            giveUp_ = GiveUp::Ceiling;
            break;
        }
        if (now >= deadline) {
            giveUp_ = GiveUp::Silence;
            break;
        }
        if (!waitForAnswer(int(std::min<std::int64_t>(kPollMs, deadline - now)))) {
            giveUp_ = GiveUp::ConnectionLost;
            break;
        }
        emit progressed(1);
    }
    silentForMs_ = events_.nowMs() - std::max(lastSignOfLifeMs_, commandSentMs);
    return lastStatus_;
}

void ControllerLink::requestStatus()
{
    lastStatus_ = kNoStatus;
    answer_ = Answer::Awaited;
    // What is queued now arrived before the request and answers none of it.
    linesBeforeRequest_ = queuedLines_.size();
    if (connected_ && !shuttingDown_)
        ++unechoedRequests_;
    sendLine(kStatusRequest);
}

void ControllerLink::matchAnswer(const QByteArray& line, bool beforeRequest)
{
    // The shell's echo of a request, behind its prompt. The echoes come in
    // the order of the requests; once the last one's has come, the shell
    // runs it and its next status line is the answer. A request typed
    // ahead while a command still runs is echoed twice on a terminal: at
    // once by the terminal, bare amid the command's output (which may go on
    // to print anything, a status line too), and behind the prompt when the
    // shell reads it. Only that second echo says the shell has read it.
    if (line.endsWith(kStatusRequest)) {
        echoesRequests_ = true;
        const bool readByShell = line.size() > qsizetype(sizeof kStatusRequest - 1);
        if (readByShell && unechoedRequests_ > 0 && --unechoedRequests_ == 0 && answer_ == Answer::Awaited
            && !beforeRequest)
            answer_ = Answer::Echoed;
        return;
    }
    if (!line.startsWith("CMDVAL: "))
        return;
    switch (answer_) {
    case Answer::NoRequest:
    case Answer::Echoed:
        break;
    case Answer::Awaited:
        // Before the request there is nothing to answer; from an echoing
        // shell, a status line before the request's echo is part of the
        // command's output.
        if (beforeRequest || echoesRequests_)
            return;
        break;
    case Answer::Answered:
        return;
    }
    std::int16_t value = 0;
    if (!parseStatusValue(line.mid(8), value))
        return;
    lastStatus_ = value;
    if (answer_ != Answer::NoRequest)
        answer_ = Answer::Answered;
}

bool ControllerLink::peerHasGone() const
{
    // Nothing more can arrive, and what did arrive has been interpreted.
    return connected_ && socket_->state() != platform::SocketState::Connected && queuedLines_.empty();
}

bool ControllerLink::waitForAnswer(int delayMs)
{
    if (shuttingDown_)
        throw RunAborted();
    if (!connected_)
        return false;
    if (peerHasGone()) {
        connectionLost_ = true;
        disconnectFromController();
        return false;
    }
    if (platform::pumpUntil(*delayTimer_, delayMs, [this] { pump(); }, [this] { return peerHasGone(); })) {
        connectionLost_ = true;
        disconnectFromController();
        return false;
    }
    return true;
}

void ControllerLink::waitMs(int delayMs)
{
    if (shuttingDown_)
        throw RunAborted();
    platform::pumpUntil(*delayTimer_, delayMs, [this] { pump(); });
}

}  // namespace tarvo::link
