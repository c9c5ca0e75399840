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
    bool isReady() const { return m_ready; }
    quint16 port() const { return m_server->port(); }
    QString root() const { return m_root.path(); }
    QString localDir() const { return m_local.path(); }
    tftp::Server& server() { return *m_server; }
    tftp::Client& client() { return m_client; }
    QStringList log() const { return *m_log; }

    tftp::TransferResult put(const QString& remote, const QString& local,
                             const tftp::ClientOptions& o = {}, quint16 port = 0);
    tftp::TransferResult get(const QString& remote, const QString& local,
                             const tftp::ClientOptions& o = {}, quint16 port = 0);

private:
    QTemporaryDir m_root;
    QTemporaryDir m_local;
    std::unique_ptr<tftp::Server> m_server;
    tftp::Client m_client;
    std::shared_ptr<QStringList> m_log = std::make_shared<QStringList>();
    bool m_ready = false;
};

// Runs the event loop until done is true or timeoutMs passes.
bool spinUntil(const bool& done, int timeoutMs);
