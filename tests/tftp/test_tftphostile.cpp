// Hostile input against the real program: names that try to leave the
// served folder or reach other files, malformed and unknown packets, absurd
// options, writes abandoned, interrupted by SIGTERM or too big. Each gets an
// error and a log line, and the archive already there survives untouched.

#include "raw_peer.h"
#include "server_process.h"
#include "test_files.h"

#include "tftp/packet.h"

#include <QCryptographicHash>
#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace tarvo::tftp;

namespace {
template <size_t N>
QByteArray raw(const char (&s)[N])
{
    return QByteArray(s, N - 1);
}

const QByteArray PreviousArchive("the archive from last time");
constexpr int GarbageDatagrams = 300;

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray wrq(const QByteArray& name, const QList<Option>& options = {})
{
    return Packet::request(Opcode::Wrq, name, Mode::Octet, options).encode();
}
} // namespace

class TestTftpHostile : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void forbiddenNames_data();
    void forbiddenNames();
    void malformedRequests_data();
    void malformedRequests();
    void garbageFloodThenNormalService();
    void abandonedWrite();
    void replayedBlocksAreWrittenOnce();
    void malformedMidTransfer_data();
    void malformedMidTransfer();
    void writeInterruptedBySigterm();
    void writeOverSizeLimit();
    void storedBytesCappedForTheServersLife();
    void shorterThanAnnouncedTsize();
    void greedyReadersShareTheMemoryBudget();
    void sigintEndsCleanly();
    void concurrentWriteOfSameFileRefused();
    void sameAddressSupersedesAbandonedUpload();
    void silenceCappedWhateverTheTimeoutOption();
    void backupsKeepTheNewestTwenty();
    void leftoverTemporaryFilesSwept();
    void secondInstanceLeavesRunningUploadAlone();
    void symbolicLinksRefused();

private:
    // moreSettings: lines added to the test settings.
    bool startServer(const QStringList& extra = {}, const QByteArray& moreSettings = {});
    void expectError(RawPeer& peer, quint16 code);
    void expectArchiveIntact();
    // Sends a WRQ for config.tgz; the transfer port once the server has
    // acknowledged it with ACK 0, else 0.
    quint16 beginUpload(RawPeer& peer);

    std::unique_ptr<QTemporaryDir> outer_;  // holds root, to see escapes
    QString root_;
    std::unique_ptr<ServerProcess> server_;
};

void TestTftpHostile::init()
{
    outer_ = std::make_unique<QTemporaryDir>();
    root_ = outer_->filePath(QStringLiteral("served"));
    QVERIFY(QDir().mkpath(root_));
    QVERIFY(writeFile(root_ + QStringLiteral("/config.tgz"), PreviousArchive));
    QVERIFY(writeFile(outer_->filePath(QStringLiteral("secret.txt")), "not for clients"));
}

void TestTftpHostile::cleanup()
{
    if (server_)
        server_->terminate();
    server_.reset();
    outer_.reset();
}

bool TestTftpHostile::startServer(const QStringList& extra, const QByteArray& moreSettings)
{
    server_ = std::make_unique<ServerProcess>();
    return server_->start(root_, extra, ServerProcess::testSettings() + moreSettings);
}

void TestTftpHostile::expectError(RawPeer& peer, quint16 code)
{
    const std::optional<Packet> reply = decodePacket(peer.receive());
    QVERIFY(reply);
    QCOMPARE(reply->opcode, Opcode::Error);
    QCOMPARE(reply->errorCode, code);
}

quint16 TestTftpHostile::beginUpload(RawPeer& peer)
{
    peer.sendTo(server_->port(), wrq("config.tgz"));
    quint16 transferPort = 0;
    return peer.receive(2000, &transferPort) == encodeAck(0) ? transferPort : 0;
}

