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
    };
    struct TextStamp {
        std::int64_t atMs;
        QString text;
    };

    QString log;
    QString linkState;
    bool buttonEnabled = true;
    QString address;
    std::vector<Stamp> progressHistory;
    std::vector<TextStamp> statusHistory;
    std::vector<TextStamp> buttonHistory;  // "enabled"/"disabled" with times
    // Set to make every view update throw, as a failing window would.
    bool failOperations = false;

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
