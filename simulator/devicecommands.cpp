#include "simulator/devicecommands.h"

namespace tarvo::simulator {

namespace {

constexpr int killallMs = 40;
constexpr int mountMs = 120;

void killall(Invocation& inv)
{
    if (inv.argv.size() < 2) {
        inv.errLine("Usage: killall [-l] [-q] [-SIG] PROCESS_NAME...");
        inv.finishAfter(killallMs, 1);
        return;
    }
    int status = 0;
    for (const QByteArray& name : inv.argv.mid(1)) {
        if (name.startsWith('-'))
            continue;
        const bool killed = name == "laser.elf" && inv.controller.device.killFirmware();
        if (!killed) {
            inv.errLine("killall: " + name + ": no process killed");
            status = 1;
        }
    }
    inv.finishAfter(killallMs, status);
}

void mount(Invocation& inv)
{
    const QList<QByteArray> args = inv.argv.mid(1);
    if (args.isEmpty()) {
        const QByteArray zelMode = inv.controller.device.zelWritable() ? "rw" : "ro";
        inv.out("/dev/root on / type ext4 (ro,relatime)\n"
                "devtmpfs on /dev type devtmpfs (rw,relatime)\n"
                "proc on /proc type proc (rw,relatime)\n"
                "/dev/mmcblk0p2 on /zel type ext4 (" + zelMode + ",relatime)\n"
                "/dev/mmcblk0p3 on /media type ext4 (rw,relatime)\n");
        inv.finishAfter(mountMs, 0);
        return;
    }
    QByteArray options;
    QList<QByteArray> operands;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size())
            options = args[++i];
        else if (args[i].startsWith("-o"))
            options = args[i].mid(2);
        else if (!args[i].startsWith('-'))
            operands << args[i];
    }
    const QList<QByteArray> opts = options.split(',');
    const QByteArray device = operands.size() > 1 ? operands[0] : QByteArray("/dev/mmcblk0p2");
    const QByteArray dir = operands.isEmpty() ? QByteArray() : operands.last();
    const bool knownTarget = (dir == "/zel" || dir == "/dev/mmcblk0p2") &&
                             (operands.size() < 2 || device == "/dev/mmcblk0p2");
    if (!opts.contains("remount") || !knownTarget) {
        inv.errLine("mount: mounting " + device + " on " + dir + " failed: No such file or directory");
        inv.finishAfter(mountMs, 255);
        return;
    }
    if (inv.controller.faults.failMount) {
        inv.errLine("mount: mounting /dev/mmcblk0p2 on /zel failed: Device or resource busy");
        inv.finishAfter(mountMs, 255);
        return;
    }
    if (!opts.contains("ro"))
        inv.controller.device.remountZelWritable();
    inv.finishAfter(mountMs, 0);
}

void sync(Invocation& inv)
{
    if (inv.controller.faults.failSync) {
        inv.errLine("sync: Input/output error");
        inv.finishAfter(inv.controller.options.syncMs, 1);
        return;
    }
    inv.finishAfter(inv.controller.options.syncMs, 0);
}

void ps(Invocation& inv)
{
    QByteArray table = "  PID USER       VSZ STAT COMMAND\n"
                       "    1 root      1612 S    init\n"
                       "  211 root      1620 S    /sbin/syslogd -n\n"
                       "  240 root      2044 S    /usr/sbin/telnetd -p 1138 -F\n";
    if (inv.controller.device.firmwareRunning())
        table += "  305 root     48212 S    /opt/laser/laser.elf\n";
    table += "  812 root      1628 S    -sh\n"
             "  901 root      1624 R    ps\n";
    inv.out(table);
    inv.finishAfter(20, 0);
}

}  // namespace

void addDeviceCommands(QMap<QByteArray, CommandFunction>& table)
{
    table["killall"] = killall;
    table["mount"] = mount;
    table["sync"] = sync;
    table["ps"] = ps;
}

}  // namespace tarvo::simulator
