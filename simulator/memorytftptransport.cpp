#include "simulator/memorytftptransport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace tarvo::simulator {

MemoryTftpTransport::MemoryTftpTransport(platform::EventLoop& platform, const QString& serverRoot)
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

int MemoryTftpTransport::durationMs(qint64 bytes, const TftpPace& pace) const
{
    const qint64 rate = pace.bytesPerSecond > 0 ? pace.bytesPerSecond : bytesPerSecond;
    return setupMs + int(bytes * 1000 / std::max<qint64>(1, rate));
}

namespace {
// Where a remote name lands under the server's root: a leading "/" is
// the root itself, and no name leads out of it (empty then).
QString underRoot(const QString& root, const QString& remoteName)
{
    QString name = QDir::cleanPath(remoteName);
    while (name.startsWith(QLatin1Char('/')))
        name.remove(0, 1);
    if (name.isEmpty() || name == QLatin1String("..") || name.startsWith(QLatin1String("../")))
        return {};
    return QDir(root).filePath(name);
}

// Replaces `to` only once a complete copy of `from` is in place, as the
// PC's server and the controller's client both do.
// With limit >= 0 only the first limit bytes are copied.
bool copyWhole(const QString& from, const QString& to, qint64 limit = -1)
{
    const QString partial = to + QStringLiteral(".part");
    QFile::remove(partial);
    const bool copied = QFile::copy(from, partial) && (limit < 0 || QFile::resize(partial, limit));
    if (copied && (!QFile::exists(to) || QFile::remove(to)) && QFile::rename(partial, to))
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
                              const QString& remoteName, qint64 sendBytes, const TftpPace& pace, Done done)
{
    if (answeredWithoutTransfer(true, host, port, remoteName, done))
        return;
    if (pace.stallHalfway) {
        // Half of it crosses, then nothing: the server stores nothing and the
        // command never hears back.
        transfers.push_back({true, host, port, remoteName, false, sendBytes < 0});
        return;
    }
    transfers.push_back({true, host, port, remoteName, true, sendBytes < 0});
    const qint64 size = QFileInfo(localPath).size();
    const qint64 sent = sendBytes < 0 ? size : std::min(size, sendBytes);
    later_.after(durationMs(sent, pace), [this, localPath, remoteName, sent, done] {
        TftpOutcome o;
        const QString target = underRoot(serverRoot_, remoteName);
        if (target.isEmpty() || !copyWhole(localPath, target, sent)) {
            o.errorCode = 2;
            o.errorText = QStringLiteral("Access violation");
            done(o);
            return;
        }
        o.ok = true;
        o.bytes = QFileInfo(target).size();
        if (onStored)
            onStored(target);
        done(o);
    });
}

void MemoryTftpTransport::get(const QString& localPath, const QString& host, quint16 port,
                              const QString& remoteName, const TftpPace& pace, Done done)
{
    if (answeredWithoutTransfer(false, host, port, remoteName, done))
        return;
    const QString source = underRoot(serverRoot_, remoteName);
    const bool exists = QFileInfo(source).isFile();
    if (exists && pace.stallHalfway) {
        // As a put: no file on the card, no outcome.
        transfers.push_back({false, host, port, remoteName, false});
        return;
    }
    transfers.push_back({false, host, port, remoteName, exists});
    later_.after(durationMs(exists ? QFileInfo(source).size() : 0, pace), [source, localPath, exists, done] {
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

}  // namespace tarvo::simulator
