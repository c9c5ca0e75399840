#pragma once
// Every text the operator reads, in one place and through tr(), so that a
// translation needs no change to the code. The English source texts are
// the tool's own words and stay exactly as they are.

#include <QCoreApplication>
#include <QLocale>
#include <QString>

namespace tarvo::workflow {

class OperatorTexts {
    Q_DECLARE_TR_FUNCTIONS(OperatorTexts)
public:
    // --- the window ---
    static QString addressLabel() { return tr("IP Address of the laser."); }
    static QString statusHint()
    {
        return tr("Double-click (or Ctrl+L) to show or hide the log.\nRight-click for earlier backups, a new backup, the archive folder and saving the log.");
    }
    static QString backupFileHint(const QString& path) { return tr("The backup Continue writes: %1").arg(path); }
    static QString restoreEarlierAction() { return tr("Restore an earlier backup…"); }
    static QString openArchiveFolderAction() { return tr("Open archive folder"); }
    static QString saveLogAction() { return tr("Save log…"); }
    static QString toggleLogAction() { return tr("Show or hide the log"); }
    static QString folderNotOpened(const QString& folder)
    {
        return tr("No file manager could open the archive folder. It is:\n%1").arg(folder);
    }
    static QString chooseBackupLabel() { return tr("The backup that Continue writes onto the new card:"); }
    static QString linesNotShown(qsizetype lines) { return tr("[%1 lines not shown]").arg(lines); }
    static QString noBackupsKept() { return tr("No verified backup is kept yet."); }
    static QString logNotSaved(const QString& path) { return tr("The log could not be saved to %1.").arg(path); }
    static QString startCaption() { return tr("Start"); }
    static QString continueCaption() { return tr("Continue"); }
    static QString idleStatus() { return tr("Status: "); }
    static QString linkConnected() { return tr("Connected"); }
    static QString linkDisconnected() { return tr("Disconnected"); }
    static QString socketError(const QString& description) { return tr("[socket error: %1]").arg(description); }
    static QString runFault(const QString& what) { return tr("[The run stopped after an unexpected fault: %1]").arg(what); }

    // --- connection and login ---
    static QString connecting() { return tr("Connecting..."); }
    static QString enterAddress() { return tr("Please enter IP address of the laser."); }
    static QString errorConnecting() { return tr("Error Connecting"); }
    static QString connectionFailed() { return tr("Connection failed"); }
    static QString couldNotConnect(const QString& address, int port, const QString& reason)
    {
        return tr("[Could not connect to %1, TCP port %2: %3]").arg(address).arg(port).arg(reason);
    }
    static QString noAnswerWithin(int seconds) { return tr("no answer within %1 s").arg(seconds); }
    static QString nameNotFound(int seconds)
    {
        return tr("the name leads to no IPv4 address (none found within %1 s)").arg(seconds);
    }
    static QString loggingIn() { return tr("Login to laser... "); }
    static QString noLoginPrompt() { return tr("Login to Laser failed. Cannot get prompt for login."); }
    static QString noShellPrompt() { return tr("Login to Laser failed. Cannot get prompt after login."); }
    static QString loginFailed() { return tr("Login failed"); }

    // --- preparation ---
    static QString preparing() { return tr("Preparing to update... "); }
    static QString openingRelay() { return tr("Opening the Safety Relay... "); }
    static QString relayFailed() { return tr("Opening Safety Relay failed"); }

    // --- backup ---
    static QString reading() { return tr("Reading config data from the laser... "); }
    static QString remountError(int code) { return tr("Remounting Error, Code: %1").arg(code); }
    static QString archiveError(const QString& archive, int code)
    {
        return tr("Creating Archive Error for %1, Code: %2").arg(archive).arg(code);
    }
    static QString syncError(const QString& archive, int code)
    {
        return tr("Sync Error for %1, Code: %2").arg(archive).arg(code);
    }
    static QString uploadError(const QString& archive, int code)
    {
        return tr("TFTP Read Error for %1, Code: %2").arg(archive).arg(code);
    }
    // The three lines of the card-swap instructions.
    static QString swapStep1() { return tr("1. Turn off the laser and replace SD card. Do NOT close the application!"); }
    static QString swapStep2() { return tr("2. Turn on the laser and verify/change IP address."); }
    static QString swapStep3() { return tr("3. Click the Continue button when done."); }
    static QString swapStep3Command(const QString& command) { return tr("3. Then run: %1").arg(command); }
    static QString readingFailed() { return tr("Reading config data failed."); }

