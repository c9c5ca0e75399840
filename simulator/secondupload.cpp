#include "simulator/secondupload.h"

#include <archive.h>
#include <archive_entry.h>

#include <QTemporaryFile>

#include <memory>

namespace tarvo::simulator {

namespace {

const QByteArray defaultConf =
    "# Laser source (factory defaults)\n"
    "[source]\n"
    "type=fiber\n"
    "nominal_power_w=20\n"
    "wavelength_nm=1064\n"
    "pulse_mode=cw\n"
    "[limits]\n"
    "max_power_percent=50\n"
    "max_frequency_hz=20000\n";

}  // namespace

QByteArray smallArchive()
{
    QByteArray out(16384, '\0');
    size_t used = 0;
    archive* a = archive_write_new();
    archive_write_add_filter_gzip(a);
    archive_write_set_format_ustar(a);
    archive_write_set_bytes_in_last_block(a, 1);
    archive_write_open_memory(a, out.data(), size_t(out.size()), &used);
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, "zel/laser.conf");
    archive_entry_set_filetype(e, AE_IFREG);
    archive_entry_set_perm(e, 0644);
    archive_entry_set_size(e, defaultConf.size());
    archive_entry_set_mtime(e, 1'700'000'000, 0);
    archive_write_header(a, e);
    archive_write_data(a, defaultConf.constData(), size_t(defaultConf.size()));
    archive_entry_free(e);
    archive_write_close(a);
    archive_write_free(a);
    out.truncate(qsizetype(used));
    return out;
}

void sendSecondUpload(TftpTransport& tftp, const QString& host, quint16 port, const QString& remoteName,
                      std::function<void()> done)
{
    // The file lives until its transfer has ended.
    auto file = std::make_shared<QTemporaryFile>();
    if (!file->open() || file->write(smallArchive()) < 0 || !file->flush()) {
        done();
        return;
    }
    tftp.put(file->fileName(), host, port, remoteName, -1, TftpPace(), [file, done](const TftpOutcome&) { done(); });
}

}  // namespace tarvo::simulator
