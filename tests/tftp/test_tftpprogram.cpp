// The program as the desktop tool starts it: "<full path> -v" from a folder
// of its own, serving that folder, with the settings file beside it.

#include "raw_peer.h"
#include "server_process.h"
#include "test_files.h"

#include "tftp/packet.h"
#include "tftp/status_lines.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUdpSocket>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

using namespace tarvo::tftp;

namespace {
constexpr int StartTimeoutMs = 10000;

// Waits for the first line and returns the port it names, or 0.
quint16 listeningPort(QProcess& p, QString* output)
{
    static const QRegularExpression listening(QStringLiteral("listening on \\S+ port (\\d+)"));
    if (!p.waitForStarted(StartTimeoutMs))
        return 0;
    QDeadlineTimer deadline(StartTimeoutMs);
    while (!deadline.hasExpired() && p.state() == QProcess::Running) {
        p.waitForReadyRead(50);
        *output += QString::fromLocal8Bit(p.readAll());
        const QRegularExpressionMatch m = listening.match(*output);
        if (m.hasMatch())
            return quint16(m.captured(1).toUInt());
    }
    return 0;
}

QStringList serverArguments(quint16 port, const QString& root)
{
    return {QStringLiteral("-v"), QStringLiteral("--port"), QString::number(port), QStringLiteral("--bind"),
            QStringLiteral("127.0.0.1"), QStringLiteral("--root"), root};
}

// Runs the program expecting it to fail at start: its exit code, the
// first line on stdout and all of stderr.
int failedStart(const QStringList& arguments, QString* firstLine, QString* errors)
{
    QString output;
    const int code = runProgram(ServerProcess::programPath(), arguments, QDir::tempPath(), 10000, &output, errors);
    *firstLine = output.section(QLatin1Char('\n'), 0, 0);
    return code;
}

bool waitForOutput(QProcess& p, QString* output, const QString& needle)
{
    QDeadlineTimer deadline(StartTimeoutMs);
    while (!output->contains(needle)) {
        if (deadline.hasExpired())
            return false;
        p.waitForReadyRead(50);
        *output += QString::fromLocal8Bit(p.readAll());
    }
    return true;
}

// The PROGRESS lines in a log, without their time stamps.
QStringList progressLines(const QString& log)
{
    QStringList lines;
    for (const QString& line : log.split(QLatin1Char('\n'))) {
        const QString bare = status::withoutTimeStamp(line);
        if (status::fieldsOf(bare, status::kProgress, 6))
            lines.append(bare);
    }
    return lines;
}

// The bytes of each PROGRESS line; fails the test on a line of the wrong
// direction, size, peer or path.
QList<qint64> progressBytes(const QStringList& lines, const char* direction, qint64 size, const QString& path)
{
    QList<qint64> bytes;
    for (const QString& line : lines) {
        const QStringList f = *status::fieldsOf(line, status::kProgress, 6);
        const QString expected = status::progressLine(direction, f[2].toLongLong(), size,
                                                      QStringLiteral("127.0.0.1"), path);
        if (line != expected) {
            qWarning("unexpected line %s, wanted %s", qPrintable(line), qPrintable(expected));
            return {};
        }
        bytes.append(f[2].toLongLong());
    }
    return bytes;
}

bool strictlyGrowing(const QList<qint64>& bytes)
{
    for (qsizetype i = 1; i < bytes.size(); ++i) {
        if (bytes[i] <= bytes[i - 1])
            return false;
    }
    return true;
}

// A lock-step upload of blocks x 512 bytes plus a last block of tail
// bytes, one block every intervalMs. With tsize the WRQ announces the size.
// Stops after stopAfter blocks when that is >= 0 (the upload then stalls).
bool pacedUpload(RawPeer& peer, quint16 port, int blocks, int tail, int intervalMs, bool tsize,
                 quint16* transferPort, int stopAfter = -1)
{
    const qint64 total = qint64(blocks) * 512 + tail;
    QList<Option> options;
    if (tsize)
        options.append({"tsize", QByteArray::number(total)});
    peer.sendTo(port, Packet::request(Opcode::Wrq, "config.tgz", Mode::Octet, options).encode());
    const std::optional<Packet> first = decodePacket(peer.receive(2000, transferPort));
    if (!first || (first->opcode != Opcode::Oack && !(first->opcode == Opcode::Ack && first->block == 0)))
        return false;
    const QByteArray data = patternBytes(total, 7);
    for (int block = 1; block <= blocks + 1; ++block) {
        if (stopAfter >= 0 && block > stopAfter)
            return true;
        peer.sendTo(*transferPort, encodeData(quint16(block), data.mid(qsizetype(block - 1) * 512, 512)));
        const std::optional<Packet> ack = decodePacket(peer.receive(2000));
        if (!ack || ack->opcode != Opcode::Ack || ack->block != block)
            return false;
        if (block <= blocks)
            QThread::msleep(intervalMs);
    }
    return true;
}

// Is the process gone (or a zombie nobody has reaped yet)?
bool processGone(pid_t pid)
{
    if (::kill(pid, 0) != 0)
        return true;
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype close = stat.lastIndexOf(')');
    return close < 0 || stat.mid(close + 2, 1) == "Z";
}

bool waitUntilGone(pid_t pid, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!processGone(pid)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

// The server started from "sh", which waits for it: the shell's PID, and
// the server's, with its output going to logPath. The shell is what dies.
struct Intermediate {
    QProcess shell;
    pid_t serverPid = 0;
    quint16 port = 0;

    // A failed test leaves nothing running.
    ~Intermediate()
    {
        if (serverPid > 0 && !processGone(serverPid))
            ::kill(serverPid, SIGKILL);
        if (shell.state() != QProcess::NotRunning) {
            shell.kill();
            shell.waitForFinished(3000);
        }
    }
};

bool startThroughShell(Intermediate* in, const QStringList& serverArgs, const QString& logPath)
{
    // Under sh the server's stdin is /dev/null (an asynchronous list): only
    // the parent check can notice the shell's end.
    in->shell.start(QStringLiteral("/bin/sh"),
                    QStringList{QStringLiteral("-c"), QStringLiteral("log=$1; shift; \"$@\" >\"$log\" 2>&1 & echo $!; wait"),
                                QStringLiteral("sh"), logPath, ServerProcess::programPath()}
                        + serverArgs);
    if (!in->shell.waitForStarted(StartTimeoutMs))
        return false;
    QDeadlineTimer deadline(StartTimeoutMs);
    QByteArray pidText;
    while (!pidText.contains('\n') && !deadline.hasExpired()) {
        in->shell.waitForReadyRead(50);
        pidText += in->shell.readAllStandardOutput();
    }
    in->serverPid = pid_t(pidText.trimmed().toLongLong());
    static const QRegularExpression listening(QStringLiteral("listening on \\S+ port (\\d+)"));
    while (!deadline.hasExpired()) {
        const QRegularExpressionMatch m = listening.match(QString::fromLocal8Bit(readFile(logPath)));
        if (m.hasMatch()) {
            in->port = quint16(m.captured(1).toUInt());
            return in->serverPid > 0;
        }
        QThread::msleep(20);
    }
    return false;
}

QStringList partFiles(const QString& root)
{
    return QDir(root).entryList({QStringLiteral(".tftp-part-*")}, QDir::Files | QDir::Hidden);
}
} // namespace

class TestTftpProgram : public QObject
{
    Q_OBJECT
private slots:
    void servesItsOwnFolderWithSettingsBeside();
    void quietWithoutV();
    void servesButTakesNoUploadWithNoUploads();
    void takesRequestsOnlyFromItsPeers();
    void refusesBadArguments_data();
    void refusesBadArguments();
    void portInUse();
    void readyLineFirst();
    void folderNotWritable_data();
    void folderNotWritable();
    void privilegedPort();
    void helpAndVersion();
    void progressOfAPacedUpload_data();
    void progressOfAPacedUpload();
    void progressOfAPacedDownload();
    void noProgressLineForAStalledPeer();
    void noProgressLineForAFastTransfer();
    void exitsWithItsParent();
    void outlivesItsParentWithoutTheOption();
    void exitsWhenStdinCloses();
    void ignoresStdinWithoutTheOption();
};

void TestTftpProgram::servesItsOwnFolderWithSettingsBeside()
{
    QTemporaryDir app;
    const QString program = app.filePath(QStringLiteral("OpenTFTPServerMT"));
    QVERIFY(QFile::copy(ServerProcess::programPath(), program));
    QVERIFY(writeFile(app.filePath(QStringLiteral("OpenTFTPServerMT.ini")),
                      "Port=0\nBind=127.0.0.1\nAllowedNames=config.tgz, extra.bin\nMaxWriteBytes=5000\n"
                      "OnlyFrom=127.0.0.1\nMaxStoredBytes=9000\n"));
    QVERIFY(writeFile(app.filePath(QStringLiteral("extra.bin")), "beside the program"));

    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, {QStringLiteral("-v")});
    QString output;
    const quint16 port = listeningPort(p, &output);
    QVERIFY2(port != 0, qPrintable(output));
    QVERIFY(output.contains(QStringLiteral("serving ") + QFileInfo(program).absolutePath()));
    QVERIFY2(output.contains(QStringLiteral("peers 127.0.0.1, stored limit 9000 bytes")), qPrintable(output));

