#include "pcside/archive_check.h"

#include "platform/file_system.h"
#include "pcside/pc_texts.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QList>
#include <QSet>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
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

// ----------------------------------------------------- the laser's reading

constexpr qint64 kBlock = 512;
constexpr qsizetype kMaxPath = 4096;                 // Linux's PATH_MAX
constexpr qsizetype kMaxPaxHeader = 64 * 1024;
constexpr qsizetype kMaxMembersAhead = 1024;

QByteArray field(const char* at, qsizetype width)
{
    return QByteArray(at, qsizetype(qstrnlen(at, size_t(width))));
}

bool allZero(const char* data, qint64 n)
{
    return std::all_of(data, data + n, [](char c) { return c == '\0'; });
}

// A numeric header field as busybox reads it: octal digits after optional
// spaces, ended by NUL or space, or GNU's base-256 with the top bit set.
// nullopt for what busybox stops at or would read as a negative number.
std::optional<qint64> headerNumber(const char* at, int width)
{
    const auto byte = [at](int i) { return static_cast<unsigned char>(at[i]); };
    if (byte(0) & 0x80) {
        if (byte(0) & 0x40)
            return std::nullopt;
        quint64 value = byte(0) & 0x3f;
        for (int i = 1; i < width; ++i) {
            if (value >> 53)
                return std::nullopt;
            value = value << 8 | byte(i);
        }
        return qint64(value);
    }
    int i = 0;
    while (i < width && at[i] == ' ')
        ++i;
    quint64 value = 0;
    for (; i < width && at[i] >= '0' && at[i] <= '7'; ++i)
        value = value * 8 + quint64(at[i] - '0');
    if (i < width && at[i] != '\0' && at[i] != ' ')
        return std::nullopt;
    return qint64(value);
}

// The members as the laser's tar (busybox 1.35) reads the same inflated
// bytes that libarchive reads. The two differ where it matters: busybox
// reads on past a single zero block, ignores the size of links and folders,
// makes a hard link of an empty regular file that names a link target, and
// takes its names from L and pax headers in its own way. So each member
// libarchive reports is held against the member busybox would unpack from
// the same header, and from the first header without a name (the end
// marker, for busybox as for libarchive) on, every byte must be zero.
// Headers whose reading hangs on busybox's version or build options, or
// that no configuration needs, count as read differently.
class LaserTar {
public:
    struct Member {
        qint64 offset = 0;  // of its first header (a long name, a pax header) in the tar stream
        QByteArray name;
        char kind = 'f';  // f(ile), h(ard link), l(ink), d(irectory), c, b, p (FIFO)
        QByteArray link;
        qint64 size = 0;  // the data that follows, for a file
    };

    void feed(const char* data, qint64 n)
    {
        while (n > 0 && !differs_) {
            qint64 used = n;
            switch (state_) {
            case State::Header:
                used = std::min(n, kBlock - block_.size());
                block_.append(data, qsizetype(used));
                break;
            case State::Extension:
                used = std::min(n, extensionSize_ - block_.size());
                block_.append(data, qsizetype(used));
                break;
            case State::Data:
                used = std::min(n, skip_);
                skip_ -= used;
                break;
            case State::End:
                afterEnd_ = afterEnd_ || !allZero(data, n);
                break;
            }
            offset_ += used;
            data += used;
            n -= used;
            if (state_ == State::Header && block_.size() == kBlock)
                header();
            else if (state_ == State::Extension && block_.size() == extensionSize_)
                extension();
            else if (state_ == State::Data && skip_ == 0)
                state_ = State::Header;
        }
    }

    // The next member the laser would unpack, in archive order.
    std::optional<Member> take()
    {
        if (members_.isEmpty())
            return std::nullopt;
        return members_.takeFirst();
    }
    // Where busybox reads a header otherwise than can be foreseen (the
    // header's name), when it does.
    std::optional<QByteArray> differs() const { return differs_; }
    // Something but zeros after the end marker.
    bool afterEnd() const { return afterEnd_; }

private:
    enum class State { Header, Extension, Data, End };

