#include "simulator/memorytftptransport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace simulator {

MemoryTftpTransport::MemoryTftpTransport(platform::Platform& platform, const QString& serverRoot)
    : serverRoot_(serverRoot), later_(platform)
{
}

int MemoryTftpTransport::giveUpMs()
{
    double wait = 100;
    double total = 0;
    for (int i = 0; i < 12; ++i) {
        total += wait;
        wait = std::min(wait * 1.5, 2000.0);
    }
    return int(total);
}

bool MemoryTftpTransport::reachable(const QString& host, quint16 port) const
{
    return !serverRunning || serverRunning(host, port);
}

bool MemoryTftpTransport::answerWithError(bool put, const QString& host, quint16 port, const QString& remoteName,
                                          const Done& done)
{
    if (!serverError)
        return false;
    QString text;
    const int code = serverError(put, remoteName, &text);
    if (code < 0)
        return false;
    transfers.push_back({put, host, port, remoteName, false});
    later_.after(setupMs, [done, code, text] {
        TftpOutcome o;
        o.errorCode = code;
        o.errorText = text;
        done(o);
    });
    return true;
}

int MemoryTftpTransport::durationMs(qint64 bytes) const
{
    return setupMs + int(bytes * 1000 / std::max<qint64>(1, bytesPerSecond));
}

namespace {
// Replaces `to` only once a complete copy of `from` is in place, as the
// PC's server and the controller's client both do.
bool copyWhole(const QString& from, const QString& to)
{
    const QString partial = to + QStringLiteral(".part");
    QFile::remove(partial);
    if (QFile::copy(from, partial) && (!QFile::exists(to) || QFile::remove(to)) && QFile::rename(partial, to))
        return true;
    QFile::remove(partial);
    return false;
}
}  // namespace

bool MemoryTftpTransport::answeredWithoutTransfer(bool put, const QString& host, quint16 port,
                                                  const QString& remoteName, const Done& done)
{
    if (reachable(host, port))
        return answerWithError(put, host, port, remoteName, done);
    transfers.push_back({put, host, port, remoteName, false});
    later_.after(giveUpMs(), [done] {
        TftpOutcome o;
        o.timedOut = true;
        o.errorText = QStringLiteral("timeout");
        done(o);
    });
    return true;
}

void MemoryTftpTransport::put(const QString& localPath, const QString& host, quint16 port,
                              const QString& remoteName, Done done)
{
    if (answeredWithoutTransfer(true, host, port, remoteName, done))
        return;
    transfers.push_back({true, host, port, remoteName, true});
    later_.after(durationMs(QFileInfo(localPath).size()), [this, localPath, remoteName, done] {
        TftpOutcome o;
        const QString target = QDir(serverRoot_).filePath(remoteName);
        if (!copyWhole(localPath, target)) {
            o.errorCode = 2;
            o.errorText = QStringLiteral("Access violation");
            done(o);
            return;
        }
        o.ok = true;
        o.bytes = QFileInfo(target).size();
        done(o);
    });
}

void MemoryTftpTransport::get(const QString& localPath, const QString& host, quint16 port,
                              const QString& remoteName, Done done)
{
    if (answeredWithoutTransfer(false, host, port, remoteName, done))
        return;
    const QString source = QDir(serverRoot_).filePath(remoteName);
    const bool exists = QFileInfo(source).isFile();
    transfers.push_back({false, host, port, remoteName, exists});
    later_.after(durationMs(exists ? QFileInfo(source).size() : 0), [source, localPath, exists, done] {
        TftpOutcome o;
        if (!exists) {
            o.errorCode = 1;
            o.errorText = QStringLiteral("File not found");
        } else if (!copyWhole(source, localPath)) {
            o.errorText = QStringLiteral("can't write local file");
        } else {
            o.ok = true;
            o.bytes = QFileInfo(localPath).size();
        }
        done(o);
    });
}

}  // namespace simulator
