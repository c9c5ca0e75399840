// Figures for the controller link:
//  1. lines per second through reception, queue, interpreter and the real
//     log view, for a burst of 100,000 lines followed by the status line;
//  2. processor time spent by a 10-second waitMs on the real Qt platform
//     (target: under 0.05 s), while connected to an idle controller.
#include "link/controller_link.h"
#include "platform/qt_platform.h"
#include "virtual_platform.h"
#include "window/main_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>

#include <sys/resource.h>

#include <cstdio>

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void burstThroughput(int lines)
{
    tarvo::platform::VirtualPlatform vp;
    tarvo::platform::QtPlatform qp;
    tarvo::window::MainWindow window(qp);  // the real log view, offscreen
    tarvo::link::ControllerLink link(vp, vp);
    QObject::connect(&link, &tarvo::link::ControllerLink::textReceived, &window, &tarvo::window::MainWindow::appendLog);
    link.connectToController(QStringLiteral("10.0.0.1"), 1138, 5000);

    QByteArray burst;
    burst.reserve(lines * 40);
    for (int i = 0; i < lines; ++i)
        burst += "media/profiles/customer/p" + QByteArray::number(i) + ".prf\r\n";
    burst += "CMDVAL: 0\r\n";

    QElapsedTimer t;
    t.start();
    auto* socket = vp.sockets.front();
    // Arrives in blocks of 64 KiB, as a TCP stream would.
    for (qsizetype at = 0; at < burst.size(); at += 65536)
        socket->deliver(burst.mid(at, 65536));
    vp.runUntil(vp.nowMs() + 10);
    const double s = t.elapsed() / 1000.0;
    std::printf("burst: %d lines + status through reception, queue, interpreter and log: %.3f s, %.0f lines/s, status %d\n",
                lines, s, (lines + 1) / s, int(link.lastStatus()));
}

void idleDelayCpu(int ms)
{
    tarvo::platform::QtPlatform qp;
    tarvo::window::MainWindow window(qp);
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    tarvo::link::ControllerLink link(qp, qp);
    QObject::connect(&link, &tarvo::link::ControllerLink::textReceived, &window, &tarvo::window::MainWindow::appendLog);
    link.connectToController(QStringLiteral("127.0.0.1"), server.serverPort(), 3000);

    QElapsedTimer t;
    t.start();
    const double cpu0 = cpuSeconds();
    link.waitMs(ms);
    const double cpu = cpuSeconds() - cpu0;
    std::printf("waitMs(%d) on the Qt platform, link up and idle: wall %.3f s, cpu %.4f s (target < 0.05 s)\n",
                ms, t.elapsed() / 1000.0, cpu);
}

long peakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').front().toLong();
    return -1;
}

// A controller that floods empty lines: megabytes of bare line ends through
// reception, queue and the real log view.
void emptyLineFlood(int megabytes)
{
    tarvo::platform::VirtualPlatform vp;
    tarvo::platform::QtPlatform qp;
    tarvo::window::MainWindow window(qp);
    tarvo::link::ControllerLink link(vp, vp);
    QObject::connect(&link, &tarvo::link::ControllerLink::textReceived, &window, &tarvo::window::MainWindow::appendLog);
    link.connectToController(QStringLiteral("10.0.0.1"), 1138, 5000);
    const QByteArray block(64 * 1024, '\n');
    QElapsedTimer t;
    t.start();
    auto* socket = vp.sockets.front();
    for (int i = 0; i < megabytes * 16; ++i)
        socket->deliver(block);
    vp.runUntil(vp.nowMs() + 10);
    std::printf("flood: %d MB of empty lines in %.3f s; peak resident %ld MiB (target < 300 MiB)\n", megabytes,
                t.elapsed() / 1000.0, peakResidentKiB() / 1024);
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool quick = argc > 1 && QByteArray(argv[1]) == "--quick";
    burstThroughput(100000);
    idleDelayCpu(quick ? 1000 : 10000);
    emptyLineFlood(20);
    return 0;
}