    void header()
    {
        const char* h = block_.constData();
        const qint64 at = offset_ - kBlock;
        if (chainStart_ < 0)
            chainStart_ = at;
        if (h[0] == '\0' && h[345] == '\0') {
            state_ = State::End;
            afterEnd_ = !allZero(h, kBlock);
            return;
        }
        const std::optional<qint64> size = headerNumber(h + 124, 12);
        if (std::memcmp(h + 257, "ustar", 5) != 0 || !size || *size > (qint64(1) << 56))
            return differ(field(h, 100));
        char type = h[156] ? h[156] : '0';
        if (type == 'L' || type == 'K' || type == 'x' || type == 'g') {
            if (*size > (type == 'L' || type == 'K' ? kMaxPath : kMaxPaxHeader))
                return differ(field(h, 100));
            extensionType_ = type;
            extensionName_ = field(h, 100);
            extensionSize_ = *size;
            skip_ = padding(*size);
            block_.clear();
            state_ = State::Extension;
            if (extensionSize_ == 0)
                extension();
            return;
        }
        Member member;
        member.offset = chainStart_;
        member.name = name(h);
        const QByteArray link = longLink_ ? *longLink_ : field(h + 157, 100);
        switch (type) {
        case '0':
        case '7':
            // Busybox takes a name ending in '/' for a folder or a file by
            // its build options, and an empty file that names a link target
            // for a hard link to it.
            if (member.name.endsWith('/') || !link.isEmpty())
                return differ(member.name);
            member.size = *size;
            break;
        case '1':
            member.kind = 'h';
            member.link = link;
            break;
        case '2':
            member.kind = 'l';
            member.link = link;
            break;
        case '3':
            member.kind = 'c';
            break;
        case '4':
            member.kind = 'b';
            break;
        case '5':
            member.kind = 'd';
            break;
        case '6':
            member.kind = 'p';
            break;
        default:
            return differ(member.name);
        }
        // Busybox reads no data after any but a file, whatever the size says.
        if (member.kind != 'f' && *size != 0)
            return differ(member.name);
        skip_ = member.size + padding(member.size);
        members_.append(std::move(member));
        if (members_.size() > kMaxMembersAhead)
            return differ(members_.last().name);
        longName_.reset();
        longLink_.reset();
        chainStart_ = -1;
        block_.clear();
        state_ = skip_ > 0 ? State::Data : State::Header;
    }

    // The name as busybox puts it together: a long name when one came
    // before, else the prefix and the name joined by one '/'.
    QByteArray name(const char* h) const
    {
        if (longName_)
            return *longName_;
        QByteArray name = field(h, 100);
        const QByteArray prefix = field(h + 345, 155);
        if (prefix.isEmpty())
            return name;
        while (name.startsWith('/'))
            name.remove(0, 1);
        return prefix.endsWith('/') ? prefix + name : prefix + '/' + name;
    }

    void extension()
    {
        const QByteArray body = block_;
        block_.clear();
        state_ = skip_ > 0 ? State::Data : State::Header;
        if (extensionType_ == 'L') {
            longName_ = field(body.constData(), body.size());
            return;
        }
        if (extensionType_ == 'K') {
            longLink_ = field(body.constData(), body.size());
            return;
        }
        // Records "LENGTH KEY=VALUE\n"; busybox takes path and linkpath
        // from an 'x' header and nothing from a global 'g' one.
        qsizetype at = 0;
        while (at < body.size()) {
            qsizetype digits = at;
            while (digits < body.size() && body[digits] >= '0' && body[digits] <= '9')
                ++digits;
            bool ok = digits > at && body[at] != '0' && digits < body.size() && body[digits] == ' ';
            const qint64 length = ok ? body.mid(at, digits - at).toLongLong(&ok) : 0;
            const qsizetype end = at + qsizetype(length) - 1;  // the record's newline
            if (!ok || length > body.size() - at || end <= digits || body[end] != '\n')
                return differ(extensionName_);
            const QByteArray record = body.mid(digits + 1, end - digits - 1);
            const qsizetype equals = record.indexOf('=');
            if (equals < 0 || record.contains('\0'))
                return differ(extensionName_);
            if (extensionType_ == 'x' && record.left(equals) == "path")
                longName_ = record.mid(equals + 1);
            else if (extensionType_ == 'x' && record.left(equals) == "linkpath")
                longLink_ = record.mid(equals + 1);
            at += qsizetype(length);
        }
    }

    void differ(const QByteArray& where) { differs_ = where; }

    static qint64 padding(qint64 size) { return (kBlock - size % kBlock) % kBlock; }

