// The Start/Continue driver: one click runs one whole pass over the
// controller's shell.
#include "workflow/workflow.h"

#include "workflow/names.h"
#include "workflow/operator_texts.h"

#include <QDateTime>

namespace tarvo::workflow {

Workflow::Workflow(platform::Platform& platform, platform::Controls& controls, link::ControllerLink& link,
                   TftpServer& server)
    : platform_(platform),
      controls_(controls),
      link_(link),
      server_(server),
      settings_(platform),
      output_([this](const QString& text) { controls_.setStatus(text); })
{
    QObject::connect(&link_, &link::ControllerLink::progressed, &link_,
                     [this](double points) { controls_.advanceProgress(points); });
    QObject::connect(&link_, &link::ControllerLink::lineReceived, &link_,
                     [this](const QByteArray& line) { output_.read(line); });
    QObject::connect(&link_, &link::ControllerLink::textReceived, &link_, [this](const QString& text) {
        transcript_.add(Transcript::Source::Received, text.mid(2));  // each line comes after a CR LF
    });
    QObject::connect(&link_, &link::ControllerLink::lineSent, &link_, [this](const QByteArray& line) {
        transcript_.add(Transcript::Source::Sent, QString::fromLatin1(line));
    });
}

void Workflow::setPhase(Phase phase)
{
    phase_ = phase;
    controls_.setButtonCaption(phase == Phase::Backup ? OperatorTexts::startCaption()
                                                      : OperatorTexts::continueCaption());
}

void Workflow::run()
{
    if (running_)
        return;  // the disabled button already prevents this
    running_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{running_};
    try {
        runSteps();
    } catch (const link::RunAborted&) {
        // The window was closed during a wait; its shut-down has closed the
        // server and the link. Nothing of the window is touched any more.
    } catch (const std::exception& e) {
        recoverFromFault(e.what());
    }
}

void Workflow::runSteps()
{
    controls_.setButtonEnabled(false);
    controls_.setProgress(0);
    controls_.appendLog(QStringLiteral("\r\n\r\n"));
    controls_.appendLog(controls_.windowTitle() + QStringLiteral("\r\n"));
    transcript_.begin(controls_.windowTitle() + QStringLiteral(": ")
                      + (phase_ == Phase::Backup ? QStringLiteral("backup") : QStringLiteral("restore")) + QStringLiteral(" of ")
                      + controls_.targetAddress());

    firmwareStopped_ = false;
    lastBackup_ = {};
    // Everything on the PC's side is checked before the laser is touched:
    // the archive a restore would send, and the server that moves it.
    outcome_ = Outcome::NoConnection;
    if (addressGiven()) {
        if (phase_ == Phase::Restore && !checkArchiveToRestore())
            outcome_ = Outcome::ArchiveUnusable;
        else if (!startServer())
            outcome_ = Outcome::PcNotReady;
        else if (connectToController())
            runOnController();
    }
    stopServer();
    saveTranscript(controls_.status());
    controls_.setButtonEnabled(true);
}

void Workflow::runOnController()
{
    bool succeeded = false;
    outcome_ = Outcome::LoginFailed;
    if (logIn()) {
        outcome_ = Outcome::ControllerFailed;
        stopFirmware();
        if (!openSafetyRelay()) {
            showMessage(OperatorTexts::relayFailed(), platform::MessageIcon::Critical);
        } else if (phase_ == Phase::Backup) {
            succeeded = backUpConfiguration();
            if (succeeded)
                setPhase(Phase::Restore);
        } else {
            succeeded = restoreConfiguration();
            if (succeeded) {
                if (remembersPendingRestore_)
                    settings_.setPendingRestore({});
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
    if (link_.wasConnectionLost())
        addNote(OperatorTexts::connectionLost());
    if (firmwareStopped_)
        addNote(OperatorTexts::laserStopped());
}

QString Workflow::transcriptFolder() const
{
    return platform_.dataFolder() + QStringLiteral("/transcripts");
}

void Workflow::saveTranscript(const QString& outcome)
{
    transcript_.add(Transcript::Source::Tool, QStringLiteral("outcome: ") + outcome);
    const QString folder = transcriptFolder();
    const QString name = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")) + QStringLiteral(".log");
    if (!platform_.writeFile(folder + QLatin1Char('/') + name, transcript_.text().toUtf8()))
        return;
    QStringList saved = platform_.fileNames(folder);
    while (saved.size() > Transcript::kKept)
        platform_.removeFile(folder + QLatin1Char('/') + saved.takeFirst());
}

void Workflow::addNote(const QString& note)
{
    controls_.setStatus(controls_.status() + QStringLiteral("\r\n") + note);
    controls_.appendLog(QStringLiteral("\r\n[") + note + QStringLiteral("]"));
}

void Workflow::recoverFromFault(const char* what)
{
    // An unexpected failure of a window or socket operation: say so in the
    // log, stop what the run started, and give the operator the button back.
    // Each step is tried on its own, since the fault may strike again.
    const QString text = QStringLiteral("\r\n") + OperatorTexts::runFault(QString::fromLocal8Bit(what))
                         + QStringLiteral("\r\n");
    try { controls_.appendLog(text); } catch (...) {}
    try { stopServer(); } catch (...) {}
    try { link_.disconnectFromController(); } catch (...) {}
    try { controls_.setButtonEnabled(true); } catch (...) {}
}

bool Workflow::exportTranscript(const QString& path)
{
    return !transcript_.isEmpty() && platform_.writeFile(path, transcript_.text().toUtf8());
}

void Workflow::showMessage(const QString& text, platform::MessageIcon icon)
{
    transcript_.add(Transcript::Source::Tool, QStringLiteral("message: ") + text);
    if (link_.isShuttingDown())
        throw link::RunAborted();
    platform_.messageBox(text, icon);
    if (link_.isShuttingDown())
        throw link::RunAborted();
}

}  // namespace tarvo::workflow
