// Fuzz target: arbitrary console input to a logged-in shell of the
// simulated controller, on a scratch card, in virtual time. Whatever the
// input, the shell must not crash, must stay inside its card folder and
// must come to rest.
#include "virtual_platform.h"
#include "simulator/controllerengine.h"
#include "simulator/memorytftptransport.h"
#include "simulator/shellsession.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <filesystem>
#include <cstdio>
#include <cstdlib>

namespace {
// Removes a tree even where an input made files or folders read-only or
// gave them names that are not valid text (raw bytes, as on a card).
void removeTree(const QString& path)
{
    namespace fs = std::filesystem;
    const fs::path root(QFile::encodeName(path).toStdString());
    std::error_code ec;
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root, ec);
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

    tarvo::platform::VirtualPlatform p;
    tarvo::simulator::MemoryTftpTransport tftp(p, scratch().filePath(QStringLiteral("pc")));
    tftp.serverRunning = [](const QString&, quint16) { return false; };
    tarvo::simulator::ControllerEngine engine(p, tftp, card);
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