    State state_ = State::Header;
    qint64 offset_ = 0;  // of the next byte fed
    QByteArray block_;   // the header, or an extension header's data, so far
    char extensionType_ = 0;
    QByteArray extensionName_;
    qint64 extensionSize_ = 0;
    qint64 skip_ = 0;  // data and padding before the next header
    qint64 chainStart_ = -1;
    std::optional<QByteArray> longName_;
    std::optional<QByteArray> longLink_;
    QList<Member> members_;  // read here, not yet by libarchive
    std::optional<QByteArray> differs_;
    bool afterEnd_ = false;
};

// How libarchive's entry compares with the member busybox would unpack from
// the same header.
bool sameMember(archive* tar, archive_entry* entry, const LaserTar::Member& laser)
{
    const char* hardlink = archive_entry_hardlink(entry);
    const char* symlink = archive_entry_symlink(entry);
    char kind = '?';
    QByteArray link;
    if (hardlink) {
        kind = 'h';
        link = hardlink;
    } else {
        switch (archive_entry_filetype(entry)) {
        case AE_IFREG:
            kind = 'f';
            break;
        case AE_IFLNK:
            kind = 'l';
            link = symlink;
            break;
        case AE_IFDIR:
            kind = 'd';
            break;
        case AE_IFCHR:
            kind = 'c';
            break;
        case AE_IFBLK:
            kind = 'b';
            break;
        case AE_IFIFO:
            kind = 'p';
            break;
        default:
            break;
        }
    }
    return laser.offset == archive_read_header_position(tar) && laser.name == archive_entry_pathname(entry)
           && laser.kind == kind && laser.link == link && (kind != 'f' || laser.size == archive_entry_size(entry));
}

// ------------------------------------------------------------ the streams

// The archive's own bytes, hashed as libarchive takes them.
struct Source {
    QIODevice& device;
    qint64 maxBytes;
    QCryptographicHash hash{QCryptographicHash::Sha256};
    QByteArray buffer{kChunk, Qt::Uninitialized};
    qint64 read = 0;
    bool tooLarge = false;
    // Just past the last byte that is not zero, and where the gzip stream
    // ends (-1 until it has been read to its end).
    qint64 endOfData = 0;
    qint64 streamEnd = -1;

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
        const char* begin = buffer.constData();
        const char* end = begin + n;
        while (end != begin && end[-1] == '\0')
            --end;
        if (end != begin)
            endOfData = read - n + (end - begin);
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
    LaserTar& laser;
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
            laser.feed(buffer.constData(), n);
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

    LaserTar laser;
    Inflated inflated{gzip.get(), limits, std::max(source.device.size(), source.read), laser};
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
        const std::optional<LaserTar::Member> unpacked = laser.take();
        if (!unpacked || !sameMember(tar.get(), entry, *unpacked))
            return PcTexts::archiveReadDifferently(
                QString::fromUtf8(laser.differs().value_or(QByteArray(archive_entry_pathname(entry)))));
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
    // libarchive stops at the first zero block; the gzip stream is read on
    // to its end so that a stream that breaks off is found too, and so that
    // the laser's reading sees all of it.
    for (;;) {
        const la_ssize_t n = inflated.take();
        if (n == 0)
            break;
        if (n < 0)
            return inflated.bomb ? PcTexts::archiveInflatesTooFar(inflated.bytes >> 20)
                                 : PcTexts::archiveDamaged(libarchiveError(gzip.get()));
    }
    source.streamEnd = archive_filter_bytes(gzip.get(), -1);
    if (const std::optional<QByteArray> where = laser.differs())
        return PcTexts::archiveReadDifferently(QString::fromUtf8(*where));
    if (laser.afterEnd())
        return PcTexts::archiveDataAfterEnd();
    if (const std::optional<LaserTar::Member> more = laser.take())
        return PcTexts::archiveReadDifferently(QString::fromUtf8(more->name));
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
    // busybox's gunzip reads on into a further gzip member where libarchive
    // may not (one whose header it refuses): nothing but zero padding may
    // follow the stream libarchive read.
    if (report.problem.isEmpty() && source.endOfData > source.streamEnd)
        report.problem = PcTexts::archiveDataAfterStream();
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

ArchiveReport checkArchiveFile(platform::FileSystem& files, const QString& path, const ArchiveLimits& limits)
{
    const std::unique_ptr<QIODevice> device = files.openForReading(path);
    if (!device) {
        ArchiveReport report;
        report.found = files.pathExists(path);
        report.problem = PcTexts::archiveNotOrdinaryFile();
        return report;
    }
    ArchiveReport report;
    files.readAside(*device, [&](QIODevice& file) { report = checkArchive(file, limits); });
    return report;
}

}  // namespace tarvo::pcside
