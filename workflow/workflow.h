#pragma once
// The configuration transfer: one click of the Start/Continue button runs
// one whole pass over the controller's shell. The workflow is the model of
// the run: it owns the phase between runs (back up, then restore onto the
// new card), the status text, the progress and the log text, and reports
// every change through its signals; the window and the terminal only show
// them. It takes what it needs (the address, the archive) as input and
// never reads a view. The steps themselves are the run's (workflow/run.h).

#include "pcside/backup_store.h"
#include "platform/controller_identity.h"
#include "workflow/operator_prompts.h"
#include "workflow/run_step.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace tarvo::link {
class ControllerLink;
}
namespace tarvo::platform {
class Platform;
}
namespace tarvo::pcside {
class ServerSupervisor;
class ServerWatch;
class Transcript;
}  // namespace tarvo::pcside
namespace tarvo::test {
class WorkflowProbe;
}

namespace tarvo::workflow {

class Run;

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
    ~Workflow() override;

    const Options& options() const { return options_; }
    const LastRun& lastRun() const;

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
    // Makes a kept backup the one Continue restores.
    void chooseBackupToRestore(const Backup& backup);
    // The window closes while this run goes on: the run's record is saved
    // with the step it was in, and a laser left stopped is remembered for
    // the next start to name.
    void recordInterruption();

    // The bar as the operator sees it.
    double progress() const { return progress_; }

    // Saves the last run's transcript (or, before any run, nothing) there.
    bool exportTranscript(const QString& path);

    // The controller's shell port.
    static constexpr int kShellPort = 1138;
    // How long the name of a controller may take to look up.
    static constexpr int kLookUpMs = 5000;

signals:
    // The status label's text; CR LF joins its lines.
    void statusChanged(const QString& text);
    // The step the run has come to (None once it is over), beside its status.
    void stepChanged(tarvo::workflow::RunStep step);
    // The bar, 0 to 100.
    void progressChanged(double value);
    // Text for the end of the log (CR LF marks line breaks).
    void logAppended(const QString& text);
    void phaseChanged(tarvo::workflow::Workflow::Phase phase);
    // True for the length of a run: no second run may start meanwhile.
    void runningChanged(bool running);
    // The controller link came up or went down.
    void linkStateChanged(bool connected);
    // A run ended, with its outcome; lastRun() names its backup.
    void finished(tarvo::workflow::Workflow::Outcome outcome);

private:
    friend class Run;
    friend class test::WorkflowProbe;

    // The run reports what it does through these.
    void setStatus(const QString& text);
    void setStep(RunStep step);
    void setProgress(double value);
    // Adds points to the bar, rounded half to even, capped at 100.
    void advanceProgress(double points);
    void appendLog(const QString& text);
    void setRunning(bool running);

    // Test access: the status, the PC's TFTP server as the run followed
    // it, the run's record, and the folder it went to.
    QString status() const { return status_; }
    const pcside::ServerWatch& serverWatch() const;
    const pcside::Transcript& transcript() const;
    QString transcriptFolder() const;

    platform::Platform& platform_;
    pcside::BackupStore& store_;
    const Options options_;
    Phase phase_ = Phase::Backup;
    RunStep step_ = RunStep::None;
    bool running_ = false;
    QString status_;
    double progress_ = 0;
    // The steps and what they share; one run at a time.
    std::unique_ptr<Run> run_;
};

// Rounds to the nearest whole number, an exact half to the even neighbour,
// and saturates to the signed 16-bit range.
int roundHalfEven16(double value);
// The bar after adding points: the sum rounded half to even, capped at 100.
double advancedProgress(double current, double points);

}  // namespace tarvo::workflow
