#include "server.h"

#include "client_folder.h"
#include "filesink.h"
#include "insideroot.h"
#include "options.h"
#include "receivesession.h"
#include "sendsession.h"
#include "status_lines.h"
#include "transfersocket.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QUdpSocket>

namespace tarvo::tftp {

namespace {
constexpr qsizetype RequestBufferBytes = 65536 + 16;
// The same request from the same port this soon after its transfer ended
// is a late duplicate from the network. Short, because a client that
// really does ask twice from one port must not wait long.
constexpr qint64 DuplicateWindowMs = 2000;

QString peerText(const QHostAddress& a, quint16 port)
{
    return a.protocol() == QAbstractSocket::IPv6Protocol
               ? QStringLiteral("[%1]:%2").arg(a.toString()).arg(port)
               : QStringLiteral("%1:%2").arg(a.toString()).arg(port);
}

// Names come from the network: keep log lines on one line and readable.
QString printable(const QByteArray& raw)
{
    QString out;
    for (QChar c : QString::fromUtf8(raw)) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QLatin1Char('"'))
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

QString optionsText(const QList<Option>& options)
{
    QStringList parts;
    for (const Option& o : options)
        parts.append(printable(o.name) + QLatin1Char('=') + printable(o.value));
    return parts.isEmpty() ? QStringLiteral("none") : parts.join(QLatin1Char(' '));
}

QString outcomeText(const SessionResult& r)
{
    const double seconds = qMax<qint64>(r.elapsedMs, 1) / 1000.0;
    const double mibPerSecond = r.bytes / seconds / (1024.0 * 1024.0);
    QString line = QStringLiteral("%1 bytes in %2 s (%3 MiB/s)")
                       .arg(r.bytes)
                       .arg(r.elapsedMs / 1000.0, 0, 'f', 3)
                       .arg(mibPerSecond, 0, 'f', 2);
    if (r.ok)
        return line;
    if (r.timedOut)
        return line + QStringLiteral(": ") + r.errorText;
    // One pass of arg(): text from the network may itself contain %1.
    return line + QStringLiteral(": error %1 %2 (%3)")
                      .arg(QString::number(r.errorCode),
                           r.fromPeer ? QStringLiteral("from peer") : QStringLiteral("sent"),
                           printable(r.errorText.toUtf8()));
}

// Requests arrive on a dual-stack socket; IPv4 peers are kept as IPv4.
QHostAddress plainAddress(const QHostAddress& a)
{
    bool isV4 = false;
    const quint32 v4 = a.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : a;
}
} // namespace

Server::Server(const ServerConfig& config, QObject* parent)
    : QObject(parent), config_(config), names_(config.allowedNames),
      budget_(config.memoryBudgetBytes, config.transferBufferBytes, config.maxTransfers), backups_(config.keepBackups)
{
    buffer_.resize(RequestBufferBytes);
    clock_.start();
    // Precise: a coarse timer may fire early and see a transfer as shorter than it is.
    progressTimer_.setTimerType(Qt::PreciseTimer);
    progressTimer_.setInterval(config_.progressIntervalMs);
    connect(&progressTimer_, &QTimer::timeout, this, &Server::reportProgress);
}

Server::~Server()
{
    shutdown();
}

bool Server::start(QString* error, StartFailure* failure)
{
    StartFailure ignored;
    StartFailure& why = failure ? *failure : ignored;
    if (!prepareRoot(error)) {
        why = StartFailure::FolderNotWritable;
        return false;
    }
    socket_ = new QUdpSocket(this);
    if (!socket_->bind(config_.bindAddress, config_.port)) {
        *error = QStringLiteral("cannot bind %1: %2")
                     .arg(peerText(config_.bindAddress, config_.port), socket_->errorString());
        why = socket_->error() == QAbstractSocket::AddressInUseError ? StartFailure::PortInUse
              : socket_->error() == QAbstractSocket::SocketAccessError ? StartFailure::Permission
                                                                       : StartFailure::Other;
        return false;
    }
    sweepTemporaryFiles();
    connect(socket_, &QUdpSocket::readyRead, this, &Server::readRequests);
    return true;
}

bool Server::prepareRoot(QString* error)
{
    if (!QDir().mkpath(config_.root)) {
        *error = QStringLiteral("folder %1 does not exist and cannot be created").arg(config_.root);
        return false;
    }
    // Rights on paper say little (ACLs, read-only mounts): try it.
    QFile probe(QDir(config_.root).filePath(
        QStringLiteral(".tftp-probe-%1").arg(QRandomGenerator::global()->generate64(), 0, 36)));
    if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        *error = QStringLiteral("folder %1 is not writable: %2").arg(config_.root, probe.errorString());
        return false;
    }
    probe.close();
    probe.remove();
    return true;
}

