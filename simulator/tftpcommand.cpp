#include "simulator/tftpcommand.h"

#include "simulator/secondupload.h"
#include "simulator/tftptransport.h"

#include <QFileInfo>
#include <QHostAddress>

namespace tarvo::simulator {

namespace {

constexpr int startupMs = 10;

void usage(Invocation& inv)
{
    inv.errLine("BusyBox v1.35.0 multi-call binary.\n\n"
                "Usage: tftp [OPTIONS] HOST [PORT]\n\n"
                "Transfer a file from/to tftp server\n\n"
                "\t-l FILE\tLocal FILE\n"
                "\t-r FILE\tRemote FILE\n"
                "\t-g\tGet file\n"
                "\t-p\tPut file\n"
                "\t-b SIZE\tTransfer blocks in bytes");
    inv.finishAfter(startupMs, 1);
}

void tftp(Invocation& inv)
{
    bool get = false;
    bool put = false;
    QByteArray local;
    QByteArray remote;
    QList<QByteArray> operands;
    const QList<QByteArray> args = inv.argv.mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QByteArray& a = args[i];
        if (a == "-g") {
            get = true;
        } else if (a == "-p") {
            put = true;
        } else if ((a == "-l" || a == "-r" || a == "-b") && i + 1 < args.size()) {
            if (a == "-l")
                local = args[++i];
            else if (a == "-r")
                remote = args[++i];
            else
                ++i;
        } else if (a.startsWith('-')) {
            usage(inv);
            return;
        } else {
            operands << a;
        }
    }
    if (get == put || operands.isEmpty() || operands.size() > 2 || (local.isEmpty() && remote.isEmpty())) {
        usage(inv);
        return;
    }
    if (remote.isEmpty())
        remote = local;
    if (local.isEmpty())
        local = remote.mid(remote.lastIndexOf('/') + 1);

    QString host = QString::fromLatin1(operands[0]);
    if (host == QLatin1String("localhost"))
        host = QStringLiteral("127.0.0.1");
    if (QHostAddress(host).protocol() != QAbstractSocket::IPv4Protocol) {
        inv.errLine("tftp: bad address '" + operands[0] + "'");
        inv.finishAfter(startupMs, 1);
        return;
    }
    quint16 port = inv.controller.options.tftpPort;
    if (operands.size() == 2) {
        bool ok = false;
        const uint p = operands[1].toUInt(&ok);
        if (!ok || p == 0 || p > 65535) {
            inv.errLine("tftp: bad port '" + operands[1] + "'");
            inv.finishAfter(startupMs, 1);
            return;
        }
        port = quint16(p);
    }

    const CardPath file = inv.controller.card.resolve(inv.shell.cwd, local);
    int openError = file.error;
    if (!openError && put && !file.exists)
        openError = ENOENT;
    else if (!openError && file.exists && file.isDir)
        openError = EISDIR;
    else if (!openError && get && inv.controller.device.isReadOnly(file.path))
        openError = EROFS;
    else if (!openError && get && !inv.controller.card.resolve("/", file.parentPath()).isDir)
        openError = ENOENT;
    if (openError) {
        inv.errLine("tftp: can't open '" + local + "': " + Card::errorText(openError));
        inv.finishAfter(startupMs, 1);
        return;
    }
    if (inv.controller.faults.failTftp) {
        inv.errLine("tftp: server error: (2) Access violation");
        inv.finishAfter(startupMs * 5, 1);
        return;
    }

    auto err = inv.err;
    auto done = inv.done;
    const QString remoteName = QString::fromLatin1(remote);
    TftpTransport* transport = &inv.controller.tftp;
    const bool secondUpload = put && inv.controller.faults.secondUpload;
    auto finished = [err, done, secondUpload, transport, host, port, remoteName](const TftpOutcome& o) {
        if (o.ok && secondUpload) {
            sendSecondUpload(*transport, host, port, remoteName, [done] { done(0); });
            return;
        }
        if (o.ok) {
            done(0);
            return;
        }
        if (o.timedOut)
            err("tftp: timeout\n");
        else if (o.errorCode >= 0)
            err("tftp: server error: (" + QByteArray::number(o.errorCode) + ") " + o.errorText.toLatin1() + '\n');
        else
            err("tftp: " + o.errorText.toLatin1() + '\n');
        done(1);
    };
    // The truncating fault sends the first half and still reports success.
    const qint64 sendBytes = inv.controller.faults.truncateUpload ? QFileInfo(file.hostPath()).size() / 2 : -1;
    const TftpPace pace{inv.controller.options.sendBytesPerSecond, inv.controller.faults.stallTftp};
    if (put)
        inv.controller.tftp.put(file.hostPath(), host, port, remoteName, sendBytes, pace, finished);
    else
        inv.controller.tftp.get(file.hostPath(), host, port, remoteName, pace, finished);
}

}  // namespace

void addTftpCommand(QMap<QByteArray, CommandFunction>& table)
{
    table["tftp"] = tftp;
}

}  // namespace tarvo::simulator
