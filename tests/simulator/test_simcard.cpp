// The card's path confinement, globbing and the shell line parser.

#include "card_copy.h"
#include "controller_harness.h"

#include "simulator/card.h"
#include "simulator/commandparser.h"

#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using tarvo::simulator::Card;
using tarvo::simulator::CardPath;
using tarvo::simulator::CommandParser;

class TestSimCard : public QObject {
    Q_OBJECT
private slots:
    void init();
    void dotDotStopsAtTheCardRoot();
    void absolutePathsAreOnTheCard();
    void symlinksResolveInsideTheCard();
    void symlinkLoopsEnd();
    void missingLastComponentIsACreatablePath();
    void globMatchesInByteOrder();
    void globSkipsDotFilesAndKeepsUnmatched();
    void parserQuotesAndSeparators();
    void parserRedirection();
    void parserSyntaxErrors();
    void shellCannotLeaveTheCard();
    void longListingShowsLinksAsOnTheCard();

private:
    std::unique_ptr<QTemporaryDir> outside_;
    std::unique_ptr<QTemporaryDir> cardDir_;
    QString card() const { return cardDir_->path(); }
};

void TestSimCard::init()
{
    outside_ = std::make_unique<QTemporaryDir>();
    cardDir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(copyTree(sampleCard(QStringLiteral("A")), card()));
    QFile secret(QDir(outside_->path()).filePath(QStringLiteral("secret")));
    QVERIFY(secret.open(QIODevice::WriteOnly));
    secret.write("outside");
}

void TestSimCard::dotDotStopsAtTheCardRoot()
{
    Card c(card());
    const CardPath p = c.resolve("/media", "../../../../zel/laser.conf");
    QCOMPARE(p.error, 0);
    QCOMPARE(p.path, QByteArray("/zel/laser.conf"));
    QVERIFY(p.exists);
    QCOMPARE(p.hostPath(), QDir(card()).filePath(QStringLiteral("zel/laser.conf")));
    QCOMPARE(c.resolve("/", "..").path, QByteArray("/"));
    QCOMPARE(c.resolve("/", "..").hostPath(), card());
}

void TestSimCard::absolutePathsAreOnTheCard()
{
    Card c(card());
    const QByteArray outside = QFile::encodeName(outside_->path()) + "/secret";
    const CardPath p = c.resolve("/", outside);
    QVERIFY(!p.exists);
    QVERIFY(p.hostPath().startsWith(card() + QLatin1Char('/')));
}

void TestSimCard::symlinksResolveInsideTheCard()
{
    Card c(card());
    const QByteArray root = QFile::encodeName(card());
    const QByteArray outside = QFile::encodeName(outside_->path());
    QCOMPARE(::symlink(outside.constData(), (root + "/media/abs").constData()), 0);
    QCOMPARE(::symlink("../../../../..", (root + "/media/up").constData()), 0);
    QCOMPARE(::symlink("/zel", (root + "/media/zel").constData()), 0);

    CardPath p = c.resolve("/", "media/abs/secret");
    QVERIFY(!p.exists);
    QVERIFY(p.hostPath().startsWith(card() + QLatin1Char('/')));
    p = c.resolve("/", "media/up");
    QCOMPARE(p.path, QByteArray("/"));
    p = c.resolve("/media", "zel/laser.conf");
    QCOMPARE(p.path, QByteArray("/zel/laser.conf"));
    QVERIFY(p.exists);
    // The link itself, not followed.
    p = c.resolve("/", "media/abs", false);
    QVERIFY(p.isSymLink);
    QCOMPARE(p.path, QByteArray("/media/abs"));
}

void TestSimCard::symlinkLoopsEnd()
{
    Card c(card());
    const QByteArray root = QFile::encodeName(card());
    QCOMPARE(::symlink("b", (root + "/media/a").constData()), 0);
    QCOMPARE(::symlink("a", (root + "/media/b").constData()), 0);
    QCOMPARE(c.resolve("/", "media/a/x").error, ELOOP);
}

void TestSimCard::missingLastComponentIsACreatablePath()
{
    Card c(card());
    CardPath p = c.resolve("/media", "new.txt");
    QCOMPARE(p.error, 0);
    QVERIFY(!p.exists);
    QCOMPARE(p.path, QByteArray("/media/new.txt"));
    QCOMPARE(p.parentPath(), QByteArray("/media"));
    QCOMPARE(c.resolve("/", "media/none/new.txt").error, ENOENT);
    QCOMPARE(c.resolve("/", "media/machine.conf/x").error, ENOTDIR);
}

void TestSimCard::globMatchesInByteOrder()
{
    Card c(card());
    QFile::copy(QDir(card()).filePath(QStringLiteral("zel/laser.conf")), QDir(card()).filePath(QStringLiteral("zel/Z.conf")));
    QCOMPARE(c.glob("/", "zel/*.conf"),
             (QList<QByteArray>{"zel/Z.conf", "zel/calibration.conf", "zel/laser.conf", "zel/motion.conf",
                                "zel/network.conf", "zel/safety.conf"}));
    QCOMPARE(c.glob("/media", "/zel/l*"), (QList<QByteArray>{"/zel/laser.conf"}));
    QCOMPARE(c.glob("/", "media/*/jobs"), (QList<QByteArray>{"media/prv_bmp/jobs", "media/sequences/jobs"}));
    QCOMPARE(c.glob("/", "zel/\\*.conf"), QList<QByteArray>{});
}

