// The controller's tftp over real UDP, through the project's TFTP client,
// against Debian's tftpd-hpa and the project's OpenTFTPServerMT.

#include "tftpserverprocess.h"

#include "simulator/udptftptransport.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <optional>

using simulator::TftpOutcome;
using simulator::UdpTftpTransport;

namespace {

std::optional<TftpOutcome> waitFor(const std::function<void(UdpTftpTransport&, simulator::TftpTransport::Done)>& start,
                                   int timeoutMs)
{
    UdpTftpTransport transport;
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
        QSKIP("server program not installed or built");
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
        t.put(local, QStringLiteral("127.0.0.1"), server.port(), QStringLiteral("config.tgz"), done);
    }, 20000);
    QVERIFY(put);
    QVERIFY2(put->ok, qPrintable(put->errorText + QString::fromLocal8Bit(server.log())));
    QFile sent(QDir(pc.path()).filePath(QStringLiteral("config.tgz")));
    QVERIFY(sent.open(QIODevice::ReadOnly));
    QCOMPARE(sent.readAll(), payload());

    const QString back = QDir(card.path()).filePath(QStringLiteral("back.tgz"));
    auto get = waitFor([&](UdpTftpTransport& t, auto done) {
        t.get(back, QStringLiteral("127.0.0.1"), server.port(), QStringLiteral("config.tgz"), done);
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
        QSKIP("server program not installed or built");
    QTemporaryDir pc;
    QTemporaryDir card;
    TftpServerProcess server;
    QVERIFY(server.start(TftpServerProcess::Kind(kind), pc.path()));
    const QString local = QDir(card.path()).filePath(QStringLiteral("config.tgz"));
    auto get = waitFor([&](UdpTftpTransport& t, auto done) {
        t.get(local, QStringLiteral("127.0.0.1"), server.port(), QStringLiteral("config.tgz"), done);
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
        t.get(local, QStringLiteral("127.0.0.1"), silent.localPort(), QStringLiteral("config.tgz"), done);
    }, 30000);
    QVERIFY(get);
    QVERIFY(get->timedOut);
    QVERIFY2(clock.elapsed() > 11000 && clock.elapsed() < 20000, QByteArray::number(clock.elapsed()).constData());
    QVERIFY(!QFileInfo::exists(local));
}

QTEST_GUILESS_MAIN(TestSimTftpE2e)
#include "tst_simtftp_e2e.moc"