    RawPeer peer;
    peer.sendTo(port, Packet::request(Opcode::Rrq, "extra.bin", Mode::Octet).encode());
    quint16 transferPort = 0;
    QCOMPARE(peer.receive(2000, &transferPort), encodeData(1, "beside the program"));
    peer.sendTo(transferPort, encodeAck(1));
    QVERIFY(waitForOutput(p, &output, QStringLiteral("finished RRQ \"extra.bin\"")));

    // MaxWriteBytes from the file: an announced 6000 bytes is refused at once.
    peer.sendTo(port, Packet::request(Opcode::Wrq, "config.tgz", Mode::Octet, {{"tsize", "6000"}}).encode());
    const std::optional<Packet> refusal = decodePacket(peer.receive());
    QVERIFY(refusal && refusal->opcode == Opcode::Error && refusal->errorCode == DiskFull);
    QVERIFY(waitForOutput(p, &output, QStringLiteral("refused WRQ \"config.tgz\"")));

    p.terminate();
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(!QFile::exists(app.filePath(QStringLiteral("config.tgz"))));
}

void TestTftpProgram::servesButTakesNoUploadWithNoUploads()
{
    // While a laser fetches its backup, nobody may replace it.
    QTemporaryDir root;
    QVERIFY(writeFile(root.filePath(QStringLiteral("config.tgz")), "the verified bytes"));
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(ServerProcess::programPath(), {QStringLiteral("-v"), QStringLiteral("--no-uploads"), QStringLiteral("--port"),
                                           QStringLiteral("0"), QStringLiteral("--bind"), QStringLiteral("127.0.0.1"),
                                           QStringLiteral("--root"), root.path()});
    QString output;
    const quint16 port = listeningPort(p, &output);
    QVERIFY2(port != 0, qPrintable(output));
    RawPeer planter;
    planter.sendTo(port, Packet::request(Opcode::Wrq, "config.tgz", Mode::Octet).encode());
    const std::optional<Packet> refusal = decodePacket(planter.receive());
    QVERIFY(refusal && refusal->opcode == Opcode::Error && refusal->errorCode == AccessViolation);
    QVERIFY(waitForOutput(p, &output, QStringLiteral("refused WRQ \"config.tgz\"")));
    RawPeer laser;
    laser.sendTo(port, Packet::request(Opcode::Rrq, "config.tgz", Mode::Octet).encode());
    quint16 transferPort = 0;
    QCOMPARE(laser.receive(2000, &transferPort), encodeData(1, "the verified bytes"));
    laser.sendTo(transferPort, encodeAck(1));
    QVERIFY(waitForOutput(p, &output, QStringLiteral("SENT 18")));
    p.terminate();
    QVERIFY(p.waitForFinished(5000));
}

