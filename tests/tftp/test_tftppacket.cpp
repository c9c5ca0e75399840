// Packet codec: round trips, and strict refusal of malformed datagrams.

#include "tftp/packet.h"

#include <QRandomGenerator>
#include <QTest>

using namespace tarvo::tftp;

namespace {
template <size_t N>
QByteArray raw(const char (&s)[N])
{
    return QByteArray(s, N - 1);
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}
} // namespace

class TestTftpPacket : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void wireFormat();
    void malformed_data();
    void malformed();
    void optionNamesAreCaseInsensitive();
    void unknownRequestOptionsIgnored();
    void largestData();
    void randomBytesNeverCrash();
};

void TestTftpPacket::roundTrip_data()
{
    QTest::addColumn<QByteArray>("encoded");
    QTest::newRow("rrq") << Packet::request(Opcode::Rrq, "config.tgz", Mode::Octet).encode();
    QTest::newRow("wrq netascii") << Packet::request(Opcode::Wrq, "a.txt", Mode::Netascii).encode();
    QTest::newRow("rrq options") << Packet::request(Opcode::Rrq, "config.tgz", Mode::Octet,
                                                    {{"blksize", "1468"}, {"tsize", "0"}, {"windowsize", "16"}})
                                        .encode();
    QTest::newRow("data empty") << Packet::dataBlock(1, {}).encode();
    QTest::newRow("data 512") << Packet::dataBlock(65535, QByteArray(512, 'x')).encode();
    QTest::newRow("ack 0") << Packet::ack(0).encode();
    QTest::newRow("error") << Packet::error(FileNotFound, "file not found").encode();
    QTest::newRow("error empty text") << Packet::error(NotDefined, "").encode();
    QTest::newRow("oack") << Packet::oack({{"blksize", "8"}}).encode();
}

void TestTftpPacket::roundTrip()
{
    QFETCH(QByteArray, encoded);
    QString error;
    const std::optional<Packet> p = decodePacket(encoded, &error);
    QVERIFY2(p, qPrintable(error));
    QCOMPARE(p->encode(), encoded);
}

void TestTftpPacket::wireFormat()
{
    QCOMPARE(Packet::request(Opcode::Rrq, "f", Mode::Octet, {{"tsize", "0"}}).encode(),
             raw("\0\1f\0octet\0tsize\0" "0\0"));
    QCOMPARE(encodeAck(258), bytes({0, 4, 1, 2}));
    QCOMPARE(encodeData(1, "ab"), bytes({0, 3, 0, 1, 'a', 'b'}));
    QCOMPARE(encodeError(5, "x"), bytes({0, 5, 0, 5, 'x', 0}));
    QCOMPARE(Packet::oack({{"blksize", "8"}}).encode(), raw("\0\6blksize\0" "8\0"));
}

