#pragma once
// The window operations that every part of the tool uses: status label,
// log, progress bar, status bar panel, button, address box, title and
// height. The real window implements them with widgets; tests record them.

#include <QString>

namespace tarvo::platform {

class Controls {
public:
    virtual ~Controls() = default;

    // The status label: progress texts, results and instructions.
    virtual void setStatus(const QString& text) = 0;
    virtual QString status() const = 0;

    // The log view. appendLog adds text at the end (CR LF marks line
    // breaks) and puts the caret at the end. clearLog empties it.
    virtual void appendLog(const QString& text) = 0;
    virtual void clearLog() = 0;
    virtual void setLogVisible(bool visible) = 0;
    virtual bool isLogVisible() const = 0;

    // The progress bar, 0 to 100.
    virtual void setProgress(double value) = 0;
    virtual double progress() const = 0;
    virtual void setProgressEnabled(bool enabled) = 0;

    // The status bar's link state.
    virtual void setLinkState(const QString& text) = 0;

    // The Start/Continue button.
    virtual void setButtonEnabled(bool enabled) = 0;
    virtual bool isButtonEnabled() const = 0;
    virtual void setButtonCaption(const QString& caption) = 0;

    // The controller address box.
    virtual QString targetAddress() const = 0;
    virtual void setTargetAddress(const QString& text) = 0;

    // The window's title and outer height in twips.
    virtual void setWindowTitle(const QString& title) = 0;
    virtual QString windowTitle() const = 0;
    virtual double windowHeightTwips() const = 0;
    virtual void setWindowHeightTwips(int twips) = 0;

    // Adds points to the bar, rounds half to even, and caps at 100.
    void advanceProgress(double points);
};

// Rounds to the nearest whole number, an exact half to the even neighbour,
// and saturates to the signed 16-bit range.
int roundHalfEven16(double value);

}  // namespace tarvo::platform