void TestTftpHostile::expectArchiveIntact()
{
    QCOMPARE(readFile(root_ + QStringLiteral("/config.tgz")), PreviousArchive);
    const QStringList left = entries(root_);
    QVERIFY2(left == QStringList{QStringLiteral("config.tgz")}, qPrintable(left.join(QLatin1Char(' '))));
    QCOMPARE(entries(outer_->path()), (QStringList{QStringLiteral("secret.txt"), QStringLiteral("served")}));
}

void TestTftpHostile::forbiddenNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("write");
    const QList<QByteArray> names = {"../secret.txt", "..", "../served/config.tgz", "/etc/passwd",
                                     "..\\secret.txt", "C:\\Windows\\win.ini", "served/config.tgz",
                                     "./config.tgz", "CON", "nul", "COM1.tgz", "other.tgz", ".config.tgz",
                                     "config.tgz.", "config.tgz::$DATA", "config\r\n.tgz", "%2e%2e/secret.txt"};
    for (const QByteArray& name : names) {
        QTest::addRow("read %s", name.toPercentEncoding().constData()) << name << false;
        QTest::addRow("write %s", name.toPercentEncoding().constData()) << name << true;
    }
}

void TestTftpHostile::forbiddenNames()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, write);
    QVERIFY(startServer());
    RawPeer peer;
    peer.sendTo(server_->port(), write ? wrq(name, {{"tsize", "10"}})
                                        : Packet::request(Opcode::Rrq, name, Mode::Octet).encode());
    expectError(peer, AccessViolation);
    QVERIFY(server_->waitForLog(QStringLiteral("refused %1").arg(write ? "WRQ" : "RRQ")));
    QVERIFY(server_->log().contains(QStringLiteral("error 2")));
    // Whatever comes next on that port is not a transfer either.
    peer.sendTo(server_->port(), encodeData(1, "sneaky"));
    expectError(peer, IllegalOperation);
    expectArchiveIntact();
}

void TestTftpHostile::malformedRequests_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::newRow("one byte") << raw("\0");
    QTest::newRow("opcode only") << raw("\0\2");
    QTest::newRow("unknown opcode 9") << raw("\0\x09" "config.tgz\0octet\0");
    QTest::newRow("opcode 0x0102") << raw("\1\2" "config.tgz\0octet\0");
    QTest::newRow("no NUL after name") << raw("\0\2config.tgz");
    QTest::newRow("no mode") << raw("\0\2config.tgz\0");
    QTest::newRow("mode without NUL") << raw("\0\2config.tgz\0octet");
    QTest::newRow("mail mode") << raw("\0\2config.tgz\0mail\0");
    QTest::newRow("option without value") << raw("\0\2config.tgz\0octet\0blksize\0");
    QTest::newRow("duplicate option") << raw("\0\2config.tgz\0octet\0tsize\0" "1\0TSIZE\0" "2\0");
    QTest::newRow("over-long name") << raw("\0\2") + QByteArray(300, 'a') + raw("\0octet\0");
    QTest::newRow("over-long blksize") << raw("\0\2config.tgz\0octet\0blksize\0") + QByteArray(1000, '1') + raw("\0");
    QTest::newRow("DATA to request port") << encodeData(1, "hello");
    QTest::newRow("ACK to request port") << encodeAck(0);
    QTest::newRow("OACK to request port") << raw("\0\6blksize\0" "512\0");
    QTest::newRow("huge datagram") << raw("\0\2") + QByteArray(65000, 'x');
}

void TestTftpHostile::malformedRequests()
{
    QFETCH(QByteArray, datagram);
    QVERIFY(startServer());
    RawPeer peer;
    peer.sendTo(server_->port(), datagram);
    expectError(peer, IllegalOperation);
    QVERIFY(server_->waitForLog(QStringLiteral("refused")));
    expectArchiveIntact();
}

