#include "simulator/tararchiver.h"
#include "simulator/posix_compat.h"

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo::simulator {

namespace {

constexpr int chunkSize = 64 * 1024;
// Member names deeper or longer than this are refused, as the controller's
// file system would refuse them.
constexpr int maxNameComponents = 256;
constexpr int maxNameBytes = 4096;
// Longer names are cut short in messages.
constexpr int shownNameBytes = 200;

QByteArray stripLeadingSlashes(const QByteArray& name, bool* stripped)
{
    int i = 0;
    while (i < name.size() && name[i] == '/')
        ++i;
    *stripped = i > 0;
    return name.mid(i);
}

QByteArray shown(const QByteArray& name)
{
    return name.size() <= shownNameBytes ? name : name.left(shownNameBytes) + "...";
}

QByteArray errnoText()
{
    return Card::errorText(errno);
}

}  // namespace

TarArchiver::TarArchiver(const Card& card, const DeviceState& device, const QByteArray& cwd)
    : card_(card), device_(device), cwd_(cwd)
{
}

void TarArchiver::error(const QByteArray& line)
{
    if (onError)
        onError(line);
}

void TarArchiver::listing(const QByteArray& name)
{
    ++entries_;
    if (onListing)
        onListing(name);
}

int TarArchiver::unrecoverable(const QByteArray& line)
{
    error(line);
    error("tar: Error is not recoverable: exiting now");
    return 2;
}

int TarArchiver::create(const QByteArray& archivePath, const QList<QByteArray>& members, bool gzip)
{
    const CardPath target = card_.resolve(cwd_, archivePath);
    if (target.error)
        return unrecoverable("tar: " + archivePath + ": Cannot open: " + Card::errorText(target.error));
    if (device_.isReadOnly(target.path))
        return unrecoverable("tar: " + archivePath + ": Cannot open: " + Card::errorText(EROFS));
    const int fd = ::open(target.native.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return unrecoverable("tar: " + archivePath + ": Cannot open: " + errnoText());

    archive* a = archive_write_new();
    if (gzip)
        archive_write_add_filter_gzip(a);
    archive_write_set_format_pax_restricted(a);
    if (archive_write_open_fd(a, fd) != ARCHIVE_OK) {
        const QByteArray why = archive_error_string(a);
        archive_write_free(a);
        ::close(fd);
        return unrecoverable("tar: " + archivePath + ": " + why);
    }
    bool failed = false;
    for (const QByteArray& member : members) {
        bool stripped = false;
        QByteArray name = stripLeadingSlashes(member, &stripped);
        if (stripped && !warnedLeadingSlash_) {
            warnedLeadingSlash_ = true;
            error("tar: Removing leading `/' from member names");
        }
        if (name.isEmpty())
            name = ".";
        const CardPath p = card_.resolve(stripped ? QByteArray("/") : cwd_, name, false);
        if (p.error || !p.exists) {
            error("tar: " + member + ": " + Card::errorText(p.error ? p.error : ENOENT));
            failed = true;
            continue;
        }
        if (!addMember(a, name, p, target.native))
            failed = true;
    }
    const bool closed = archive_write_close(a) == ARCHIVE_OK;
    if (!closed)
        error("tar: " + archivePath + ": Cannot write: " + QByteArray(archive_error_string(a)));
    archive_write_free(a);
    ::close(fd);
    if (!closed)
        return 2;
    if (failed) {
        error("tar: error exit delayed from previous errors");
        return 1;
    }
    return 0;
}

bool TarArchiver::addMember(archive* a, const QByteArray& name, const CardPath& path,
                            const QByteArray& archiveNative)
{
    if (path.native == archiveNative) {
        error("tar: " + name + ": file is the archive; not dumped");
        return true;
    }
    struct stat st;
    if (::lstat(path.native.constData(), &st) != 0) {
        error("tar: " + name + ": Cannot stat: " + errnoText());
        return false;
    }
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode)) {
        error("tar: " + name + ": socket ignored");
        return true;
    }
    archive_entry* e = archive_entry_new();
#ifdef _WIN32
    // libarchive's struct stat on Windows is not MinGW's: the fields one by
    // one. Windows keeps no Unix permissions; the card's are the usual ones.
    archive_entry_set_filetype(e, S_ISDIR(st.st_mode) ? AE_IFDIR : AE_IFREG);
    archive_entry_set_perm(e, S_ISDIR(st.st_mode) ? 0755 : 0644);
    archive_entry_set_size(e, st.st_size);
    archive_entry_set_mtime(e, st.st_mtime, 0);
#else
    archive_entry_copy_stat(e, &st);
#endif
    archive_entry_set_pathname(e, name.constData());
    archive_entry_set_uid(e, 0);
    archive_entry_set_gid(e, 0);
    archive_entry_set_uname(e, "root");
    archive_entry_set_gname(e, "root");
    archive_entry_set_nlink(e, 1);
    QByteArray linkTarget;
    if (S_ISLNK(st.st_mode)) {
        linkTarget.resize(PATH_MAX);
        const ssize_t n = ::readlink(path.native.constData(), linkTarget.data(), linkTarget.size());
        linkTarget.truncate(n < 0 ? 0 : n);
        archive_entry_set_symlink(e, linkTarget.constData());
        archive_entry_set_size(e, 0);
    }
    if (S_ISDIR(st.st_mode))
        archive_entry_set_size(e, 0);

    int fd = -1;
    if (S_ISREG(st.st_mode)) {
        fd = ::open(path.native.constData(), O_RDONLY | O_NOFOLLOW);
        if (fd < 0) {
            error("tar: " + name + ": Cannot open: " + errnoText());
            archive_entry_free(e);
            return false;
        }
    }
    listing(S_ISDIR(st.st_mode) && !name.endsWith('/') ? name + '/' : name);
    bool ok = archive_write_header(a, e) == ARCHIVE_OK;
    archive_entry_free(e);
    if (!ok) {
        error("tar: " + name + ": " + QByteArray(archive_error_string(a)));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    if (fd >= 0) {
        QByteArray buffer(chunkSize, '\0');
        ssize_t n;
        while ((n = ::read(fd, buffer.data(), buffer.size())) > 0) {
            if (archive_write_data(a, buffer.constData(), n) < 0) {
                error("tar: " + name + ": Cannot write: " + QByteArray(archive_error_string(a)));
                ok = false;
                break;
            }
            bytes_ += n;
        }
        if (n < 0) {
            error("tar: " + name + ": Read error: " + errnoText());
            ok = false;
        }
        ::close(fd);
    }
    if (S_ISDIR(st.st_mode)) {
        const QByteArray base = name.endsWith('/') ? name : name + '/';
        for (const QByteArray& child : Card::list(path, true)) {
            const CardPath cp = card_.resolve(path.path, child, false);
            if (cp.error || !cp.exists) {
                error("tar: " + base + child + ": Cannot stat: " + Card::errorText(cp.error ? cp.error : ENOENT));
                ok = false;
                continue;
            }
            ok = addMember(a, base + child, cp, archiveNative) && ok;
        }
    }
    return ok;
}

int TarArchiver::extract(const QByteArray& archivePath, bool gzip)
{
    const CardPath source = card_.resolve(cwd_, archivePath);
    if (source.error || !source.exists)
        return unrecoverable("tar: " + archivePath + ": Cannot open: " +
                             Card::errorText(source.error ? source.error : ENOENT));
    archive* a = archive_read_new();
    if (gzip)
        archive_read_support_filter_gzip(a);
    archive_read_support_format_tar(a);
    archive_read_support_format_gnutar(a);
    if (archive_read_open_filename(a, source.native.constData(), chunkSize) != ARCHIVE_OK) {
        const QByteArray why = archive_error_string(a);
        archive_read_free(a);
        return unrecoverable("tar: " + archivePath + ": " + why);
    }
    bool failed = false;
    int status = 0;
    for (;;) {
        archive_entry* entry = nullptr;
        const int r = archive_read_next_header(a, &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (r == ARCHIVE_FATAL || r == ARCHIVE_RETRY) {
            error("tar: " + QByteArray(archive_error_string(a)));
            status = unrecoverable("tar: " + archivePath + ": unexpected end of archive");
            break;
        }
        if (!extractEntry(a, entry))
            failed = true;
    }
    archive_read_free(a);
    if (status)
        return status;
    if (failed) {
        error("tar: error exit delayed from previous errors");
        return 1;
    }
    return 0;
}

bool TarArchiver::checkName(const QByteArray& name, const QList<QByteArray>& parts)
{
    if (parts.size() > maxNameComponents) {
        error("tar: " + shown(name) + ": path too deep");
        return false;
    }
    if (name.size() > maxNameBytes) {
        error("tar: " + shown(name) + ": Cannot open: " + Card::errorText(ENAMETOOLONG));
        return false;
    }
    return true;
}

bool TarArchiver::makeParents(const QList<QByteArray>& parts, const QByteArray& name, CardPath* parent)
{
    // Each folder is looked up once, inside the one before it.
    QByteArray key = parts.join('/');
    if (const auto found = folders_.constFind(key); found != folders_.cend()) {
        *parent = *found;
        return true;
    }
    CardPath at = card_.resolve(cwd_, ".");
    key.clear();
    for (const QByteArray& part : parts) {
        if (!key.isEmpty())
            key += '/';
        key += part;
        if (const auto found = folders_.constFind(key); found != folders_.cend()) {
            at = *found;
            continue;
        }
        CardPath p = card_.child(at, part);
        if (p.error) {
            error("tar: " + shown(name) + ": Cannot open: " + Card::errorText(p.error));
            return false;
        }
        if (!p.exists) {
            if (device_.isReadOnly(p.path)) {
                error("tar: " + shown(name) + ": Cannot mkdir: " + Card::errorText(EROFS));
                return false;
            }
            if (::mkdir(p.native.constData(), 0755) != 0) {
                error("tar: " + shown(name) + ": Cannot mkdir: " + errnoText());
                return false;
            }
            p.exists = p.isDir = true;
        } else if (!p.isDir) {
            error("tar: " + shown(name) + ": Cannot open: " + Card::errorText(ENOTDIR));
            return false;
        }
        folders_.insert(key, p);
        at = p;
    }
    *parent = at;
    return true;
}

bool TarArchiver::extractEntry(archive* a, archive_entry* entry)
{
    const QByteArray original = archive_entry_pathname(entry) ? archive_entry_pathname(entry) : "";
    bool stripped = false;
    const QByteArray name = stripLeadingSlashes(original, &stripped);
    if (stripped && !warnedLeadingSlash_) {
        warnedLeadingSlash_ = true;
        error("tar: Removing leading `/' from member names");
    }
    QList<QByteArray> parts;
    for (const QByteArray& c : name.split('/')) {
        if (c == "..") {
            error("tar: " + original + ": Member name contains '..'");
            return false;
        }
        if (!c.isEmpty() && c != ".")
            parts << c;
    }
    const unsigned type = archive_entry_filetype(entry);
    if (parts.isEmpty())
        return true;  // "./": the folder we are in
    if (!checkName(name, parts))
        return false;
    listing(name);

    const QByteArray last = parts.takeLast();
    CardPath parent;
    if (!makeParents(parts, name, &parent))
        return false;
    const CardPath t = card_.child(parent, last, false);
    if (t.error) {
        error("tar: " + name + ": Cannot open: " + Card::errorText(t.error));
        return false;
    }
    if (device_.isReadOnly(t.path)) {
        error("tar: " + name + (type == AE_IFDIR ? ": Cannot mkdir: " : ": Cannot open: ") +
              Card::errorText(EROFS));
        return false;
    }
    const mode_t perm = archive_entry_perm(entry) & 07777;
    if (type == AE_IFDIR) {
        if (t.exists && !t.isDir) {
            folders_.clear();
            ::unlink(t.native.constData());
        }
        if (!t.exists || !t.isDir) {
            if (::mkdir(t.native.constData(), perm | 0700) != 0) {
                error("tar: " + name + ": Cannot mkdir: " + errnoText());
                return false;
            }
        }
        return true;
    }
    if (t.exists && t.isDir) {
        error("tar: " + name + ": Cannot open: " + Card::errorText(EISDIR));
        return false;
    }
    // Unlink first so that a link already at the place is replaced, not
    // written through.
    if (t.exists)
        folders_.clear();
    if (t.exists && ::unlink(t.native.constData()) != 0) {
        error("tar: " + name + ": Cannot unlink: " + errnoText());
        return false;
    }
    if (type == AE_IFLNK) {
        const char* target = archive_entry_symlink(entry);
        if (::symlink(target ? target : "", t.native.constData()) != 0) {
            error("tar: " + name + ": Cannot create symlink: " + errnoText());
            return false;
        }
        return true;
    }
    if (const char* hard = archive_entry_hardlink(entry)) {
        bool s = false;
        const QByteArray linkName = stripLeadingSlashes(hard, &s);
        const QList<QByteArray> linkParts = linkName.split('/');
        if (linkParts.size() > maxNameComponents || linkName.size() > maxNameBytes) {
            error("tar: " + shown(name) + ": Cannot hard link to '" + shown(hard) + "': " +
                  Card::errorText(ENAMETOOLONG));
            return false;
        }
        const CardPath src = linkParts.contains("..") ? CardPath{EACCES, {}, {}}
                                                                 : card_.resolve(cwd_, linkName, false);
        if (src.error || !src.exists || !src.isFile || ::link(src.native.constData(), t.native.constData()) != 0) {
            error("tar: " + name + ": Cannot hard link to '" + QByteArray(hard) + "': " +
                  Card::errorText(src.error ? src.error : (src.exists && src.isFile ? errno : ENOENT)));
            return false;
        }
        return true;
    }
    if (type != AE_IFREG) {
        error("tar: " + name + ": Cannot mknod: " + Card::errorText(EPERM));
        return false;
    }
    const int fd = ::open(t.native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, perm);
    if (fd < 0) {
        error("tar: " + name + ": Cannot open: " + errnoText());
        return false;
    }
    bool ok = true;
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    int r;
    while ((r = archive_read_data_block(a, &block, &size, &offset)) == ARCHIVE_OK) {
        if (::pwrite(fd, block, size, offset) != ssize_t(size)) {
            error("tar: " + name + ": Cannot write: " + errnoText());
            ok = false;
            break;
        }
        bytes_ += qint64(size);
    }
    if (ok && r != ARCHIVE_EOF) {
        error("tar: " + name + ": " + QByteArray(archive_error_string(a)));
        ok = false;
    }
    if (ok) {
        const la_int64_t end = archive_entry_size(entry);
        if (::ftruncate(fd, end) != 0)
            ok = false;
        struct timespec times[2];
        times[0].tv_sec = times[1].tv_sec = archive_entry_mtime(entry);
        times[0].tv_nsec = times[1].tv_nsec = archive_entry_mtime_nsec(entry);
        ::futimens(fd, times);
    }
    ::close(fd);
    return ok;
}

}  // namespace tarvo::simulator
