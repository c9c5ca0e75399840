// The program as the desktop tool starts it: "<full path> -v" from a folder
// of its own, serving that folder, with the settings file beside it.

#include "rawpeer.h"
#include "serverprocess.h"
#include "testfiles.h"

#include "tftp/packet.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

using namespace tftp;

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
    QString output;
    QCOMPARE(runProgram(ServerProcess::programPath(), arguments, QDir::tempPath(), 10000, &output), 2);
    QVERIFY(!output.isEmpty());
}

void TestTftpProgram::portInUse()
{
    QUdpSocket taken;
    QVERIFY(taken.bind(QHostAddress::LocalHost, 0));
    QTemporaryDir root;
    QString output;
    const int code = runProgram(ServerProcess::programPath(),
                                {QStringLiteral("--port"), QString::number(taken.localPort()), QStringLiteral("--bind"),
                                 QStringLiteral("127.0.0.1"), QStringLiteral("--root"), root.path()},
                                root.path(), 10000, &output);
    QCOMPARE(code, 1);
    QVERIFY(output.contains(QStringLiteral("cannot bind")));
}

QTEST_GUILESS_MAIN(TestTftpProgram)
#include "tst_tftpprogram.moc"
