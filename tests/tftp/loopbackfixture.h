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
    explicit LoopbackFixture(const tftp::ServerConfig& config = defaultConfig());

    static tftp::ServerConfig defaultConfig();
    bool isReady() const { return ready_; }
    quint16 port() const { return server_->port(); }
    QString root() const { return root_.path(); }
    QString localDir() const { return local_.path(); }
    tftp::Server& server() { return *server_; }
    tftp::Client& client() { return client_; }
    QStringList log() const { return *log_; }

    tftp::TransferResult put(const QString& remote, const QString& local,
                             const tftp::ClientOptions& o = {}, quint16 port = 0);
    tftp::TransferResult get(const QString& remote, const QString& local,
                             const tftp::ClientOptions& o = {}, quint16 port = 0);

private:
    QTemporaryDir root_;
    QTemporaryDir local_;
    std::unique_ptr<tftp::Server> server_;
    tftp::Client client_;
    std::shared_ptr<QStringList> log_ = std::make_shared<QStringList>();
    bool ready_ = false;
};

// Runs the event loop until done is true or timeoutMs passes.
bool spinUntil(const bool& done, int timeoutMs);
