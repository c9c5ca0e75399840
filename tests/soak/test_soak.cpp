// The soak: a thousand backup-and-restore cycles in virtual time against
// the simulated controller's engine, with faults injected at random
// (seeded and reproducible; the seed is printed with every failure).
// After every run: the PC's archive is the previous good one or a complete
// new one, the phase follows the outcome, no wait nested; and memory does
// not grow from cycle to cycle.
#include "link_probe.h"
#include "card_copy.h"
#include "virtual_rig.h"

#include "simulator/controllerengine.h"
#include "simulator/memorytftptransport.h"
#include "virtual_socket_adapter.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <archive.h>
#include <archive_entry.h>
#include <malloc.h>

#include <map>

using namespace tarvo;

namespace {

bool isCompleteArchive(const QByteArray& bytes)
{
    archive* a = archive_read_new();
    archive_read_support_filter_gzip(a);
    archive_read_support_format_tar(a);
    bool ok = archive_read_open_memory(a, bytes.constData(), size_t(bytes.size())) == ARCHIVE_OK;
    archive_entry* e = nullptr;
    int entries = 0;
    while (ok) {
        const int r = archive_read_next_header(a, &e);
        if (r == ARCHIVE_EOF)
            break;
        ok = r == ARCHIVE_OK && archive_read_data_skip(a) == ARCHIVE_OK;
        ++entries;
    }
    archive_read_free(a);
    return ok && entries > 0;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

std::size_t heapInUse()
{
#if defined(__SANITIZE_ADDRESS__)
    return 0;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return 0;
#else
    return mallinfo2().uordblks;
#endif
#else
    return mallinfo2().uordblks;
#endif
}

// The faults a run can meet, by kind.
enum class Fault {
    None, NoLoginPrompt, RefuseShell, RelayFailures, FailMount, FailTar, FailSync, FailTftp, Handle,
    BadStatus, LateAnswers, DropConnection, ServerProgramMissing, ServerUnreachable, ArchiveMissing,
    SendFailure, WindowClosed, EmptyAddress, Count
};
const char* faultName(Fault f)
{
    static const char* names[] = {"none", "no login prompt", "shell refused", "relay failures", "mount fails",
                                  "tar fails", "sync fails", "tftp fails", "Handle line", "bad status line",
                                  "answers too late", "connection dropped", "server program missing",
                                  "server unreachable", "archive missing on PC", "send failure",
                                  "window closed", "empty address"};
    return names[int(f)];
}

}  // namespace

class TestSoak : public QObject {
    Q_OBJECT

    QTemporaryDir pc, card;
    std::unique_ptr<test::VirtualRig> rig;
    std::unique_ptr<tarvo::simulator::MemoryTftpTransport> transport;
    std::unique_ptr<tarvo::simulator::ControllerEngine> engine;
    bool serverReachable = true;
    std::map<QString, QByteArray> goodConfiguration;

    bool serverRunning() const
    {
        for (const auto& p : rig->platform.processes)
            if (!p.closed)
                return serverReachable;
        return false;
    }

    void makeCard()
    {
        writeFile(card.filePath(QStringLiteral("zel/laser.conf")), "power=80\n");
        writeFile(card.filePath(QStringLiteral("zel/motion.conf")), "speed=120\n");
        writeFile(card.filePath(QStringLiteral("zel/firmware.bin")), QByteArray(4096, '\x7f'));
        writeFile(card.filePath(QStringLiteral("media/machine.conf")), "serial=T-1001\n");
        for (int i = 0; i < 6; ++i)
            writeFile(card.filePath(QStringLiteral("media/profiles/steel/p%1.prf").arg(i)), QByteArray(512, char('a' + i)));
        writeFile(card.filePath(QStringLiteral("media/sequences/seq1.seq")), "cut;move;cut\n");
        writeFile(card.filePath(QStringLiteral("media/prv_bmp/logo.bmp")), QByteArray(2048, '\x01'));
        writeFile(card.filePath(QStringLiteral("media/logs/system.log")), "boot\n");
    }

    std::map<QString, QByteArray> configuration()
    {
        std::map<QString, QByteArray> out;
        for (const auto& [path, bytes] : snapshot(card.path()))
            if (bytes == "<dir>")
                continue;
            else if (path.startsWith(QStringLiteral("zel/")) ? path.endsWith(QStringLiteral(".conf"))
                : (path.startsWith(QStringLiteral("media/profiles")) || path.startsWith(QStringLiteral("media/sequences"))
                   || path.startsWith(QStringLiteral("media/prv_bmp"))
                   || (path.count('/') == 1 && path.endsWith(QStringLiteral(".conf")))))
                out[path] = bytes;
        return out;
    }

    // A replaced card: the configuration is gone, a default stands in.
    void swapInBlankCard()
    {
        for (const auto& [path, bytes] : goodConfiguration)
            QFile::remove(card.filePath(path));
        writeFile(card.filePath(QStringLiteral("zel/laser.conf")), "power=10\n");
    }