void TestTftpProgram::takesRequestsOnlyFromItsPeers()
{
    // Another host on the network (127.0.0.2) may neither fill the archive
    // folder nor fetch what is served; the controller is served as ever.
    QTemporaryDir root;
    QVERIFY(writeFile(root.filePath(QStringLiteral("config.tgz")), "the verified bytes"));
    ServerProcess server;
    QVERIFY(server.start(root.path(), {QStringLiteral("--only-from"), QStringLiteral("10.0.0.5, 127.0.0.1")}));
    QVERIFY(server.log().contains(QStringLiteral("peers 10.0.0.5,127.0.0.1, stored limit none")));
    for (const Opcode opcode : {Opcode::Wrq, Opcode::Rrq}) {
        RawPeer stranger(QHostAddress(QStringLiteral("127.0.0.2")));
        stranger.sendTo(server.port(), Packet::request(opcode, "config.tgz", Mode::Octet, {{"tsize", "600"}}).encode());
        const std::optional<Packet> refusal = decodePacket(stranger.receive());
        QVERIFY(refusal && refusal->opcode == Opcode::Error && refusal->errorCode == AccessViolation);
        QCOMPARE(refusal->errorText, QByteArray("access violation: 127.0.0.2 is not a client of this server"));
    }
    QVERIFY(server.waitForLog(QStringLiteral("refused RRQ \"config.tgz\" from 127.0.0.2:")));
    QVERIFY(server.log().contains(QStringLiteral("refused WRQ \"config.tgz\" from 127.0.0.2:")));
    // A flood of a stranger's requests is refused, but said only so often:
    // every run records the server's lines.
    RawPeer flooder(QHostAddress(QStringLiteral("127.0.0.2")));
    for (int i = 0; i < 40; ++i) {
        flooder.sendTo(server.port(), Packet::request(Opcode::Wrq, "config.tgz", Mode::Octet).encode());
        QVERIFY(decodePacket(flooder.receive()));
    }
    QVERIFY(server.waitForLog(QStringLiteral("further requests from 127.0.0.2 are refused without a line")));
    QCOMPARE(server.logNow().count(QStringLiteral("from 127.0.0.2")), 10 + 1);
    QCOMPARE(readFile(root.filePath(QStringLiteral("config.tgz"))), QByteArray("the verified bytes"));
    QCOMPARE(partFiles(root.path()), QStringList());

    RawPeer laser;
    quint16 transferPort = 0;
    QVERIFY(pacedUpload(laser, server.port(), 1, 88, 0, true, &transferPort));
    QVERIFY(server.waitForLog(QStringLiteral("STORED 600 ")));
    QCOMPARE(readFile(root.filePath(QStringLiteral("config.tgz"))), patternBytes(600, 7));
}

