// The library's client against its server on loopback, in one process:
// sizes around block edges, options, block number roll-over, 200 transfers
// at once, and transfers through a lossy relay.

#include "loopback_fixture.h"
#include "lossy_relay.h"
#include "test_files.h"

#include <QDir>
#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

using namespace tarvo::tftp;

namespace {
constexpr qint64 MiB = 1024 * 1024;
// 40 MiB at 512 bytes is 81,920 blocks: the block number wraps once.
constexpr qint64 RolloverBytes = 40 * MiB;
constexpr int ConcurrentClients = 200;

QStringList strayFiles(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral(".tftp-part-*")}, QDir::Files | QDir::Hidden);
}
} // namespace

class TestTftpLoopback : public QObject
{
    Q_OBJECT
private slots:
    void putThenGet_data();
    void putThenGet();
    void manyClientsAtOnce();
    void throughLossyRelay_data();
    void throughLossyRelay();
    void clientGivesUpOnSilence();
    void failedGetKeepsOlderFile();
    void refusedPutLeavesNothing();
    void doneIsNeverSynchronous();
    void clientMayBeDeletedInDone();
    void sizeLimitAbortsWrite();
    void dualStackServer();
    void perClientFolders();
};

void TestTftpLoopback::putThenGet_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("blksize");
    QTest::addColumn<int>("windowsize");
    for (qint64 size : {qint64(0), qint64(511), qint64(512), qint64(513), MiB}) {
        QTest::addRow("%lld default", size) << size << 0 << 0;
        QTest::addRow("%lld blksize 1468 window 16", size) << size << 1468 << 16;
    }
    QTest::newRow("513 blksize 8") << qint64(513) << 8 << 0;
    QTest::newRow("1 MiB blksize 65464") << MiB << 65464 << 0;
    QTest::newRow("1 MiB window 4") << MiB << 0 << 4;
    QTest::newRow("40 MiB default (roll-over)") << RolloverBytes << 0 << 0;
    QTest::newRow("exact multiple of window") << qint64(1468 * 16) << 1468 << 16;
}

void TestTftpLoopback::putThenGet()
{
    QFETCH(qint64, size);
    QFETCH(int, blksize);
    QFETCH(int, windowsize);
    LoopbackFixture f;
    QVERIFY(f.isReady());
    const QByteArray content = patternBytes(size, quint32(size + blksize));
    const QString source = f.localDir() + QStringLiteral("/source");
    QVERIFY(writeFile(source, content));
    ClientOptions o;
    o.blksize = blksize;
    o.windowsize = windowsize;

    TransferResult r = f.put(QStringLiteral("config.tgz"), source, o);
    QVERIFY2(r.ok, qPrintable(r.errorText));
    QCOMPARE(r.bytes, size);
    QVERIFY(readFile(f.root() + QStringLiteral("/config.tgz")) == content);

    const QString back = f.localDir() + QStringLiteral("/back");
    r = f.get(QStringLiteral("config.tgz"), back, o);
    QVERIFY2(r.ok, qPrintable(r.errorText));
    QCOMPARE(r.bytes, size);
    QVERIFY(readFile(back) == content);
    QVERIFY(strayFiles(f.root()).isEmpty());
    QVERIFY(strayFiles(f.localDir()).isEmpty());
}