    // Starts the tool (again): a new window on the same platform.
    void newTool()
    {
        if (!rig) {
            rig = std::make_unique<test::VirtualRig>();
            rig->platform.appPathValue = pc.path();
            rig->platform.useRealFiles = true;
        } else {
            rig->updater.reset();
            rig->updater = std::make_unique<window::Updater>(rig->platform, rig->prompts);
            rig->controls.watch(rig->updater->workflow());
        }
        rig->updater->load();
    }

private slots:
    void thousandCycles()
    {
        const quint32 seed = qEnvironmentVariableIsSet("TARVO_SOAK_SEED")
                                 ? quint32(qEnvironmentVariableIntValue("TARVO_SOAK_SEED"))
                                 : QRandomGenerator::global()->generate();
        const int cycles = qEnvironmentVariableIsSet("TARVO_SOAK_CYCLES") ? qEnvironmentVariableIntValue("TARVO_SOAK_CYCLES") : 1000;
        QRandomGenerator rng(seed);
        const QString where = QStringLiteral("seed %1 (TARVO_SOAK_SEED=%1 reproduces)").arg(seed);
        qInfo("soak seed %u, %d cycles", seed, cycles);

        makeCard();
        goodConfiguration = configuration();
        writeFile(pc.filePath(QStringLiteral("OpenTFTPServerMT")), "program");
        newTool();
        transport = std::make_unique<tarvo::simulator::MemoryTftpTransport>(rig->platform, pc.path());
        transport->serverRunning = [this](const QString&, quint16) { return serverRunning(); };

        std::map<Fault, int> injected;
        std::map<QString, int> outcomes;
        QByteArray goodArchive;  // what the PC must hold (empty: nothing yet)
        std::size_t heapAtCycle100 = 0;
        bool cardHoldsConfiguration = true;

        for (int cycle = 0; cycle < cycles; ++cycle) {
            for (int phase = 0; phase < 2; ++phase) {
                const bool backup = rig->controls.buttonCaption() == QLatin1String("Start");
                const QString context = QStringLiteral("%1, cycle %2, %3").arg(where).arg(cycle).arg(backup ? "backup" : "restore");

                // Pick this run's fault.
                tarvo::simulator::FaultOptions faults;
                Fault fault = Fault::None;
                if (rng.bounded(100) >= 45)
                    fault = Fault(1 + rng.bounded(int(Fault::Count) - 1));
                if (fault == Fault::ArchiveMissing && backup)
                    fault = Fault::None;
                ++injected[fault];
                switch (fault) {
                case Fault::NoLoginPrompt: faults.noLoginPrompt = true; break;
                case Fault::RefuseShell: faults.refuseShell = true; break;
                case Fault::RelayFailures: faults.relayFailures = 1 + rng.bounded(3); break;
                case Fault::FailMount: faults.failMount = true; break;
                case Fault::FailTar: faults.failTar = true; break;
                case Fault::FailSync: faults.failSync = true; break;
                case Fault::FailTftp: faults.failTftp = true; break;
                case Fault::Handle: faults.handleAtCommand = 1 + rng.bounded(15); break;
                case Fault::BadStatus: faults.badCmdvalAt = 1 + rng.bounded(10); break;
                case Fault::LateAnswers: faults.answerDelayMs = 21000 + rng.bounded(9000); break;
                case Fault::DropConnection: faults.dropAfterCommands = 1 + rng.bounded(15); break;
                default: break;
                }
                serverReachable = fault != Fault::ServerUnreachable;
                const QString exe = pc.filePath(QStringLiteral("OpenTFTPServerMT"));
                if (fault == Fault::ServerProgramMissing)
                    QFile::remove(exe);
                else if (!QFileInfo::exists(exe))
                    writeFile(exe, "program");
                const QString pcArchive = pc.filePath(QStringLiteral("config.tgz"));
                if (fault == Fault::ArchiveMissing)
                    QFile::remove(pcArchive);
                const QByteArray archiveBefore = readFile(pcArchive);

                // A fresh controller run with these faults, on the same card.
                auto next = std::make_unique<tarvo::simulator::ControllerEngine>(rig->platform, *transport, card.path(),
                                                                          tarvo::simulator::EngineOptions{}, faults);
                tarvo::simulator::attachToVirtualSocket(rig->socket(), *next);
                engine = std::move(next);

                rig->controls.setTargetAddress(fault == Fault::EmptyAddress ? QString() : QStringLiteral("10.0.0.7"));
                rig->prompts.messages.clear();
                rig->platform.processes.clear();
                rig->controls.log.clear();
                rig->controls.progressHistory.clear();
                rig->controls.statusHistory.clear();
                rig->controls.buttonHistory.clear();
                rig->socket().sent.clear();
                rig->socket().sends.clear();
                transport->transfers.clear();
                rig->platform.closedWindowTitles.clear();
                rig->platform.detachedStarts.clear();
                const QString captionBefore = rig->controls.buttonCaption();

                bool closed = false;
                tarvo::platform::VirtualPlatform::EventId pending = 0;
                if (fault == Fault::WindowClosed)
                    pending = rig->platform.scheduleIn(rng.bounded(30000), [&] {
                        closed = true;
                        rig->updater->unload();
                    });
                if (fault == Fault::SendFailure)
                    pending = rig->platform.scheduleIn(rng.bounded(30000), [&] { rig->socket().failSends = true; });

                rig->click();
                rig->platform.cancel(pending);
                rig->socket().failSends = false;

                // No wait ever nested, and the run is over.
                QVERIFY2(tarvo::test::LinkProbe(rig->link()).maxWaitDepth() <= 1, qPrintable(context));
                QVERIFY2(!rig->updater->workflow().isRunning(), qPrintable(context));
                QVERIFY2(!rig->updater->server().isRunning(), qPrintable(context));
                for (const auto& p : rig->platform.processes)
                    QVERIFY2(p.closed, qPrintable(context + ": a server outlived its run"));

                // The PC's archive: the previous good one, or a complete new one.
                const QByteArray archiveAfter = readFile(pcArchive);
                if (archiveAfter != archiveBefore)
                    QVERIFY2(backup && isCompleteArchive(archiveAfter)
                                 && archiveAfter == readFile(card.filePath(QStringLiteral("media/config.tgz"))),
                             qPrintable(context + ": the PC's archive changed into something else"));

                // The phase follows the outcome.
                const bool succeeded = rig->prompts.messages.empty() && !closed;
                QString outcome;
                if (closed) {
                    outcome = QStringLiteral("window closed, run ended");
                    QVERIFY2(!rig->link().isConnected(), qPrintable(context));
                    newTool();  // the operator starts the tool again: phase "Start"
                    // The new tool's socket reaches the same controller.
                    tarvo::simulator::attachToVirtualSocket(rig->socket(), *engine);
                } else {
                    QVERIFY2(rig->controls.isButtonEnabled(), qPrintable(context + ": button left disabled"));
                    const QString expected = succeeded ? (backup ? QStringLiteral("Continue") : QStringLiteral("Start"))
                                                       : captionBefore;
                    QVERIFY2(rig->controls.buttonCaption() == expected,
                             qPrintable(context + ": caption " + rig->controls.buttonCaption() + ", expected " + expected
                                        + " after fault " + faultName(fault) + "; messages: "
                                        + (rig->prompts.messages.empty() ? QString() : rig->prompts.messages[0].text)));
                    outcome = succeeded ? QStringLiteral("%1 succeeded").arg(backup ? "backup" : "restore")
                                        : QStringLiteral("%1 failed: %2").arg(backup ? "backup" : "restore",
                                                                             rig->prompts.messages[0].text.section(", Code", 0, 0));
                }
                ++outcomes[outcome];

                if (succeeded && backup) {
                    goodArchive = archiveAfter;
                    QVERIFY2(isCompleteArchive(goodArchive), qPrintable(context));
                    // The operator replaces the card.
                    engine->powerOff();
                    swapInBlankCard();
                    cardHoldsConfiguration = false;
                    engine->powerOn();
                }
                if (succeeded && !backup) {
                    const auto now = configuration();
                    QStringList differing;
                    for (const auto& [path, bytes] : goodConfiguration)
                        if (!now.count(path) || now.at(path) != bytes)
                            differing << path;
                    for (const auto& [path, bytes] : now)
                        if (!goodConfiguration.count(path))
                            differing << QStringLiteral("+") + path;
                    QVERIFY2(differing.isEmpty(), qPrintable(context + ": restored card differs: " + differing.join(' ')));
                    cardHoldsConfiguration = true;
                }
                if (fault == Fault::ArchiveMissing && !goodArchive.isEmpty())
                    writeFile(pcArchive, goodArchive);  // found again among the kept backups
                if (closed && !cardHoldsConfiguration) {
                    // Back at "Start" with a blank card: restore by hand, as
                    // service would, so that the next backup has something.
                    for (const auto& [path, bytes] : goodConfiguration)
                        writeFile(card.filePath(path), bytes);
                    cardHoldsConfiguration = true;
                }
            }
            if (cycle == 100)
                heapAtCycle100 = heapInUse();
        }
        const std::size_t heapAtEnd = heapInUse();

        std::printf("soak: seed %u, %d cycles, %lld ms of virtual time\n", seed, cycles,
                    static_cast<long long>(rig->platform.nowMs()));
        for (const auto& [f, n] : injected)
            std::printf("  fault %-24s %d\n", faultName(f), n);
        for (const auto& [o, n] : outcomes)
            std::printf("  outcome %-60s %d\n", qPrintable(o), n);
        if (heapAtCycle100 != 0) {
            std::printf("  heap in use at cycle 100: %zu bytes, at the end: %zu bytes\n", heapAtCycle100, heapAtEnd);
            QVERIFY2(heapAtEnd < heapAtCycle100 + 256 * 1024,
                     qPrintable(where + QStringLiteral(": memory grew from cycle to cycle")));
        }
    }
};

QTEST_GUILESS_MAIN(TestSoak)
#include "test_soak.moc"
