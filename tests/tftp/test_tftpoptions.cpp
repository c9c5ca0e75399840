// Option negotiation edges, name rules, netascii, the backup copies and the
// hash of stored uploads.

#include "tftp/backupkeeper.h"
#include "tftp/blockreader.h"
#include "tftp/namepolicy.h"
#include "tftp/netasciidecoder.h"
#include "tftp/options.h"
#include "tftp/sha256.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace tarvo::tftp;

namespace {
template <size_t N>
QByteArray raw(const char (&s)[N])
{
    return QByteArray(s, N - 1);
}

ServerNegotiation negotiate(const QList<Option>& options, Opcode op = Opcode::Rrq, qint64 fileSize = 1000)
{
    return negotiateServerOptions(options, op, Mode::Octet, fileSize, ServerOptionLimits());
}
} // namespace

class TestTftpOptions : public QObject
{
    Q_OBJECT
private slots:
    void blksizeEdges_data();
    void blksizeEdges();
    void timeoutEdges_data();
    void timeoutEdges();
    void windowsizeCapped();
    void tsize();
    void unknownAndBadValuesIgnored();
    void serverLimitsApply();
    void clientChecksOack();
    void names_data();
    void names();
    void anyPlainName();
    void netasciiRoundTrip();
    void netasciiSplitCr();
    void backupsKeepNewest();
    void sha256AsQtHashesIt();
};

void TestTftpOptions::blksizeEdges_data()
{
    QTest::addColumn<QByteArray>("asked");
    QTest::addColumn<QByteArray>("answered");
    QTest::newRow("7 refused") << QByteArray("7") << QByteArray();
    QTest::newRow("8 accepted") << QByteArray("8") << QByteArray("8");
    QTest::newRow("1468") << QByteArray("1468") << QByteArray("1468");
    QTest::newRow("65464 accepted") << QByteArray("65464") << QByteArray("65464");
    QTest::newRow("65465 refused") << QByteArray("65465") << QByteArray();
    QTest::newRow("0 refused") << QByteArray("0") << QByteArray();
    QTest::newRow("negative") << QByteArray("-512") << QByteArray();
    QTest::newRow("huge") << QByteArray("99999999999999999999999") << QByteArray();
    QTest::newRow("text") << QByteArray("big") << QByteArray();
    QTest::newRow("plus") << QByteArray("+512") << QByteArray();
}

void TestTftpOptions::blksizeEdges()
{
    QFETCH(QByteArray, asked);
    QFETCH(QByteArray, answered);
    const ServerNegotiation n = negotiate({{"blksize", asked}});
    if (answered.isEmpty()) {
        QVERIFY(n.accepted.isEmpty());
        QCOMPARE(n.parameters.blksize, 512);
    } else {
        QCOMPARE(n.accepted.size(), 1);
        QCOMPARE(n.accepted[0].value, answered);
        QCOMPARE(n.parameters.blksize, answered.toInt());
    }
}

void TestTftpOptions::timeoutEdges_data()
{
    QTest::addColumn<QByteArray>("asked");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("0") << QByteArray("0") << false;
    QTest::newRow("1") << QByteArray("1") << true;
    QTest::newRow("255") << QByteArray("255") << true;
    QTest::newRow("256") << QByteArray("256") << false;
}

void TestTftpOptions::timeoutEdges()
{
    QFETCH(QByteArray, asked);
    QFETCH(bool, accepted);
    const ServerNegotiation n = negotiate({{"timeout", asked}});
    QCOMPARE(n.accepted.size(), accepted ? 1 : 0);
    QCOMPARE(n.parameters.timeoutSeconds, accepted ? asked.toInt() : 0);
}

void TestTftpOptions::windowsizeCapped()
{
    ServerNegotiation n = negotiate({{"windowsize", "16"}});
    QCOMPARE(n.parameters.windowsize, 16);
    n = negotiate({{"windowsize", "60000"}});
    QCOMPARE(n.accepted[0].value, QByteArray::number(ServerOptionLimits().maxWindowsize));
    QVERIFY(negotiate({{"windowsize", "0"}}).accepted.isEmpty());
    QVERIFY(negotiate({{"windowsize", "65536"}}).accepted.isEmpty());
}

