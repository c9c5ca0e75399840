#include "fake_tftp_server.h"

#include <QCryptographicHash>

#include <archive.h>
#include <archive_entry.h>

#include <memory>

namespace tarvo::test {

FakeTftpServer::FakeTftpServer(platform::VirtualPlatform& platform) : platform_(platform)
{
    platform_.onProcessStarted = [this](platform::VirtualPlatform::ProcessRecord& p) {
        if (!p.program.endsWith(QLatin1String("OpenTFTPServerMT")))
            return;
        handle = p.handle;
        const int at = int(p.arguments.indexOf(QStringLiteral("--root")));
        root = at >= 0 && at + 1 < p.arguments.size() ? p.arguments[at + 1] : QString();
        if (onStart) {
            onStart(p);
            return;
        }
        platform_.scheduleIn(10, [this] { say(QStringLiteral("READY 69 ") + root); });
    };
}

void FakeTftpServer::say(const QString& line)
{
    if (auto* p = platform_.process(handle))
        p->say(line);
}

void FakeTftpServer::receiveUpload(const QString& peer, const QByteArray& data)
{
    const QString path = root + QLatin1Char('/') + peer + QStringLiteral("/config.tgz");
    platform_.writeFile(path, data);
    reportStored(peer, path);
}

void FakeTftpServer::reportStored(const QString& peer, const QString& path)
{
    const QByteArray data = platform_.readFile(path).value_or(QByteArray());
    say(QStringLiteral("2026-01-01 00:00:00.000 STORED %1 %2 %3 %4")
            .arg(data.size())
            .arg(QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex()), peer, path));
}

QByteArray makeArchive(const QList<QPair<QByteArray, QByteArray>>& files)
{
    QByteArray out(1 << 20, '\0');
    size_t used = 0;
    std::unique_ptr<archive, decltype(&archive_write_free)> a(archive_write_new(), archive_write_free);
    archive_write_add_filter_gzip(a.get());
    archive_write_set_format_ustar(a.get());
    archive_write_open_memory(a.get(), out.data(), size_t(out.size()), &used);
    for (const auto& [name, content] : files) {
        std::unique_ptr<archive_entry, decltype(&archive_entry_free)> e(archive_entry_new(), archive_entry_free);
        archive_entry_set_pathname(e.get(), name.constData());
        archive_entry_set_filetype(e.get(), AE_IFREG);
        archive_entry_set_perm(e.get(), 0644);
        archive_entry_set_size(e.get(), content.size());
        archive_write_header(a.get(), e.get());
        archive_write_data(a.get(), content.constData(), size_t(content.size()));
    }
    archive_write_close(a.get());
    out.truncate(qsizetype(used));
    return out;
}

QByteArray sampleArchive()
{
    // Made once: gzip stamps the time, and tests compare archives byte for byte.
    static const QByteArray archive =
        makeArchive({{"zel/laser.conf", "power=80\n"}, {"media/machine.conf", "name=test\n"}});
    return archive;
}

}  // namespace tarvo::test