void TestTftpPacket::malformed_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one byte") << bytes({0});
    QTest::newRow("opcode 0") << bytes({0, 0, 'a', 0});
    QTest::newRow("opcode 7") << bytes({0, 7, 0, 0});
    QTest::newRow("opcode 0xffff") << bytes({0xff, 0xff});
    QTest::newRow("rrq bare") << bytes({0, 1});
    QTest::newRow("rrq no nul") << raw("\0\1config.tgz");
    QTest::newRow("rrq no mode") << raw("\0\1config.tgz\0");
    QTest::newRow("rrq mode no nul") << raw("\0\1config.tgz\0octet");
    QTest::newRow("rrq empty name") << raw("\0\1\0octet\0");
    QTest::newRow("rrq mail mode") << raw("\0\1f\0mail\0");
    QTest::newRow("rrq bad mode") << raw("\0\1f\0binary\0");
    QTest::newRow("rrq option no value") << raw("\0\1f\0octet\0blksize\0");
    QTest::newRow("rrq option value no nul") << raw("\0\1f\0octet\0blksize\0" "512");
    QTest::newRow("rrq empty option name") << raw("\0\1f\0octet\0\0" "5\0");
    QTest::newRow("rrq duplicate option")
        << raw("\0\1f\0octet\0blksize\0" "512\0BLKSIZE\0" "1024\0");
    QTest::newRow("rrq long name") << raw("\0\1") + QByteArray(256, 'a') + raw("\0octet\0");
    QTest::newRow("rrq long value")
        << raw("\0\1f\0octet\0blksize\0") + QByteArray(100, '9') + QByteArray(1, '\0');
    QTest::newRow("rrq duplicate known option") << raw("\0\1f\0octet\0tsize\0" "0\0TSize\0" "0\0");
    QTest::newRow("data truncated") << bytes({0, 3, 0});
    QTest::newRow("data too large") << bytes({0, 3, 0, 1}) + QByteArray(65465, 'x');
    QTest::newRow("ack truncated") << bytes({0, 4, 0});
    QTest::newRow("ack oversized") << bytes({0, 4, 0, 1, 0});
    QTest::newRow("error truncated") << bytes({0, 5, 0, 1});
    QTest::newRow("error no nul") << bytes({0, 5, 0, 1, 'x'});
    QTest::newRow("error bytes after nul") << bytes({0, 5, 0, 1, 'x', 0, 'y'});
    QTest::newRow("oack empty") << bytes({0, 6});
    QTest::newRow("oack no value") << raw("\0\6blksize\0");
}

void TestTftpPacket::malformed()
{
    QFETCH(QByteArray, datagram);
    QString error;
    QVERIFY(!decodePacket(datagram, &error));
    QVERIFY(!error.isEmpty());
}

void TestTftpPacket::optionNamesAreCaseInsensitive()
{
    const std::optional<Packet> p = decodePacket(raw("\0\2f\0OCTET\0BlkSize\0" "1024\0"));
    QVERIFY(p);
    QCOMPARE(p->opcode, Opcode::Wrq);
    QCOMPARE(p->mode, Mode::Octet);
    QCOMPARE(p->optionValue("blksize"), QByteArray("1024"));
}

void TestTftpPacket::unknownRequestOptionsIgnored()
{
    // RFC 2347: a server ignores options it does not know, however many
    // and however long; the limits hold for the ones it knows.
    QByteArray wrq("\0\2config.tgz\0octet\0", 19);
    for (int i = 0; i < 100; ++i)
        wrq += "vendor" + QByteArray::number(i) + '\0' + QByteArray(i, 'v') + '\0';
    wrq += QByteArray(1000, 'x') + '\0' + QByteArray(1000, 'y') + '\0';
    wrq += QByteArray("vendor0\0again\0blksize\0" "1024\0", 27);
    QString why;
    const std::optional<Packet> p = decodePacket(wrq, &why);
    QVERIFY2(p, qPrintable(why));
    QCOMPARE(p->options.size(), 1);
    QCOMPARE(p->options.first().name, QByteArray("blksize"));
    QCOMPARE(p->options.first().value, QByteArray("1024"));
}

void TestTftpPacket::largestData()
{
    const QByteArray d = encodeData(7, QByteArray(65464, 'z'));
    const std::optional<Packet> p = decodePacket(d);
    QVERIFY(p);
    QCOMPARE(p->data.size(), 65464);
    QCOMPARE(p->block, quint16(7));
}

void TestTftpPacket::randomBytesNeverCrash()
{
    // Meant to run under the sanitizer build too: whatever the bytes, a
    // clean answer either way.
    QRandomGenerator gen(1234);
    for (int i = 0; i < 20000; ++i) {
        QByteArray d(int(gen.bounded(40)), Qt::Uninitialized);
        for (char& c : d)
            c = char(gen.bounded(8) == 0 ? 0 : gen.bounded(256));
        if (d.size() >= 2) {
            d[0] = 0;
            d[1] = char(gen.bounded(8));
        }
        QString error;
        const std::optional<Packet> p = decodePacket(d, &error);
        QVERIFY(p || !error.isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestTftpPacket)
#include "test_tftppacket.moc"