void TestTftpHostile::garbageFloodThenNormalService()
{
    QVERIFY(startServer());
    RawPeer flooder;
    QRandomGenerator random(77);
    for (int i = 0; i < GarbageDatagrams; ++i) {
        QByteArray d(int(random.bounded(2, 80)), Qt::Uninitialized);
        for (char& c : d)
            c = char(random.bounded(256));
        d[0] = 0;
        d[1] = char(random.bounded(1, 8));
        if (d[1] == 5)
            d[1] = 7;  // ERROR packets are rightly never answered
        flooder.sendTo(server_->port(), d);
        QVERIFY(!flooder.receive().isEmpty());
    }
    RawPeer peer;
    peer.sendTo(server_->port(), Packet::request(Opcode::Rrq, "config.tgz", Mode::Octet).encode());
    quint16 transferPort = 0;
    QCOMPARE(peer.receive(2000, &transferPort), encodeData(1, PreviousArchive));
    peer.sendTo(transferPort, encodeAck(1));
    QVERIFY(server_->waitForLog(QStringLiteral("finished RRQ")));
    QVERIFY(server_->waitForLog(QStringLiteral(" SENT %1 127.0.0.1 %2/config.tgz\n")
                                        .arg(PreviousArchive.size()).arg(root_)));
    expectArchiveIntact();
}

void TestTftpHostile::abandonedWrite()
{
    QVERIFY(startServer());
    RawPeer peer;
    const quint16 transferPort = beginUpload(peer);
    QVERIFY(transferPort != 0);
    peer.sendTo(transferPort, encodeData(1, QByteArray(512, 'n')));
    QCOMPARE(peer.receive(), encodeAck(1));
    peer.sendTo(transferPort, encodeData(2, QByteArray(512, 'n')));
    QCOMPARE(peer.receive(), encodeAck(2));
    // Now silence: the server asks again a few times, then gives up.
    QVERIFY(server_->waitForLog(QStringLiteral("failed WRQ \"config.tgz\""), 10000));
    QVERIFY(server_->log().contains(QStringLiteral("timed out")));
    expectArchiveIntact();
}

void TestTftpHostile::replayedBlocksAreWrittenOnce()
{
    QVERIFY(startServer());
    RawPeer peer;
    const quint16 transferPort = beginUpload(peer);
    QVERIFY(transferPort != 0);
    const QByteArray one(512, '1'), two(512, '2'), three("end");
    peer.sendTo(transferPort, encodeData(1, one));
    QCOMPARE(peer.receive(), encodeAck(1));
    peer.sendTo(transferPort, encodeData(2, two));
    QCOMPARE(peer.receive(), encodeAck(2));
    // Old blocks again, as a peer with a confused retry would send them.
    peer.sendTo(transferPort, encodeData(1, one));
    peer.sendTo(transferPort, encodeData(2, two));
    peer.sendTo(transferPort, encodeData(3, three));
    QVERIFY(server_->waitForLog(QStringLiteral("finished WRQ \"config.tgz\"")));
    QCOMPARE(readFile(root_ + QStringLiteral("/config.tgz")), one + two + three);
}

void TestTftpHostile::malformedMidTransfer_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::newRow("truncated DATA") << raw("\0\3\0");
    QTest::newRow("unknown opcode") << raw("\0\x0c\0\2" "xx");
    QTest::newRow("oversized ACK") << raw("\0\4\0\1\0");
    QTest::newRow("ERROR without NUL") << raw("\0\5\0\0" "boom");
    QTest::newRow("OACK on a write") << raw("\0\6blksize\0" "8\0");
    QTest::newRow("DATA longer than the block size") << encodeData(2, QByteArray(600, 'o'));
    QTest::newRow("a datagram of 64 KiB") << encodeData(2, QByteArray(65000, 'o'));
}

void TestTftpHostile::malformedMidTransfer()
{
    QFETCH(QByteArray, datagram);
    QVERIFY(startServer());
    RawPeer peer;
    const quint16 transferPort = beginUpload(peer);
    QVERIFY(transferPort != 0);
    peer.sendTo(transferPort, encodeData(1, QByteArray(512, 'm')));
    QCOMPARE(peer.receive(), encodeAck(1));
    peer.sendTo(transferPort, datagram);
    expectError(peer, IllegalOperation);
    QVERIFY(server_->waitForLog(QStringLiteral("failed WRQ \"config.tgz\"")));
    expectArchiveIntact();
}

