// The Start/Continue driver: one click runs one whole pass over the
// controller's shell.
#include "workflow/workflow.h"

#include "workflow/failure_texts.h"
#include "workflow/laser_texts.h"
#include "workflow/names.h"
#include "workflow/operator_texts.h"

#include <QDateTime>

#include <cmath>
#include <limits>

namespace tarvo::workflow {

Workflow::Workflow(platform::Platform& platform, link::ControllerLink& link, pcside::ServerSupervisor& server,
                   pcside::BackupStore& store, OperatorPrompts& prompts, QObject* parent)
    : QObject(parent),
      platform_(platform),
      link_(link),
      server_(server),
      store_(store),
      prompts_(prompts),
      settings_(platform.settingsStore(), platform.fileSystem()),
      output_([this](const QString& text) { setStatus(text); })
{
    QObject::connect(&server_, &pcside::ServerSupervisor::lineRead, this, &Workflow::readServerLine);
    QObject::connect(&server_, &pcside::ServerSupervisor::exited, this, &Workflow::serverExited);
    QObject::connect(&link_, &link::ControllerLink::progressed, this,
                     [this](double points) { advanceProgress(points); });
    QObject::connect(&link_, &link::ControllerLink::lineReceived, this,
                     [this](const QByteArray& line) { output_.read(line); });
    QObject::connect(&link_, &link::ControllerLink::textReceived, this, [this](const QString& text) {
        appendLog(text);
        transcript_.add(pcside::Transcript::Source::Received, text.mid(2));  // each line comes after a CR LF
    });
    QObject::connect(&link_, &link::ControllerLink::lineSent, this, [this](const QByteArray& line) {
        transcript_.add(pcside::Transcript::Source::Sent, QString::fromLatin1(line));
    });
    QObject::connect(&link_, &link::ControllerLink::connectionChanged, this, &Workflow::linkStateChanged);
    QObject::connect(&link_, &link::ControllerLink::socketErrorOccurred, this, [this](const QString& text) {
        appendLog(QStringLiteral("\r\n") + OperatorTexts::socketError(text));
    });
}

void Workflow::setPhase(Phase phase)
{
    phase_ = phase;
    emit phaseChanged(phase);
}

void Workflow::resumeStoredPhase()
{
    const pcside::PendingRestore pending = store_.pendingRestore();
    setPhase(pending.isValid() ? Phase::Restore : Phase::Backup);
    setProgress(0);
    QString status = pending.isValid() ? LaserTexts::restorePending(pending.controller, pending.identity, pending.time)
                                       : OperatorTexts::idleStatus();
    // A laser the last window left stopped is named until it is dealt with
    // here: said once, in the status and the log.
    const pcside::InterruptedRun interrupted = settings_.interruptedRun();
    if (interrupted.isValid()) {
        const QString notice = LaserTexts::interruptedRun(interrupted);
        status = pending.isValid() ? notice + QStringLiteral("\r\n") + status : notice;
        appendLog(QStringLiteral("\r\n[") + notice + QLatin1Char(']'));
        settings_.setInterruptedRun({});
    }
    setStatus(status);
}

void Workflow::recordInterruption()
{
    if (!running_)
        return;
    const QString step = status_.section(QStringLiteral("\r\n"), 0, 0).trimmed();
    transcript_.add(pcside::Transcript::Source::Tool, QStringLiteral("the window was closed during: ") + step);
    saveTranscript(QStringLiteral("interrupted"));
    // Before the firmware was stopped, nothing on the laser had changed.
    if (!firmwareStopped_)
        return;
    settings_.setInterruptedRun({address_, LaserTexts::laser(address_, identity_), step,
                                 QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                                 phase_ == Phase::Restore, true});
}

void Workflow::startNewBackup()
{
    if (running_)
        return;
    store_.clearPendingRestore();
    setPhase(Phase::Backup);
    setProgress(0);
    setStatus(OperatorTexts::idleStatus());
}

void Workflow::setStatus(const QString& text)
{
    status_ = text;
    emit statusChanged(text);
}

void Workflow::setProgress(double value)
{
    progress_ = value;
    emit progressChanged(value);
}

void Workflow::advanceProgress(double points)
{
    setProgress(advancedProgress(progress_, points));
}

void Workflow::appendLog(const QString& text)
{
    emit logAppended(text);
}

void Workflow::setRunning(bool running)
{
    running_ = running;
    emit runningChanged(running);
}

void Workflow::run(const QString& address)
{
    if (running_)
        return;  // the disabled button already prevents this
    // Blanks around an address pasted or typed are no part of it.
    address_ = address.trimmed();
    struct Done {
        Workflow& workflow;
        ~Done() { workflow.running_ = false; }
    } done{*this};
    try {
        runSteps();
        emit finished(outcome_);
    } catch (const link::RunAborted&) {
        // The window was closed during a wait; its shut-down has closed the
        // server and the link. Nothing of the window is touched any more.
    } catch (const std::exception& e) {
        recoverFromFault(e.what());
    }
}

void Workflow::runSteps()
{
    setRunning(true);
    setProgress(0);
    appendLog(QStringLiteral("\r\n\r\n"));
    appendLog(title_ + QStringLiteral("\r\n"));
    transcript_.begin(title_ + QStringLiteral(": ")
                      + (phase_ == Phase::Backup ? QStringLiteral("backup") : QStringLiteral("restore")) + QStringLiteral(" of ")
                      + address_);

    firmwareStopped_ = false;
    identity_ = {};
    lastBackup_ = {};
    recordProblems_.clear();
    failureReason_.clear();
    // Everything on the PC's side is checked before the laser is touched:
    // the archive a restore would send, and the server that moves it.
    outcome_ = Outcome::NoConnection;
    if (addressGiven()) {
        if (phase_ == Phase::Restore && !checkArchiveToRestore())
            outcome_ = Outcome::ArchiveUnusable;
        else if (!findController())
            outcome_ = Outcome::NoConnection;
        else if (!startServer())
            outcome_ = Outcome::PcNotReady;
        else if (connectToController(address_)) {
            if (phase_ == Phase::Backup || laserMatchesBackup())
                runOnController();
            else
                link_.disconnectFromController();
        }
        // The PC side was not ready: the run ends like any failed one.
        if (outcome_ == Outcome::ArchiveUnusable || outcome_ == Outcome::PcNotReady)
            setStatus(failedStatus(phase_ == Phase::Backup ? OperatorTexts::readingFailed()
                                                           : OperatorTexts::writingFailed()));
    }
    stopServer();
    saveTranscript(status_);
    setRunning(false);
}

void Workflow::runOnController()
{
    bool succeeded = false;
    outcome_ = Outcome::LoginFailed;
    if (logIn()) {
        outcome_ = Outcome::ControllerFailed;
        stopFirmware();
        if (!openSafetyRelay()) {
            showMessage(OperatorTexts::relayFailed(), MessageIcon::Critical);
        } else if (phase_ == Phase::Backup) {
            succeeded = backUpConfiguration();
            if (succeeded)
                setPhase(Phase::Restore);
        } else {
            succeeded = restoreConfiguration();
            if (succeeded) {
                store_.clearPendingRestore();
                setPhase(Phase::Backup);
            }
        }
    }
    if (succeeded)
        outcome_ = Outcome::Succeeded;
    else
        reportEndOfFailedRun();
    link_.disconnectFromController();
}

void Workflow::reportEndOfFailedRun()
{
    // A step's failure that named the lost connection said it already.
    if (link_.wasConnectionLost() && !failureReason_.startsWith(FailureTexts::linkLost()))
        addNote(OperatorTexts::connectionLost());
    if (firmwareStopped_)
        addNote(OperatorTexts::laserStopped());
}

QString Workflow::transcriptFolder() const
{
    return transcriptFolder_.isEmpty() ? platform_.fileSystem().dataFolder() + QStringLiteral("/transcripts") : transcriptFolder_;
}

void Workflow::saveTranscript(const QString& outcome)
{
    transcript_.add(pcside::Transcript::Source::Tool, QStringLiteral("outcome: ") + outcome);
    if (!pcside::saveTranscript(platform_.fileSystem(), transcriptFolder(), transcript_,
                                isControllerAddress(address_) ? address_ : QString()))
        recordProblems_ << OperatorTexts::transcriptNotSaved(transcriptFolder());
}

void Workflow::addNote(const QString& note)
{
    setStatus(status_ + QStringLiteral("\r\n") + note);
    appendLog(QStringLiteral("\r\n[") + note + QStringLiteral("]"));
}

void Workflow::recoverFromFault(const char* what)
{
    // An unexpected failure of a window or socket operation: say so in the
    // log, stop what the run started, and give the operator the button back.
    // Each step is tried on its own, since the fault may strike again.
    const QString text = QStringLiteral("\r\n") + OperatorTexts::runFault(QString::fromLocal8Bit(what))
                         + QStringLiteral("\r\n");
    try { appendLog(text); } catch (...) {}
    try { stopServer(); } catch (...) {}
    try { link_.disconnectFromController(); } catch (...) {}
    try { setRunning(false); } catch (...) {}
}

bool Workflow::exportTranscript(const QString& path)
{
    return !transcript_.isEmpty() && platform_.fileSystem().writeFile(path, transcript_.text().toUtf8());
}

void Workflow::showMessage(const QString& text, MessageIcon icon)
{
    transcript_.add(pcside::Transcript::Source::Tool, QStringLiteral("message: ") + text);
    if (link_.isShuttingDown())
        throw link::RunAborted();
    prompts_.showMessage(text, icon);
    if (link_.isShuttingDown())
        throw link::RunAborted();
}

bool Workflow::askQuestion(const QString& text, const QString& yes, const QString& no)
{
    transcript_.add(pcside::Transcript::Source::Tool, QStringLiteral("question: ") + text);
    if (link_.isShuttingDown())
        throw link::RunAborted();
    const bool answer = prompts_.ask(text, MessageIcon::Critical, yes, no);
    if (link_.isShuttingDown())
        throw link::RunAborted();
    transcript_.add(pcside::Transcript::Source::Tool, QStringLiteral("answer: ") + (answer ? yes : no));
    return answer;
}

int roundHalfEven16(double value)
{
    if (std::isnan(value))
        return 0;
    // nearbyint rounds half to even in the default rounding mode.
    const double r = std::nearbyint(value);
    if (r > std::numeric_limits<qint16>::max())
        return std::numeric_limits<qint16>::max();
    if (r < std::numeric_limits<qint16>::min())
        return std::numeric_limits<qint16>::min();
    return static_cast<int>(r);
}

double advancedProgress(double current, double points)
{
    // The bar holds single precision; the sum is rounded as a whole.
    const float sum = static_cast<float>(current) + static_cast<float>(points);
    const int value = roundHalfEven16(sum);
    return value > 99 ? 100 : value;
}

}  // namespace tarvo::workflow
