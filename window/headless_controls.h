#pragma once
// The window's controls for a run without a window: every status text
// becomes one line, with the bar's percentage, for a terminal or a log.

#include "platform/controls.h"

#include <functional>

namespace tarvo::window {

class HeadlessControls final : public platform::Controls {
public:
    // Lines go to say, already prefixed with the controller's address.
    HeadlessControls(const QString& address, std::function<void(const QString& line)> say);

    void setStatus(const QString& text) override;
    QString status() const override { return status_; }
    void appendLog(const QString&) override {}
    void clearLog() override {}
    void setLogVisible(bool) override {}
    bool isLogVisible() const override { return false; }
    void setProgress(double value) override { progress_ = value; }
    double progress() const override { return progress_; }
    void setProgressEnabled(bool) override {}
    void setLinkState(const QString&) override {}
    void setButtonEnabled(bool) override {}
    bool isButtonEnabled() const override { return true; }
    void setButtonCaption(const QString&) override {}
    QString targetAddress() const override { return address_; }
    void setTargetAddress(const QString& text) override { address_ = text; }
    void setWindowTitle(const QString& title) override { title_ = title; }
    QString windowTitle() const override { return title_; }
    double windowHeightTwips() const override { return 0; }
    void setWindowHeightTwips(int) override {}

    // A message box's text, as an error line.
    void sayError(const QString& text);

private:
    QString address_;
    std::function<void(const QString&)> say_;
    QString status_;
    QString title_;
    double progress_ = 0;
};

}  // namespace tarvo::window
