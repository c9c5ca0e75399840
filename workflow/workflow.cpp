// The Start/Continue driver: one click runs one whole pass over the
// controller's shell.
#include "workflow/workflow.h"

#include "link/controller_link.h"
#include "platform/platform.h"
#include "workflow/laser_texts.h"
#include "workflow/operator_texts.h"
#include "workflow/run.h"

#include <cmath>
#include <limits>

namespace tarvo::workflow {

Workflow::Workflow(platform::Platform& platform, link::ControllerLink& link, pcside::ServerSupervisor& server,
                   pcside::BackupStore& store, OperatorPrompts& prompts, Options options, QObject* parent)
    : QObject(parent),
      platform_(platform),
      store_(store),
      options_(std::move(options)),
      run_(std::make_unique<Run>(*this, platform, link, server, store, prompts))
{
    QObject::connect(&link, &link::ControllerLink::connectionChanged, this, &Workflow::linkStateChanged);
}

Workflow::~Workflow() = default;

const Workflow::LastRun& Workflow::lastRun() const
{
    return run_->last();
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
    pcside::StoredSettings& settings = run_->settings();
    const pcside::InterruptedRun interrupted = settings.interruptedRun();
    if (interrupted.isValid()) {
        const QString notice = LaserTexts::interruptedRun(interrupted);
        status = pending.isValid() ? notice + QStringLiteral("\r\n") + status : notice;
        appendLog(QStringLiteral("\r\n[") + notice + QLatin1Char(']'));
        settings.setInterruptedRun({});
    }
    setStatus(status);
}

void Workflow::recordInterruption()
{
    if (running_)
        run_->recordInterruption();
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

void Workflow::chooseBackupToRestore(const Backup& backup)
{
    if (running_)
        return;
    store_.choose(backup);
    setPhase(Phase::Restore);
    setStatus(LaserTexts::restorePending(backup.controller, backup.identity, pcside::BackupStore::shownTime(backup.time)));
}

void Workflow::setStatus(const QString& text)
{
    status_ = text;
    emit statusChanged(text);
}

void Workflow::setStep(RunStep step)
{
    if (step == step_)
        return;
    step_ = step;
    emit stepChanged(step);
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
    struct Done {
        Workflow& workflow;
        ~Done()
        {
            workflow.running_ = false;
            workflow.step_ = RunStep::None;
        }
    } done{*this};
    try {
        setRunning(true);
        // Blanks around an address pasted or typed are no part of it.
        run_->perform(address.trimmed());
        run_->finish();
        setStep(RunStep::None);
        setRunning(false);
        emit finished(run_->last().outcome);
    } catch (const link::RunAborted&) {
        // The window was closed during a wait; its shut-down has closed the
        // server and the link. Nothing of the window is touched any more.
    } catch (const std::exception& e) {
        run_->recoverFromFault(QString::fromLocal8Bit(e.what()));
    }
}

bool Workflow::exportTranscript(const QString& path)
{
    const pcside::Transcript& transcript = run_->record().transcript();
    return !transcript.isEmpty() && platform_.fileSystem().writeFile(path, transcript.text().toUtf8());
}

const pcside::ServerWatch& Workflow::serverWatch() const
{
    return run_->watch();
}

const pcside::Transcript& Workflow::transcript() const
{
    return run_->record().transcript();
}

QString Workflow::transcriptFolder() const
{
    return run_->transcriptFolder();
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