void TestTftpProgram::quietWithoutV()
{
    QTemporaryDir root;
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(ServerProcess::programPath(), {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--bind"),
                                           QStringLiteral("127.0.0.1"), QStringLiteral("--root"), root.path()});
    QString output;
    const quint16 port = listeningPort(p, &output);
    QVERIFY(port != 0);
    RawPeer peer;
    peer.sendTo(port, Packet::request(Opcode::Rrq, "config.tgz", Mode::Octet).encode());
    const std::optional<Packet> reply = decodePacket(peer.receive());
    QVERIFY(reply && reply->errorCode == FileNotFound);
    p.terminate();
    QVERIFY(p.waitForFinished(5000));
    output += QString::fromLocal8Bit(p.readAll());
    QVERIFY2(!output.contains(QStringLiteral("request")), qPrintable(output));
}

void TestTftpProgram::refusesBadArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("port not a number") << QStringList{QStringLiteral("--port"), QStringLiteral("x")};
    QTest::newRow("port too big") << QStringList{QStringLiteral("--port"), QStringLiteral("70000")};
    QTest::newRow("bind not an address") << QStringList{QStringLiteral("--bind"), QStringLiteral("laser")};
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--turbo")};
    QTest::newRow("stray argument") << QStringList{QStringLiteral("extra")};
    QTest::newRow("missing settings file") << QStringList{QStringLiteral("--config"), QStringLiteral("/nonexistent.ini")};
    QTest::newRow("only from a name") << QStringList{QStringLiteral("--only-from"), QStringLiteral("10.0.0.5,laser")};
    QTest::newRow("only from nobody") << QStringList{QStringLiteral("--only-from"), QStringLiteral(",")};
    QTest::newRow("stored limit not a number") << QStringList{QStringLiteral("--max-stored"), QStringLiteral("4G")};
}

void TestTftpProgram::refusesBadArguments()
{
    QFETCH(QStringList, arguments);
    QString status;
    QString errors;
    QCOMPARE(failedStart(arguments, &status, &errors), 2);
    const QString prefix = status::failedLine(status::kOther, QString());
    QVERIFY2(status.startsWith(prefix) && status.size() > prefix.size(), qPrintable(status));
    QVERIFY(!errors.isEmpty());
}

