// A whole backup and a whole restore over loopback with the real tool
// (window offscreen), the real simulator and the real TFTP server: wall
// time against the least that the fixed pauses allow (goal: within 3 %),
// and the processor time the tool itself spent (goal: under 1 % of wall).
#include "card_copy.h"
#include "loopback_tool.h"

#include "platform/qt_platform.h"
#include "window/main_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>

#include <sys/resource.h>

#include <cstdio>

namespace {

// Least time of one run when every answer comes at once: login (1 s wait,
// one prompt attempt, the user name, a 2 s status step), the firmware's
// 5 s, the relay's 2 s status step, and the transfer's five 2 s status
// steps and two 0.5 s plain steps.
constexpr double kLeastRunSeconds = (1.0 + 0.5 + 0.5 + 2.0) + 5.0 + 2.0 + (5 * 2.0 + 2 * 0.5);

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void report(const char* what, double wall, double cpu, bool ok)
{
    std::printf("%-8s %s: wall %.3f s, least %.1f s, ratio %.4f (%+.2f %%), tool cpu %.3f s (%.3f %% of wall)\n",
                what, ok ? "ok" : "FAILED", wall, kLeastRunSeconds, wall / kLeastRunSeconds,
                (wall / kLeastRunSeconds - 1) * 100, cpu, cpu / wall * 100);
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir cards, config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    tarvo::test::ProgramFolder program;
    const QString cardA = cards.filePath(QStringLiteral("A"));
    const QString cardB = cards.filePath(QStringLiteral("B"));
    if (!program.stage() || !copyTree(sampleCard(QStringLiteral("A")), cardA)
        || !copyTree(sampleCard(QStringLiteral("B")), cardB)) {
        std::fprintf(stderr, "cannot stage the programs and cards (is everything built?)\n");
        return 1;
    }
    const QString controller = QStringLiteral("127.0.0.26");
    SimulatorProcess sim;
    if (!tarvo::test::startOnShellPort(sim, controller, cardA, program.tftpPort)) {
        std::fprintf(stderr, "the simulated controller did not start\n");
        return 1;
    }

    tarvo::platform::QtPlatform platform;
    program.use(platform);
    QStringList messages;
    tarvo::window::MainWindow tool(platform);
    tool.prompts().messageHandler = [&](const QString& text, tarvo::workflow::MessageIcon) { messages << text; };
    tool.load();
    tool.setTargetAddress(controller);
    tool.show();

    const auto run = [&](const char* what, const QString& expectedCaption) {
        QElapsedTimer t;
        t.start();
        const double cpu0 = cpuSeconds();
        tool.findChild<QPushButton*>(QStringLiteral("startButton"))->click();
        report(what, t.elapsed() / 1000.0, cpuSeconds() - cpu0,
               messages.isEmpty() && tool.buttonCaption() == expectedCaption);
    };
    run("backup", QStringLiteral("Continue"));
    sim.control(QStringLiteral("power off"));
    sim.control(QStringLiteral("card ") + cardB);
    sim.control(QStringLiteral("power on"));
    run("restore", QStringLiteral("Start"));
    if (!messages.isEmpty()) {
        std::printf("messages: %s\n", qPrintable(messages.join(QStringLiteral(" | "))));
        std::printf("log:%s\n", qPrintable(tool.findChild<QPlainTextEdit*>(QStringLiteral("logView"))->toPlainText()));
    }
    return messages.isEmpty() ? 0 : 1;
}