void TestTftpHostile::writeInterruptedBySigterm()
{
    QVERIFY(startServer());
    RawPeer peer;
    peer.sendTo(server_->port(), wrq("config.tgz", {{"blksize", "1024"}}));
    quint16 transferPort = 0;
    QCOMPARE(peer.receive(2000, &transferPort), raw("\0\6blksize\0" "1024\0"));
    for (quint16 block = 1; block <= 5; ++block) {
        peer.sendTo(transferPort, encodeData(block, QByteArray(1024, 'i')));
        QCOMPARE(peer.receive(), encodeAck(block));
    }
    QCOMPARE(QDir(root_).entryList({QStringLiteral(".tftp-part-*")}, QDir::Files | QDir::Hidden).size(), 1);
    QCOMPARE(server_->terminate(), 0);
    const std::optional<Packet> farewell = decodePacket(peer.receive());
    QVERIFY(farewell && farewell->opcode == Opcode::Error);
    const QString log = server_->log();
    QVERIFY(log.contains(QStringLiteral("stopping on SIGTERM, 1 transfers in flight")));
    QVERIFY(log.contains(QStringLiteral("failed WRQ \"config.tgz\"")));
    expectArchiveIntact();
}

void TestTftpHostile::sigintEndsCleanly()
{
    QVERIFY(startServer());
    RawPeer peer;
    const quint16 transferPort = beginUpload(peer);
    QVERIFY(transferPort != 0);
    peer.sendTo(transferPort, encodeData(1, QByteArray(512, 'c')));
    QCOMPARE(peer.receive(), encodeAck(1));
    QCOMPARE(::kill(pid_t(server_->pid()), SIGINT), 0);
    QCOMPARE(server_->waitForExit(), 0);
    QVERIFY(server_->log().contains(QStringLiteral("stopping on SIGINT, 1 transfers in flight")));
    expectArchiveIntact();
}

void TestTftpHostile::writeOverSizeLimit()
{
    QVERIFY(startServer({QStringLiteral("--max-size"), QStringLiteral("1000")}));
    RawPeer peer;
    const quint16 transferPort = beginUpload(peer);  // no tsize: found out on the way
    QVERIFY(transferPort != 0);
    peer.sendTo(transferPort, encodeData(1, QByteArray(512, 'b')));
    QCOMPARE(peer.receive(), encodeAck(1));
    peer.sendTo(transferPort, encodeData(2, QByteArray(512, 'b')));
    expectError(peer, DiskFull);
    QVERIFY(server_->waitForLog(QStringLiteral("failed WRQ \"config.tgz\"")));
    QVERIFY(server_->log().contains(QStringLiteral("size limit")));
    expectArchiveIntact();
}

void TestTftpHostile::storedBytesCappedForTheServersLife()
{
    // Junk uploaded again and again cannot fill the disk: what the
    // completed uploads of the server's life add up to is capped.
    QVERIFY(startServer({QStringLiteral("--max-stored"), QStringLiteral("1000")}));
    const auto store = [this](const QByteArray& data) {
        RawPeer peer;  // each from a port of its own, or it would be a duplicate
        const quint16 transferPort = beginUpload(peer);
        if (transferPort == 0)
            return false;
        peer.sendTo(transferPort, encodeData(1, data));
        return peer.receive() == encodeAck(1) && server_->waitForLog(QStringLiteral("STORED %1 ").arg(data.size()));
    };
    QVERIFY(store(QByteArray(490, 'a')));
    // 510 bytes are left: an announced 511 is refused at once...
    RawPeer announced;
    announced.sendTo(server_->port(), wrq("config.tgz", {{"tsize", "511"}}));
    expectError(announced, DiskFull);
    QVERIFY(server_->waitForLog(QStringLiteral("exceeds the 510 bytes this server may still store")));
    // ...and one that announces nothing is cut where the room ends.
    RawPeer unannounced;
    const quint16 transferPort = beginUpload(unannounced);
    QVERIFY(transferPort != 0);
    unannounced.sendTo(transferPort, encodeData(1, QByteArray(512, 'x')));
    expectError(unannounced, DiskFull);
    QVERIFY(server_->waitForLog(QStringLiteral("failed WRQ \"config.tgz\"")));
    QCOMPARE(readFile(root_ + QStringLiteral("/config.tgz")), QByteArray(490, 'a'));
    // What fits is stored; after it, nothing more.
    QVERIFY(store(QByteArray(510, 'b')));
    RawPeer late;
    late.sendTo(server_->port(), wrq("config.tgz"));
    expectError(late, DiskFull);
    QVERIFY(server_->waitForLog(QStringLiteral("this server has stored the 1000 bytes it may store")));
    QCOMPARE(readFile(root_ + QStringLiteral("/config.tgz")), QByteArray(510, 'b'));
    QCOMPARE(entries(root_), (QStringList{QStringLiteral("backups"), QStringLiteral("config.tgz")}));
    QCOMPARE(QDir(root_ + QStringLiteral("/backups")).entryList(QDir::Files).size(), 2);
}

