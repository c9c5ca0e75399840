#pragma once
// What a view of the run would show, recorded for virtual-time tests:
// every status text, bar value, log text, phase and button change the
// workflow reports, with the virtual time it came, plus the address the
// operator typed.

#include "link/controller_link.h"
#include "workflow/workflow.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace tarvo::test {

class RecordingView : public QObject {
    Q_OBJECT
public:
    // Optional clock so that recorded values carry their virtual time.
    std::function<std::int64_t()> clock;

    // Shows this run, as the window does.
    void watch(workflow::Workflow& run);
    // Shows a link on its own (no run): its text in the log, its state.
    void watchLink(link::ControllerLink& link);

    QString status() const { return status_; }
    double progress() const { return progress_; }
    bool isButtonEnabled() const { return buttonEnabled; }
    QString buttonCaption() const { return caption_; }
    // The address box.
    QString targetAddress() const { return address; }
    void setTargetAddress(const QString& text) { address = text; }
    void setLinkState(const QString& text) { linkState = text; }

    struct Stamp {
        std::int64_t atMs;
        double value;
        std::size_t statusesBefore;  // the size of statusHistory when it came
    };
    struct TextStamp {
        std::int64_t atMs;
        QString text;
    };
    // A step of the run as it showed: the status it announced itself with,
    // from its first appearance until another status replaced it (-1 and
    // no text when none did), and the bar as it stood when the status
    // appeared, then every value it took meanwhile.
    struct Step {
        std::int64_t fromMs = -1;
        std::int64_t untilMs = -1;
        QString next;
        std::vector<double> bar;
    };
    Step step(const QString& status) const;

    QString log;
    QString linkState;
    bool buttonEnabled = true;
    QString address;
    std::vector<Stamp> progressHistory;
    std::vector<TextStamp> statusHistory;
    std::vector<TextStamp> buttonHistory;  // "enabled"/"disabled" with times
    // Set to make every view update throw, as a failing window would.
    bool failOperations = false;
    // Called with every status text once it shows, to act at a chosen step.
    std::function<void(const QString& text)> onStatus;

private:
    std::int64_t now() const { return clock ? clock() : 0; }
    void check() const;
    void showStatus(const QString& text);
    void showProgress(double value);
    void showLog(const QString& text);
    void showRunning(bool running);
    void showLinkState(bool connected);
    QString status_;
    double progress_ = 0;
    QString caption_ = QStringLiteral("Start");
};

}  // namespace tarvo::test