quint16 Server::port() const
{
    return socket_ ? socket_->localPort() : 0;
}

void Server::shutdown()
{
    const QList<Active> active = active_.values();
    for (const Active& a : active)
        a.session->abort(NotDefined, "server shutting down");
}

void Server::sweepTemporaryFiles()
{
    // The served folder and, for --per-client, one level of peer folders.
    QStringList folders = {config_.root};
    for (const QString& sub : QDir(config_.root).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks))
        folders.append(config_.root + QLatin1Char('/') + sub);
    QStringList lines;
    for (const QString& folder : folders) {
        QDir dir(folder);
        const QStringList leftovers =
            dir.entryList({AtomicFile::temporaryPrefix() + QLatin1Char('*')}, QDir::Files | QDir::Hidden);
        for (const QString& name : leftovers) {
            if (AtomicFile::removeIfAbandoned(dir.filePath(name)))
                lines.append(QStringLiteral("removed leftover temporary file %1").arg(dir.filePath(name)));
            else
                lines.append(QStringLiteral("left %1 alone: another live server is writing it").arg(dir.filePath(name)));
        }
    }
    // Told once the event loop runs: the status line comes first.
    QMetaObject::invokeMethod(this, [this, lines] {
        for (const QString& line : lines)
            emit logLine(line);
    }, Qt::QueuedConnection);
}

QString Server::folderFor(const QHostAddress& peer) const
{
    if (!config_.perClient)
        return config_.root;
    return config_.root + QLatin1Char('/') + clientFolderName(peer.toString());
}

bool Server::serves(const QHostAddress& peer) const
{
    if (config_.onlyFrom.isEmpty())
        return true;
    for (const QHostAddress& a : config_.onlyFrom) {
        if (a.isEqual(peer, QHostAddress::ConvertV4MappedToIPv4))
            return true;
    }
    return false;
}

void Server::readRequests()
{
    while (socket_->hasPendingDatagrams()) {
        QHostAddress from;
        quint16 fromPort = 0;
        const qint64 n = socket_->readDatagram(buffer_.data(), buffer_.size(), &from, &fromPort);
        if (n < 0)
            break;
        handleDatagram(QByteArrayView(buffer_.constData(), n), plainAddress(from), fromPort);
    }
}

bool Server::isDuplicate(const QString& key, QByteArrayView datagram)
{
    const auto active = active_.constFind(key);
    if (active != active_.constEnd())
        return true;  // a retransmitted request, or a new one on a busy port
    const qint64 now = clock_.elapsed();
    for (auto it = recentAt_.begin(); it != recentAt_.end();) {
        if (now - it.value() > DuplicateWindowMs) {
            recent_.remove(it.key());
            it = recentAt_.erase(it);
        } else {
            ++it;
        }
    }
    const auto recent = recent_.constFind(key);
    return recent != recent_.constEnd() && recent.value() == datagram;
}

