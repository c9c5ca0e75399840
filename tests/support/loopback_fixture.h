#pragma once

#include "tftp/client.h"
#include "tftp/server.h"

#include <QTemporaryDir>

#include <memory>

// An in-process server on 127.0.0.1 and a client, with helpers that run one
// transfer to its end inside the test's event loop.
class LoopbackFixture
{
public:
    explicit LoopbackFixture(const tarvo::tftp::ServerConfig& config = defaultConfig());

    static tarvo::tftp::ServerConfig defaultConfig();
    bool isReady() const { return ready_; }
    quint16 port() const { return server_->port(); }
    QString root() const { return root_.path(); }
    QString localDir() const { return local_.path(); }
    tarvo::tftp::Server& server() { return *server_; }
    tarvo::tftp::Client& client() { return client_; }
    QStringList log() const { return *log_; }

    tarvo::tftp::TransferResult put(const QString& remote, const QString& local,
                             const tarvo::tftp::ClientOptions& o = {}, quint16 port = 0);
    tarvo::tftp::TransferResult get(const QString& remote, const QString& local,
                             const tarvo::tftp::ClientOptions& o = {}, quint16 port = 0);

private:
    QTemporaryDir root_;
    QTemporaryDir local_;
    std::unique_ptr<tarvo::tftp::Server> server_;
    tarvo::tftp::Client client_;
    std::shared_ptr<QStringList> log_ = std::make_shared<QStringList>();
    bool ready_ = false;
};

// Runs the event loop until done is true or timeoutMs passes.
bool spinUntil(const bool& done, int timeoutMs);
