#include "recording_view.h"

#include "workflow/operator_texts.h"

#include <stdexcept>

namespace tarvo::test {

void RecordingView::watch(workflow::Workflow& run)
{
    using W = workflow::Workflow;
    connect(&run, &W::statusChanged, this, &RecordingView::showStatus);
    connect(&run, &W::progressChanged, this, &RecordingView::showProgress);
    connect(&run, &W::logAppended, this, &RecordingView::showLog);
    connect(&run, &W::runningChanged, this, &RecordingView::showRunning);
    connect(&run, &W::linkStateChanged, this, &RecordingView::showLinkState);
    connect(&run, &W::phaseChanged, this, [this](W::Phase phase) {
        caption_ = phase == W::Phase::Backup ? workflow::OperatorTexts::startCaption()
                                             : workflow::OperatorTexts::continueCaption();
    });
}

void RecordingView::watchLink(link::ControllerLink& link)
{
    connect(&link, &link::ControllerLink::textReceived, this, &RecordingView::showLog);
    connect(&link, &link::ControllerLink::connectionChanged, this, &RecordingView::showLinkState);
    connect(&link, &link::ControllerLink::socketErrorOccurred, this, [this](const QString& text) {
        showLog(QStringLiteral("\r\n") + workflow::OperatorTexts::socketError(text));
    });
}

void RecordingView::check() const
{
    if (failOperations)
        throw std::runtime_error("window operation failed");
}

void RecordingView::showStatus(const QString& text)
{
    check();
    status_ = text;
    statusHistory.push_back({now(), text});
    if (onStatus)
        onStatus(text);
}

RecordingView::Step RecordingView::step(const QString& status) const
{
    Step step;
    std::size_t at = 0;
    while (at < statusHistory.size() && statusHistory[at].text != status)
        ++at;
    if (at == statusHistory.size())
        return step;
    step.fromMs = statusHistory[at].atMs;
    if (at + 1 < statusHistory.size()) {
        step.untilMs = statusHistory[at + 1].atMs;
        step.next = statusHistory[at + 1].text;
    }
    for (const Stamp& s : progressHistory) {
        if (s.statusesBefore <= at) {
            step.bar = {s.value};  // where the bar stood when the status came
        } else if (s.statusesBefore == at + 1) {
            step.bar.push_back(s.value);
        }
    }
    return step;
}

void RecordingView::showLog(const QString& text)
{
    check();
    log += text;
}

void RecordingView::showProgress(double value)
{
    check();
    progress_ = value;
    progressHistory.push_back({now(), value, statusHistory.size()});
}

void RecordingView::showRunning(bool running)
{
    buttonEnabled = !running;
    buttonHistory.push_back({now(), running ? QStringLiteral("disabled") : QStringLiteral("enabled")});
}

void RecordingView::showLinkState(bool connected)
{
    linkState = connected ? workflow::OperatorTexts::linkConnected() : workflow::OperatorTexts::linkDisconnected();
}

}  // namespace tarvo::test