void TestSimCard::globSkipsDotFilesAndKeepsUnmatched()
{
    Card c(card());
    QFile hidden(QDir(card()).filePath(QStringLiteral("media/.hidden.conf")));
    QVERIFY(hidden.open(QIODevice::WriteOnly));
    hidden.close();
    QVERIFY(!c.glob("/", "media/*.conf").contains("media/.hidden.conf"));
    QVERIFY(c.glob("/", "media/.*.conf").contains("media/.hidden.conf"));
    QVERIFY(c.glob("/", "nothing/*.conf").isEmpty());
}

void TestSimCard::parserQuotesAndSeparators()
{
    auto r = CommandParser::parse("echo -ne '\\x00\\x00' \"a b\" c\\ d; test -d x;");
    QVERIFY(r.syntaxError.isEmpty());
    QCOMPARE(r.commands.size(), 2);
    QCOMPARE(r.commands[0].words.size(), 5);
    QCOMPARE(r.commands[0].words[2].first().text, QByteArray("\\x00\\x00"));
    QCOMPARE(r.commands[0].words[2].first().quoting, tarvo::simulator::WordPart::SingleQuoted);
    QCOMPARE(r.commands[0].words[3].first().text, QByteArray("a b"));
    QCOMPARE(r.commands[0].words[4].size(), 3);
    QCOMPARE(r.commands[1].words.size(), 3);
    r = CommandParser::parse("a && b || c # comment");
    QCOMPARE(r.commands.size(), 3);
    QCOMPARE(r.commands[1].link, tarvo::simulator::SimpleCommand::IfSuccess);
    QCOMPARE(r.commands[2].link, tarvo::simulator::SimpleCommand::IfFailure);
}

void TestSimCard::parserRedirection()
{
    auto r = CommandParser::parse("echo x >/dev/gpio0");
    QCOMPARE(r.commands.size(), 1);
    QVERIFY(r.commands[0].hasRedirect);
    QVERIFY(!r.commands[0].append);
    QCOMPARE(r.commands[0].redirectTarget.first().text, QByteArray("/dev/gpio0"));
    QCOMPARE(r.commands[0].words.size(), 2);
    r = CommandParser::parse("echo x >> log");
    QVERIFY(r.commands[0].append);
}

void TestSimCard::parserSyntaxErrors()
{
    QVERIFY(!CommandParser::parse("echo 'open").syntaxError.isEmpty());
    QVERIFY(!CommandParser::parse("echo \"open").syntaxError.isEmpty());
    QVERIFY(!CommandParser::parse("echo >").syntaxError.isEmpty());
    QVERIFY(!CommandParser::parse("&& echo").syntaxError.isEmpty());
    // Nothing of a line that does not parse runs.
    const auto r = CommandParser::parse("echo a; echo 'open");
    QVERIFY(!r.syntaxError.isEmpty());
    QVERIFY(r.commands.isEmpty());
}

void TestSimCard::shellCannotLeaveTheCard()
{
    ControllerHarness h;
    QVERIFY(h.connect());
    QVERIFY(h.login());
    const QByteArray outside = QFile::encodeName(outside_->path());
    QCOMPARE(h.command("cat " + outside + "/secret"),
             "cat: can't open '" + outside + "/secret': No such file or directory\r\n");
    h.command("cd ../../../..");
    QCOMPARE(h.command("pwd"), QByteArray("/\r\n"));
    QCOMPARE(h.command("ls"), QByteArray("media\r\nzel\r\n"));
    QVERIFY(::symlink(outside.constData(), QFile::encodeName(h.cardPath(QStringLiteral("media/out"))).constData()) == 0);
    h.command("mount -o remount /dev/mmcblk0p2 /zel");
    QCOMPARE(h.command("echo hacked > /media/out/secret"), QByteArray("sh: can't create /media/out/secret: nonexistent directory\r\n"));
    QFile secret(QDir(outside_->path()).filePath(QStringLiteral("secret")));
    QVERIFY(secret.open(QIODevice::ReadOnly));
    QCOMPARE(secret.readAll(), QByteArray("outside"));
    QCOMPARE(h.command("ls /media/out"), "ls: /media/out: No such file or directory\r\n");
}

void TestSimCard::longListingShowsLinksAsOnTheCard()
{
    ControllerHarness h;
    const QByteArray root = QFile::encodeName(h.cardDir.path());
    QCOMPARE(::symlink("laser.conf", (root + "/zel/rel").constData()), 0);
    QCOMPARE(::symlink("/media", (root + "/zel/abs").constData()), 0);
    QCOMPARE(::symlink((root + "/media/machine.conf").constData(), (root + "/zel/pc").constData()), 0);
    QVERIFY(h.connect());
    QVERIFY(h.login());
    const QByteArray out = h.command("ls -l /zel");
    QVERIFY(out.contains(" rel -> laser.conf\r\n"));
    QVERIFY(out.contains(" abs -> /media\r\n"));
    QVERIFY(out.contains(" pc -> /media/machine.conf\r\n"));
    QVERIFY(!out.contains(root));
    const QByteArray one = h.command("ls -l /zel/pc");
    QVERIFY2(one.endsWith(" /zel/pc -> /media/machine.conf\r\n"), one.constData());
}

QTEST_GUILESS_MAIN(TestSimCard)
#include "test_simcard.moc"
