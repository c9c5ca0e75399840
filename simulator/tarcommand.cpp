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
    // the controller would need.
    std::vector<PacedLine> lines;
    TarArchiver archiver(inv.controller.card, inv.controller.device, inv.shell.cwd);
    if (verbose)
        archiver.onListing = [&lines](const QByteArray& name) { lines.push_back({name, false}); };
    archiver.onError = [&lines](const QByteArray& line) { lines.push_back({line, true}); };
    const int status = create ? archiver.create(archivePath, args, gzip) : archiver.extract(archivePath, gzip);
    const qint64 rate = std::max<qint64>(1, inv.controller.options.tarBytesPerSecond);
    const int durationMs = startupMs + int(archiver.bytes() * 1000 / rate) + archiver.entries() / 4;
    playOut(inv, std::move(lines), durationMs, status);
}

}  // namespace

void addTarCommand(QMap<QByteArray, CommandFunction>& table)
{
    table["tar"] = tar;
}

}  // namespace tarvo::simulator