    // --- restore ---
    static QString writing() { return tr("Writing config data to the laser... "); }
    static QString archiveMissing(const QString& archive) { return tr("Error: %1 does not exist.").arg(archive); }
    static QString pendingNotKept(const QString& path)
    {
        return tr("Error: the backup waiting to be restored, %1, is not one kept in the history of this PC, so it "
                  "may not be the verified backup. Choose a kept backup (\"Restore an earlier backup…\") or start a "
                  "new backup.\nNothing was sent to the laser.")
            .arg(path);
    }
    static QString noVerifiedBackupCommand(const QString& controller, const QString& command)
    {
        return tr("Error: no verified backup of %1 is kept on this PC. Back the laser up first (%2), or name an "
                  "archive with --archive FILE.\nNothing was sent to the laser.")
            .arg(controller, command);
    }
    static QString noVerifiedBackup(const QString& controller)
    {
        return tr("Error: no verified backup of %1 is kept on this PC. Back the laser up first (Start), or "
                  "choose an archive.\nNothing was sent to the laser.")
            .arg(controller);
    }
    static QString downloadError(const QString& archive, int code)
    {
        return tr("TFTP Write Error for %1, Code: %2").arg(archive).arg(code);
    }
    static QString extractError(const QString& archive, int code)
    {
        return tr("Extracting Archive Error for %1, Code: %2").arg(archive).arg(code);
    }
    static QString syncAfterExtractError(int code) { return tr("Sync Error after extraction, Code: %1").arg(code); }
    static QString stagingFailed(const QString& folder)
    {
        return tr("Error: the archive to restore could not be written to %1 on this PC. Check that the folder "
                  "exists and that you may write to it.")
            .arg(folder);
    }
    static QString restoreDone() { return tr("Writing config data done. Please power cycle the laser."); }
    static QString writingFailed() { return tr("Writing config data failed."); }

    // --- the PC's TFTP server ---
    static QString serverLine(const QString& line) { return tr("[TFTP server] %1").arg(line); }

