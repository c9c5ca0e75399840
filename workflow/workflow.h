#pragma once
// The configuration transfer: one click of the Start/Continue button runs
// one whole pass over the controller's shell. The workflow is the model of
// the run: it owns the phase between runs (back up, then restore onto the
// new card), the status text, the progress and the log text, and reports
// every change through its signals; the window and the terminal only show
// them. It takes what it needs (the address, the archive) as input and
// never reads a view.

#include "link/controller_link.h"
#include "platform/platform.h"
#include "workflow/archive_check.h"
#include "workflow/controller_output.h"
#include "workflow/server_watch.h"
#include "workflow/transcript.h"
#include "workflow/stored_settings.h"

#include <QObject>
#include <QString>

#include <functional>

namespace tarvo::workflow {

// The PC-side TFTP server program as the workflow sees it.
class TftpServer {
public:
    virtual ~TftpServer() = default;
    // Starts the program with these arguments; false when it is missing.
    // Each line it prints goes to onLine, its exit code to onExit.
    virtual bool start(const QStringList& arguments, std::function<void(const QString& line)> onLine,
                       std::function<void(int exitCode)> onExit) = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
    // Where the program is, or would be looked for.
    virtual QString programPath() const = 0;
};

// Whether text can name a controller: a dotted IPv4 address or a host name.
bool isControllerAddress(const QString& text);

class Workflow : public QObject {
    Q_OBJECT
public:
    enum class Phase {
        Backup,   // Start: save the configuration from the old card
        Restore,  // Continue: write it onto the new card
    };

    // How the last run ended, by the kind of its failure.
    enum class Outcome {
        Succeeded,
        PcNotReady,        // the PC's TFTP server could not start
        ArchiveUnusable,   // the archive to restore is missing or unusable
        NoConnection,      // no address, or no connection to the controller
        LoginFailed,
        ControllerFailed,  // a step on the controller failed
        BackupUnverified,  // the controller reported success, the PC's copy is not usable
    };
    Outcome lastOutcome() const { return outcome_; }

    Workflow(platform::Platform& platform, link::ControllerLink& link, TftpServer& server,
             QObject* parent = nullptr);

    // The title the log and the transcript of each run begin with.
    void setTitle(const QString& title) { title_ = title; }
    QString title() const { return title_; }

    // One click of the Start/Continue button: a whole run on the controller
    // at address, as the operator typed it.
    void run(const QString& address);
    bool isRunning() const { return running_; }

    Phase phase() const { return phase_; }
    void setPhase(Phase phase);
    // The phase a new window starts in: Continue while a verified backup
    // waits for its restore, which the status then names.
    void resumeStoredPhase();

    // What the operator sees of the run.
    QString status() const { return status_; }
    double progress() const { return progress_; }

signals:
    // The status label's text; CR LF joins its lines.
    void statusChanged(const QString& text);
    // The bar, 0 to 100.
    void progressChanged(double value);
    // Text for the end of the log (CR LF marks line breaks).
    void logAppended(const QString& text);
    void phaseChanged(tarvo::workflow::Workflow::Phase phase);
    // True for the length of a run: no second run may start meanwhile.
    void runningChanged(bool running);
    // The controller link came up or went down.
    void linkStateChanged(bool connected);
    // A run ended, with its outcome; lastBackup() names its backup.
    void finished(tarvo::workflow::Workflow::Outcome outcome);

public:
    // Saves the last run's transcript (or, before any run, nothing) there.
    bool exportTranscript(const QString& path);

    // The controller's shell port.
    static constexpr int kShellPort = 1138;
    // How long the PC's TFTP server may take to start listening.
    static constexpr int kServerReadyMs = 5000;
    // Verified backups kept per controller.
    static constexpr int kHistoryDepth = 50;

    // The folder the server serves, holding one folder per controller.
    QString archiveFolder() const;
    // Where the server files a controller's archive.
    QString controllerArchive(const QString& controller) const;
    // The archive Continue will restore: the pending backup, or the
    // controller's newest upload.
    QString archiveToRestore() const;
    // The verified backups of one controller, oldest first.
    QStringList history(const QString& controller) const;
    // Every verified backup kept, newest first, as its sidecar tells.
    struct Backup {
        QString path;
        QString controller;
        QString time;
        qint64 bytes = 0;
        int files = 0;
    };
    QList<Backup> backups() const;
    // Makes a kept backup the one Continue restores.
    void chooseBackupToRestore(const Backup& backup);
    // The backup the last run verified and kept, or what it restored.
    const Backup& lastBackup() const { return lastBackup_; }

