// The controller's two control surfaces in-process: the window (offscreen)
// and the stdin channel's commands.

#include "controller_harness.h"

#include "simulator/app/controlwindow.h"
#include "simulator/app/samplecards.h"
#include "simulator/app/stdincontrol.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

using tarvo::simulator::ControlWindow;
using tarvo::simulator::StdinControl;

class TestSimControls : public QObject {
    Q_OBJECT
private slots:
    void windowShowsStateAndSwapsCards();
    void stdinCommands();
    void sampleCardsFoundBesideInstalledOrInSource();
};

namespace {

QString label(QWidget& w, const char* name)
{
    auto* l = w.findChild<QLabel*>(QLatin1String(name));
    return l ? l->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
}

QPushButton* button(QWidget& w, const char* name)
{
    return w.findChild<QPushButton*>(QLatin1String(name));
}

}  // namespace

void TestSimControls::windowShowsStateAndSwapsCards()
{
    ControllerHarness h;
    ControlWindow w(*h.engine, 1138);
    w.show();
    QCOMPARE(label(w, "power"), QStringLiteral("on"));
    QCOMPARE(label(w, "link"), QStringLiteral("waiting on port 1138"));
    QCOMPARE(label(w, "login"), QStringLiteral("no"));
    QCOMPARE(label(w, "firmware"), QStringLiteral("laser.elf running"));
    QCOMPARE(label(w, "relay"), QStringLiteral("closed"));
    QCOMPARE(label(w, "card"), QDir(h.cardDir.path()).absolutePath());
    QVERIFY(button(w, "powerOff")->isEnabled());
    QVERIFY(!button(w, "replaceCard")->isEnabled());
    QVERIFY(!button(w, "blankCard")->isEnabled());

    QVERIFY(h.connect());
    QVERIFY(h.login());
    QCOMPARE(label(w, "link"), QStringLiteral("1 connection(s)"));
    QCOMPARE(label(w, "login"), QStringLiteral("yes (root)"));
    h.command("killall laser.elf");
    h.command("echo -ne '\\x00\\x00\\x00\\x00' > /dev/gpio0");
    h.command("mount -o remount /dev/mmcblk0p2 /zel");
    QCOMPARE(label(w, "firmware"), QStringLiteral("stopped"));
    QCOMPARE(label(w, "relay"), QStringLiteral("open"));
    QCOMPARE(label(w, "zel"), QStringLiteral("read-write"));

    QTest::mouseClick(button(w, "powerOff"), Qt::LeftButton);
    QVERIFY(h.closed);
    QCOMPARE(label(w, "power"), QStringLiteral("off"));
    QCOMPARE(label(w, "link"), QStringLiteral("no power, port 1138 closed"));
    QVERIFY(button(w, "blankCard")->isEnabled());
    QVERIFY(button(w, "replaceCard")->isEnabled());
    QTest::mouseClick(button(w, "blankCard"), Qt::LeftButton);
    QVERIFY(label(w, "card") != QDir(h.cardDir.path()).absolutePath());
    QVERIFY(QFileInfo(label(w, "card") + QStringLiteral("/zel")).isDir());
    auto* tree = w.findChild<QTreeView*>(QStringLiteral("files"));
    QVERIFY(tree);
    QTest::mouseClick(button(w, "powerOn"), Qt::LeftButton);
    QCOMPARE(label(w, "power"), QStringLiteral("on"));
    QCOMPARE(label(w, "firmware"), QStringLiteral("laser.elf running"));
    QCOMPARE(label(w, "relay"), QStringLiteral("closed"));
    QCOMPARE(label(w, "zel"), QStringLiteral("read-only"));
    if (!qEnvironmentVariableIsEmpty("SIM_WINDOW_SHOT"))
        w.grab().save(qEnvironmentVariable("SIM_WINDOW_SHOT"));
}

void TestSimControls::stdinCommands()
{
    ControllerHarness h;
    StdinControl control(*h.engine);
    QVERIFY(control.handle(QStringLiteral("status")).startsWith(QStringLiteral("status: power=on connections=0")));
    QCOMPARE(control.handle(QStringLiteral("card blank")), QStringLiteral("error: power off first"));
    QCOMPARE(control.handle(QStringLiteral("power off")), QStringLiteral("ok power off"));
    QCOMPARE(control.handle(QStringLiteral("card /no/such/folder")), QStringLiteral("error: no such folder: /no/such/folder"));
    QTemporaryDir other;
    QCOMPARE(control.handle(QStringLiteral("card ") + other.path()), QStringLiteral("ok card ") + other.path());
    QVERIFY(control.handle(QStringLiteral("card blank")).startsWith(QStringLiteral("ok card ")));
    QCOMPARE(control.handle(QStringLiteral("files")), QStringLiteral("files: 0\nend"));
    QCOMPARE(control.handle(QStringLiteral("power on")), QStringLiteral("ok power on"));
    QVERIFY(control.handle(QStringLiteral("help")).contains(QStringLiteral("card blank")));
    QCOMPARE(control.handle(QStringLiteral("explode")), QStringLiteral("error: unknown command: explode"));
}

void TestSimControls::sampleCardsFoundBesideInstalledOrInSource()
{
    QTemporaryDir top;
    QDir root(top.path());
    QVERIFY(root.mkpath(QStringLiteral("bin")));
    const QString bin = root.filePath(QStringLiteral("bin"));
    QCOMPARE(tarvo::simulator::sampleCardsFolder(bin), QString());
    QVERIFY(root.mkpath(QStringLiteral("simulator/cards")));  // a source tree, from build/bin or bin
    QCOMPARE(tarvo::simulator::sampleCardsFolder(bin), root.filePath(QStringLiteral("simulator/cards")));
    QVERIFY(root.mkpath(QStringLiteral("share/tarvo-config-updater/cards")));
    QCOMPARE(tarvo::simulator::sampleCardsFolder(bin), root.filePath(QStringLiteral("share/tarvo-config-updater/cards")));
    QVERIFY(root.mkpath(QStringLiteral("bin/controller-sim-cards")));
    QCOMPARE(tarvo::simulator::sampleCardsFolder(bin), root.filePath(QStringLiteral("bin/controller-sim-cards")));
}

QTEST_MAIN(TestSimControls)
#include "test_simcontrols.moc"
