#pragma once
// What assistive technology (a screen reader) says about the window's
// controls: their names and what they are for. Through tr() like every
// other text the operator reads.

#include <QCoreApplication>
#include <QString>

namespace tarvo::window {

class WindowTexts {
    Q_DECLARE_TR_FUNCTIONS(WindowTexts)
public:
    static QString addressLabelName() { return tr("Laser address"); }
    static QString addressLabelDescription() { return tr("Names the box below, where the laser's IP address goes."); }
    static QString addressEditName() { return tr("IP address of the laser"); }
    static QString addressEditDescription()
    {
        return tr("The IPv4 address or host name of the laser controller to back up or restore.");
    }
    static QString buttonName() { return tr("Start or continue"); }
    static QString buttonDescription()
    {
        return tr("Start backs up the configuration from the old SD card; Continue writes it onto the new card.");
    }
    static QString statusName() { return tr("Status"); }
    static QString statusDescription()
    {
        return tr("What the tool is doing now, and what to do next. Double-click to show or hide the log.");
    }
    static QString progressName() { return tr("Progress"); }
    static QString progressDescription() { return tr("How far the current backup or restore has come."); }
    static QString logName() { return tr("Log"); }
    static QString logDescription() { return tr("Everything the laser controller and the PC's TFTP server said during the run."); }
    static QString statusBarName() { return tr("Connection"); }
    static QString statusBarDescription() { return tr("Shows whether the tool is connected to the laser controller."); }
    static QString linkStateName() { return tr("Connection state"); }
    static QString linkStateDescription() { return tr("Connected or Disconnected: the link to the laser controller."); }
};

}  // namespace tarvo::window