void Server::handleDatagram(QByteArrayView datagram, const QHostAddress& peer, quint16 peerPort)
{
    Request request;
    request.peer = peer;
    request.peerPort = peerPort;
    request.peerText = peerText(peer, peerPort);
    if (peerPort == 0)
        return;
    if (isDuplicate(request.peerText, datagram))
        return;
    QString reason;
    const std::optional<Packet> packet = decodePacket(datagram, &reason);
    if (!packet) {
        emit logLine(QStringLiteral("refused malformed request from %1: %2").arg(request.peerText, reason));
        const QByteArray reply = encodeError(IllegalOperation, reason.toUtf8());
        socket_->writeDatagram(reply, peer, peerPort);
        return;
    }
    request.packet = *packet;
    if (packet->opcode == Opcode::Error)
        return;  // never answer an error, or two servers could ping-pong
    if (packet->opcode != Opcode::Rrq && packet->opcode != Opcode::Wrq) {
        emit logLine(QStringLiteral("refused packet with opcode %1 from %2 on the request port")
                         .arg(QString::number(int(packet->opcode)), request.peerText));
        socket_->writeDatagram(encodeError(IllegalOperation, "expected a read or write request"), peer, peerPort);
        return;
    }
    const bool write = packet->opcode == Opcode::Wrq;
    // Before anything else is looked at: a stranger learns nothing of
    // what is served here, and a flood of its requests cannot flood the
    // lines every run records either.
    if (!serves(peer)) {
        refuse(request, AccessViolation,
               QStringLiteral("access violation: %1 is not a client of this server").arg(peer.toString()),
               strangerMayBeLogged(peer));
        return;
    }
    emit logLine(QStringLiteral("request %1 \"%2\" from %3 mode %4 options %5")
                     .arg(write ? QStringLiteral("WRQ") : QStringLiteral("RRQ"),
                          printable(packet->fileName), request.peerText,
                          QString::fromLatin1(modeName(packet->mode)), optionsText(packet->options)));
    if (active_.size() >= config_.maxTransfers) {
        refuse(request, NotDefined, QStringLiteral("server busy"));
        return;
    }
    if (write && config_.readOnly) {
        refuse(request, AccessViolation, QStringLiteral("this server takes no uploads now"));
        return;
    }
    if (!names_.accepts(packet->fileName, &reason)) {
        refuse(request, AccessViolation, QStringLiteral("access violation: %1").arg(reason));
        return;
    }
    if (write)
        startWrite(request);
    else
        startRead(request);
    // Kept to recognise a late duplicate of this request after the transfer.
    if (active_.contains(request.peerText))
        active_[request.peerText].requestBytes = datagram.toByteArray();
}

bool Server::strangerMayBeLogged(const QHostAddress& peer)
{
    // The first few refusals of each stranger are said, then one line that
    // the rest are not; the count itself stays bounded however many forged
    // addresses come.
    const QString key = peer.toString();
    auto known = strangerRefusals_.find(key);
    if (known == strangerRefusals_.end()) {
        if (strangerRefusals_.size() >= kMaxStrangersCounted)
            return false;
        known = strangerRefusals_.insert(key, 0);
    }
    const int n = ++known.value();
    if (n == kStrangerRefusalsLogged + 1)
        emit logLine(QStringLiteral("further requests from %1 are refused without a line").arg(key));
    return n <= kStrangerRefusalsLogged;
}

void Server::refuse(const Request& request, quint16 code, const QString& reason, bool logged)
{
    if (logged)
        emit logLine(QStringLiteral("refused %1 \"%2\" from %3: error %4 (%5)")
                         .arg(request.packet.opcode == Opcode::Wrq ? QStringLiteral("WRQ") : QStringLiteral("RRQ"),
                              printable(request.packet.fileName), request.peerText, QString::number(code),
                              reason));
    // Reply from a fresh port, as a transfer would, so clients that lock
    // onto the first reply's port see it.
    QString error;
    const QByteArray reply = encodeError(code, reason.toUtf8());
    if (DatagramSocket* socket = openTransferSocket(config_.bindAddress, request.peer, &error)) {
        socket->send(reply.constData(), reply.size(), Endpoint::from(request.peer, request.peerPort));
        delete socket;
    } else {
        socket_->writeDatagram(reply, request.peer, request.peerPort);
    }
}