void TestTftpOptions::tsize()
{
    ServerNegotiation n = negotiate({{"tsize", "0"}}, Opcode::Rrq, 123456);
    QCOMPARE(n.accepted.size(), 1);
    QCOMPARE(n.accepted[0].value, QByteArray("123456"));
    n = negotiate({{"tsize", "777"}}, Opcode::Wrq, -1);
    QCOMPARE(n.requestedTsize, 777);
    QCOMPARE(n.accepted[0].value, QByteArray("777"));
    n = negotiateServerOptions({{"tsize", "0"}}, Opcode::Rrq, Mode::Netascii, 10, ServerOptionLimits());
    QVERIFY(n.accepted.isEmpty());
}

void TestTftpOptions::unknownAndBadValuesIgnored()
{
    const ServerNegotiation n = negotiate({{"multicast", "1"}, {"blksize", "1024"}, {"utimeout", "5"},
                                           {"timeout", "x"}, {"windowsize", "4"}});
    QCOMPARE(n.accepted.size(), 2);
    QCOMPARE(n.accepted[0].name, QByteArray("blksize"));
    QCOMPARE(n.accepted[1].name, QByteArray("windowsize"));
}

void TestTftpOptions::serverLimitsApply()
{
    ServerOptionLimits limits;
    limits.maxBlksize = 1468;
    const ServerNegotiation n =
        negotiateServerOptions({{"blksize", "65464"}}, Opcode::Rrq, Mode::Octet, 0, limits);
    QCOMPARE(n.accepted[0].value, QByteArray("1468"));
}

void TestTftpOptions::clientChecksOack()
{
    const QList<Option> asked = {{"blksize", "1468"}, {"tsize", "0"}, {"windowsize", "8"}};
    QString why;
    std::optional<TransferParameters> p = acceptOack({{"blksize", "1024"}, {"tsize", "99"}}, asked, &why);
    QVERIFY(p);
    QCOMPARE(p->blksize, 1024);
    QCOMPARE(p->tsize, 99);
    QCOMPARE(p->windowsize, 1);
    QVERIFY(!acceptOack({{"blksize", "2048"}}, asked, &why));    // larger than asked
    QVERIFY(!acceptOack({{"blksize", "4"}}, asked, &why));       // below the minimum
    QVERIFY(!acceptOack({{"timeout", "5"}}, asked, &why));       // never asked
    QVERIFY(!acceptOack({{"windowsize", "9"}}, asked, &why));
    QVERIFY(!acceptOack({{"blksize", "abc"}}, asked, &why));
}

void TestTftpOptions::names_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("config.tgz") << QByteArray("config.tgz") << true;
    QTest::newRow("other name") << QByteArray("other.tgz") << false;
    QTest::newRow("traversal") << QByteArray("../config.tgz") << false;
    QTest::newRow("dotdot") << QByteArray("..") << false;
    QTest::newRow("absolute") << QByteArray("/etc/passwd") << false;
    QTest::newRow("windows absolute") << QByteArray("C:\\config.tgz") << false;
    QTest::newRow("backslash") << QByteArray("..\\config.tgz") << false;
    QTest::newRow("subfolder") << QByteArray("backups/config.tgz") << false;
    QTest::newRow("device") << QByteArray("CON") << false;
    QTest::newRow("device ext") << QByteArray("nul.tgz") << false;
    QTest::newRow("com1") << QByteArray("COM1") << false;
    QTest::newRow("hidden") << QByteArray(".config.tgz") << false;
    QTest::newRow("trailing dot") << QByteArray("config.tgz.") << false;
    QTest::newRow("control") << QByteArray("config\n.tgz") << false;
    QTest::newRow("bad utf8") << QByteArray("config\xff.tgz") << false;
    QTest::newRow("stream") << QByteArray("config.tgz:evil") << false;
}

void TestTftpOptions::names()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, accepted);
    QString reason;
    QCOMPARE(NamePolicy().accepts(name, &reason), accepted);
    QCOMPARE(reason.isEmpty(), accepted);
}

