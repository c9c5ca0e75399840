// Option negotiation as seen on the wire from the real program: the exact
// bytes of each OACK, refused values, and the lock-step rules (no duplicate
// DATA for a duplicate ACK, error 5 for a stranger).

#include "raw_peer.h"
#include "server_process.h"
#include "test_files.h"

#include "tftp/packet.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

using namespace tarvo::tftp;

namespace {
template <size_t N>
QByteArray raw(const char (&s)[N])
{
    return QByteArray(s, N - 1);
}

constexpr qint64 FileBytes = 1300;  // three blocks of 512: 512, 512, 276
// Resends 400 ms after silence: far from the 120 ms in which the tests
// below expect none, and from the one second a timeout option asks for.
const QByteArray Settings("RetryTimeoutMs=400\nRetryMaxTries=5\nDallyMs=500\n");
constexpr int QuietMs = 120;

QByteArray rrq(const QList<Option>& options)
{
    return Packet::request(Opcode::Rrq, "config.tgz", Mode::Octet, options).encode();
}
} // namespace

class TestTftpOptionEdges : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void oackBytes_data();
    void oackBytes();
    void refusedOptionsMeanPlainTransfer_data();
    void refusedOptionsMeanPlainTransfer();
    void smallestAndLargestBlocks();
    void duplicateAckSendsNothing();
    void strangerGetsErrorFive();
    void writeTsizeOverLimit();
    void timeoutOptionSetsTheWait();
    void netascii();

private:
    QTemporaryDir root_;
    ServerProcess server_;
    QByteArray content_;
};

void TestTftpOptionEdges::initTestCase()
{
    content_ = patternBytes(FileBytes, 3);
    QVERIFY(writeFile(root_.filePath(QStringLiteral("config.tgz")), content_));
    QVERIFY(server_.start(root_.path(), {QStringLiteral("--max-size"), QStringLiteral("100000")}, Settings));
}

void TestTftpOptionEdges::cleanupTestCase()
{
    QCOMPARE(server_.terminate(), 0);
}

void TestTftpOptionEdges::oackBytes_data()
{
    QTest::addColumn<QList<Option>>("asked");
    QTest::addColumn<QByteArray>("oack");
    QTest::newRow("blksize 8") << QList<Option>{{"blksize", "8"}} << raw("\0\6blksize\0" "8\0");
    QTest::newRow("blksize 65464") << QList<Option>{{"blksize", "65464"}} << raw("\0\6blksize\0" "65464\0");
    QTest::newRow("timeout 1") << QList<Option>{{"timeout", "1"}} << raw("\0\6timeout\0" "1\0");
    QTest::newRow("timeout 255") << QList<Option>{{"timeout", "255"}} << raw("\0\6timeout\0" "255\0");
    QTest::newRow("tsize") << QList<Option>{{"tsize", "0"}} << raw("\0\6tsize\0" "1300\0");
    QTest::newRow("only the accepted ones")
        << QList<Option>{{"blksize", "7"}, {"tsize", "0"}, {"timeout", "0"}, {"windowsize", "4"},
                         {"multicast", ""}, {"foo", "bar"}}
        << raw("\0\6tsize\0" "1300\0windowsize\0" "4\0");
    QTest::newRow("upper case asked") << QList<Option>{{"BLKSIZE", "1024"}} << raw("\0\6blksize\0" "1024\0");
}

void TestTftpOptionEdges::oackBytes()
{
    QFETCH(QList<Option>, asked);
    QFETCH(QByteArray, oack);
    RawPeer peer;
    peer.sendTo(server_.port(), rrq(asked));
    quint16 transferPort = 0;
    QCOMPARE(peer.receive(2000, &transferPort), oack);
    QVERIFY(transferPort != server_.port());
    peer.sendTo(transferPort, encodeError(0, "enough"));
}

void TestTftpOptionEdges::refusedOptionsMeanPlainTransfer_data()
{
    QTest::addColumn<QList<Option>>("asked");
    QTest::newRow("blksize 7") << QList<Option>{{"blksize", "7"}};
    QTest::newRow("blksize 65465") << QList<Option>{{"blksize", "65465"}};
    QTest::newRow("blksize absurd") << QList<Option>{{"blksize", "99999999999999999"}};
    QTest::newRow("timeout 0") << QList<Option>{{"timeout", "0"}};
    QTest::newRow("timeout 256") << QList<Option>{{"timeout", "256"}};
    QTest::newRow("windowsize 0") << QList<Option>{{"windowsize", "0"}};
    QTest::newRow("unknown") << QList<Option>{{"rollover", "1"}};
}

void TestTftpOptionEdges::refusedOptionsMeanPlainTransfer()
{
    QFETCH(QList<Option>, asked);
    RawPeer peer;
    peer.sendTo(server_.port(), rrq(asked));
    quint16 transferPort = 0;
    // Nothing accepted: no OACK, the data starts at once in 512-byte blocks.
    QCOMPARE(peer.receive(2000, &transferPort), encodeData(1, content_.first(512)));
    peer.sendTo(transferPort, encodeError(0, "enough"));
}

