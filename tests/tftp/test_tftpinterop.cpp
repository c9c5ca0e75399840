// The real server program against TFTP clients from Debian that we did not
// write: tftp-hpa's tftp, atftp, curl and busybox. Every transfer must come
// out byte-identical and leave a finished line in the server's log.

#include "server_process.h"
#include "test_files.h"

#include <QDir>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {
constexpr qint64 MiB = 1024 * 1024;
// Past 65,535 blocks of 512 bytes, so the block number wraps.
constexpr qint64 RolloverBytes = 40 * MiB;
constexpr int ClientTimeoutMs = 60000;
const QString RemoteName = QStringLiteral("config.tgz");

struct ClientRun {
    QString program;
    QStringList arguments;
};

// The command line of one client for one transfer. blksize/windowsize 0: not asked.
ClientRun commandFor(const QString& client, bool put, const QString& local, quint16 port, int blksize,
                     int windowsize)
{
    const QString host = QStringLiteral("127.0.0.1");
    const QString portText = QString::number(port);
    if (client == QLatin1String("tftp-hpa")) {
        return {QStringLiteral("tftp"),
                {QStringLiteral("-m"), QStringLiteral("binary"), host, portText, QStringLiteral("-c"),
                 put ? QStringLiteral("put") : QStringLiteral("get"), put ? local : RemoteName,
                 put ? RemoteName : local}};
    }
    if (client == QLatin1String("atftp")) {
        QStringList args;
        if (blksize)
            args << QStringLiteral("--option") << QStringLiteral("blksize %1").arg(blksize);
        if (windowsize)
            args << QStringLiteral("--option") << QStringLiteral("windowsize %1").arg(windowsize);
        args << (put ? QStringLiteral("-p") : QStringLiteral("-g")) << QStringLiteral("-r") << RemoteName
             << QStringLiteral("-l") << local << host << portText;
        return {QStringLiteral("atftp"), args};
    }
    if (client == QLatin1String("curl")) {
        QStringList args = {QStringLiteral("-sS")};
        if (blksize)
            args << QStringLiteral("--tftp-blksize") << QString::number(blksize);
        if (put)
            args << QStringLiteral("-T") << local;
        else
            args << QStringLiteral("-o") << local;
        args << QStringLiteral("tftp://%1:%2/%3").arg(host, portText, RemoteName);
        return {QStringLiteral("curl"), args};
    }
    QStringList args = {QStringLiteral("tftp")};
    if (blksize)
        args << QStringLiteral("-b") << QString::number(blksize);
    args << (put ? QStringLiteral("-p") : QStringLiteral("-g")) << QStringLiteral("-l") << local
         << QStringLiteral("-r") << RemoteName << host << portText;
    return {QStringLiteral("busybox"), args};
}

int countOf(const QString& haystack, const QString& needle)
{
    return int(haystack.count(needle));
}
} // namespace

class TestTftpInterop : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void transfer_data();
    void transfer();
    void busyboxTsizeOverLimitRefusedAtOnce();
    void curlBlksizeEdges();

private:
    QTemporaryDir root_;
    QTemporaryDir local_;
    ServerProcess server_;
    QElapsedTimer clock_;
};

void TestTftpInterop::initTestCase()
{
    for (const char* program : {"tftp", "atftp", "curl", "busybox"}) {
        if (QStandardPaths::findExecutable(QLatin1String(program)).isEmpty())
            QFAIL(qPrintable(QStringLiteral("%1 is missing: apt-get install tftp-hpa atftp curl busybox")
                                 .arg(QLatin1String(program))));
    }
    QVERIFY(root_.isValid() && local_.isValid());
    QVERIFY2(server_.start(root_.path()), qPrintable(server_.log()));
    clock_.start();
}

void TestTftpInterop::cleanupTestCase()
{
    QCOMPARE(server_.terminate(), 0);
    qInfo("interop transfers took %lld ms", clock_.elapsed());
}

