// The controller's tftp over real UDP, through the project's TFTP client,
// against Debian's tftpd-hpa and the project's OpenTFTPServerMT.

#include "tftp_server_process.h"

#include "simulator/udptftptransport.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <optional>

using tarvo::simulator::TftpOutcome;
using tarvo::simulator::UdpTftpTransport;

namespace {

std::optional<TftpOutcome> waitFor(const std::function<void(UdpTftpTransport&, tarvo::simulator::TftpTransport::Done)>& start,
                                   int timeoutMs, const QHostAddress& local = {})
{
    UdpTftpTransport transport(local);
    std::optional<TftpOutcome> result;
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    start(transport, [&](const TftpOutcome& o) {
        result = o;
        loop.quit();
    });
    if (!result)
        loop.exec();
    return result;
}

QByteArray payload()
{
    QByteArray b;
    for (int i = 0; i < 300000; ++i)
        b += char((i * 31 + i / 512) & 0xff);
    return b;
}

}  // namespace

class TestSimTftpE2e : public QObject {
    Q_OBJECT
private slots:
    void putAndGetBack_data();
    void putAndGetBack();
    void missingFileIsAServerError_data();
    void missingFileIsAServerError();
    void silenceTimesOut();
    void shortUploadFromTheBoundAddress();
};

void TestSimTftpE2e::putAndGetBack_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("tftpd-hpa") << int(TftpServerProcess::Hpa);
    QTest::newRow("OpenTFTPServerMT") << int(TftpServerProcess::Open);
}

void TestSimTftpE2e::putAndGetBack()
{
    QFETCH(int, kind);
    if (!TftpServerProcess::available(TftpServerProcess::Kind(kind)))
        QFAIL("the server program is missing");
    QTemporaryDir pc;
    QTemporaryDir card;
    QFile::setPermissions(pc.path(), QFile::Permissions(0x7777));
    TftpServerProcess server;
    QVERIFY(server.start(TftpServerProcess::Kind(kind), pc.path()));

    const QString local = QDir(card.path()).filePath(QStringLiteral("config.tgz"));
    QFile f(local);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(payload());
    f.close();
    auto put = waitFor([&](UdpTftpTransport& t, auto done) {
        t.put(local, QStringLiteral("127.0.0.1"), server.port(), QStringLiteral("config.tgz"), -1, {}, done);
    }, 20000);
    QVERIFY(put);
    QVERIFY2(put->ok, qPrintable(put->errorText + QString::fromLocal8Bit(server.log())));
    QFile sent(QDir(pc.path()).filePath(QStringLiteral("config.tgz")));
    QVERIFY(sent.open(QIODevice::ReadOnly));
    QCOMPARE(sent.readAll(), payload());

    const QString back = QDir(card.path()).filePath(QStringLiteral("back.tgz"));
    auto get = waitFor([&](UdpTftpTransport& t, auto done) {
        t.get(back, QStringLiteral("127.0.0.1"), server.port(), QStringLiteral("config.tgz"), {}, done);
    }, 20000);
    QVERIFY(get);
    QVERIFY2(get->ok, qPrintable(get->errorText));
    QFile got(back);
    QVERIFY(got.open(QIODevice::ReadOnly));
    QCOMPARE(got.readAll(), payload());
}

void TestSimTftpE2e::missingFileIsAServerError_data()
{
    putAndGetBack_data();
}

void TestSimTftpE2e::missingFileIsAServerError()
{
    QFETCH(int, kind);
    if (!TftpServerProcess::available(TftpServerProcess::Kind(kind)))
        QFAIL("the server program is missing");
    QTemporaryDir pc;
    QTemporaryDir card;
    TftpServerProcess server;
    QVERIFY(server.start(TftpServerProcess::Kind(kind), pc.path()));
    const QString local = QDir(card.path()).filePath(QStringLiteral("config.tgz"));
    auto get = waitFor([&](UdpTftpTransport& t, auto done) {
        t.get(local, QStringLiteral("127.0.0.1"), server.port(), QStringLiteral("config.tgz"), {}, done);
    }, 20000);
    QVERIFY(get);
    QVERIFY(!get->ok);
    QVERIFY(!get->timedOut);
    QCOMPARE(get->errorCode, 1);
    QVERIFY(!QFileInfo::exists(local));
}

void TestSimTftpE2e::silenceTimesOut()
{
    // A bound socket that never answers: the client's whole retry schedule.
    QUdpSocket silent;
    QVERIFY(silent.bind(QHostAddress::LocalHost, 0));
    QTemporaryDir card;
    const QString local = QDir(card.path()).filePath(QStringLiteral("config.tgz"));
    QElapsedTimer clock;
    clock.start();
    auto get = waitFor([&](UdpTftpTransport& t, auto done) {
        t.get(local, QStringLiteral("127.0.0.1"), silent.localPort(), QStringLiteral("config.tgz"), {}, done);
    }, 30000);
    QVERIFY(get);
    QVERIFY(get->timedOut);
    QVERIFY2(clock.elapsed() > 11000 && clock.elapsed() < 20000, QByteArray::number(clock.elapsed()).constData());
    QVERIFY(!QFileInfo::exists(local));
}

void TestSimTftpE2e::shortUploadFromTheBoundAddress()
{
    // A bare server on a socket: it sees where the request comes from and
    // what it announces, and acknowledges every block.
    QUdpSocket server;
    QVERIFY(server.bind(QHostAddress::LocalHost, 0));
    QHostAddress from;
    quint16 fromPort = 0;
    QByteArray request;
    QByteArray received;
    bool ended = false;
    QObject::connect(&server, &QUdpSocket::readyRead, [&] {
        while (server.hasPendingDatagrams()) {
            QByteArray d(int(server.pendingDatagramSize()), '\0');
            server.readDatagram(d.data(), d.size(), &from, &fromPort);
            quint16 block = 0;
            if (d.startsWith(QByteArray("\0\2", 2)) && request.isEmpty()) {
                request = d;
            } else if (d.startsWith(QByteArray("\0\3", 2)) && d.size() >= 4) {
                block = quint16((uchar(d[2]) << 8) | uchar(d[3]));
                if (block == received.size() / 512 + 1 && !ended) {
                    received += d.mid(4);
                    ended = d.size() < 4 + 512;
                }
            } else {
                continue;
            }
            const char ack[] = {0, 4, char(block >> 8), char(block & 0xff)};
            server.writeDatagram(ack, 4, from, fromPort);
        }
    });
    QTemporaryDir card;
    const QString local = QDir(card.path()).filePath(QStringLiteral("config.tgz"));
    QFile f(local);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(payload());
    f.close();
    const qint64 half = payload().size() / 2;
    const QHostAddress controller(QStringLiteral("127.0.0.101"));
    auto put = waitFor([&](UdpTftpTransport& t, auto done) {
        t.put(local, QStringLiteral("127.0.0.1"), server.localPort(), QStringLiteral("config.tgz"), half, {}, done);
    }, 20000, controller);
    QVERIFY(put);
    QVERIFY2(put->ok, qPrintable(put->errorText));
    QCOMPARE(from, controller);
    QVERIFY(request.startsWith(QByteArray("\0\2config.tgz\0octet\0", 19)));
    QVERIFY(!request.contains("tsize"));
    QVERIFY(ended);
    QCOMPARE(received, payload().left(half));
}

QTEST_GUILESS_MAIN(TestSimTftpE2e)
#include "test_simtftp_e2e.moc"
