#pragma once
// What went wrong and what to do next: the line that follows a failure's
// own text in its message box and on the status label, so that neither
// the box nor the label leaves the operator with a bare error code.

#include <QCoreApplication>
#include <QString>

namespace tarvo::workflow {

class FailureTexts {
    Q_DECLARE_TR_FUNCTIONS(FailureTexts)
public:
    // --- the address ---
    static QString blankInAddress(const QString& text)
    {
        return tr("\"%1\" has a blank inside: type the address without blanks.").arg(text);
    }
    static QString notAnAddress(const QString& text)
    {
        return tr("\"%1\" is neither an IPv4 address (four numbers from 0 to 255, such as 192.168.100.20) nor a host "
                  "name.")
            .arg(text);
    }

    // --- the connection ---
    static QString refused(const QString& address, int port)
    {
        return tr("The laser at %1 refused the connection on TCP port %2: its shell service is not running, or "
                  "another device has this address. Check the address; if it is right, power-cycle the laser, wait "
                  "until it has started and try again.")
            .arg(address)
            .arg(port);
    }
    static QString noAnswer(const QString& address, int port, int seconds)
    {
        return tr("Nothing answered at %1 on TCP port %2 within %3 s. Check that the laser is on and has started, "
                  "the network cable, and that the PC's address is in the laser's network; then try again.")
            .arg(address)
            .arg(port)
            .arg(seconds);
    }
    static QString nameUnknown(const QString& name, int seconds)
    {
        return tr("The name %1 leads to no IPv4 address (none found within %2 s). Type the laser's IP address "
                  "instead.")
            .arg(name)
            .arg(seconds);
    }
    static QString unreachable(const QString& address, int port, const QString& reason)
    {
        return tr("%1 could not be reached on TCP port %2 (%3). Check the network cable and the PC's network "
                  "settings, then try again.")
            .arg(address)
            .arg(port)
            .arg(reason);
    }

    // --- a step on the laser ---
    static QString linkLost()
    {
        return tr("The connection to the laser was lost during this step (was the laser switched off, or a cable "
                  "pulled?).");
    }
    static QString noAnswerToStep()
    {
        return tr("The laser did not answer this step in time (was it switched off, or the connection broken?).");
    }
    static QString commandFailed(int code)
    {
        return tr("The laser's command ended with status %1; what it printed is in the log (double-click the "
                  "status).")
            .arg(code);
    }
    static QString transferFailed(int code)
    {
        return tr("The laser's tftp ended with status %1: it did not reach the PC's TFTP server on UDP port 69 "
                  "(a firewall on the PC, or another TFTP server?). The log holds what it printed.")
            .arg(code);
    }
    static QString retryBackup()
    {
        return tr("Keep the old SD card in the laser; check the laser and the cable, then click Start again.");
    }
    static QString retryRestore()
    {
        return tr("Check the laser and the cable, then click Continue again: the backup is written anew.");
    }
    // The same without a window: the command to run again.
    static QString retryBackupCommand(const QString& command)
    {
        return tr("Keep the old SD card in the laser; check the laser and the cable, then run again: %1").arg(command);
    }
    static QString retryRestoreCommand(const QString& command)
    {
        return tr("Check the laser and the cable, then run again: %1 (the backup is written anew).").arg(command);
    }
    static QString printedInTranscript(int code)
    {
        return tr("The laser's command ended with status %1; what it printed is in the run's transcript.").arg(code);
    }
};

}  // namespace tarvo::workflow