    // --- the archive on the PC ---
    static QString noUploadReceived()
    {
        return tr("the PC's TFTP server received no archive from the laser (does another TFTP server use port 69?)");
    }
    static QString uploadChanged() { return tr("the file on the PC is not the archive the laser sent"); }
    static QString severalUploads(int count, const QString& controller)
    {
        return tr("the PC's TFTP server stored %1 uploads from %2 during this run, where the laser sent one: "
                  "which of them is the laser's cannot be told")
            .arg(count)
            .arg(controller);
    }
    // What the archive on the PC holds against what the laser's tar listed.
    static QString fileCount(int count) { return count == 1 ? tr("1 file") : tr("%1 files").arg(count); }
    static QString memberCountDiffers(const QString& archived, const QString& packed)
    {
        return tr("the archive on the PC holds %1, the laser packed %2").arg(archived, packed);
    }
    static QString memberDiffers(int position, const QString& archived, const QString& packed)
    {
        return tr("file %1 is %2 in the archive on the PC, but the laser packed %3").arg(position).arg(archived, packed);
    }
    static QString memberMissing(int position, const QString& packed)
    {
        return tr("file %1, %2, which the laser packed, is not in the archive on the PC").arg(position).arg(packed);
    }
    static QString memberExtra(int position, const QString& archived)
    {
        return tr("file %1 of the archive on the PC, %2, is not one the laser packed").arg(position).arg(archived);
    }
    static QString noTarListing() { return tr("the laser's tar printed no list of the files it packed"); }
    static QString listingTooLong(int lines, int megabytes)
    {
        return tr("The laser printed more than %1 lines or %2 MB while its tar packed, more than any card holds: "
                  "the step was given up. Keep the old SD card in the laser.")
            .arg(lines)
            .arg(megabytes);
    }
    static QString tarEchoMissing()
    {
        return tr("the laser's shell echoed the tool's other commands but not its tar command, so the list of the "
                  "files it packed cannot be told apart from the shell's own lines");
    }
    static QString tarListingStrangeLine(const QString& line)
    {
        return tr("while its tar packed, the laser printed a line that is neither a file it packed nor the shell's "
                  "own: \"%1\"")
            .arg(line);
    }
    static QString tarListingCutShort()
    {
        return tr("the list of the files the laser packed ended before its tar reported its exit status");
    }
    static QString changedSinceVerified()
    {
        return tr("it has changed since it was verified (its SHA-256 is no longer the one on record)");
    }
    static QString backupUnusable(const QString& problem)
    {
        return tr("The backup on the PC is not usable: %1.\nKeep the old SD card in the laser: do not replace it.")
            .arg(problem);
    }
    static QString restoreUnusable(const QString& path, const QString& problem)
    {
        return tr("The archive to restore, %1, is not usable: %2.\nNothing was sent to the laser.").arg(path, problem);
    }
    static QString backupSaved(const QString& path, qint64 bytes, int files)
    {
        return tr("Backup verified: %1 (%2 bytes, %3 files)").arg(path).arg(bytes).arg(files);
    }
    static QString backupVerified(int files, qint64 bytes)
    {
        return tr("Backup verified: %1, %2").arg(fileCount(files), size(bytes));
    }
    static QString backupHolds()
    {
        return tr("The backup holds the laser's configuration: the settings files (zel/*.conf, media/*.conf), "
                  "its profiles, sequences and preview images. Not the firmware, its logs or other files.");
    }
    // A size as people read it: bytes, kB or MB (powers of 1000), in the
    // operator's language.
    static QString size(qint64 bytes)
    {
        const QLocale locale;
        if (bytes < 1000)
            return tr("%1 bytes").arg(bytes);
        if (bytes < 1000 * 1000)
            return tr("%1 kB").arg(locale.toString(qRound64(bytes / 1e3)));
        return tr("%1 MB").arg(locale.toString(bytes / 1e6, 'f', 1));
    }
    static QString rate(double bytesPerSecond)
    {
        const QLocale locale;
        if (bytesPerSecond < 1e6)
            return tr("%1 kB/s").arg(locale.toString(qRound64(bytesPerSecond / 1e3)));
        return tr("%1 MB/s").arg(locale.toString(bytesPerSecond / 1e6, 'f', 1));
    }
    static QString notKept(const QString& path)
    {
        return tr("it could not be kept in %1 (is the disk full, or the folder not writable?)").arg(path);
    }
    static QString pendingNotRemembered()
    {
        return tr("The PC's settings could not be written, so a restarted tool will not know this backup: keep "
                  "this window open until Continue, or choose the backup again with \"Restore an earlier backup…\".");
    }
    static QString transcriptNotSaved(const QString& folder)
    {
        return tr("The record of this run could not be saved in %1.").arg(folder);
    }

    // --- long steps ---
    static QString controllerSilent(double seconds)
    {
        return tr("No answer from the controller: it had been silent for %1 s").arg(seconds, 0, 'f', 1);
    }
    static QString stepCeiling(int minutes)
    {
        return tr("The controller was still at work after %1 minutes: the step was given up").arg(minutes);
    }
    // Appended to the step's text while a long transfer runs.
    // How far a transfer is. The rate and the time left only once they are
    // known (rate and secondsLeft negative until then).
    static QString transferProgress(qint64 bytes, qint64 size, double bytesPerSecond, int secondsLeft)
    {
        QString text = size > 0 ? tr("%1 of %2").arg(OperatorTexts::size(bytes), OperatorTexts::size(size))
                                : OperatorTexts::size(bytes);
        if (bytesPerSecond >= 0)
            text = tr("%1, %2").arg(text, rate(bytesPerSecond));
        if (secondsLeft >= 0)
            text = tr("%1, about %2 s left").arg(text).arg(secondsLeft);
        return text;
    }
    static QString unpacking(qint64 bytes)
    {
        return tr("%1 sent; the laser unpacks it…").arg(size(bytes));
    }
    static QString checkingBackup(qint64 bytes)
    {
        return tr("%1 received; checking it on the PC…").arg(size(bytes));
    }

    // --- a run that ends badly ---
    static QString connectionLost() { return tr("The connection to the controller was lost."); }
    static QString laserStopped()
    {
        return tr("The laser's firmware is stopped: power-cycle the laser before using it.");
    }

    // --- the controller's complaints ---
    static QString callForService() { return tr("Call for service."); }
};

}  // namespace tarvo::workflow