    // For runs without a window: another archive folder, a given archive
    // to restore, and no pending restore for the window to pick up.
    void setArchiveFolder(const QString& folder) { archiveFolderOverride_ = folder; }
    void setArchiveToRestore(const QString& path) { restoreOverride_ = path; }
    void setRemembersPendingRestore(bool remember) { remembersPendingRestore_ = remember; }
    const ServerWatch& serverWatch() const { return watch_; }
    // The record of the last run, and the folder its file went to.
    const Transcript& transcript() const { return transcript_; }
    QString transcriptFolder() const;

private:
    // The steps of a run, in order. A restore first checks its archive,
    // then every run starts the PC's TFTP server and waits until it
    // listens, all before the laser is touched.
    bool addressGiven();
    bool checkArchiveToRestore();
    bool startServer();
    void stopServer();
    // Connects to the controller at address, which becomes the run's.
    bool connectToController(const QString& address);
    bool logIn();
    void stopFirmware();
    bool openSafetyRelay();
    bool backUpConfiguration();
    bool restoreConfiguration();

    // Waits whole seconds while the bar fills.
    void waitWithProgress(int seconds);

    // A modal message box; after it returns, a closed window ends the run.
    void showMessage(const QString& text, platform::MessageIcon icon);
    void runSteps();
    // The part of a run on a connected controller: log in, make it safe,
    // back up or restore, and disconnect.
    void runOnController();
    // Checks the archive of this run's upload; keeps it in the history.
    bool verifyBackup();
    // Copies the verified upload into the history, with its sidecar.
    void keepInHistory(const QString& upload, const ArchiveReport& report);
    bool stageArchiveToRestore();
    // After a run that did not succeed: says when the link was lost and
    // when the laser was left with its firmware stopped.
    void reportEndOfFailedRun();
    void addNote(const QString& note);
    void saveTranscript(const QString& outcome);
    void recoverFromFault(const char* what);
    // A step of the transfer judged by its exit status, 0 on success.
    std::int16_t statusStep(const QByteArray& command);
    // A step whose outcome is not examined: the command, then half a second.
    void plainStep(const QByteArray& command);
    void showError(const QString& text);
    // A report of a running transfer: the status shows how far it is.
    void showTransferProgress(const ServerWatch::Progress& progress);
    int lastCode() const { return link_.lastStatus(); }
    void setStatus(const QString& text);
    void setProgress(double value);
    // Adds points to the bar, rounded half to even, capped at 100.
    void advanceProgress(double points);
    void appendLog(const QString& text);
    void setRunning(bool running);

    platform::Platform& platform_;
    link::ControllerLink& link_;
    TftpServer& server_;
    StoredSettings settings_;
    ControllerOutputReader output_;
    Phase phase_ = Phase::Backup;
    bool firmwareStopped_ = false;
    ServerWatch watch_;
    Transcript transcript_;
    Outcome outcome_ = Outcome::Succeeded;
    Backup lastBackup_;
    QString archiveFolderOverride_;
    QString restoreOverride_;
    bool remembersPendingRestore_ = true;
    // Where the archive a restore sends comes from, and its checked digest.
    QByteArray restoreSha256_;
    QString restoreSource_;
    // What the last verified backup was, for the operator.
    QString savedBackup_;
    bool running_ = false;
    QString title_;
    // The address of the run, as given.
    QString address_;
    QString status_;
    double progress_ = 0;
    // The first progress report of the running transfer: when, how far.
    std::int64_t transferStartedMs_ = -1;
    qint64 transferBytes_ = 0;
};

// Rounds to the nearest whole number, an exact half to the even neighbour,
// and saturates to the signed 16-bit range.
int roundHalfEven16(double value);
// The bar after adding points: the sum rounded half to even, capped at 100.
double advancedProgress(double current, double points);

}  // namespace tarvo::workflow
