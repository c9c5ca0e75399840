#include "workflow/archive_check.h"

#include "workflow/operator_texts.h"

#include <QCryptographicHash>

#include <archive.h>
#include <archive_entry.h>

#include <memory>

namespace tarvo::workflow {

namespace {
bool isConfigFile(const QByteArray& path)
{
    QByteArray p = path;
    if (p.startsWith("./"))
        p.remove(0, 2);
    return p.startsWith("zel/") && p.endsWith(".conf") && !p.mid(4).contains('/');
}
// Decompresses the whole stream, so that the gzip trailer (checksum and
// length) is checked too: tar stops reading at its end-of-archive blocks.
bool gzipStreamIsWhole(const QByteArray& data, QString* error)
{
    std::unique_ptr<archive, decltype(&archive_read_free)> a(archive_read_new(), archive_read_free);
    archive_read_support_filter_gzip(a.get());
    archive_read_support_format_raw(a.get());
    archive_entry* entry = nullptr;
    if (archive_read_open_memory(a.get(), data.constData(), size_t(data.size())) != ARCHIVE_OK
        || archive_read_next_header(a.get(), &entry) != ARCHIVE_OK) {
        *error = QString::fromLocal8Bit(archive_error_string(a.get()));
        return false;
    }
    char buffer[64 * 1024];
    for (;;) {
        const la_ssize_t n = archive_read_data(a.get(), buffer, sizeof buffer);
        if (n == 0)
            return true;
        if (n < 0) {
            *error = QString::fromLocal8Bit(archive_error_string(a.get()));
            return false;
        }
    }
}
}  // namespace

ArchiveReport checkArchive(const QByteArray& data)
{
    ArchiveReport report;
    report.bytes = data.size();
    report.sha256 = QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();

    std::unique_ptr<archive, decltype(&archive_read_free)> a(archive_read_new(), archive_read_free);
    archive_read_support_filter_gzip(a.get());
    archive_read_support_format_tar(a.get());
    archive_read_support_format_gnutar(a.get());
    // A gzip stream that breaks off is a damaged archive, anything else is
    // no archive of ours at all.
    const bool gzip = data.startsWith("\x1f\x8b");
    if (data.isEmpty() || archive_read_open_memory(a.get(), data.constData(), size_t(data.size())) != ARCHIVE_OK) {
        report.problem = gzip ? OperatorTexts::archiveDamaged(QString::fromLocal8Bit(archive_error_string(a.get())))
                              : OperatorTexts::archiveNotTarGz();
        return report;
    }
    archive_entry* entry = nullptr;
    for (;;) {
        const int r = archive_read_next_header(a.get(), &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
            report.problem = report.files == 0 && !gzip
                                 ? OperatorTexts::archiveNotTarGz()
                                 : OperatorTexts::archiveDamaged(QString::fromLocal8Bit(archive_error_string(a.get())));
            return report;
        }
        if (report.files == 0 && archive_filter_code(a.get(), 0) != ARCHIVE_FILTER_GZIP) {
            report.problem = OperatorTexts::archiveNotTarGz();
            return report;
        }
        ++report.files;
        if (isConfigFile(QByteArray(archive_entry_pathname(entry))))
            ++report.configFiles;
        // Reading the data through checks the compressed stream to its end.
        if (archive_read_data_skip(a.get()) != ARCHIVE_OK) {
            report.problem = OperatorTexts::archiveDamaged(QString::fromLocal8Bit(archive_error_string(a.get())));
            return report;
        }
    }
    if (report.files == 0) {
        report.problem = OperatorTexts::archiveNotTarGz();
        return report;
    }
    QString error;
    if (!gzipStreamIsWhole(data, &error)) {
        report.problem = OperatorTexts::archiveDamaged(error);
        return report;
    }
    if (report.configFiles == 0) {
        report.problem = OperatorTexts::archiveWithoutConfiguration();
        return report;
    }
    report.usable = true;
    return report;
}

}  // namespace tarvo::workflow
