#pragma once
// The inside of the workflow: the steps of one run and what they share.
// A run is a table of steps taken in order by one loop; a step either
// passes or returns its failure, which the loop turns into what the
// operator sees (the box, the status, the outcome, the record) in one
// place, and the run ends there.

#include "pcside/laser_identity.h"
#include "pcside/server_watch.h"
#include "pcside/stored_settings.h"
#include "platform/platform.h"
#include "workflow/controller_output.h"
#include "workflow/laser_backup.h"
#include "workflow/operator_prompts.h"
#include "workflow/run_record.h"
#include "workflow/workflow.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace tarvo::workflow {

// Why a run ends before its last step, and how the operator learns of it.
struct Failure {
    Workflow::Outcome outcome;
    // The message box; empty: none.
    QString message = {};
    MessageIcon icon = MessageIcon::Critical;
    // Why, and what to do: the status's further line.
    QString reason = {};
    // The status's first line once the box is closed; empty: it stays.
    QString status = {};
    // A complaint of the controller's on the label stays there instead.
    bool complaintStays = false;
    // The bar once the status says it; negative: it stays.
    double progress = -1;
    // A note for the log after the status.
    QString note = {};
};
using StepResult = std::optional<Failure>;

// One step of a run: a command and how it is waited for and judged, or an
// action of its own.
struct Step {
    enum class Wait {
        HalfSecond,      // sent, then half a second; its outcome is not examined
        ExitStatus,      // judged by its exit status, 0 on success
        TransferStatus,  // the same, for a transfer between laser and PC
    };
    RunStep id;
    // A step with logic of its own; without it, the command.
    std::function<StepResult()> action = {};
    // What the status says from this step on; empty: it stays.
    QString status = {};
    // Points the bar gains as the step begins.
    double bar = 0;
    QByteArray command = {};
    Wait wait = Wait::ExitStatus;
    // The box's first line when the exit status is not 0, from it.
    std::function<QString(int status)> error = {};
};

class Run {
public:
    Run(Workflow& workflow, platform::Platform& platform, link::ControllerLink& link,
        pcside::ServerSupervisor& server, pcside::BackupStore& store, OperatorPrompts& prompts);

    // A run on the controller at address: its steps in order, up to the
    // first that fails.
    void perform(const QString& address);
    // The end of every run, whatever its steps came to: the server
    // stopped, the transcript saved with the status the run ends on.
    void finish();
    // An unexpected fault cut the run short: said in the log, the server
    // and the link closed.
    void recoverFromFault(const QString& what);
    // The window closes during the run.
    void recordInterruption();

    pcside::StoredSettings& settings() { return settings_; }
    const Workflow::LastRun& last() const { return last_; }
    const RunRecord& record() const { return record_; }
    const pcside::ServerWatch& watch() const { return watch_; }
    QString transcriptFolder() const;

private:
    using Phase = Workflow::Phase;
    using Outcome = Workflow::Outcome;
    enum class StepKind { Command, Transfer };

    std::vector<Step> backupSteps();
    std::vector<Step> restoreSteps();
    StepResult take(const Step& step);
    // Turns a failure into the box, the status and the outcome; notes
    // what the laser was left in, and disconnects.
    void fail(const Failure& failure, RunStep step);
    void reportEndOfFailedRun();
    void save(const QString& outcome);

    // Before the laser is touched (pc_server.cpp, login.cpp,
    // archive_steps.cpp).
    StepResult checkAddress();
    StepResult checkArchiveToRestore();
    StepResult checkRestoreSource();
    // The IPv4 address the run's address leads to: the one address its
    // server takes requests from, and the one it connects to.
    StepResult findController();
    StepResult startServer();
    void stopServer();
    StepResult connectToController();
    Failure connectionFailed(const QString& logged, const QString& cause);
    // Continue, once connected and before a line is sent: the laser's own
    // backup when none was chosen, and whether it is the laser's
    // (laser_check.cpp).
    StepResult checkLaser();
    StepResult confirmOtherLaser(pcside::LaserMatch match, const Workflow::Backup& backup);

    // On the controller (login.cpp, preparation.cpp).
    StepResult logIn();
    StepResult stopFirmware();
    StepResult openSafetyRelay();
    void waitWithProgress(int seconds);

    // The transfer (backup.cpp, restore.cpp, archive_steps.cpp).
    StepResult beginTransfer(bool backup);
    StepResult chooseTrees();
    StepResult pack();
    StepResult upload();
    StepResult verifyBackup();
    StepResult finishBackup();
    StepResult stage();
    StepResult fetch();
    StepResult unpack();
    StepResult finishRestore();
    bool stageArchiveToRestore();

    // The shell steps and their failures (transfer_steps.cpp).
    std::int16_t statusStep(const QByteArray& command);
    void plainStep(const QByteArray& command);
    // A failure the operator learns of by a box with text, which the
    // status then repeats under status (empty: the status stays).
    Failure error(Outcome outcome, const QString& text, const QString& status = {}) const;
    // A failure of the transfer: the status says the reading or writing
    // failed, unless a complaint of the controller's stands there.
    Failure transferError(Outcome outcome, const QString& text) const;
    QString transferFailed() const;
    // A step on the laser failed: its own text, then why and what to do.
    Failure stepFailure(const QString& text, StepKind kind = StepKind::Command) const;
    QString commandFor(Phase phase) const;
    void showTransferProgress(const pcside::ServerWatch::Progress& progress);
    int lastCode() const;

    // A line the PC's TFTP server printed, or its end.
    void readServerLine(const QString& line);
    void serverExited(int exitCode);

    // A modal message box; after it returns, a closed window ends the run.
    void showMessage(const QString& text, MessageIcon icon);
    bool askQuestion(const QString& text, const QString& yes, const QString& no);

    // What the workflow shows.
    Phase phase() const { return workflow_.phase(); }
    const Workflow::Options& options() const { return workflow_.options(); }
    void setStatus(const QString& text) { workflow_.setStatus(text); }
    void setProgress(double value) { workflow_.setProgress(value); }
    void advanceProgress(double points) { workflow_.advanceProgress(points); }
    void appendLog(const QString& text) { workflow_.appendLog(text); }

    Workflow& workflow_;
    platform::Platform& platform_;
    link::ControllerLink& link_;
    pcside::ServerSupervisor& server_;
    pcside::BackupStore& store_;
    OperatorPrompts& prompts_;
    pcside::StoredSettings settings_;
    ControllerOutputReader output_;
    RunRecord record_;
    pcside::ServerWatch watch_;
    Workflow::LastRun last_;
    // Between the run's server start and its end: the server's lines are
    // this run's.
    bool followingServer_ = false;
    bool firmwareStopped_ = false;
    // The address of the run, as given, and the IPv4 address it leads to.
    QString address_;
    QString controllerIPv4_;
    // Where the archive a restore sends comes from, and its checked digest.
    QByteArray restoreSha256_;
    QString restoreSource_;
    // What the laser made of its backup, and the trees it packs.
    LaserBackup laser_;
    QByteArray treeDirectories_;
    // What the last verified backup was, for the operator.
    QString savedBackup_;
    // Why the run failed and what to do, for the status label.
    QString failureReason_;
    // The first progress report of the running transfer: when, how far.
    std::int64_t transferStartedMs_ = -1;
    qint64 transferBytes_ = 0;
};

}  // namespace tarvo::workflow