void Server::startRead(const Request& request)
{
    const QString name = QString::fromUtf8(request.packet.fileName);
    const QString path = folderFor(request.peer) + QLatin1Char('/') + name;
    const QFileInfo info(path);
    if (const QString link = symlinkBelow(config_.root, path); !link.isEmpty()) {
        refuse(request, AccessViolation, QStringLiteral("symbolic link refused: %1").arg(link));
        return;
    }
    if (!info.exists()) {
        refuse(request, FileNotFound, QStringLiteral("file not found"));
        return;
    }
    if (!info.isFile()) {
        refuse(request, AccessViolation, QStringLiteral("not a plain file"));
        return;
    }
    QString error;
    std::unique_ptr<QFile> file = openForReading(path, &error);
    if (!file) {
        refuse(request, AccessViolation, QStringLiteral("cannot read %1: %2").arg(path, error));
        return;
    }
    ServerNegotiation n = negotiateServerOptions(request.packet.options, Opcode::Rrq,
                                                 request.packet.mode, file->size(), config_.limits);
    qint64 budgeted = 0;
    if (!takeBudget(request, &n, true, &budgeted))
        return;
    DatagramSocket* socket = openTransferSocket(config_.bindAddress, request.peer, &error);
    if (!socket) {
        budget_.give(budgeted);
        refuse(request, NotDefined, QStringLiteral("no socket: %1").arg(error));
        return;
    }
    auto* session = new SendSession(socket, request.peer, request.peerPort, true, config_.retry,
                                    std::move(file), request.packet.mode, this);
    track(request, session, info.absoluteFilePath(), info.size(), budgeted);
    const QString peer = request.peer.toString();
    const QString sent = info.absoluteFilePath();
    connect(session, &Session::finished, this, [this, peer, sent](const SessionResult& r) {
        if (r.ok)
            emit logLine(status::sentLine(r.bytes, peer, sent));
    });
    if (n.accepted.isEmpty())
        session->startSending(n.parameters);
    else
        session->startWithHandshake(Packet::oack(n.accepted).encode(), n.parameters);
}

void Server::startWrite(const Request& request)
{
    const QString name = QString::fromUtf8(request.packet.fileName);
    ServerNegotiation n = negotiateServerOptions(request.packet.options, Opcode::Wrq,
                                                 request.packet.mode, -1, config_.limits);
    if (config_.maxWriteBytes >= 0 && n.requestedTsize > config_.maxWriteBytes) {
        refuse(request, DiskFull,
               QStringLiteral("file of %1 bytes exceeds the size limit of %2 bytes")
                   .arg(n.requestedTsize).arg(config_.maxWriteBytes));
        return;
    }
    // What this upload may bring: the size limit, and no more than the
    // server may still store.
    qint64 maxBytes = config_.maxWriteBytes;
    if (config_.maxStoredBytes >= 0) {
        const qint64 room = config_.maxStoredBytes - storedBytes_;
        if (room <= 0) {
            refuse(request, DiskFull,
                   QStringLiteral("this server has stored the %1 bytes it may store").arg(config_.maxStoredBytes));
            return;
        }
        if (n.requestedTsize > room) {
            refuse(request, DiskFull,
                   QStringLiteral("file of %1 bytes exceeds the %2 bytes this server may still store")
                       .arg(n.requestedTsize).arg(room));
            return;
        }
        maxBytes = maxBytes < 0 ? room : qMin(maxBytes, room);
    }
    const QString folder = folderFor(request.peer);
    const QString path = folder + QLatin1Char('/') + name;
    if (writing_.contains(path)) {
        // The same controller asking again (from a new port) has given up on
        // its old upload: that one goes, its temporary file with it.
        Session* old = active_.value(writing_.value(path)).session;
        if (!old || old->peerAddress() != request.peer) {
            refuse(request, AccessViolation, QStringLiteral("another upload of this file is in progress"));
            return;
        }
        emit logLine(QStringLiteral("upload of \"%1\" from %2 superseded by a new one from %3")
                         .arg(name, writing_.value(path), request.peerText));
        old->abort(NotDefined, "superseded by a newer upload from the same address");
    }
    for (const QString& reached : {path, BackupKeeper::folderFor(path)}) {
        if (const QString link = symlinkBelow(config_.root, reached); !link.isEmpty()) {
            refuse(request, AccessViolation, QStringLiteral("symbolic link refused: %1").arg(link));
            return;
        }
    }
    if (!QDir().mkpath(folder)) {
        refuse(request, AccessViolation, QStringLiteral("cannot create the folder %1").arg(folder));
        return;
    }
    if (QFileInfo(path).exists() && !QFileInfo(path).isFile()) {
        refuse(request, AccessViolation, QStringLiteral("not a plain file"));
        return;
    }
    const BackupKeeper backups = backups_;
    auto sink = std::make_unique<FileSink>(path, request.packet.mode,
                                           [backups](const QString& target, QString* error) {
                                               return backups.keepCopyOf(target, error);
                                           });
    const QString peer = request.peer.toString();
    const QString stored = QFileInfo(path).absoluteFilePath();
    sink->setOnCommitted([this, peer, stored](qint64 bytes, const QByteArray& sha256) {
        storedBytes_ += bytes;
        emit logLine(status::storedLine(bytes, QString::fromLatin1(sha256), peer, stored));
    });
    qint64 budgeted = 0;
    if (!takeBudget(request, &n, false, &budgeted))
        return;
    QString error;
    if (!sink->open(&error)) {
        budget_.give(budgeted);
        refuse(request, AccessViolation, QStringLiteral("cannot write: %1").arg(error));
        return;
    }
    DatagramSocket* socket = openTransferSocket(config_.bindAddress, request.peer, &error);
    if (!socket) {
        budget_.give(budgeted);
        refuse(request, NotDefined, QStringLiteral("no socket: %1").arg(error));
        return;
    }
    auto* session = new ReceiveSession(socket, request.peer, request.peerPort, true, config_.retry,
                                       std::move(sink), this);
    session->setMaxBytes(maxBytes);
    session->setExpectedBytes(n.requestedTsize);
    session->setDallyMs(config_.dallyMs);
    writing_.insert(path, request.peerText);
    track(request, session, path, n.requestedTsize, budgeted);
    session->start(n.accepted.isEmpty() ? encodeAck(0) : Packet::oack(n.accepted).encode(), n.parameters);
}