void TestTftpLoopback::manyClientsAtOnce()
{
    ServerConfig c = LoopbackFixture::defaultConfig();
    c.allowedNames = {QStringLiteral("*")};
    // 200 transfers share two cores with everything else; allow for it.
    c.retry.initialTimeoutMs = 500;
    c.retry.maxTimeoutMs = 2000;
    c.retry.maxTries = 8;
    LoopbackFixture f(c);
    QVERIFY(f.isReady());
    QList<QByteArray> contents;
    for (int i = 0; i < ConcurrentClients; ++i) {
        contents.append(patternBytes(20000 + 97 * i, quint32(i)));
        QVERIFY(writeFile(f.root() + QStringLiteral("/file-%1.bin").arg(i), contents.last()));
    }
    ClientOptions o;
    o.initialTimeoutMs = 500;
    int finished = 0;
    int succeeded = 0;
    for (int i = 0; i < ConcurrentClients; ++i) {
        f.client().get(QHostAddress::LocalHost, f.port(), QStringLiteral("file-%1.bin").arg(i),
                       f.localDir() + QStringLiteral("/copy-%1.bin").arg(i), o,
                       [&finished, &succeeded](const TransferResult& r) {
                           ++finished;
                           succeeded += r.ok ? 1 : 0;
                       });
    }
    QTRY_COMPARE_WITH_TIMEOUT(finished, ConcurrentClients, 60000);
    QCOMPARE(succeeded, ConcurrentClients);
    for (int i = 0; i < ConcurrentClients; ++i)
        QVERIFY(readFile(f.localDir() + QStringLiteral("/copy-%1.bin").arg(i)) == contents[i]);
}

void TestTftpLoopback::throughLossyRelay_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("blksize");
    QTest::addColumn<int>("windowsize");
    QTest::newRow("lock-step seed 1") << quint32(1) << 0 << 0;
    QTest::newRow("lock-step seed 2") << quint32(2) << 1024 << 0;
    QTest::newRow("window 8 seed 3") << quint32(3) << 1024 << 8;
    QTest::newRow("window 4 seed 4") << quint32(4) << 0 << 4;
}

void TestTftpLoopback::throughLossyRelay()
{
    QFETCH(quint32, seed);
    QFETCH(int, blksize);
    QFETCH(int, windowsize);
    ServerConfig c = LoopbackFixture::defaultConfig();
    c.retry.initialTimeoutMs = 40;
    c.retry.maxTimeoutMs = 200;
    c.retry.maxTries = 12;
    LoopbackFixture f(c);
    QVERIFY(f.isReady());
    LossyRelay relay(f.port(), seed, LossyRelay::Faults());
    const QByteArray content = patternBytes(300 * 1024 + 17, seed);
    const QString source = f.localDir() + QStringLiteral("/source");
    QVERIFY(writeFile(source, content));
    ClientOptions o;
    o.blksize = blksize;
    o.windowsize = windowsize;
    o.initialTimeoutMs = 40;
    o.maxTimeoutMs = 200;

    TransferResult r = f.put(QStringLiteral("config.tgz"), source, o, relay.port());
    QVERIFY2(r.ok, qPrintable(r.errorText));
    QVERIFY(readFile(f.root() + QStringLiteral("/config.tgz")) == content);
    // Let the server's dally end, so the next request is a new transfer.
    QTest::qWait(c.dallyMs + 50);
    const QString back = f.localDir() + QStringLiteral("/back");
    r = f.get(QStringLiteral("config.tgz"), back, o, relay.port());
    QVERIFY2(r.ok, qPrintable(r.errorText));
    QVERIFY(readFile(back) == content);
    QVERIFY(relay.dropped() > 0);
    QVERIFY(relay.duplicated() > 0);
    QVERIFY(relay.delayed() > 0);
    qInfo("relay dropped %d, duplicated %d, delayed %d", relay.dropped(), relay.duplicated(), relay.delayed());
}

void TestTftpLoopback::clientGivesUpOnSilence()
{
    QUdpSocket silent;
    QVERIFY(silent.bind(QHostAddress::LocalHost, 0));
    QTemporaryDir dir;
    Client client;
    ClientOptions o;
    o.initialTimeoutMs = 20;
    o.maxTimeoutMs = 40;
    o.maxTries = 4;
    int calls = 0;
    TransferResult result;
    client.get(QHostAddress::LocalHost, silent.localPort(), QStringLiteral("config.tgz"),
               dir.filePath(QStringLiteral("x")), o, [&](const TransferResult& r) {
                   ++calls;
                   result = r;
               });
    QTRY_COMPARE_WITH_TIMEOUT(calls, 1, 5000);
    QVERIFY(result.timedOut);
    QVERIFY(!result.ok);
    QCOMPARE(result.errorCode, -1);
    QTest::qWait(200);
    QCOMPARE(calls, 1);
    QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    // The request was retransmitted: 1 + (maxTries - 1) copies.
    int requests = 0;
    while (silent.hasPendingDatagrams()) {
        silent.receiveDatagram();
        ++requests;
    }
    QCOMPARE(requests, o.maxTries);
}

