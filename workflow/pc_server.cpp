// The PC's side of a run: its TFTP server is listening before the laser
// is touched, and is closed when the run ends.
#include "workflow/workflow.h"

#include "workflow/operator_texts.h"

namespace tarvo::workflow {

namespace {
constexpr int kServerPollMs = 20;
}  // namespace

bool Workflow::startServer()
{
    watch_.begin(server_.programPath());
    watch_.onProgress = [this](const ServerWatch::Progress& progress) { showTransferProgress(progress); };
    transferStartedMs_ = -1;
    const QStringList arguments{QStringLiteral("-v"), QStringLiteral("--root"), archiveFolder(),
                                QStringLiteral("--per-client"), QStringLiteral("--exit-with-parent")};
    const bool started = server_.start(
        arguments,
        [this](const QString& line) {
            watch_.readLine(line);
            transcript_.add(Transcript::Source::Server, line);
            appendLog(QStringLiteral("\r\n") + OperatorTexts::serverLine(line));
        },
        [this](int code) { watch_.exited(code); });
    if (!started) {
        watch_.stopped();
        showMessage(OperatorTexts::serverMissing(), platform::MessageIcon::Critical);
        return false;
    }
    const std::int64_t deadline = platform_.nowMs() + kServerReadyMs;
    while (watch_.state() == ServerWatch::State::Starting && platform_.nowMs() < deadline)
        link_.waitMs(kServerPollMs);
    if (watch_.state() == ServerWatch::State::Ready)
        return true;
    const QString why = watch_.state() == ServerWatch::State::Failed ? watch_.failure()
                                                                     : OperatorTexts::serverNotReady(kServerReadyMs / 1000);
    stopServer();
    showMessage(why, platform::MessageIcon::Critical);
    return false;
}

void Workflow::stopServer()
{
    watch_.stopped();
    server_.stop();
}

}  // namespace tarvo::workflow