void TestTftpHostile::shorterThanAnnouncedTsize()
{
    QVERIFY(startServer());
    RawPeer peer;
    peer.sendTo(server_->port(), wrq("config.tgz", {{"tsize", "1000"}}));
    quint16 transferPort = 0;
    QCOMPARE(peer.receive(2000, &transferPort), raw("\0\6tsize\0" "1000\0"));
    peer.sendTo(transferPort, encodeData(1, QByteArray(512, 't')));
    QCOMPARE(peer.receive(), encodeAck(1));
    peer.sendTo(transferPort, encodeData(2, QByteArray(88, 't')));  // ends at 600 bytes
    expectError(peer, IllegalOperation);
    QVERIFY(server_->waitForLog(QStringLiteral("failed WRQ \"config.tgz\"")));
    QVERIFY(server_->log().contains(QStringLiteral("announced")));
    expectArchiveIntact();
}

void TestTftpHostile::greedyReadersShareTheMemoryBudget()
{
    constexpr int Slots = 10;
    QVERIFY(startServer({}, "MemoryBudgetBytes=1048576\nMaxTransfers=10\n"));
    const QByteArray greedy = Packet::request(Opcode::Rrq, "config.tgz", Mode::Octet,
                                              {{"blksize", "65464"}, {"windowsize", "64"}}).encode();
    // 1 MiB for ten slots: the first gets a window of 4 of its 64 KiB
    // blocks, the others ever smaller grants, and all are served.
    std::vector<std::unique_ptr<RawPeer>> peers;
    for (int i = 0; i < Slots; ++i) {
        peers.push_back(std::make_unique<RawPeer>());
        peers.back()->sendTo(server_->port(), greedy);
        const std::optional<Packet> oack = decodePacket(peers.back()->receive());
        QVERIFY(oack && oack->opcode == Opcode::Oack);
        const int blksize = oack->optionValue("blksize").toInt();
        const int windowsize = oack->optionValue("windowsize").toInt();
        if (i == 0)
            QCOMPARE(qMakePair(blksize, windowsize), qMakePair(65464, 4));
        QVERIFY(qint64(blksize) * windowsize <= 4 * 65464);
        QVERIFY(blksize >= 512);
    }
    QVERIFY(server_->log().contains(QStringLiteral("to fit the memory budget")));
}

void TestTftpHostile::concurrentWriteOfSameFileRefused()
{
    QVERIFY(startServer());
    RawPeer first;
    RawPeer second(QHostAddress(QStringLiteral("127.0.0.2")));  // another controller
    const quint16 transferPort = beginUpload(first);
    QVERIFY(transferPort != 0);
    second.sendTo(server_->port(), wrq("config.tgz"));
    expectError(second, AccessViolation);
    first.sendTo(transferPort, encodeData(1, "new archive"));
    QCOMPARE(first.receive(), encodeAck(1));
    QVERIFY(server_->waitForLog(QStringLiteral("finished WRQ")));
    QCOMPARE(readFile(root_ + QStringLiteral("/config.tgz")), QByteArray("new archive"));
    QVERIFY(server_->log().contains(QStringLiteral(" STORED 11 %1 127.0.0.1 %2/config.tgz\n")
        .arg(QString::fromLatin1(QCryptographicHash::hash("new archive", QCryptographicHash::Sha256).toHex()), root_)));
    // The one it replaced is kept.
    const QStringList backups = QDir(root_ + QStringLiteral("/backups")).entryList(QDir::Files);
    QCOMPARE(backups.size(), 1);
    QCOMPARE(readFile(root_ + QStringLiteral("/backups/") + backups.first()), PreviousArchive);
}

