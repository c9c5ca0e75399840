#include "fake_tftp_server.h"

#include "pcside/tftp_server_control.h"

#include <QCryptographicHash>

#include <archive.h>
#include <archive_entry.h>

#include <memory>

namespace tarvo::test {

FakeTftpServer::FakeTftpServer(platform::VirtualPlatform& platform) : platform_(platform)
{
    platform_.onProcessStarted = [this](platform::VirtualPlatform::ProcessRecord& p) {
        if (!p.program.endsWith(pcside::tftpServerProgramName()))
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

namespace {
la_ssize_t appendTo(archive*, void* client, const void* buffer, size_t length)
{
    static_cast<QByteArray*>(client)->append(static_cast<const char*>(buffer), qsizetype(length));
    return la_ssize_t(length);
}
}  // namespace

QByteArray makeArchive(const QList<QPair<QByteArray, QByteArray>>& files)
{
    QList<ArchiveMember> members;
    for (const auto& [name, content] : files)
        members.append({name, content, AE_IFREG, {}, {}});
    return makeArchiveOf(members);
}

namespace {
QByteArray ustarOf(const QList<ArchiveMember>& members, bool gzip)
{
    QByteArray out;
    std::unique_ptr<archive, decltype(&archive_write_free)> a(archive_write_new(), archive_write_free);
    if (gzip)
        archive_write_add_filter_gzip(a.get());
    archive_write_set_format_ustar(a.get());
    archive_write_set_bytes_in_last_block(a.get(), 1);
    archive_write_open(a.get(), &out, nullptr, appendTo, nullptr);
    for (const ArchiveMember& m : members) {
        std::unique_ptr<archive_entry, decltype(&archive_entry_free)> e(archive_entry_new(), archive_entry_free);
        archive_entry_set_pathname(e.get(), m.path.constData());
        archive_entry_set_filetype(e.get(), m.type);
        archive_entry_set_perm(e.get(), 0644);
        if (!m.symlink.isEmpty())
            archive_entry_set_symlink(e.get(), m.symlink.constData());
        if (!m.hardlink.isEmpty())
            archive_entry_set_hardlink(e.get(), m.hardlink.constData());
        archive_entry_set_size(e.get(), m.type == AE_IFREG && m.hardlink.isEmpty() ? m.content.size() : 0);
        archive_write_header(a.get(), e.get());
        archive_write_data(a.get(), m.content.constData(), size_t(m.content.size()));
    }
    archive_write_close(a.get());
    return out;
}
}  // namespace

QByteArray makeArchiveOf(const QList<ArchiveMember>& members)
{
    return ustarOf(members, true);
}

QByteArray tarOf(const QList<ArchiveMember>& members)
{
    return ustarOf(members, false);
}

QByteArray gzipped(const QByteArray& data)
{
    QByteArray out;
    std::unique_ptr<archive, decltype(&archive_write_free)> a(archive_write_new(), archive_write_free);
    archive_write_add_filter_gzip(a.get());
    archive_write_set_format_raw(a.get());
    archive_write_set_bytes_in_last_block(a.get(), 1);
    archive_write_open(a.get(), &out, nullptr, appendTo, nullptr);
    std::unique_ptr<archive_entry, decltype(&archive_entry_free)> e(archive_entry_new(), archive_entry_free);
    archive_entry_set_pathname(e.get(), "data");
    archive_entry_set_filetype(e.get(), AE_IFREG);
    archive_entry_set_size(e.get(), data.size());
    archive_write_header(a.get(), e.get());
    archive_write_data(a.get(), data.constData(), size_t(data.size()));
    archive_write_close(a.get());
    return out;
}

QList<QByteArray> sampleMembers()
{
    return {"zel/laser.conf", "media/machine.conf"};
}

QByteArray sampleArchive()
{
    // Made once: gzip stamps the time, and tests compare archives byte for byte.
    static const QByteArray archive =
        makeArchive({{"zel/laser.conf", "power=80\n"}, {"media/machine.conf", "name=test\n"}});
    return archive;
}

QByteArray tarHeader(const QByteArray& name, qint64 size, char type, const QByteArray& link)
{
    QByteArray header(512, '\0');
    header.replace(0, name.size(), name);
    header.replace(100, 7, "0000644");
    header.replace(124, 11, QByteArray::number(size, 8).rightJustified(11, '0'));
    header[156] = type;
    header.replace(157, link.size(), link);
    header.replace(257, 6, QByteArray("ustar\0", 6));
    header.replace(263, 2, "00");
    header.replace(148, 8, "        ");
    unsigned sum = 0;
    for (char c : header)
        sum += static_cast<unsigned char>(c);
    header.replace(148, 7, QByteArray::number(sum, 8).rightJustified(6, '0') + '\0');
    return header;
}

QByteArray gzipBomb(qint64 inflatedMiB, bool declared)
{
    const QByteArray zeroMember = gzipped(QByteArray(1 << 20, '\0'));
    QByteArray out = declared ? gzipped(tarHeader("zel/huge.conf", inflatedMiB << 20)) : sampleArchive();
    for (qint64 i = 0; i < inflatedMiB; ++i)
        out += zeroMember;
    return out;
}

}  // namespace tarvo::test
