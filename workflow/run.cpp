// A run as a table of steps: one loop takes them in order and ends the run
// at the first failure.
#include "workflow/run.h"

#include "link/controller_link.h"
#include "pcside/server_supervisor.h"
#include "workflow/failure_texts.h"
#include "workflow/laser_texts.h"
#include "workflow/names.h"
#include "workflow/operator_texts.h"

#include <QDateTime>
#include <QtGlobal>

namespace tarvo::workflow {

namespace {

// What a run cut short by a fault had come to, by the step it was in.
Workflow::Outcome outcomeCutShort(RunStep step)
{
    if (step <= RunStep::Connecting)
        return Workflow::Outcome::NoConnection;
    if (step == RunStep::CheckingLaser)
        return Workflow::Outcome::ArchiveUnusable;
    if (step == RunStep::LoggingIn)
        return Workflow::Outcome::LoginFailed;
    return Workflow::Outcome::ControllerFailed;
}

}  // namespace

Run::Run(Workflow& workflow, platform::Platform& platform, link::ControllerLink& link,
         pcside::ServerSupervisor& server, pcside::BackupStore& store, OperatorPrompts& prompts)
    : workflow_(workflow),
      platform_(platform),
      link_(link),
      server_(server),
      store_(store),
      prompts_(prompts),
      settings_(platform.settingsStore(), platform.fileSystem()),
      output_([this](const QString& text) { setStatus(text); }),
      record_([this](const QString& text) { appendLog(text); })
{
    QObject::connect(&server_, &pcside::ServerSupervisor::lineRead, &workflow_,
                     [this](const QString& line) { readServerLine(line); });
    QObject::connect(&server_, &pcside::ServerSupervisor::exited, &workflow_,
                     [this](int exitCode) { serverExited(exitCode); });
    QObject::connect(&link_, &link::ControllerLink::progressed, &workflow_,
                     [this](double points) { advanceProgress(points); });
    QObject::connect(&link_, &link::ControllerLink::lineReceived, &workflow_,
                     [this](const QByteArray& line) { output_.read(line); });
    QObject::connect(&link_, &link::ControllerLink::textReceived, &workflow_,
                     [this](const QString& text) { record_.received(text); });
    QObject::connect(&link_, &link::ControllerLink::lineSent, &workflow_,
                     [this](const QByteArray& line) { record_.sent(line); });
    QObject::connect(&link_, &link::ControllerLink::socketErrorOccurred, &workflow_,
                     [this](const QString& text) { record_.line(OperatorTexts::socketError(text)); });
}

std::vector<Step> Run::backupSteps()
{
    return {
        {.id = RunStep::CheckingAddress, .action = [this] { return checkAddress(); }},
        {.id = RunStep::LookingUp, .action = [this] { return findController(); }},
        {.id = RunStep::StartingServer, .action = [this] { return startServer(); }},
        {.id = RunStep::Connecting, .action = [this] { return connectToController(); }},
        {.id = RunStep::LoggingIn, .action = [this] { return logIn(); }},
        {.id = RunStep::StoppingFirmware, .action = [this] { return stopFirmware(); }},
        {.id = RunStep::OpeningRelay, .action = [this] { return openSafetyRelay(); }},
        {.id = RunStep::Remounting, .action = [this] { return beginTransfer(true); }},
        {.id = RunStep::Remounting,
         .status = OperatorTexts::reading(),
         .bar = kTransferProgress,
         .command = kRemount,
         .error = [](int code) { return OperatorTexts::remountError(code); }},
        {.id = RunStep::Packing, .command = "cd /", .wait = Step::Wait::HalfSecond},
        {.id = RunStep::Packing, .action = [this] { return chooseTrees(); }},
        {.id = RunStep::Packing, .action = [this] { return pack(); }},
        {.id = RunStep::Syncing,
         .command = "sync",
         .error = [](int code) { return OperatorTexts::syncError(QString::fromLatin1(kArchiveName), code); }},
        {.id = RunStep::Uploading, .command = "cd /media", .wait = Step::Wait::HalfSecond},
        {.id = RunStep::Uploading, .action = [this] { return upload(); }},
        {.id = RunStep::Verifying, .action = [this] { return verifyBackup(); }},
        {.id = RunStep::Finishing, .action = [this] { return finishBackup(); }},
    };
}

std::vector<Step> Run::restoreSteps()
{
    const QString archive = QString::fromLatin1(kArchiveName);
    return {
        {.id = RunStep::CheckingAddress, .action = [this] { return checkAddress(); }},
        {.id = RunStep::CheckingArchive, .action = [this] { return checkArchiveToRestore(); }},
        {.id = RunStep::LookingUp, .action = [this] { return findController(); }},
        {.id = RunStep::StartingServer, .action = [this] { return startServer(); }},
        {.id = RunStep::Connecting, .action = [this] { return connectToController(); }},
        {.id = RunStep::CheckingLaser, .action = [this] { return checkLaser(); }},
        {.id = RunStep::LoggingIn, .action = [this] { return logIn(); }},
        {.id = RunStep::StoppingFirmware, .action = [this] { return stopFirmware(); }},
        {.id = RunStep::OpeningRelay, .action = [this] { return openSafetyRelay(); }},
        {.id = RunStep::Remounting, .action = [this] { return beginTransfer(false); }},
        {.id = RunStep::Remounting,
         .status = OperatorTexts::writing(),
         .bar = kTransferProgress,
         .command = kRemount,
         .error = [](int code) { return OperatorTexts::remountError(code); }},
        {.id = RunStep::Staging, .action = [this] { return stage(); }},
        {.id = RunStep::Downloading, .command = "cd /media", .wait = Step::Wait::HalfSecond},
        {.id = RunStep::Downloading, .action = [this] { return fetch(); }},
        {.id = RunStep::Syncing,
         .command = "sync",
         .error = [archive](int code) { return OperatorTexts::syncError(archive, code); }},
        {.id = RunStep::Unpacking, .action = [this] { return unpack(); }},
        {.id = RunStep::SyncingUnpacked,
         .command = "sync",
         .error = [](int code) { return OperatorTexts::syncAfterExtractError(code); }},
        {.id = RunStep::Finishing, .action = [this] { return finishRestore(); }},
    };
}

void Run::perform(const QString& address)
{
    address_ = address;
    setProgress(0);
    const QString& title = options().title;
    record_.begin(title, title + QStringLiteral(": ")
                             + (phase() == Phase::Backup ? QStringLiteral("backup") : QStringLiteral("restore"))
                             + QStringLiteral(" of ") + address_);
    firmwareStopped_ = false;
    last_ = {};
    failureReason_.clear();
    restoreSource_.clear();
    // Everything on the PC's side is checked before the laser is touched:
    // the archive a restore would send, and the server that moves it.
    const std::vector<Step> steps = phase() == Phase::Backup ? backupSteps() : restoreSteps();
    for (const Step& step : steps) {
        workflow_.setStep(step.id);
        if (!step.status.isEmpty() && !output_.hasComplaint())
            setStatus(step.status);
        if (step.bar != 0)
            advanceProgress(step.bar);
        if (const StepResult failure = take(step)) {
            fail(*failure, step.id);
            return;
        }
    }
    last_.outcome = Outcome::Succeeded;
    link_.disconnectFromController();
}

StepResult Run::take(const Step& step)
{
    if (step.action)
        return step.action();
    if (step.wait == Step::Wait::HalfSecond) {
        plainStep(step.command);
        return {};
    }
    if (statusStep(step.command) == 0)
        return {};
    return stepFailure(step.error(lastCode()),
                       step.wait == Step::Wait::TransferStatus ? StepKind::Transfer : StepKind::Command);
}

void Run::fail(const Failure& failure, RunStep step)
{
    last_.outcome = failure.outcome;
    if (!failure.message.isEmpty())
        showMessage(failure.message, failure.icon);
    failureReason_ = failure.reason;
    if (!failure.status.isEmpty() && !(failure.complaintStays && output_.hasComplaint()))
        setStatus(failureReason_.isEmpty() ? failure.status : failure.status + QStringLiteral("\r\n") + failureReason_);
    if (failure.progress >= 0)
        setProgress(failure.progress);
    if (!failure.note.isEmpty())
        record_.note(failure.note);
    // Once logging in began, the laser may be left changed; once connected,
    // the link is closed.
    if (step >= RunStep::LoggingIn)
        reportEndOfFailedRun();
    if (step >= RunStep::CheckingLaser)
        link_.disconnectFromController();
}

void Run::reportEndOfFailedRun()
{
    // A step's failure that named the lost connection said it already.
    auto addNote = [this](const QString& note) {
        setStatus(workflow_.status_ + QStringLiteral("\r\n") + note);
        record_.note(note);
    };
    if (link_.wasConnectionLost() && !failureReason_.startsWith(FailureTexts::linkLost()))
        addNote(OperatorTexts::connectionLost());
    if (firmwareStopped_)
        addNote(OperatorTexts::laserStopped());
}

void Run::finish()
{
    stopServer();
    save(workflow_.status_);
}

QString Run::transcriptFolder() const
{
    return options().transcriptFolder.isEmpty() ? platform_.fileSystem().dataFolder() + QStringLiteral("/transcripts")
                                                : options().transcriptFolder;
}

void Run::save(const QString& outcome)
{
    const QString folder = transcriptFolder();
    const QString controller = isControllerAddress(address_) ? address_ : QString();
    if (!record_.save(platform_.fileSystem(), folder, outcome, controller))
        last_.recordProblems << OperatorTexts::transcriptNotSaved(folder);
}

void Run::recordInterruption()
{
    const QString step = workflow_.status_.section(QStringLiteral("\r\n"), 0, 0).trimmed();
    record_.add(QStringLiteral("the window was closed during: ") + step);
    save(QStringLiteral("interrupted"));
    // Before the firmware was stopped, nothing on the laser had changed.
    if (!firmwareStopped_)
        return;
    settings_.setInterruptedRun({address_, LaserTexts::laser(address_, last_.identity), step,
                                 QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                                 phase() == Phase::Restore, true});
}

void Run::recoverFromFault(const QString& what)
{
    // An unexpected failure of a window or socket operation: say so in the
    // log, stop what the run started, and give the operator the button back.
    if (workflow_.step_ != RunStep::None)
        last_.outcome = outcomeCutShort(workflow_.step_);
    // Each part is tried on its own, since the fault may strike again; what
    // fails of it is said on the error output, the window being unreliable.
    const auto attempt = [](const char* part, const std::function<void()>& action) {
        try {
            action();
        } catch (const link::RunAborted&) {
            // The window was closed meanwhile: its shut-down closes the rest.
        } catch (const std::exception& e) {
            qWarning("After a fault in the run, %s failed too: %s", part, e.what());
        }
    };
    const QString nl = QStringLiteral("\r\n");
    attempt("the log", [&] { appendLog(nl + OperatorTexts::runFault(what) + nl); });
    attempt("stopping the TFTP server", [this] { stopServer(); });
    attempt("closing the link", [this] { link_.disconnectFromController(); });
    attempt("releasing the button", [this] { workflow_.setRunning(false); });
}

void Run::showMessage(const QString& text, MessageIcon icon)
{
    record_.add(QStringLiteral("message: ") + text);
    if (link_.isShuttingDown())
        throw link::RunAborted();
    prompts_.showMessage(text, icon);
    if (link_.isShuttingDown())
        throw link::RunAborted();
}

bool Run::askQuestion(const QString& text, const QString& yes, const QString& no)
{
    record_.add(QStringLiteral("question: ") + text);
    if (link_.isShuttingDown())
        throw link::RunAborted();
    const bool answer = prompts_.ask(text, MessageIcon::Critical, yes, no);
    if (link_.isShuttingDown())
        throw link::RunAborted();
    record_.add(QStringLiteral("answer: ") + (answer ? yes : no));
    return answer;
}

}  // namespace tarvo::workflow