void TestTftpHostile::sameAddressSupersedesAbandonedUpload()
{
    QVERIFY(startServer());
    RawPeer abandoned;
    const quint16 oldPort = beginUpload(abandoned);
    QVERIFY(oldPort != 0);
    abandoned.sendTo(oldPort, encodeData(1, QByteArray(512, 'o')));
    QCOMPARE(abandoned.receive(), encodeAck(1));
    // The same controller starts over from a new port.
    RawPeer retry;
    const quint16 newPort = beginUpload(retry);
    QVERIFY(newPort != 0);
    expectError(abandoned, NotDefined);
    abandoned.sendTo(oldPort, encodeData(2, "old tail"));  // the old session is gone
    retry.sendTo(newPort, encodeData(1, "fresh"));
    QCOMPARE(retry.receive(), encodeAck(1));
    QVERIFY(server_->waitForLog(QStringLiteral("finished WRQ")));
    QVERIFY(server_->log().contains(QStringLiteral("superseded")));
    QCOMPARE(readFile(root_ + QStringLiteral("/config.tgz")), QByteArray("fresh"));
    QCOMPARE(entries(root_), (QStringList{QStringLiteral("backups"), QStringLiteral("config.tgz")}));
}

void TestTftpHostile::silenceCappedWhateverTheTimeoutOption()
{
    QVERIFY(startServer({}, "MaxSilenceMs=1500\n"));
    RawPeer peer;
    peer.sendTo(server_->port(), wrq("config.tgz", {{"timeout", "255"}}));
    QCOMPARE(peer.receive(), raw("\0\6timeout\0" "255\0"));
    // Then nothing: the upload ends after 1.5 s, not 255 s x tries.
    QVERIFY(server_->waitForLog(QStringLiteral("failed WRQ \"config.tgz\""), 6000));
    QVERIFY(server_->log().contains(QStringLiteral("without progress")));
    expectArchiveIntact();
    RawPeer next;
    QVERIFY(beginUpload(next) != 0);  // nobody is locked out any more
}

void TestTftpHostile::backupsKeepTheNewestTwenty()
{
    constexpr int Uploads = 23;
    constexpr int Kept = 20;
    QVERIFY(startServer());
    for (int i = 0; i < Uploads; ++i) {
        RawPeer peer;
        const quint16 transferPort = beginUpload(peer);
        QVERIFY(transferPort != 0);
        peer.sendTo(transferPort, encodeData(1, "upload " + QByteArray::number(i)));
        QCOMPARE(peer.receive(), encodeAck(1));
    }
    QCOMPARE(readFile(root_ + QStringLiteral("/config.tgz")), "upload " + QByteArray::number(Uploads - 1));
    const QString folder = root_ + QStringLiteral("/backups/");
    const QStringList backups = QDir(folder).entryList(QDir::Files, QDir::Name);
    QCOMPARE(backups.size(), Kept);
    // Oldest kept first: the copies of uploads Uploads-1-Kept ... Uploads-2.
    QCOMPARE(readFile(folder + backups.first()), "upload " + QByteArray::number(Uploads - 1 - Kept));
    QCOMPARE(readFile(folder + backups.last()), "upload " + QByteArray::number(Uploads - 2));
}

