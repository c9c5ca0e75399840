#include "pcside/archive_check.h"

#include "platform/platform.h"
#include "pcside/pc_texts.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QList>
#include <QSet>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>

namespace tarvo::pcside {

namespace {
constexpr qsizetype kChunk = 64 * 1024;
using ArchivePtr = std::unique_ptr<archive, decltype(&archive_read_free)>;

QString libarchiveError(archive* a)
{
    const char* error = archive_error_string(a);
    return error ? QString::fromLocal8Bit(error) : QString();
}

// ----------------------------------------------------------- the members

QByteArray withoutDotSlash(QByteArray path)
{
    while (path.startsWith("./"))
        path.remove(0, 2);
    while (path.endsWith('/'))
        path.chop(1);
    return path;
}

bool isConfigFile(const QByteArray& path)
{
    return path.startsWith("zel/") && path.endsWith(".conf") && !path.mid(4).contains('/');
}

bool isInOurFolders(const QList<QByteArray>& parts)
{
    return !parts.isEmpty() && (parts.first() == "zel" || parts.first() == "media");
}

// Where a symbolic link at member (relative to /, where the laser unpacks)
// leads, as path components; nullopt when it climbs above / or goes on
// through one of links (whose own target a lexical reading cannot know).
std::optional<QList<QByteArray>> linkTarget(const QByteArray& member, const QByteArray& target,
                                            const QSet<QByteArray>& links)
{
    QList<QByteArray> parts;
    if (!target.startsWith('/')) {
        parts = member.split('/');
        parts.removeLast();
    }
    for (const QByteArray& part : target.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (links.contains(parts.join('/')))
            return std::nullopt;
        if (part == "..") {
            if (parts.isEmpty())
                return std::nullopt;
            parts.removeLast();
        } else {
            parts << part;
        }
    }
    return parts;
}

// The rules a member must keep for `cd / && tar xvzf` to write only the
// configuration: what is wrong with it, or an empty text.
class MemberRules {
public:
    QString judge(archive_entry* entry)
    {
        const QByteArray stored = archive_entry_pathname(entry);
        if (stored.startsWith('/'))
            return PcTexts::memberAbsolute();
        const QByteArray path = withoutDotSlash(stored);
        QList<QByteArray> parts = path.split('/');
        if (parts.contains(".."))
            return PcTexts::memberClimbsOut();
        parts.removeAll(QByteArray());
        parts.removeAll(QByteArray("."));
        if (!isInOurFolders(parts))
            return PcTexts::memberOutsideFolders();
        // tar follows a link it has made when it unpacks a later member
        // beneath it.
        for (qsizetype n = 1; n < parts.size(); ++n)
            if (links_.contains(parts.first(n).join('/')))
                return PcTexts::memberThroughLink(QString::fromUtf8(parts.first(n).join('/')));
        switch (archive_entry_filetype(entry)) {
        case AE_IFCHR:
        case AE_IFBLK:
            return PcTexts::memberDevice();
        case AE_IFIFO:
            return PcTexts::memberFifo();
        case AE_IFSOCK:
            return PcTexts::memberSocket();
        default:
            break;
        }
        if (const char* hardlink = archive_entry_hardlink(entry)) {
            if (!earlier_.contains(withoutDotSlash(hardlink)))
                return PcTexts::memberHardLinkNotEarlier(QString::fromUtf8(hardlink));
        } else if (archive_entry_filetype(entry) == AE_IFLNK) {
            const QByteArray target = archive_entry_symlink(entry);
            const auto leads = linkTarget(parts.join('/'), target, links_);
            if (!leads || !isInOurFolders(*leads))
                return PcTexts::memberLinkOutside(QString::fromUtf8(target));
            links_.insert(parts.join('/'));
        }
        if (isConfigFile(path)) {
            if (archive_entry_filetype(entry) != AE_IFREG || archive_entry_hardlink(entry))
                return PcTexts::memberConfigurationNotFile();
            if (archive_entry_size(entry) <= 0)
                return PcTexts::memberConfigurationEmpty();
        }
        earlier_.insert(path);
        return {};
    }

private:
    QSet<QByteArray> earlier_;
    QSet<QByteArray> links_;  // the symbolic links so far, as component paths
};

// ------------------------------------------------------------ the streams

// The archive's own bytes, hashed as libarchive takes them.
struct Source {
    QIODevice& device;
    qint64 maxBytes;
    QCryptographicHash hash{QCryptographicHash::Sha256};
    QByteArray buffer{kChunk, Qt::Uninitialized};
    qint64 read = 0;
    bool tooLarge = false;

