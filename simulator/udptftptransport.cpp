#include "simulator/udptftptransport.h"

#include "tftp/client.h"

#include <QHostAddress>

namespace simulator {

namespace {

tftp::ClientOptions controllerOptions()
{
    tftp::ClientOptions o;
    o.sendTsize = true;
    o.initialTimeoutMs = 100;
    o.backoff = 1.5;
    o.maxTimeoutMs = 2000;
    o.maxTries = 12;
    return o;
}

// One client per transfer, gone once the transfer has reported.
tftp::Client* newClient(QObject* parent)
{
    return new tftp::Client(parent);
}

TftpTransport::Done finishing(tftp::Client* client, TftpTransport::Done done)
{
    return [client, done](const TftpOutcome& o) {
        client->deleteLater();
        done(o);
    };
}

TftpOutcome toOutcome(const tftp::TransferResult& r)
{
    TftpOutcome o;
    o.ok = r.ok;
    o.timedOut = r.timedOut;
    o.errorCode = r.errorCode;
    o.errorText = r.errorText;
    o.bytes = r.bytes;
    return o;
}

}  // namespace

UdpTftpTransport::UdpTftpTransport(QObject* parent) : QObject(parent) {}

void UdpTftpTransport::put(const QString& localPath, const QString& host, quint16 port,
                           const QString& remoteName, Done done)
{
    tftp::Client* client = newClient(this);
    auto finish = finishing(client, std::move(done));
    client->put(QHostAddress(host), port, remoteName, localPath, controllerOptions(),
                [finish](const tftp::TransferResult& r) { finish(toOutcome(r)); });
}

void UdpTftpTransport::get(const QString& localPath, const QString& host, quint16 port,
                           const QString& remoteName, Done done)
{
    tftp::Client* client = newClient(this);
    auto finish = finishing(client, std::move(done));
    client->get(QHostAddress(host), port, remoteName, localPath, controllerOptions(),
                [finish](const tftp::TransferResult& r) { finish(toOutcome(r)); });
}

}  // namespace simulator