void TestTftpOptionEdges::smallestAndLargestBlocks()
{
    for (int blksize : {8, 65464}) {
        RawPeer peer;
        peer.sendTo(server_.port(), rrq({{"blksize", QByteArray::number(blksize)}}));
        quint16 transferPort = 0;
        QVERIFY(!peer.receive(2000, &transferPort).isEmpty());
        QByteArray received;
        for (quint16 block = 0;; ++block) {
            peer.sendTo(transferPort, encodeAck(block));
            const std::optional<Packet> p = decodePacket(peer.receive());
            QVERIFY(p && p->opcode == Opcode::Data);
            QCOMPARE(p->block, quint16(block + 1));
            received += p->data;
            if (p->data.size() < blksize) {
                peer.sendTo(transferPort, encodeAck(p->block));
                break;
            }
            QCOMPARE(p->data.size(), blksize);
        }
        QCOMPARE(received, content_);
    }
}

void TestTftpOptionEdges::duplicateAckSendsNothing()
{
    RawPeer peer;
    peer.sendTo(server_.port(), rrq({}));
    quint16 transferPort = 0;
    QCOMPARE(peer.receive(2000, &transferPort), encodeData(1, content_.first(512)));
    peer.sendTo(transferPort, encodeAck(1));
    peer.sendTo(transferPort, encodeAck(1));
    QCOMPARE(peer.receive(), encodeData(2, content_.sliced(512, 512)));
    // A second DATA 2 now would be the Sorcerer's Apprentice; the server's
    // first retransmission is 400 ms away.
    QCOMPARE(peer.receive(QuietMs), QByteArray());
    peer.sendTo(transferPort, encodeAck(2));
    QCOMPARE(peer.receive(), encodeData(3, content_.sliced(1024)));
    peer.sendTo(transferPort, encodeAck(3));
    QVERIFY(server_.waitForLog(QStringLiteral("finished RRQ \"config.tgz\" to 127.0.0.1:%1").arg(peer.port())));
}

void TestTftpOptionEdges::strangerGetsErrorFive()
{
    RawPeer peer;
    RawPeer stranger;
    peer.sendTo(server_.port(), rrq({}));
    quint16 transferPort = 0;
    QCOMPARE(peer.receive(2000, &transferPort), encodeData(1, content_.first(512)));
    stranger.sendTo(transferPort, encodeAck(1));
    const std::optional<Packet> error = decodePacket(stranger.receive());
    QVERIFY(error && error->opcode == Opcode::Error);
    QCOMPARE(error->errorCode, quint16(UnknownTransferId));
    // The stranger's ACK moved nothing: the transfer goes on with its owner.
    QCOMPARE(peer.receive(QuietMs), QByteArray());
    peer.sendTo(transferPort, encodeAck(1));
    QCOMPARE(peer.receive(), encodeData(2, content_.sliced(512, 512)));
    peer.sendTo(transferPort, encodeError(0, "enough"));
}

void TestTftpOptionEdges::writeTsizeOverLimit()
{
    RawPeer peer;
    peer.sendTo(server_.port(),
                Packet::request(Opcode::Wrq, "config.tgz", Mode::Octet, {{"tsize", "100001"}}).encode());
    const std::optional<Packet> reply = decodePacket(peer.receive(500));
    QVERIFY(reply && reply->opcode == Opcode::Error);
    QCOMPARE(reply->errorCode, quint16(DiskFull));
    QVERIFY(server_.waitForLog(QStringLiteral("refused WRQ \"config.tgz\" from 127.0.0.1:%1: error 3").arg(peer.port())));
    QVERIFY(readFile(root_.filePath(QStringLiteral("config.tgz"))) == content_);
}

void TestTftpOptionEdges::timeoutOptionSetsTheWait()
{
    // The test settings make the server resend after 400 ms; a client that
    // asks for timeout 1 gets one second.
    RawPeer peer;
    peer.sendTo(server_.port(), rrq({{"timeout", "1"}}));
    quint16 transferPort = 0;
    const QByteArray oack = peer.receive(2000, &transferPort);
    QCOMPARE(oack, raw("\0\6timeout\0" "1\0"));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(peer.receive(3000), oack);
    QVERIFY2(clock.elapsed() >= 800, qPrintable(QString::number(clock.elapsed())));
    peer.sendTo(transferPort, encodeError(0, "enough"));
}

void TestTftpOptionEdges::netascii()
{
    QTemporaryDir root;
    QVERIFY(writeFile(root.filePath(QStringLiteral("config.tgz")), "one\ntwo\rthree\n"));
    ServerProcess server;
    QVERIFY(server.start(root.path(), {}, Settings));
    RawPeer reader;
    reader.sendTo(server.port(), Packet::request(Opcode::Rrq, "config.tgz", Mode::Netascii).encode());
    quint16 transferPort = 0;
    QCOMPARE(reader.receive(2000, &transferPort), encodeData(1, raw("one\r\ntwo\r\0three\r\n")));
    reader.sendTo(transferPort, encodeAck(1));

    RawPeer writer;
    writer.sendTo(server.port(), Packet::request(Opcode::Wrq, "config.tgz", Mode::Netascii).encode());
    QCOMPARE(writer.receive(2000, &transferPort), encodeAck(0));
    writer.sendTo(transferPort, encodeData(1, raw("a\r\nb\r\0c\r")));
    QCOMPARE(writer.receive(), encodeAck(1));
    QVERIFY(server.waitForLog(QStringLiteral("finished WRQ")));
    QCOMPARE(readFile(root.filePath(QStringLiteral("config.tgz"))), QByteArray("a\nb\rc\r"));
    QCOMPARE(server.terminate(), 0);
}

QTEST_GUILESS_MAIN(TestTftpOptionEdges)
#include "test_tftpoptionedges.moc"