void TestTftpProgram::portInUse()
{
    QUdpSocket taken;
    QVERIFY(taken.bind(QHostAddress::LocalHost, 0));
    QTemporaryDir root;
    QString status;
    QString errors;
    QCOMPARE(failedStart(serverArguments(taken.localPort(), root.path()), &status, &errors), 1);
    QCOMPARE(status, status::failedLine(status::kPortInUse, QString::number(taken.localPort())));
    QVERIFY(errors.contains(QStringLiteral("cannot bind")));
}

void TestTftpProgram::readyLineFirst()
{
    QTemporaryDir outer;
    const QString root = outer.filePath(QStringLiteral("archives"));  // made by the server
    QProcess p;
    p.start(ServerProcess::programPath(), serverArguments(0, root));
    QString output;
    const quint16 port = listeningPort(p, &output);
    QVERIFY2(port != 0, qPrintable(output));
    QCOMPARE(output.section(QLatin1Char('\n'), 0, 0), status::readyLine(port, root));
    QVERIFY(QFileInfo(root).isDir());
    QCOMPARE(QDir(root).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    p.terminate();
    QVERIFY(p.waitForFinished(5000));
}

void TestTftpProgram::folderNotWritable_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::newRow("cannot be created") << false;
    QTest::newRow("read-only") << true;
}

