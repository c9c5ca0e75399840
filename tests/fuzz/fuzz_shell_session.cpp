// Fuzz target: arbitrary console input to a logged-in shell of the
// simulated controller, on a scratch card, in virtual time. Whatever the
// input, the shell must not crash, must stay inside its card folder and
// must come to rest.
#include "platform/virtual_platform.h"
#include "simulator/controllerengine.h"
#include "simulator/memorytftptransport.h"
#include "simulator/shellsession.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {
// Removes a tree even where an input made files or folders read-only.
void removeTree(const QString& path)
{
    QDirIterator it(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        QFile::setPermissions(it.next(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir(path).removeRecursively();
}

struct Scratch {
    QTemporaryDir dir;
    ~Scratch() { removeTree(dir.path()); }
    QString path() const { return dir.path(); }
    QString filePath(const QString& name) const { return dir.filePath(name); }
};

Scratch& scratch()
{
    static Scratch s;
    return s;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Every input starts from the same small card, so that a run depends on
    // its input alone.
    const QString card = scratch().filePath(QStringLiteral("card"));
    removeTree(card);
    removeTree(scratch().filePath(QStringLiteral("pc")));
    QDir().mkpath(card + QStringLiteral("/zel"));
    QDir().mkpath(card + QStringLiteral("/media/profiles"));
    QFile conf(card + QStringLiteral("/zel/a.conf"));
    if (conf.open(QIODevice::WriteOnly))
        conf.write("x=1\n");
    conf.close();

    platform::VirtualPlatform p;
    simulator::MemoryTftpTransport tftp(p, scratch().filePath(QStringLiteral("pc")));
    tftp.serverRunning = [](const QString&, quint16) { return false; };
    simulator::ControllerEngine engine(p, tftp, card);
    QByteArray out;
    auto session = engine.accept([&](const QByteArray& b) { out += b; }, [] {});
    if (!session)
        abort();
    session->receive("\r\nroot\r\n");
    session->receive(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    session->receive("\r\necho CMDVAL: $?\r\n");
    p.runUntilIdle(p.nowMs() + 120000);
    session->peerClosed();
    // Nothing may have been written outside the card.
    if (QDir(scratch().path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size() > 2) {
        fprintf(stderr, "the shell wrote outside its card: %s\n",
                qPrintable(QDir(scratch().path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).join(' ')));
        abort();
    }
    return 0;
}
