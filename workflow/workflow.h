#pragma once
// The configuration transfer: one click of the Start/Continue button runs
// one whole pass over the controller's shell. The workflow is the model of
// the run: it owns the phase between runs (back up, then restore onto the
// new card), the status text, the progress and the log text, and reports
// every change through its signals; the window and the terminal only show
// them. It takes what it needs (the address, the archive) as input and
// never reads a view.

#include "link/controller_link.h"
#include "pcside/backup_store.h"
#include "pcside/laser_identity.h"
#include "pcside/server_supervisor.h"
#include "pcside/transcript.h"
#include "platform/platform.h"
#include "workflow/controller_output.h"
#include "workflow/laser_backup.h"
#include "workflow/operator_prompts.h"

#include <QObject>
#include <QString>

#include <functional>

namespace tarvo::test {
class WorkflowProbe;
}

namespace tarvo::workflow {

// Whether text can name a controller: a dotted IPv4 address or a host name.
bool isControllerAddress(const QString& text);

// What Continue does with a laser that is not, or not known to be, the one
// its backup was made of: ask the operator (the window), refuse (the
// terminal), or write it as the operator chose beforehand.
enum class OtherLaserPolicy { Ask, Refuse, Allow };

// How a front end has the runs made.
struct WorkflowOptions {
    // A server that others started and stop, listening already for every
    // run (the terminal's one server for many controllers).
    bool serverShared = false;
    OtherLaserPolicy otherLaserPolicy = OtherLaserPolicy::Ask;
    // Without a window: the program's name, so that what the operator is
    // to do next is a command line ("then run: …"), not a button.
    QString commandName = {};
    // The title the log and the transcript of each run begin with.
    QString title = {};
    // Where the transcripts go; empty: transcripts/ in the data folder.
    QString transcriptFolder = {};
};

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
        OtherLaser,        // not (or not known to be) the laser of the backup: nothing was written
    };

    using Backup = pcside::BackupStore::Backup;
    using OtherLaserPolicy = workflow::OtherLaserPolicy;
    using Options = WorkflowOptions;

    // What the last run left for its front end.
    struct LastRun {
        Outcome outcome = Outcome::Succeeded;
        // The backup it verified and kept, or what it restored.
        Backup backup;
        // The hardware of the controller it connected to.
        platform::ControllerIdentity identity;
        // What of its records could not be kept: the history copy, the
        // pending restore, the transcript; for the operator.
        QStringList recordProblems;
    };

    // The run starts the PC's TFTP server through server and stops it
    // again, unless the server is shared (see WorkflowOptions); its
    // archives are those of store.
    // Messages and questions go to prompts, the front end's.
    Workflow(platform::Platform& platform, link::ControllerLink& link, pcside::ServerSupervisor& server,
             pcside::BackupStore& store, OperatorPrompts& prompts, Options options = {}, QObject* parent = nullptr);

    const Options& options() const { return options_; }
    const LastRun& lastRun() const { return last_; }

    // One click of the Start/Continue button: a whole run on the controller
    // at address, as the operator typed it.
    void run(const QString& address);
    bool isRunning() const { return running_; }

    Phase phase() const { return phase_; }
    void setPhase(Phase phase);
    // The phase a new window starts in: Continue while a verified backup
    // waits for its restore, which the status then names.
    void resumeStoredPhase();
    // Back to Start while a restore waits: the waiting backup stays in the
    // history, no longer chosen.
    void startNewBackup();
    // The window closes while this run goes on: the run's record is saved
    // with the step it was in, and a laser left stopped is remembered for
    // the next start to name.
    void recordInterruption();

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
    // How long the name of a controller may take to look up.
    static constexpr int kLookUpMs = 5000;

    // Makes a kept backup the one Continue restores.
    void chooseBackupToRestore(const Backup& backup);

private:
    friend class test::WorkflowProbe;

    // The folder the transcripts go to.
    QString transcriptFolder() const;
    // The steps of a run, in order. A restore first checks its archive,
    // then every run starts the PC's TFTP server and waits until it
    // listens, all before the laser is touched.
    bool addressGiven();
    bool checkArchiveToRestore();
    bool checkRestoreSource();
    // On Continue, once connected and before a line is sent: the laser's
    // own backup when none was chosen, and whether it is the laser's.
    bool laserMatchesBackup();
    bool confirmOtherLaser(pcside::LaserMatch match, const Backup& backup);
    // The IPv4 address the run's address leads to: the one address its
    // server takes requests from, and the one it connects to.
    bool findController();
    bool startServer();
    void stopServer();
    // The connection did not come up: logged says it for the log, cause
    // for the operator, with what to do.
    void connectionFailed(const QString& logged, const QString& cause);
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
    void showMessage(const QString& text, MessageIcon icon);
    bool askQuestion(const QString& text, const QString& yes, const QString& no);
    void runSteps();
    // The part of a run on a connected controller: log in, make it safe,
    // back up or restore, and disconnect.
    void runOnController();
    // Checks the archive of this run's upload against what the laser made
    // of it; keeps it in the history.
    bool verifyBackup(const LaserBackup& laser);
    bool stageArchiveToRestore();
    // A line the PC's TFTP server printed, or its end.
    void readServerLine(const QString& line);
    void serverExited(int exitCode);
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
    // A step on the laser failed: its own text, then why and what to do.
    enum class StepKind { Command, Transfer };
    void showStepError(const QString& text, StepKind kind = StepKind::Command);
    // The status after a failed run: its own text, then the reason.
    QString failedStatus(const QString& text) const;
    // The command line that runs the phase on this run's controller again;
    // empty for the window.
    QString commandFor(Phase phase) const;
    // A report of a running transfer: the status shows how far it is.
    void showTransferProgress(const pcside::ServerWatch::Progress& progress);
    int lastCode() const { return link_.lastStatus(); }
    void setStatus(const QString& text);
    void setProgress(double value);
    // Adds points to the bar, rounded half to even, capped at 100.
    void advanceProgress(double points);
    void appendLog(const QString& text);
    void setRunning(bool running);

    platform::Platform& platform_;
    link::ControllerLink& link_;
    pcside::ServerSupervisor& server_;
    pcside::BackupStore& store_;
    OperatorPrompts& prompts_;
    Options options_;
    LastRun last_;
    // Between the run's server start and its end: the server's lines are
    // this run's.
    bool followingServer_ = false;
    pcside::StoredSettings settings_;
    ControllerOutputReader output_;
    Phase phase_ = Phase::Backup;
    bool firmwareStopped_ = false;
    pcside::ServerWatch watch_;
    pcside::Transcript transcript_;
    // Where the archive a restore sends comes from, and its checked digest.
    QByteArray restoreSha256_;
    QString restoreSource_;
    // What the last verified backup was, for the operator.
    QString savedBackup_;
    // Why the run failed and what to do, for the status label.
    QString failureReason_;
    bool running_ = false;
    // The address of the run, as given, and the IPv4 address it leads to.
    QString address_;
    QString controllerIPv4_;
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
