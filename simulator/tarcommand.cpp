#include "simulator/tarcommand.h"

#include "simulator/outputpacer.h"
#include "simulator/tararchiver.h"

namespace tarvo::simulator {

namespace {

constexpr int startupMs = 80;

void tar(Invocation& inv)
{
    QList<QByteArray> args = inv.argv.mid(1);
    if (args.isEmpty()) {
        inv.errLine("tar: You must specify one of the '-Acdtrux', '--delete' or '--test-label' options");
        inv.finishAfter(startupMs, 2);
        return;
    }
    QByteArray letters = args.takeFirst();
    if (letters.startsWith('-'))
        letters = letters.mid(1);
    bool create = false, extract = false, verbose = false, gzip = false;
    QByteArray archivePath;
    bool needFile = false;
    for (char c : letters) {
        switch (c) {
        case 'c': create = true; break;
        case 'x': extract = true; break;
        case 'v': verbose = true; break;
        case 'z': gzip = true; break;
        case 'f': needFile = true; break;
        default:
            inv.errLine("tar: invalid option -- '" + QByteArray(1, c) + "'");
            inv.finishAfter(startupMs, 2);
            return;
        }
    }
    if (needFile) {
        if (args.isEmpty()) {
            inv.errLine("tar: option requires an argument -- 'f'");
            inv.finishAfter(startupMs, 2);
            return;
        }
        archivePath = args.takeFirst();
    }
    if (create == extract || archivePath.isEmpty()) {
        inv.errLine(archivePath.isEmpty() ? "tar: Refusing to read archive contents from terminal"
                                          : "tar: You may not specify more than one '-Acdtrux' option");
        inv.finishAfter(startupMs, 2);
        return;
    }
    if (create && args.isEmpty()) {
        inv.errLine("tar: Cowardly refusing to create an empty archive");
        inv.finishAfter(startupMs, 2);
        return;
    }
    if (inv.controller.faults.failTar) {
        if (create)
            inv.errLine("tar: " + archivePath + ": Cannot write: No space left on device");
        else
            inv.errLine("tar: Unexpected EOF in archive");
        inv.errLine("tar: Error is not recoverable: exiting now");
        inv.finishAfter(startupMs * 3, 2);
        return;
    }

    // The work is done at once; its output is then played out over the time
    // the controller would need. Each line keeps how many input bytes tar had
    // been through when it was printed.
    std::vector<TimedLine> lines;
    TarArchiver archiver(inv.controller.card, inv.controller.device, inv.shell.cwd);
    if (verbose)
        archiver.onListing = [&](const QByteArray& name) { lines.push_back({{name, false}, archiver.bytes()}); };
    archiver.onError = [&](const QByteArray& line) { lines.push_back({{line, true}, archiver.bytes()}); };
    int status = create ? archiver.create(archivePath, args, gzip) : archiver.extract(archivePath, gzip);
    const qint64 total = archiver.bytes();

    // A listing line is printed once its member is done, that is when tar
    // starts on the next one (or finishes).
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].line.toConsole)
            continue;
        lines[i].atMs = i + 1 < lines.size() ? lines[i + 1].atMs : total;
    }
    const int stallAfter = inv.controller.faults.stallTarAfter;
    if (stallAfter >= 0) {
        // The stalled tar prints its first listing lines and nothing more.
        int listed = 0;
        size_t keep = 0;
        while (keep < lines.size() && (lines[keep].line.toConsole || listed < stallAfter))
            listed += lines[keep++].line.toConsole ? 0 : 1;
        lines.resize(keep);
        status = hangsForever;
    }

    const qint64 slowRate = create ? inv.controller.options.packBytesPerSecond
                                   : inv.controller.options.unpackBytesPerSecond;
    if (slowRate > 0) {
        for (TimedLine& l : lines)
            l.atMs = startupMs + l.atMs * 1000 / slowRate;
        playOutTimed(inv, std::move(lines), startupMs + total * 1000 / slowRate, status);
        return;
    }
    std::vector<PacedLine> even;
    even.reserve(lines.size());
    for (TimedLine& l : lines)
        even.push_back(std::move(l.line));
    const qint64 rate = std::max<qint64>(1, inv.controller.options.tarBytesPerSecond);
    const int durationMs = startupMs + int(total * 1000 / rate) + archiver.entries() / 4;
    playOut(inv, std::move(even), durationMs, status);
}

}  // namespace

void addTarCommand(QMap<QByteArray, CommandFunction>& table)
{
    table["tar"] = tar;
}

}  // namespace tarvo::simulator