bool Server::takeBudget(const Request& request, ServerNegotiation* n, bool sending, qint64* taken)
{
    const TransferParameters asked = n->parameters;
    const std::optional<qint64> bytes = budget_.take(n, sending);
    if (!bytes) {
        refuse(request, DiskFull, QStringLiteral("server busy"));
        return false;
    }
    if (n->parameters.blksize != asked.blksize || n->parameters.windowsize != asked.windowsize)
        emit logLine(QStringLiteral("granted %1 blksize %2 windowsize %3 (asked %4 and %5) to fit the memory budget")
                         .arg(request.peerText).arg(n->parameters.blksize).arg(n->parameters.windowsize)
                         .arg(asked.blksize).arg(asked.windowsize));
    *taken = *bytes;
    return true;
}

void Server::track(const Request& request, Session* session, const QString& path, qint64 announcedBytes,
                   qint64 budgeted)
{
    const bool write = request.packet.opcode == Opcode::Wrq;
    const QString name = QString::fromUtf8(request.packet.fileName);
    const QString key = request.peerText;
    active_.insert(key, {session, QByteArray(), name, write, request.peer.toString(),
                         QFileInfo(path).absoluteFilePath(), announcedBytes, clock_.elapsed(), 0});
    if (config_.progressIntervalMs > 0 && !progressTimer_.isActive())
        progressTimer_.start();
    connect(session, &Session::finished, this, [this, key, name, write, path](const SessionResult& r) {
        emit logLine(QStringLiteral("%1 %2 \"%3\" %4 %5")
                         .arg(r.ok ? QStringLiteral("finished") : QStringLiteral("failed"),
                              write ? QStringLiteral("WRQ") : QStringLiteral("RRQ"), name,
                              write ? QStringLiteral("from ") + key : QStringLiteral("to ") + key,
                              outcomeText(r)));
        if (write)
            writing_.remove(path);
        const auto it = active_.find(key);
        if (it != active_.end()) {
            recent_.insert(key, it->requestBytes);
            recentAt_.insert(key, clock_.elapsed());
            active_.erase(it);
        }
        if (active_.isEmpty())
            progressTimer_.stop();
    });
    connect(session, &Session::closed, this, [this, budgeted] { budget_.give(budgeted); });
    connect(session, &Session::closed, session, &QObject::deleteLater);
}

void Server::reportProgress()
{
    const qint64 now = clock_.elapsed();
    for (Active& a : active_) {
        // Short transfers print none; a stalled one none until it moves again.
        if (now - a.startedMs < config_.progressIntervalMs || a.session->isFinished())
            continue;
        const qint64 bytes = a.session->bytes();
        if (bytes <= a.reportedBytes)
            continue;
        a.reportedBytes = bytes;
        emit logLine(status::progressLine(a.write ? status::kPut : status::kGet, bytes, a.announcedBytes,
                                          a.peerAddress, a.path));
    }
}

}  // namespace tarvo::tftp
