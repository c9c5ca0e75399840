// The program as the desktop tool starts it: "<full path> -v" from a folder
// of its own, serving that folder, with the settings file beside it.

#include "raw_peer.h"
#include "server_process.h"
#include "test_files.h"

#include "tftp/packet.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

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
} // namespace

class TestTftpProgram : public QObject
{
    Q_OBJECT
private slots:
    void servesItsOwnFolderWithSettingsBeside();
    void quietWithoutV();
    void refusesBadArguments_data();
    void refusesBadArguments();
    void portInUse();
    void readyLineFirst();
    void folderNotWritable_data();
    void folderNotWritable();
    void privilegedPort();
    void helpAndVersion();
};

void TestTftpProgram::servesItsOwnFolderWithSettingsBeside()
{
    QTemporaryDir app;
    const QString program = app.filePath(QStringLiteral("OpenTFTPServerMT"));
    QVERIFY(QFile::copy(ServerProcess::programPath(), program));
    QVERIFY(writeFile(app.filePath(QStringLiteral("OpenTFTPServerMT.ini")),
                      "Port=0\nBind=127.0.0.1\nAllowedNames=config.tgz, extra.bin\nMaxWriteBytes=5000\n"));
    QVERIFY(writeFile(app.filePath(QStringLiteral("extra.bin")), "beside the program"));

    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, {QStringLiteral("-v")});
    QString output;
    const quint16 port = listeningPort(p, &output);
    QVERIFY2(port != 0, qPrintable(output));
    QVERIFY(output.contains(QStringLiteral("serving ") + QFileInfo(program).absolutePath()));

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
}

void TestTftpProgram::refusesBadArguments()
{
    QFETCH(QStringList, arguments);
    QString status;
    QString errors;
    QCOMPARE(failedStart(arguments, &status, &errors), 2);
    QVERIFY2(status.startsWith(QStringLiteral("FAILED other ")) && status.size() > 13, qPrintable(status));
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
    QCOMPARE(status, QStringLiteral("FAILED port-in-use %1").arg(taken.localPort()));
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
    QCOMPARE(output.section(QLatin1Char('\n'), 0, 0), QStringLiteral("READY %1 %2").arg(port).arg(root));
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
    QCOMPARE(status, QStringLiteral("FAILED folder-not-writable %1").arg(root));
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
    QCOMPARE(status, QStringLiteral("FAILED permission 69"));
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
                                 "FAILED other", "STORED", "SENT"})
            QVERIFY2(output.contains(QLatin1String(word)), word);
    }
}

QTEST_GUILESS_MAIN(TestTftpProgram)
#include "test_tftpprogram.moc"