void TestTftpLoopback::failedGetKeepsOlderFile()
{
    LoopbackFixture f;
    QVERIFY(f.isReady());
    const QString local = f.localDir() + QStringLiteral("/config.tgz");
    QVERIFY(writeFile(local, "older"));
    const TransferResult r = f.get(QStringLiteral("config.tgz"), local);  // nothing on the server yet
    QVERIFY(!r.ok);
    QCOMPARE(r.errorCode, int(FileNotFound));
    QCOMPARE(readFile(local), QByteArray("older"));
    QCOMPARE(QDir(f.localDir()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("config.tgz")});
}

void TestTftpLoopback::refusedPutLeavesNothing()
{
    LoopbackFixture f;
    QVERIFY(f.isReady());
    const QString source = f.localDir() + QStringLiteral("/source");
    QVERIFY(writeFile(source, "data"));
    const TransferResult r = f.put(QStringLiteral("../escape.tgz"), source);
    QCOMPARE(r.errorCode, int(AccessViolation));
    QVERIFY(QDir(f.root()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    QVERIFY(!QFileInfo::exists(QFileInfo(f.root()).absolutePath() + QStringLiteral("/escape.tgz")));
}

void TestTftpLoopback::doneIsNeverSynchronous()
{
    Client client;
    bool called = false;
    client.put(QHostAddress::LocalHost, 9, QStringLiteral("config.tgz"), QStringLiteral("/nonexistent/file"),
               ClientOptions(), [&](const TransferResult& r) {
                   called = true;
                   QVERIFY(!r.ok);
                   QVERIFY(!r.errorText.isEmpty());
               });
    QVERIFY(!called);
    QTRY_VERIFY(called);
}

void TestTftpLoopback::clientMayBeDeletedInDone()
{
    LoopbackFixture f;
    QVERIFY(f.isReady());
    QVERIFY(writeFile(f.root() + QStringLiteral("/config.tgz"), patternBytes(3000, 8)));
    auto* client = new Client;
    bool called = false;
    client->get(QHostAddress::LocalHost, f.port(), QStringLiteral("config.tgz"),
                f.localDir() + QStringLiteral("/copy"), ClientOptions(), [&](const TransferResult& r) {
                    called = true;
                    QVERIFY(r.ok);
                    delete client;
                });
    QTRY_VERIFY(called);
    QTest::qWait(50);
    QCOMPARE(readFile(f.localDir() + QStringLiteral("/copy")).size(), 3000);
}

void TestTftpLoopback::sizeLimitAbortsWrite()
{
    ServerConfig c = LoopbackFixture::defaultConfig();
    c.maxWriteBytes = 10000;
    LoopbackFixture f(c);
    QVERIFY(f.isReady());
    QVERIFY(writeFile(f.root() + QStringLiteral("/config.tgz"), "previous"));
    const QString source = f.localDir() + QStringLiteral("/big");
    QVERIFY(writeFile(source, patternBytes(20000, 5)));
    ClientOptions withoutTsize;
    withoutTsize.sendTsize = false;
    TransferResult r = f.put(QStringLiteral("config.tgz"), source, withoutTsize);
    QCOMPARE(r.errorCode, int(DiskFull));
    QCOMPARE(r.bytes, 9728);  // 19 blocks went through before the 20th crossed the limit
    r = f.put(QStringLiteral("config.tgz"), source);  // tsize announces it: refused at once
    QCOMPARE(r.errorCode, int(DiskFull));
    QCOMPARE(r.bytes, 0);
    QCOMPARE(readFile(f.root() + QStringLiteral("/config.tgz")), QByteArray("previous"));
    QVERIFY(strayFiles(f.root()).isEmpty());
}

void TestTftpLoopback::dualStackServer()
{
    // The program's default: every interface, IPv4 and IPv6 alike.
    ServerConfig c = LoopbackFixture::defaultConfig();
    c.bindAddress = QHostAddress::Any;
    LoopbackFixture f(c);
    QVERIFY(f.isReady());
    const QByteArray content = patternBytes(5000, 12);
    QVERIFY(writeFile(f.root() + QStringLiteral("/config.tgz"), content));
    for (const QHostAddress& host : {QHostAddress(QHostAddress::LocalHost), QHostAddress(QHostAddress::LocalHostIPv6)}) {
        bool done = false;
        TransferResult result;
        const QString local = f.localDir() + QStringLiteral("/copy-") + QString::number(int(host.protocol()));
        f.client().get(host, f.port(), QStringLiteral("config.tgz"), local, ClientOptions(),
                       [&](const TransferResult& r) {
                           result = r;
                           done = true;
                       });
        QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
        QVERIFY2(result.ok, qPrintable(host.toString() + QStringLiteral(": ") + result.errorText));
        QVERIFY(readFile(local) == content);
    }
}

void TestTftpLoopback::perClientFolders()
{
    ServerConfig c = LoopbackFixture::defaultConfig();
    c.perClient = true;
    LoopbackFixture f(c);
    QVERIFY(f.isReady());
    const QStringList peers = {QStringLiteral("127.0.0.2"), QStringLiteral("127.0.0.3")};
    QList<QByteArray> contents;
    int finished = 0;
    int succeeded = 0;
    auto count = [&finished, &succeeded](const TransferResult& r) {
        ++finished;
        succeeded += r.ok ? 1 : 0;
    };
    // Both at once, same name, several windows long so that they overlap.
    for (int i = 0; i < peers.size(); ++i) {
        contents.append(patternBytes(300000 + 1000 * i, quint32(40 + i)));
        const QString local = f.localDir() + QStringLiteral("/put-%1.tgz").arg(i);
        QVERIFY(writeFile(local, contents.last()));
        ClientOptions o;
        o.localAddress = QHostAddress(peers[i]);
        f.client().put(QHostAddress::LocalHost, f.port(), QStringLiteral("config.tgz"), local, o, count);
    }
    QTRY_COMPARE_WITH_TIMEOUT(finished, 2, 30000);
    QCOMPARE(succeeded, 2);
    QVERIFY(!QFile::exists(f.root() + QStringLiteral("/config.tgz")));
    for (int i = 0; i < peers.size(); ++i) {
        QCOMPARE(readFile(f.root() + QLatin1Char('/') + peers[i] + QStringLiteral("/config.tgz")), contents[i]);
        ClientOptions o;
        o.localAddress = QHostAddress(peers[i]);
        f.client().get(QHostAddress::LocalHost, f.port(), QStringLiteral("config.tgz"),
                       f.localDir() + QStringLiteral("/got-%1.tgz").arg(i), o, count);
    }
    QTRY_COMPARE_WITH_TIMEOUT(finished, 4, 30000);
    QCOMPARE(succeeded, 4);
    for (int i = 0; i < peers.size(); ++i)
        QCOMPARE(readFile(f.localDir() + QStringLiteral("/got-%1.tgz").arg(i)), contents[i]);
    // 127.0.0.1 has no folder yet: nothing to read.
    QCOMPARE(f.get(QStringLiteral("config.tgz"), f.localDir() + QStringLiteral("/none.tgz")).errorCode, int(FileNotFound));
}

QTEST_GUILESS_MAIN(TestTftpLoopback)
#include "test_tftploopback.moc"