void TestTftpInterop::transfer_data()
{
    QTest::addColumn<QString>("client");
    QTest::addColumn<bool>("put");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("blksize");
    QTest::addColumn<int>("windowsize");
    const QStringList clients = {QStringLiteral("tftp-hpa"), QStringLiteral("atftp"), QStringLiteral("curl"),
                                 QStringLiteral("busybox")};
    const QList<qint64> sizes = {0, 511, 512, 513, MiB, RolloverBytes};
    for (const QString& client : clients) {
        for (bool put : {true, false}) {
            const char* dir = put ? "put" : "get";
            for (qint64 size : sizes)
                QTest::addRow("%s %s %lld", qPrintable(client), dir, size) << client << put << size << 0 << 0;
            if (client == QLatin1String("tftp-hpa"))
                continue;  // asks for no options
            for (qint64 size : {qint64(513), MiB})
                QTest::addRow("%s %s %lld blksize 1468", qPrintable(client), dir, size)
                    << client << put << size << 1468 << 0;
            if (client == QLatin1String("atftp")) {
                for (qint64 size : {qint64(0), qint64(1468 * 16), MiB, RolloverBytes})
                    QTest::addRow("atftp %s %lld blksize 1468 windowsize 16", dir, size)
                        << client << put << size << 1468 << 16;
                QTest::addRow("atftp %s 513 blksize 8", dir) << client << put << qint64(513) << 8 << 0;
                QTest::addRow("atftp %s 1 MiB blksize 65464", dir) << client << put << MiB << 65464 << 0;
                QTest::addRow("atftp %s 1 MiB windowsize 4", dir) << client << put << MiB << 0 << 4;
            }
        }
    }
}

void TestTftpInterop::transfer()
{
    QFETCH(QString, client);
    QFETCH(bool, put);
    QFETCH(qint64, size);
    QFETCH(int, blksize);
    QFETCH(int, windowsize);
    const QByteArray content = patternBytes(size, quint32(size * 7 + blksize + windowsize + (put ? 1 : 0)));
    const QString served = root_.filePath(RemoteName);
    const QString local = local_.filePath(QStringLiteral("local-%1").arg(client));
    QFile::remove(local);
    if (put)
        QVERIFY(writeFile(local, content));
    else
        QVERIFY(writeFile(served, content));
    const QString before = server_.log();
    const ClientRun run = commandFor(client, put, local, server_.port(), blksize, windowsize);
    QString output;
    const int code = runProgram(run.program, run.arguments, local_.path(), ClientTimeoutMs, &output);
    QVERIFY2(code == 0, qPrintable(QStringLiteral("exit %1: %2").arg(code).arg(output)));
    const QString finished = put ? QStringLiteral("finished WRQ") : QStringLiteral("finished RRQ");
    QTRY_VERIFY_WITH_TIMEOUT(countOf(server_.log(), finished) == countOf(before, finished) + 1, 5000);
    const QByteArray arrived = readFile(put ? served : local);
    QCOMPARE(arrived.size(), content.size());
    QVERIFY(arrived == content);
}

void TestTftpInterop::busyboxTsizeOverLimitRefusedAtOnce()
{
    QTemporaryDir root;
    ServerProcess small;
    QVERIFY(small.start(root.path(), {QStringLiteral("--max-size"), QStringLiteral("1000")}));
    QVERIFY(writeFile(root.filePath(RemoteName), "previous archive"));
    const QString local = local_.filePath(QStringLiteral("too-big"));
    QVERIFY(writeFile(local, patternBytes(5000, 9)));
    QElapsedTimer clock;
    clock.start();
    const ClientRun run = commandFor(QStringLiteral("busybox"), true, local, small.port(), 0, 0);
    QString output;
    const int code = runProgram(run.program, run.arguments, local_.path(), ClientTimeoutMs, &output);
    QVERIFY(code != 0);
    QVERIFY2(clock.elapsed() < 2000, "the refusal must come at once, not after a time-out");
    QVERIFY(small.waitForLog(QStringLiteral("error 3")));
    QVERIFY(small.log().contains(QStringLiteral("refused WRQ \"config.tgz\"")));
    QCOMPARE(readFile(root.filePath(RemoteName)), QByteArray("previous archive"));
    QCOMPARE(QDir(root.path()).entryList(QDir::Files | QDir::Hidden), QStringList{RemoteName});
    QCOMPARE(small.terminate(), 0);
}

void TestTftpInterop::curlBlksizeEdges()
{
    // curl itself refuses sizes outside 8..65464; what it sends must work.
    const QByteArray content = patternBytes(100000, 11);
    QVERIFY(writeFile(root_.filePath(RemoteName), content));
    for (int blksize : {8, 65464}) {
        const QString local = local_.filePath(QStringLiteral("curl-edge-%1").arg(blksize));
        const ClientRun run = commandFor(QStringLiteral("curl"), false, local, server_.port(), blksize, 0);
        QString output;
        QCOMPARE(runProgram(run.program, run.arguments, local_.path(), ClientTimeoutMs, &output), 0);
        QVERIFY(readFile(local) == content);
    }
}

QTEST_GUILESS_MAIN(TestTftpInterop)
#include "test_tftpinterop.moc"