void TestTftpOptions::anyPlainName()
{
    const NamePolicy any({QStringLiteral("*")});
    QString reason;
    QVERIFY(any.accepts("file-001.bin", &reason));
    QVERIFY(!any.accepts("../file-001.bin", &reason));
    QVERIFY(!any.accepts("AUX", &reason));
}

void TestTftpOptions::netasciiRoundTrip()
{
    const QByteArray text("line one\nline\rtwo\r\n\n\rend");
    QBuffer source;
    source.setData(text);
    source.open(QIODevice::ReadOnly);
    BlockReader reader(&source, Mode::Netascii);
    QByteArray wire;
    QByteArray block;
    do {
        QVERIFY(reader.next(5, &block));
        wire += block;
    } while (block.size() == 5);
    QCOMPARE(wire, raw("line one\r\nline\r\0two\r\0\r\n\r\n\r\0end"));
    NetasciiDecoder decoder;
    QByteArray back;
    for (qsizetype i = 0; i < wire.size(); i += 3)
        back += decoder.decode(QByteArrayView(wire).sliced(i, qMin<qsizetype>(3, wire.size() - i)));
    back += decoder.finish();
    QCOMPARE(back, text);
}

void TestTftpOptions::netasciiSplitCr()
{
    NetasciiDecoder decoder;
    QCOMPARE(decoder.decode("ab\r"), QByteArray("ab"));
    QCOMPARE(decoder.decode("\ncd\r"), QByteArray("\ncd"));
    QCOMPARE(decoder.finish(), QByteArray("\r"));
}

void TestTftpOptions::backupsKeepNewest()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("config.tgz"));
    BackupKeeper keeper(3);
    QString error;
    QVERIFY(keeper.keepCopyOf(target, &error));  // nothing to keep yet
    // Copies the operator put there by hand are not the server's to prune or count.
    const QString folder = BackupKeeper::folderFor(target);
    const QStringList operatorFiles = {QStringLiteral("config-2019-03-01-before-repair.tgz"),
                                       QStringLiteral("config-20190301-101010-000-001-mine.tgz"),
                                       QStringLiteral("config-x.tgz")};
    QVERIFY(QDir().mkpath(folder));
    for (const QString& name : operatorFiles)
        QVERIFY(QFile(folder + QLatin1Char('/') + name).open(QIODevice::WriteOnly));
    for (int i = 0; i < 5; ++i) {
        QFile f(target);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::number(i));
        f.close();
        QVERIFY2(keeper.keepCopyOf(target, &error), qPrintable(error));
        QFile::remove(target);  // as the rename over it would
    }
    QStringList copies = QDir(folder).entryList(QDir::Files, QDir::Name);
    for (const QString& name : operatorFiles)
        QVERIFY2(copies.removeOne(name), qPrintable(name));
    QCOMPARE(copies.size(), 3);
    QFile newest(QDir(BackupKeeper::folderFor(target)).filePath(copies.last()));
    QVERIFY(newest.open(QIODevice::ReadOnly));
    QCOMPARE(newest.readAll(), QByteArray("4"));
}


void TestTftpOptions::sha256AsQtHashesIt()
{
    // Every length around the 64-byte chunk and the padding's edges, then a
    // long stream fed in pieces of random size, as blocks arrive.
    QByteArray data(70000, Qt::Uninitialized);
    QRandomGenerator gen(28);
    for (char& c : data)
        c = char(gen.bounded(256));
    for (qsizetype n = 0; n <= 200; ++n) {
        Sha256 ours;
        ours.addData(QByteArrayView(data).first(n));
        QCOMPARE(ours.result(), QCryptographicHash::hash(data.first(n), QCryptographicHash::Sha256));
    }
    Sha256 pieces;
    for (qsizetype at = 0; at < data.size();) {
        const qsizetype n = qMin<qsizetype>(gen.bounded(1500), data.size() - at);
        pieces.addData(QByteArrayView(data).sliced(at, n));
        at += n;
    }
    QCOMPARE(pieces.result(), QCryptographicHash::hash(data, QCryptographicHash::Sha256));
    Sha256 abc;
    abc.addData("abc");
    QCOMPARE(abc.result().toHex(), QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
}

QTEST_GUILESS_MAIN(TestTftpOptions)
#include "test_tftpoptions.moc"
