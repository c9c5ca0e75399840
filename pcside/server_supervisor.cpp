#include "pcside/server_supervisor.h"

#include "pcside/pc_texts.h"

namespace tarvo::pcside {

namespace {
constexpr int kPollMs = 20;
}  // namespace

ServerSupervisor::ServerSupervisor(platform::EventLoop& events, TftpServer& program, QObject* parent)
    : QObject(parent), events_(events), program_(program)
{
}

bool ServerSupervisor::start(const QString& root, const QStringList& peers, const std::function<void(int ms)>& wait,
                             Uploads uploads)
{
    if (ready_ && program_.isRunning())
        return true;
    watch_.begin(program_.programPath());
    setReadyLine({});
    setFailure({});
    if (peers.isEmpty()) {
        // A server for nobody in particular would serve anybody.
        watch_.stopped();
        setFailure(PcTexts::serverWithoutControllers());
        return false;
    }
    QStringList arguments{QStringLiteral("-v"), QStringLiteral("--root"), root, QStringLiteral("--per-client"),
                          QStringLiteral("--exit-with-parent"), QStringLiteral("--only-from"),
                          peers.join(QLatin1Char(',')), QStringLiteral("--max-stored"),
                          QString::number(kStoredPerController * peers.size())};
    if (uploads == Uploads::Refused)
        arguments << QStringLiteral("--no-uploads");
    const bool started = program_.start(
        arguments,
        [this](const QString& line) {
            watch_.readLine(line);
            if (watch_.state() == ServerWatch::State::Ready && readyLine().isEmpty())
                setReadyLine(line);
            ready_ = watch_.state() == ServerWatch::State::Ready;
            emit lineRead(line);
        },
        [this](int code) {
            watch_.exited(code);
            ready_ = false;
            // A server that ends while runs share it: they say why.
            if (failure().isEmpty())
                setFailure(watch_.failure());
            emit exited(code);
        });
    if (!started) {
        watch_.stopped();
        setFailure(PcTexts::serverMissing());
        return false;
    }
    const std::int64_t deadline = events_.nowMs() + kReadyMs;
    while (watch_.state() == ServerWatch::State::Starting && events_.nowMs() < deadline)
        wait(kPollMs);
    if (watch_.state() == ServerWatch::State::Ready)
        return true;
    setFailure(watch_.state() == ServerWatch::State::Failed ? watch_.failure() : PcTexts::serverNotReady(kReadyMs / 1000));
    stop();
    return false;
}

QString ServerSupervisor::failure() const
{
    const QMutexLocker lock(&mutex_);
    return failure_;
}

QString ServerSupervisor::readyLine() const
{
    const QMutexLocker lock(&mutex_);
    return readyLine_;
}

void ServerSupervisor::setFailure(const QString& failure)
{
    const QMutexLocker lock(&mutex_);
    failure_ = failure;
}

void ServerSupervisor::setReadyLine(const QString& line)
{
    const QMutexLocker lock(&mutex_);
    readyLine_ = line;
}

void ServerSupervisor::stop()
{
    ready_ = false;
    watch_.stopped();
    program_.stop();
}

}  // namespace tarvo::pcside
