#include "loopback_fixture.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

namespace {
constexpr int TransferTimeoutMs = 60000;
}

bool spinUntil(const bool& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    return done;
}

tarvo::tftp::ServerConfig LoopbackFixture::defaultConfig()
{
    tarvo::tftp::ServerConfig c;
    c.bindAddress = QHostAddress::LocalHost;
    c.port = 0;
    c.retry.initialTimeoutMs = 100;
    c.retry.maxTimeoutMs = 500;
    c.retry.maxTries = 6;
    c.dallyMs = 300;
    return c;
}

LoopbackFixture::LoopbackFixture(const tarvo::tftp::ServerConfig& config)
{
    tarvo::tftp::ServerConfig c = config;
    c.root = root_.path();
    server_ = std::make_unique<tarvo::tftp::Server>(c);
    auto log = log_;
    QObject::connect(server_.get(), &tarvo::tftp::Server::logLine, server_.get(),
                     [log](const QString& line) { log->append(line); });
    QString error;
    ready_ = root_.isValid() && local_.isValid() && server_->start(&error);
    if (!ready_)
        qWarning("server did not start: %s", qPrintable(error));
}

tarvo::tftp::TransferResult LoopbackFixture::put(const QString& remote, const QString& local,
                                          const tarvo::tftp::ClientOptions& o, quint16 port)
{
    // Shared, so a late answer after a give-up writes nowhere harmful.
    auto state = std::make_shared<std::pair<bool, tarvo::tftp::TransferResult>>();
    client_.put(QHostAddress::LocalHost, port ? port : this->port(), remote, local, o,
                 [state](const tarvo::tftp::TransferResult& r) { state->second = r; state->first = true; });
    if (!spinUntil(state->first, TransferTimeoutMs))
        state->second.errorText = QStringLiteral("test gave up waiting");
    return state->second;
}

tarvo::tftp::TransferResult LoopbackFixture::get(const QString& remote, const QString& local,
                                          const tarvo::tftp::ClientOptions& o, quint16 port)
{
    // Shared, so a late answer after a give-up writes nowhere harmful.
    auto state = std::make_shared<std::pair<bool, tarvo::tftp::TransferResult>>();
    client_.get(QHostAddress::LocalHost, port ? port : this->port(), remote, local, o,
                 [state](const tarvo::tftp::TransferResult& r) { state->second = r; state->first = true; });
    if (!spinUntil(state->first, TransferTimeoutMs))
        state->second.errorText = QStringLiteral("test gave up waiting");
    return state->second;
}