void TestTftpHostile::leftoverTemporaryFilesSwept()
{
    QVERIFY(writeFile(root_ + QStringLiteral("/.tftp-part-config.tgz-AbC123"), "half an upload"));
    QVERIFY(startServer());
    QVERIFY(server_->waitForLog(QStringLiteral("removed leftover temporary file")));
    expectArchiveIntact();
}

void TestTftpHostile::secondInstanceLeavesRunningUploadAlone()
{
    // Two more servers start while the upload waits; on a slow machine that
    // takes longer than the test settings' retry budget, so this server
    // waits longer before resending or giving up.
    server_ = std::make_unique<ServerProcess>();
    QVERIFY(server_->start(root_, {}, "RetryTimeoutMs=1000\nRetryMaxTimeoutMs=4000\nRetryMaxTries=10\nDallyMs=500\n"));
    RawPeer peer;
    const quint16 transferPort = beginUpload(peer);
    QVERIFY(transferPort != 0);
    peer.sendTo(transferPort, encodeData(1, QByteArray(512, 'r')));
    QCOMPARE(peer.receive(), encodeAck(1));
    const QStringList temporary = QDir(root_).entryList({QStringLiteral(".tftp-part-*")}, QDir::Files | QDir::Hidden);
    QCOMPARE(temporary.size(), 1);
    // A second server on the same port fails to bind; one on another port
    // runs. Neither touches the running upload.
    QString output;
    QCOMPARE(runProgram(ServerProcess::programPath(),
                        {QStringLiteral("--port"), QString::number(server_->port()), QStringLiteral("--bind"),
                         QStringLiteral("127.0.0.1"), QStringLiteral("--root"), root_},
                        root_, 10000, &output), 1);
    QCOMPARE(QDir(root_).entryList({QStringLiteral(".tftp-part-*")}, QDir::Files | QDir::Hidden), temporary);
    ServerProcess other;
    QVERIFY(other.start(root_));
    QVERIFY(other.waitForLog(QStringLiteral("another live server")));
    QCOMPARE(QDir(root_).entryList({QStringLiteral(".tftp-part-*")}, QDir::Files | QDir::Hidden), temporary);
    peer.sendTo(transferPort, encodeData(2, "end"));
    // Resent acknowledgements of block 1 may still be queued.
    QByteArray reply = peer.receive();
    while (reply == encodeAck(1))
        reply = peer.receive();
    QCOMPARE(reply, encodeAck(2));
    QVERIFY(server_->waitForLog(QStringLiteral("finished WRQ")));
    QCOMPARE(readFile(root_ + QStringLiteral("/config.tgz")), QByteArray(512, 'r') + "end");
}

void TestTftpHostile::symbolicLinksRefused()
{
    const QString archive = root_ + QStringLiteral("/config.tgz");
    const QString outside = outer_->filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(outside));
    QVERIFY(QFile::remove(archive));
    QVERIFY(QFile::link(outer_->filePath(QStringLiteral("secret.txt")), archive));
    QVERIFY(startServer());
    RawPeer peer;
    peer.sendTo(server_->port(), Packet::request(Opcode::Rrq, "config.tgz", Mode::Octet).encode());
    expectError(peer, AccessViolation);
    QVERIFY(server_->waitForLog(QStringLiteral("symbolic link refused: %1").arg(archive)));
    peer.sendTo(server_->port(), wrq("config.tgz"));
    expectError(peer, AccessViolation);
    // A backups folder leading out of the served folder is not written through.
    QVERIFY(QFile::remove(archive));
    QVERIFY(writeFile(archive, PreviousArchive));
    QVERIFY(QFile::link(outside, root_ + QStringLiteral("/backups")));
    RawPeer writer;
    writer.sendTo(server_->port(), wrq("config.tgz"));
    expectError(writer, AccessViolation);
    QVERIFY(server_->waitForLog(QStringLiteral("symbolic link refused: %1/backups").arg(root_)));
    QCOMPARE(entries(outside), QStringList());
    QCOMPARE(readFile(archive), PreviousArchive);
}

QTEST_GUILESS_MAIN(TestTftpHostile)
#include "test_tftphostile.moc"