    qint64 take()
    {
        const qint64 n = device.read(buffer.data(), buffer.size());
        if (n <= 0)
            return n;
        read += n;
        if (read > maxBytes) {
            tooLarge = true;
            return -1;
        }
        hash.addData(QByteArrayView(buffer.constData(), n));
        return n;
    }
};

la_ssize_t readSource(archive* a, void* client, const void** out)
{
    auto* source = static_cast<Source*>(client);
    const qint64 n = source->take();
    if (n < 0) {
        archive_set_error(a, EIO, "%s", qPrintable(source->device.errorString()));
        return -1;
    }
    *out = source->buffer.constData();
    return la_ssize_t(n);
}

// The inflated bytes, counted against the limits as they come.
struct Inflated {
    archive* gzip;
    const ArchiveLimits& limits;
    qint64 compressedBytes;
    QByteArray buffer{kChunk, Qt::Uninitialized};
    qint64 bytes = 0;
    bool bomb = false;

    bool exceeds(qint64 inflated) const
    {
        return inflated > limits.maxInflatedBytes
               || (inflated > limits.ratioFloorBytes && inflated / std::max<qint64>(compressedBytes, 1) >= limits.maxRatio);
    }
    la_ssize_t take()
    {
        const la_ssize_t n = archive_read_data(gzip, buffer.data(), size_t(buffer.size()));
        if (n > 0) {
            bytes += n;
            bomb = exceeds(bytes);
        }
        return bomb ? -1 : n;
    }
};

la_ssize_t readInflated(archive* a, void* client, const void** out)
{
    auto* inflated = static_cast<Inflated*>(client);
    const la_ssize_t n = inflated->take();
    if (n < 0) {
        archive_set_error(a, EINVAL, "%s", qPrintable(libarchiveError(inflated->gzip)));
        return -1;
    }
    *out = inflated->buffer.constData();
    return n;
}

QString tooLargeText(const ArchiveLimits& limits)
{
    return PcTexts::archiveTooLarge(limits.maxArchiveBytes >> 20);
}

// Reads the whole archive once: the gzip stream through one libarchive
// reader, its inflated bytes as tar through a second. What is wrong, or an
// empty text.
QString readArchive(Source& source, const ArchiveLimits& limits, ArchiveReport& report)
{
    const bool gzipMagic = source.device.peek(2) == QByteArray("\x1f\x8b");
    if (source.device.atEnd())
        return PcTexts::archiveNotTarGz();

    ArchivePtr gzip(archive_read_new(), archive_read_free);
    archive_read_support_filter_gzip(gzip.get());
    archive_read_support_format_raw(gzip.get());
    archive_entry* entry = nullptr;
    if (archive_read_open(gzip.get(), &source, nullptr, readSource, nullptr) != ARCHIVE_OK
        || archive_read_next_header(gzip.get(), &entry) != ARCHIVE_OK) {
        if (source.tooLarge)
            return tooLargeText(limits);
        return gzipMagic ? PcTexts::archiveDamaged(libarchiveError(gzip.get())) : PcTexts::archiveNotTarGz();
    }
    if (archive_filter_code(gzip.get(), 0) != ARCHIVE_FILTER_GZIP)
        return PcTexts::archiveNotTarGz();

    Inflated inflated{gzip.get(), limits, std::max(source.device.size(), source.read)};
    ArchivePtr tar(archive_read_new(), archive_read_free);
    archive_read_support_format_tar(tar.get());
    archive_read_support_format_gnutar(tar.get());
    const auto failure = [&](archive* a) {
        if (source.tooLarge)
            return tooLargeText(limits);
        if (inflated.bomb)
            return PcTexts::archiveInflatesTooFar(inflated.bytes >> 20);
        return report.files == 0 && !gzipMagic ? PcTexts::archiveNotTarGz()
                                               : PcTexts::archiveDamaged(libarchiveError(a));
    };
    if (archive_read_open(tar.get(), &inflated, nullptr, readInflated, nullptr) != ARCHIVE_OK)
        return failure(tar.get());

    MemberRules rules;
    qint64 declared = 0;
    for (;;) {
        const int r = archive_read_next_header(tar.get(), &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN)
            return failure(tar.get());
        ++report.files;
        QString shown = QString::fromUtf8(archive_entry_pathname(entry));
        if (archive_entry_filetype(entry) == AE_IFDIR && !shown.endsWith(QLatin1Char('/')))
            shown += QLatin1Char('/');
        report.members << shown;
        const QString wrong = rules.judge(entry);
        if (!wrong.isEmpty())
            return PcTexts::archiveMemberRefused(shown, wrong);
        // A header that promises more than the limits allow is refused
        // before a byte of it is inflated.
        declared += std::max<qint64>(archive_entry_size(entry), 0);
        if (inflated.exceeds(declared))
            return PcTexts::archiveInflatesTooFar(declared >> 20);
        if (isConfigFile(withoutDotSlash(archive_entry_pathname(entry))))
            ++report.configFiles;
        if (archive_read_data_skip(tar.get()) != ARCHIVE_OK)
            return failure(tar.get());
    }
    if (report.files == 0)
        return PcTexts::archiveNotTarGz();
    // tar stops at its end-of-archive blocks; the gzip stream is read on to
    // its end so that a stream that breaks off is found too.
    for (;;) {
        const la_ssize_t n = inflated.take();
        if (n == 0)
            break;
        if (n < 0)
            return inflated.bomb ? PcTexts::archiveInflatesTooFar(inflated.bytes >> 20)
                                 : PcTexts::archiveDamaged(libarchiveError(gzip.get()));
    }
    if (report.configFiles == 0)
        return PcTexts::archiveWithoutConfiguration();
    return {};
}
}  // namespace

ArchiveReport checkArchive(QIODevice& device, const ArchiveLimits& limits)
{
    ArchiveReport report;
    if (device.size() > limits.maxArchiveBytes) {
        report.bytes = device.size();
        report.problem = tooLargeText(limits);
        return report;
    }
    Source source{device, limits.maxArchiveBytes};
    report.problem = readArchive(source, limits, report);
    // The digest covers every byte, also after a refusal or past the end of
    // the gzip stream: it names the file, not only what was judged of it.
    while (!source.tooLarge && source.take() > 0) {
    }
    if (source.tooLarge) {
        report.problem = tooLargeText(limits);
        report.sha256.clear();
    } else {
        report.sha256 = source.hash.result().toHex();
    }
    report.bytes = source.read;
    report.usable = report.problem.isEmpty();
    return report;
}

ArchiveReport checkArchive(const QByteArray& data, const ArchiveLimits& limits)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    return checkArchive(buffer, limits);
}

ArchiveReport checkArchiveFile(platform::Platform& platform, const QString& path, const ArchiveLimits& limits)
{
    const std::unique_ptr<QIODevice> device = platform.openForReading(path);
    if (!device) {
        ArchiveReport report;
        report.found = platform.pathExists(path);
        report.problem = PcTexts::archiveNotOrdinaryFile();
        return report;
    }
    ArchiveReport report;
    platform.runAside([&] { report = checkArchive(*device, limits); });
    return report;
}

}  // namespace tarvo::pcside
