#pragma once
// Recording stand-in for the window's controls, for virtual-time tests.
// Every value the tool writes is kept, with the virtual time it was written.

#include "platform/controls.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace tarvo::platform {

class VirtualControls final : public Controls {
public:
    // Optional clock so that recorded values carry their virtual time.
    std::function<std::int64_t()> clock;

    void setStatus(const QString& text) override;
    QString status() const override { return status_; }
    void appendLog(const QString& text) override;
    void clearLog() override { log.clear(); }
    void setLogVisible(bool visible) override { logVisible = visible; }
    bool isLogVisible() const override { return logVisible; }
    void setProgress(double value) override;
    double progress() const override { return progress_; }
    void setProgressEnabled(bool enabled) override { progressEnabled = enabled; }
    void setLinkState(const QString& text) override { linkState = text; }
    void setButtonEnabled(bool enabled) override;
    bool isButtonEnabled() const override { return buttonEnabled; }
    void setButtonCaption(const QString& caption) override { caption_ = caption; }
    QString buttonCaption() const { return caption_; }
    QString targetAddress() const override { return address; }
    void setTargetAddress(const QString& text) override { address = text; }
    void setWindowTitle(const QString& title) override { title_ = title; }
    QString windowTitle() const override { return title_; }
    double windowHeightTwips() const override { return heightTwips; }
    void setWindowHeightTwips(int twips) override { heightTwips = twips; }

    struct Stamp {
        std::int64_t atMs;
        double value;
    };
    struct TextStamp {
        std::int64_t atMs;
        QString text;
    };

    QString log;
    bool logVisible = true;
    bool progressEnabled = true;
    QString linkState;
    bool buttonEnabled = false;
    QString address;
    double heightTwips = 10500;
    std::vector<Stamp> progressHistory;
    std::vector<TextStamp> statusHistory;
    std::vector<TextStamp> buttonHistory;  // "enabled"/"disabled" with times
    // Set to make every control operation throw, as a failing window would.
    bool failOperations = false;

private:
    std::int64_t now() const { return clock ? clock() : 0; }
    void check() const;
    QString status_;
    double progress_ = 0;
    QString caption_;
    QString title_;
};

}  // namespace tarvo::platform
