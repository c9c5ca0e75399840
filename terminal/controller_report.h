#pragma once
// One controller's run on a terminal: every status text becomes one line
// with the bar's percentage, every message box an error line, each line
// prefixed with the controller's address.

#include "workflow/workflow.h"

#include <QObject>
#include <QString>

#include <functional>

namespace tarvo::terminal {

class ControllerReport : public QObject {
    Q_OBJECT
public:
    ControllerReport(const workflow::Workflow& run, const QString& address, std::function<void(const QString& line)> say,
                     QObject* parent = nullptr);

    // A message box's text, as an error line.
    void sayError(const QString& text);
    void sayWarning(const QString& text);

private:
    void sayStatus(const QString& text);

    const workflow::Workflow& run_;
    QString address_;
    std::function<void(const QString&)> say_;
};

}  // namespace tarvo::terminal