void TestTftpProgram::folderNotWritable()
{
    QFETCH(bool, readOnly);
    QTemporaryDir outer;
    QString root;
    if (readOnly) {
        if (::geteuid() == 0)
            QSKIP("running as root: a read-only mode does not stop root from writing");
        root = outer.filePath(QStringLiteral("locked"));
        QVERIFY(QDir().mkpath(root));
        QVERIFY(QFile::setPermissions(root, QFile::ReadOwner | QFile::ExeOwner));
    } else {
        QVERIFY(writeFile(outer.filePath(QStringLiteral("plain")), "a file, not a folder"));
        root = outer.filePath(QStringLiteral("plain/archives"));
    }
    QString status;
    QString errors;
    const int code = failedStart(serverArguments(0, root), &status, &errors);
    QFile::setPermissions(root, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(code, 1);
    QCOMPARE(status, status::failedLine(status::kFolderNotWritable, root));
    QVERIFY(errors.contains(root));
}

void TestTftpProgram::privilegedPort()
{
    if (::geteuid() == 0)
        QSKIP("running as root: binding port 69 is allowed");
    const QByteArray firstFree = readFile(QStringLiteral("/proc/sys/net/ipv4/ip_unprivileged_port_start")).trimmed();
    if (!firstFree.isEmpty() && firstFree.toInt() <= 69)
        QSKIP("this machine lets anyone bind port 69");
    QTemporaryDir root;
    QString status;
    QString errors;
    QCOMPARE(failedStart(serverArguments(69, root.path()), &status, &errors), 1);
    QCOMPARE(status, status::failedLine(status::kPermission, QStringLiteral("69")));
}

void TestTftpProgram::helpAndVersion()
{
    for (const QString& option : {QStringLiteral("--help"), QStringLiteral("-h"), QStringLiteral("--version")}) {
        QString output;
        QString errors;
        QCOMPARE(runProgram(ServerProcess::programPath(), {option}, QDir::tempPath(), 10000, &output, &errors), 0);
        QVERIFY(output.startsWith(QStringLiteral("OpenTFTPServerMT ")));
        QVERIFY(errors.isEmpty());
        if (option == QStringLiteral("--version"))
            continue;
        for (const char* word : {"--port", "--bind", "--root", "--allow", "--max-size", "--config", "--version",
                                 "READY", "FAILED port-in-use", "FAILED permission", "FAILED folder-not-writable",
                                 "FAILED other", "STORED", "SENT", "PROGRESS <put|get> <bytes> <size|->",
                                 "--exit-with-parent", "parent ended; stopping", "--only-from", "--max-stored",
                                 "OnlyFrom", "MaxStoredBytes"})
            QVERIFY2(output.contains(QLatin1String(word)), word);
    }
}

void TestTftpProgram::progressOfAPacedUpload_data()
{
    QTest::addColumn<bool>("tsize");
    QTest::newRow("size announced") << true;
    QTest::newRow("size unknown") << false;
}

void TestTftpProgram::progressOfAPacedUpload()
{
    QFETCH(bool, tsize);
    QTemporaryDir root;
    ServerProcess server;
    QVERIFY(server.start(root.path()));
    RawPeer peer;
    quint16 transferPort = 0;
    // About 2.6 s: 50 blocks of 512 bytes 50 ms apart, then a short one.
    const qint64 total = 50 * 512 + 100;
    QVERIFY(pacedUpload(peer, server.port(), 50, 100, 50, tsize, &transferPort));
    QVERIFY(server.waitForLog(QLatin1String(status::kStored)));
    const QStringList atEnd = progressLines(server.logNow());
    QThread::msleep(1500);
    const QStringList lines = progressLines(server.logNow());
    QCOMPARE(lines, atEnd);  // none once it has ended
    QVERIFY2(lines.size() >= 2, qPrintable(server.log()));
    const QList<qint64> bytes = progressBytes(lines, status::kPut, tsize ? total : -1,
                                              QDir(root.path()).absoluteFilePath(QStringLiteral("config.tgz")));
    QCOMPARE(bytes.size(), lines.size());
    QVERIFY2(strictlyGrowing(bytes), qPrintable(lines.join(QLatin1Char('\n'))));
    QVERIFY(bytes.front() > 0 && bytes.back() <= total);
}

void TestTftpProgram::progressOfAPacedDownload()
{
    QTemporaryDir root;
    const qint64 size = 50 * 512 + 100;
    QVERIFY(writeFile(root.filePath(QStringLiteral("config.tgz")), patternBytes(size, 3)));
    ServerProcess server;
    QVERIFY(server.start(root.path()));
    RawPeer peer;
    peer.sendTo(server.port(), Packet::request(Opcode::Rrq, "config.tgz", Mode::Octet).encode());
    quint16 transferPort = 0;
    // Each block acknowledged 50 ms late: about 2.6 s.
    for (int block = 1; block <= 51; ++block) {
        const std::optional<Packet> data = decodePacket(peer.receive(2000, &transferPort));
        QVERIFY(data && data->opcode == Opcode::Data && data->block == block);
        QThread::msleep(50);
        peer.sendTo(transferPort, encodeAck(quint16(block)));
    }
    QVERIFY(server.waitForLog(QLatin1String(status::kSent)));
    const QStringList atEnd = progressLines(server.logNow());
    QThread::msleep(1500);
    const QStringList lines = progressLines(server.logNow());
    QCOMPARE(lines, atEnd);
    QVERIFY2(lines.size() >= 2, qPrintable(server.log()));
    const QList<qint64> bytes = progressBytes(lines, status::kGet, size,
                                              QDir(root.path()).absoluteFilePath(QStringLiteral("config.tgz")));
    QCOMPARE(bytes.size(), lines.size());
    QVERIFY2(strictlyGrowing(bytes), qPrintable(lines.join(QLatin1Char('\n'))));
    QVERIFY(bytes.front() > 0 && bytes.back() <= size);
}

void TestTftpProgram::noProgressLineForAStalledPeer()
{
    QTemporaryDir root;
    ServerProcess server;
    // Patient enough to keep the stalled upload through the whole test.
    QVERIFY(server.start(root.path(), {}, "RetryTimeoutMs=500\nRetryBackoff=1\nRetryMaxTries=50\nDallyMs=500\n"));
    RawPeer peer;
    quint16 transferPort = 0;
    // About 1.5 s of progress (30 blocks), then silence.
    QVERIFY(pacedUpload(peer, server.port(), 50, 100, 50, true, &transferPort, 30));
    QThread::msleep(1200);  // the line for the last progress may still come
    const QStringList atStall = progressLines(server.logNow());
    QThread::msleep(2500);
    const QStringList later = progressLines(server.logNow());
    QCOMPARE(later, atStall);
    QVERIFY2(!atStall.isEmpty(), qPrintable(server.log()));
    const QList<qint64> bytes = progressBytes(atStall, status::kPut, 50 * 512 + 100,
                                              QDir(root.path()).absoluteFilePath(QStringLiteral("config.tgz")));
    QCOMPARE(bytes.size(), atStall.size());
    QVERIFY(strictlyGrowing(bytes));
    QCOMPARE(bytes.back(), qint64(30 * 512));
    peer.sendTo(transferPort, encodeError(NotDefined, "giving up"));
    QVERIFY(server.waitForLog(QStringLiteral("failed WRQ")));
}

void TestTftpProgram::noProgressLineForAFastTransfer()
{
    QTemporaryDir root;
    ServerProcess server;
    QVERIFY(server.start(root.path()));
    RawPeer peer;
    quint16 transferPort = 0;
    QVERIFY(pacedUpload(peer, server.port(), 200, 100, 0, true, &transferPort));
    QVERIFY(server.waitForLog(QLatin1String(status::kStored)));
    RawPeer reader;
    reader.sendTo(server.port(), Packet::request(Opcode::Rrq, "config.tgz", Mode::Octet).encode());
    for (int block = 1; block <= 201; ++block) {
        const std::optional<Packet> data = decodePacket(reader.receive(2000, &transferPort));
        QVERIFY(data && data->opcode == Opcode::Data && data->block == block);
        reader.sendTo(transferPort, encodeAck(quint16(block)));
    }
    QVERIFY(server.waitForLog(QLatin1String(status::kSent)));
    QThread::msleep(1500);
    QCOMPARE(progressLines(server.logNow()), QStringList());
}

void TestTftpProgram::exitsWithItsParent()
{
    QTemporaryDir root;
    QTemporaryDir logs;
    const QString log = logs.filePath(QStringLiteral("server.log"));
    Intermediate in;
    QVERIFY(startThroughShell(&in, serverArguments(0, root.path()) << QStringLiteral("--exit-with-parent"), log));
    // An upload under way: its temporary file goes as on SIGTERM.
    RawPeer peer;
    quint16 transferPort = 0;
    QVERIFY(pacedUpload(peer, in.port, 50, 100, 0, false, &transferPort, 1));
    QCOMPARE(partFiles(root.path()).size(), 1);

    QCOMPARE(::kill(pid_t(in.shell.processId()), SIGKILL), 0);
    QVERIFY(in.shell.waitForFinished(2000));
    QVERIFY2(waitUntilGone(in.serverPid, 2000), readFile(log).constData());
    const QString output = QString::fromLocal8Bit(readFile(log));
    QVERIFY2(output.contains(QStringLiteral("parent ended; stopping")), qPrintable(output));
    QVERIFY2(output.contains(QStringLiteral("\nstopped")) || output.contains(QStringLiteral(" stopped\n")), qPrintable(output));
    QCOMPARE(partFiles(root.path()), QStringList());
    QVERIFY(!QFile::exists(root.filePath(QStringLiteral("config.tgz"))));
}

void TestTftpProgram::outlivesItsParentWithoutTheOption()
{
    QTemporaryDir root;
    QTemporaryDir logs;
    const QString log = logs.filePath(QStringLiteral("server.log"));
    Intermediate in;
    QVERIFY(startThroughShell(&in, serverArguments(0, root.path()), log));
    QCOMPARE(::kill(pid_t(in.shell.processId()), SIGKILL), 0);
    QVERIFY(in.shell.waitForFinished(2000));
    QThread::msleep(1000);
    QVERIFY2(!processGone(in.serverPid), readFile(log).constData());
    QVERIFY(!readFile(log).contains("parent ended"));
    QCOMPARE(::kill(in.serverPid, SIGTERM), 0);
    QVERIFY(waitUntilGone(in.serverPid, 5000));
    QVERIFY(readFile(log).contains("stopping on SIGTERM"));
}

void TestTftpProgram::exitsWhenStdinCloses()
{
    QTemporaryDir root;
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(ServerProcess::programPath(), serverArguments(0, root.path()) << QStringLiteral("--exit-with-parent"));
    QString output;
    QVERIFY2(listeningPort(p, &output) != 0, qPrintable(output));
    // What comes on stdin is read and ignored.
    p.write("anything\n");
    QVERIFY(p.waitForBytesWritten(2000));
    QVERIFY(!p.waitForFinished(500));
    p.closeWriteChannel();
    QVERIFY(p.waitForFinished(2000));
    output += QString::fromLocal8Bit(p.readAll());
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    QVERIFY2(output.contains(QStringLiteral("parent ended; stopping (standard input closed)")), qPrintable(output));
}

void TestTftpProgram::ignoresStdinWithoutTheOption()
{
    QTemporaryDir root;
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(ServerProcess::programPath(), serverArguments(0, root.path()));
    QString output;
    QVERIFY2(listeningPort(p, &output) != 0, qPrintable(output));
    p.closeWriteChannel();
    QVERIFY(!p.waitForFinished(1000));
    p.terminate();
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestTftpProgram)
#include "test_tftpprogram.moc"
